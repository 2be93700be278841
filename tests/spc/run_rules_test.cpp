// The thirteen run rules on their edge cases, point by point against an independent reading of each rule, and
// the series-level masks against the point-by-point tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <vector>

#include "core/shared_buffers.h"
#include "spc/chart_data.h"
#include "spc/run_rules.h"

namespace {

// Positions where a rule holds.
std::set<int> where(const std::vector<double>& x, int rule, double m = 0.0, double s = 1.0)
{
    RuleSeries r{x.data(), static_cast<int>(x.size()), m, s};
    std::set<int> out;
    for (int i = 0; i < r.n; ++i)
        if (rule_holds(r, rule, i)) out.insert(i);
    return out;
}

std::set<int> range(int a, int b)
{
    std::set<int> out;
    for (int i = a; i <= b; ++i) out.insert(i);
    return out;
}

// Points a..b alternate up and down; outside them the series climbs away on both sides, so a and b are no turns.
std::vector<double> alternating(int n, int a, int b)
{
    std::vector<double> x(static_cast<std::size_t>(n), 0.0);
    for (int k = a; k <= b; ++k) x[static_cast<std::size_t>(k)] = (k - a) % 2 ? -1.0 : 1.0;
    const double low = x[static_cast<std::size_t>(a)] - x[static_cast<std::size_t>(a + 1)];
    for (int k = a - 1; k >= 0; --k) x[static_cast<std::size_t>(k)] = x[static_cast<std::size_t>(a)] + (a - k) * 2 * low;
    const double high = x[static_cast<std::size_t>(b)] - x[static_cast<std::size_t>(b - 1)];
    for (int k = b + 1; k < n; ++k) x[static_cast<std::size_t>(k)] = x[static_cast<std::size_t>(b)] + (k - b) * 2 * high;
    return x;
}

// --- the independent reading: each rule as a property of whole stretches of the series ---

bool side(double v, double line, int sign) { return sign > 0 ? v > line : v < line; }

// Marks every point of each maximal stretch (by `in`) of at least `length` points.
std::vector<int> stretches(int n, int length, const std::function<bool(int)>& in)
{
    std::vector<int> marked(static_cast<std::size_t>(n), 0);
    int start = -1;
    for (int k = 0; k <= n; ++k) {
        bool inside = k < n && in(k);
        if (inside && start < 0) start = k;
        if (!inside && start >= 0) {
            if (k - start >= length)
                for (int j = start; j < k; ++j) marked[static_cast<std::size_t>(j)] = 1;
            start = -1;
        }
    }
    return marked;
}

std::vector<int> reference(const std::vector<double>& x, int rule, double m, double s)
{
    const int n = static_cast<int>(x.size());
    std::vector<int> out(static_cast<std::size_t>(n), 0);
    auto at = [&](int k) { return x[static_cast<std::size_t>(k)]; };
    switch (rule) {
    case 0:
    case 1:
        for (int i = 0; i < n; ++i)
            out[static_cast<std::size_t>(i)] = rule == 0 ? at(i) > m + 3 * s + 1e-9 : at(i) < m - 3 * s - 1e-9;
        break;
    case 2:
    case 3: return stretches(n, 9, [&](int k) { return side(at(k) - m, 0.0, rule == 2 ? 1 : -1); });
    case 4:
    case 5: {
        // Steps in time: older point k + 1 to newer point k. A stretch of six steps covers seven points.
        const int sign = rule == 4 ? 1 : -1;
        std::vector<int> steps = stretches(std::max(n - 1, 0), 6, [&](int k) { return side(at(k) - at(k + 1), 0.0, sign); });
        for (int k = 0; k + 1 < n; ++k)
            if (steps[static_cast<std::size_t>(k)]) out[static_cast<std::size_t>(k)] = out[static_cast<std::size_t>(k + 1)] = 1;
        break;
    }
    case 6: {
        std::vector<int> turns = stretches(n, 13, [&](int k) {
            return k >= 1 && k <= n - 2 && (at(k - 1) - at(k)) * (at(k + 1) - at(k)) > 0;
        });
        for (int k = 0; k < n; ++k)
            if (turns[static_cast<std::size_t>(k)])
                for (int j = std::max(k - 1, 0); j <= std::min(k + 1, n - 1); ++j) out[static_cast<std::size_t>(j)] = 1;
        break;
    }
    case 7:
    case 8: {
        const int sign = rule == 7 ? 1 : -1;
        const double line = m + sign * 2 * s;
        for (int i = 0; i < n; ++i) {
            bool on = sign > 0 ? at(i) >= line : at(i) <= line;
            bool neighbour = false;
            for (int k = i - 2; k <= i + 2; ++k)
                if (k != i && k >= 0 && k < n && side(at(k), line, sign)) neighbour = true;
            out[static_cast<std::size_t>(i)] = on && neighbour;
        }
        break;
    }
    case 9:
    case 10: {
        const int sign = rule == 9 ? 1 : -1;
        const double line = m + sign * s;
        for (int i = 0; i < n; ++i) {
            if (!side(at(i), line, sign)) continue;
            for (int b = i - 4; b <= i; ++b) {
                if (b < 0) continue;
                int count = 0;
                for (int k = b; k <= b + 4 && k < n; ++k) count += side(at(k), line, sign);
                if (count >= 4) out[static_cast<std::size_t>(i)] = 1;
            }
        }
        break;
    }
    case 11:
    case 12: {
        const int width = rule == 11 ? 15 : 8;
        for (int b = 0; b + width <= n; ++b) {
            double prev = 0.0;
            bool all = true, crossed = false;
            for (int k = b; k < b + width; ++k) {
                double dev = at(k) - m;
                if (prev * dev < 0) crossed = true;
                if (rule == 11 && std::fabs(dev) < 1e-6) dev = prev;
                prev = dev;
                if (rule == 11 ? !(std::fabs(dev) < s) : !(std::fabs(dev) > s)) all = false;
            }
            if (all && crossed)
                for (int k = b; k < b + width; ++k) out[static_cast<std::size_t>(k)] = 1;
        }
        break;
    }
    }
    return out;
}

}  // namespace

