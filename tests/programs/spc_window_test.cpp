// The SPC chart window on a result table made for the test: closing writes changed settings, exclusion of rule
// breakers, the playback offer of a point, the trace header's time in the read-out, and the chart menus' groups.
#include "panels/compare.h"
#include "panels/playback.h"
#include "panels/s_chart.h"
#include "panels/wafers.h"
#include "panels/x_hist.h"
#include "programs/wiring.h"
#include "core/config_store.h"
#include "core/shared_buffers.h"
#include "core/trace_file.h"
#include "panels/s_chart.h"
#include "panels/wafers.h"
#include "panels/x_hist.h"
#include "platform/sys/format.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_data.h"
#include "spc/chart_window.h"
#include "spc/limit_table.h"
#include "tests/acquisition/acq_fixture.h"

#include <cmath>
#include <numeric>
#include <string>

namespace {


class SpcWindowTest : public acqtest::AcqTest {
protected:
    void SetUp() override
    {
        AcqTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        ASSERT_EQ(create_other_table(&hdbc, 2), 0);
        for (int run = 1; run <= 360; ++run) {
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, "
                                                       "SYSTEM_ID, SAV_DATE, SAV_TIME, COMMENT) VALUES (%d, 1, 'ETCH', "
                                                       "'LOT%d', 'TOOL_A', '2026/02/03', '04:05:06', 'none')",
                                                       run, run)),
                      0);
            const double value = run == 100 ? 20.0 : run == 200 ? 0.0 : 10.0 + ((run * 37) % 11 - 5) * 0.01;
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_02 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.9f)",
                                                       run, value)),
                      0);
        }
        update_menu();
    }
    void TearDown() override
    {
        if (spc_panel > 0) DiscardPanel(spc_panel);
        spc_panel = -1;
        free_mem();
        AcqTest::TearDown();
    }
    int item_in(int menu, const std::string& name)
    {
        for (const auto& e : ui.menu_items(handle_menu, menu))
            if (e.name == name) return e.id;
        return 0;
    }
    int submenu_of(int menu, const std::string& name)
    {
        auto e = ui.menu_item(handle_menu, item_in(menu, name));
        return e ? e->submenu : 0;
    }
    // CH2 Mean through the chart menu and batch selection, with `points` asked for.
    void open_mean_chart(int points)
    {
        const int ch2 = submenu_of(submenu_of(MENUBAR_CHARTS, "Static Channel Charts"), "CH2");
        ASSERT_GT(ch2, 0);
        ASSERT_TRUE(ui.pick(handle_menu, item_in(ch2, "Mean")));
        const int dialog = ui.find_panel("WAFERS");
        ASSERT_GT(dialog, 0);
        ASSERT_TRUE(ui.set(dialog, WAFERS_POINTS, points));
        ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
        ASSERT_GT(spc_panel, 0);
    }
    std::string catalogue() { return rows("SELECT POINTS, PAGER, RULES, LIMITS, RTRIM(D_TREE), RTRIM(P_TEXT), HALT FROM 0003ACTC WHERE CHANNEL = 2 AND CHART_TYPE = 0 AND DATA_PARAM = 1 AND D_INDEX = 0"); }
    void store_row(int points, int rules, short limits)
    {
        short ch = 2, type = 0, sub = 1, idx = 0;
        int pager = 5, halt = 1;
        char trees[105] = "TREE1", text[255] = "Check the MFC";
        chart_preferences(CHART_WRITE, &ch, &type, &sub, &idx, &points, &pager, &rules, &limits, trees, text, &halt);
    }
};

