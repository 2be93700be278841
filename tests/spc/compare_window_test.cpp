// The comparison window through the headless UI: opening it from the menu, the two batch dialogs, the confidence
// level, a comparison with PASS and FAIL blocks, Cancel midway, Print and Save, and an open chart window left as
// it was.
#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <numeric>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/schema.h"
#include "core/shared_buffers.h"
#include "panels/compare.h"
#include "panels/pop.h"
#include "panels/s_chart.h"
#include "panels/spc_list.h"
#include "panels/wafers.h"
#include "panels/wait.h"
#include "panels/x_hist.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "programs/wiring.h"
#include "spc/chart_data.h"
#include "spc/chart_window.h"
#include "spc/compare_confidence.h"
#include "spc/compare_results.h"
#include "spc/compare_window.h"
#include "testing/chart_code.h"
#include "testing/window_menu.h"
#include "tests/acquisition/acq_fixture.h"
#include "tests/support/menu_path.h"

namespace {

constexpr int kCompareItem = 85;
constexpr const char* kCh2Mean = "Charts/Static Channel Charts/CH2/Mean";

// Values of one batch: a small spread around a level, the same pattern in every batch.
double value_at(double level, int k) { return level + ((k * 37) % 11 - 5) * 0.01; }

struct Stats {
    double mean = 0.0, sd = 0.0;
};
Stats stats(const std::vector<double>& v)
{
    Stats s;
    s.mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
    double ss = 0.0;
    for (double x : v) ss += (x - s.mean) * (x - s.mean);
    s.sd = std::sqrt(ss / static_cast<double>(v.size() - 1));
    return s;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CompareWindowTest : public acqtest::AcqTest {
protected:
    void SetUp() override
    {
        AcqTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        confidence_level = 4;
        update_menu();
    }
    void TearDown() override
    {
        provide_chart_list_reader(nullptr);
        for (int* h : {&spc_panel, &compare_panel, &spc_chart_selections})
            if (*h > 0) DiscardPanel(*h);
        spc_panel = compare_panel = spc_chart_selections = -1;
        free_mem();
        por_free_mem();
        confidence_level = 4;
        AcqTest::TearDown();
    }
    // POR runs 1..30 on TOOL_A, TEST runs 31..60 on TOOL_B. CH2 Mean: POR near 10, TEST near 12. CH3 Mean: both
    // batches the same pattern near 5. CH1 Mean: two POR points only.
    void seed()
    {
        for (int c : {1, 2, 3}) ASSERT_EQ(create_other_table(&hdbc, c), 0);
        for (int run = 1; run <= 60; ++run) {
            const bool por = run <= 30;
            const int k = por ? run : run - 30;
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SYSTEM_ID, "
                                                       "SAV_DATE, SAV_TIME) VALUES (%d, 1, 'ETCH', 'LOT%d', '%s', "
                                                       "'2026/03/04', '05:06:07')",
                                                       run, run, por ? "TOOL_A" : "TOOL_B")),
                      0);
            const double ch2 = value_at(por ? 10.0 : 12.0, k), ch3 = value_at(5.0, k);
            (por ? por2 : test2).push_back(ch2);
            (por ? por3 : test3).push_back(ch3);
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_02 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.9f)",
                                                       run, ch2)),
                      0);
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_03 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.9f)",
                                                       run, ch3)),
                      0);
            if (run <= 2) {
                ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_01 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, 1.5)",
                                                           run)),
                          0);
            }
        }
    }
    // The chart list's items as (code, ticked).
    void check_charts(const std::vector<std::pair<int, bool>>& items)
    {
        std::vector<ListedChart> charts;
        for (const auto& [code, ticked] : items) {
            ListedChart c;
            c.code = code;
            c.checked = ticked;
            charts.push_back(c);
        }
        provide_chart_list_reader([charts] { return charts; });
    }
    void open_comparison()
    {
        ASSERT_TRUE(ui.pick(handle_menu, kCompareItem));
        ASSERT_GT(compare_panel, 0);
    }
    // The comparison's chart list, then View on the chart of that label.
    void view_chart(const std::string& label)
    {
        ASSERT_TRUE(ui.press(compare_panel, COMPARE_CHARTS));
        ASSERT_GT(spc_chart_selections, 0);
        const auto labels = ui.plain_items(spc_chart_selections, SPC_LIST_CHARTS);
        const auto it = std::find(labels.begin(), labels.end(), label);
        ASSERT_NE(it, labels.end()) << label << " not in " << ::testing::PrintToString(labels);
        ASSERT_TRUE(ui.select(spc_chart_selections, SPC_LIST_CHARTS, static_cast<int>(it - labels.begin()), false));
        ASSERT_TRUE(ui.press(spc_chart_selections, SPC_LIST_VIEW));
    }
    // Opens the batch dialog of the button and keeps only the given system.
    void choose_batch(int button, const std::string& system)
    {
        ASSERT_TRUE(ui.press(compare_panel, button));
        const int dialog = ui.find_panel("WAFERS");
        ASSERT_GT(dialog, 0);
        EXPECT_EQ(ui.title(dialog), button == COMPARE_POR ? "Select POR Batches" : "Select TEST Batches");
        const auto labels = ui.plain_items(dialog, WAFERS_SYSTEM_LIST);
        const auto it = std::find(labels.begin(), labels.end(), system);
        ASSERT_NE(it, labels.end());
        ASSERT_TRUE(ui.check(dialog, WAFERS_SYSTEM_LIST, 0, false));
        ASSERT_TRUE(ui.check(dialog, WAFERS_SYSTEM_LIST, static_cast<int>(it - labels.begin()), true));
        ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
        EXPECT_FALSE(ui.panel_exists(dialog));
    }
    void choose_level(int level)
    {
        ASSERT_TRUE(ui.press(compare_panel, COMPARE_LEVEL));
        const int dialog = ui.find_panel("CONFIDENCE");
        ASSERT_GT(dialog, 0);
        EXPECT_EQ(ui.ival(dialog, CONFIDENCE_LEVEL), confidence_level);
        ASSERT_TRUE(ui.set(dialog, CONFIDENCE_LEVEL, level));
        ASSERT_TRUE(ui.press(dialog, CONFIDENCE_OK));
        EXPECT_FALSE(ui.panel_exists(dialog));
    }
    int compare()
    {
        EXPECT_TRUE(ui.press(compare_panel, COMPARE_COMPARE));
        return ui.find_panel("POP");
    }
    static int count_of(const std::vector<std::string>& lines, const std::string& part)
    {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const std::string& l) { return l.find(part) != std::string::npos; }));
    }

    std::vector<double> por2, test2, por3, test3;
    const int ch1 = chart_code(1, 0, 1, 0), ch2 = chart_code(2, 0, 1, 0), ch3 = chart_code(3, 0, 1, 0);
};

}  // namespace

