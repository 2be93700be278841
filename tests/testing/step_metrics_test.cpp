// Step-response metrics: golden rows for set-point thresholds, band edges, turn-off, decay, fast and slow rates.
#include <gtest/gtest.h>

#include "tests/testing/trace_builder.h"

namespace {

using ttest::Recorder;
using ttest::TraceBuilder;

// Channel 1 follows the set-point carried by channel 2; fixed band 90..110 around 100.
TraceSetup step_setup(int rate, int rate_index, int steps = 1)
{
    TraceSetup s = ttest::plain_setup({1, 0}, rate, rate_index);
    s.steps_per_process[1] = static_cast<signed char>(steps);
    s.step_set_channel[1] = 2;
    s.derive_tables();
    return s;
}

Recorder fixed_band(int steps = 1)
{
    Recorder r;
    for (int step = 1; step <= steps; ++step) r.rows[{1, 4, 1, step}] = {90, 100, 110};
    return r;
}

using Scans = std::vector<std::pair<int, int>>;  // (set-point count, value count)

std::vector<std::string> run_steps(const TraceSetup& s, Recorder& r, const Scans& scans)
{
    TraceBuilder b(s);
    for (auto [sp, v] : scans) b.scan({{2, sp}, {1, v}});
    test_step_metrics(b.trace(7, 3), s, r);
    return r.log;
}

// The reference step at 10 S/s: under 5, over 20 + 5, a value at the target, a
// set-point between 164 and 205, turn-off at 0.7 and completion at 0.9.
const Scans kReference = {{0, 0},     {206, 95}, {206, 120}, {206, 105}, {206, 100},
                          {180, 100}, {100, 50}, {100, 20},  {100, 10},  {100, 10}};

TEST(StepMetrics, ReferenceStepAtTenSamplesPerSecond)
{
    TraceSetup s = step_setup(10, 10);
    Recorder r = fixed_band();
    auto log = run_steps(s, r, kReference);
    const std::vector<std::string> expected = {
        "check 1 1 0 1 (7, 3) 2.500000", "check 1 1 1 1 (7, 3) 0.500000", "check 1 1 2 1 (7, 3) 0.200000",
        "check 1 1 3 1 (7, 3) 0.200000", "check 1 1 5 1 (7, 3) 50.000000", "check 1 1 6 1 (7, 3) 120.000000",
        "INSERT INTO STEP0101 VALUES (7, 3, 2.500, 0.500, 0.200, 0.200)",
        "INSERT INTO STPM0101 VALUES (7, 3, 50.000, 120.000)",
    };
    EXPECT_EQ(log, expected);
}

TEST(StepMetrics, ASetPointRowOfZerosSwitchesOnlyTheStabilityCheckOff)
{
    TraceSetup s = step_setup(10, 10);
    Recorder r;
    r.rows[{1, 4, 1, 1}] = {0, 0, 0};
    auto log = run_steps(s, r, kReference);
    ASSERT_EQ(log.size(), 7u);
    for (const std::string& line : log) EXPECT_EQ(line.find("check 1 1 2 "), std::string::npos) << line;
    EXPECT_EQ(log[5], "INSERT INTO STEP0101 VALUES (7, 3, 52.000, 0.000, 0.000, 0.200)");
}

struct StepCase {
    const char* name;
    Scans scans;
    const char* step_row;  // "" when no row is expected
    const char* stpm_row;
};

TEST(StepMetrics, GoldenTable)
{
    const StepCase cases[] = {
        {"set-point at 205 never starts", {{205, 95}, {205, 120}, {100, 10}, {100, 5}}, "", ""},
        {"set-point 206 starts, in band", {{206, 95}, {206, 95}, {100, 30}, {100, 5}},
         "INSERT INTO STEP0101 VALUES (7, 3, 0.000, 1.000, 0.200, 0.100)",
         "INSERT INTO STPM0101 VALUES (7, 3, 30.000, 95.000)"},
        {"band edges are outside", {{206, 90}, {206, 110}, {100, 30}, {100, 5}},
         "INSERT INTO STEP0101 VALUES (7, 3, 1.000, 1.000, 0.000, 0.100)",
         "INSERT INTO STPM0101 VALUES (7, 3, 30.000, 110.000)"},
        {"negative value at turn-off completes at once", {{206, 95}, {100, -5}},
         "INSERT INTO STEP0101 VALUES (7, 3, 0.000, 0.500, 0.100, 0.000)",
         "INSERT INTO STPM0101 VALUES (7, 3, -5.000, 95.000)"},
        {"set-point never goes off", {{206, 95}, {206, 95}, {206, 95}}, "", ""},
        {"never decays", {{206, 95}, {100, 50}, {100, 40}, {100, 30}, {100, 30}, {100, 30}, {100, 30}, {100, 30}, {100, 30}, {100, 30}}, "", ""},
        // Far below the initial decay threshold before the set-point went off: not complete.
        {"no completion before turn-off", {{206, -20000}, {206, 95}, {100, 30}, {100, 5}},
         "INSERT INTO STEP0101 VALUES (7, 3, 0.000, 2010.500, 0.100, 0.100)",
         "INSERT INTO STPM0101 VALUES (7, 3, 30.000, 95.000)"},
        {"later higher peak resets the minimum", {{206, 100}, {206, 80}, {206, 105}, {206, 95}, {100, 30}, {100, 5}},
         "INSERT INTO STEP0101 VALUES (7, 3, 0.500, 2.500, 0.200, 0.100)",
         "INSERT INTO STPM0101 VALUES (7, 3, 30.000, 105.000)"},
        {"enters twice: last stay", {{206, 95}, {206, 95}, {206, 120}, {206, 95}, {206, 95}, {206, 95}, {100, 30}, {100, 5}},
         "INSERT INTO STEP0101 VALUES (7, 3, 2.000, 2.500, 0.300, 0.100)",
         "INSERT INTO STPM0101 VALUES (7, 3, 30.000, 120.000)"},
    };
    for (const auto& c : cases) {
        TraceSetup s = step_setup(10, 10);
        Recorder r = fixed_band();
        Scans scans = c.scans;
        while (scans.size() % 10 != 0) scans.push_back({100, 5});
        auto log = run_steps(s, r, scans);
        if (*c.step_row == '\0') {
            EXPECT_TRUE(log.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(log.size(), 8u) << c.name;
        EXPECT_EQ(log[6], c.step_row) << c.name;
        EXPECT_EQ(log[7], c.stpm_row) << c.name;
    }
}

TEST(StepMetrics, TimeCountsBlocksAndScans)
{
    // Turn-off in scan 5 of block 0 (0.5), completion in scan 4 of block 7 (7.4).
    TraceSetup s = step_setup(10, 10);
    Recorder r = fixed_band();
    Scans scans = {{206, 95}, {206, 95}, {206, 95}, {206, 95}, {100, 50}};
    while (scans.size() < 73) scans.push_back({100, 40});
    scans.push_back({100, 10});
    while (scans.size() < 80) scans.push_back({100, 40});
    auto log = run_steps(s, r, scans);
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[3], "check 1 1 3 1 (7, 3) 6.900000");
}

TEST(StepMetrics, SlowRateMultipliesByTheInterval)
{
    // One scan every 5 s, one scan per block.
    TraceSetup s = step_setup(1, -5);
    Recorder r = fixed_band();
    auto log = run_steps(s, r, {{206, 95}, {206, 120}, {206, 105}, {180, 100}, {100, 50}, {100, 20}, {100, 10}});
    ASSERT_EQ(log.size(), 8u);
    // Over (20 + 5) x 5, under 5 x 5, stability (4 - 3) x 5, decay (6 - 5) x 5.
    EXPECT_EQ(log[6], "INSERT INTO STEP0101 VALUES (7, 3, 125.000, 25.000, 5.000, 5.000)");
    EXPECT_EQ(log[7], "INSERT INTO STPM0101 VALUES (7, 3, 50.000, 120.000)");
}

TEST(StepMetrics, PercentBandFollowsTheSetPoint)
{
    // No set-point row: band 90 % .. 110 % around 100 % of the set-point's value.
    TraceSetup s = step_setup(10, 10);
    Recorder r;
    Scans scans = {{1000, 950}, {1000, 1050}, {1000, 1200}, {100, 300}, {100, 50}};
    while (scans.size() < 10) scans.push_back({100, 5});
    auto log = run_steps(s, r, scans);
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[6], "INSERT INTO STEP0101 VALUES (7, 3, 25.000, 5.000, 0.200, 0.100)");
    // A stored set-point row with TARGET 0: percentages with a target of 0.
    Recorder zero;
    zero.rows[{1, 4, 1, 1}] = {90, 0, 110};
    auto log0 = run_steps(s, zero, scans);
    ASSERT_EQ(log0.size(), 8u);
    EXPECT_EQ(log0[6], "INSERT INTO STEP0101 VALUES (7, 3, 320.000, 0.000, 0.200, 0.100)");
}

TEST(StepMetrics, SecondStepStartsFresh)
{
    TraceSetup s = step_setup(10, 10, 2);
    Recorder r = fixed_band(2);
    auto log = run_steps(s, r, {{206, 95}, {206, 130}, {100, 30}, {100, 5}, {206, 96}, {206, 97}, {100, 30}, {100, 5},
                                {100, 5}, {100, 5}});
    ASSERT_EQ(log.size(), 16u);
    EXPECT_EQ(log[7], "INSERT INTO STPM0101 VALUES (7, 3, 30.000, 130.000)");
    EXPECT_EQ(log[14], "INSERT INTO STEP0102 VALUES (7, 3, 0.000, 0.700, 0.200, 0.100)");
    EXPECT_EQ(log[15], "INSERT INTO STPM0102 VALUES (7, 3, 30.000, 97.000)");
}

TEST(StepMetrics, UnfinishedStepStopsTheChannel)
{
    TraceSetup s = step_setup(10, 10, 2);
    Recorder r = fixed_band(2);
    Scans scans = {{206, 95}, {100, 50}};
    while (scans.size() < 20) scans.push_back({100, 40});
    EXPECT_TRUE(run_steps(s, r, scans).empty());
}

TEST(StepMetrics, ChannelsWithoutAUsableStepAreSkipped)
{
    // Set-point channel disabled.
    TraceSetup s = step_setup(10, 10);
    s.status_bits = 1;
    s.saved_channels = 1;
    s.derive_tables();
    Recorder r = fixed_band();
    short step = 1;
    double limits[3];
    EXPECT_EQ(pre_step_test(s, r, 1, &step, limits), 1);
    // No steps at all.
    TraceSetup none = step_setup(10, 10, 0);
    EXPECT_FALSE(none.step_flag[1]);
    EXPECT_EQ(pre_step_test(none, r, 1, &step, limits), 1);
    // Step search skips steps without a set-point row while the table has none for them.
    class Sparse : public Recorder {
        int step_specs(int type, int subtype, int channel, int st, double lim[3]) override
        {
            if (st < 3) return 0;
            return Recorder::step_specs(type, subtype, channel, st, lim);
        }
    } sparse;
    TraceSetup three = step_setup(10, 10, 4);
    step = 1;
    EXPECT_EQ(pre_step_test(three, sparse, 1, &step, limits), 0);
    EXPECT_EQ(step, 3);
}

}  // namespace
