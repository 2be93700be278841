// What the SPC chart window calls beside itself: the playback of a chart point's wafer.
#pragma once

#include "core/seam.h"

struct SpcSeams {
    // Plays the given run and wafer back at once, as the run selection's OK would (on-time charts).
    Seam<int(int run, int wafer)> select_ok{"select_ok", "the playback of a stored wafer"};
    // Opens the playback channel choice for the run, whose OK plays the wafer back.
    Seam<int(int run, int wafer)> select_channels{"select_channels", "the playback channel choice"};

    template <typename Visit>
    void for_each(Visit&& visit) const
    {
        visit(select_ok);
        visit(select_channels);
    }
};

// Given once by the programs' wiring (tests give fakes).
void provide_spc_seams(SpcSeams seams);
const SpcSeams& spc_seams();
