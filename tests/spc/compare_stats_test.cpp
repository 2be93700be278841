// The t quantile table and its interpolation against an independent quantile, the comparison interval and its
// verdict against a computation from the raw batches, and the removal of the list's in-line codes.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "spc/compare_confidence.h"
#include "spc/compare_results.h"

namespace {

// Regularised incomplete beta I_x(a, b) by its continued fraction (modified Lentz).
double beta_fraction(double a, double b, double x)
{
    const double tiny = 1e-300;
    double c = 1.0, d = 1.0 - (a + b) * x / (a + 1.0);
    if (std::fabs(d) < tiny) d = tiny;
    d = 1.0 / d;
    double h = d;
    for (int m = 1; m < 10000; ++m) {
        const double m2 = 2.0 * m;
        double aa = m * (b - m) * x / ((a - 1.0 + m2) * (a + m2));
        d = 1.0 + aa * d;
        d = std::fabs(d) < tiny ? tiny : d;
        c = 1.0 + aa / c;
        c = std::fabs(c) < tiny ? tiny : c;
        d = 1.0 / d;
        h *= d * c;
        aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + 1.0 + m2));
        d = 1.0 + aa * d;
        d = std::fabs(d) < tiny ? tiny : d;
        c = 1.0 + aa / c;
        c = std::fabs(c) < tiny ? tiny : c;
        d = 1.0 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < 1e-15) break;
    }
    return h;
}

double incomplete_beta(double a, double b, double x)
{
    if (x <= 0.0) return 0.0;
    if (x >= 1.0) return 1.0;
    const double front =
        std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
    if (x < (a + 1.0) / (a + b + 2.0)) return front * beta_fraction(a, b, x) / a;
    return 1.0 - front * beta_fraction(b, a, 1.0 - x) / b;
}

// Two-sided tail P(|T| > t) of Student's t with nu degrees of freedom.
double two_sided_tail(double t, double nu) { return incomplete_beta(nu / 2.0, 0.5, nu / (nu + t * t)); }

