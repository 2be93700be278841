// The setup a trace is tested under, taken from the setup globals at the start of a test.
#include "testing/trace_setup.h"

#include <cmath>

#include "core/config_store.h"
#include "core/run_table.h"

void TraceSetup::derive_tables()
{
    int rank = 0;
    for (int c = 1; c <= 32; ++c) {
        trace_number[c] = enabled(c) ? ++rank : 0;
        step_flag[c] = c <= channels && channel_type[c] == 1 && enabled(c) && steps_per_process[c] >= 1 &&
                       step_set_channel[c] >= 1;
    }
}

TraceSetup setup_from_globals()
{
    TraceSetup s;
    s.channels = channels;
    s.status_bits = VantrelChannelStatusBits;
    s.saved_channels = saved_channels;
    s.sample_rate = sample_rate;
    s.sample_rate_index = sample_rate_index;
    int bits = (ADCBits == 0 || ADCBits == 1) ? ADCBits : 0;
    s.volts_per_count = BinaryToVoltage[bits];
    s.counts_per_volt = VoltageToBinary[bits];
    for (int c = 0; c <= 32; ++c) {
        s.channel_type[c] = channel_type[c];
        s.slope[c] = channel_slope[c];
        s.inter[c] = channel_inter[c];
        s.steps_per_process[c] = steps_per_process[c];
        s.step_set_channel[c] = step_set_channel[c];
    }
    s.trigger = trigger;
    s.trig_type = trig_type;
    s.trig_ch = trig_ch;
    s.trig_2_ch = trig_2_ch;
    s.trig_log = trig_log;
    s.trig_2_log = trig_2_log;
    s.trig_val = trig_val;
    s.trig_2_val = trig_2_val;
    s.delay = delay;
    s.timer_status_bit = timer_status_bit;
    s.timer_start_logic_bit = timer_start_logic_bit;
    s.timer_end_logic_bit = timer_end_logic_bit;
    for (int t = 0; t <= 16; ++t) {
        s.timer_start_channel[t] = timer_start_channel[t];
        s.timer_end_channel[t] = timer_end_channel[t];
        s.timer_start_val[t] = timer_start_val[t];
        s.timer_end_val[t] = timer_end_val[t];
        s.timer_start_gun[t] = timer_start_gun[t];
        s.timer_end_gun[t] = timer_end_gun[t];
    }
    s.derive_tables();
    return s;
}

std::optional<long long> level_to_counts(double level, double intercept, double slope, double counts_per_volt,
                                         long long low, long long high)
{
    if (slope == 0.0) return std::nullopt;
    double counts = (level - intercept) / slope * counts_per_volt;
    if (!std::isfinite(counts)) return std::nullopt;
    counts = std::trunc(counts);
    if (counts < static_cast<double>(low)) return low;
    if (counts > static_cast<double>(high)) return high;
    return static_cast<long long>(counts);
}
