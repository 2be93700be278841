// Runs and wafers cut by the triggers: run rows, wafer files, precoat split, the 1000th wafer and slow rates.
#include "tests/acquisition/acq_fixture.h"
#include "tests/support/case_label.h"

#include <map>

#include "panels/s_chart.h"

namespace {

using acqtest::AcqTest;

struct TriggerCase {
    const char* name;
    const char* ch1;
    const char* ch2;
    short type;
    short conditions;
    int ticks;
    const char* rows;                        // RUN_NUM|NUM_WAF after stop
    std::map<std::pair<int, int>, int> blocks;  // (run, wafer) -> blocks in its file
};

// Data delay 5 and minimum trigger width 2 blocks, 10 samples a second on three channels.
const TriggerCase kCases[] = {
    {"level, one wafer; the block before the trigger stays in the file", "0011100000000000", "", 0, 1, 16, "1|1",
     {{{1, 1}, 9}}},
    {"gap of two blocks: the same wafer", "0011001100000000000", "", 0, 1, 19, "1|1", {{{1, 1}, 12}}},
    {"gap of three blocks: next wafer of the run", "00110001100000000000", "", 0, 1, 20, "1|2",
     {{{1, 1}, 6}, {{1, 2}, 7}}},
    {"gap longer than the data delay: a new run", "0011000000011000000000", "", 0, 1, 22, "1|1;2|1",
     {{{1, 1}, 8}, {{2, 1}, 8}}},
    {"edge mode, always true: one edge, ends delay + 1 blocks later", "1111111111111111", "", 1, 1, 16, "1|1",
     {{{1, 1}, 6}}},
    {"two conditions: both at once", "0011110000000000", "0000111000000000", 0, 2, 16, "1|1", {{{1, 1}, 8}}},
    {"two conditions never true together: nothing recorded", "0011000000", "0000110000", 0, 2, 10, "", {}},
    {"a sample exactly at the level is no hit", "00===00000", "", 0, 1, 10, "", {}},
};

class Triggers : public AcqTest, public ::testing::WithParamInterface<TriggerCase> {};

TEST_P(Triggers, CutRunsAndWafers)
{
    const TriggerCase& t = GetParam();
    source->ch1 = t.ch1;
    source->ch2 = t.ch2;
    trig_type = t.type;
    trigger = t.conditions;
    trig_2_ch = t.conditions == 2 ? 2 : 0;
    start();
    tick(t.ticks);
    stop();
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM"), t.rows);
    const int block = 2 * 3 * 10 + 20;
    for (const auto& [key, count] : t.blocks)
        EXPECT_EQ(vsys::file_size(trace_file(key.first, key.second)).value_or(0), 20u + count * block)
            << key.first << "." << key.second;
    // No file is left behind for a run that never triggered.
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("SC_DATA"))) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, t.blocks.size());
}

INSTANTIATE_TEST_SUITE_P(Table, Triggers, ::testing::ValuesIn(kCases), vtest::ByCaseName());

TEST_F(AcqTest, PrecoatWaferOfARunBecomesARunOfItsOwn)
{
    precoat_minimum = 3;
    source->ch1 = "00110001111100000000";
    start();
    tick(20);
    stop();
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF, RECIPE, TRACE_ID FROM VT_INFO WHERE RUN_NUM = 2"),
              "2|1|ETCH PRECOAT|TOOL_A:00000002 PRECOAT");
    EXPECT_EQ(rows("SELECT NUM_WAF, RECIPE FROM VT_INFO WHERE RUN_NUM = 1"), "1|ETCH");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0"), "2");
    EXPECT_TRUE(vsys::file_exists(trace_file(1, 1)));
    EXPECT_FALSE(vsys::file_exists(trace_file(1, 2)));
    EXPECT_TRUE(vsys::file_exists(trace_file(2, 1)));
}

TEST_F(AcqTest, FirstWaferPrecoatMakesTheRunItselfThePrecoatRun)
{
    precoat_minimum = 3;
    source->ch1 = "0011111000000000";
    start();
    tick(16);
    stop();
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF, RECIPE, TRACE_ID FROM VT_INFO WHERE RUN_NUM > 0"),
              "1|1|ETCH PRECOAT|TOOL_A:00000001 PRECOAT");
    EXPECT_TRUE(vsys::file_exists(trace_file(1, 1)));
}