TEST_F(SpcWindowTest, CloseAfterShowingMorePointsWritesTheCatalogueRow)
{
    // The Close button and the window's close box end the chart alike.
    for (const bool close_box : {false, true}) {
        SCOPED_TRACE(close_box ? "close box" : "Close");
        store_row(300, 3, 1);
        Flags &= ~FLAG_PENDING_CHANGES;
        open_mean_chart(350);
        EXPECT_EQ(shown_chart().points, 350);
        EXPECT_EQ(shown_chart().runs.front(), 360);
        EXPECT_EQ(shown_chart().runs.back(), 11);
        EXPECT_EQ(rule_breakers, 2);
        ASSERT_TRUE(close_box ? ui.close(spc_panel) : ui.press(spc_panel, SPC_CLOSE));
        EXPECT_EQ(spc_panel, -1);
        EXPECT_EQ(catalogue(), "350|5|3|1|TREE1|Check the MFC|0");
        EXPECT_TRUE(Flags & FLAG_PENDING_CHANGES);
    }
}

TEST_F(SpcWindowTest, CloseWithFewerThanThreeHundredPointsWritesNothing)
{
    store_row(300, 3, 1);
    open_mean_chart(250);
    EXPECT_EQ(shown_chart().points, 250);
    ASSERT_TRUE(ui.press(spc_panel, SPC_CLOSE));
    EXPECT_EQ(catalogue(), "300|5|3|1|TREE1|Check the MFC|1");
}

TEST_F(SpcWindowTest, ExcludingRuleBreakersAndTakingThemBack)
{
    open_mean_chart(300);
    ASSERT_EQ(rule_breakers, 2);
    std::vector<double> good;
    for (double v : shown_chart().values)
        if (v != 20.0 && v != 0.0) good.push_back(v);
    const double all_mean = shown_chart().data_mean, all_stdev = shown_chart().data_stdev;
    ui.answer(1);
    ASSERT_TRUE(ui.press(spc_panel, SPC_EXCLUDE));
    EXPECT_EQ(ui.popups().back().title, "FYI");
    EXPECT_EQ(ui.popups().back().text, "The mean and standard deviation have \nnow been calculated without rule breakers.");
    EXPECT_EQ(ui.ival(spc_panel, SPC_EXCLUDE), 1);
    const double m = std::accumulate(good.begin(), good.end(), 0.0) / static_cast<double>(good.size());
    EXPECT_NEAR(shown_chart().data_mean, m, 1e-12);
    EXPECT_LT(shown_chart().data_stdev, all_stdev);
    EXPECT_EQ(shown_chart().rule_mean, shown_chart().data_mean);  // natural limits follow
    ui.answer(1);
    ASSERT_TRUE(ui.press(spc_panel, SPC_EXCLUDE));
    EXPECT_EQ(ui.popups().back().text, "Rule breakers are now included in the \nmean and standard deviation calculations.");
    EXPECT_NEAR(shown_chart().data_mean, all_mean, 1e-12);
    EXPECT_NEAR(shown_chart().data_stdev, all_stdev, 1e-12);
}

TEST_F(SpcWindowTest, NothingToExcludeIsRefused)
{
    open_mean_chart(50);  // runs 311..360: no outlier
    ASSERT_EQ(rule_breakers, 0);
    ui.answer(1);
    ASSERT_TRUE(ui.press(spc_panel, SPC_EXCLUDE));
    EXPECT_EQ(ui.popups().back().text, "No defects to remove from this data set.");
    EXPECT_EQ(ui.ival(spc_panel, SPC_EXCLUDE), 0);
}

