// The programs' wiring: every panel file loads with the registered callbacks, and trace testing reaches the setup subsystems.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/ui/ui_loop.h"
#include "programs/wiring.h"
#include "spc/chart_titles.h"
#include "testing/testing_hooks.h"
#include "tests/support/temp_dir.h"

TEST(Wiring, EveryPanelFileLoadsWithTheProgramsCallbacks)
{
    wire_subsystems();
    auto faults = vui::check_panel_folder(vtest::bin_dir() + "/panels");
    for (const auto& fault : faults) ADD_FAILURE() << fault;
}

TEST(Wiring, TraceTestingUsesTheSetupSubsystems)
{
    wire_subsystems();
    auto& hooks = testing_hooks();
    ASSERT_TRUE(hooks.chart_preferences);
    ASSERT_TRUE(hooks.step_specs);
    ASSERT_TRUE(hooks.normalize_por);
    ASSERT_TRUE(hooks.form_chart_title);
    // The hook gives the chart titles' own text.
    char direct[80] = "", through[80] = "";
    form_chart_title(direct, 3, 1, 0, 2);
    hooks.form_chart_title(through, 3, 1, 0, 2);
    EXPECT_STRNE(direct, "");
    EXPECT_STREQ(through, direct);
}