TEST_F(CompareWindowTest, AnEmptyRunTableOpensNoWindow)
{
    ui.answer(1);
    ASSERT_TRUE(ui.pick(handle_menu, kCompareItem));
    ASSERT_FALSE(ui.popups().empty());
    EXPECT_EQ(ui.popups().back().text, "Cannot compare data sets because no data is in the database.");
    EXPECT_EQ(compare_panel, -1);
    EXPECT_EQ(wafer_restrictions + por_wafer_restrictions + system_restrictions + por_system_restrictions, 0);
}

TEST_F(CompareWindowTest, TheMenuOpensTheWindowAndLaterOnlyRaisesIt)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    EXPECT_TRUE(Flags & FLAG_COMPARE);
    auto item = ui.menu_item(handle_menu, MENUBAR_WINDOW_BATCH_COMPARISON);
    ASSERT_TRUE(item);
    EXPECT_FALSE(item->dimmed);
    EXPECT_TRUE(item->checked);
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_POR, "TOOL_A"));
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_TEST, "TOOL_B"));
    EXPECT_EQ(por_system_select, std::vector<std::string>{"TOOL_A"});
    EXPECT_EQ(system_select, std::vector<std::string>{"TOOL_B"});
    const int panel = compare_panel;
    ASSERT_TRUE(ui.pick(handle_menu, kCompareItem));
    EXPECT_EQ(compare_panel, panel);
    EXPECT_EQ(por_system_restrictions, 1);
    EXPECT_EQ(system_restrictions, 1);
    // Done ends the comparison: the window closes and both batches are emptied.
    ASSERT_TRUE(ui.press(compare_panel, COMPARE_DONE));
    EXPECT_EQ(compare_panel, -1);
    EXPECT_EQ(por_system_restrictions + system_restrictions, 0);
}

