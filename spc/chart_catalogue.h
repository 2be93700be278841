// The chart catalogue "<process>ACTC": per chart its point count, run rules, limits mode, decision trees and popup text.
#pragma once

#include "core/chart_record.h"

// Reads, writes or deletes (CHART_READ, CHART_WRITE, CHART_DELETE) the row of one chart of the current process. A read returns 1 when
// the chart is activated (limits mode 0), else 0; with a null points pointer it only answers that. trees holds
// at least 105 bytes and popupText at least 255.
short chart_preferences(int operation, short* channel, short* type, short* dataParam, short* index, int* points,
                        int* pager, int* rules, short* limits, char* trees, char* popupText, int* halt);
// The same on the catalogue of the given process.
short chart_preferences_of(int process, int operation, short* channel, short* type, short* dataParam, short* index,
                           int* points, int* pager, int* rules, short* limits, char* trees, char* popupText, int* halt);

// One chart's catalogue row as a value; a chart without a row reads as the defaults chart_preferences gives.
struct CatalogueRow {
    int points = 300, pager = 0, rules = 0, halt = 0;
    short limits = 1;
    char trees[105] = "", text[255] = "";
};
// The row of the chart's own process, whatever process is current.
CatalogueRow read_catalogue_row(const ChartRecord& chart);
void write_catalogue_row(const ChartRecord& chart, CatalogueRow& row);
