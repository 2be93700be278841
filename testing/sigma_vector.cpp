// Sigma vector: each channel's summed absolute difference from the process of record over the process window, in per cent of the record's own sum.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/sys/format.h"
#include "testing/analysis.h"

namespace {

constexpr int kValveTolerance = 200;  // counts a valve may differ before a trace is held back
constexpr std::int16_t kUnread = -9999;

using Scan = std::vector<std::int16_t>;

// Reads one scan; after every `per_block`-th scan (counted by `counter`) the block trailer follows.
bool read_scan(TraceStream& stream, Scan& scan, long counter, int per_block)
{
    bool whole = stream.read_values(scan.data(), scan.size()) == scan.size();
    if (counter % per_block == 0) stream.skip(kBlockTrailerBytes);
    return whole;
}

struct Trigger {
    bool usable = false;
    int index1 = 0, index2 = 0;
    long long level1 = 0, level2 = 0;
    short log1 = 1, log2 = 1;
    bool second = false;

    bool holds(const Scan& scan) const
    {
        bool one = log1 * static_cast<long long>(scan[static_cast<std::size_t>(index1)]) > log1 * level1;
        if (!second) return one;
        return one && log2 * static_cast<long long>(scan[static_cast<std::size_t>(index2)]) > log2 * level2;
    }
};

// A trigger channel must be recorded, or its sample is not in the scan at all.
bool trigger_channel(const TraceSetup& setup, int channel)
{
    return channel >= 1 && channel <= 32 && setup.enabled(channel);
}

Trigger make_trigger(const TraceSetup& setup)
{
    Trigger tr;
    if (setup.trigger < 1 || !trigger_channel(setup, setup.trig_ch)) return tr;
    auto l1 = level_to_counts(setup.trig_val, setup.inter[setup.trig_ch], setup.slope[setup.trig_ch],
                              setup.counts_per_volt, INT16_MIN, INT16_MAX);
    if (!l1) return tr;
    tr.level1 = *l1;
    tr.index1 = setup.scan_index(setup.trig_ch);
    tr.log1 = setup.trig_log;
    if (setup.trigger == 2) {
        if (!trigger_channel(setup, setup.trig_2_ch)) return tr;
        auto l2 = level_to_counts(setup.trig_2_val, setup.inter[setup.trig_2_ch], setup.slope[setup.trig_2_ch],
                                  setup.counts_per_volt, INT16_MIN, INT16_MAX);
        if (!l2) return tr;
        tr.level2 = *l2;
        tr.index2 = setup.scan_index(setup.trig_2_ch);
        tr.log2 = setup.trig_2_log;
        tr.second = true;
    }
    tr.usable = true;
    return tr;
}

}  // namespace

std::optional<PorInterval> read_por_interval(const std::string& text)
{
    PorInterval in;
    const char* p = text.c_str();
    int used = 0;
    if (std::sscanf(p, "%d%n", &in.window_start, &used) != 1) return std::nullopt;
    p += used;
    if (std::sscanf(p, "%d%n", &in.window_end, &used) != 1) return std::nullopt;
    p += used;
    if (std::sscanf(p, "%d%n", &in.rate_code, &used) != 1) return std::nullopt;
    p += used;
    for (int c = 1; c <= 32; ++c) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
        if (*p == '\0') break;
        int flag = 0;
        double sum = 0;
        used = 0;
        // A line that is not flag, type and sum ends the reading.
        if (std::sscanf(p, "%d %*d %lf%n", &flag, &sum, &used) != 2 || used == 0) break;
        p += used;
        if (flag != 0) ++in.por_channels;
        in.flagged[c] = flag != 0;
        in.position[c] = in.por_channels;
        in.por_sum[c] = sum;
        in.lines = c;
    }
    return in;
}

