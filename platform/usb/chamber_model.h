// The simulated process chamber: per-channel signal generators driven by a scenario file, with fixed seed.
#pragma once

#include <array>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "platform/sys/files.h"
#include "platform/usb/sim_board.h"

namespace vusb {

enum class ChannelKind { Step, Follow, Endpoint, Thermocouple, Trigger };
enum class AnomalyKind { Overshoot, SlowDecay, LateEndpoint, MeanShift, NoiseBurst, Glitch, FifoError };

struct ChannelModel {
    int channel = 0;  // 1..32
    ChannelKind kind = ChannelKind::Step;
    std::string name;
    double idle = 0.0;                 // volts (degrees for thermocouples)
    std::vector<double> setpoints;     // per phase (step), volts
    double clean = 0.0;                // level during a clean cycle
    double zeta = 0.7, wn = 2.0;       // second-order step response
    double tau_off = 1.0;              // decay after a step turns off; lag for temperatures
    int source = 0;                    // followed channel
    double gain = 1.0, lag = 0.0, low = -10.0, high = 10.0;
    double level = 0.0, drop = 0.0, at = 0.5, width = 0.5;  // endpoint signal
    int phase = 0;                                          // endpoint: the phase it ends
    double noise = 0.0;                                     // volts, one sigma
};

struct Anomaly {
    int wafer = 0;  // wafer number within the anomaly period (1-based)
    AnomalyKind kind = AnomalyKind::Overshoot;
    int channel = 0;
    double value = 0.0;
};

struct Scenario {
    unsigned long long seed = 1;
    double start_idle = 5.0;
    int wafers_per_run = 3;
    double wafer_gap = 6.0;
    double run_gap = 30.0;
    int runs_per_clean = 2;
    double clean_time = 90.0;
    int anomaly_period = 12;
    std::vector<std::pair<std::string, double>> phases;
    std::vector<ChannelModel> channels;
    std::vector<Anomaly> anomalies;
};

// Parses scenario text; a message naming the line when it is not understood.
vsys::Result parse_scenario(const std::string& text, Scenario& out);
vsys::Result load_scenario(const std::string& path, Scenario& out);

// What the chamber is doing at a moment (for tests and demos). A model is used
// by one thread at a time (the board calls it under its lock).
struct ChamberState {
    bool in_wafer = false;
    bool in_clean = false;
    long wafer = 0;       // global wafer number from 1 (0 before the first)
    int phase = -1;       // phase index within the wafer
    double since = 0.0;   // seconds since the wafer (or clean) began
};

class ChamberModel : public SignalSource {
public:
    // `origin` is the clock time at which the scenario begins.
    ChamberModel(Scenario scenario, double origin);
    // The scenario begins with the first scan the board takes (the first Start), so the demo's wafers count from
    // there however long the program ran before.
    static std::shared_ptr<ChamberModel> from_first_scan(Scenario scenario);
    void sample(double t, std::uint64_t scan, double volts[32]) override;
    std::uint8_t block_error(double start, double end) override;

    ChamberState state_at(double t) const;
    double value(int channel, double t) const;  // without noise
    const Scenario& scenario() const { return scenario_; }

private:
    struct Interval {
        double start = 0.0, end = 0.0;
        bool clean = false;
        long wafer = 0;
    };
    Interval interval_at(double t, Interval* previous) const;
    const Anomaly* anomaly(long wafer, AnomalyKind kind, int channel) const;
    double channel_value(const ChannelModel& m, double t, int depth) const;
    // The same, with the intervals at `t` (interval_at's answer) already known.
    double channel_value(const ChannelModel& m, double t, int depth, const Interval& now, const Interval& last) const;
    double step_value(const ChannelModel& m, const Interval& w, double t) const;
    // `mixed_tick`: the sample's microsecond, mixed.
    double noise(int channel, std::uint64_t mixed_tick) const;

    void begin_at(double t);

    Scenario scenario_;
    double origin_ = 0.0;
    bool origin_at_first_scan_ = false;
    double wafer_time_ = 0.0;
    double run_time_ = 0.0;
    double cycle_time_ = 0.0;
    const ChannelModel* by_channel_[33] = {};
    // Per channel: start of the interval and the temperature then (thermocouples).
    mutable std::array<std::pair<double, double>, 33> start_temperature_ = no_temperatures();
    // The last millisecond's noise-free values (sample only).
    long long shape_bucket_ = -1LL << 62;
    std::array<double, 33> shape_ {};
    std::array<double, 33> burst_ {};  // noise factor per channel (1 outside a burst)

    static std::array<std::pair<double, double>, 33> no_temperatures()
    {
        std::array<std::pair<double, double>, 33> a {};
        a.fill({-1e301, 0.0});
        return a;
    }
};

}  // namespace vusb
