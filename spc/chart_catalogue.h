// The chart catalogue "<process>ACTC": per chart its point count, run rules, limits mode, decision trees and popup text.
#pragma once

// Operations of chart_preferences.
enum : int { CHART_DELETE = 5, CHART_READ = 6, CHART_WRITE = 7 };

// Reads (6), writes (7) or deletes (5) the row of one chart of the current process. A read returns 1 when
// the chart is activated (limits mode 0), else 0; with a null points pointer it only answers that. trees holds
// at least 105 bytes and popupText at least 255.
short chart_preferences(int operation, short* channel, short* type, short* dataParam, short* index, int* points,
                        int* pager, int* rules, short* limits, char* trees, char* popupText, int* halt);
// The same on the catalogue of the given process.
short chart_preferences_of(int process, int operation, short* channel, short* type, short* dataParam, short* index,
                           int* points, int* pager, int* rules, short* limits, char* trees, char* popupText, int* halt);
