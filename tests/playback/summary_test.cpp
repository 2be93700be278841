// The test summary through its menu entry and the run selection: verdicts per activated chart, the file and the total.
#include "tests/playback/playback_fixture.h"

#include "core/config_store.h"
#include "core/schema.h"
#include "panels/sc_sel.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "spc/chart_catalogue.h"
#include "spc/limit_table.h"

namespace {

class SummaryTest : public pbtest::PlaybackTest {
protected:
    void SetUp() override
    {
        PlaybackTest::SetUp();
        if (HasFatalFailure()) return;
        record_two_wafer_run();
        ASSERT_EQ(create_other_table(&hdbc, 1), 0);
        for (auto [wafer, value] : {std::pair{1, 10.0}, std::pair{2, 11.0}})
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_01 (RUN, WAFER, DATA_MEAN, DATA_STDEV) "
                                                       "VALUES (1, %d, %.1f, 1)",
                                                       wafer, value)),
                      0);
        activate(1, 0, 1, 0);
        activate(1, 0, 2, 0);
        double limits[3] = {5, 10, 15};
        step_specs(LIMITS_WRITE, 0, 1, 1, 0, limits);
    }
    static void activate(short ch, short type, short sub, short step)
    {
        int points = 30, pager = 0, rules = 0, halt = 0;
        short limits = 0;
        char trees[105] = "eMpTy tExT", text[255] = "eMpTy tExT";
        chart_preferences(CHART_WRITE, &ch, &type, &sub, &step, &points, &pager, &rules, &limits, trees, text, &halt);
    }
    static std::string padded(const std::string& title) { return title + std::string(64 - title.size(), ' '); }
};

TEST_F(SummaryTest, MenuEntryRunsTheSummaryOfTheChosenTraces)
{
    ASSERT_TRUE(ui.pick(handle_menu, "Test Summary..."));
    EXPECT_EQ(ui.ival(sc_handle, SCHART_PLAY), 1);
    const int panel = ui.find_panel("SC_SEL");
    ASSERT_GT(panel, 0);
    EXPECT_EQ(ui.text(panel, SC_SEL_INSTRUCT), "Click on OK after selecting Trace IDs to summarize.");
    EXPECT_FALSE(ui.visible(panel, SC_SEL_CHOOSE_CHANNELS)) << "a summary shows no traces, so no channel choice";
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    const std::string trace = rows("SELECT TRACE_ID FROM VT_INFO WHERE RUN_NUM = 1");
    const std::string expected = "Vantrel Test Results\n\nSelected Traces:\n" + trace + "\n\n" + padded("CH1 Mean") +
                                 "PASS!\n2 data points\n0 violations\nMean    = 10.500000\nStd Dev = 0.707107\n\n" +
                                 padded("CH1 Std Dev") + "FAIL!!!\nNo data found!\n";
    EXPECT_EQ(bytes_of(dir.file("VantrelSummary.txt")), expected);
    EXPECT_EQ(ui.popups().back().title + "|" + ui.popups().back().text, "Test Result Summary|1 violation found.");
    ASSERT_FALSE(ui.documents().empty());
    EXPECT_EQ(ui.documents().back(), dir.file("VantrelSummary.txt"));
    EXPECT_EQ(ui.ival(sc_handle, SCHART_PLAY), 0);
    EXPECT_FALSE(ui.panel_exists(panel));
}

TEST_F(SummaryTest, OneWaferItemAndLimitBreaches)
{
    double limits[3] = {10.5, 10, 10.8};
    step_specs(LIMITS_WRITE, 0, 1, 1, 0, limits);
    ASSERT_TRUE(ui.pick(handle_menu, "Test Summary..."));
    const int panel = ui.find_panel("SC_SEL");
    ASSERT_TRUE(ui.double_click(panel, SC_SEL_RUNS));  // the run's wafers: "Trigger #2", "Trigger #1"
    ASSERT_EQ(ui.plain_items(panel, SC_SEL_RUNS).size(), 3u);
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 1));
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    const std::string trace = rows("SELECT TRACE_ID FROM VT_INFO WHERE RUN_NUM = 1");
    const std::string text = bytes_of(dir.file("VantrelSummary.txt"));
    EXPECT_NE(text.find("\nSelected Traces:\n" + trace + ", Trigger# 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find(padded("CH1 Mean") + "FAIL!!!\n1 data points\n1 violations\n\n"), std::string::npos) << text;
    EXPECT_EQ(ui.popups().back().text, "2 violations found.");
}

TEST_F(SummaryTest, StoppedBeforeItStartsWritesTheNoChartText)
{
    ASSERT_TRUE(ui.pick(handle_menu, "Test Summary..."));
    const int panel = ui.find_panel("SC_SEL");
    SetCtrlVal(sc_handle, SCHART_PLAY, 0);
    ui.answer(1);
    Summarize(panel, 0);
    EXPECT_EQ(bytes_of(dir.file("VantrelSummary.txt")),
              "Vantrel Test Results\n\nNo SPC Charts have been activated.  Please activate at\nleast 1 chart (from "
              "'List All' submenu of SPC Charts).\n");
    EXPECT_EQ(ui.popups().back().text, "No violations found.");
}

TEST_F(SummaryTest, AFileThatCannotBeWrittenIsReported)
{
    ASSERT_TRUE(ui.pick(handle_menu, "Test Summary..."));
    const int panel = ui.find_panel("SC_SEL");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    // The disk fills while the charts are examined.
    ui.after_pumps(1, [] { vsys::set_fault_plan(vsys::FileFault::disk_full_after(10, "VantrelSummary")); });
    ui.answer(1);
    Summarize(panel, 0);
    vsys::clear_fault_plan();
    EXPECT_EQ(ui.popups().back().title, "Test Summary Error");
    EXPECT_TRUE(ui.documents().empty());
    EXPECT_FALSE(vsys::file_exists(dir.file("VantrelSummary.txt")));
}

}  // namespace
