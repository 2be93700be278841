// The alarm window on real OOC_ALRM and VT_INFO files: the three forms, selection, clearing and the status colour.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/callbacks.h"
#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/globals.h"
#include "core/module_services.h"
#include "core/schema.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "panels/alarms.h"
#include "panels/apop.h"
#include "panels/realtime.h"
#include "panels/s_chart.h"
#include "panels/wait.h"
#include "platform/sys/format.h"
#include "platform/ui/ui_loop.h"
#include "testing/alarm_review.h"
#include "testing/chart_code.h"
#include "testing/install.h"
#include "tests/testing/testing_fixture.h"

namespace {

class AlarmReview : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        vui::register_callbacks(testing_callbacks());
        vtest::amend_core_seams([&](CoreSeams& s) { s.show_errors = show_errors; });
        ASSERT_EQ(check_tables(&hdbc), 0);
        provide_testing_seams({});
        charts.install();
        parent_panel = NewPanel(0, "Main", 0, 0, 620, 1000);
        DisplayPanel(parent_panel);
        char name[33] = "ETCH A";
        get_put_char(hdbc, 1, 3, CONFIG_WRITE, name);
        std::snprintf(name, sizeof name, "%s", "O'NEIL");
        get_put_char(hdbc, 1, 4, CONFIG_WRITE, name);
        status_color = STATUS_YELLOW;
    }
    void TearDown() override
    {
        if (list_panel > 0) DiscardPanel(list_panel);
        if (parent_panel > 0) DiscardPanel(parent_panel);
        list_panel = parent_panel = -1;
        provide_testing_seams({});
        CoreTest::TearDown();
    }
    void run_row(int run, const char* recipe, const char* trace, const char* date, const char* time)
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SAV_DATE, "
                                                   "SAV_TIME, COMPLETE) VALUES (%d, 1, '%s', '%s', '%s', '%s', 1)",
                                                   run, sql_quote(recipe).c_str(), trace, date, time)),
                  0);
    }
    void alarm(int run, int wafer, int channel, int type, int subtype, int index, int rule, int cleared = 0)
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OOC_ALRM VALUES (%d, %d, %d, %d, %d, %d, %d, %d)", run,
                                                   wafer, channel, type, subtype, index, rule, cleared)),
                  0);
    }
    // The alarm display popup as the Alarms menu opens it: the count, then its List or Pareto button.
    void from_popup(int count, int button)
    {
        const int item = button == APOP_LIST ? MENUBAR_ALARMS_ALARM_LIST : MENUBAR_ALARMS_ALARM_PARETO;
        ASSERT_EQ(a_display(-1, item, EVENT_COMMIT, nullptr, 0, 0), 0);
        int popup = ui.find_panel("APOP");
        ASSERT_GT(popup, 0);
        EXPECT_FALSE(ui.visible(popup, button == APOP_LIST ? APOP_PARETO : APOP_LIST));
        ASSERT_TRUE(ui.set(popup, APOP_COUNT, count));
        ASSERT_TRUE(ui.press(popup, button));
        EXPECT_FALSE(ui.panel_exists(popup));
    }
    void review_uncleared() { menu_clear_alarms(0, MENUBAR_ALARMS_CLEAR_ALARMS, nullptr, 0); }
    ttest::FakeCharts charts;
};

TEST_F(AlarmReview, AlarmListShowsTwoLinesPerAlarmNewestFirst)
{
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    run_row(11, "ETCH A", "LOT-11", "2026/03/02", "09:30:00");
    alarm(10, 2, 3, 0, 1, 0, 0);
    alarm(11, 5, 3, 1, 2, 4, 1);
    alarm(11, 6, 7, 4, 0, 0, 0);
    alarm(11, 7, 2, 5, 0, 0, 1);
    from_popup(20, APOP_LIST);
    ASSERT_GT(list_panel, 0);
    EXPECT_EQ(ui.title(list_panel), "Alarm List");
    const std::vector<std::string> expected = {
        " ETCH A, LOT-11, #7",
        "2026/03/02 09:30:00 T2 Rule 1b",
        " ETCH A, LOT-11, #6",
        "2026/03/02 09:30:00 A7 Sigma Vector Rule 1a",
        " ETCH A, LOT-11, #5",
        "2026/03/02 09:30:00 A3 Stability Time Step 04 Rule 1b",
        " ETCH A, LOT-10, #2",
        "2026/03/01 08:00:00 A3 Mean Rule 1a",
    };
    EXPECT_EQ(ui.plain_items(list_panel, REVIEW_ALARMS), expected);
    auto items = ui.items(list_panel, REVIEW_ALARMS);
    EXPECT_EQ(items[0].label, "\033fgFF0000 ETCH A, LOT-11, #7");
    EXPECT_EQ(items[1].label, "\033p50l2026/03/02 09:30:00 T2 Rule 1b");
    EXPECT_EQ(ui.ival(list_panel, REVIEW_ALARMS), chart_code(2, 5, 0, 0, 1));
    // Opened from the popup: no clearing and no deactivation there.
    EXPECT_FALSE(ui.visible(list_panel, REVIEW_CLEAR));
    EXPECT_FALSE(ui.visible(list_panel, REVIEW_CLEAR_ALL));
    EXPECT_FALSE(ui.visible(list_panel, REVIEW_DEACTIVATE));
    EXPECT_FALSE(ui.visible(list_panel, REVIEW_PARETO));
    EXPECT_EQ(recipe_num, 3);
}

