// Seams from the process setups to parts built elsewhere (acquisition tick, strip-chart range, run selection).
#pragma once

#include <functional>

// Each hook is filled by the wiring of the part that owns it. An unset hook is
// reported (core's report_missing_hook) and its call does nothing.
struct SetupHooks {
    // The acquisition tick, called as (-1, -1, 15, 0, 0, 0) while a process of record is built during acquisition.
    std::function<int(int panel, int control, int event, void* data, int d1, int d2)> DaqLoop;
    // Vertical scaling of the strip chart.
    std::function<void(double minimum, double maximum, int flag)> SetStripChartY;
    // The run selection (mode 1: pick the wafer that becomes the process of record).
    std::function<int(int mode)> select_sc_run;
};

SetupHooks& setup_hooks();
