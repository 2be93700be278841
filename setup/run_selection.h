// The run selection: the stored runs listed for replay, summary or the choice of a process of record, with their read-out.
#pragma once

enum RunSelectionMode : short { SEL_REPLAY = 0, SEL_POR = 1, SEL_COPY = 2, SEL_SUMMARY = 3 };

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
