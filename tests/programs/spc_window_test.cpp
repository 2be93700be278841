// The SPC chart window on a result table made for the test: closing writes changed settings, exclusion of rule
// breakers, the playback offer of a point, the trace header's time in the read-out, and the chart menus' groups.
#include "programs/wiring.h"
#include "core/config_store.h"
#include "core/shared_buffers.h"
#include "core/trace_file.h"
#include "platform/sys/format.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_data.h"
#include "spc/chart_window.h"
#include "spc/limit_table.h"
#include "testing/chart_identity.h"
#include "tests/acquisition/acq_fixture.h"
#include "tests/support/menu_path.h"

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
    // CH2 Mean through the chart menu and batch selection, with `points` asked for.
    void open_mean_chart(int points)
    {
        const int mean = vtest::menu_path(ui, handle_menu, "Charts/Static Channel Charts/CH2/Mean");
        ASSERT_GT(mean, 0);
        ASSERT_TRUE(ui.pick(handle_menu, mean));
        const int dialog = ui.find_panel("WAFERS");
        ASSERT_GT(dialog, 0);
        ASSERT_TRUE(ui.set(dialog, WF_POINTS, points));
        ASSERT_TRUE(ui.press(dialog, WF_OK));
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
        EXPECT_EQ(chart_points, 350);
        EXPECT_EQ(run_index.front(), 360);
        EXPECT_EQ(run_index.back(), 11);
        EXPECT_EQ(rule_breakers, 2);
        ASSERT_TRUE(close_box ? ui.close(spc_panel) : ui.press(spc_panel, XH_CLOSE));
        EXPECT_EQ(spc_panel, -1);
        EXPECT_EQ(catalogue(), "350|5|3|1|TREE1|Check the MFC|0");
        EXPECT_TRUE(Flags & FLAG_PENDING_CHANGES);
    }
}

TEST_F(SpcWindowTest, CloseWithFewerThanThreeHundredPointsWritesNothing)
{
    store_row(300, 3, 1);
    open_mean_chart(250);
    EXPECT_EQ(chart_points, 250);
    ASSERT_TRUE(ui.press(spc_panel, XH_CLOSE));
    EXPECT_EQ(catalogue(), "300|5|3|1|TREE1|Check the MFC|1");
}

TEST_F(SpcWindowTest, ExcludingRuleBreakersAndTakingThemBack)
{
    open_mean_chart(300);
    ASSERT_EQ(rule_breakers, 2);
    std::vector<double> good;
    for (double v : x_array)
        if (v != 20.0 && v != 0.0) good.push_back(v);
    const double all_mean = data_mean, all_stdev = data_stdev;
    ui.answer(1);
    ASSERT_TRUE(ui.press(spc_panel, XH_EXCLUDE));
    EXPECT_EQ(ui.popups().back().title, "FYI");
    EXPECT_EQ(ui.popups().back().text, "The mean and standard deviation have \nnow been calculated without rule breakers.");
    EXPECT_EQ(ui.ival(spc_panel, XH_EXCLUDE), 1);
    const double m = std::accumulate(good.begin(), good.end(), 0.0) / static_cast<double>(good.size());
    EXPECT_NEAR(data_mean, m, 1e-12);
    EXPECT_LT(data_stdev, all_stdev);
    EXPECT_EQ(rule_mean, data_mean);  // natural limits follow
    ui.answer(1);
    ASSERT_TRUE(ui.press(spc_panel, XH_EXCLUDE));
    EXPECT_EQ(ui.popups().back().text, "Rule breakers are now included in the \nmean and standard deviation calculations.");
    EXPECT_NEAR(data_mean, all_mean, 1e-12);
    EXPECT_NEAR(data_stdev, all_stdev, 1e-12);
}

TEST_F(SpcWindowTest, NothingToExcludeIsRefused)
{
    open_mean_chart(50);  // runs 311..360: no outlier
    ASSERT_EQ(rule_breakers, 0);
    ui.answer(1);
    ASSERT_TRUE(ui.press(spc_panel, XH_EXCLUDE));
    EXPECT_EQ(ui.popups().back().text, "No defects to remove from this data set.");
    EXPECT_EQ(ui.ival(spc_panel, XH_EXCLUDE), 0);
}

TEST_F(SpcWindowTest, ReadOutTakesTheTraceHeadersTimeAndLeavesTheCurrentRunAlone)
{
    run_num = 77;
    num_of_wafers = 5;
    open_mean_chart(300);
    EXPECT_EQ(ui.text(spc_panel, XH_TIME), "04:05:06");  // no trace file: the run row's time
    EXPECT_EQ(ui.text(spc_panel, XH_DATE), "2026/02/03");
    EXPECT_EQ(ui.text(spc_panel, XH_TRACE_ID), "LOT360");
    EXPECT_EQ(ui.text(spc_panel, XH_SYSTEM), "TOOL_A");
    EXPECT_EQ(ui.text(spc_panel, XH_RULES), "None");
    {
        vsys::FilePtr f = vsys::open_file(wafer_trace_path(vt_dir, 359, 1), "wb");
        ASSERT_TRUE(f);
        ASSERT_TRUE(write_trace_header(f.get(), "12.34.56", "2026/02/03"));
    }
    ASSERT_TRUE(ui.set(spc_panel, XH_POSITION, -1));
    EXPECT_EQ(ui.text(spc_panel, XH_TIME), "12:34:56");
    EXPECT_EQ(ui.text(spc_panel, XH_TRACE_ID), "LOT359");
    EXPECT_EQ(run_num, 77);
    EXPECT_EQ(num_of_wafers, 5);
}

