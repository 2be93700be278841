// The step set-point panel: per step channel its set-point channel and step count, the step limit dialogs, and a
// text summary of every step channel's limits.
#pragma once

#include <string>
#include <vector>

// Steps beyond the sixteen a channel can hold are not read or stored.
constexpr int kMaxSteps = 16;

// The summary lines of every enabled step channel, with in-line codes.
std::vector<std::string> step_summary_lines();

void display_mfc(int menuBar, int item, void* data, int panel);
int display_mfc_spec(int panel, int control, int event, void* data, int d1, int d2);
int mfc_summary(int panel, int control, int event, void* data, int d1, int d2);
