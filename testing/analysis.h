// The four analysis sections of a trace test, over a trace held in memory: step responses, sigma vector, timers, channel statistics.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "testing/trace_setup.h"
#include "testing/trace_stream.h"

// The wafer under test: its trace bytes (header line included) and where the data begins.
struct WaferTrace {
    std::span<const unsigned char> bytes;
    std::size_t header_end = 0;
    int run = 0;
    int wafer = 0;
};

// Finds the first step from *step on that has set-point limits; 0 when it can be
// tested (its set-point channel recorded), 1 when none is left.
short pre_step_test(const TraceSetup& setup, TestServices& services, short channel, short* step, double limits[3]);

// Step-response metrics of every step channel: STEP and STPM rows and their checks.
void test_step_metrics(const WaferTrace& trace, const TraceSetup& setup, TestServices& services);

// What the sigma vector reads of the process-of-record interval file.
struct PorInterval {
    int window_start = 0;
    int window_end = 0;
    int rate_code = 0;
    int por_channels = 0;       // number of flagged channel lines
    bool flagged[33] = {};
    int position[33] = {};      // 1-based position in a POR scan
    double por_sum[33] = {};
    int lines = 0;              // channel lines read in full
};
// Parses the interval file's text; none when the three header numbers are not there.
// A channel line that cannot be read as flag, type and sum ends the channel lines.
std::optional<PorInterval> read_por_interval(const std::string& text);

// One taken channel's result, in channel order.
struct SigmaResult {
    int channel = 0;
    double sigma = 0;
    double ucl = 0;
};
// Sigma vector of the wafer against the process of record (interval and trace
// bytes); writes the AREA rows and checks, returns the results for the plot.
std::vector<SigmaResult> test_sigma_vector(const WaferTrace& trace, const TraceSetup& setup, TestServices& services,
                                           const PorInterval& interval, std::span<const unsigned char> por_trace);

// Whether any timer of the setup is tested: only then is the previous wafer looked up.
bool any_timer_tested(const TraceSetup& setup);
// Timers; previous_scan is the last scan of the wafer before (needed when the header
// time is dotted; without it no timer is tested then).
void test_timers(const WaferTrace& trace, const TraceSetup& setup, TestServices& services, bool dotted,
                 const std::vector<std::int16_t>* previous_scan);

// Mean, standard deviation, maximum and minimum of every statistics channel: OTHER rows and their checks.
void test_channel_statistics(const WaferTrace& trace, const TraceSetup& setup, TestServices& services);
