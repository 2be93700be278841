// Pareto of alarms: grouping alarm keys into kinds with counts, largest first, and the axes of the bar chart.
#include "testing/pareto.h"

#include <cmath>

#include "core/text_utils.h"
#include "platform/ui/userint.h"

std::vector<ParetoKind> GeneratePareto(const std::vector<std::string>& keys)
{
    std::vector<ParetoKind> kinds;
    for (const auto& key : keys) {
        bool matched = false;
        for (auto& kind : kinds)
            if (kind.key == key) {
                ++kind.count;
                matched = true;
            }
        if (!matched) kinds.push_back(ParetoKind{key, 1});
    }
    // An exchange sort that steps back after each exchange: equal counts never move.
    std::size_t j = 1;
    while (j < kinds.size()) {
        if (kinds[j - 1].count < kinds[j].count) {
            std::swap(kinds[j - 1], kinds[j]);
            if (j > 1) j -= 2;
        }
        ++j;
    }
    return kinds;
}

AlarmAxis plan_alarm_axis(int minimum, int maximum, bool y_axis)
{
    static const int steps[10] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    AlarmAxis axis{minimum, maximum, 0, false, 0};
    if (maximum - minimum <= 4) {
        if (axis.minimum == axis.maximum) --axis.minimum;
        axis.divisions = axis.maximum - axis.minimum;
        return axis;
    }
    const int bound = y_axis ? 12 : 18;
    int d = 0, k = -1, e = 0;
    while ((d < 3 || d > bound) && -9 < e && e < 9) {
        ++k;
        if (k > 9) {
            k = 0;
            if (d < 3)
                --e;
            else
                ++e;
        }
        d = static_cast<int>(std::trunc((maximum - minimum) / (steps[k] * ten_to_the(e))));
    }
    const double step = steps[k] * ten_to_the(e);
    double lo = std::trunc(minimum / step) * step;
    if (minimum < 0 && lo - minimum > ten_to_the(e) * 1e-6) lo -= step;
    axis.minimum = static_cast<int>(std::trunc(lo));
    double hi;
    if (y_axis) {
        ++d;
        hi = axis.minimum + d * step;
        while (hi - maximum < step / 2) hi = axis.minimum + ++d * step;
        axis.set_precision = true;
        axis.precision = e < 0 ? -e - 1 : 0;
    } else {
        hi = axis.minimum + d * step;
        while (hi < maximum) hi = axis.minimum + ++d * step;
    }
    axis.maximum = static_cast<int>(std::trunc(hi));
    axis.divisions = d;
    return axis;
}

int nice_alarm_axis(int xmin, int xmax, int ymin, int ymax, int panel, int control)
{
    AlarmAxis x = plan_alarm_axis(xmin, xmax, false);
    SetAxisRange(panel, control, VAL_MANUAL, x.minimum, x.maximum, VAL_NO_CHANGE, 0, 0);
    SetCtrlAttribute(panel, control, ATTR_XDIVISIONS, x.divisions);
    AlarmAxis y = plan_alarm_axis(ymin, ymax, true);
    if (y.set_precision) SetCtrlAttribute(panel, control, ATTR_YPRECISION, y.precision);
    SetAxisRange(panel, control, VAL_NO_CHANGE, 0, 0, VAL_MANUAL, y.minimum, y.maximum);
    SetCtrlAttribute(panel, control, ATTR_YDIVISIONS, y.divisions);
    return x.maximum - x.minimum;
}