TEST(RunRules, OnePointBeyondThreeSigma)
{
    EXPECT_EQ(where({0, 3, 3 + 2e-9, -3, -3 - 2e-9}, 0), (std::set<int>{2}));
    EXPECT_EQ(where({0, 3, 3 + 2e-9, -3, -3 - 2e-9}, 1), (std::set<int>{4}));
}

TEST(RunRules, NineOnOneSide)
{
    std::vector<double> x(30, -0.5);
    for (int k = 5; k <= 13; ++k) x[static_cast<std::size_t>(k)] = 0.5;
    EXPECT_EQ(where(x, 2), range(5, 13));
    x[13] = 0.0;  // on the centre line: the run is eight
    EXPECT_EQ(where(x, 2), (std::set<int>{}));
    EXPECT_EQ(where(x, 3), range(14, 29));
}

TEST(RunRules, TrendsRunInTimeAndReachTheNewestPoint)
{
    // Positions 10..16 rise from the oldest to the newest: seven points, six steps.
    std::vector<double> x(30, 100.0);
    for (int k = 0; k <= 9; ++k) x[static_cast<std::size_t>(k)] = 0.0;
    for (int k = 10; k <= 16; ++k) x[static_cast<std::size_t>(k)] = 26 - k;
    EXPECT_EQ(where(x, 4), range(10, 16));
    EXPECT_EQ(where(x, 5), (std::set<int>{}));
    x[16] = 100.0;  // six points
    EXPECT_EQ(where(x, 4), (std::set<int>{}));
    // A trend that ends at the newest point.
    std::vector<double> y(20, 100.0);
    for (int k = 0; k <= 6; ++k) y[static_cast<std::size_t>(k)] = 10 - k;
    EXPECT_EQ(where(y, 4), range(0, 6));
    // The mirror: falling in time.
    for (double& v : y) v = -v;
    EXPECT_EQ(where(y, 5), range(0, 6));
    EXPECT_EQ(where(y, 4), (std::set<int>{}));
}

TEST(RunRules, FourteenAlternating)
{
    EXPECT_EQ(where(alternating(40, 9, 23), 6), range(9, 23));  // turns at 10..22
    EXPECT_EQ(where(alternating(40, 9, 22), 6), (std::set<int>{}));
}

TEST(RunRules, TwoOfThreeBeyondTwoSigma)
{
    std::vector<double> x(20, 0.0);
    x[8] = 2.0;
    x[10] = 2.5;
    EXPECT_EQ(where(x, 7), (std::set<int>{8}));
    for (double& v : x) v = -v;
    EXPECT_EQ(where(x, 8), (std::set<int>{8}));
}

