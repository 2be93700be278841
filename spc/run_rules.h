// The thirteen run rules that judge one point of an SPC chart against its centre line and sigma.
#pragma once

#include <cstdint>
#include <vector>

#include "core/chart_record.h"

// A chart series as the rules see it: values newest first, centre line m and sigma s.
struct RuleSeries {
    const double* x = nullptr;
    int n = 0;
    double m = 0.0;
    double s = 0.0;
};

// Rule numbers are the bits of the rule mask.
constexpr int kRuleCount = 13;
constexpr int kAllRules = 0x1FFF;

// 1 when rule `rule` (0..12) holds at position i (0..n-1) of the series; 0 otherwise.
int rule_holds(const RuleSeries& series, int rule, int i);
// The first enabled rule (bit order) that holds at position i, or -1.
int first_broken_rule(const RuleSeries& series, int mask, int i);
// For every position 0..n-1, the rules of `mask` that hold there (bit r for rule r), exactly as rule_holds
// judges each point, in time linear in n. Its lowest set bit is first_broken_rule.
std::vector<std::uint16_t> broken_rule_masks(const RuleSeries& series, int mask);
// The two-character label of a rule without trailing blank ("1a", "4", ...), "" outside 0..12.
const char* rule_label(int rule);

// The series of a chart as the rules see it: its loaded points against its rule centre line and sigma.
RuleSeries rule_series(const ChartRecord& chart);

// Copies the sentence of rule 0..12 into text (at least 59 bytes); other numbers leave text alone.
void form_error_message(int rule, char* text);
