// Tests of the chamber model: scenario parsing, the wafer/run/clean timeline, signal shapes and anomalies.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/usb/chamber_model.h"
#include "tests/support/temp_dir.h"

namespace {

using vusb::ChamberModel;
using vusb::Scenario;

Scenario default_scenario()
{
    Scenario s;
    vsys::Result r = vusb::load_scenario(vtest::bin_dir() + "/default.scenario", s);
    EXPECT_TRUE(r.ok) << r.error;
    return s;
}

// Start of global wafer n (1-based) of the default scenario, origin 0.
double wafer_start(long n)
{
    const double wafer = 30, gap = 6, run = 3 * wafer + 2 * gap + 30, cycle = 2 * run + 90 + 30;
    long k = n - 1, c = k / 6, r = (k % 6) / 3, w = k % 3;
    return 5 + c * cycle + r * run + w * (wafer + gap);
}

TEST(Scenario, DefaultFileParses)
{
    Scenario s = default_scenario();
    EXPECT_EQ(s.channels.size(), 9u);
    EXPECT_EQ(s.phases.size(), 4u);
    EXPECT_EQ(s.anomalies.size(), 7u);
    EXPECT_EQ(s.seed, 20260314u);
}

TEST(Scenario, ErrorsNameTheLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"phase a 1\nbogus 3\n", "line 2: unknown keyword bogus"},
        {"phase a 1\nchannel 1 step setpoints=1,2\n", "channel 1: one set-point per phase is needed"},
        {"phase a 1\nchannel 2 follow source=7\n", "channel 2: unknown source"},
        {"phase a 1\nchannel 1 trigger\nchannel 1 trigger\n", "line 3: channel given twice"},
        {"phase a 1\nchannel 33 trigger\n", "line 2: channel NUMBER KIND ..."},
        {"phase a x\n", "line 1: phase NAME SECONDS"},
        {"wafer_gap -1\n", "line 1: expected seconds"},
        {"channel 1 trigger\n", "no phase given"},
        {"phase a 1\nanomaly 2 comet\n", "line 2: unknown anomaly comet"},
    };
    for (const auto& [text, error] : cases) {
        Scenario s;
        vsys::Result r = vusb::parse_scenario(text, s);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_EQ(r.error, error) << text;
    }
}

TEST(Chamber, TimelineOfWafersRunsAndCleans)
{
    ChamberModel m(default_scenario(), 0.0);
    struct Case {
        double t;
        bool wafer, clean;
        long number;
        int phase;
    };
    const Case cases[] = {
        {1.0, false, false, 0, -1},
        {wafer_start(1) + 1, true, false, 1, 0},
        {wafer_start(1) + 6, true, false, 1, 1},
        {wafer_start(1) + 27, true, false, 1, 3},
        {wafer_start(1) + 32, false, false, 1, -1},  // gap inside the run
        {wafer_start(3) + 40, false, false, 3, -1},  // gap after the run
        {wafer_start(4) + 0.5, true, false, 4, 0},
        {wafer_start(6) + 31 + 30 + 10, false, true, 6, -1},  // the clean cycle
        {wafer_start(7) + 2, true, false, 7, 0},              // next cycle
    };
    for (const auto& c : cases) {
        auto s = m.state_at(c.t);
        EXPECT_EQ(s.in_wafer, c.wafer) << c.t;
        EXPECT_EQ(s.in_clean, c.clean) << c.t;
        EXPECT_EQ(s.wafer, c.number) << c.t;
        EXPECT_EQ(s.phase, c.phase) << c.t;
    }
}

double peak(const ChamberModel& m, int channel, double from, double to)
{
    double best = -1e9;
    for (double t = from; t < to; t += 0.01) best = std::max(best, m.value(channel, t));
    return best;
}

TEST(Chamber, StepResponsesOvershootSettleAndDecay)
{
    ChamberModel m(default_scenario(), 0.0);
    double normal = peak(m, 1, wafer_start(1) + 5, wafer_start(1) + 8);
    double ringing = peak(m, 1, wafer_start(3) + 5, wafer_start(3) + 8);  // wafer 3: overshoot anomaly
    EXPECT_GT(normal, 6.0 * 1.1);
    EXPECT_GT(ringing, normal + 0.3);
    EXPECT_NEAR(m.value(1, wafer_start(1) + 19.5), 6.0, 0.01);  // settled before the phase ends
    // Off in the pump phase: first-order decay from 4 V with tau 0.6 s.
    double off = wafer_start(1) + 26;
    EXPECT_NEAR(m.value(1, off + 0.6), 4.0 * std::exp(-1.0), 0.02);
    // Wafer 5: GAS_A decays twice as slowly.
    double slow = m.value(2, wafer_start(5) + 26 + 0.8);
    double fast = m.value(2, wafer_start(2) + 26 + 0.8);
    EXPECT_NEAR(fast, 4.0 * std::exp(-1.0), 0.02);
    EXPECT_NEAR(slow, 4.0 * std::exp(-0.5), 0.02);
    // Followers: pressure lags the flow, the throttle moves the other way.
    EXPECT_NEAR(m.value(4, wafer_start(1) + 15), 0.2 + 0.9 * m.value(2, wafer_start(1) + 13.5), 1e-9);
    EXPECT_LT(m.value(5, wafer_start(1) + 15), 8.0);
}

