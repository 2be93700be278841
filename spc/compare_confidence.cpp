// The confidence level of the batch comparison and the t quantile table it reads.
#include "spc/compare_confidence.h"

#include <algorithm>
#include <climits>

#include "core/globals.h"
#include "core/panel_framework.h"
#include "panels/compare.h"
#include "platform/ui/userint.h"

namespace {

constexpr int kColumns = 34;

constexpr int kDegrees[kColumns] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,  15,     16, 17,
                                    18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 40, 60, 120, INT_MAX};

// Rows by level 80 %, 90 %, 95 %, 99 %, 99.9 %; the last column is the normal quantile.
constexpr double kQuantiles[5][kColumns] = {
    {3.078, 1.886, 1.638, 1.533, 1.476, 1.440, 1.415, 1.397, 1.383, 1.372, 1.363, 1.356,
     1.350, 1.345, 1.341, 1.337, 1.333, 1.330, 1.328, 1.325, 1.323, 1.321, 1.319, 1.318,
     1.316, 1.315, 1.314, 1.313, 1.311, 1.310, 1.303, 1.296, 1.289, 1.282},
    {6.314, 2.920, 2.353, 2.132, 2.015, 1.943, 1.895, 1.860, 1.833, 1.812, 1.796, 1.782,
     1.771, 1.761, 1.753, 1.746, 1.740, 1.734, 1.729, 1.725, 1.721, 1.717, 1.714, 1.711,
     1.708, 1.706, 1.703, 1.701, 1.699, 1.697, 1.684, 1.671, 1.658, 1.645},
    {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228, 2.201, 2.179,
     2.160,  2.145, 2.132, 2.120, 2.110, 2.101, 2.093, 2.086, 2.080, 2.074, 2.069, 2.064,
     2.060,  2.056, 2.052, 2.048, 2.045, 2.042, 2.021, 2.000, 1.980, 1.960},
    {63.657, 9.925, 5.841, 4.604, 4.032, 3.707, 3.499, 3.355, 3.250, 3.169, 3.106, 3.054,
     3.012,  2.977, 2.947, 2.921, 2.898, 2.878, 2.861, 2.845, 2.831, 2.819, 2.807, 2.797,
     2.788,  2.779, 2.771, 2.763, 2.756, 2.750, 2.704, 2.660, 2.617, 2.576},
    {636.619, 31.598, 12.924, 8.610, 6.869, 5.959, 5.408, 5.041, 4.781, 4.587, 4.437, 4.318,
     4.221,   4.140,  4.073,  4.015, 3.965, 3.922, 3.883, 3.850, 3.819, 3.792, 3.767, 3.745,
     3.725,   3.707,  3.690,  3.674, 3.659, 3.646, 3.551, 3.460, 3.373, 3.291},
};

const char* const kLabels[5] = {"80%", "90%", "95%", "99%", "99.9%"};

}  // namespace

const char* confidence_label(int level) { return kLabels[std::clamp(level, 0, 4)]; }

double t_critical_value(int df, int level)
{
    const double* row = kQuantiles[std::clamp(level, 0, 4)];
    // Nothing lies before the first column: a df below 1 would interpolate from outside the table.
    if (df <= kDegrees[0]) return row[0];
    int i = 1;
    while (i < kColumns - 1 && kDegrees[i] < df) ++i;
    const double d0 = kDegrees[i - 1], d1 = kDegrees[i];
    return row[i - 1] + (static_cast<double>(df) - d0) * (row[i] - row[i - 1]) / (d1 - d0);
}

int display_confidence(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    const int dialog = LoadPanel(0, "compare.uir", CONFIDENCE);
    if (dialog < 0) return 0;
    SetCtrlVal(dialog, CONFIDENCE_LEVEL, std::clamp(confidence_level, 0, 4));
    InstallPopup(dialog);
    return 0;
}

int confidence_ok(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int level = confidence_level;
    GetCtrlVal(panel, CONFIDENCE_LEVEL, &level);
    confidence_level = std::clamp(level, 0, 4);
    int dialog = panel;
    DiscardMyPanel(&dialog);
    return 0;
}