TEST_F(SpcWindowTest, ReadOutTakesTheTraceHeadersTimeAndLeavesTheCurrentRunAlone)
{
    run_num = 77;
    num_of_wafers = 5;
    open_mean_chart(300);
    EXPECT_EQ(ui.text(spc_panel, SPC_TIME), "04:05:06");  // no trace file: the run row's time
    EXPECT_EQ(ui.text(spc_panel, SPC_DATE), "2026/02/03");
    EXPECT_EQ(ui.text(spc_panel, SPC_TRACE_ID), "LOT360");
    EXPECT_EQ(ui.text(spc_panel, SPC_SYSTEM), "TOOL_A");
    EXPECT_EQ(ui.text(spc_panel, SPC_RULES), "None");
    {
        vsys::FilePtr f = vsys::open_file(wafer_trace_path(vt_dir, 359, 1), "wb");
        ASSERT_TRUE(f);
        ASSERT_TRUE(write_trace_header(f.get(), "12.34.56", "2026/02/03"));
    }
    ASSERT_TRUE(ui.set(spc_panel, SPC_POINT, -1));
    EXPECT_EQ(ui.text(spc_panel, SPC_TIME), "12:34:56");
    EXPECT_EQ(ui.text(spc_panel, SPC_TRACE_ID), "LOT359");
    EXPECT_EQ(run_num, 77);
    EXPECT_EQ(num_of_wafers, 5);
}

TEST_F(SpcWindowTest, DoubleClickOffersPlaybackButNotDuringAcquisition)
{
    open_mean_chart(300);
    ASSERT_TRUE(ui.move_cursor(spc_panel, SPC_CHART, 1, -3, shown_chart().values[3]));
    ui.answer_no();
    ASSERT_TRUE(ui.double_click(spc_panel, SPC_CHART));
    EXPECT_EQ(ui.popups().back().title, "Strip Chart Playback");
    EXPECT_EQ(ui.popups().back().text, "Do you want to view the strip chart for LOT357 trigger 1?");
    // Yes: the channel choice opens to play the point's wafer at once; its trace file is gone.
    ui.answer_yes();
    ASSERT_TRUE(ui.double_click(spc_panel, SPC_CHART));
    const int choice = ui.find_panel("CHOOSE");
    ASSERT_GT(choice, 0);
    EXPECT_EQ(ui.ival(choice, CHOOSE_START), 1);
    EXPECT_EQ(run_num, 357);
    ui.answer(2);  // a new chart
    ui.answer(1);
    ASSERT_TRUE(ui.press(choice, CHOOSE_OK));
    EXPECT_EQ(ui.popups().back().text, "Strip chart data cannot be replayed because this trace was deleted.");
    EXPECT_EQ(ui.ival(sc_handle, SCHART_PLAY), 0);
    // While acquisition records, the current run is not given away.
    SetCtrlVal(sc_handle, SCHART_START, 1);
    ui.answer_yes();
    ui.answer(1);
    ASSERT_TRUE(ui.double_click(spc_panel, SPC_CHART));
    EXPECT_EQ(ui.popups().back().text, "Stored wafers cannot be played back while acquisition runs.");
    SetCtrlVal(sc_handle, SCHART_START, 0);
    EXPECT_EQ(ui.ival(spc_panel, SPC_POINT), -3);
}

TEST_F(SpcWindowTest, ThePlaybackOfAPointRunsUnderItsRunsProcessAndSetup)
{
    // The current process ETCH (3) records three channels; ASH (5) two. Both setups are stored.
    char current[33] = "3";
    get_put_char(hdbc, 0, 5, CONFIG_WRITE, current);
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    recipe_num = 5;
    VantrelChannelStatusBits = 0x3;
    channels = 2;
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    char ash[33] = "ASH";
    get_put_char(hdbc, 1, 5, CONFIG_WRITE, ash);
    recipe_num = 3;
    VantrelChannelStatusBits = 0x7;
    channels = 3;
    const struct {
        const char* name;
        const char* recipe;
        int process;
        std::uint32_t mask;
        const char* error;
    } cases[] = {
        {"a known process", "ASH", 5, 0x3, nullptr},
        {"a process that is gone", "GONE", 3, 0x7,
         "The 'GONE' process does not exist.  \nData can only be played back with current parameters."},
    };
    open_mean_chart(300);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recipe_num = c.process == 3 ? 5 : 3;  // whatever was current before
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("UPDATE VT_INFO SET RECIPE = '%s' WHERE RUN_NUM = 357", c.recipe)), 0);
        ASSERT_TRUE(ui.move_cursor(spc_panel, SPC_CHART, 1, -3, shown_chart().values[3]));
        const std::size_t before = ui.popups().size();
        ui.answer_yes();
        if (c.error) ui.answer(1);
        ASSERT_TRUE(ui.double_click(spc_panel, SPC_CHART));
        if (c.error) {
            ASSERT_EQ(ui.popups().size(), before + 2);
            EXPECT_EQ(ui.popups().back().title, "Playback Error");
            EXPECT_EQ(ui.popups().back().text, c.error);
        } else {
            EXPECT_EQ(ui.popups().size(), before + 1);
        }
        // The process and its setup switched together, and the strip chart shows the playback graph.
        EXPECT_EQ(recipe_num, c.process);
        EXPECT_EQ(VantrelChannelStatusBits, c.mask);
        EXPECT_TRUE(ui.visible(sc_handle, SCHART_PLAYBACK));
        const int choice = ui.find_panel("CHOOSE");
        ASSERT_GT(choice, 0);
        DiscardPanel(choice);
    }
}

