// Replay of runs recorded on the simulated board through the run selection: text files, overlay, strip chart with
// its play buttons and history, re-test, refusals and the direct call of a chart point.
#include "tests/playback/playback_fixture.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "core/config_store.h"
#include "core/run_table.h"
#include "panels/playback.h"
#include "panels/right.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "testing/chart_identity.h"

namespace {

using pbtest::PlaybackTest;

// The text export rows expected from the raw blocks: time column from `elapsed`, channels 1 and 3.
std::string expected_rows(const std::vector<std::vector<std::int16_t>>& blocks, int& elapsed, double volts)
{
    std::string out;
    for (const auto& b : blocks) {
        ++elapsed;
        for (int s = 0; s < 10; ++s) {
            out += vsys::strprintf("%.1lf\t", elapsed + s / 10.0);
            // Channel 1 is the last of a scan, channel 3 the first.
            out += vsys::strprintf("%.3lf\t", volts * b[static_cast<std::size_t>(s * 3 + 2)]);
            out += vsys::strprintf("%.3lf\t", volts * b[static_cast<std::size_t>(s * 3 + 0)]);
            out += "\n";
        }
    }
    return out;
}


// Opens the channel choice from the run selection and ticks only `channels` (by channel number).
void choose_channels(vui::Headless& ui, int selection, const std::vector<int>& channels)
{
    ASSERT_TRUE(ui.visible(selection, SC_SEL_CHOOSE_CHANNELS));
    ASSERT_TRUE(ui.press(selection, SC_SEL_CHOOSE_CHANNELS));
    const int choice = ui.find_panel("CHOOSE");
    ASSERT_GT(choice, 0);
    EXPECT_EQ(ui.modal_panel(), choice);
    EXPECT_EQ(ui.ival(choice, CHOOSE_START), 0);
    const auto items = ui.items(choice, CHOOSE_CHANNELS);
    ASSERT_FALSE(items.empty());
    EXPECT_TRUE(items[0].checked) << "a fresh replay offers every recorded channel";
    ASSERT_TRUE(ui.check(choice, CHOOSE_CHANNELS, 0, false));
    for (std::size_t i = 1; i < items.size(); ++i) {
        const int ch = static_cast<int>(items[i].value.i);
        const bool wanted = std::find(channels.begin(), channels.end(), ch) != channels.end();
        ASSERT_TRUE(ui.check(choice, CHOOSE_CHANNELS, static_cast<int>(i), wanted));
    }
    ASSERT_TRUE(ui.press(choice, CHOOSE_OK));
    EXPECT_FALSE(ui.panel_exists(choice));
}

TEST_F(PlaybackTest, TextFilesWithTimeColumnOfTheChosenChannels)
{
    record_two_wafer_run();
    const int panel = open_selection();
    destination(panel, "Text File (time and traces)");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    choose_channels(ui, panel, {1, 3});
    EXPECT_EQ(ui.text(sc_handle, SCHART_PLAY_STATE), "0 7 5");
    EXPECT_TRUE(ui.panel_exists(panel)) << "without Replay now the choice waits for the selection's OK";
    ui.answer_path(dir.file("textFiles/lot"));
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_TRUE(vsys::directory_exists(dir.file("textFiles")));
    const std::string trace = rows("SELECT TRACE_ID FROM VT_INFO WHERE RUN_NUM = 1");
    const std::string date = rows("SELECT SAV_DATE FROM VT_INFO WHERE RUN_NUM = 1");
    int elapsed = 0;
    for (int wafer : {1, 2}) {
        const auto blocks = blocks_of(trace_file(1, wafer));
        ASSERT_FALSE(blocks.empty());
        const std::string header = bytes_of(trace_file(1, wafer)).substr(0, 8);
        std::string time = header;
        time[2] = time[5] = ':';
        const std::string expected = vsys::strprintf("%s #%i\n", trace.c_str(), wafer) +
                                     rows("SELECT COMMENT FROM VT_INFO WHERE RUN_NUM = 1") + "\n" + date + "\n" +
                                     time + "\nSamples per Second = 10\n\nSec.\tCH1\tCH3\t\n" +
                                     expected_rows(blocks, elapsed, BinaryToVoltage[ADCBits == 1 ? 1 : 0]);
        EXPECT_EQ(bytes_of(dir.file(vsys::strprintf("textFiles/lot.%.3d", wafer))), expected) << wafer;
    }
    // A text file is not on the chart: the list (what the print draws) names nothing.
    EXPECT_EQ(bytes_of(list_file()), "");
    // The command has ended: idle window, setup back.
    EXPECT_EQ(ui.ival(sc_handle, SCHART_PLAY), 0);
    EXPECT_FALSE(ui.dimmed(sc_handle, SCHART_START));
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_FALSE(LongCommand::running());
}

TEST_F(PlaybackTest, TextFileThatCannotBeWrittenIsReportedNotLeftHalf)
{
    record_two_wafer_run();
    const int panel = open_selection();
    destination(panel, "Text File (traces only)");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer_path(dir.file("textFiles/full"));
    // Something else stands where the first file goes: it cannot be put in place.
    std::filesystem::create_directories(dir.file("textFiles/full.001"));
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(ui.popups().back().title, "Text File Error");
    EXPECT_EQ(ui.popups().back().text.rfind("Cannot write " + dir.file("textFiles/full.001"), 0), 0u);
    // Nothing half-written is left; the second wafer's file is whole.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("textFiles")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"full.001", "full.002"}));
    EXPECT_EQ(bytes_of(dir.file("textFiles/full.002")).back(), '\n');
}

TEST_F(PlaybackTest, OverlayAlignsEachWaferOnItsTrigger)
{
    record_two_wafer_run();
    const int panel = open_selection();
    destination(panel, "Strip Chart Overlay with Auto X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer(2);  // "Create a new chart"
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    // Wafer 1 keeps the block before its trigger: 11 scans read, x = 2.0 - 11 / 10; wafer 2 triggers on its first.
    const auto lines = read_playback_list(list_file());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_DOUBLE_EQ(lines[0].x, 2.0 - 11 / 10.0);
    EXPECT_EQ(lines[0].style, 2);  // the first of several is dotted
    EXPECT_EQ(lines[1].style, 0);
    EXPECT_DOUBLE_EQ(lines[1].x, 2.0 - 1 / 10.0);
    EXPECT_EQ(bytes_of(list_file()), "1\t1\t0.9000 2\n1\t2\t1.9000 0\n");
    // One plot per block and channel, the first joined to the wafer's own first sample.
    const auto plots = ui.plots(sc_handle, SCHART_PLAYBACK);
    EXPECT_EQ(static_cast<int>(plots.size()), 3 * (6 + 7));
    EXPECT_EQ(GraphInfoEntries, 3 * (6 + 7));
    ASSERT_FALSE(plots.empty());
    EXPECT_DOUBLE_EQ(plots[0].x.front(), 0.9 + 0.1);
    EXPECT_TRUE(ui.visible(sc_handle, SCHART_PLAYBACK));
    EXPECT_FALSE(ui.visible(sc_handle, SCHART_STRIP));
    const std::string trace = rows("SELECT TRACE_ID FROM VT_INFO WHERE RUN_NUM = 1");
    EXPECT_EQ(ui.text(sc_handle, SCHART_COMMENT), " - - - - - - " + trace + " #1");
}

TEST_F(PlaybackTest, AddToTheCurrentOverlayKeepsItsPlotsAndList)
{
    record_two_wafer_run();
    int panel = open_selection();
    destination(panel, "Strip Chart Overlay with Auto X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer(2);
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    const auto before = ui.plots(sc_handle, SCHART_PLAYBACK).size();
    panel = open_selection();
    destination(panel, "Strip Chart Overlay with Auto X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer(1);  // "Add to current chart"
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(ui.plots(sc_handle, SCHART_PLAYBACK).size(), 2 * before);
    EXPECT_EQ(read_playback_list(list_file()).size(), 4u);
    // Cancel leaves everything as it was and the window idle.
    panel = open_selection();
    destination(panel, "Strip Chart Overlay with Auto X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer(3);
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(ui.plots(sc_handle, SCHART_PLAYBACK).size(), 2 * before);
    EXPECT_EQ(ui.ival(sc_handle, SCHART_PLAY), 0);
    EXPECT_FALSE(ui.dimmed(sc_handle, SCHART_EXIT));
    EXPECT_TRUE(ui.panel_exists(panel));
}

TEST_F(PlaybackTest, AutoXLaysTheWafersEndToEndAndSetsTheAxis)
{
    record_two_wafer_run();
    const int panel = open_selection();
    destination(panel, "Strip Chart with Auto X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(bytes_of(list_file()), "1\t1\t0.0000 0\n1\t2\t6.0000 0\n");
    int mode = 0;
    double lo = 0, hi = 0;
    GetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_XAXIS, &mode, &lo, &hi);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_LE(lo, 0.0);
    EXPECT_GE(hi, 13.0);
    // The graph's tools return to what the playback recorded: zoom in on x, then restore.
    auto tool = [&](int value) {
        ASSERT_TRUE(ui.right_click(sc_handle, SCHART_PLAYBACK, 50, 50));
        const int menu = ui.find_panel("TOOLS");
        ASSERT_GT(menu, 0);
        int index = -1;
        GetIndexFromValue(menu, TOOLS_TOOLS, &index, value);
        ASSERT_TRUE(ui.select(menu, TOOLS_TOOLS, index));
    };
    int xm = 0, ym = 0;
    double x0, x1, y0, y1;
    GetAxisRange(sc_handle, SCHART_PLAYBACK, &xm, &x0, &x1, &ym, &y0, &y1);
    const double played_y0 = y0, played_y1 = y1;
    tool(2);  // Zoom In X
    double z0, z1;
    GetAxisRange(sc_handle, SCHART_PLAYBACK, &xm, &z0, &z1, &ym, &y0, &y1);
    EXPECT_LT(z1 - z0, hi - lo);
    tool(8);  // Zoom Restore
    GetAxisRange(sc_handle, SCHART_PLAYBACK, &xm, &x0, &x1, &ym, &y0, &y1);
    EXPECT_DOUBLE_EQ(x0, lo);
    EXPECT_DOUBLE_EQ(x1, hi);
    EXPECT_DOUBLE_EQ(y0, played_y0);
    EXPECT_DOUBLE_EQ(y1, played_y1);
}

TEST_F(PlaybackTest, ManualXScaleAsksUntilTheRangeIsValidAndStopsAtItsEnd)
{
    record_two_wafer_run();
    const int panel = open_selection();
    destination(panel, "Strip Chart with Manual X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer_text("abc");
    ui.answer(1);  // Invalid entry
    ui.answer_text("8");
    ui.answer_text("3");
    ui.answer(1);  // maximum not above the minimum
    ui.answer_text("2");
    ui.answer_text("4");
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    int invalid = 0;
    for (const auto& p : ui.popups()) invalid += p.title == "Input Error" && p.text == "Invalid entry";
    EXPECT_EQ(invalid, 1);
    // Blocks 3 and 4 only (2..4 s), then the playback ends: the second wafer is never taken up.
    const auto plots = ui.plots(sc_handle, SCHART_PLAYBACK);
    EXPECT_EQ(plots.size(), 2u * 3u);
    EXPECT_EQ(read_playback_list(list_file()).size(), 1u);
}

TEST_F(PlaybackTest, ManualXScaleCancelLeavesTheWindowIdle)
{
    record_two_wafer_run();
    const int panel = open_selection();
    destination(panel, "Strip Chart with Manual X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer_cancel();
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(ui.ival(sc_handle, SCHART_PLAY), 0);
    EXPECT_FALSE(ui.dimmed(sc_handle, SCHART_START));
    EXPECT_FALSE(LongCommand::running());
    EXPECT_TRUE(ui.plots(sc_handle, SCHART_PLAYBACK).empty());
}

TEST_F(PlaybackTest, RefusalsKeepTheSelectionOpen)
{
    record_two_wafer_run();
    record_one_wafer_run();
    const int panel = open_selection();
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(ui.popups().back().title + "|" + ui.popups().back().text, "Playback Error|No runs have been selected.");
    destination(panel, "Text File (traces only)");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 1));
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(ui.popups().back().text, "Can only convert one run at a time to text.");
    EXPECT_TRUE(ui.panel_visible(panel));
    EXPECT_FALSE(LongCommand::running());
}

TEST_F(PlaybackTest, CancelAfterARefusedOkGivesBackEveryControlTheCommandDimmed)
{
    record_one_wafer_run();
    const int panel = open_selection();
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    ASSERT_EQ(ui.popups().back().text, "No runs have been selected.");
    ASSERT_TRUE(ui.press(panel, SC_SEL_CANCEL));
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_EQ(ui.ival(sc_handle, SCHART_PLAY), 0);
    for (int ctrl : {SCHART_START, SCHART_AXES, SCHART_EXIT, SCHART_PAUSE}) EXPECT_FALSE(ui.dimmed(sc_handle, ctrl)) << ctrl;
}

TEST_F(PlaybackTest, StripChartPacesStepsBackAndForwardWithTheHistory)
{
    record_two_wafer_run();
    SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_POINTS_PER_SCREEN, 30);  // three seconds a screen
    const int panel = open_selection();
    destination(panel, "Strip Chart");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    std::vector<std::string> seen;
    auto readout = [&] { return ui.text(sc_handle, SCHART_X_START) + ".." + ui.text(sc_handle, SCHART_X_END); };
    // Acts once the condition holds, looking again at every chance the replay gives.
    std::function<void(std::function<bool()>, std::function<void()>)> when;
    when = [&](std::function<bool()> cond, std::function<void()> act) {
        ui.after_pumps(1, [this, cond, act, &when] {
            if (cond())
                act();
            else
                when(cond, act);
        });
    };
    auto forward = [&] {
        seen.push_back(readout());
        ui.press(sc_handle, f_button);
    };
    auto step_on = [&] {
        seen.push_back(readout() + " " + std::to_string(ui.trace(sc_handle, SCHART_STRIP, 1).size()));
        EXPECT_EQ(ui.ival(sc_handle, r_button), 0);
        ui.press(sc_handle, r1_button);
        when([&] { return readout() == "3..6"; }, forward);
    };
    // After the sixth block: one step back (the buttons are a group: play goes off).
    when([&] { return ui.text(sc_handle, SCHART_X_END) == "6" && !ui.dimmed(sc_handle, l1_button); },
         [&] {
             seen.push_back("history " + std::to_string(vsys::file_size(history_path()).value_or(0)));
             EXPECT_TRUE(ui.press(sc_handle, l1_button));
             // Waiting for a button: the screen was redrawn from the history, one block earlier.
             when([&] { return readout() == "2..5"; }, step_on);
         });
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    const int record = 20 + 60 + 4;
    EXPECT_EQ(seen, (std::vector<std::string>{"history " + std::to_string(6 * record), "2..5 30", "3..6"}));
    // The whole run played; the buttons and the history are gone.
    EXPECT_EQ(ui.text(sc_handle, SCHART_X_END), "13");
    EXPECT_FALSE(vsys::file_exists(history_path()));
    EXPECT_EQ(l_button, 0);
    EXPECT_EQ(bytes_of(list_file()), "1\t1\t0.0000 0\n1\t2\t6.0000 0\n");
    EXPECT_EQ(ui.trace(sc_handle, SCHART_STRIP, 1).size(), 30u);
}

TEST_F(PlaybackTest, StripChartGoesOnWhenTheHistoryCannotGrow)
{
    record_two_wafer_run();
    const int panel = open_selection();
    destination(panel, "Strip Chart");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    {
        vsys::FaultPlanScope plan({vsys::FileOp::write, 3, false, "tmp.bin"});
        ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    }
    EXPECT_EQ(ui.trace(sc_handle, SCHART_STRIP, 1).size(), 130u);
    EXPECT_FALSE(vsys::file_exists(history_path()));
}

TEST_F(PlaybackTest, RetestRewritesResultsAndCompletionState)
{
    record_two_wafer_run();
    ASSERT_EQ(vtest::run(hdbc, "UPDATE VT_INFO SET COMPLETE = 1 WHERE RUN_NUM = 1"), 0);
    ASSERT_EQ(create_other_table(&hdbc, 1), 0);
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO OTHER_01 (RUN, WAFER, DATA_MEAN) VALUES (1, 1, 99)"), 0);
    const int panel = open_selection();
    destination(panel, "None");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ASSERT_TRUE(ui.set(panel, SC_SEL_OPTION_B, 1));
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(rows("SELECT COMPLETE FROM VT_INFO WHERE RUN_NUM = 1"), "1");
    // The old row is gone; the re-test wrote its own rows for both wafers.
    EXPECT_EQ(rows("SELECT COUNT(*) FROM OTHER_01 WHERE RUN = 1 AND DATA_MEAN = 99"), "0");
    EXPECT_GT(realtime_panel, 0);
}

TEST_F(PlaybackTest, RetestOfARunWithoutTraceFilesKeepsItMarked)
{
    record_two_wafer_run();
    for (int w : {1, 2}) ASSERT_TRUE(vsys::delete_file(trace_file(1, w)));
    const int panel = open_selection();
    destination(panel, "None");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ASSERT_TRUE(ui.set(panel, SC_SEL_OPTION_B, 1));
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(rows("SELECT COMPLETE FROM VT_INFO WHERE RUN_NUM = 1"), "-1");
}

TEST_F(PlaybackTest, DirectCallForADeletedTraceSaysSo)
{
    record_two_wafer_run();
    ASSERT_TRUE(vsys::delete_file(trace_file(1, 2)));
    ui.answer(2);  // a new chart
    ui.answer(1);
    EXPECT_EQ(play_chart_point(1, 2, true), 0);
    EXPECT_EQ(ui.popups().back().text, "Strip chart data cannot be replayed because this trace was deleted.");
    // A run without a row is passed over the same way.
    ui.answer(2);
    ui.answer(1);
    EXPECT_EQ(play_chart_point(99, 1, true), 0);
    EXPECT_EQ(ui.popups().back().text, "Strip chart data cannot be replayed because this trace was deleted.");
    // The same chart point's first wafer plays.
    ui.answer(2);
    EXPECT_EQ(play_chart_point(1, 1, true), 0);
    EXPECT_EQ(bytes_of(list_file()), "1\t1\t0.9000 0\n");
    EXPECT_TRUE(ui.visible(sc_handle, SCHART_PLAYBACK));
}

TEST_F(PlaybackTest, ADirectCallFromAnOnTimeChartAlignsButDrawsNothing)
{
    record_two_wafer_run();
    // Playback y-range settings both 0.
    get_put_number(0, 1, NUMBER_T_WRITE, 0.0);
    get_put_number(1, 1, NUMBER_T_WRITE, 0.0);
    ui.answer(2);
    EXPECT_EQ(play_chart_point(1, 1, true, true), 0);
    // Nothing drawn, nothing listed for the print.
    EXPECT_EQ(bytes_of(list_file()), "");
    EXPECT_TRUE(ui.plots(sc_handle, SCHART_PLAYBACK).empty());
    // The y axis comes from the playback y-range settings: both 0 give 0..500.
    int xm = 0, ym = 0;
    double x0, x1, y0, y1;
    GetAxisRange(sc_handle, SCHART_PLAYBACK, &xm, &x0, &x1, &ym, &y0, &y1);
    EXPECT_DOUBLE_EQ(y0, 0.0);
    EXPECT_DOUBLE_EQ(y1, 500.0);
    EXPECT_EQ(ym, VAL_MANUAL);
}

TEST_F(PlaybackTest, SlowRateTextFileCountsSecondsPerSample)
{
    setup_three_channels(-5);
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    delay = 2;
    minimum_trig_width = 0;
    precoat_minimum = 8;
    source->ch1 = "0000000000111111111100000000000000000";
    start();
    tick(31);
    stop();
    const int panel = open_selection();
    destination(panel, "Text File (time and traces)");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ui.answer_path(dir.file("textFiles/slow"));
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    const std::string text = bytes_of(dir.file("textFiles/slow.001"));
    EXPECT_NE(text.find("\nSeconds per Sample = 5\n\nSec.\tCH1\tCH2\tCH3\t\n5\t"), std::string::npos) << text;
    EXPECT_NE(text.find("\n10\t"), std::string::npos) << text;
    const auto lines = std::count(text.begin(), text.end(), '\n');
    EXPECT_EQ(lines, 7 + static_cast<long>(blocks_of(trace_file(1, 1), 1, 3).size()));
}

TEST_F(PlaybackTest, TheProcessOfRecordPlaysLastWithTheOldestRunFirst)
{
    record_two_wafer_run();
    // The process of record of process 3: wafer 1's blocks behind a time-only header, and its header row.
    const std::string wafer = bytes_of(trace_file(1, 1));
    {
        std::ofstream por(dir.file("00000003.POR"), std::ios::binary);
        por << "09:30:00\n" << wafer.substr(wafer.find('\n') + 1);
    }
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RATE, CHANNELS, RECIPE, TRACE_ID, SAV_DATE, "
                               "SAV_TIME) SELECT -3, 1, RATE, CHANNELS, RECIPE, 'POR', SAV_DATE, SAV_TIME FROM VT_INFO "
                               "WHERE RUN_NUM = 1"),
              0);
    const int panel = open_selection();
    ASSERT_EQ(ui.plain_items(panel, SC_SEL_RUNS).front(), "ETCH POR");
    destination(panel, "Strip Chart with Auto X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 1));
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(bytes_of(list_file()), "1\t1\t0.0000 0\n1\t2\t6.0000 0\n-3\t1\t13.0000 0\n");
    EXPECT_EQ(ui.text(sc_handle, SCHART_TRACE_ID), "ETCH POR");
    EXPECT_EQ(ui.text(sc_handle, SCHART_WAFER), "");
}

TEST_F(PlaybackTest, AllOrSomeKeepsAllAndSingleChannelsApart)
{
    record_two_wafer_run();
    const int panel = open_selection();
    destination(panel, "Strip Chart with Auto X Scale");
    ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    ASSERT_TRUE(ui.pick(handle_menu, "Show/Hide Traces..."));
    const int dialog = ui.find_panel("TRACES");
    ASSERT_GT(dialog, 0);
    ASSERT_GE(ui.items(dialog, TRACES_CHANNELS).size(), 3u);
    ASSERT_TRUE(ui.check(dialog, TRACES_CHANNELS, 0, true));
    ASSERT_TRUE(ui.select(dialog, TRACES_CHANNELS, 0, true));
    ASSERT_TRUE(ui.check(dialog, TRACES_CHANNELS, 2, true));
    ASSERT_TRUE(ui.select(dialog, TRACES_CHANNELS, 2, true));
    EXPECT_FALSE(ui.items(dialog, TRACES_CHANNELS)[0].checked);
    EXPECT_TRUE(ui.items(dialog, TRACES_CHANNELS)[2].checked);
    ASSERT_TRUE(ui.check(dialog, TRACES_CHANNELS, 0, true));
    ASSERT_TRUE(ui.select(dialog, TRACES_CHANNELS, 0, true));
    EXPECT_FALSE(ui.items(dialog, TRACES_CHANNELS)[2].checked);
}

}  // namespace
