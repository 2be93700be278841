// Seams from trace testing to the parts built elsewhere: chart catalogue, limits, chart titles and windows, process of record.
#pragma once

#include <functional>

// Each hook is filled by the wiring of the part that owns it. An unset hook is
// reported (core's report_missing_hook) and behaves as stated at each hook.
struct TestingHooks {
    // The chart catalogue row (operation 6 read, 5 delete); returns 1 when the chart
    // is activated with stored limits. Unset: no chart is activated.
    std::function<short(int operation, short* channel, short* type, short* dataParam, short* index, int* points,
                        int* pager, int* rules, short* limits, char* trees, char* popupText, int* halt)>
        chart_preferences;
    // LCL, TARGET, UCL of a chart from the limit table. Unset: no limits (0).
    std::function<short(short operation, short type, short subtype, short channel, short step, double limits[3])>
        step_specs;
    // The display title of a chart (a buffer of 80 bytes). Unset: the title is left as it was.
    std::function<void(char* title, int channel, int type, int subtype, int index)> form_chart_title;
    // Out-of-control popup, decision tree and chart display of the SPC windows. Unset: nothing happens.
    std::function<void(int channel, int type, int subtype, int step, int rule)> spc_error_popup;
    std::function<void(int channel, int type, int subtype, int step, int rule)> spc_start_tree;
    std::function<void()> display_new_chart;
    // Makes a wafer the process of record of recipe_num. Unset: the new process has none.
    std::function<int(int run, int wafer, int useCallerBuffer, short* blockBuffer)> normalize_por;
};

TestingHooks& testing_hooks();
