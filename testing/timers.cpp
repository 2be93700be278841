// Timers of a wafer: the time from a start crossing to an end crossing, in raw counts with a 41-count hysteresis.
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/sys/format.h"
#include "testing/analysis.h"

namespace {

constexpr long long kHysteresis = 41;

// One side of a timer: the channel, its level and sense, and the crossings seen.
struct Side {
    int index = 0;         // place of the channel's sample in a scan
    long long level = 0;   // in counts, moved by the hysteresis while on
    long long sense = 1;   // +1 on above the level, -1 below
    int gun = 0;           // which crossing into on is the event
    bool state = false;
    long count = 0;
    bool found = false;
    double time = 0;

    bool on(std::int16_t sample) const { return sense * sample > sense * level; }
    void begin(std::int16_t sample)
    {
        state = on(sample);
        if (state) {
            count = 1;
            level -= kHysteresis * sense;
        }
    }
    // Looks for the event in one block; the rest of the block is not examined once found.
    void examine(const std::vector<std::int16_t>& block, int width, int rate, long n)
    {
        for (int j = 1; j <= rate; ++j) {
            bool now = on(block[static_cast<std::size_t>((j - 1) * width + index)]);
            if (now == state) continue;
            if (now) {
                ++count;
                if (count == gun) {
                    time = n + static_cast<double>(j) / rate;
                    found = true;
                }
                level -= kHysteresis * sense;
            } else {
                level += kHysteresis * sense;
            }
            state = now;
            if (found) return;
        }
    }
};

bool recorded(const TraceSetup& setup, int channel)
{
    return channel >= 1 && channel <= setup.channels && setup.enabled(channel);
}

std::vector<int> tested_timers(const TraceSetup& setup)
{
    std::vector<int> tested;
    for (int t = 1; t <= 16; ++t)
        if ((setup.timer_status_bit >> (t - 1) & 1) && recorded(setup, setup.timer_start_channel[t]) &&
            recorded(setup, setup.timer_end_channel[t]))
            tested.push_back(t);
    return tested;
}

}  // namespace

bool any_timer_tested(const TraceSetup& setup)
{
    return setup.saved_channels > 0 && setup.sample_rate > 0 && !tested_timers(setup).empty();
}

void test_timers(const WaferTrace& trace, const TraceSetup& setup, TestServices& services, bool dotted,
                 const std::vector<std::int16_t>* previous_scan)
{
    if (setup.saved_channels <= 0 || setup.sample_rate <= 0) return;
    const std::vector<int> tested = tested_timers(setup);
    if (tested.empty()) return;
    if (dotted && (previous_scan == nullptr || previous_scan->size() < static_cast<std::size_t>(setup.saved_channels)))
        return;

    const int width = setup.saved_channels;
    const int rate = setup.sample_rate;
    const auto n_values = static_cast<std::size_t>(width) * static_cast<std::size_t>(rate);
    std::vector<std::int16_t> block;
    TraceStream stream(trace.bytes);

    for (int t : tested) {
        stream.seek(trace.header_end);
        const int sc = setup.timer_start_channel[t];
        const int ec = setup.timer_end_channel[t];
        auto start_level = level_to_counts(setup.timer_start_val[t], setup.inter[sc], setup.slope[sc],
                                           setup.counts_per_volt, INT_MIN, INT_MAX);
        auto end_level = level_to_counts(setup.timer_end_val[t], setup.inter[ec], setup.slope[ec],
                                         setup.counts_per_volt, INT_MIN, INT_MAX);
        // A level that cannot be converted can never be crossed.
        if (!start_level || !end_level) continue;
        Side start{setup.scan_index(sc), *start_level, (setup.timer_start_logic_bit >> (t - 1) & 1) ? 1 : -1,
                   setup.timer_start_gun[t]};
        Side end{setup.scan_index(ec), *end_level, (setup.timer_end_logic_bit >> (t - 1) & 1) ? 1 : -1,
                 setup.timer_end_gun[t]};

        if (dotted) {
            start.begin((*previous_scan)[static_cast<std::size_t>(start.index)]);
            end.begin((*previous_scan)[static_cast<std::size_t>(end.index)]);
        } else {
            // The first block only gives the starting states, from its last scan.
            if (!stream.read_block(block, n_values)) continue;
            const std::size_t last = static_cast<std::size_t>((rate - 1) * width);
            start.begin(block[last + static_cast<std::size_t>(start.index)]);
            end.begin(block[last + static_cast<std::size_t>(end.index)]);
        }

        long n = 0;
        bool complete = stream.read_block(block, n_values);
        while (!stream.eof() && complete && !(start.found && end.found)) {
            if (!start.found) start.examine(block, width, rate, n);
            if (!end.found) end.examine(block, width, rate, n);
            complete = stream.read_block(block, n_values);
            ++n;
        }
        if (!(start.found && end.found)) continue;
        double value = setup.sample_rate_index > 0 ? end.time - start.time
                                                   : std::abs(setup.sample_rate_index) * (end.time - start.time);
        services.insert_row(vsys::strprintf("INSERT INTO TIMER_%.2d VALUES (%i, %i, %.6lf)", t, trace.run, trace.wafer,
                                            value),
                            ResultTable::timer, t, 0);
#ifndef VANTREL_REVIEW
        services.realtime_check(t, 5, 0, 0, trace.run, trace.wafer, value);
#endif
    }
}