TEST_F(CompareWindowTest, OneBatchDialogLeavesTheOtherBatchAlone)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_POR, "TOOL_A"));
    // The TEST dialog: two trace ids and a wafer condition above 9 and one below 3.
    ASSERT_TRUE(ui.press(compare_panel, COMPARE_TEST));
    const int dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    const auto ids = ui.plain_items(dialog, WAFERS_TRACE_LIST);
    ASSERT_TRUE(ui.check(dialog, WAFERS_TRACE_LIST, 0, false));
    for (const char* id : {"LOT40", "LOT41"}) {
        const auto it = std::find(ids.begin(), ids.end(), id);
        ASSERT_NE(it, ids.end());
        ASSERT_TRUE(ui.check(dialog, WAFERS_TRACE_LIST, static_cast<int>(it - ids.begin())));
    }
    ASSERT_TRUE(ui.check(dialog, WAFERS_WAFER_LIST, 0, false));
    ASSERT_TRUE(ui.check(dialog, WAFERS_WAFER_LIST, 2));  // "Trigger Number 2"
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    EXPECT_EQ(lot_select, (std::vector<std::string>{"LOT40", "LOT41"}));
    EXPECT_EQ(wafer_select, std::vector<int>{2});
    EXPECT_EQ(wafer_logic, std::vector<int>{0});
    EXPECT_EQ(system_restrictions, 0);
    EXPECT_EQ(por_system_select, std::vector<std::string>{"TOOL_A"});
    EXPECT_EQ(por_lot_restrictions, 0);
}

// Ticks on single entries, "Select All" left as it was: the ticked entries are what the batch uses.
TEST_F(CompareWindowTest, ATickOnAnEntryEndsSelectAll)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    ASSERT_TRUE(ui.press(compare_panel, COMPARE_POR));
    const int dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    const auto ids = ui.plain_items(dialog, WAFERS_TRACE_LIST);
    for (const char* id : {"LOT3", "LOT5", "LOT7"}) {
        const auto it = std::find(ids.begin(), ids.end(), id);
        ASSERT_NE(it, ids.end());
        ASSERT_TRUE(ui.check(dialog, WAFERS_TRACE_LIST, static_cast<int>(it - ids.begin())));
        EXPECT_FALSE(ui.items(dialog, WAFERS_TRACE_LIST)[0].checked) << id;
    }
    ASSERT_TRUE(ui.check(dialog, WAFERS_WAFER_LIST, 1));  // "Trigger Number 1"
    EXPECT_FALSE(ui.items(dialog, WAFERS_WAFER_LIST)[0].checked);
    // A tick on "Select All" clears the system entries ticked before it.
    const auto systems = ui.plain_items(dialog, WAFERS_SYSTEM_LIST);
    const int tool_a = static_cast<int>(std::find(systems.begin(), systems.end(), "TOOL_A") - systems.begin());
    ASSERT_LT(tool_a, static_cast<int>(systems.size()));
    ASSERT_TRUE(ui.check(dialog, WAFERS_SYSTEM_LIST, tool_a));
    ASSERT_TRUE(ui.check(dialog, WAFERS_SYSTEM_LIST, 0));
    EXPECT_FALSE(ui.items(dialog, WAFERS_SYSTEM_LIST)[static_cast<std::size_t>(tool_a)].checked);
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    EXPECT_EQ(por_lot_select, (std::vector<std::string>{"LOT3", "LOT5", "LOT7"}));
    EXPECT_EQ(por_wafer_select, std::vector<int>{1});
    EXPECT_EQ(por_system_restrictions, 0);
}

