// The working state of one playback command and the replay of one stored trace into its output.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/run_lookup.h"
#include "platform/sys/files.h"

// Output codes of the destination ring (9: the overlay of a direct call from a chart of type 18).
enum PlaybackOutput : int {
    OUT_STRIP = 7,
    OUT_MANUAL_X = 5,
    OUT_AUTO_X = 3,
    OUT_OVERLAY = 8,
    OUT_OVERLAY_18 = 9,
    OUT_TEXT = -1,
    OUT_TEXT_TIMED = -20,
    OUT_NONE = -2,
};

// What one run records with, taken from its row: every block of it is read and scaled with these.
struct BlockLayout {
    int rate_index = 1;
    int rate = 1;  // scans per block
    int saved = 0;
    int channels = 0;
    std::uint32_t mask = 0;
    int adc_bits = 1;
    std::size_t values() const { return static_cast<std::size_t>(saved) * static_cast<std::size_t>(rate); }
    int seconds_per_block() const { return rate_index > 0 ? 1 : (rate_index < 0 ? -rate_index : 1); }
};
BlockLayout layout_of(const RunRecord& record);

struct PlaybackState {
    // The command.
    int output = OUT_NONE;
    bool graph_kind = false;
    bool time_column = false;
    int add_flag = 0;
    short retest = 0, summary = 0;
    bool direct = false;
    int panel = -1;
    int checked = 0;
    short show[33] = {};
    int colours[33] = {};
    std::string text_path;
    std::string list_path;

    // Running totals of the whole playback.
    bool plot_ok = true;
    double fail_x = 0.0;
    int elapsed = 0;
    double x = 0.0, x_min = 0.0, largest_x = -1e99, y_small = 1e99, y_large = -1e99;
    int x_max_entered = 0;
    int overlay_count = 0;
    int plots_made = 0;
    bool stop_all = false;  // a manual x maximum was passed

    // The trace being replayed.
    int item_run = 0;  // the list item's run (negative: a process-of-record trace)
    int wafer = 0, first_wafer = 1, last_wafer = 1;
    RunRecord record;
    BlockLayout layout;   // of the trace's run
    BlockLayout shown;    // of the block in the buffers (a block from the history may be of another run)
    int process_name_of = 0;

    // Buffers of the current run, reused block after block.
    std::vector<std::int16_t> raw;
    std::vector<double> scaled;
    std::vector<double> xs;
    std::vector<std::vector<double>> ys;  // by position k (1-based) of the enabled channel
    std::array<unsigned char, 20> trailer{};

    // Pacing of the "Strip Chart" output.
    vsys::FilePtr history;
    int points_per_screen = 0;
    int seconds_per_screen = 1;
    int replay_count = 0;
    int play_value = 0, back_value = 0, ff_value = 0;
    double block_start = 0.0;
};

// Sizes the run's buffers for its layout (graph arrays start at -1e90).
void allocate_run_buffers(PlaybackState& s);
// Replays one opened trace (positioned at its start) into the output; closes it.
void replay_trace(PlaybackState& s, vsys::FilePtr trace);
// Scaled value of the k-th enabled channel (counted upwards) of scan `scan` of the raw block.
double scaled_value(const PlaybackState& s, int channel, int k, int scan);
// The trace label of a run: "<process> POR" for a process-of-record trace, else its trace id.
std::string trace_label(int run, const RunRecord& record);
