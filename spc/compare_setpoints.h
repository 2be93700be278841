// The step set-point panel: per step channel its set-point channel and step count, the step limit dialogs, and a
// text summary of every step channel's limits.
#pragma once

#include <string>
#include <vector>

// Controls of the step set-point panel ("mfc_comd.uir" panel 1).
enum : int {
    MFC_CHANNEL = 2,
    MFC_SETPOINT = 3,
    MFC_STEPS = 4,
    MFC_CANCEL = 5,
    MFC_OK = 6,
    MFC_FIRST_LIMIT = 7,
    MFC_LAST_LIMIT = 13,
    MFC_SUMMARY = 14,
};

// Steps beyond the sixteen a channel can hold are not read or stored.
constexpr int kMaxSteps = 16;

// The summary lines of every enabled step channel, with in-line codes.
std::vector<std::string> step_summary_lines();

void display_mfc(int menuBar, int item, void* data, int panel);
int display_mfc_spec(int panel, int control, int event, void* data, int d1, int d2);
int mfc_summary(int panel, int control, int event, void* data, int d1, int d2);
