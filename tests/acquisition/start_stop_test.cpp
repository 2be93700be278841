// Start refusals and their messages, pause, a board failure while running, and what a stop restores.
#include "tests/acquisition/acq_fixture.h"

#include "panels/s_chart.h"
#include "platform/sys/thread_pool.h"

namespace {

using acqtest::AcqTest;

TEST_F(AcqTest, StartWithoutAnyChannelIsRefusedWithItsMessages)
{
    VantrelChannelStatusBits = 0;
    ui.answer(1);
    ui.answer(1);
    ui.answer(1);
    ASSERT_TRUE(ui.set(sc_handle, SCHART_START, 1));
    ASSERT_EQ(ui.popups().size(), 3u);
    EXPECT_EQ(ui.popups()[0].title, "Setup error");
    EXPECT_EQ(ui.popups()[0].text,
              "No channels have been selected.  Please turn on at least one input channel (see Channel Setup under "
              "the Configure menu bar).");
    EXPECT_EQ(ui.popups()[1].text, "Data collection will begin when Data Collection 1 trigger is true.");
    EXPECT_EQ(ui.popups()[2].title, "DAQ Error");
    EXPECT_EQ(ui.popups()[2].text, "Cannot start data collection");
    EXPECT_EQ(ui.ival(sc_handle, SCHART_START), 0);
    EXPECT_FALSE(acq().active);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0"), "0");
}

TEST_F(AcqTest, TriggerOnAChannelThatIsNotRecordedIsRefused)
{
    for (auto [one, two, conditions] : {std::tuple {5, 0, 1}, std::tuple {1, 4, 2}}) {
        trig_ch = static_cast<short>(one);
        trig_2_ch = static_cast<short>(two);
        trigger = static_cast<short>(conditions);
        ui.answer(1);
        ASSERT_TRUE(ui.set(sc_handle, SCHART_START, 1));
        EXPECT_EQ(popup_titles().back(), "Trigger Error");
        EXPECT_EQ(ui.ival(sc_handle, SCHART_START), 0);
        EXPECT_FALSE(acq().active);
    }
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0"), "0");
    EXPECT_FALSE(board->stats().running);
}

TEST_F(AcqTest, AFailedBufferedStartUndoesTheRunRowAndTheDimming)
{
    vsys::inject_thread_start_failure(true);
    for (int i = 0; i < 3; ++i) ui.answer(1);  // the notice, the DAQ Error, the board's own box
    ASSERT_TRUE(ui.set(sc_handle, SCHART_START, 1));
    ui.pump();
    vsys::inject_thread_start_failure(false);
    bool reported = false;
    for (const auto& p : ui.popups()) reported |= p.title == "DAQ Error" && p.text == "Cannot start data collection";
    EXPECT_TRUE(reported);
    EXPECT_EQ(ui.ival(sc_handle, SCHART_START), 0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0"), "0");
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_CONFIGURE_ACQUISITION_RATE)->dimmed);
    EXPECT_FALSE(ui.dimmed(sc_handle, SCHART_AXES));
    EXPECT_TRUE(global_scaled_data.empty());
}

TEST_F(AcqTest, StartDimsTheSetupCommandsAndStopRestoresThem)
{
    start();
    EXPECT_TRUE(acq().active);
    for (int item : {27, 37, 14, 47}) EXPECT_TRUE(ui.menu_item(handle_menu, item)->dimmed) << item;
    EXPECT_TRUE(ui.dimmed(sc_handle, SCHART_AXES));
    EXPECT_EQ(ui.attribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR), 0x00FF00);
    EXPECT_EQ(calls, std::vector<std::string> {"saveAllAndExport:0"});
    stop();
    for (int item : {27, 37, 14, 47}) EXPECT_FALSE(ui.menu_item(handle_menu, item)->dimmed) << item;
    EXPECT_FALSE(ui.dimmed(sc_handle, SCHART_AXES));
    EXPECT_EQ(ui.label(sc_handle, SCHART_STATUS), "Status");
}

