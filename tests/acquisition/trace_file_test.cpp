// Wafer trace file bytes, the waiting file's rewrite, the playback list and the acquisition's own fixed context.
#include "tests/acquisition/acq_fixture.h"

#include <cstring>

#include "panels/s_chart.h"

namespace {

using acqtest::AcqTest;

// One block of the pattern source as the file must hold it: scans in time
// order, channels highest first, then the zero trailer.
std::string golden_block(int scans, bool trigger_high)
{
    std::string out;
    for (int j = 0; j < scans; ++j) {
        for (std::int16_t v : {std::int16_t {1024}, std::int16_t {0}, std::int16_t(trigger_high ? 6144 : 0)}) {
            char le[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
            out.append(le, 2);
        }
    }
    out.append(20, '\0');
    return out;
}

TEST_F(AcqTest, TraceFileBytesMatchTheGoldenLayout)
{
    setup_three_channels(2);
    delay = 1;
    minimum_trig_width = 0;
    source->ch1 = "0110000";
    start();
    tick(6);
    stop();
    const std::string golden = std::string("09.30.01 2026/03/14\n") + golden_block(2, false) + golden_block(2, true) +
                               golden_block(2, true) + golden_block(2, false);
    EXPECT_EQ(bytes(trace_file(1, 1)), golden);
    // The trace id names the last block before the trigger.
    EXPECT_EQ(rows("SELECT TRACE_ID FROM VT_INFO WHERE RUN_NUM = 1"), "TOOL_A:2026/03/14 09:30:01");
    // One playback line per wafer file opened, with the strip chart position of its first block.
    EXPECT_EQ(bytes(dir.file("playback.tmp")), "1\t1\t0.0000 0\n2\t1\t3.0000 0\n");
}

TEST_F(AcqTest, WaitingFileHoldsOnlyHeaderAndLatestBlock)
{
    source->ch1 = "";
    start();
    tick(7);
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), 20u + 80u);
    EXPECT_EQ(bytes(trace_file(1, 1)).substr(0, 20), "09.30.07 2026/03/14\n");
    EXPECT_EQ(ui.text(sc_handle, SCHART_TRACE_ID), "TOOL_A:2026/03/14 09:30:07");
    stop();
    EXPECT_FALSE(vsys::file_exists(trace_file(1, 1)));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0"), "0");
}

TEST_F(AcqTest, AnotherRunsRowReadDuringAcquisitionChangesNothingRecorded)
{
    source->ch1 = "0011111111111111";
    start();
    tick(4);
    // What reading a stored run's row does to the setup globals.
    VantrelChannelStatusBits = 0x1;
    channels = 1;
    saved_channels = 1;
    sample_rate = 1;
    sample_rate_index = 1;
    ADCBits = 1;
    run_num = 77;
    num_of_wafers = 5;
    tick(3);
    stop();
    EXPECT_EQ(vsys::file_size(trace_file(1, 1)).value_or(0), 20u + 6 * 80);
    EXPECT_FALSE(vsys::file_exists(trace_file(77, 5)));
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0"), "1|1");
    // The chart still shows 3.75 V for the trigger channel (the lowest enabled channel is the last trace).
    std::vector<double> t = ui.trace(sc_handle, SCHART_STRIP, 3);
    ASSERT_FALSE(t.empty());
    EXPECT_DOUBLE_EQ(t.back(), 3.75);
}

TEST_F(AcqTest, RealTimeTestGetsFinishedWafersAndCannotMoveTheRunBack)
{
    current_file_index = 0;
    std::vector<std::string> tested;
    vtest::amend_acquisition_seams([&](AcquisitionSeams& s) {
        s.test_trace = [&](short*, int run, short wafer, int panel, int mode, const char*,
                                             const char* recipe, short precoat, short) -> short {
            tested.push_back(std::to_string(run) + "." + std::to_string(wafer) + " mode " + std::to_string(mode) + " " +
                             recipe + " " + std::to_string(precoat) + (panel == sc_handle ? " sc" : ""));
            // The test reads other rows, which moves the shared run globals.
            run_num = 4242;
            num_of_wafers = 9;
            return 1;
        };
    });
    source->ch1 = "00110001100000000000000000";
    start();
    tick(26);
    EXPECT_EQ(run_num, acq().run);
    EXPECT_EQ(num_of_wafers, acq().wafer);
    ASSERT_GE(tested.size(), 2u);
    EXPECT_EQ(tested[0], "1.1 mode 2 ETCH 0 sc");
    EXPECT_EQ(tested[1], "1.2 mode 2 ETCH 0 sc");
    stop();
}

TEST_F(AcqTest, OnlyTheProcessOfRecordBuildersDirectCallNestsInTheLoop)
{
    current_file_index = 0;
    int timer_result = -1;
    std::size_t left_by_timer = 0, left_by_builder = 9;
    vtest::amend_acquisition_seams([&](AcquisitionSeams& s) {
        s.test_trace = [&](short*, int, short, int, int, const char*, const char*, short, short) -> short {
            if (timer_result != -1) return 1;
            vsys::advance_clock(1.0);
            wait_real([] { return vboard::block_queue().ready_count() > 0; });
            timer_result = DaqLoop(sc_handle, SCHART_TIMER, EVENT_TIMER_TICK, nullptr, 0, 0);
            left_by_timer = vboard::block_queue().ready_count();
            DaqLoop(-1, -1, EVENT_TIMER_TICK, nullptr, 0, 0);
            left_by_builder = vboard::block_queue().ready_count();
            return 1;
        };
    });
    source->ch1 = "0011000000000000";
    start();
    tick(12);
    EXPECT_EQ(timer_result, 0);
    EXPECT_EQ(left_by_timer, 1u);
    EXPECT_EQ(left_by_builder, 0u);
    stop();
}

}  // namespace
