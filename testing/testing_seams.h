// What trace testing calls beside itself: the chart catalogue, limits, titles and windows of the SPC charts, and the process-of-record builder.
#pragma once

#include "core/chart_record.h"
#include "core/seam.h"

struct TestingSeams {
    // The chart catalogue row (operation 6 read, 5 delete); 1 when the chart is activated with stored limits.
    Seam<short(int operation, short* channel, short* type, short* dataParam, short* index, int* points, int* pager,
               int* rules, short* limits, char* trees, char* popupText, int* halt)>
        chart_preferences{"chart_preferences", "reading the activated charts", SeamKind::stores};
    // LCL, TARGET, UCL of a chart from the limit table.
    Seam<short(short operation, short type, short subtype, short channel, short step, double limits[3])> step_specs{
        "step_specs", "reading the control limits", SeamKind::stores};
    // The display title of a chart (a buffer of 80 bytes).
    Seam<void(char* title, int channel, int type, int subtype, int index)> form_chart_title{"form_chart_title", "chart titles"};
    // Out-of-control popup, decision tree and chart display of the SPC windows.
    Seam<void(int channel, int type, int subtype, int step, int rule)> spc_error_popup{"spc_error_popup",
                                                                                        "the out-of-control explanation"};
    Seam<void(int channel, int type, int subtype, int step, int rule)> spc_start_tree{"spc_start_tree", "the decision tree"};
    // Opens the chart window on the given chart.
    Seam<void(const ChartRecord& chart)> display_new_chart{"display_new_chart", "the SPC chart window"};
    // Makes a wafer the process of record of recipe_num.
    Seam<int(int run, int wafer, int useCallerBuffer, short* blockBuffer)> normalize_por{
        "normalize_por", "making the process of record of a new process", SeamKind::stores};

    template <typename Visit>
    void for_each(Visit&& visit) const
    {
        visit(chart_preferences);
        visit(step_specs);
        visit(form_chart_title);
        visit(spc_error_popup);
        visit(spc_start_tree);
        visit(display_new_chart);
        visit(normalize_por);
    }
};

// Given once by the programs' wiring (tests give fakes).
void provide_testing_seams(TestingSeams seams);
const TestingSeams& testing_seams();
