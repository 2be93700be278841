// The thirteen run rules: each a pure test of one point position against the series, centre line and sigma.
#include "spc/run_rules.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/shared_buffers.h"
#include "spc/chart_data.h"
#include "testing/chart_code.h"

namespace {

int rule_1(const RuleSeries& r, int i, int side)
{
    if (side > 0) return r.x[i] - (r.m + 3.0 * r.s) > 1e-9 ? 1 : 0;
    return r.x[i] - (r.m - 3.0 * r.s) < -1e-9 ? 1 : 0;
}

// Nine or more consecutive points strictly on one side of the centre line.
int rule_2(const RuleSeries& r, int i, int side)
{
    int run = 0, longest = 0;
    const int last = std::min(r.n - 1, i + 8);
    for (int k = std::max(0, i - 8); k <= last; ++k) {
        double dev = r.x[k] - r.m;
        if (side > 0 ? dev > 0.0 : dev < 0.0)
            longest = std::max(longest, ++run);
        else
            run = 0;
    }
    return longest > 8 ? 1 : 0;
}

// A trend: seven or more points each strictly above (side 1) or below (side -1)
// the one before it in time. The series runs newest first, so the step that
// leads into position k from its older neighbour is x[k] - x[k + 1]. Position
// i belongs to such a run when the steps on either side of it extend to six.
int rule_3(const RuleSeries& r, int i, int side)
{
    auto rising = [&](int k) {  // step between positions k and k + 1
        double d = r.x[k] - r.x[k + 1];
        return side > 0 ? d > 0.0 : d < 0.0;
    };
    const bool newer = i >= 1 && rising(i - 1);
    const bool older = i + 1 <= r.n - 1 && rising(i);
    if (!newer && !older) return 0;
    int length = 0;
    // Steps from the one touching i toward the newest point, then toward the oldest.
    for (int k = newer ? i - 1 : i; k >= 0 && rising(k) && length < 6; --k) ++length;
    if (newer)
        for (int k = i; k + 1 <= r.n - 1 && rising(k) && length < 6; ++k) ++length;
    else
        for (int k = i + 1; k + 1 <= r.n - 1 && rising(k) && length < 6; ++k) ++length;
    return length >= 6 ? 1 : 0;
}

// Thirteen successive turns (fourteen or more points alternating up and down).
int rule_4(const RuleSeries& r, int i)
{
    int run = 0, longest = 0;
    const int last = std::min(i + 13, r.n - 1);
    for (int j = std::max(i - 13, 0); j <= last; ++j) {
        if (j < 1 || j > r.n - 2) continue;
        if ((r.x[j - 1] - r.x[j]) * (r.x[j + 1] - r.x[j]) > 0.0)
            longest = std::max(longest, ++run);
        else
            run = 0;
    }
    return longest > 12 ? 1 : 0;
}

int rule_5(const RuleSeries& r, int i, int side)
{
    const double line = side > 0 ? r.m + 2.0 * r.s : r.m - 2.0 * r.s;
    if (side > 0 ? !(r.x[i] >= line) : !(r.x[i] <= line)) return 0;
    for (int k : {i - 2, i - 1, i + 1, i + 2}) {
        if (k < 0 || k > r.n - 1) continue;
        if (side > 0 ? r.x[k] > line : r.x[k] < line) return 1;
    }
    return 0;
}

int rule_6(const RuleSeries& r, int i, int side)
{
    const double line = side > 0 ? r.m + r.s : r.m - r.s;
    auto beyond = [&](int k) { return side > 0 ? r.x[k] > line : r.x[k] < line; };
    if (!beyond(i)) return 0;
    for (int b = std::max(i - 4, 0); b <= i; ++b) {
        int count = 0;
        const int last = std::min(b + 4, r.n - 1);
        for (int k = b; k <= last; ++k) count += beyond(k) ? 1 : 0;
        if (count >= 4) return 1;
    }
    return 0;
}

// Every point of a window must be within (rule 7) or beyond (rule 8) one sigma, so the first point that is not
// rules out every window that holds it: the search resumes after it.
int rule_7(const RuleSeries& r, int i)
{
    int b = std::max(i - 14, 0);
    while (b <= i) {
        const int last = std::min(b + 14, r.n - 1);
        if (last - b < 14) return 0;  // cut short at the oldest end, as every later window
        double prev = 0.0;
        short crossings = 0, within = 0;
        int failed = -1;
        for (int k = b; k <= last; ++k) {
            double dev = r.x[k] - r.m;
            if (prev * dev < 0.0) ++crossings;
            if (std::fabs(dev) < 1e-6) dev = prev;
            prev = dev;
            if (!(std::fabs(dev) < r.s)) {
                failed = k;
                break;
            }
            ++within;
        }
        if (failed < 0 && within > 14 && crossings >= 1) return 1;
        b = failed < 0 ? b + 1 : failed + 1;
    }
    return 0;
}

int rule_8(const RuleSeries& r, int i)
{
    int b = std::max(i - 7, 0);
    while (b <= i) {
        const int last = std::min(b + 7, r.n - 1);
        if (last - b < 7) return 0;
        double prev = 0.0;
        int crossings = 0, failed = -1;
        for (int k = b; k <= last; ++k) {
            double dev = r.x[k] - r.m;
            if (prev * dev < 0.0) ++crossings;
            prev = dev;
            if (!(std::fabs(dev) > r.s)) {
                failed = k;
                break;
            }
        }
        if (failed < 0 && crossings >= 1) return 1;
        b = failed < 0 ? b + 1 : failed + 1;
    }
    return 0;
}

const char* const kLabels[kRuleCount] = {"1a", "1b", "2a", "2b", "3a", "3b", "4", "5a", "5b", "6a", "6b", "7", "8"};

}  // namespace