std::vector<SigmaResult> test_sigma_vector(const WaferTrace& trace, const TraceSetup& setup, TestServices& services,
                                           const PorInterval& interval, std::span<const unsigned char> por_trace)
{
    std::vector<SigmaResult> results;
    if (interval.rate_code != setup.sample_rate_index) return results;
    if (setup.saved_channels <= 0 || setup.sample_rate <= 0 || interval.por_channels <= 0) return results;

    // Only channels whose samples are in the record's scans can be compared.
    auto in_por = [&](int c) { return c <= interval.lines && interval.flagged[c]; };
    std::vector<double> sums(33, 0.0);
    for (int c = 1; c <= setup.channels && c <= 32; ++c) {
        double limits[3] = {0, 0, 0};
        if (!setup.enabled(c) || !in_por(c)) continue;
        if (services.step_specs(4, 0, c, 0, limits) == 0) continue;
        if (!(interval.por_sum[c] > 1e-9)) continue;
        results.push_back(SigmaResult{c, 0.0, limits[2]});
    }
    if (results.empty()) return results;

    TraceStream test(trace.bytes);
    test.seek(trace.header_end);
    TraceStream por(por_trace);
    const int por_width = interval.por_channels;
    const int width = setup.saved_channels;
    const int rate = setup.sample_rate;
    Scan por_current(static_cast<std::size_t>(por_width), 0), por_previous(por_current.size(), 0);
    Scan test_current(static_cast<std::size_t>(width), 0), test_previous(test_current.size(), 0);
    por.skip_token_line();

    const long end_limit = setup.sample_rate_index > 0 ? static_cast<long>(setup.delay) * rate
                                                       : setup.delay / std::abs(setup.sample_rate_index);
    const Trigger trig = make_trigger(setup);

    // The record: skip to the first scan of its window, at most two blocks in. A
    // window start below 1 (the record never met its trigger) starts at scan 1.
    const int per_por_block = interval.rate_code > 0 ? interval.rate_code : 1;
    const long window_start = interval.window_start < 1 ? 1 : interval.window_start;
    long p = 1;
    for (long scan = 1; scan <= window_start && p <= 2L * per_por_block; ++scan) {
        read_scan(por, por_current, p, per_por_block);
        ++p;
    }

    // The wafer: its trigger, looked for in the first two blocks.
    bool found = false;
    long q = 1;
    if (trig.usable) {
        while (!test.eof() && !found && q <= 2L * rate) {
            bool whole = read_scan(test, test_current, q, rate);
            if (whole && trig.holds(test_current)) found = true;
            ++q;
        }
    }
    std::fill(por_previous.begin(), por_previous.end(), kUnread);
    std::fill(test_previous.begin(), test_previous.end(), kUnread);

    if (found) {
        auto por_value = [&](const Scan& scan, int c) {
            return scan[static_cast<std::size_t>(por_width - interval.position[c])];
        };
        auto test_value = [&](const Scan& scan, int c) { return scan[static_cast<std::size_t>(setup.scan_index(c))]; };
        auto valves_agree = [&](const Scan& por_scan, const Scan& test_scan) {
            for (int c = 1; c <= setup.channels && c <= 32; ++c) {
                if (!setup.enabled(c) || setup.channel_type[c] != 2 || !in_por(c) || !(interval.por_sum[c] > 0))
                    continue;
                if (std::abs(por_value(por_scan, c) - test_value(test_scan, c)) > kValveTolerance) return false;
            }
            return true;
        };
        bool on = false, was_on = false, ended = false;
        long off = 0;
        const long window_end = interval.window_end;
        while (!test.eof() && !por.eof() && !ended && p <= window_end && q <= window_end) {
            if (setup.trig_type == 1) {
                ++off;
            } else {
                if (trig.holds(test_current)) {
                    was_on = on;
                    on = true;
                    off = 0;
                } else {
                    on = false;
                }
                if (!on && was_on) ++off;
            }
            if (off > end_limit) {
                ended = true;
                break;
            }
            bool por_held = false, test_held = false;
            if (!valves_agree(por_current, test_current)) {
                if (valves_agree(por_previous, test_current))
                    por_held = true;
                else if (valves_agree(por_current, test_previous))
                    test_held = true;
            }
            const Scan& por_scan = por_held ? por_previous : por_current;
            const Scan& test_scan = test_held ? test_previous : test_current;
            for (std::size_t i = 0; i < results.size(); ++i) {
                int c = results[i].channel;
                double a = por_value(por_scan, c) * setup.slope[c] * setup.volts_per_count + setup.inter[c];
                double b = test_value(test_scan, c) * setup.slope[c] * setup.volts_per_count + setup.inter[c];
                sums[static_cast<std::size_t>(c)] += std::fabs(a - b);
            }
            if (!test_held) {
                test_previous = test_current;
                read_scan(test, test_current, q, rate);
                ++q;
            }
            if (!por_held) {
                por_previous = por_current;
                read_scan(por, por_current, p, per_por_block);
                ++p;
            }
        }
    }

    for (auto& r : results) {
        const int c = r.channel;
        const double sum = sums[static_cast<std::size_t>(c)];
        r.sigma = interval.por_sum[c] < 1e-6 ? 1000000 : sum * 100 / interval.por_sum[c];
        services.insert_row(vsys::strprintf("INSERT INTO AREA_%.2d VALUES (%i, %i, %.6lf)", c, trace.run, trace.wafer,
                                            r.sigma),
                            ResultTable::area, c, 0);
        services.realtime_check(c, 4, 0, 0, trace.run, trace.wafer, r.sigma);
    }
    return results;
}