// The t with P(|T| > t) = alpha, by bisection on the tail (independent of the table).
double t_quantile(double nu, double alpha)
{
    double lo = 0.0, hi = 10000.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        (two_sided_tail(mid, nu) > alpha ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

const double kAlpha[5] = {0.20, 0.10, 0.05, 0.01, 0.001};

}  // namespace

TEST(TQuantiles, EveryTabulatedEntryIsTheQuantileToThreeDecimals)
{
    // The entries the table holds off the rounded quantile by one in the last place.
    struct Held {
        int level, df;
        double value;
    };
    const Held held[] = {{2, 15, 2.132}, {3, 12, 3.054}, {3, 25, 2.788}, {4, 2, 31.598}, {4, 23, 3.767}};
    std::vector<int> dfs;
    for (int d = 1; d <= 30; ++d) dfs.push_back(d);
    for (int d : {40, 60, 120}) dfs.push_back(d);
    for (int level = 0; level < 5; ++level) {
        for (int df : dfs) {
            const double got = t_critical_value(df, level);
            double expected = std::round(t_quantile(df, kAlpha[level]) * 1000.0) / 1000.0;
            for (const Held& h : held)
                if (h.level == level && h.df == df) {
                    EXPECT_NEAR(std::fabs(expected - h.value), 0.001, 1e-9) << "level " << level << " df " << df;
                    expected = h.value;
                }
            EXPECT_NEAR(got, expected, 1e-12) << "level " << level << " df " << df;
        }
    }
}

TEST(TQuantiles, InterpolationBetweenTheTabulatedDegrees)
{
    struct Case {
        int df, level;
        double expected, tolerance;
    };
    const Case cases[] = {
        {35, 2, 2.0315, 1e-12}, {50, 3, 2.682, 1e-12}, {4, 4, 8.610, 1e-12},  {30, 0, 1.310, 1e-12},
        {31, 0, 1.3093, 1e-12}, {15, 2, 2.132, 1e-12}, {90, 1, 1.6645, 1e-12}, {2, 4, 31.598, 1e-12},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(t_critical_value(c.df, c.level), c.expected, c.tolerance) << c.df << " at level " << c.level;
    // Above 120 the value creeps from the entry of 120 towards the normal quantile.
    const double v998 = t_critical_value(998, 0);
    EXPECT_GT(v998, 1.288996);
    EXPECT_LT(v998, 1.289);
    EXPECT_DOUBLE_EQ(t_critical_value(INT_MAX, 4), 3.291);
    // Degrees of freedom before the table and levels outside 0..4 stay inside it.
    EXPECT_DOUBLE_EQ(t_critical_value(0, 1), 6.314);
    EXPECT_DOUBLE_EQ(t_critical_value(-5, 1), 6.314);
    EXPECT_DOUBLE_EQ(t_critical_value(10, 7), 4.587);
    EXPECT_DOUBLE_EQ(t_critical_value(10, -1), 1.372);
    EXPECT_STREQ(confidence_label(4), "99.9%");
    EXPECT_STREQ(confidence_label(2), "95%");
}

namespace {

struct Figures {
    int n;
    double mean, sd;
};

Figures figures(const std::vector<double>& v)
{
    const int n = static_cast<int>(v.size());
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / n;
    double ss = 0.0;
    for (double x : v) ss += (x - mean) * (x - mean);
    return {n, mean, n > 1 ? std::sqrt(ss / (n - 1)) : 0.0};
}

}  // namespace

TEST(CompareMeans, IntervalsAgainstAPooledComputation)
{
    struct Case {
        const char* what;
        std::vector<double> por, test;
        int level;
        bool pass;
    };
    const Case cases[] = {
        {"equal batches", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, 4, true},
        {"overlapping", {10.1, 9.9, 10.0, 10.2, 9.8}, {10.0, 10.1, 9.9, 10.05, 9.95}, 2, true},
        {"shifted", {10.1, 9.9, 10.0, 10.2, 9.8}, {12.1, 11.9, 12.0, 12.2, 11.8}, 4, false},
        {"shifted down", {5.0, 5.1, 4.9}, {3.0, 3.2, 2.8}, 0, false},
    };
    for (const Case& c : cases) {
        const Figures p = figures(c.por), t = figures(c.test);
        const Interval iv = compare_means(p.n, p.mean, p.sd, t.n, t.mean, t.sd, c.level);
        // Equal batch sizes: the pooled standard error of the difference.
        const int df = p.n + t.n - 2;
        const double pooled = ((p.n - 1) * p.sd * p.sd + (t.n - 1) * t.sd * t.sd) / df;
        const double se = std::sqrt(pooled * (1.0 / p.n + 1.0 / t.n));
        const double tq = t_critical_value(df, c.level);
        EXPECT_EQ(iv.df, df) << c.what;
        EXPECT_NEAR(iv.se, se, 1e-12) << c.what;
        EXPECT_NEAR(iv.lower, p.mean - t.mean - tq * se, 1e-12) << c.what;
        EXPECT_NEAR(iv.upper, p.mean - t.mean + tq * se, 1e-12) << c.what;
        EXPECT_EQ(iv.pass, c.pass) << c.what;
    }
}

TEST(CompareMeans, BatchesWithoutSpreadPassOnlyWithEqualMeans)
{
    EXPECT_TRUE(compare_means(3, 7.0, 0.0, 4, 7.0, 0.0, 4).pass);
    EXPECT_TRUE(compare_means(3, 7.0, 0.0, 4, 7.0 + 1e-12, 0.0, 4).pass);
    EXPECT_FALSE(compare_means(3, 7.0, 0.0, 4, 7.5, 0.0, 4).pass);
    const Interval iv = compare_means(5, 7.0, 0.0, 5, 6.0, 0.0, 2);
    EXPECT_DOUBLE_EQ(iv.lower, 1.0);
    EXPECT_DOUBLE_EQ(iv.upper, 1.0);
    EXPECT_FALSE(iv.pass);
}

TEST(CompareMeans, AnIntervalEndingAtZeroFails)
{
    // meanP - meanT = t * se exactly: the lower end sits on zero.
    const double se = std::sqrt(2.0 / 10.0), t = t_critical_value(18, 2);
    const Interval iv = compare_means(10, t * se, 1.0, 10, 0.0, 1.0, 2);
    EXPECT_EQ(iv.lower, 0.0);
    EXPECT_GT(iv.upper - iv.lower, 1e-9);
    EXPECT_FALSE(iv.pass);
    // Just below zero it holds zero inside and passes.
    EXPECT_TRUE(compare_means(10, t * se - 1e-6, 1.0, 10, 0.0, 1.0, 2).pass);
}

TEST(StripCodes, TableOfLines)
{
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"\033p20lPOR mean = 1.000000", "POR mean = 1.000000"},
        {"CH1 Mean     POR mean - TEST mean \033p500l\033fgFF0000FAIL", "CH1 Mean     POR mean - TEST mean FAIL"},
        {"\033fgFF0000CH1 Trigger Channel is Unknown: \033fg000000No step data",
         "CH1 Trigger Channel is Unknown: No step data"},
        {"\033p20lOnly 3 points.\033p500l\033fgFF0000WARNING", "Only 3 points.WARNING"},
        {"plain", "plain"},
        {"", ""},
        {"lone \033 escape", "lone  escape"},
        {"ends with escape\033", "ends with escape"},
        {"column without end \033p20 text", "column without end "},
        {"colour cut short \033fgFF", "colour cut short "},
        {"\033f", ""},
        {"\033p", ""},
        {"\033\033p10lx", "x"},
        {"a\033xb", "axb"},
    };
    for (const Case& c : cases) EXPECT_EQ(strip_codes(c.in), c.out) << c.in;
}