TEST_F(SpcWindowTest, ChartMenuGroupsFollowTheSetup)
{
    // Channel 1 a step channel with no steps, channel 3 a step channel with two, timers 2 and 5.
    channel_type[1] = 1;
    channel_type[3] = 1;
    get_put_number(26, 3, 7, 2.0);
    get_put_number(26, 1, 7, 0.0);
    timer_status_bit = 0x12;
    char name[33] = "GAS_OFF";
    get_put_char(hdbc, 29, 2, TAGS_WRITE, name);
    double sigma[3] = {0, 0, 30};
    step_specs(LIMITS_WRITE, 4, 0, 2, 0, sigma);
    update_menu();
    std::vector<std::string> groups;
    for (const auto& e : ui.menu_items(handle_menu, MENUBAR_CHARTS)) groups.push_back(e.name);
    EXPECT_EQ(groups, (std::vector<std::string>{"Static Channel Charts", "Step Channel Charts", "Timer Charts",
                                                "Sigma Charts", "SPC Chart List...", "Chart Slideshow", "Batch Comparison..."}));
    std::vector<std::string> names;
    for (const auto& e : ui.menu_items(handle_menu, submenu_of(submenu_of(MENUBAR_CHARTS, "Step Channel Charts"), "CH1")))
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Not available.", "This step channel has zero steps.",
                                               "(see Step Channel Setup under Configure)"}));
    names.clear();
    for (const auto& e : ui.menu_items(handle_menu, submenu_of(submenu_of(MENUBAR_CHARTS, "Step Channel Charts"), "CH3")))
        names.push_back(e.name);
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(names[1], "Step 1 Overshoot Maximum");
    EXPECT_EQ(names[11], "Step 2 Decay Constant");
    names.clear();
    for (const auto& e : ui.menu_items(handle_menu, submenu_of(MENUBAR_CHARTS, "Timer Charts"))) names.push_back(e.name);
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "GAS_OFF");
    // Sigma: channel 2 has its limit, the others say they have none and are dimmed.
    auto sigma_items = ui.menu_items(handle_menu, submenu_of(MENUBAR_CHARTS, "Sigma Charts"));
    ASSERT_EQ(sigma_items.size(), 3u);
    EXPECT_EQ(sigma_items[0].name, "CH1 NA (Spec Limit set to 0).");
    EXPECT_TRUE(sigma_items[0].dimmed);
    EXPECT_EQ(sigma_items[1].name, "CH2");
    EXPECT_FALSE(sigma_items[1].dimmed);
    // A step item carries its channel's selector: the chart it opens is that channel's step metric.
    auto step2 = ui.menu_items(handle_menu, submenu_of(submenu_of(MENUBAR_CHARTS, "Step Channel Charts"), "CH3"));
    ASSERT_TRUE(ui.pick(handle_menu, step2[10].id));  // "Step 2 Stability Time"
    ASSERT_GT(ui.find_panel("WAFERS"), 0);
    const ChartRecord chosen = batch_chart(ui.find_panel("WAFERS"));
    EXPECT_EQ(chosen.type, 1);
    EXPECT_EQ(chosen.channel, 3);
    EXPECT_EQ(chosen.step, 2);
    EXPECT_EQ(chosen.subtype, 2);
    // No enabled channel and no timer: no group at all.
    DiscardPanel(ui.find_panel("WAFERS"));
    VantrelChannelStatusBits = 0;
    timer_status_bit = 0;
    update_menu();
    EXPECT_EQ(ui.menu_items(handle_menu, MENUBAR_CHARTS).size(), 3u);
}

}  // namespace

