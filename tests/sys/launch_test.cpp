// Launching programs by argument vector: arguments arrive unchanged, no shell is involved.
#include <gtest/gtest.h>

#include "platform/sys/launch.h"
#include "platform/sys/message_box.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <thread>

namespace {

struct EnvGuard {
    std::string name;
    std::string old;
    bool had;
    EnvGuard(const char* n, const std::string& value) : name(n)
    {
        const char* v = std::getenv(n);
        had = v != nullptr;
        if (had) old = v;
        ::setenv(n, value.c_str(), 1);
    }
    ~EnvGuard()
    {
        if (had)
            ::setenv(name.c_str(), old.c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};

}  // namespace

TEST(Launch, ArgumentsWithShellCharactersArriveUnchanged)
{
    vtest::TempDir dir;
    EnvGuard record("RECORD_ARGS_TO", dir.file("args"));
    const std::vector<std::string> argv = {
        vtest::record_args_tool(), "a b", "x;touch " + dir.file("pwned"), "$(id)", "'q'\"", "", "*"};
    ASSERT_TRUE(vsys::spawn_detached(argv));
    auto got = vtest::read_recorded_args(dir.file("args"));
    EXPECT_EQ(got, argv);
    EXPECT_FALSE(vsys::file_exists(dir.file("pwned")));
}

TEST(Launch, WaitedProgramGivesItsExitCodeAndMissingProgramsFail)
{
    vtest::TempDir dir;
    EnvGuard record("RECORD_ARGS_TO", dir.file("args"));
    EXPECT_EQ(vsys::spawn_and_wait({vtest::record_args_tool(), "one"}), 0);
    EXPECT_EQ(vtest::read_recorded_args(dir.file("args")).size(), 2u);
    EXPECT_EQ(vsys::spawn_and_wait({"no-such-program-vantrel"}), -1);
    vsys::Result r = vsys::spawn_detached({"no-such-program-vantrel", "x"});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("no-such-program-vantrel"), std::string::npos);
    EXPECT_FALSE(vsys::spawn_detached({}).ok);
}

TEST(Launch, ProgramsAreFoundOnPath)
{
    vtest::TempDir dir;
    std::filesystem::copy_file(vtest::record_args_tool(), dir.file("fakeviewer"));
    std::filesystem::permissions(dir.file("fakeviewer"), std::filesystem::perms::owner_all);
    EnvGuard path("PATH", "/nonexistent:" + dir.path());
    EnvGuard record("RECORD_ARGS_TO", dir.file("args"));
    ASSERT_TRUE(vsys::spawn_detached({"fakeviewer", "report.pdf"}));
    auto got = vtest::read_recorded_args(dir.file("args"));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], "report.pdf");
}

TEST(Launch, DocumentsGoToTheInstalledLauncher)
{
    std::vector<std::string> opened;
    vsys::set_document_launcher([&](const std::string& p) { opened.push_back(p); });
    vsys::launch_document("/work/printPDF/SpcChart.pdf");
    vsys::set_document_launcher(nullptr);
    EXPECT_EQ(opened, std::vector<std::string>{"/work/printPDF/SpcChart.pdf"});
}

TEST(MessageBox, HandlerSeesBoxesFromAnyThread)
{
    std::mutex m;
    std::vector<std::string> seen;
    vsys::set_message_box_handler([&](const std::string& caption, const std::string& text) {
        std::lock_guard lock(m);
        seen.push_back(caption + "|" + text);
    });
    std::thread worker([] { vsys::message_box("DAQ Error", "board failure"); });
    worker.join();
    vsys::message_box("Setup Error", "x");
    vsys::set_message_box_handler(nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"DAQ Error|board failure", "Setup Error|x"}));
}