TEST_F(AcqTest, PauseDropsTheBlocksThatArriveAndResumesWhereItWas)
{
    source->ch1 = "0011111111111111111111";
    start();
    tick(4);
    const auto before = vsys::file_size(trace_file(1, 1)).value_or(0);
    ui.after_pumps(40, [&] { ui.set(sc_handle, SCHART_PAUSE, 0); });
    ASSERT_TRUE(ui.set(sc_handle, SCHART_PAUSE, 1));
    // Two seconds went by in the pause; their blocks were dropped.
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), before);
    EXPECT_FALSE(ui.dimmed(sc_handle, SCHART_START));
    // A block that came after the pause's last look is still there: the next tick takes it too.
    wait_real([&] { return vboard::block_queue().delivered() >= board->stats().blocks_admitted; }, 0.5);
    const auto left = static_cast<long>(vboard::block_queue().ready_count());
    tick(2);
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), before + (2 + left) * 80);
    stop();
}

// The UI thread stalls for several block intervals: the next tick takes every
// block that piled up, so nothing is dropped and the lag is gone at once.
TEST_F(AcqTest, AStalledTickTakesEveryBlockThatPiledUp)
{
    source->ch1 = "0011111111111111111111";
    start();
    tick(4);
    const auto before = vsys::file_size(trace_file(1, 1)).value_or(0);
    constexpr int kStalled = 6;
    for (int i = 1; i <= kStalled; ++i) {
        vsys::advance_clock(1.0);
        ASSERT_TRUE(wait_real([i] { return vboard::block_queue().ready_count() >= static_cast<std::size_t>(i); }));
    }
    DaqLoop(sc_handle, SCHART_TIMER, EVENT_TIMER_TICK, nullptr, 0, 0);
    EXPECT_EQ(vboard::block_queue().ready_count(), 0u) << "the backlog drained in one tick";
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), before + kStalled * 80);
    EXPECT_EQ(vboard::block_queue().dropped(), 0u);
    tick(2);
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), before + (kStalled + 2) * 80);
    EXPECT_NE(ui.label(sc_handle, SCHART_STATUS), "Error = 10");
    stop();
}

TEST_F(AcqTest, PauseIsRefusedWhilePlaybackIsOn)
{
    SetCtrlVal(sc_handle, SCHART_PLAY, 1);
    EXPECT_EQ(pause(sc_handle, SCHART_PAUSE, EVENT_COMMIT, nullptr, 0, 0), 1);
    SetCtrlVal(sc_handle, SCHART_PAUSE, 1);
    EXPECT_EQ(pause(sc_handle, SCHART_PAUSE, EVENT_COMMIT, nullptr, 0, 0), 1);
}

TEST_F(AcqTest, BoardFailureStopsThroughTheStopSequence)
{
    source->ch1 = "0011111111111111";
    start();
    tick(4);
    board->unplug();
    // The transfer thread notices within its read time-out.
    for (int k = 0; k < 40 && VantrelStatus.load() != 200; ++k) {
        vsys::advance_clock(0.5);
        wait_real([] { return VantrelStatus.load() == 200; }, 0.05);
    }
    ASSERT_EQ(VantrelStatus.load(), 200);
    DaqLoop(sc_handle, SCHART_TIMER, EVENT_TIMER_TICK, nullptr, 0, 0);
    EXPECT_FALSE(acq().active);
    EXPECT_EQ(ui.ival(sc_handle, SCHART_START), 0);
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_CONFIGURE_ACQUISITION_RATE)->dimmed);
    // The wafer that was being collected is kept.
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0"), "1|1");
    EXPECT_TRUE(vsys::file_exists(trace_file(1, 1)));
}

}  // namespace

namespace {

using acqtest::AcqTest;

TEST_F(AcqTest, StatusIndicatorShowsABlockErrorThenTurnsYellow)
{
    board->inject_block_error(3, 2);
    source->ch1 = "0011111111111111";
    start();
    tick(3);
    EXPECT_EQ(ui.attribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR), 0x00FF00);
    tick();
    EXPECT_EQ(ui.attribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR), 0xFF0000);
    EXPECT_EQ(ui.label(sc_handle, SCHART_STATUS), "Error = 2");
    tick();
    EXPECT_EQ(ui.attribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR), 0xFFFF00);
    EXPECT_EQ(ui.label(sc_handle, SCHART_STATUS), "Error = 2");
    stop();
    // The block with the error was still recorded.
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), 20u + 4 * 80);
}

}  // namespace