namespace {

// The "Edit Limits" dialog: closing it only discards it, while its Cancel drops the pending setup changes.
TEST_F(SpcWindowTest, ClosingEditLimitsKeepsThePendingChangesCancelDropsThem)
{
    open_mean_chart(300);
    for (bool by_cancel : {false, true}) {
        SCOPED_TRACE(by_cancel ? "Cancel" : "close box");
        Flags &= static_cast<std::uint8_t>(~FLAG_PENDING_CHANGES);
        ASSERT_TRUE(ui.press(spc_panel, SPC_LIMITS_BUTTON));
        const int dialog = ui.modal_panel();
        ASSERT_GT(dialog, 0);
        ASSERT_EQ(ui.title(dialog), "Edit Limits");
        int field = 0, cancel = 0;
        for (int id = 1; id < 64; ++id) {
            if (!field && ui.label(dialog, id) == "Upper Specification Limit") field = id;
            if (!cancel && ui.label(dialog, id) == "Cancel") cancel = id;
        }
        ASSERT_GT(field, 0);
        ASSERT_GT(cancel, 0);
        ASSERT_TRUE(ui.set(dialog, field, 12.5));
        ASSERT_NE(Flags & FLAG_PENDING_CHANGES, 0);
        ASSERT_TRUE(by_cancel ? ui.press(dialog, cancel) : ui.close(dialog));
        EXPECT_FALSE(ui.panel_exists(dialog));
        EXPECT_EQ((Flags & FLAG_PENDING_CHANGES) != 0, !by_cancel);
        EXPECT_GT(spc_panel, 0);
    }
}

}  // namespace

namespace {

// The first control of a style on a panel built in code.
int first_of_style(int panel, int style)
{
    int c = 0;
    GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, &c);
    while (c > 0) {
        int s = 0;
        GetCtrlAttribute(panel, c, ATTR_CTRL_STYLE, &s);
        if (s == style) return c;
        int next = 0;
        GetCtrlAttribute(panel, c, ATTR_NEXT_CTRL, &next);
        c = next;
    }
    return 0;
}

// The batch dialog's standard item of trigger number 1.
constexpr int kTriggerOneItem = 1;

