// What the process setups call beside themselves: the main window's legend, menus and strip-chart range, the acquisition tick and the run selection.
#pragma once

#include "core/seam.h"

struct SetupSeams {
    Seam<void(int, int, int, int)> names{"names", "the strip-chart legend"};
    Seam<void()> update_menu{"update_menu", "the menu bar of the main window"};
    // Vertical scaling of the strip chart.
    Seam<void(double minimum, double maximum, int flag)> SetStripChartY{"SetStripChartY", "the strip-chart range"};
    // The acquisition tick, called as (-1, -1, 15, 0, 0, 0) while a process of record is built during acquisition.
    Seam<int(int panel, int control, int event, void* data, int d1, int d2)> DaqLoop{
        "DaqLoop", "acquisition while a process of record is built", SeamKind::stores};
    // The run selection (mode 1: pick the wafer that becomes the process of record).
    Seam<int(int mode)> select_sc_run{"select_sc_run", "the run selection"};
    // The playback of the chosen runs: the OK of the run selection in replay and summary use.
    Seam<int(int panel, int control, int event, void* data, int d1, int d2)> select_ok{"select_ok",
                                                                                       "the playback of stored runs"};

    template <typename Visit>
    void for_each(Visit&& visit) const
    {
        visit(names);
        visit(update_menu);
        visit(SetStripChartY);
        visit(DaqLoop);
        visit(select_sc_run);
        visit(select_ok);
    }
};

// Given once by the programs' wiring (tests give fakes).
void provide_setup_seams(SetupSeams seams);
const SetupSeams& setup_seams();
