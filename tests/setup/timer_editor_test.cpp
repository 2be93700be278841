// Timer editor: the event search on a process-of-record trace made here (crossings with hysteresis, none, event 0), stepping, unknown channel, exit.
#include <gtest/gtest.h>

#include "panels/part1.h"
#include "panels/part2.h"
#include "panels/s_chart.h"
#include "setup/timer_editor.h"
#include "tests/setup/setup_fixture.h"

namespace {

// Raw counts of two channels per scan, written as acquisition writes them (higher channel first).
std::string blocks(const std::vector<std::pair<short, short>>& scans, int rate)
{
    std::string out;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        for (short v : {scans[i].second, scans[i].first}) {
            out += static_cast<char>(v & 0xFF);
            out += static_cast<char>((v >> 8) & 0xFF);
        }
        if ((i + 1) % static_cast<std::size_t>(rate) == 0) out += std::string(20, '\0');
    }
    return out;
}

class TimerEditorTest : public setuptest::SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        for (int ch = 1; ch <= 32; ++ch) channel_slope[ch] = 1.0, channel_inter[ch] = 0.0;
        sample_rate_index = 2;
        vtest::run(hdbc, "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0), NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), "
                         "SYSTEM_ID CHAR(16), RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE "
                         "CHAR(10), SAV_TIME CHAR(8), COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE "
                         "NUMERIC(5,0), CASSETTE NUMERIC(5,0))");
        vtest::run(hdbc, "INSERT INTO VT_INFO VALUES (-3, 1, 2, 'T', 'x', 'y', 'U0000000003 02 10.0', '2026/03/14', "
                         "'09:30:00', '', 1, 1, 0)");
        // Channel 1 (2 V = 3277 counts) crosses up three times; its dip to 3200 lies within the hysteresis.
        // Channel 2 falls below 2 V once. The first block stands for the preceding wafer's last block.
        std::vector<std::pair<short, short>> scans{{0, 5000}, {0, 5000},  {4000, 5000}, {4000, 5000}, {3200, 5000},
                                                   {4000, 5000}, {0, 5000}, {4000, 0}, {0, 0}, {4000, 0}};
        dir.write("00000003.POR", "09:30:00\n" + blocks(scans, 2));
        dir.write("00000003.INT", "0\n0\n2\n");
        timer_status_bit = 1;
        timer_start_channel[1] = 1;
        timer_end_channel[1] = 2;
        timer_start_logic_bit = 1;
        timer_end_logic_bit = 0;
        timer_start_val[1] = timer_end_val[1] = 2.0;
        timer_start_gun[1] = 2;
        timer_end_gun[1] = 1;
        char name[33] = "Gas on";
        get_put_char(hdbc, 29, 1, TAGS_WRITE, name);
    }
    int open()
    {
        timer_setup_part2(0, MENUBAR_CONFIGURE_TIMERS, nullptr, 0);
        return ui.find_panel("PART2");
    }
};

}  // namespace

TEST_F(TimerEditorTest, SearchFindsCrossingsWithHysteresisAndShowsTheElapsedTime)
{
    int panel = open();
    ASSERT_GT(panel, 0);
    EXPECT_EQ(ui.plain_items(panel, PART2_TIMERS), (std::vector<std::string>{"Gas on"}));
    EXPECT_EQ(ui.text(panel, PART2_START_MSG), "3 START EVENTS were detected in the POR.");
    EXPECT_EQ(ui.text(panel, PART2_END_MSG), "1 END EVENTS were detected in the POR.");
    EXPECT_EQ(ui.ival(panel, PART2_START_EVENT), 2);
    // Start events at x 1.0, 3.5 and 4.5 (the dip at 2.0 stays within the hysteresis); the end event at 3.5.
    EXPECT_EQ(ui.text(panel, PART2_ELAPSED), "0.0000 sec");
    ui.press(panel, PART2_START_NEXT);
    EXPECT_EQ(timer_start_gun[1], 3);
    EXPECT_EQ(ui.text(panel, PART2_ELAPSED), "-1.0000 sec");  // an end before the start
    ui.press(panel, PART2_START_NEXT);  // at the last event NEXT keeps it
    EXPECT_EQ(timer_start_gun[1], 3);
    ui.press(panel, PART2_START_PREV);
    ui.press(panel, PART2_START_PREV);
    EXPECT_EQ(timer_start_gun[1], 1);
    EXPECT_TRUE(ui.dimmed(panel, PART2_START_PREV));
    EXPECT_NE(Flags & FLAG_PENDING_CHANGES, 0);
    ui.press(panel, PART2_EXIT);
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_EQ(timer_status_bit, 1);
}