TEST(RunRules, FourOfFiveBeyondOneSigma)
{
    std::vector<double> x(20, 0.0);
    for (int k : {5, 6, 8, 9}) x[static_cast<std::size_t>(k)] = 1.5;
    EXPECT_EQ(where(x, 9), (std::set<int>{5, 6, 8, 9}));
    for (double& v : x) v = -v;
    EXPECT_EQ(where(x, 10), (std::set<int>{5, 6, 8, 9}));
}

TEST(RunRules, FifteenWithinOneSigmaOnBothSides)
{
    std::vector<double> x(40, 5.0);
    for (int k = 10; k <= 24; ++k) x[static_cast<std::size_t>(k)] = 0.5;
    EXPECT_EQ(where(x, 11), (std::set<int>{}));
    x[17] = -0.5;
    EXPECT_EQ(where(x, 11), range(10, 24));
    x[24] = 5.0;  // fourteen
    EXPECT_EQ(where(x, 11), (std::set<int>{}));
}

TEST(RunRules, EightBeyondOneSigmaOnBothSides)
{
    std::vector<double> x(30, 0.0);
    for (int k = 10; k <= 17; ++k) x[static_cast<std::size_t>(k)] = 2.0;
    EXPECT_EQ(where(x, 12), (std::set<int>{}));
    x[13] = -2.0;
    EXPECT_EQ(where(x, 12), range(10, 17));
}

TEST(RunRules, EqualPointsWithNaturalLimitsBreakNothing)
{
    std::vector<double> x(300, 0.1);
    double mean = 0, stdev = 0;
    series_statistics(x.data(), 300, &mean, &stdev);
    for (int rule = 0; rule < kRuleCount; ++rule) EXPECT_EQ(where(x, rule, mean, stdev), (std::set<int>{})) << rule;
    EXPECT_EQ(where({}, 0), (std::set<int>{}));
}

