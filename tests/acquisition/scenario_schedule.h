// Acquisition on the default chamber scenario, and the runs and wafers it should give, worked out from the model.
#pragma once

#include <cstdint>
#include <vector>

#include "board/board_api.h"
#include "platform/usb/chamber_model.h"
#include "tests/acquisition/acq_fixture.h"

namespace acqtest {

struct ExpectedWafer {
    int run, wafer;   // as stored: run number and wafer within the run
    long model_wafer; // the model's production wafer (anomalies key on it); 0 for a clean cycle
    bool precoat;     // its run is a precoat run
    bool unfinished;  // still open at the end: the data delay has not passed
};

struct TriggerRules {
    int channel;
    double level;
    int rate;
    int minimum_width, delay, precoat_minimum;
};

// Per block, whether the wafer-present signal is up in any of its scans (scan s at (s + 1) / rate s, as the
// board times them); spans of such blocks joined over drops of at most the minimum width are wafers; a gap
// longer than the data delay starts a run; a finished span longer than the precoat minimum is a precoat run of
// its own.
inline std::vector<ExpectedWafer> expected_wafers(const vusb::Scenario& scenario, const TriggerRules& r, int seconds)
{
    vusb::ChamberModel model(scenario, 0.0);
    struct Span {
        int first, last, hits;
        bool clean;
        long wafer;
    };
    std::vector<Span> spans;
    const double period = vboard::sampling_period_us(r.rate) * 1e-6;
    for (int k = 0; k < seconds; ++k) {
        bool hit = false, clean = false;
        long wafer = 0;
        for (int j = 0; j < r.rate; ++j) {
            const std::uint64_t scan = static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(r.rate) + j;
            const double t = static_cast<double>(scan + 1) * period;
            if (model.value(r.channel, t) > r.level) {
                hit = true;
                const vusb::ChamberState s = model.state_at(t);
                clean = clean || s.in_clean;
                if (s.in_wafer) wafer = s.wafer;
            }
        }
        if (hit && (spans.empty() || k - spans.back().last - 1 > r.minimum_width)) spans.push_back({k, k, 0, clean, wafer});
        if (hit) {
            Span& s = spans.back();
            s.last = k;
            ++s.hits;
            s.clean = s.clean || clean;
            if (s.wafer == 0) s.wafer = wafer;
        }
    }
    std::vector<ExpectedWafer> out;
    int run = 0, wafer = 0;
    bool precoat_run = false;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const bool new_run = i == 0 || spans[i].first - spans[i - 1].last - 1 > r.delay;
        const bool unfinished = spans[i].last + r.delay + 1 >= seconds;
        if (new_run) {
            ++run;
            wafer = 0;
            precoat_run = false;
        }
        if (spans[i].hits > r.precoat_minimum && !unfinished) {
            if (wafer > 0) ++run;
            wafer = 1;
            precoat_run = true;
        } else {
            ++wafer;
        }
        out.push_back({run, wafer, spans[i].clean ? 0 : spans[i].wafer, precoat_run, unfinished});
    }
    return out;
}

// The acquisition tests, on the board the program installs: the simulated chamber of the default scenario.
class ChamberTest : public AcqTest {
protected:
    // Acquires for `seconds` of the chamber's schedule, from its start.
    void run_chamber(int seconds)
    {
        ASSERT_TRUE(install_board());
        board = std::dynamic_pointer_cast<vusb::SimBoard>(vusb::backend());
        ASSERT_NE(board, nullptr);
        start();
        ASSERT_TRUE(acq().active);
        tick(seconds);
        stop();
    }
    // The wafers the schedule gives under the current trigger settings; loads `scenario`.
    std::vector<ExpectedWafer> scheduled_wafers(int seconds)
    {
        EXPECT_TRUE(vusb::load_scenario(program.file("default.scenario"), scenario).ok);
        return expected_wafers(scenario, {trig_ch, trig_val, sample_rate, minimum_trig_width, delay, precoat_minimum},
                               seconds);
    }
    vusb::Scenario scenario;
};

}  // namespace acqtest