TEST_F(TimerEditorTest, LargeStoredNumberComesDownAndEventZeroShowsNoTime)
{
    timer_start_gun[1] = 300;  // beyond 8 bits and beyond the events found
    int panel = open();
    ASSERT_GT(panel, 0);
    EXPECT_EQ(timer_start_gun[1], 3);
    ui.press(ui.find_panel("PART2"), PART2_EXIT);

    timer_start_gun[1] = 0;
    panel = open();
    EXPECT_EQ(ui.ival(panel, PART2_START_EVENT), 0);
    EXPECT_FALSE(ui.visible(panel, PART2_ELAPSED));
    ui.press(panel, PART2_START_NEXT);
    EXPECT_EQ(timer_start_gun[1], 1);
    EXPECT_TRUE(ui.visible(panel, PART2_ELAPSED));
}

TEST_F(TimerEditorTest, NoEventUnknownChannelAndRefusalToLeave)
{
    timer_start_val[1] = 9.0;  // above the whole trace
    ui.answer(1);
    int panel = open();
    ASSERT_GT(panel, 0);
    EXPECT_EQ(last_popup(), "Timer Setup Error|No start event detected.");
    EXPECT_EQ(timer_start_gun[1], 0);
    ui.answer(1);
    ui.press(panel, PART2_EXIT);
    EXPECT_EQ(ui.popups().back().title, "Timer Error");
    EXPECT_TRUE(ui.panel_exists(panel));

    ui.select(panel, PART2_START_CH, 0, true);  // UNKNOWN
    ui.answer(1);
    ui.press(panel, PART2_APPLY);
    EXPECT_EQ(last_popup(), "Timer Setup Error|Cannot search the Process Of Record because the start channel is unknown.");
    EXPECT_EQ(timer_start_channel[1], 255);  // -1 in its 8-bit slot, as stored
}

TEST_F(TimerEditorTest, WithoutAProcessOfRecordNothingOpens)
{
    std::filesystem::remove(dir.file("00000003.POR"));
    ui.answer(1);
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(last_popup(),
              "|The PROCESS OF RECORD must be selected before timer limits can be set (See the File Menu).");
}

TEST_F(TimerEditorTest, ClosingDuringASearchCancelsItFirst)
{
    int panel = open();
    ASSERT_GT(panel, 0);
    ui.after_pumps(1, [&] { ui.close(panel); });
    ui.press(panel, PART2_APPLY);
    EXPECT_FALSE(ui.panel_exists(panel));
}

TEST_F(TimerEditorTest, AddAskesForNameAndBothConditionsAndKeepsTheListInOrder)
{
    timer_status_bit = 0x4;  // timer 3 only: the new one takes number 1
    timer_start_channel[3] = 1;
    timer_end_channel[3] = 2;
    timer_start_logic_bit = 0x4;
    timer_start_val[3] = timer_end_val[3] = 2.0;
    timer_start_gun[3] = timer_end_gun[3] = 1;
    char name[33] = "Later";
    get_put_char(hdbc, 29, 3, TAGS_WRITE, name);
    int panel = open();
    ASSERT_GT(panel, 0);
    ui.answer_text("RF on", 2);
    ui.after_pumps(1, [&] {
        int start = ui.find_panel("START_COND");
        ui.select(start, START_COND_CHANNEL, 0);
        ui.set(start, START_COND_LEVEL, 2.0);
        ui.press(start, START_COND_OK);
    });
    ui.after_pumps(2, [&] {
        int end = ui.find_panel("END_COND");
        ui.select(end, END_COND_CHANNEL, 1);
        ui.set(end, END_COND_SENSE, -1);
        ui.press(end, END_COND_OK);
    });
    ui.answer(1);  // "Please click on PREVIOUS/NEXT ..."
    ui.press(panel, PART2_ADD);
    EXPECT_EQ(ui.plain_items(panel, PART2_TIMERS), (std::vector<std::string>{"RF on", "Later"}));
    EXPECT_EQ(timer_start_channel[1], 1);
    EXPECT_EQ(timer_end_channel[1], 2);
    EXPECT_EQ(last_popup(), "Timer Setup|Please click on PREVIOUS/NEXT buttons to select start and stop events.");
    // Not yet validated: leaving is refused until APPLY.
    ui.answer(1);
    ui.press(panel, PART2_EXIT);
    EXPECT_TRUE(ui.panel_exists(panel));
    ui.press(panel, PART2_APPLY);
    ui.press(panel, PART2_EXIT);
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_EQ(timer_status_bit, 0x5);
    char stored[33];
    EXPECT_STREQ(get_put_char(hdbc, 29, 1, TAGS_READ, stored), "RF on");
}