TEST_F(AcqTest, AProcessNameEndingInPrecoatIsStoredWithoutIt)
{
    char process[33] = "ETCH B PRECOAT";
    get_put_char(hdbc, 1, 3, CONFIG_WRITE, process);
    precoat_minimum = 3;
    source->ch1 = "0011111000000000";
    start();
    tick(16);
    stop();
    EXPECT_EQ(rows("SELECT RECIPE FROM VT_INFO WHERE RUN_NUM = 1"), "ETCH B PRECOAT");
}

TEST_F(AcqTest, TheThousandthWaferStartsANewRun)
{
    source->ch1 = "001100011000000000";
    start();
    tick(3);
    acq().wafer = 999;  // as after 998 earlier wafers of this run
    tick(15);
    stop();
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM"), "1|999;2|1");
    EXPECT_TRUE(vsys::file_exists(trace_file(2, 1)));
}

TEST_F(AcqTest, SlowRateTakesOneBlockInFiveAndCountsFiveSecondsEach)
{
    setup_three_channels(-5);
    delay = 2;
    minimum_trig_width = 0;
    precoat_minimum = 8;
    source->ch1 = "0000000000111111111100000000000000000";
    start();
    tick(31);
    // Processed blocks 10 and 15 hit (10 s), 20 and 25 wait out the delay, 30 ends the run.
    EXPECT_EQ(strip_x_position, 20);
    stop();
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF, RECIPE FROM VT_INFO WHERE RUN_NUM > 0"), "1|1|ETCH PRECOAT");
    // The waiting block 5 and the collected blocks 10, 15, 20, 25; one scan each.
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), 20u + 5 * (2 * 3 + 20));
}

TEST_F(AcqTest, CollectAlwaysWithoutTriggerKeepsFileAndRowAtStop)
{
    trigger = 0;
    trig_ch = 0;
    start();
    tick(4);
    stop();
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0"), "1|1");
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), 20u + 4 * 80);
}

TEST_F(AcqTest, StoppingMidWaferKeepsTheWaferAndItsComment)
{
    source->ch1 = "0011111111111111";
    start();
    tick(5);
    ASSERT_TRUE(ui.set(sc_handle, SCHART_COMMENT, "operator's note"));
    stop();
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF, COMMENT FROM VT_INFO WHERE RUN_NUM > 0"), "1|1|operator's note");
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), 20u + 4 * 80);
}

TEST_F(AcqTest, WithoutRecordingNothingIsWrittenButTheChartMoves)
{
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_FILE_RECORD_DATA));  // recording off
    source->ch1 = "0011100000";
    start();
    tick(6);
    EXPECT_EQ(run_num, 0);
    EXPECT_FALSE(ui.trace(sc_handle, SCHART_STRIP, 1).empty());
    stop();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0"), "0");
    // Every stop turns recording on again.
    EXPECT_TRUE(ui.menu_item(handle_menu, MENUBAR_FILE_RECORD_DATA)->checked);
}

}  // namespace

namespace {

using acqtest::AcqTest;

TEST_F(AcqTest, LongSystemNamesAreCutWhereTheRowAndTraceIdsHoldThem)
{
    char name[33] = "FAB7_ETCH_CHAMBER_B_LONG";
    get_put_char(hdbc, 0, 0, CONFIG_WRITE, name);
    precoat_minimum = 3;
    source->ch1 = "00111110000000000";
    start();
    tick(2);
    EXPECT_EQ(rows("SELECT SYSTEM_ID, TRACE_ID FROM VT_INFO WHERE RUN_NUM = 1"),
              "FAB7_ETCH_CHAMBE|FAB7_ETCH_CH:2026/03/14 09:30:02");
    tick(15);
    stop();
    EXPECT_EQ(rows("SELECT SYSTEM_ID, TRACE_ID FROM VT_INFO WHERE RUN_NUM = 1"),
              "FAB7_ETCH_CHAMBE|FAB7_ETCH_CHA:00000001 PRECOAT");
}

}  // namespace
