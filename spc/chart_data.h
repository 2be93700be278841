// The series of an SPC chart: loading one metric under a batch selection, its statistics, limits, histogram and capability.
#pragma once

#include <string>
#include <vector>

// Centre line and sigma of the run rules and of the red limit lines.
extern double rule_mean, rule_stdev;
// Mean and standard deviation of the loaded TEST points.
extern double data_mean, data_stdev;
// Value ranges a chart must show: 0 the points, 1 with the natural limits, 2 with the rule limits, 3 both.
extern double plot_low[4], plot_high[4];

// Which batch selection a load uses.
enum : short { TEST_SET = 0, POR_SET = 1 };

// The statement that loads the current chart (chart_type, type_subparameter, spc_channel, spc_index) under
// one batch selection, newest first; empty for a chart that has no series.
std::string load_statement(short set, int run_limit);

// Loads at most *count values of the current chart, newest run and wafer first, into the returned array and
// run_index / wafer_index. *count becomes the number loaded (0 when none or the statement failed, -1 for a
// chart that has no series); mean and stdev those of the values. Rows whose value is empty are passed over.
std::vector<double> load_data(int* count, double* mean, double* stdev, short set, int run_limit);

// Mean and sample standard deviation in two passes; a series of one value or of equal values has 0.
void series_statistics(const double* values, int n, double* mean, double* stdev);

// Sets rule_mean, rule_stdev and ranges 1..3 of plot_low/plot_high.
void compute_chart_limits(double mean, double stdev);

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