// The alarm display popup's close box and Esc leave it without a review and free the rest of the program.
TEST_F(AlarmReview, AlarmDisplayPopupClosesByItsCloseBoxAndEsc)
{
    for (bool by_esc : {false, true}) {
        ASSERT_EQ(a_display(-1, MENUBAR_ALARMS_ALARM_LIST, EVENT_COMMIT, nullptr, 0, 0), 0);
        int popup = ui.find_panel("APOP");
        ASSERT_GT(popup, 0);
        EXPECT_TRUE(by_esc ? ui.key(popup, VAL_ESC_VKEY) : ui.close(popup));
        EXPECT_FALSE(ui.panel_exists(popup)) << (by_esc ? "Esc" : "close box");
        EXPECT_EQ(ui.modal_panel(), 0);
        EXPECT_LE(list_panel, 0);
    }
}

TEST_F(AlarmReview, ListHoldsWhatExistsAndRefusesWhenEmpty)
{
    ui.answer(1);
    from_popup(20, APOP_LIST);
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].text, "No alarms have occured.");
    EXPECT_EQ(list_panel, -1);
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    for (int w = 1; w <= 7; ++w) alarm(10, w, 3, 0, 1, 0, 0);
    from_popup(20, APOP_LIST);
    EXPECT_EQ(ui.plain_items(list_panel, REVIEW_ALARMS).size(), 14u);
    // Asking for fewer lists the newest only.
    from_popup(2, APOP_LIST);
    auto items = ui.plain_items(list_panel, REVIEW_ALARMS);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], " ETCH A, LOT-10, #7");
    EXPECT_EQ(items[2], " ETCH A, LOT-10, #6");
}

TEST_F(AlarmReview, CancelDuringALongLoad)
{
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    for (int w = 1; w <= 60; ++w) alarm(10, w, 3, 0, 1, 0, w % 2);
    // The Pareto load is given up without a message; the list keeps the lines read.
    ui.after_pumps(3, [this] {
        int wait = ui.find_panel("WAIT");
        ASSERT_GT(wait, 0);
        SetCtrlVal(wait, WAIT_CANCEL, 1);
    });
    from_popup(60, APOP_PARETO);
    EXPECT_EQ(list_panel, -1);
    EXPECT_TRUE(ui.popups().empty());
    ui.after_pumps(5, [this] { SetCtrlVal(ui.find_panel("WAIT"), 3, 1); });
    from_popup(60, APOP_LIST);
    ASSERT_GT(list_panel, 0);
    auto n = ui.plain_items(list_panel, REVIEW_ALARMS).size();
    EXPECT_GT(n, 0u);
    EXPECT_LT(n, 120u);
    EXPECT_EQ(ui.find_panel("WAIT"), 0);
}