TEST_F(CompareWindowTest, ComparisonWritesPassAndFailBlocks)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_POR, "TOOL_A"));
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_TEST, "TOOL_B"));
    ASSERT_NO_FATAL_FAILURE(choose_level(2));
    EXPECT_EQ(confidence_level, 2);
    check_charts({{-ch2, true}, {chart_code(2, 0, 2, 0), false}, {ch3, true}, {ch1, true}});
    const int popup = compare();
    ASSERT_GT(popup, 0);
    EXPECT_EQ(ui.title(popup), "Batch Comparison Results");
    EXPECT_FALSE(ui.panel_exists(ui.find_panel("WAIT")));
    EXPECT_FALSE(ui.dimmed(popup, POP_CLOSE));
    const auto lines = ui.plain_items(popup, POP_LINES);

    const Stats p2 = stats(por2), t2 = stats(test2), p3 = stats(por3), t3 = stats(test3);
    const double t = t_critical_value(58, 2);
    const double se2 = std::sqrt(t2.sd * t2.sd / 30 + p2.sd * p2.sd / 30);
    const std::vector<std::string> header = {"POR Systems:", "TOOL_A", "", "TEST Systems:", "TOOL_B", ""};
    ASSERT_GE(lines.size(), header.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6), header);
    // CH2: TEST lies about 2 above POR.
    std::size_t i = 6;
    EXPECT_NE(lines[i].find("     POR mean - TEST mean FAIL"), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i + 1], "30 points have been used to calculate the POR standard deviation.");
    EXPECT_EQ(lines[i + 2], "30 points have been used to calculate the TEST standard deviation.");
    EXPECT_EQ(lines[i + 3], vsys::strprintf("POR mean = %.6f", p2.mean));
    EXPECT_EQ(lines[i + 4], vsys::strprintf("POR standard deviation = %.6f", p2.sd));
    EXPECT_EQ(lines[i + 5], vsys::strprintf("TEST mean = %.6f", t2.mean));
    EXPECT_EQ(lines[i + 6], vsys::strprintf("TEST standard deviation = %.6f", t2.sd));
    EXPECT_EQ(lines[i + 7], vsys::strprintf("The TEST mean is greater than the POR mean by %.3f +/- %.3f",
                                            t2.mean - p2.mean, t * se2));
    EXPECT_EQ(lines[i + 8], vsys::strprintf("95%% Confidence Interval = (%.6f, %.6f)", p2.mean - t2.mean - t * se2,
                                            p2.mean - t2.mean + t * se2));
    EXPECT_EQ(lines[i + 9], "");
    // CH3: the same values in both batches.
    i += 10;
    EXPECT_NE(lines[i].find("     POR mean - TEST mean PASS"), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i + 7], "There is less than 95% confidence that there is a difference between the means.");
    EXPECT_NEAR(p3.mean, t3.mean, 1e-12);
    // CH1: two POR points, no TEST point.
    i += 10;
    ASSERT_EQ(lines.size(), i + 4);
    EXPECT_NE(lines[i].find("     POR mean - TEST mean FAIL"), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i + 1], "Less than 3 points in POR data.  Cannot perform comparison.");
    EXPECT_EQ(lines[i + 2], "Less than 3 points in TEST data.  Cannot perform comparison.");
    // The raw lines carry the colour of each verdict.
    const auto raw = ui.items(popup, POP_LINES);
    EXPECT_NE(raw[6].label.find("\033p500l\033fgFF0000FAIL"), std::string::npos);
    EXPECT_NE(raw[16].label.find("\033p500l\033fg00FF00PASS"), std::string::npos);
    // Closing the results drops pending setup changes, as the results popup's close does.
    Flags |= FLAG_PENDING_CHANGES;
    ASSERT_TRUE(ui.press(popup, POP_CLOSE));
    EXPECT_FALSE(ui.panel_exists(popup));
    EXPECT_FALSE(Flags & FLAG_PENDING_CHANGES);
}

