// Timers: crossings with hysteresis, event ordinals, the scan before the wafer, fast and slow rates.
#include <gtest/gtest.h>

#include "tests/testing/trace_builder.h"

namespace {

using ttest::Recorder;
using ttest::TraceBuilder;

// Timer 1: start on channel 1 above 1000, end on channel 2 above 1000 (counts).
TraceSetup timer_setup(int rate, int rate_index, int start_gun = 1, int end_gun = 1)
{
    TraceSetup s = ttest::plain_setup({0, 0, 0}, rate, rate_index);
    s.timer_status_bit = 1;
    s.timer_start_logic_bit = 1;
    s.timer_end_logic_bit = 1;
    s.timer_start_channel[1] = 1;
    s.timer_end_channel[1] = 2;
    s.timer_start_val[1] = 1000;
    s.timer_end_val[1] = 1000;
    s.timer_start_gun[1] = start_gun;
    s.timer_end_gun[1] = end_gun;
    return s;
}

// Scans as (start channel, end channel) counts.
using Scans = std::vector<std::pair<int, int>>;

std::vector<std::string> run_timers(const TraceSetup& s, const Scans& scans, bool dotted = false,
                                    const std::vector<std::int16_t>* previous = nullptr)
{
    TraceBuilder b(s);
    for (auto [a, e] : scans) b.scan({{1, a}, {2, e}});
    Recorder r;
    test_timers(b.trace(7, 3), s, r, dotted, previous);
    return r.log;
}

// A trace of `blocks` blocks at `rate` after a quiet first block, with the start
// rising at (block, scan) and the end at (block, scan), both 1-based scans.
Scans rising(int rate, int blocks, int start_block, int start_scan, int end_block, int end_scan)
{
    Scans scans(static_cast<std::size_t>(rate), {0, 0});
    for (int b = 0; b < blocks; ++b)
        for (int j = 1; j <= rate; ++j) {
            bool s_on = b > start_block || (b == start_block && j >= start_scan);
            bool e_on = b > end_block || (b == end_block && j >= end_scan);
            scans.push_back({s_on ? 2000 : 0, e_on ? 2000 : 0});
        }
    return scans;
}

TEST(Timers, HundredScansPerSecond)
{
    auto log = run_timers(timer_setup(100, 100), rising(100, 5, 0, 50, 3, 25));
    const std::vector<std::string> expected = {"INSERT INTO TIMER_01 VALUES (7, 3, 2.750000)",
                                               "check 1 5 0 0 (7, 3) 2.750000"};
    EXPECT_EQ(log, expected);
}

TEST(Timers, SlowRateMultipliesByTheInterval)
{
    // One scan every 5 s: start in block 2, end in block 6.
    auto log = run_timers(timer_setup(1, -5), rising(1, 8, 2, 1, 6, 1));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "INSERT INTO TIMER_01 VALUES (7, 3, 20.000000)");
}

TEST(Timers, EndBeforeStartIsNegative)
{
    auto log = run_timers(timer_setup(10, 10), rising(10, 4, 2, 5, 0, 5));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "INSERT INTO TIMER_01 VALUES (7, 3, -2.000000)");
}

struct DipCase {
    int dip;        // counts below the level during the dip
    int gun;        // start ordinal
    const char* row;
};

TEST(Timers, HysteresisOfFortyOneCounts)
{
    const DipCase cases[] = {
        {30, 2, ""},  // still on: one crossing only
        {40, 2, ""},
        {41, 2, "INSERT INTO TIMER_01 VALUES (7, 3, 0.400000)"},  // off, the second rise is crossing 2
        {41, 1, "INSERT INTO TIMER_01 VALUES (7, 3, 0.600000)"},
    };
    for (const auto& c : cases) {
        TraceSetup s = timer_setup(10, 10, c.gun, 1);
        Scans scans(10, {0, 0});
        // Block 0: start rises at scan 2, dips at 3, rises again at 4; end rises at scan 8.
        const int start[10] = {0, 1500, 1000 - c.dip, 1500, 1500, 1500, 1500, 1500, 1500, 1500};
        for (int j = 0; j < 10; ++j) scans.push_back({start[j], j >= 7 ? 1500 : 0});
        auto log = run_timers(s, scans);
        if (*c.row == '\0') {
            EXPECT_TRUE(log.empty()) << c.dip;
        } else {
            ASSERT_EQ(log.size(), 2u) << c.dip;
            EXPECT_EQ(log[0], c.row) << c.dip;
        }
    }
}

