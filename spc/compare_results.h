// The batch comparison: per checked chart a confidence interval of POR mean - TEST mean with its verdict, written as
// lines of the text popup, and that popup's Print and Save.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "spc/chart_list.h"

// The chart list's items in list order, ticked or not; none while the chart list window is closed. Read from the
// chart list window; the wiring or a test may give another source.
std::vector<ListedChart> compared_charts();
void provide_chart_list_reader(std::function<std::vector<ListedChart>()> reader);

// The interval of one chart from the two batches' counts, means and standard deviations (both counts at least 3).
struct Interval {
    double se = 0.0, t = 0.0, lower = 0.0, upper = 0.0;
    int df = 0;
    bool pass = false;
};
Interval compare_means(int nP, double meanP, double sP, int nT, double meanT, double sT, int level);

// The label with the list's in-line codes removed ("\033p<n>l" column and "\033fgRRGGBB" colour); a lone or
// unknown escape is dropped by itself.
std::string strip_codes(const std::string& label);

// The text popup ("pop.uir") and its menu.
#include "panels/pop.h"

// Loads the text popup (with its Print/Save menu bar) as a child of parent (0: top level).
int load_text_popup(int parent);

// Writes the popup's lines without codes to path; false (after telling the user) when it fails.
bool write_text_lines(int popup, const std::string& path);

int perform_comparison(int panel, int control, int event, void* data, int d1, int d2);
void text_print_save(int menuBar, int item, void* data, int panel);