TEST_F(SpcWindowTest, DoubleClickOffersPlaybackButNotDuringAcquisition)
{
    open_mean_chart(300);
    ASSERT_TRUE(ui.move_cursor(spc_panel, XH_CHART, 1, -3, x_array[3]));
    ui.answer_no();
    ASSERT_TRUE(ui.double_click(spc_panel, XH_CHART));
    EXPECT_EQ(ui.popups().back().title, "Strip Chart Playback");
    EXPECT_EQ(ui.popups().back().text, "Do you want to view the strip chart for LOT357 trigger 1?");
    // Yes: the channel choice opens to play the point's wafer at once; its trace file is gone.
    ui.answer_yes();
    ASSERT_TRUE(ui.double_click(spc_panel, XH_CHART));
    const int choice = ui.find_panel("CHOOSE");
    ASSERT_GT(choice, 0);
    EXPECT_EQ(ui.ival(choice, 4), 1);
    EXPECT_EQ(run_num, 357);
    ui.answer(2);  // a new chart
    ui.answer(1);
    ASSERT_TRUE(ui.press(choice, 3));
    EXPECT_EQ(ui.popups().back().text, "Strip chart data cannot be replayed because this trace was deleted.");
    EXPECT_EQ(ui.ival(sc_handle, 3), 0);
    // While acquisition records, the current run is not given away.
    SetCtrlVal(sc_handle, 2, 1);
    ui.answer_yes();
    ui.answer(1);
    ASSERT_TRUE(ui.double_click(spc_panel, XH_CHART));
    EXPECT_EQ(ui.popups().back().text, "Stored wafers cannot be played back while acquisition runs.");
    SetCtrlVal(sc_handle, 2, 0);
    EXPECT_EQ(ui.ival(spc_panel, XH_POSITION), -3);
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
    for (const auto& e : vtest::menu_at(ui, handle_menu, "Charts")) groups.push_back(e.name);
    EXPECT_EQ(groups, (std::vector<std::string>{"Static Channel Charts", "Step Channel Charts", "Timer Charts",
                                                "Sigma Charts", "SPC Chart List...", "Chart Slideshow", "Batch Comparison..."}));
    std::vector<std::string> names;
    for (const auto& e : vtest::menu_at(ui, handle_menu, "Charts/Step Channel Charts/CH1"))
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Not available.", "This step channel has zero steps.",
                                               "(see Step Channel Setup under Configure)"}));
    names.clear();
    for (const auto& e : vtest::menu_at(ui, handle_menu, "Charts/Step Channel Charts/CH3"))
        names.push_back(e.name);
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(names[1], "Step 1 Overshoot Maximum");
    EXPECT_EQ(names[11], "Step 2 Decay Constant");
    names.clear();
    for (const auto& e : vtest::menu_at(ui, handle_menu, "Charts/Timer Charts")) names.push_back(e.name);
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "GAS_OFF");
    // Sigma: channel 2 has its limit, the others say they have none and are dimmed.
    auto sigma_items = vtest::menu_at(ui, handle_menu, "Charts/Sigma Charts");
    ASSERT_EQ(sigma_items.size(), 3u);
    EXPECT_EQ(sigma_items[0].name, "CH1 NA (Spec Limit set to 0).");
    EXPECT_TRUE(sigma_items[0].dimmed);
    EXPECT_EQ(sigma_items[1].name, "CH2");
    EXPECT_FALSE(sigma_items[1].dimmed);
    // A step item carries its channel's selector: the chart it opens is that channel's step metric.
    auto step2 = vtest::menu_at(ui, handle_menu, "Charts/Step Channel Charts/CH3");
    ASSERT_TRUE(ui.pick(handle_menu, step2[10].id));  // "Step 2 Stability Time"
    EXPECT_EQ(chart_type, 1);
    EXPECT_EQ(spc_channel, 3);
    EXPECT_EQ(spc_index, 2);
    EXPECT_EQ(type_subparameter, 2);
    EXPECT_GT(ui.find_panel("WAFERS"), 0);
    // No enabled channel and no timer: no group at all.
    DiscardPanel(ui.find_panel("WAFERS"));
    VantrelChannelStatusBits = 0;
    timer_status_bit = 0;
    update_menu();
    EXPECT_EQ(vtest::menu_at(ui, handle_menu, "Charts").size(), 3u);
}

}  // namespace