TEST(Timers, FirstBlockOnlyGivesTheStartingStates)
{
    // Without the dotted header the first block's crossings do not count: the start
    // channel is on at its last scan, so that counts as crossing 1.
    TraceSetup s = timer_setup(10, 10, 1, 1);
    Scans scans = rising(10, 3, 1, 1, 2, 1);
    for (int j = 0; j < 10; ++j) scans[static_cast<std::size_t>(j)].first = j >= 5 ? 2000 : 0;
    EXPECT_TRUE(run_timers(s, scans).empty());
    TraceSetup second = timer_setup(10, 10, 2, 1);
    scans = rising(10, 4, 2, 1, 3, 1);
    for (int j = 0; j < 10; ++j) scans[static_cast<std::size_t>(j)].first = j >= 5 ? 2000 : 0;
    for (int j = 10; j < 15; ++j) scans[static_cast<std::size_t>(j)].first = 0;  // off again in block 0
    auto log = run_timers(second, scans);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "INSERT INTO TIMER_01 VALUES (7, 3, 1.000000)");
}

TEST(Timers, DottedHeaderStartsFromThePreviousWafer)
{
    TraceSetup s = timer_setup(10, 10, 1, 1);
    // With a dotted header every block of the wafer is examined, from N = 0.
    Scans scans = rising(10, 3, 0, 5, 1, 5);
    scans.erase(scans.begin(), scans.begin() + 10);
    std::vector<std::int16_t> previous_on(3, 0), previous_off(3, 0);
    previous_on[static_cast<std::size_t>(s.scan_index(1))] = 2000;
    // The start channel was off before the wafer: its rise in scan 5 of block 0 counts.
    auto log = run_timers(s, scans, true, &previous_off);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "INSERT INTO TIMER_01 VALUES (7, 3, 1.000000)");
    // Already on: that is crossing 1, so ordinal 1 is never found ...
    EXPECT_TRUE(run_timers(s, scans, true, &previous_on).empty());
    // ... and ordinal 2 is the first rise inside the wafer (none here after the first).
    TraceSetup second = timer_setup(10, 10, 2, 1);
    Scans dip = scans;
    for (int j = 0; j < 4; ++j) dip[static_cast<std::size_t>(j)].first = 0;
    log = run_timers(second, dip, true, &previous_on);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "INSERT INTO TIMER_01 VALUES (7, 3, 1.000000)");
    // No previous wafer: no timer at all.
    EXPECT_TRUE(run_timers(s, scans, true, nullptr).empty());
}

TEST(Timers, OnlyRecordedChannelsAndConvertibleLevels)
{
    Scans scans = rising(10, 3, 0, 5, 1, 5);
    TraceSetup disabled = timer_setup(10, 10);
    disabled.status_bits = 0b101;  // end channel 2 not recorded
    disabled.saved_channels = 2;
    disabled.derive_tables();
    EXPECT_TRUE(run_timers(disabled, scans).empty());
    TraceSetup undefined = timer_setup(10, 10);
    undefined.timer_status_bit = 0b10;
    EXPECT_TRUE(run_timers(undefined, scans).empty());
    // A slope of 0 gives no level: the timer is skipped, not compared against garbage.
    TraceSetup flat = timer_setup(10, 10);
    flat.slope[2] = 0.0;
    EXPECT_TRUE(run_timers(flat, scans).empty());
    // A level far beyond the count range is clamped and simply never crossed.
    TraceSetup huge = timer_setup(10, 10);
    huge.timer_end_val[1] = 1e300;
    EXPECT_TRUE(run_timers(huge, scans).empty());
}

TEST(Timers, BelowSenseAndSeveralTimers)
{
    TraceSetup s = timer_setup(10, 10);
    s.timer_status_bit = 0b11;
    // Timer 2: start when channel 3 goes below 500, end when channel 1 rises above 1000.
    s.timer_start_channel[2] = 3;
    s.timer_end_channel[2] = 1;
    s.timer_start_val[2] = 500;
    s.timer_end_val[2] = 1000;
    s.timer_start_gun[2] = 1;
    s.timer_end_gun[2] = 1;
    s.timer_end_logic_bit = 0b11;
    TraceBuilder b(s);
    for (int i = 0; i < 40; ++i) {
        int block = i / 10, j = i % 10 + 1;
        bool one = block >= 1 && (block > 1 || j >= 3);
        bool two = block >= 2 && (block > 2 || j >= 7);
        bool three_low = block >= 1 && j >= 1;
        b.scan({{1, one ? 2000 : 0}, {2, two ? 2000 : 0}, {3, three_low ? 100 : 900}});
    }
    Recorder r;
    test_timers(b.trace(), s, r, false, nullptr);
    const std::vector<std::string> expected = {
        "INSERT INTO TIMER_01 VALUES (7, 3, 1.400000)", "check 1 5 0 0 (7, 3) 1.400000",
        "INSERT INTO TIMER_02 VALUES (7, 3, 0.200000)", "check 2 5 0 0 (7, 3) 0.200000"};
    EXPECT_EQ(r.log, expected);
}

}  // namespace
