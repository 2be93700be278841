// Test helpers: small wafer and process-of-record traces built in memory, and a recorder of what the analysis sections write.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sys/format.h"
#include "testing/analysis.h"

namespace ttest {

// Writes a trace the way the acquisition does: a header line, then blocks of
// `rate` scans (enabled channels in descending order) each followed by a zero trailer.
class TraceBuilder {
public:
    TraceBuilder(const TraceSetup& setup, std::string header = "09.30.00 2026/03/14\n")
        : setup_(setup), rate_(setup.sample_rate)
    {
        bytes.assign(header.begin(), header.end());
        header_end = bytes.size();
    }
    // For a process-of-record trace: `por_channels` values per scan, `per_block` scans per block.
    TraceBuilder(const TraceSetup& setup, int per_block, std::string header) : TraceBuilder(setup, std::move(header))
    {
        rate_ = per_block;
    }
    // One scan; values[c] is channel c's raw count (channels not given are 0).
    void scan(const std::map<int, int>& values)
    {
        std::vector<std::int16_t> s(static_cast<std::size_t>(setup_.saved_channels), 0);
        // A channel that is not recorded has no place in the scan.
        for (auto [c, v] : values)
            if (setup_.trace_number[c] > 0)
                s[static_cast<std::size_t>(setup_.scan_index(c))] = static_cast<std::int16_t>(v);
        raw_scan(s);
    }
    void raw_scan(const std::vector<std::int16_t>& s)
    {
        for (std::int16_t v : s) {
            auto u = static_cast<std::uint16_t>(v);
            bytes.push_back(static_cast<unsigned char>(u & 0xFF));
            bytes.push_back(static_cast<unsigned char>(u >> 8));
        }
        if (++scans_ % rate_ == 0) bytes.insert(bytes.end(), kBlockTrailerBytes, 0);
    }
    void cut(std::size_t n) { bytes.resize(bytes.size() - n); }
    WaferTrace trace(int run = 7, int wafer = 3) const { return WaferTrace{bytes, header_end, run, wafer}; }

    std::vector<unsigned char> bytes;
    std::size_t header_end = 0;

private:
    const TraceSetup& setup_;
    int rate_;
    long scans_ = 0;
};

// Stands in for the limit table, the result tables and the real-time check.
class Recorder : public TestServices {
public:
    // A limit row (type, sub-type, channel, step) -> LCL, TARGET, UCL.
    std::map<std::tuple<int, int, int, int>, std::vector<double>> rows;
    std::vector<std::string> log;

    int step_specs(int type, int subtype, int channel, int step, double limits[3]) override
    {
        auto it = rows.find({type, subtype, channel, step});
        if (it != rows.end()) {
            for (int i = 0; i < 3; ++i) limits[i] = it->second[static_cast<std::size_t>(i)];
            return 1;
        }
        bool setpoint = type == 1 && subtype == 4;
        limits[0] = setpoint ? 90 : 0;
        limits[1] = setpoint ? -100 : 0;
        limits[2] = setpoint ? 110 : 0;
        return setpoint ? 1 : 0;
    }
    void insert_row(const std::string& sql, ResultTable, int, int) override { log.push_back(sql); }
    void realtime_check(int channel, int type, int subtype, int step, int run, int wafer, double value) override
    {
        log.push_back(vsys::strprintf("check %d %d %d %d (%d, %d) %.6f", channel, type, subtype, step, run, wafer, value));
    }
};

// A setup of `channels` channels, all enabled, of the given types; engineering value = count.
inline TraceSetup plain_setup(std::vector<int> types, int rate, int rate_index)
{
    TraceSetup s;
    s.channels = static_cast<int>(types.size());
    s.saved_channels = s.channels;
    s.status_bits = s.channels >= 32 ? 0xFFFFFFFFu : ((1u << s.channels) - 1u);
    s.sample_rate = rate;
    s.sample_rate_index = rate_index;
    s.volts_per_count = 0.5;
    s.counts_per_volt = 2.0;
    for (int c = 1; c <= s.channels; ++c) {
        s.channel_type[c] = static_cast<signed char>(types[static_cast<std::size_t>(c - 1)]);
        s.slope[c] = 2.0;
        s.inter[c] = 0.0;
    }
    s.derive_tables();
    return s;
}

}  // namespace ttest