TEST_F(AlarmReview, ParetoGroupsKindsAndDrawsBars)
{
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    run_row(11, "O'NEIL", "LOT-11", "2026/03/02", "09:30:00");
    alarm(10, 1, 3, 0, 1, 0, 0);
    alarm(10, 2, 3, 0, 1, 0, 0);
    alarm(11, 1, 3, 0, 1, 0, 0);  // same chart, other process: another kind
    alarm(10, 3, 3, 0, 1, 0, 0);
    alarm(10, 4, 9, 2, 0, 0, 0);  // a type the window does not know
    from_popup(20, APOP_PARETO);
    ASSERT_GT(list_panel, 0);
    EXPECT_EQ(ui.title(list_panel), "Alarm Pareto");
    const std::vector<std::string> expected = {
        "13 ETCH A,Rule 1a A3 Mean",
        "21 O'NEIL,Rule 1a A3 Mean",
        "Unknown alarm",
    };
    EXPECT_EQ(ui.plain_items(list_panel, REVIEW_ALARMS), expected);
    auto items = ui.items(list_panel, REVIEW_ALARMS);
    EXPECT_EQ(items[0].label, "1\033p35l3\033p75l ETCH A,Rule 1a A3 Mean");
    auto plots = ui.plots(list_panel, REVIEW_PARETO);
    ASSERT_EQ(plots.size(), 1u);
    EXPECT_EQ(plots[0].x, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(plots[0].y, (std::vector<double>{3, 1, 1}));
    int xmode, ymode;
    double xmin, xmax, ymin, ymax;
    GetAxisRange(list_panel, REVIEW_PARETO, &xmode, &xmin, &xmax, &ymode, &ymin, &ymax);
    EXPECT_EQ(xmax, 4);
    EXPECT_EQ(ymax, 4);
    // "Unknown alarm" stands for no chart: the tree button dims and the buttons act on nothing.
    ASSERT_TRUE(ui.select(list_panel, REVIEW_ALARMS, 2));
    EXPECT_EQ(selected_alarm_code, -1);
    EXPECT_TRUE(ui.dimmed(list_panel, REVIEW_TREE));
    EXPECT_TRUE(ui.double_click(list_panel, REVIEW_ALARMS, 10, 10));
    EXPECT_TRUE(ui.press(list_panel, REVIEW_VIEW));
    EXPECT_EQ(charts.calls.size(), 0u);
}

TEST_F(AlarmReview, SelectionReadsTheChartsDecisionTree)
{
    run_row(10, "O'NEIL", "LOT-10", "2026/03/01", "08:00:00");
    alarm(10, 1, 3, 0, 1, 0, 1);
    alarm(10, 2, 4, 0, 1, 0, 0);
    charts.charts[{3, 0, 1, 0}] = {3, 0, "tree_0  tree_1", "Call the engineer   "};
    std::vector<std::string> popups;
    vtest::amend_testing_seams([&](TestingSeams& s) {
        s.spc_error_popup = [&](int ch, int type, int sub, int step, int rule) {
            popups.push_back(vsys::strprintf("%d %d %d %d %d", ch, type, sub, step, rule));
        };
    });
    from_popup(20, APOP_PARETO);
    ASSERT_GT(list_panel, 0);
    // Entry 0 is channel 4 (newest first): no tree.
    EXPECT_TRUE(ui.dimmed(list_panel, REVIEW_TREE));
    ASSERT_TRUE(ui.select(list_panel, REVIEW_ALARMS, 1));
    EXPECT_EQ(selected_alarm_code, chart_code(3, 0, 1, 0, 1));
    EXPECT_FALSE(ui.dimmed(list_panel, REVIEW_TREE));
    EXPECT_EQ(recipe_num, 4);  // the process named with a quote was found
    // A double click on the scroll bar does nothing; inside the list it shows the popup.
    int width = ui.attribute(list_panel, REVIEW_ALARMS, ATTR_WIDTH);
    ui.double_click(list_panel, REVIEW_ALARMS, width - 10, 5);
    EXPECT_TRUE(popups.empty());
    ui.double_click(list_panel, REVIEW_ALARMS, 20, 5);
    EXPECT_EQ(popups, (std::vector<std::string>{"3 0 1 0 1"}));
}

TEST_F(AlarmReview, ActiveAlarmFormForOneKind)
{
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    for (int w = 1; w <= 3; ++w) alarm(10, w, 3, 0, 1, 0, 0);
    alarm(10, 9, 3, 0, 1, 0, 1, 1);  // cleared: not reviewed
    charts.charts[{3, 0, 1, 0}] = {3, 0, "", "Check the chamber   "};
    review_uncleared();
    ASSERT_GT(list_panel, 0);
    EXPECT_EQ(ui.title(list_panel), "Active Alarm");
    EXPECT_EQ(ui.text(list_panel, REVIEW_PROCESS), "ETCH A Alarm");
    EXPECT_EQ(ui.text(list_panel, REVIEW_WHAT), "Chart 3/0/1/0 was found to be out of control because 1 point was > the target + 3 sigma.");
    EXPECT_EQ(ui.text(list_panel, REVIEW_WHEN), "This error occured 3 times.");
    EXPECT_EQ(ui.text(list_panel, REVIEW_POPUP_TEXT), "Check the chamber");
    EXPECT_FALSE(ui.visible(list_panel, REVIEW_ALARMS));
    EXPECT_TRUE(ui.visible(list_panel, REVIEW_CLEAR));
    // Clearing the kind clears its rows and the status follows the table.
    ASSERT_TRUE(ui.press(list_panel, REVIEW_CLEAR));
    EXPECT_EQ(rows("SELECT CLEARED FROM OOC_ALRM"), "1;1;1;1");
    EXPECT_EQ(status_color, STATUS_WHITE);
    EXPECT_TRUE(ui.dimmed(list_panel, REVIEW_CLEAR_ALL));
}

TEST_F(AlarmReview, ClearingOneKindOfSeveralKeepsTheColourYellow)
{
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    run_row(11, "O'NEIL", "LOT-11", "2026/03/02", "08:00:00");
    alarm(10, 1, 3, 0, 1, 0, 0);
    alarm(11, 1, 3, 0, 1, 0, 0);
    alarm(11, 2, 3, 0, 1, 0, 0);
    review_uncleared();
    ASSERT_GT(list_panel, 0);
    EXPECT_EQ(ui.title(list_panel), "Active Alarm Pareto");
    ASSERT_EQ(ui.plain_items(list_panel, REVIEW_ALARMS).size(), 2u);
    // Entry 0 is the O'NEIL kind (2 alarms): only its rows are cleared.
    ASSERT_TRUE(ui.press(list_panel, REVIEW_CLEAR));
    EXPECT_EQ(rows("SELECT RUN, CLEARED FROM OOC_ALRM"), "10|0;11|1;11|1");
    EXPECT_EQ(status_color, STATUS_YELLOW);
    EXPECT_EQ(ui.plain_items(list_panel, REVIEW_ALARMS).size(), 1u);
    // The bars follow the list: one bar is left, the ETCH A kind's.
    auto plots = ui.plots(list_panel, REVIEW_PARETO);
    ASSERT_EQ(plots.size(), 1u);
    EXPECT_EQ(plots[0].x, (std::vector<double>{1}));
    EXPECT_EQ(plots[0].y, (std::vector<double>{1}));
    // The remaining kind is the last one: clearing it turns the status white.
    ASSERT_TRUE(ui.select(list_panel, REVIEW_ALARMS, 0));
    ASSERT_TRUE(ui.press(list_panel, REVIEW_CLEAR));
    EXPECT_EQ(rows("SELECT CLEARED FROM OOC_ALRM"), "1;1;1");
    EXPECT_EQ(status_color, STATUS_WHITE);
    EXPECT_TRUE(ui.plots(list_panel, REVIEW_PARETO).empty());
}

TEST_F(AlarmReview, ClearAllAndNoAlarmsLeft)
{
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    alarm(10, 1, 3, 0, 1, 0, 0);
    alarm(10, 2, 4, 0, 2, 0, 1);
    realtime_panel = NewPanel(0, "Real-time", 0, 0, 200, 300);
    ttest::make_ctrl(realtime_panel, CTRL_LIST_BOX, REALTIME_ALARMS);
    InsertListItem(realtime_panel, REALTIME_ALARMS, -1, "an alarm line", 0);
    review_uncleared();
    ASSERT_GT(list_panel, 0);
    ASSERT_TRUE(ui.press(list_panel, REVIEW_CLEAR_ALL));
    EXPECT_TRUE(ui.plain_items(realtime_panel, REALTIME_ALARMS).empty());
    DiscardPanel(realtime_panel);
    realtime_panel = -1;
    EXPECT_EQ(rows("SELECT CLEARED FROM OOC_ALRM"), "1;1");
    EXPECT_TRUE(ui.plain_items(list_panel, REVIEW_ALARMS).empty());
    EXPECT_EQ(status_color, STATUS_WHITE);
    // A later review finds nothing: no window, no message, the status stays white.
    status_color = STATUS_YELLOW;
    review_uncleared();
    EXPECT_EQ(list_panel, -1);
    EXPECT_EQ(status_color, STATUS_WHITE);
}

// A review whose count cannot be taken does not call the alarms cleared: the alarm table decides.
TEST_F(AlarmReview, AFailedCountTurnsTheStatusWhiteOnlyWhenNoAlarmIsUncleared)
{
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    alarm(10, 1, 3, 0, 1, 0, 0);
    ASSERT_TRUE(std::filesystem::remove(dir.file("ENDP_DAT.DBF")));  // the count's endpoint half cannot run
    review_uncleared();
    EXPECT_EQ(list_panel, -1);
    EXPECT_EQ(status_color, STATUS_YELLOW);
    ASSERT_EQ(vtest::run(hdbc, "UPDATE OOC_ALRM SET CLEARED = 1"), 0);
    review_uncleared();
    EXPECT_EQ(status_color, STATUS_WHITE);
    EXPECT_TRUE(ui.popups().empty());
}

TEST_F(AlarmReview, MessagesWhenNothingOrOneCategory)
{
    ui.answer(1);
    from_popup(5, APOP_PARETO);
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].text, "No alarms have occured.");
    run_row(10, "ETCH A", "LOT-10", "2026/03/01", "08:00:00");
    alarm(10, 1, 3, 0, 1, 0, 0);
    alarm(10, 2, 3, 0, 1, 0, 0);
    ui.answer(1);
    from_popup(5, APOP_PARETO);
    ASSERT_EQ(ui.popups().size(), 2u);
    EXPECT_EQ(ui.popups()[1].text,
              "\n\n\nVantrel Pareto Chart is not available because there is only one alarm category.\n\n\n\n\n");
    EXPECT_EQ(list_panel, -1);
}

