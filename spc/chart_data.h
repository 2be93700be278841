// The series of an SPC chart: loading one metric under a batch selection, its statistics, limits, histogram and capability.
#pragma once

#include <string>
#include <vector>

#include "core/chart_record.h"

// Which batch selection a load uses.
enum : short { TEST_SET = 0, POR_SET = 1 };

// The statement that loads the chart under one batch selection, newest first; empty for a chart that has no series.
std::string load_statement(const ChartRecord& chart, short set, int run_limit);

// Loads at most chart.points values of the chart, newest run and wafer first, into the record's series, with
// their statistics, rule limits and plot ranges. Returns the number loaded (0 when none or the statement
// failed, -1 for a chart that has no series); chart.points becomes the number loaded (0 for -1). Rows whose
// value is empty are passed over.
int load_data(ChartRecord& chart, short set, int run_limit);

// Mean and sample standard deviation in two passes; a series of one value or of equal values has 0.
void series_statistics(const double* values, int n, double* mean, double* stdev);

// Sets the chart's rule_mean, rule_stdev and ranges 1..3 of its plot ranges, from its limits mode and the
// specification limits of its process.
void compute_chart_limits(ChartRecord& chart, double mean, double stdev);

// Sturges bins between minimum and maximum; values outside are not counted. No values give no bins; a range
// of zero width gives one bin (centred on minimum) that counts the values equal to minimum.
void GenerateHistogram(const double* values, int count, double minimum, double maximum, std::vector<double>& centres,
                       int* bins, std::vector<int>& counts);

// Expected parts per million outside upper and lower of a normal distribution.
void ppm_defects(double upper, double lower, double mean, double sigma, int* result);

struct Capability {
    double cp = 0.0, cpk = 0.0;
    int defects = 0;
};
// Cp, Cpk and defects of the data against the rule limits.
Capability chart_capability(double ruleMean, double ruleStdev, double dataMean, double dataStdev);

// ten_to_the lives with the other numeric helpers.
#include "core/text_utils.h"

// One axis as the chart rounds it.
struct AxisPlan {
    double low = 0.0, high = 0.0;
    int divisions = 0;
    int precision = -1;  // decimals of a value axis; -1 leaves them
};
AxisPlan plan_x_axis(int low, int high);
AxisPlan plan_y_axis(double low, double high);
// Rounds both axes of a graph, writes the value range back and returns x high - x low after rounding.
int scale_spc_axes(int xLow, int xHigh, double* yLow, double* yHigh, int panel, int graph);
