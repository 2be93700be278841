// The SPC chart list window: the charts a process offers, their activation, viewing, and the ticks of check mode.
#pragma once

#include <string>
#include <vector>

// Prefix of the label of an activated chart: red text.
inline constexpr const char* kActivatedPrefix = "\033fgFF0000";
inline constexpr int kActivatedPrefixLength = 9;

void act_deact_charts(int menuBar, int item, void* callbackData, int panel);
int change_process(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int toggle_check(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int double_click(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int get_active_charts(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// --- for the batch comparison ------------------------------------------------------------------------------
//
// While the comparison window is open, act_deact_charts loads the list in check mode: every item carries a
// check box, and the comparison compares the charts whose boxes are ticked. get_active_charts (the done
// command) then only raises the comparison window (Flags bit 0x01) or hides the list, which keeps its ticks.

// One chart of the list.
struct ListedChart {
    int code = 0;  // channel x 10000000 + type x 100000 + sub-type x 10000 + step x 100, always positive
    short channel = 0, type = 0, subtype = 0, step = 0;
    bool activated = false;  // red label
    bool checked = false;    // its box is ticked (check mode only)
    std::string label;       // without the colour code
};

// Every item of the loaded list, in list order; empty while the list window is not loaded.
std::vector<ListedChart> listed_charts();
// The ticked items of a list in check mode, in list order; empty when the list is not loaded or has no boxes.
std::vector<ListedChart> checked_charts();
// True while the list window is loaded in check mode.
bool chart_list_in_check_mode();
// The process whose charts the list shows (its ring), or -1 while the list is not loaded.
int chart_list_process();
// Turns the label of the list item with this code red and its value positive (the chart was just activated);
// nothing when the list is not loaded, shows another process or holds no such item.
void mark_chart_activated(int process, int code);