TEST_F(AlarmReview, ViewChartSelectsTheTraces)
{
    for (int r = 1; r <= 12; ++r)
        run_row(r, "ETCH A", vsys::strprintf("LOT-%02d", r).c_str(), "2026/03/01",
                vsys::strprintf("08:%02d:00", r).c_str());
    alarm(12, 1, 3, 0, 1, 0, 0);
    alarm(12, 2, 4, 0, 1, 0, 0);
    int shown = 0;
    ChartRecord chart;
    vtest::amend_testing_seams([&](TestingSeams& s) {
        s.display_new_chart = [&](const ChartRecord& c) {
            chart = c;
            ++shown;
        };
    });
    review_uncleared();
    ASSERT_GT(list_panel, 0);
    ASSERT_TRUE(ui.select(list_panel, REVIEW_ALARMS, 0));
    ASSERT_TRUE(ui.press(list_panel, REVIEW_VIEW));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(chart.channel, 4);
    EXPECT_EQ(chart.type, 0);
    EXPECT_EQ(chart.subtype, 1);
    EXPECT_EQ(run_num, 12);
    ASSERT_EQ(lot_select.size(), 10u);
    EXPECT_EQ(lot_select[0], "LOT-12");
    EXPECT_EQ(lot_select[1], "LOT-11");
    EXPECT_EQ(lot_restrictions, 10);
    EXPECT_EQ(recipe_select, (std::vector<std::string>{"ETCH A"}));
}

