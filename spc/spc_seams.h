// What the SPC windows call beside themselves: the playback of a chart point's wafer and the step limit dialogs.
#pragma once

#include "core/seam.h"

struct SpcSeams {
    // Plays the given run and wafer back at once, as the run selection's OK would (on-time charts).
    Seam<int(int run, int wafer)> select_ok{"select_ok", "the playback of a stored wafer"};
    // Opens the playback channel choice for the run, whose OK plays the wafer back.
    Seam<int(int run, int wafer)> select_channels{"select_channels", "the playback channel choice"};
    // Opens the limit dialog of a step result as a child of the panel: (-channel, -button 7..13, data, panel).
    Seam<void(int menuBar, int item, void* data, int panel)> display_specs{"display_specs", "the step limit dialogs"};

    template <typename Visit>
    void for_each(Visit&& visit) const
    {
        visit(select_ok);
        visit(select_channels);
        visit(display_specs);
    }
};

// Given once by the programs' wiring (tests give fakes).
void provide_spc_seams(SpcSeams seams);
const SpcSeams& spc_seams();
