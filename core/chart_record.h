// One chart as a value: which metric of which process, the settings it is shown and judged with, and its series.
#pragma once

#include <vector>

// Whoever works on a chart holds its own record: the chart window and each of its dialogs, the comparison, the
// slideshow and the real-time check. Nothing one of them does to its record changes another's.
// Operations of the chart catalogue (chart_preferences).
enum : int { CHART_DELETE = 5, CHART_READ = 6, CHART_WRITE = 7 };

struct ChartRecord {
    // The process whose catalogue and limit tables hold the chart.
    int process = 0;
    // The four fields of the chart code.
    short channel = 0;
    short type = 0;
    short subtype = 0;
    short step = 0;
    // Points asked for, then the number loaded.
    int points = 0;
    // The 13-bit run-rule mask.
    int rules = 0;
    // 1 natural 3-sigma limits, 0 specification limits.
    short natural = 1;

    // The loaded series, newest point first, with the run and wafer of each point.
    std::vector<double> values;
    std::vector<int> runs, wafers;
    // Mean and sample standard deviation of the points; centre line and sigma of the run rules.
    double data_mean = 0.0, data_stdev = 0.0;
    double rule_mean = 0.0, rule_stdev = 0.0;
    // Value ranges the chart must show: 0 the points, 1 with the natural limits, 2 with the rule limits, 3 both.
    double plot_low[4] = {0.0, 0.0, 0.0, 0.0};
    double plot_high[4] = {0.0, 0.0, 0.0, 0.0};

    void release_series()
    {
        values.clear();
        values.shrink_to_fit();
        runs.clear();
        runs.shrink_to_fit();
        wafers.clear();
        wafers.shrink_to_fit();
        points = 0;
    }
};

// The chart of one metric of a process, before its settings are read and its series loaded.
inline ChartRecord chart_of(int process, int channel, int type, int subtype, int step)
{
    ChartRecord c;
    c.process = process;
    c.channel = static_cast<short>(channel);
    c.type = static_cast<short>(type);
    c.subtype = static_cast<short>(subtype);
    c.step = static_cast<short>(step);
    return c;
}

// Same metric of the same process.
inline bool same_chart(const ChartRecord& a, const ChartRecord& b)
{
    return a.process == b.process && a.channel == b.channel && a.type == b.type && a.subtype == b.subtype &&
           a.step == b.step;
}
