// The playback command and test summary: replay of stored runs, re-test, pacing buttons, the summary file and their callbacks.
#pragma once

#include "core/chart_record.h"

#include <string>
#include <vector>

#include "platform/ui/ui_loop.h"

// Handles of the five play buttons while a "Strip Chart" playback runs (0 otherwise).
extern int l_button, l1_button, r1_button, r_button, f_button;

// OK of the run selection in replay and summary use; a direct call passes panel -1 after setting
// run_num, num_of_wafers, recipe_num and the channel choice string.
int select_ok(int panel, int control, int event, void* data, int d1, int d2);
// The Play toggle of the strip-chart window.
int play(int panel, int control, int event, void* data, int d1, int d2);
// The five play buttons behave as a group: at most one is on.
int play_buttons(int panel, int control, int event, void* data, int d1, int d2);
// The trace list of the show/hide-traces dialog: "All" and single channels exclude each other.
int all_or_some(int panel, int control, int event, void* data, int d1, int d2);
// The summary menu entry: the run selection for a test summary.
void menu_summary(int menuBar, int menuItem, void* data, int panel);
// Writes the test summary of the checked traces of list 3 of the panel; see the summary module.
int Summarize(int panel, int control);
// Summarises the current chart over the checked items of the list into the text; returns its violations.
int SummarizeParameter(const ChartRecord& chart, int panel, int list, std::string& out, char listTraces);

// A direct playback of one stored wafer (as a chart point asks for it): sets the run, wafer, process and
// channel choice, then plays it at once (chart type 18) or opens the channel choice. A point of an on-time
// chart is overlaid as one.
int play_chart_point(int run, int wafer, bool at_once, bool on_time_chart = false);

// The wafer a single-wafer item of the run list names: 1 unless its label carries "Cassette slot #" or
// "Trigger #".
int wafer_of_label(const std::string& label);

// The playback callbacks by name.
std::vector<vui::CallbackEntry> playback_callbacks();
void install_playback();
