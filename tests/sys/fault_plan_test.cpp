// The fault plan: which call of which step fails, on which file, once or from then on.
#include <gtest/gtest.h>

#include "platform/sys/fault_plan.h"

namespace {

using vsys::FileFault;
using vsys::FileOp;

// The calls (1-based) among `calls` that fail under the plan.
std::vector<int> failing_calls(FileOp op, const char* path, int calls)
{
    std::vector<int> failed;
    for (int i = 1; i <= calls; ++i)
        if (vsys::file_fault(op, path)) failed.push_back(i);
    return failed;
}

TEST(FaultPlan, TheNthCallOfItsStepFailsOnceOrFromThenOn)
{
    struct Case {
        const char* name;
        FileFault fault;
        FileOp asked;
        const char* path;
        std::vector<int> failing;
    };
    const Case cases[] = {
        {"the next call", {FileOp::write}, FileOp::write, "a.dbf", {1}},
        {"the third call", {FileOp::seek, 3}, FileOp::seek, "a.dbf", {3}},
        {"a full disk stays full", {FileOp::flush, 2, true}, FileOp::flush, "a.dbf", {2, 3, 4}},
        {"another step is not counted", {FileOp::write, 1}, FileOp::flush, "a.dbf", {}},
        {"the named file", {FileOp::write, 2, false, "VT_INFO"}, FileOp::write, "/w/VT_INFO.DBF", {2}},
        {"another file", {FileOp::write, 1, false, "VT_INFO"}, FileOp::write, "/w/VT_TAGS.DBF", {}},
        {"a writer that cannot name its file", {FileOp::write, 1, false, "VT_INFO"}, FileOp::write, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vsys::FaultPlanScope plan(c.fault);
        EXPECT_EQ(failing_calls(c.asked, c.path, 4), c.failing);
        EXPECT_EQ(vsys::fault_plan_strikes(), static_cast<int>(c.failing.size()));
    }
    EXPECT_TRUE(failing_calls(FileOp::write, "a.dbf", 4).empty()) << "the plan ends with its scope";
}

TEST(FaultPlan, EachFaultOfAPlanIsCountedOnItsOwn)
{
    vsys::FaultPlanScope plan(std::vector<FileFault> {{FileOp::write, 2}, {FileOp::seek, 1}});
    EXPECT_FALSE(vsys::file_fault(FileOp::write, "t"));
    EXPECT_TRUE(vsys::file_fault(FileOp::seek, "t"));
    EXPECT_TRUE(vsys::file_fault(FileOp::write, "t"));
    EXPECT_FALSE(vsys::file_fault(FileOp::seek, "t"));
    EXPECT_EQ(vsys::fault_plan_strikes(), 2);
}

TEST(FaultPlan, ADiskThatFillsUpTakesWhatFitsThenNothing)
{
    vsys::FaultPlanScope plan(FileFault::disk_full_after(10));
    bool failed = false;
    EXPECT_EQ(vsys::file_write_allowance(6, "f", &failed), 6u);
    EXPECT_FALSE(failed);
    EXPECT_EQ(vsys::file_write_allowance(6, "f", &failed), 4u);
    EXPECT_TRUE(failed);
    EXPECT_EQ(vsys::file_write_allowance(6, "f", &failed), 0u);
    EXPECT_TRUE(failed);
    // Writers that fail a write whole see the full disk as well.
    EXPECT_TRUE(vsys::file_fault(FileOp::write, "f"));
}

}  // namespace