// A batch selection with a condition of its own (not one of the list's standard numbers) reopens as it was left:
// the comparison's TEST batch, chosen and opened again.
TEST_F(SpcWindowTest, BatchSelectionReopensWithItsCustomCondition)
{
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_BATCH_COMPARISON));
    ASSERT_GT(compare_panel, 0);
    ASSERT_TRUE(ui.press(compare_panel, COMPARE_TEST));
    int dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    EXPECT_EQ(ui.title(dialog), "Select TEST Batches");
    ASSERT_TRUE(ui.check(dialog, WAFERS_WAFER_LIST, kTriggerOneItem, true));
    ASSERT_TRUE(ui.press(dialog, WAFERS_CUSTOM));
    const int custom = ui.modal_panel();
    ASSERT_NE(custom, dialog);
    ASSERT_TRUE(ui.set(custom, first_of_style(custom, CTRL_RING), -1));
    ASSERT_TRUE(ui.set(custom, first_of_style(custom, CTRL_NUMERIC), 5));
    int ok = 0;
    for (int id = 1; id < 32 && !ok; ++id)
        if (ui.label(custom, id) == "OK") ok = id;
    ASSERT_TRUE(ui.press(custom, ok));
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    EXPECT_FALSE(ui.panel_exists(dialog));
    ASSERT_EQ(wafer_select, (std::vector<int>{1, 5}));

    ASSERT_TRUE(ui.press(compare_panel, COMPARE_TEST));
    dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    const auto items = ui.items(dialog, WAFERS_WAFER_LIST);
    ASSERT_EQ(items.size(), 16u) << "the fifteen standard items and the custom condition";
    EXPECT_FALSE(items[0].checked);
    EXPECT_TRUE(items[kTriggerOneItem].checked);
    EXPECT_EQ(items.back().label, "Trigger Numbers < 5");
    EXPECT_EQ(items.back().value.as_int(), 5);
    EXPECT_TRUE(items.back().checked);
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    EXPECT_EQ(wafer_select, (std::vector<int>{1, 5}));
    EXPECT_EQ(wafer_logic, (std::vector<int>{0, -1}));
}

// Rule alarms are recorded for a run range only while the sigma in use is above 1e-6.
TEST_F(SpcWindowTest, RuleAlarmsNeedASigmaAbove1e6)
{
    open_mean_chart(300);
    struct Case {
        const char* label;
        double sigma;
        bool recorded;
    };
    const Case cases[] = {{"sigma 1e-7", 1e-7, false}, {"sigma exactly 1e-6", 1e-6, false}, {"sigma 1", 1.0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_EQ(vtest::run(hdbc, "DELETE FROM OOC_ALRM"), 0);
        status_color = STATUS_WHITE;
        shown_chart().natural = 0;
        shown_chart().rule_mean = 5.0;  // every point lies above: nine in a row break rule 2a
        shown_chart().rule_stdev = c.sigma;
        shown_chart().rules = 1 << 2;
        display_capability(1, 360);
        const std::string written = rows("SELECT COUNT(*) FROM OOC_ALRM WHERE RULE = 2");
        EXPECT_EQ(written != "0", c.recorded) << written;
        EXPECT_EQ(status_color, c.recorded ? STATUS_YELLOW : STATUS_WHITE);
    }
}

// A point of an endpoint chart offers no playback: its wafers have no trace of their own.
TEST_F(SpcWindowTest, DoubleClickOnAnEndpointChartSaysItIsNotImplemented)
{
    for (int run = 1; run <= 5; ++run)
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO ENDP_DAT VALUES ('TOOL_A', 'CLEAN%dEP', 'none', "
                                                   "'2026/02/04', '05:00:00', 'PLASMA CLEAN', %d, 1, %d, 100, 0)",
                                                   run, 400 + run, 40 + run)),
                  0);
    ChartRecord endpoint;
    endpoint.process = recipe_num;
    endpoint.channel = 17;
    endpoint.type = 17;
    open_batch_selection(endpoint);  // as the chart menu opens it
    const int dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    ASSERT_GT(spc_panel, 0);
    ASSERT_GT(shown_chart().points, 0);
    ASSERT_TRUE(ui.move_cursor(spc_panel, SPC_CHART, 1, 0, shown_chart().values[0]));
    ui.answer(1);
    ASSERT_TRUE(ui.double_click(spc_panel, SPC_CHART));
    ASSERT_FALSE(ui.popups().empty());
    EXPECT_EQ(ui.popups().back().title, "");
    EXPECT_EQ(ui.popups().back().text, "This feature has not been implemented yet for plasma clean data.");
    EXPECT_EQ(ui.find_panel("CHOOSE"), 0);
    EXPECT_EQ(ui.answers_left(), 0u);
}

}  // namespace