TEST_F(CompareWindowTest, TheRealChartListInCheckModeChoosesTheComparedCharts)
{
    // The stored setup, which the comparison loads: channels 1..3 are statistics channels, so the list offers their
    // Mean, Standard Deviation, Minimum and Maximum.
    timer_status_bit = 0;
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_POR, "TOOL_A"));
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_TEST, "TOOL_B"));
    ASSERT_TRUE(ui.press(compare_panel, COMPARE_CHARTS));
    ASSERT_GT(spc_chart_selections, 0);
    ASSERT_TRUE(chart_list_in_check_mode());
    const auto labels = ui.plain_items(spc_chart_selections, SPC_LIST_CHARTS);
    for (const char* name : {"CH2 Mean", "CH3 Mean"}) {
        const auto it = std::find(labels.begin(), labels.end(), name);
        ASSERT_NE(it, labels.end()) << name << " not in " << ::testing::PrintToString(labels);
        ASSERT_TRUE(ui.check(spc_chart_selections, SPC_LIST_CHARTS, static_cast<int>(it - labels.begin())));
    }
    ASSERT_TRUE(ui.press(spc_chart_selections, SPC_LIST_DONE));
    const int popup = compare();
    ASSERT_GT(popup, 0);
    std::vector<std::string> verdicts;
    for (const std::string& line : ui.plain_items(popup, POP_LINES))
        if (line.find("     POR mean - TEST mean ") != std::string::npos) verdicts.push_back(line);
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0], "CH2 Mean     POR mean - TEST mean FAIL");
    EXPECT_EQ(verdicts[1], "CH3 Mean     POR mean - TEST mean PASS");
}

TEST_F(CompareWindowTest, FewPointsWarnAndGiveNoInterpretation)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    // Three wafers of each batch: LOT1..LOT3 against LOT31..LOT33.
    for (int button : {COMPARE_POR, COMPARE_TEST}) {
        ASSERT_TRUE(ui.press(compare_panel, button));
        const int dialog = ui.find_panel("WAFERS");
        const auto ids = ui.plain_items(dialog, WAFERS_TRACE_LIST);
        ASSERT_TRUE(ui.check(dialog, WAFERS_TRACE_LIST, 0, false));
        for (int k = 1; k <= 3; ++k) {
            const auto it = std::find(ids.begin(), ids.end(), "LOT" + std::to_string(button == COMPARE_POR ? k : k + 30));
            ASSERT_NE(it, ids.end());
            ASSERT_TRUE(ui.check(dialog, WAFERS_TRACE_LIST, static_cast<int>(it - ids.begin())));
        }
        ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    }
    check_charts({{ch2, true}});
    const int popup = compare();
    ASSERT_GT(popup, 0);
    const auto lines = ui.plain_items(popup, POP_LINES);
    EXPECT_EQ(count_of(lines, "Only 3 points have been used to calculate the POR standard deviation.WARNING"), 1);
    EXPECT_EQ(count_of(lines, "Only 3 points have been used to calculate the TEST standard deviation.WARNING"), 1);
    EXPECT_EQ(count_of(lines, "At least 25 points are recommended for an accurate comparison."), 2);
    EXPECT_EQ(count_of(lines, "greater than"), 0);
    EXPECT_EQ(count_of(lines, "99.9% Confidence Interval = ("), 1);
    EXPECT_EQ(count_of(lines, "POR Lots:"), 1);
}

TEST_F(CompareWindowTest, NothingCheckedIsRefused)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    // The chart list window is closed: nothing is checked.
    ui.answer(1);
    ASSERT_TRUE(ui.press(compare_panel, COMPARE_COMPARE));
    EXPECT_EQ(ui.popups().back().text, "No SPC Charts have been selected.  Please select charts with the SELECT SPC "
                                       "CHARTS/VIEW DUAL SPC CHARTS command button.");
    EXPECT_EQ(ui.find_panel("POP"), 0);
    check_charts({{ch2, false}, {ch3, false}});
    ui.answer(1);
    ASSERT_TRUE(ui.press(compare_panel, COMPARE_COMPARE));
    EXPECT_EQ(ui.find_panel("POP"), 0);
}

