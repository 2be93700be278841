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

// The series-level forms below hold exactly where the per-point tests above hold; each says why.

// Sets `bit` on positions a - before .. e + after of every maximal stretch a..e of `in` over lo..hi at least
// `length` long.
template <class In>
void mark_stretches(int lo, int hi, int length, int before, int after, In in, std::uint16_t bit,
                    std::vector<std::uint16_t>& out)
{
    int start = -1;
    for (int k = lo; k <= hi + 1; ++k) {
        if (k <= hi && in(k)) {
            if (start < 0) start = k;
            continue;
        }
        if (start >= 0 && k - start >= length)
            for (int j = start - before; j <= k - 1 + after; ++j) out[static_cast<std::size_t>(j)] |= bit;
        start = -1;
    }
}

// A run of nine inside the window of seventeen around i always holds i, so the rule marks whole runs.
void series_rule_2(const RuleSeries& r, int side, std::uint16_t bit, std::vector<std::uint16_t>& out)
{
    mark_stretches(0, r.n - 1, 9, 0, 0, [&](int k) {
        double dev = r.x[k] - r.m;
        return side > 0 ? dev > 0.0 : dev < 0.0;
    }, bit, out);
}

// The steps counted on both sides of i are the whole run of steps touching i: a run of six steps marks the seven
// points it joins.
void series_rule_3(const RuleSeries& r, int side, std::uint16_t bit, std::vector<std::uint16_t>& out)
{
    mark_stretches(0, r.n - 2, 6, 0, 1, [&](int k) {
        double d = r.x[k] - r.x[k + 1];
        return side > 0 ? d > 0.0 : d < 0.0;
    }, bit, out);
}

// Thirteen turns a..a+12 fit the window around i for i in a-1..a+13: a run of turns marks itself and one point
// beyond each end.
void series_rule_4(const RuleSeries& r, std::uint16_t bit, std::vector<std::uint16_t>& out)
{
    mark_stretches(1, r.n - 2, 13, 1, 1, [&](int j) {
        return (r.x[j - 1] - r.x[j]) * (r.x[j + 1] - r.x[j]) > 0.0;
    }, bit, out);
}

// The windows of five starting at i-4..i (cut short at the oldest end), any of which holds four points beyond.
void series_rule_6(const RuleSeries& r, int side, std::uint16_t bit, std::vector<std::uint16_t>& out,
                   std::vector<int>& beyond)
{
    const double line = side > 0 ? r.m + r.s : r.m - r.s;
    for (int k = 0; k < r.n; ++k)
        beyond[static_cast<std::size_t>(k)] = (side > 0 ? r.x[k] > line : r.x[k] < line) ? 1 : 0;
    int count = 0;
    for (int k = 0; k <= std::min(4, r.n - 1); ++k) count += beyond[static_cast<std::size_t>(k)];
    int good = -1;  // the newest window start so far with four beyond
    for (int i = 0; i < r.n; ++i) {
        if (count >= 4) good = i;
        if (beyond[static_cast<std::size_t>(i)] && good >= 0 && good >= i - 4) out[static_cast<std::size_t>(i)] |= bit;
        count -= beyond[static_cast<std::size_t>(i)];
        if (i + 5 < r.n) count += beyond[static_cast<std::size_t>(i + 5)];
    }
}

// Rule 7 with a positive sigma: a point near the centre takes the deviation before it in its window, which passed
// already, or 0, which passes; so passing is a property of the point alone, a failed point rules out every window
// that holds it and the skipping search finds a good window whenever one covers i. A crossing at k counts in
// the window from b when the last point before k that is not near the centre lies at b or later; that point
// only moves forward with k, so the newest crossing up to the window's end decides. Without a positive sigma no
// point ever passes.
void series_rule_7(const RuleSeries& r, std::uint16_t bit, std::vector<std::uint16_t>& out, std::vector<int>& fails,
                   std::vector<int>& reach)
{
    if (!(r.s > 0.0)) return;
    int significant = -1, reached = -1;
    double significant_dev = 0.0;
    fails[0] = 0;
    for (int k = 0; k < r.n; ++k) {
        double dev = r.x[k] - r.m;
        const bool near = std::fabs(dev) < 1e-6;
        const bool passes = near || std::fabs(dev) < r.s;
        fails[static_cast<std::size_t>(k + 1)] = fails[static_cast<std::size_t>(k)] + (passes ? 0 : 1);
        if (significant >= 0 && significant_dev * dev < 0.0) reached = significant;
        reach[static_cast<std::size_t>(k)] = reached;
        if (!near) {
            significant = k;
            significant_dev = dev;
        }
    }
    int good = -1;
    for (int i = 0; i < r.n; ++i) {
        if (i + 14 <= r.n - 1 && fails[static_cast<std::size_t>(i + 15)] == fails[static_cast<std::size_t>(i)] &&
            reach[static_cast<std::size_t>(i + 14)] >= i)
            good = i;
        if (good >= 0 && good >= i - 14) out[static_cast<std::size_t>(i)] |= bit;
    }
}

