// Pareto of alarms: grouping alarm keys into kinds with counts, largest first, and the axes of the bar chart.
#pragma once

#include <string>
#include <vector>

struct ParetoKind {
    std::string key;  // the 13-character alarm key
    int count = 0;
};

// Groups keys (newest alarm first) into kinds; sorted by count, largest first,
// equal counts keeping the order of their newest alarm.
std::vector<ParetoKind> GeneratePareto(const std::vector<std::string>& keys);

// One axis of the Pareto chart as nice_alarm_axis lays it out.
struct AlarmAxis {
    int minimum = 0;
    int maximum = 0;
    int divisions = 0;
    bool set_precision = false;
    int precision = 0;
};
// bound: 18 for the x axis, 12 for the y axis (which also gets head room above the largest count).
AlarmAxis plan_alarm_axis(int minimum, int maximum, bool y_axis);

// Sets both axis ranges and divisions of the Pareto graph; returns xmax - xmin after rounding.
int nice_alarm_axis(int xmin, int xmax, int ymin, int ymax, int panel, int control);
