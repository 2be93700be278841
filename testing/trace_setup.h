// The setup a trace is tested under, taken from the setup globals at the start of a test, and the services the sections report to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Everything the analysis sections read of the process setup; arrays are indexed
// from 1 like the globals they come from.
struct TraceSetup {
    int channels = 0;
    std::uint32_t status_bits = 0;
    int saved_channels = 0;
    int sample_rate = 1;
    int sample_rate_index = 1;
    double volts_per_count = 0.0006103515625;
    double counts_per_volt = 1638.4;
    signed char channel_type[33] = {};
    double slope[33] = {};
    double inter[33] = {};
    signed char steps_per_process[33] = {};
    signed char step_set_channel[33] = {};
    // Rank of an enabled channel among the enabled channels (1..), 0 for a disabled one.
    int trace_number[33] = {};
    bool step_flag[33] = {};
    // Triggers.
    short trigger = 0;
    short trig_type = 0;
    short trig_ch = 0, trig_2_ch = 0;
    short trig_log = 1, trig_2_log = 1;
    double trig_val = 0, trig_2_val = 0;
    int delay = 0;
    // Timers 1..16.
    int timer_status_bit = 0, timer_start_logic_bit = 0, timer_end_logic_bit = 0;
    int timer_start_channel[17] = {}, timer_end_channel[17] = {};
    double timer_start_val[17] = {}, timer_end_val[17] = {};
    int timer_start_gun[17] = {}, timer_end_gun[17] = {};

    bool enabled(int channel) const
    {
        return channel >= 1 && channel <= 32 && (status_bits >> (channel - 1) & 1u) != 0;
    }
    // Index of the channel's sample inside one scan.
    int scan_index(int channel) const { return saved_channels - trace_number[channel]; }
    // Fills trace_number and step_flag from the other fields.
    void derive_tables();
};

// A copy of the current setup globals (channels, scaling, triggers, timers, rate).
TraceSetup setup_from_globals();

// A level in engineering units as raw counts: (level - intercept) / slope x counts
// per volt, truncated toward zero and clamped to [low, high]. None when the slope
// is 0 or the result is not a number: such a level can never be met.
std::optional<long long> level_to_counts(double level, double intercept, double slope, double counts_per_volt,
                                         long long low, long long high);

// The result tables a section writes; each has its own creator.
enum class ResultTable { step, stpm, area, timer, other };

// What the sections need from the rest of the system: the limit table, the
// result-row writer and the real-time check. The trace test fills it with the
// database and the alarm check; tests record the calls.
class TestServices {
public:
    virtual ~TestServices() = default;
    // Limit row of the current process: LCL, TARGET, UCL; non-zero when found (or defaulted).
    virtual int step_specs(int type, int subtype, int channel, int step, double limits[3]) = 0;
    // Runs one INSERT; on failure creates the table (channel/timer a, step b) and tries once more.
    virtual void insert_row(const std::string& sql, ResultTable table, int a, int b) = 0;
    // Judges one value of the chart (channel, type, sub-type, step).
    virtual void realtime_check(int channel, int type, int subtype, int step, int run, int wafer, double value) = 0;
};
