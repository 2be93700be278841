// What the main window and acquisition call beside themselves: the trace test of finished wafers and the saving of pending setup changes.
#pragma once

#include "core/seam.h"

struct AcquisitionSeams {
    Seam<short(short* buffer, int run, short wafer, int panel, int mode, const char* trace_id, const char* recipe,
               short precoat, short plot)>
        test_trace{"test_trace", "testing finished wafers", SeamKind::stores};
    Seam<void(int force)> saveAllAndExport{"saveAllAndExport", "saving the process setup", SeamKind::stores};
    // The View Log command opens the activity report's request.
    Seam<int(int panel, int control, int event, void* data, int d1, int d2)> request_logfile{"request_logfile",
                                                                                             "the activity report"};

    template <typename Visit>
    void for_each(Visit&& visit) const
    {
        visit(test_trace);
        visit(saveAllAndExport);
        visit(request_logfile);
    }
};

// Given once by the programs' wiring (tests give fakes).
void provide_acquisition_seams(AcquisitionSeams seams);
const AcquisitionSeams& acquisition_seams();