TEST_F(AlarmReview, CloseRestoresTheCurrentProcess)
{
    run_row(10, "O'NEIL", "LOT-10", "2026/03/01", "08:00:00");
    alarm(10, 1, 3, 0, 1, 0, 0);
    alarm(10, 2, 4, 0, 1, 0, 0);
    char current[33] = "3";
    get_put_char(hdbc, 0, 5, CONFIG_WRITE, current);
    review_uncleared();
    EXPECT_EQ(recipe_num, 4);
    ASSERT_TRUE(ui.press(list_panel, REVIEW_CLOSE));
    EXPECT_EQ(list_panel, -1);
    EXPECT_EQ(recipe_num, 3);
}

}  // namespace

namespace {

TEST(AlarmPanels, AlarmWindowFileLoadsWithTheProgramsCallbacks)
{
    vui::clear_callback_registry();
    vui::register_callbacks(core_callbacks());
    vui::register_callbacks(testing_callbacks());
    auto result = vui::check_panel_file(vtest::bin_dir() + "/panels/alarms.uir");
    EXPECT_TRUE(result) << result.error;
    // The alarm display popup now finds its button callback too.
    auto popup = vui::check_panel_file(vtest::bin_dir() + "/panels/apop.uir");
    EXPECT_TRUE(popup) << popup.error;
    vui::clear_callback_registry();
}

}  // namespace