TEST(RunRules, SeededSeriesAgreeWithTheIndependentReading)
{
    std::mt19937 random(20261210);
    std::vector<int> sizes;
    for (int n = 1; n <= 60; ++n) sizes.push_back(n);
    for (int n : {100, 150, 299, 300, 301, 450, 600}) sizes.push_back(n);
    long checked = 0;
    for (int n : sizes) {
        for (int trial = 0; trial < 4; ++trial) {
            // Values on the half-sigma grid (ties at the mean and at 1, 2 and 3 sigma), runs and trends mixed in.
            std::uniform_int_distribution<int> grid(-8, 8), kind(0, 9);
            std::normal_distribution<double> noise(0.0, 1.2);
            const double m = trial == 3 ? 2.5 : 0.0, s = trial == 2 ? 0.5 : 1.0;
            std::vector<double> x(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) {
                int k = kind(random);
                double v = k < 4 ? m + grid(random) * s / 2 : k < 8 ? m + noise(random) * s : 0.0;
                if (k == 8 && i > 0) v = x[static_cast<std::size_t>(i - 1)] + s / 4;  // trend
                if (k == 9 && i > 0) v = x[static_cast<std::size_t>(i - 1)];          // tie with the neighbour
                x[static_cast<std::size_t>(i)] = v;
            }
            RuleSeries r{x.data(), n, m, s};
            for (int rule = 0; rule < kRuleCount; ++rule) {
                std::vector<int> expected = reference(x, rule, m, s);
                for (int i = 0; i < n; ++i) {
                    ASSERT_EQ(rule_holds(r, rule, i), expected[static_cast<std::size_t>(i)])
                        << "rule " << rule_label(rule) << " n " << n << " trial " << trial << " at " << i;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 100000);
}

TEST(RunRules, AChartsSeriesAndSentences)
{
    ChartRecord chart;
    chart.values = {0, 5, 0};
    chart.points = 3;
    chart.rule_mean = 0;
    chart.rule_stdev = 1;
    const RuleSeries series = rule_series(chart);
    EXPECT_EQ(rule_holds(series, 0, 1), 1);
    EXPECT_EQ(rule_holds(series, 0, 0), 0);
    EXPECT_EQ(rule_holds(series, 1, 1), 0);
    EXPECT_EQ(rule_holds(series, 0, 3), 0);  // beyond the series
    EXPECT_EQ(first_broken_rule(series, 0x1FFE, 1), -1);
    EXPECT_EQ(first_broken_rule(series, 0x1FFF, 1), 0);
    char text[80];
    std::strcpy(text, "unchanged");
    form_error_message(13, text);
    EXPECT_STREQ(text, "unchanged");
    form_error_message(-1, text);
    EXPECT_STREQ(text, "unchanged");
    form_error_message(4, text);
    EXPECT_STREQ(text, "6 consecutive points were steadily increasing");
    form_error_message(8, text);
    EXPECT_STREQ(text, "2 out of 3 consecutive points were < the target - 2 sigma");
    EXPECT_STREQ(rule_label(6), "4");
    EXPECT_STREQ(rule_label(13), "");
}

namespace {

// The masks of every point, rule by rule through rule_holds.
std::vector<std::uint16_t> point_by_point(const RuleSeries& r, int mask)
{
    std::vector<std::uint16_t> out(static_cast<std::size_t>(std::max(r.n, 0)), 0);
    for (int i = 0; i < r.n; ++i)
        for (int rule = 0; rule < kRuleCount; ++rule)
            if ((mask >> rule & 1) && rule_holds(r, rule, i)) out[static_cast<std::size_t>(i)] |= 1u << rule;
    return out;
}

// A series of stretches, each of one kind: noise, points on the centre or the 1, 2, 3 sigma lines (and just
// inside or beyond the tolerances), repeats, zig-zags, runs on one side, trends, near-centre deviations, NaN.
std::vector<double> random_series(std::mt19937& random, int n, double m, double s)
{
    std::uniform_int_distribution<int> kind(0, 11), length(1, 20), line(-3, 3), coin(0, 1);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double unit = s > 0.0 ? s : 1.0;
    std::vector<double> x;
    while (static_cast<int>(x.size()) < n) {
        const int k = kind(random), len = length(random), sign = coin(random) ? 1 : -1;
        const double start = x.empty() ? m : x.back();
        for (int j = 0; j < len && static_cast<int>(x.size()) < n; ++j) {
            double v = m + noise(random) * unit;
            switch (k) {
            case 0: break;
            case 1: v = m + line(random) * s; break;
            case 2: v = m + line(random) * s + (coin(random) ? 1 : -1) * (coin(random) ? 5e-10 : 2e-9); break;
            case 3: v = start; break;
            case 4: v = m + ((j % 2) ? sign : -sign) * (0.5 + std::fabs(noise(random))) * unit; break;
            case 5: v = m + sign * (0.2 + std::fabs(noise(random))) * unit; break;
            case 6: v = start + sign * (j + 1) * 0.3 * unit; break;
            case 7: v = m + (coin(random) ? 1 : -1) * (coin(random) ? 5e-7 : 0.0); break;
            case 8: v = m + sign * (coin(random) ? 0.5 : 1.5) * unit * (j % 3 ? 1 : -1); break;
            case 9: v = coin(random) ? std::nan("") : v; break;
            case 10: v = m + sign * (2.0 + 0.2 * line(random)) * unit; break;
            default: v = m + (j % 2 ? 1.5 : -1.5) * unit; break;
            }
            x.push_back(v);
        }
    }
    return x;
}

}  // namespace

TEST(RunRules, SeriesMasksEqualRuleHoldsAtEveryPoint)
{
    std::mt19937 random(7031);
    const double sigmas[] = {1.0, 0.5, 2.0, 0.0, 1e-7, -1.0};
    std::uniform_int_distribution<int> size(0, 40), pick_sigma(0, 5), any_mask(0, kAllRules), one_rule(0, 12);
    std::vector<long> held(kRuleCount, 0);
    long compared = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = trial % 10 == 0 ? 300 : size(random);
        const double m = trial % 3 == 0 ? 2.5 : 0.0;
        // Most series have a usable sigma, so that every rule gets its chance.
        const double s = trial % 4 == 0 ? sigmas[pick_sigma(random)] : trial % 2 ? 1.0 : 0.5;
        const std::vector<double> x = random_series(random, n, m, s);
        const RuleSeries r{x.data(), n, m, s};
        const std::vector<std::uint16_t> all = point_by_point(r, kAllRules);
        for (std::uint16_t bits : all)
            for (int rule = 0; rule < kRuleCount; ++rule) held[static_cast<std::size_t>(rule)] += bits >> rule & 1;
        for (int mask : {kAllRules, 0, any_mask(random), any_mask(random), 1 << one_rule(random), -1, 0x3FFF}) {
            std::vector<std::uint16_t> expected = all;
            for (std::uint16_t& e : expected) e = static_cast<std::uint16_t>(e & (mask & kAllRules));
            ASSERT_EQ(broken_rule_masks(r, mask), expected) << "trial " << trial << " n " << n << " mask " << mask;
            ++compared;
        }
        const std::vector<std::uint16_t> masks = broken_rule_masks(r, kAllRules);
        for (int i = 0; i < n; ++i) {
            const std::uint16_t bits = masks[static_cast<std::size_t>(i)];
            const int lowest = bits ? std::countr_zero(bits) : -1;
            ASSERT_EQ(lowest, first_broken_rule(r, kAllRules, i)) << "trial " << trial << " at " << i;
        }
    }
    EXPECT_EQ(compared, 3000 * 7);
    // Every rule holds somewhere in the corpus, so the agreement is not that of two empty answers.
    for (int rule = 0; rule < kRuleCount; ++rule)
        EXPECT_GT(held[static_cast<std::size_t>(rule)], 20) << rule_label(rule);
}

TEST(RunRules, SeriesMasksOnSeriesWhereEachRuleHolds)
{
    std::vector<double> nine(30, -0.5), trend(30, 100.0), four(20, 0.0), fifteen(40, 5.0), eight(30, 0.0), two(20, 0.0);
    for (int k = 5; k <= 13; ++k) nine[static_cast<std::size_t>(k)] = 0.5;
    for (int k = 10; k <= 16; ++k) trend[static_cast<std::size_t>(k)] = 26 - k;
    for (int k = 0; k <= 9; ++k) trend[static_cast<std::size_t>(k)] = 0.0;
    for (int k : {5, 6, 8, 9}) four[static_cast<std::size_t>(k)] = 1.5;
    for (int k = 10; k <= 24; ++k) fifteen[static_cast<std::size_t>(k)] = k == 17 ? -0.5 : k % 2 ? 0.0 : 0.5;
    for (int k = 10; k <= 17; ++k) eight[static_cast<std::size_t>(k)] = k == 13 ? -2.0 : 2.0;
    two[8] = 2.0;
    two[10] = 2.5;
    auto negated = [](std::vector<double> x) {
        for (double& v : x) v = -v;
        return x;
    };
    struct Case {
        std::vector<double> x;
        int rule;
        std::set<int> where;
    };
    const Case cases[] = {
        {{0, 3, 3 + 2e-9, -3, -3 - 2e-9}, 0, {2}},
        {{0, 3, 3 + 2e-9, -3, -3 - 2e-9}, 1, {4}},
        {nine, 2, range(5, 13)},
        {negated(nine), 3, range(5, 13)},
        {trend, 4, range(10, 16)},
        {negated(trend), 5, range(10, 16)},
        {alternating(40, 9, 23), 6, range(9, 23)},
        {two, 7, {8}},
        {negated(two), 8, {8}},
        {four, 9, {5, 6, 8, 9}},
        {negated(four), 10, {5, 6, 8, 9}},
        {fifteen, 11, range(10, 24)},
        {eight, 12, range(10, 17)},
    };
    for (const Case& c : cases) {
        const RuleSeries r{c.x.data(), static_cast<int>(c.x.size()), 0.0, 1.0};
        const std::vector<std::uint16_t> masks = broken_rule_masks(r, kAllRules);
        EXPECT_EQ(masks, point_by_point(r, kAllRules)) << rule_label(c.rule);
        std::set<int> found;
        for (int i = 0; i < r.n; ++i)
            if (masks[static_cast<std::size_t>(i)] >> c.rule & 1) found.insert(i);
        EXPECT_EQ(found, c.where) << rule_label(c.rule);
    }
    // No values or no points: nothing holds, one entry per position.
    EXPECT_EQ(broken_rule_masks(RuleSeries{nullptr, 3, 0.0, 1.0}, kAllRules), std::vector<std::uint16_t>(3, 0));
    EXPECT_TRUE(broken_rule_masks(RuleSeries{nine.data(), 0, 0.0, 1.0}, kAllRules).empty());
    EXPECT_TRUE(broken_rule_masks(RuleSeries{nine.data(), -2, 0.0, 1.0}, kAllRules).empty());
}