TEST_F(CompareWindowTest, CancelDuringTheFirstChartKeepsItsBlockOnly)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    std::vector<std::pair<int, bool>> ten(10, {ch2, true});
    check_charts(ten);
    ui.after_pumps(1, [&] {
        const int wait = ui.find_panel("WAIT");
        ASSERT_GT(wait, 0);
        EXPECT_EQ(ui.text(wait, WAIT_TEXT), "Calculating Confidence Intervals...");
        ASSERT_TRUE(ui.press(wait, WAIT_CANCEL));
    });
    const int popup = compare();
    ASSERT_GT(popup, 0);
    const auto lines = ui.plain_items(popup, POP_LINES);
    EXPECT_EQ(count_of(lines, "POR mean - TEST mean"), 1);
    EXPECT_EQ(ui.find_panel("WAIT"), 0);
}

TEST_F(CompareWindowTest, SavePrintAndTheirFailures)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_POR, "TOOL_A"));
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_TEST, "TOOL_B"));
    check_charts({{ch2, true}, {ch1, true}});
    const int popup = compare();
    ASSERT_GT(popup, 0);
    const int bar = GetPanelMenuBar(popup);
    ASSERT_GT(bar, 0);
    std::string expected;
    for (const auto& l : ui.plain_items(popup, POP_LINES)) expected += l + "\n";
    EXPECT_NE(expected.find("POR mean - TEST mean FAIL\n"), std::string::npos);
    EXPECT_EQ(expected.find('\033'), std::string::npos);

    const std::string saved = dir.file("RESULTS.TXT");
    ui.answer_path(saved);
    ASSERT_TRUE(ui.pick(bar, POPMENU_FILE_SAVE));
    EXPECT_EQ(read_file(saved), expected);
    // Over an existing file only after a yes.
    ASSERT_TRUE(vsys::write_file_atomic(saved, "old\n").ok);
    ui.answer_path(saved);
    ui.answer_no();
    ASSERT_TRUE(ui.pick(bar, POPMENU_FILE_SAVE));
    EXPECT_EQ(ui.popups().back().text, "Are you sure you want to write over " + saved);
    EXPECT_EQ(read_file(saved), "old\n");
    ui.answer_path(saved);
    ui.answer_yes();
    ASSERT_TRUE(ui.pick(bar, POPMENU_FILE_SAVE));
    EXPECT_EQ(read_file(saved), expected);
    ui.answer_cancel();
    ASSERT_TRUE(ui.pick(bar, POPMENU_FILE_SAVE));

    // Print writes the print file in the working directory and opens it.
    ASSERT_TRUE(ui.pick(bar, POPMENU_FILE_PRINT));
    EXPECT_EQ(read_file(dir.file("PRINT.TMP")), expected);
    EXPECT_EQ(ui.documents(), std::vector<std::string>{dir.file("PRINT.TMP")});

    // A failing write is reported and leaves the old file; nothing is opened.
    for (const vsys::FileFault& fault : {vsys::FileFault::disk_full_after(10), vsys::FileFault {vsys::FileOp::flush},
                                         vsys::FileFault {vsys::FileOp::close}, vsys::FileFault {vsys::FileOp::rename}}) {
        ASSERT_TRUE(vsys::write_file_atomic(saved, "old\n").ok);
        ui.answer_path(saved);
        ui.answer_yes();
        ui.answer(1);
        {
            vsys::FaultPlanScope plan(fault);
            ASSERT_TRUE(ui.pick(bar, POPMENU_FILE_SAVE));
        }
        EXPECT_EQ(ui.popups().back().title, saved);
        EXPECT_EQ(ui.popups().back().text.rfind("Unable to ", 0), 0u) << ui.popups().back().text;
        EXPECT_EQ(read_file(saved), "old\n");
    }
    ui.answer(1);
    {
        vsys::FaultPlanScope plan(vsys::FileFault::disk_full_after(5));
        ASSERT_TRUE(ui.pick(bar, POPMENU_FILE_PRINT));
    }
    EXPECT_EQ(ui.popups().back().title, dir.file("PRINT.TMP"));
    EXPECT_EQ(ui.documents().size(), 1u);
}