namespace {

// The blue marker lines of a graph, by their x position.
std::vector<double> markers(const vui::Headless& ui, int panel, int graph)
{
    std::vector<double> xs;
    for (const auto& p : ui.plots(panel, graph)) {
        auto colour = p.attrs.find(ATTR_TRACE_COLOR);
        if (p.kind == vui::Plot::Line && colour != p.attrs.end() && colour->second.as_int() == 0x0000FF)
            xs.push_back(p.x[0]);
    }
    return xs;
}

}  // namespace

// One sample every 5 s: positions are block numbers and elapsed times five times their difference.
TEST_F(TimerEditorTest, SlowRatePositionsAreBlocksAndElapsedTimesCountFiveSecondsEach)
{
    vtest::run(hdbc, "UPDATE VT_INFO SET RATE = -5 WHERE RUN_NUM = -3");
    dir.write("00000003.INT", "0\n0\n-5\n");
    // One scan per block: START crossings in blocks 2, 7 and 9, the END crossing in block 7.
    std::vector<std::pair<short, short>> scans{{0, 5000},    {0, 5000}, {4000, 5000}, {4000, 5000}, {3200, 5000},
                                               {4000, 5000}, {0, 5000}, {4000, 0},    {0, 0},       {4000, 0}};
    dir.write("00000003.POR", "09:30:00\n" + blocks(scans, 1));
    timer_start_gun[1] = 1;
    const int panel = open();
    ASSERT_GT(panel, 0);
    EXPECT_EQ(ui.text(panel, PART2_START_MSG), "3 START EVENTS were detected in the POR.");
    EXPECT_EQ(markers(ui, panel, PART2_START_GRAPH), (std::vector<double>{2.0}));
    EXPECT_EQ(markers(ui, panel, PART2_END_GRAPH), (std::vector<double>{7.0}));
    EXPECT_EQ(ui.text(panel, PART2_ELAPSED), "25.0000 sec");
    ui.press(panel, PART2_START_NEXT);
    EXPECT_EQ(markers(ui, panel, PART2_START_GRAPH), (std::vector<double>{7.0}));
    EXPECT_EQ(ui.text(panel, PART2_ELAPSED), "0.0000 sec");
    ui.press(panel, PART2_START_NEXT);
    EXPECT_EQ(ui.text(panel, PART2_ELAPSED), "-10.0000 sec");
}

// Cancel Search stops after the block in hand; the events found so far get their markers and can be stepped.
TEST_F(TimerEditorTest, ACancelledSearchMarksTheEventsFoundSoFar)
{
    // The wafer's first real block (from x 1.0) crosses twice more; only the carried-over scan at x 0.5 is read
    // before the cancel takes effect.
    std::vector<std::pair<short, short>> scans{{0, 5000}, {4000, 0}, {0, 5000}, {4000, 5000}, {0, 0},
                                               {4000, 0}, {4000, 0}, {4000, 0}, {4000, 0}, {4000, 0}};
    dir.write("00000003.POR", "09:30:00\n" + blocks(scans, 2));
    const int panel = open();
    ASSERT_GT(panel, 0);
    EXPECT_EQ(ui.text(panel, PART2_START_MSG), "3 START EVENTS were detected in the POR.");
    ui.after_pumps(1, [&] { ASSERT_TRUE(ui.press(panel, PART2_CANCEL)); });
    ASSERT_TRUE(ui.press(panel, PART2_APPLY));
    EXPECT_EQ(ui.popups().size(), 0u) << "a cancelled search reports no missing event";
    EXPECT_EQ(timer_start_gun[1], 1) << "the stored number comes down to the one event found";
    EXPECT_EQ(timer_end_gun[1], 1);
    EXPECT_EQ(markers(ui, panel, PART2_START_GRAPH), (std::vector<double>{0.5}));
    EXPECT_EQ(markers(ui, panel, PART2_END_GRAPH), (std::vector<double>{0.5}));
    EXPECT_EQ(ui.text(panel, PART2_ELAPSED), "0.0000 sec");
    EXPECT_EQ(ui.label(panel, PART2_CANCEL), "Cancel");
    // The timer counts as checked: leaving is not refused.
    ASSERT_TRUE(ui.press(panel, PART2_EXIT));
    EXPECT_FALSE(ui.panel_exists(panel));
}