int rule_holds(const RuleSeries& r, int rule, int i)
{
    if (!r.x || i < 0 || i >= r.n) return 0;
    switch (rule) {
    case 0: return rule_1(r, i, 1);
    case 1: return rule_1(r, i, -1);
    case 2: return rule_2(r, i, 1);
    case 3: return rule_2(r, i, -1);
    case 4: return rule_3(r, i, 1);
    case 5: return rule_3(r, i, -1);
    case 6: return rule_4(r, i);
    case 7: return rule_5(r, i, 1);
    case 8: return rule_5(r, i, -1);
    case 9: return rule_6(r, i, 1);
    case 10: return rule_6(r, i, -1);
    case 11: return rule_7(r, i);
    case 12: return rule_8(r, i);
    default: return 0;
    }
}

int first_broken_rule(const RuleSeries& r, int mask, int i)
{
    for (int rule = 0; rule < kRuleCount; ++rule)
        if ((mask >> rule & 1) && rule_holds(r, rule, i)) return rule;
    return -1;
}

const char* rule_label(int rule) { return rule >= 0 && rule < kRuleCount ? kLabels[rule] : ""; }

RuleSeries current_rule_series()
{
    const int n = std::min<int>(chart_points, static_cast<int>(x_array.size()));
    return RuleSeries{x_array.data(), std::max(n, 0), rule_mean, rule_stdev};
}

int rule_1a_test(int i) { return rule_holds(current_rule_series(), 0, i); }
int rule_1b_test(int i) { return rule_holds(current_rule_series(), 1, i); }
int rule_2a_test(int i) { return rule_holds(current_rule_series(), 2, i); }
int rule_2b_test(int i) { return rule_holds(current_rule_series(), 3, i); }
int rule_3a_test(int i) { return rule_holds(current_rule_series(), 4, i); }
int rule_3b_test(int i) { return rule_holds(current_rule_series(), 5, i); }
int rule_4_test(int i) { return rule_holds(current_rule_series(), 6, i); }
int rule_5a_test(int i) { return rule_holds(current_rule_series(), 7, i); }
int rule_5b_test(int i) { return rule_holds(current_rule_series(), 8, i); }
int rule_6a_test(int i) { return rule_holds(current_rule_series(), 9, i); }
int rule_6b_test(int i) { return rule_holds(current_rule_series(), 10, i); }
int rule_7_test(int i) { return rule_holds(current_rule_series(), 11, i); }
int rule_8_test(int i) { return rule_holds(current_rule_series(), 12, i); }

void form_error_message(int rule, char* text)
{
    const char* sentence = rule_sentence(rule);
    if (sentence && text) std::memcpy(text, sentence, std::strlen(sentence) + 1);
}