// Rule 8 has no replacement: passing belongs to the point and a crossing to a pair of neighbours, so a window of
// eight is good when none fails and its newest crossing is past its first point.
void series_rule_8(const RuleSeries& r, std::uint16_t bit, std::vector<std::uint16_t>& out, std::vector<int>& fails,
                   std::vector<int>& crossed)
{
    double prev = 0.0;
    int last_crossing = -1;
    fails[0] = 0;
    for (int k = 0; k < r.n; ++k) {
        double dev = r.x[k] - r.m;
        if (k >= 1 && prev * dev < 0.0) last_crossing = k;
        crossed[static_cast<std::size_t>(k)] = last_crossing;
        prev = dev;
        fails[static_cast<std::size_t>(k + 1)] = fails[static_cast<std::size_t>(k)] + (std::fabs(dev) > r.s ? 0 : 1);
    }
    int good = -1;
    for (int i = 0; i < r.n; ++i) {
        if (i + 7 <= r.n - 1 && fails[static_cast<std::size_t>(i + 8)] == fails[static_cast<std::size_t>(i)] &&
            crossed[static_cast<std::size_t>(i + 7)] >= i + 1)
            good = i;
        if (good >= 0 && good >= i - 7) out[static_cast<std::size_t>(i)] |= bit;
    }
}

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

std::vector<std::uint16_t> broken_rule_masks(const RuleSeries& r, int mask)
{
    std::vector<std::uint16_t> out(static_cast<std::size_t>(std::max(r.n, 0)), 0);
    mask &= kAllRules;
    if (!r.x || r.n <= 0 || mask == 0) return out;
    auto on = [&](int rule) { return (mask >> rule & 1) != 0; };
    auto bit = [](int rule) { return static_cast<std::uint16_t>(1u << rule); };
    for (int i = 0; i < r.n; ++i) {
        std::uint16_t m = 0;
        if (on(0) && rule_1(r, i, 1)) m |= bit(0);
        if (on(1) && rule_1(r, i, -1)) m |= bit(1);
        if (on(7) && rule_5(r, i, 1)) m |= bit(7);
        if (on(8) && rule_5(r, i, -1)) m |= bit(8);
        out[static_cast<std::size_t>(i)] = m;
    }
    if (on(2)) series_rule_2(r, 1, bit(2), out);
    if (on(3)) series_rule_2(r, -1, bit(3), out);
    if (on(4)) series_rule_3(r, 1, bit(4), out);
    if (on(5)) series_rule_3(r, -1, bit(5), out);
    if (on(6)) series_rule_4(r, bit(6), out);
    std::vector<int> first(static_cast<std::size_t>(r.n) + 1), second(static_cast<std::size_t>(r.n));
    if (on(9)) series_rule_6(r, 1, bit(9), out, first);
    if (on(10)) series_rule_6(r, -1, bit(10), out, first);
    if (on(11)) series_rule_7(r, bit(11), out, first, second);
    if (on(12)) series_rule_8(r, bit(12), out, first, second);
    return out;
}

const char* rule_label(int rule) { return rule >= 0 && rule < kRuleCount ? kLabels[rule] : ""; }

RuleSeries rule_series(const ChartRecord& chart)
{
    const int n = std::min<int>(chart.points, static_cast<int>(chart.values.size()));
    return RuleSeries{chart.values.data(), std::max(n, 0), chart.rule_mean, chart.rule_stdev};
}

void form_error_message(int rule, char* text)
{
    const char* sentence = rule_sentence(rule);
    if (sentence && text) std::memcpy(text, sentence, std::strlen(sentence) + 1);
}
