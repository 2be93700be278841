// What the main window and acquisition call beside themselves: the trace test of finished wafers, the saving of pending setup changes and the chart limits the chart menus ask for.
#pragma once

#include "core/seam.h"

struct AcquisitionSeams {
    Seam<short(short* buffer, int run, short wafer, int panel, int mode, const char* trace_id, const char* recipe,
               short precoat, short plot)>
        test_trace{"test_trace", "testing finished wafers", SeamKind::stores};
    Seam<void(int force)> saveAllAndExport{"saveAllAndExport", "saving the process setup", SeamKind::stores};
    // LCL, TARGET, UCL of a chart (operation 6); 0 when the chart has no limits. The chart menus offer a step's
    // or a sigma vector's charts by it.
    Seam<short(short operation, short type, short subtype, short channel, short step, double limits[3])> step_specs{
        "step_specs", "reading the control limits"};
    // The View Log command opens the activity report's request.
    Seam<int(int panel, int control, int event, void* data, int d1, int d2)> request_logfile{"request_logfile",
                                                                                             "the activity report"};

    template <typename Visit>
    void for_each(Visit&& visit) const
    {
        visit(test_trace);
        visit(saveAllAndExport);
        visit(step_specs);
        visit(request_logfile);
    }
};

// Given once by the programs' wiring (tests give fakes).
void provide_acquisition_seams(AcquisitionSeams seams);
const AcquisitionSeams& acquisition_seams();
