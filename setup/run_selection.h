// The run selection: the stored runs listed for replay, summary or the choice of a process of record, with their read-out.
#pragma once

// Run-selection panel ("sc_sel.uir" panel 1) controls.
enum RunSelectionControl : int {
    SEL_OK = 2,
    SEL_RUNS = 3,
    SEL_WAFERS = 4,
    SEL_TIME = 5,
    SEL_SYSTEM = 6,
    SEL_DATE = 7,
    SEL_PROCESS = 8,
    SEL_COMMENT = 9,
    SEL_RATE = 10,
    SEL_CHANNELS = 11,
    SEL_WAFER_COUNT = 12,
    SEL_CANCEL = 14,
    SEL_OPTION_A = 16,
    SEL_OPTION_B = 17,
    SEL_DESTINATION = 18,
    SEL_HIDDEN = 19,
    SEL_MODE = 20,
    SEL_INSTRUCTION = 21,
    SEL_CHOOSE_CHANNELS = 22,
};

enum RunSelectionMode : short { SEL_REPLAY = 0, SEL_POR = 1, SEL_COPY = 2, SEL_SUMMARY = 3 };

// Strip-chart control that keeps the playback channel choice ("FirstTime" or "%hd %u %u").
constexpr int kPlaybackChoiceControl = 19;

// Makes the current process and its channel, step and timer setup current again after another run's were read.
void reload_process_setup();

// Fills and shows the run-selection panel for replay (0), the process-of-record choice (1) or the summary (3).
// Returns the panel, or 0 when no run is stored.
int select_sc_run(short mode);
// Run list callback: double click expands a run into its wafers; commit or change reads the run out.
int get_run_info(int panel, int control, int event, void* data, int d1, int d2);
// Cancel of the run selection: the replay toggle goes off and the process's own setup comes back.
int cancel_replay(int panel, int control, int event, void* data, int d1, int d2);
// The playback channel choice of the current run, and its confirmation.
int select_channels(int panel, int control, int event, void* data, int d1, int d2);
int channel_ok(int panel, int control, int event, void* data, int d1, int d2);
// Whether a trimmed run label marks an endpoint record: its first "EP" is its last two characters.
bool is_endpoint_label(const char* trimmed);