TEST_F(CompareWindowTest, PrintingAnEmptyTextSaysSo)
{
    const int popup = load_text_popup(0);
    ASSERT_GT(popup, 0);
    InstallPopup(popup);
    ui.answer(1);
    ASSERT_TRUE(ui.pick(GetPanelMenuBar(popup), POPMENU_FILE_PRINT));
    EXPECT_EQ(ui.popups().back().text, "No text to print.");
    EXPECT_EQ(read_file(dir.file("PRINT.TMP")), "");
    EXPECT_TRUE(ui.documents().empty());
    DiscardPanel(popup);
}

// With the comparison open, the chart list's View draws the chart at once with both batches.
TEST_F(CompareWindowTest, AChartViewedBesideAComparisonShowsBothBatchesAndKeepsItsSeries)
{
    timer_status_bit = 0;
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_POR, "TOOL_A"));
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_TEST, "TOOL_B"));
    ASSERT_NO_FATAL_FAILURE(view_chart("CH2 Mean"));
    EXPECT_EQ(ui.find_panel("WAFERS"), 0);
    ASSERT_GT(spc_panel, 0);
    // TEST is TOOL_B's 30 points, POR TOOL_A's, newest first.
    EXPECT_EQ(shown_chart().points, 30);
    EXPECT_EQ(shown_chart().values, std::vector<double>(test2.rbegin(), test2.rend()));
    ASSERT_EQ(por_chart_points, 30);
    EXPECT_EQ(por_x_array, std::vector<double>(por2.rbegin(), por2.rend()));
    for (int c : {SPC_PRINT, SPC_RULES_BUTTON, SPC_LIMITS_BUTTON}) EXPECT_TRUE(ui.dimmed(spc_panel, c)) << c;
    // Both batches are within the value axis.
    EXPECT_LE(shown_chart().plot_low[3], *std::min_element(por2.begin(), por2.end()));
    EXPECT_GE(shown_chart().plot_high[3], *std::max_element(test2.begin(), test2.end()));
    int blue_squares = 0, bars = 0;
    for (const auto& plot : ui.plots(spc_panel, SPC_CHART)) {
        auto colour = plot.attrs.find(ATTR_TRACE_COLOR);
        if (plot.kind == vui::Plot::XY && colour != plot.attrs.end() && colour->second.as_int() == 0x0000FF) ++blue_squares;
    }
    for (const auto& plot : ui.plots(spc_panel, SPC_HISTOGRAM))
        if (plot.kind == vui::Plot::XY) ++bars;
    EXPECT_EQ(blue_squares, 1);
    EXPECT_EQ(bars, 2);
    bool names_por = false;
    for (const auto& plot : ui.plots(spc_panel, SPC_LEGEND))
        if (plot.text == "POR Data") names_por = true;
    EXPECT_TRUE(names_por);

    // A comparison run meanwhile loads charts into records of its own: the window keeps what it shows.
    const std::vector<double> series = shown_chart().values;
    const std::vector<int> runs = shown_chart().runs;
    const double limits[2] = {shown_chart().rule_mean, shown_chart().plot_high[3]};
    check_charts({{ch3, true}, {ch1, true}});
    const int popup = compare();
    ASSERT_GT(popup, 0);
    ASSERT_TRUE(ui.press(popup, POP_CLOSE));
    EXPECT_EQ(shown_chart().values, series);
    EXPECT_EQ(shown_chart().runs, runs);
    EXPECT_EQ(shown_chart().points, 30);
    EXPECT_EQ(shown_chart().channel, 2);
    EXPECT_EQ(shown_chart().subtype, 1);
    EXPECT_EQ(shown_chart().rule_mean, limits[0]);
    EXPECT_EQ(shown_chart().plot_high[3], limits[1]);
    // The read-out of the chart's second point shows the chart's own value.
    ASSERT_TRUE(ui.set(spc_panel, SPC_POINT, -1));
    EXPECT_DOUBLE_EQ(ui.dval(spc_panel, SPC_VALUE), series[1]);
}

