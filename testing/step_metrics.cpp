// Step-response metrics of the set-point channels: over- and undershoot areas, extremes, stability and decay times per step.
#include <cstdlib>
#include <vector>

#include "platform/sys/format.h"
#include "testing/analysis.h"

namespace {

constexpr int kStartCounts = 205;  // the set-point has risen above this: the step began
constexpr int kOffCounts = 164;    // below this the set-point is off

struct StepState {
    bool started = false;
    long off_count = 0;
    double over = 0;
    double under = 0;
    double maximum = -1000000.0;
    double minimum = 1000000.0;
    bool in_band = false;
    double band_entry = 0;
    double band_exit = 0;
    // Starts at 0 and a step only completes after the set-point went off, so the
    // decay time never reads an unset value.
    double turn_off = 0;
    double decay_threshold = -10000.0;
    bool percent = false;
    double low = 0, target = 0, high = 0;
    double low_factor = 0, target_factor = 0, high_factor = 0;
    // The set-point row holds three zeros: the user switched this step's stability test off.
    bool stability_off = false;
};

StepState start_step(const double limits[3])
{
    StepState st;
    st.stability_off = limits[0] == 0.0 && limits[1] == 0.0 && limits[2] == 0.0;
    if (limits[1] < 1e-6) {
        st.percent = true;
        st.low_factor = limits[0] / 100;
        st.target_factor = -limits[1] / 100;
        st.high_factor = limits[2] / 100;
    } else {
        st.low = limits[0];
        st.target = limits[1];
        st.high = limits[2];
    }
    return st;
}

double engineering(const TraceSetup& setup, int channel, std::int16_t raw)
{
    return setup.slope[channel] * setup.volts_per_count * raw + setup.inter[channel];
}

}  // namespace

short pre_step_test(const TraceSetup& setup, TestServices& services, short channel, short* step, double limits[3])
{
    int b = *step;
    int steps = setup.steps_per_process[channel];
    int found = services.step_specs(1, 4, channel, b, limits);
    while (found == 0 && b <= steps) {
        ++b;
        found = services.step_specs(1, 4, channel, b, limits);
    }
    *step = static_cast<short>(b);
    int sp = setup.step_set_channel[channel];
    return (b <= steps && sp > 0 && sp <= setup.channels && setup.enabled(sp)) ? 0 : 1;
}

void test_step_metrics(const WaferTrace& trace, const TraceSetup& setup, TestServices& services)
{
    if (setup.saved_channels <= 0 || setup.sample_rate <= 0) return;
    const int width = setup.saved_channels;
    const int rate = setup.sample_rate;
    const auto n_values = static_cast<std::size_t>(width) * static_cast<std::size_t>(rate);
    const int slow_factor = std::abs(setup.sample_rate_index);
    std::vector<std::int16_t> block;
    TraceStream stream(trace.bytes);

    for (int c = 1; c <= setup.channels && c <= 32; ++c) {
        if (!setup.step_flag[c]) continue;
        stream.seek(trace.header_end);
        short step = 1;
        double limits[3] = {0, 0, 0};
        if (pre_step_test(setup, services, static_cast<short>(c), &step, limits) != 0) continue;
        StepState st = start_step(limits);
        const int sp_index = setup.scan_index(setup.step_set_channel[c]);
        const int v_index = setup.scan_index(c);
        bool measuring = true;
        long block_counter = 0;

        bool complete = stream.read_block(block, n_values);
        while (!stream.eof() && complete && measuring) {
            for (int s = 1; s <= rate && measuring; ++s) {
                const std::size_t base = static_cast<std::size_t>((s - 1) * width);
                const int sp = block[base + static_cast<std::size_t>(sp_index)];
                if (sp > kStartCounts && !st.started) st.started = true;
                if (!st.started) continue;
                const int i = s * width;
                const double time = block_counter + static_cast<double>(i) / (width * rate);
                if (st.percent) {
                    double spv = engineering(setup, setup.step_set_channel[c], static_cast<std::int16_t>(sp));
                    st.low = st.low_factor * spv;
                    st.target = st.target_factor * spv;
                    st.high = st.high_factor * spv;
                }
                const double v = engineering(setup, c, block[base + static_cast<std::size_t>(v_index)]);
                if (v > st.maximum) {
                    st.maximum = v;
                    st.minimum = v;
                }
                if (v < st.minimum && st.off_count == 0) st.minimum = v;
                if (sp >= kOffCounts) {
                    if (v - st.target > 0)
                        st.over += v - st.target;
                    else
                        st.under += st.target - v;
                } else if (++st.off_count == 1) {
                    st.turn_off = time;
                    st.decay_threshold = 0.36788 * v;
                }
                const bool band = v < st.high && v > st.low && sp > kStartCounts;
                if (band && !st.in_band) st.band_entry = time;
                if (!band && st.in_band) st.band_exit = time;
                st.in_band = band;

                if (st.off_count == 0 || !(v < st.decay_threshold)) continue;
                double decay, stability;
                if (setup.sample_rate_index > 0) {
                    st.over /= rate;
                    st.under /= rate;
                    decay = time - st.turn_off;
                    stability = st.band_exit - st.band_entry;
                } else {
                    st.over *= slow_factor;
                    st.under *= slow_factor;
                    decay = (block_counter - st.turn_off) * slow_factor;
                    stability = (st.band_exit - st.band_entry) * slow_factor;
                }
                const double values[7] = {st.over, st.under, stability, decay, 0, st.minimum, st.maximum};
                for (int sub : {0, 1, 2, 3, 5, 6})
                    if (sub != 2 || !st.stability_off)
                        services.realtime_check(c, 1, sub, step, trace.run, trace.wafer, values[sub]);
                services.insert_row(vsys::strprintf("INSERT INTO STEP%.2d%.2d VALUES (%i, %i, %.3lf, %.3lf, %.3lf, %.3lf)",
                                                    c, step, trace.run, trace.wafer, st.over, st.under, stability, decay),
                                    ResultTable::step, c, step);
                services.insert_row(vsys::strprintf("INSERT INTO STPM%.2d%.2d VALUES (%i, %i, %.3lf, %.3lf)", c, step,
                                                    trace.run, trace.wafer, st.minimum, st.maximum),
                                    ResultTable::stpm, c, step);
                ++step;
                if (pre_step_test(setup, services, static_cast<short>(c), &step, limits) == 0)
                    st = start_step(limits);
                else
                    measuring = false;
            }
            ++block_counter;
            complete = stream.read_block(block, n_values);
        }
    }
}
