// The programs' wiring, for the edition this suite is built as: every panel file loads with the registered callbacks, and every seam is filled but those whose far side is not built yet.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/ui/ui_loop.h"
#include "programs/wiring.h"
#include "spc/chart_titles.h"
#include "spc/spc_seams.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

namespace {

// Names of the filled and the missing seams of the subsystems that have them.
struct SeamCensus {
    std::set<std::string> filled, missing;
    int total = 0;
    template <typename Seams>
    void count(const Seams& seams)
    {
        seams.for_each([this](const auto& seam) {
            ++total;
            (seam.filled() ? filled : missing).insert(seam.name());
        });
    }
};

SeamCensus census()
{
    SeamCensus c;
    c.count(core_seams());
    c.count(setup_seams());
    c.count(testing_seams());
    c.count(acquisition_seams());
    c.count(spc_seams());
    return c;
}

TEST(Wiring, EveryPanelFileLoadsWithTheProgramsCallbacks)
{
    wire_subsystems();
    auto faults = vui::check_panel_folder(vtest::bin_dir() + "/panels");
    for (const auto& fault : faults) ADD_FAILURE() << fault;
}

TEST(Wiring, EverySeamIsFilledButThoseNotBuiltYet)
{
    provide_core_seams({});
    provide_setup_seams({});
    provide_testing_seams({});
    provide_acquisition_seams({});
    provide_spc_seams({});
    ASSERT_EQ(census().filled, std::set<std::string>{});

    wire_subsystems();
    const SeamCensus c = census();
    EXPECT_EQ(c.missing, unbuilt_seams());
    EXPECT_GT(c.total, static_cast<int>(unbuilt_seams().size()));
}

TEST(Wiring, TraceTestingGetsTheChartTitlesOwnText)
{
    wire_subsystems();
    char direct[80] = "", through[80] = "";
    form_chart_title(direct, 3, 1, 0, 2);
    testing_seams().form_chart_title(through, 3, 1, 0, 2);
    EXPECT_STRNE(direct, "");
    EXPECT_STREQ(through, direct);
}

}  // namespace