TEST_F(CompareWindowTest, ABatchWithoutPointsBesideAComparisonSaysWhichAndLeavesNoWindow)
{
    // CH1 Mean has two points, both on TOOL_A.
    const struct {
        const char* name;
        const char* por;
        const char* test;
        const char* message;
    } cases[] = {
        {"no TEST points", "TOOL_A", "TOOL_B", "No Test data found for this chart."},
        {"no POR points", "TOOL_B", "TOOL_A", "No Process of Record data found for this chart."},
    };
    timer_status_bit = 0;
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    ASSERT_NO_FATAL_FAILURE(seed());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(open_comparison());
        ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_POR, c.por));
        ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_TEST, c.test));
        ui.answer(1);
        ASSERT_NO_FATAL_FAILURE(view_chart("CH1 Mean"));
        EXPECT_EQ(ui.popups().back().text, c.message);
        EXPECT_EQ(ui.popups().back().title, "CH1 Mean");
        EXPECT_EQ(spc_panel, -1);
        EXPECT_EQ(por_chart_points, 0);
        ASSERT_TRUE(ui.press(compare_panel, COMPARE_DONE));
        if (spc_chart_selections > 0) DiscardPanel(spc_chart_selections);
        spc_chart_selections = -1;
    }
}

TEST_F(CompareWindowTest, AChartChosenFromTheMenuEndsTheComparison)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    ASSERT_NO_FATAL_FAILURE(choose_batch(COMPARE_POR, "TOOL_A"));
    // CH2 Mean from the chart menu, all batches.
    const int mean = vtest::menu_path(ui, handle_menu, kCh2Mean);
    ASSERT_GT(mean, 0);
    ASSERT_TRUE(ui.pick(handle_menu, mean));
    EXPECT_EQ(compare_panel, -1);
    EXPECT_EQ(por_system_restrictions, 0);
    const int dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    ASSERT_GT(spc_panel, 0);
    EXPECT_EQ(shown_chart().points, 60);
    EXPECT_EQ(por_chart_points, 0);
    EXPECT_FALSE(ui.dimmed(spc_panel, SPC_RULES_BUTTON));
}

TEST_F(CompareWindowTest, TheMenuClosesAnOpenChartAndStartsWithEmptyBatches)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    Flags |= FLAG_COMPARE;  // as start-up leaves it
    const int mean = vtest::menu_path(ui, handle_menu, kCh2Mean);
    ASSERT_GT(mean, 0);
    ASSERT_TRUE(ui.pick(handle_menu, mean));
    const int dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    const auto systems = ui.plain_items(dialog, WAFERS_SYSTEM_LIST);
    ASSERT_TRUE(ui.check(dialog, WAFERS_SYSTEM_LIST, 0, false));
    ASSERT_TRUE(ui.check(dialog, WAFERS_SYSTEM_LIST, static_cast<int>(std::find(systems.begin(), systems.end(), "TOOL_A") -
                                                              systems.begin())));
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    ASSERT_GT(spc_panel, 0);
    ASSERT_EQ(system_restrictions, 1);
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    EXPECT_EQ(spc_panel, -1);
    EXPECT_EQ(system_restrictions, 0);
    EXPECT_EQ(shown_chart().points, 0);
    auto item = ui.menu_item(handle_menu, MENUBAR_WINDOW_SPC_CHART);
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->dimmed);
}

TEST_F(CompareWindowTest, AChartWithoutSeriesFailsWithBothShortBatchLines)
{
    ASSERT_NO_FATAL_FAILURE(seed());
    ASSERT_NO_FATAL_FAILURE(open_comparison());
    // A code of no chart, and the most negative code a list item can carry.
    check_charts({{chart_code(9, 0, 1, 0), true}, {INT_MIN, true}});
    const int popup = compare();
    ASSERT_GT(popup, 0);
    const auto lines = ui.plain_items(popup, POP_LINES);
    EXPECT_EQ(count_of(lines, "POR mean - TEST mean FAIL"), 2);
    EXPECT_EQ(count_of(lines, "Less than 3 points in POR data.  Cannot perform comparison."), 2);
    EXPECT_EQ(count_of(lines, "Less than 3 points in TEST data.  Cannot perform comparison."), 2);
}
