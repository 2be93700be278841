// The real-time limit check: alarm rows, the status colour and the lines of the real-time window.
#include <gtest/gtest.h>

#include "core/globals.h"
#include "panels/realtime.h"
#include "testing/realtime_check.h"
#include "tests/testing/testing_fixture.h"

namespace {

class RealtimeCheck : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        ASSERT_EQ(check_tables(&hdbc), 0);
        provide_testing_seams({});
        charts.install();
        status_color = STATUS_WHITE;
        realtime_panel = NewPanel(0, "Real-time", 0, 0, 300, 400);
        ttest::make_ctrl(realtime_panel, CTRL_LIST_BOX, REALTIME_ALARMS);
    }
    void TearDown() override
    {
        if (realtime_panel > 0) DiscardPanel(realtime_panel);
        realtime_panel = -1;
        provide_testing_seams({});
        CoreTest::TearDown();
    }
    void judge(double value, const char* trace_id = "LOT-7")
    {
        ChartRecord chart;
        chart.process = recipe_num;
        chart.channel = 3;
        chart.type = 0;
        chart.subtype = 1;
        chart.step = 0;
        realtime_check(chart, 123, 4, value, trace_id);
    }
    ttest::FakeCharts charts;
};

TEST_F(RealtimeCheck, LimitsAndRulesTable)
{
    struct Case {
        const char* name;
        int rules;
        short mode;
        bool activated;
        double value;
        const char* rows;  // RULE values written, in order
    };
    const Case cases[] = {
        {"above UCL", 3, 0, true, 12.0, "0"},
        {"below LCL", 3, 0, true, 1.0, "1"},
        {"inside", 3, 0, true, 5.0, ""},
        {"only rule 1a: below raises nothing", 1, 0, true, 1.0, ""},
        {"only rule 1a: above", 1, 0, true, 12.0, "0"},
        {"only rule 1b: above raises nothing", 2, 0, true, 12.0, ""},
        {"a hair above UCL is no breach", 3, 0, true, 10.0 + 1e-10, ""},
        {"just above UCL", 3, 0, true, 10.0 + 1e-8, "0"},
        {"natural limits", 3, 1, true, 12.0, ""},
        {"not activated", 3, 0, false, 12.0, ""},
    };
    for (const auto& c : cases) {
        vtest::run(hdbc, "DELETE FROM OOC_ALRM");
        charts.charts.clear();
        if (c.activated) charts.charts[{3, 0, 1, 0}] = {c.rules, c.mode, "", ""};
        charts.limits[{0, 1, 3, 0}] = {2.0, 6.0, 10.0};
        status_color = STATUS_WHITE;
        judge(c.value);
        std::string rules = rows("SELECT RULE FROM OOC_ALRM");
        EXPECT_EQ(rules, c.rows) << c.name;
        EXPECT_EQ(status_color, *c.rows ? STATUS_YELLOW : STATUS_WHITE) << c.name;
    }
}

TEST_F(RealtimeCheck, AlarmRowAndWindowLines)
{
    charts.charts[{3, 0, 1, 0}] = {3, 0, "", ""};
    charts.limits[{0, 1, 3, 0}] = {2.0, 6.0, 10.0};
    judge(12.5);
    judge(1.25, "");
    EXPECT_EQ(rows("SELECT RUN, WAFER, CHANNEL, TYPE, SUB_TYPE, INDEX, RULE, CLEARED FROM OOC_ALRM"),
              "123|4|3|0|1|0|0|0;123|4|3|0|1|0|1|0");
    EXPECT_EQ(ui.plain_items(realtime_panel, REALTIME_ALARMS),
              (std::vector<std::string>{"Chart 3/0/1/0 (12.500) > 10.000 on trigger 4 of LOT-7",
                                        "Chart 3/0/1/0 (1.250) < 2.000 on trigger 4 of Run# 00000123"}));
    EXPECT_EQ(ui.index(realtime_panel, REALTIME_ALARMS), 1);
    EXPECT_TRUE(ui.panel_visible(realtime_panel));
}

TEST_F(RealtimeCheck, CrossedLimitsGiveTwoRowsLowerFirst)
{
    charts.charts[{3, 0, 1, 0}] = {3, 0, "", ""};
    charts.limits[{0, 1, 3, 0}] = {10.0, 6.0, 2.0};
    judge(6.0);
    EXPECT_EQ(rows("SELECT RULE FROM OOC_ALRM"), "1;0");
    EXPECT_EQ(ui.plain_items(realtime_panel, REALTIME_ALARMS).size(), 2u);
}

TEST_F(RealtimeCheck, WithoutTheWindowTheRowAndColourStillCount)
{
    DiscardPanel(realtime_panel);
    realtime_panel = -1;
    charts.charts[{3, 0, 1, 0}] = {3, 0, "", ""};
    charts.limits[{0, 1, 3, 0}] = {2.0, 6.0, 10.0};
    judge(12.0);
    EXPECT_EQ(rows("SELECT RULE FROM OOC_ALRM"), "0");
    EXPECT_EQ(status_color, STATUS_YELLOW);
}

TEST_F(RealtimeCheck, WithoutTheCatalogueTheUserIsToldAndNothingIsStored)
{
    vtest::amend_testing_seams([&](TestingSeams& s) { s.chart_preferences = nullptr; });
    ui.answer(1);
    judge(100.0);
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "Not Available");
    EXPECT_EQ(ui.popups()[0].text, "Reading the activated charts is not part of this program yet; the operation was stopped.");
    EXPECT_EQ(rows("SELECT RULE FROM OOC_ALRM"), "");
}

}  // namespace