TEST(Chamber, EndpointDropsAndCanBeLate)
{
    ChamberModel m(default_scenario(), 0.0);
    // Endpoint at 5 + 0.7 x 15 = 15.5 s into the wafer.
    EXPECT_GT(m.value(7, wafer_start(1) + 12), 3.5);
    EXPECT_LT(m.value(7, wafer_start(1) + 19), 2.5);
    EXPECT_GT(m.value(7, wafer_start(7) + 18), 3.5);  // wafer 7: four seconds late
}

TEST(Chamber, TriggerGlitchAndFifoError)
{
    ChamberModel m(default_scenario(), 0.0);
    // Wafer 10 drops its trigger for 0.4 s half way through; other wafers hold it.
    double middle = wafer_start(10) + 15;
    EXPECT_EQ(m.value(9, middle - 0.1), 5.0);
    EXPECT_EQ(m.value(9, middle + 0.2), 0.0);
    EXPECT_EQ(m.value(9, middle + 0.5), 5.0);
    EXPECT_EQ(m.value(9, wafer_start(1) + 15.2), 5.0);
    EXPECT_EQ(m.value(9, wafer_start(10) + 33.2), 0.0);
    EXPECT_EQ(m.block_error(wafer_start(11) + 5.3, wafer_start(11) + 6.3), 2);
    EXPECT_EQ(m.block_error(wafer_start(11) + 6.3, wafer_start(11) + 7.3), 0);
    EXPECT_EQ(m.block_error(wafer_start(10) + 5.3, wafer_start(10) + 6.3), 0);
}

TEST(Chamber, TemperatureIsContinuousAndFollowsTheWork)
{
    ChamberModel m(default_scenario(), 0.0);
    for (long n : {2L, 4L, 7L}) {
        double s = wafer_start(n);
        EXPECT_NEAR(m.value(8, s - 1e-4), m.value(8, s + 1e-4), 0.01) << n;
        EXPECT_GT(m.value(8, s + 29), m.value(8, s)) << n;
    }
    EXPECT_EQ(m.value(8, 1.0), 12.0);
}

TEST(Chamber, SameSeedSameSamples)
{
    Scenario s = default_scenario();
    ChamberModel a(s, 0.0), b(s, 0.0);
    s.seed += 1;
    ChamberModel c(s, 0.0);
    double va[32], vb[32], vc[32];
    bool differs = false;
    for (double t = 10.0; t < 12.0; t += 0.1) {
        a.sample(t, 0, va);
        b.sample(t, 0, vb);
        c.sample(t, 0, vc);
        for (int i = 0; i < 32; ++i) {
            ASSERT_EQ(va[i], vb[i]);
            differs = differs || va[i] != vc[i];
        }
    }
    EXPECT_TRUE(differs);
}

// The noise around the noise-free value of a channel, as a standard deviation over a second of samples.
double noise_sigma(ChamberModel& m, int channel, double from)
{
    double sum = 0, squares = 0;
    const int n = 1000;
    double v[32];
    for (int k = 0; k < n; ++k) {
        const double t = from + k * 1e-3;
        m.sample(t, 0, v);
        const double d = v[channel - 1] - m.value(channel, t);
        sum += d;
        squares += d * d;
    }
    const double mean = sum / n;
    return std::sqrt(squares / n - mean * mean);
}

TEST(Chamber, NoiseBurstOnlyOnItsChannelAndWafer)
{
    ChamberModel m(default_scenario(), 0.0);
    // Wafer 9: the endpoint signal (channel 7, 0.02 V) is eight times noisier; RF (channel 1) is not.
    EXPECT_NEAR(noise_sigma(m, 7, wafer_start(9) + 10), 0.16, 0.02);
    EXPECT_NEAR(noise_sigma(m, 7, wafer_start(8) + 10), 0.02, 0.003);
    EXPECT_NEAR(noise_sigma(m, 1, wafer_start(9) + 10), 0.01, 0.0015);
}

}  // namespace

namespace {

// The demo's chamber begins with the first scan: however long the program ran before Start, its first wafer is
// whole and the anomaly schedule counts from there.
TEST(Chamber, ScheduleFromTheFirstScanIsThatOfAModelStartedThen)
{
    const Scenario s = default_scenario();
    const double first_scan = 1234.5;
    auto late = ChamberModel::from_first_scan(s);
    ChamberModel then(s, first_scan);
    late->block_error(first_scan, first_scan + 1.0);
    for (double t = first_scan; t < first_scan + 300.0; t += 7.3) {
        const vusb::ChamberState a = late->state_at(t), b = then.state_at(t);
        ASSERT_EQ(a.wafer, b.wafer) << t;
        ASSERT_EQ(a.in_wafer, b.in_wafer) << t;
        ASSERT_EQ(a.phase, b.phase) << t;
    }
    double va[32], vb[32];
    late->sample(first_scan + 20.0, 0, va);
    then.sample(first_scan + 20.0, 0, vb);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(va[i], vb[i]) << i;
}

}  // namespace
