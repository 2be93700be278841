// Chart series loading from real result tables, statistics, limits, histogram bins, capability and axis rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <tuple>

#include "core/db_statement.h"
#include "core/schema.h"
#include "core/shared_buffers.h"
#include "platform/sys/format.h"
#include "spc/chart_data.h"
#include "spc/limit_table.h"
#include "tests/spc/spc_fixture.h"

using spctest::SpcTest;

namespace {

// The chart the tests load, as a record of their own.
ChartRecord chart;

void set_chart(int type, int subtype, int channel, int step)
{
    chart.process = recipe_num;
    chart.type = static_cast<short>(type);
    chart.subtype = static_cast<short>(subtype);
    chart.channel = static_cast<short>(channel);
    chart.step = static_cast<short>(step);
}

// Loads at most *count points of the chart; *count becomes what load_data answers.
std::vector<double> load_data(int* count, double* mean, double* stdev, short set, int run_limit)
{
    chart.points = *count;
    *count = load_data(chart, set, run_limit);
    *mean = chart.data_mean;
    *stdev = chart.data_stdev;
    return chart.values;
}

void clear_selection()
{
    free_mem();
    por_free_mem();
    wafer_restrictions = lot_restrictions = recipe_restrictions = system_restrictions = 0;
    wafer_select.clear(), wafer_logic.clear(), lot_select.clear(), recipe_select.clear(), system_select.clear();
}

class ChartDataTest : public SpcTest {
protected:
    void SetUp() override
    {
        SpcTest::SetUp();
        clear_selection();
        chart.natural = 1;
        ASSERT_EQ(check_tables(&hdbc), 0);
        ASSERT_GT(hdbc, 0);
        ASSERT_EQ(create_other_table(&hdbc, 3), 0);
    }
    void TearDown() override
    {
        clear_selection();
        SpcTest::TearDown();
    }
    void add_run(int run, const char* recipe, const char* trace, const char* system)
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SYSTEM_ID, "
                                                   "SAV_DATE, SAV_TIME) VALUES (%d, 4, '%s', '%s', '%s', '2026/01/01', "
                                                   "'10:00:00')",
                                                   run, recipe, sql_quote(trace).c_str(), system)),
                  0);
    }
    void add_mean(int run, int wafer, double value)
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_03 (RUN, WAFER, DATA_MEAN) VALUES (%d, %d, %.9f)",
                                                   run, wafer, value)),
                  0);
    }
};

}  // namespace

TEST(LoadStatement, TheMeanChartWithWaferAndTraceIdRestrictions)
{
    clear_selection();
    set_chart(0, 1, 3, 0);
    wafer_restrictions = 2;
    wafer_select = {1, 20};
    wafer_logic = {0, 1};
    lot_restrictions = 2;
    lot_select = {"A1", "B2"};
    EXPECT_EQ(load_statement(chart, TEST_SET, 0),
              "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_03, VT_INFO WHERE RUN = RUN_NUM AND (WAFER = 1 OR WAFER > 20) "
              "AND TRACE_ID IN('A1','B2') ORDER BY RUN DESC, WAFER DESC");
    // The POR batch is a selection of its own.
    EXPECT_EQ(load_statement(chart, POR_SET, 0),
              "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_03, VT_INFO WHERE RUN = RUN_NUM ORDER BY RUN DESC, WAFER DESC");
    clear_selection();
}

TEST(LoadStatement, EachChartKindReadsItsTableAndColumn)
{
    clear_selection();
    const std::string order = " ORDER BY RUN DESC, WAFER DESC";
    const std::tuple<int, int, int, int, std::string> cases[] = {
        {1, 0, 2, 3, "SELECT RUN_NUM, WAFER, OVER FROM STEP0203, VT_INFO WHERE RUN = RUN_NUM"},
        {1, 1, 2, 3, "SELECT RUN_NUM, WAFER, UNDER FROM STEP0203, VT_INFO WHERE RUN = RUN_NUM"},
        {1, 2, 2, 3, "SELECT RUN_NUM, WAFER, S_TIME FROM STEP0203, VT_INFO WHERE RUN = RUN_NUM"},
        {1, 3, 2, 3, "SELECT RUN_NUM, WAFER, DECAY FROM STEP0203, VT_INFO WHERE RUN = RUN_NUM"},
        {1, 5, 12, 16, "SELECT RUN_NUM, WAFER, SMIN FROM STPM1216, VT_INFO WHERE RUN = RUN_NUM"},
        {1, 6, 2, 3, "SELECT RUN_NUM, WAFER, SMAX FROM STPM0203, VT_INFO WHERE RUN = RUN_NUM"},
        {1, 4, 2, 3, ""},
        {0, 2, 7, 0, "SELECT RUN_NUM, WAFER, DATA_STDEV FROM OTHER_07, VT_INFO WHERE RUN = RUN_NUM"},
        {20, 3, 7, 0, "SELECT RUN_NUM, WAFER, DATA_MIN FROM OTHER_07, VT_INFO WHERE RUN = RUN_NUM"},
        {22, 4, 32, 0, "SELECT RUN_NUM, WAFER, DATA_MAX FROM OTHER_32, VT_INFO WHERE RUN = RUN_NUM"},
        {0, 0, 7, 0, ""},
        {4, 0, 5, 0, "SELECT RUN_NUM, WAFER, AREA FROM AREA_05, VT_INFO WHERE RUN = RUN_NUM"},
        {5, 0, 2, 0, "SELECT RUN_NUM, WAFER, VALUE FROM TIMER_02, VT_INFO WHERE RUN = RUN_NUM"},
        {17, 0, 17, 0, "SELECT RUN, WAFER, EP_TIME FROM ENDP_DAT WHERE RUN > 0"},
        {17, 1, 17, 0, "SELECT RUN, WAFER, CLEAN_TIME FROM ENDP_DAT WHERE RUN > 0"},
        {17, 2, 17, 0, ""},
        {18, 2, 3, 0, "SELECT I.RUN_NUM, O.WAFER, O.STDEV FROM ONTIME_3 O, VT_INFO I WHERE O.RUN = I.RUN_NUM"},
        {18, 0, 3, 0, ""},
        {19, 1, 3, 0, ""},
        {2, 1, 3, 0, ""},
        {23, 1, 3, 0, ""},
        {-1, 1, 3, 0, ""},
    };
    for (const auto& [type, sub, ch, step, base] : cases) {
        set_chart(type, sub, ch, step);
        EXPECT_EQ(load_statement(chart, TEST_SET, 0), base.empty() ? "" : base + order) << type << "/" << sub;
    }
}

TEST(LoadStatement, EndpointChartsLimitRunIgnoreRecipesAndQuoteTexts)
{
    clear_selection();
    set_chart(17, 0, 17, 0);
    lot_restrictions = 1;
    lot_select = {"O'Brien"};
    recipe_restrictions = 1;
    recipe_select = {"ETCH"};
    system_restrictions = 2;
    system_select = {"S1", "S'2"};
    wafer_restrictions = 1;
    wafer_select = {3};
    wafer_logic = {-1};
    EXPECT_EQ(load_statement(chart, TEST_SET, 50),
              "SELECT RUN, WAFER, EP_TIME FROM ENDP_DAT WHERE RUN > 0 AND RUN <= 50 AND (WAFER < 3) AND "
              "TRACE_ID IN('O''Brien') AND SYSTEM_ID IN('S1','S''2') ORDER BY RUN DESC, WAFER DESC");
    set_chart(5, 0, 1, 0);
    EXPECT_EQ(load_statement(chart, TEST_SET, 50),
              "SELECT RUN_NUM, WAFER, VALUE FROM TIMER_01, VT_INFO WHERE RUN = RUN_NUM AND RUN_NUM <= 50 AND (WAFER < 3) "
              "AND TRACE_ID IN('O''Brien') AND RECIPE IN('ETCH') AND SYSTEM_ID IN('S1','S''2') ORDER BY RUN DESC, WAFER DESC");
    clear_selection();
}

TEST_F(ChartDataTest, ThreeHundredNewestOfAThousandRowsTiesByWafer)
{
    for (int run = 1; run <= 250; ++run) {
        add_run(run, "ETCH", vsys::strprintf("T%d", run).c_str(), "SYS");
        for (int wafer = 1; wafer <= 4; ++wafer) add_mean(run, wafer, run * 10 + wafer);
    }
    // A newer wafer without a value is no point.
    add_run(251, "ETCH", "T251", "SYS");
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO OTHER_03 (RUN, WAFER) VALUES (251, 1)"), 0);
    set_chart(0, 1, 3, 0);
    int count = 302;
    double mean = -1, stdev = -1;
    std::vector<double> values = load_data(&count, &mean, &stdev, TEST_SET, 0);
    ASSERT_EQ(count, 302);
    ASSERT_EQ(values.size(), 302u);
    ASSERT_EQ(chart.runs.size(), 302u);
    ASSERT_EQ(chart.wafers.size(), 302u);
    EXPECT_EQ(values.front(), 2504);
    EXPECT_EQ(chart.runs.front(), 250);
    EXPECT_EQ(chart.wafers.front(), 4);
    EXPECT_EQ(chart.runs[299], 176);
    EXPECT_EQ(chart.wafers[299], 1);
    EXPECT_EQ(chart.runs[300], 175);
    EXPECT_EQ(chart.wafers[300], 4);
    EXPECT_EQ(values.back(), 1753);
    for (std::size_t i = 1; i < values.size(); ++i) ASSERT_LT(values[i], values[i - 1]);
    double m = std::accumulate(values.begin(), values.end(), 0.0) / 302;
    double ss = 0;
    for (double v : values) ss += (v - m) * (v - m);
    EXPECT_DOUBLE_EQ(mean, m);
    EXPECT_NEAR(stdev, std::sqrt(ss / 301), 1e-9);
    EXPECT_EQ(chart.plot_low[0], 1753);
    EXPECT_EQ(chart.plot_high[0], 2504);
    // Natural limits: the rule limits are the data's.
    EXPECT_EQ(chart.rule_mean, mean);
    EXPECT_EQ(chart.rule_stdev, stdev);
    EXPECT_DOUBLE_EQ(chart.plot_low[1], mean - 3 * stdev);
    EXPECT_DOUBLE_EQ(chart.plot_high[3], mean + 3 * stdev);

    // More than stored: every row, arrays cut to what was found.
    count = 5000;
    values = load_data(&count, &mean, &stdev, TEST_SET, 0);
    EXPECT_EQ(count, 1000);
    EXPECT_EQ(values.size(), 1000u);
    EXPECT_EQ(chart.runs.size(), 1000u);
}

TEST_F(ChartDataTest, RestrictionsSelectTheBatch)
{
    add_run(1, "ETCH", "LOT'A", "S1");
    add_run(2, "ASH", "LOT-B", "S1");
    add_run(3, "ETCH", "LOT-C", "S2");
    for (int run = 1; run <= 3; ++run)
        for (int wafer = 1; wafer <= 4; ++wafer) add_mean(run, wafer, run * 10 + wafer);
    set_chart(0, 1, 3, 0);
    auto load = [&] {
        int count = 300;
        double mean = 0, stdev = 0;
        std::vector<double> v = load_data(&count, &mean, &stdev, TEST_SET, 0);
        return v;
    };
    recipe_restrictions = 1;
    recipe_select = {"ETCH"};
    EXPECT_EQ(load(), (std::vector<double>{34, 33, 32, 31, 14, 13, 12, 11}));
    lot_restrictions = 1;
    lot_select = {"LOT'A"};
    EXPECT_EQ(load(), (std::vector<double>{14, 13, 12, 11}));
    wafer_restrictions = 2;
    wafer_select = {2, 3};
    wafer_logic = {-1, 1};
    EXPECT_EQ(load(), (std::vector<double>{14, 11}));
    clear_selection();
    system_restrictions = 1;
    system_select = {"S2"};
    EXPECT_EQ(load(), (std::vector<double>{34, 33, 32, 31}));
    int count = 10;
    double mean = 0, stdev = 0;
    EXPECT_TRUE(load_data(&count, &mean, &stdev, TEST_SET, 2).empty());
    EXPECT_EQ(count, 0);
}

TEST_F(ChartDataTest, FailuresAndChartsWithoutSeries)
{
    set_chart(0, 1, 3, 0);
    double mean = 5, stdev = 5;
    int count = 0;
    ui.answer(1);
    EXPECT_TRUE(load_data(&count, &mean, &stdev, TEST_SET, 0).empty());
    EXPECT_EQ(count, 0);
    ASSERT_FALSE(ui.popups().empty());
    EXPECT_EQ(ui.popups().back().title, "Data Load Error");
    EXPECT_EQ(ui.popups().back().text, "Zero points requested.");
    count = 10;
    ui.answer(1);
    EXPECT_TRUE(load_data(&count, &mean, &stdev, 2, 0).empty());
    EXPECT_EQ(ui.popups().back().title, "Unsupported Operation");
    EXPECT_EQ(count, 0);
    count = 10;
    // No rows at all: nothing, mean and deviation 0.
    EXPECT_TRUE(load_data(&count, &mean, &stdev, TEST_SET, 0).empty());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(mean, 0);
    EXPECT_EQ(stdev, 0);
    // A table that does not exist yet.
    set_chart(5, 0, 9, 0);
    count = 10;
    EXPECT_TRUE(load_data(&count, &mean, &stdev, TEST_SET, 0).empty());
    EXPECT_EQ(count, 0);
    set_chart(1, 4, 1, 1);
    count = 10;
    EXPECT_TRUE(load_data(&count, &mean, &stdev, TEST_SET, 0).empty());
    EXPECT_EQ(count, -1);
}

TEST(SeriesStatistics, TwoPassesOneValueAndEqualValues)
{
    double mean = 0, stdev = 0;
    const double one[] = {4.25};
    series_statistics(one, 1, &mean, &stdev);
    EXPECT_EQ(mean, 4.25);
    EXPECT_EQ(stdev, 0);
    // Equal values that do not sum exactly are still their own mean.
    std::vector<double> equal(300, 0.1);
    series_statistics(equal.data(), 300, &mean, &stdev);
    EXPECT_EQ(mean, 0.1);
    EXPECT_EQ(stdev, 0);
    // A large offset does not swallow the spread.
    const double offset[] = {1e9 + 1, 1e9 + 2, 1e9 + 3};
    series_statistics(offset, 3, &mean, &stdev);
    EXPECT_EQ(mean, 1e9 + 2);
    EXPECT_DOUBLE_EQ(stdev, 1.0);
    series_statistics(nullptr, 0, &mean, &stdev);
    EXPECT_EQ(mean, 0);
}

TEST_F(ChartDataTest, SpecificationLimitsGiveTheRuleLimits)
{
    chart.natural = 0;
    double limits[3] = {4, 6, 10};
    step_specs(LIMITS_WRITE, 0, 1, 3, 0, limits);
    set_chart(0, 1, 3, 0);
    chart.plot_low[0] = 5;
    chart.plot_high[0] = 9;
    compute_chart_limits(chart, 8, 0.5);
    EXPECT_EQ(chart.rule_mean, 7);
    EXPECT_EQ(chart.rule_stdev, 1);
    EXPECT_EQ(chart.plot_low[1], 5);
    EXPECT_EQ(chart.plot_high[1], 9.5);
    EXPECT_EQ(chart.plot_low[2], 4);
    EXPECT_EQ(chart.plot_high[2], 10);
    EXPECT_EQ(chart.plot_low[3], 4);
    EXPECT_EQ(chart.plot_high[3], 10);
    double sigma[3] = {0, 0, 30};
    step_specs(LIMITS_WRITE, 4, 0, 3, 0, sigma);
    set_chart(4, 0, 3, 0);
    compute_chart_limits(chart, 8, 0.5);
    EXPECT_EQ(chart.rule_mean, 15);
    EXPECT_EQ(chart.rule_stdev, 5);
    // No stored limits: centre and sigma 0.
    set_chart(4, 0, 4, 0);
    compute_chart_limits(chart, 8, 0.5);
    EXPECT_EQ(chart.rule_mean, 0);
    EXPECT_EQ(chart.rule_stdev, 0);
    chart.natural = 1;
}

TEST(Histogram, SturgesBinsAndTheirEdges)
{
    std::vector<double> centres;
    std::vector<int> counts;
    int bins = -1;
    for (auto [n, expected] : {std::pair{1, 1}, {10, 4}, {100, 7}, {300, 9}, {500, 9}}) {
        std::vector<double> v(static_cast<std::size_t>(n), 1.0);
        GenerateHistogram(v.data(), n, 0, 10, centres, &bins, counts);
        EXPECT_EQ(bins, expected) << n;
        EXPECT_EQ(centres.size(), static_cast<std::size_t>(expected));
    }
    std::vector<double> v(20, 5.0);
    v[0] = 10.0;   // the maximum is not counted
    v[1] = -1.5;   // within one width below: bin 0
    v[2] = -2.5;   // lower: not counted
    v[3] = 0.0;
    v[4] = 9.99;
    GenerateHistogram(v.data(), 20, 0, 10, centres, &bins, counts);
    ASSERT_EQ(bins, 5);
    EXPECT_EQ(centres, (std::vector<double>{1, 3, 5, 7, 9}));
    EXPECT_EQ(counts, (std::vector<int>{2, 0, 15, 0, 1}));
    // Zero width: one bin; no values: no bins.
    GenerateHistogram(v.data(), 20, 5, 5, centres, &bins, counts);
    EXPECT_EQ(bins, 1);
    EXPECT_EQ(centres, (std::vector<double>{5}));
    EXPECT_EQ(counts, (std::vector<int>{15}));
    GenerateHistogram(v.data(), 0, 0, 10, centres, &bins, counts);
    EXPECT_EQ(bins, 0);
    EXPECT_TRUE(centres.empty());
    EXPECT_TRUE(counts.empty());
}

TEST(Capability, PartsPerMillionByTenthsOfSigma)
{
    int ppm = -1;
    const std::tuple<double, double, double, double, int> cases[] = {
        {3, -3, 0, 1, 2600},            // 1300 each side
        {2.99, -2.99, 0, 1, 3800},      // truncated to 2.9 sigma: 1900 each side
        {3.6, -3.6, 0, 1, 0},
        {3.55, -10, 0, 1, 200},         // 3.5 sigma: 200 above, nothing below
        {3, -3, 4, 1, 500000},          // the mean above the upper limit
        {3, -3, 0, 1e-10, 0},
        {3, 3, 0, 1, 0},
        {1, -1, 0, 1, 317400},          // 1 sigma: 158700 each side
    };
    for (const auto& [upper, lower, mean, sigma, expected] : cases) {
        ppm_defects(upper, lower, mean, sigma, &ppm);
        EXPECT_EQ(ppm, expected) << upper << " " << lower << " " << mean << " " << sigma;
    }
    Capability c = chart_capability(7, 1, 8, 0.5);
    EXPECT_DOUBLE_EQ(c.cp, 2.0);
    EXPECT_DOUBLE_EQ(c.cpk, 2.0 / 1.5);
    EXPECT_EQ(c.defects, 0);
    c = chart_capability(0, 1, 4, 1);
    EXPECT_DOUBLE_EQ(c.cp, 1.0);
    EXPECT_DOUBLE_EQ(c.cpk, -1.0 / 3);
    EXPECT_EQ(c.defects, 500000);
    EXPECT_EQ(vsys::strprintf("Cpk = %.3f", c.cpk), "Cpk = -0.333");
    c = chart_capability(0, 1, 0, 0);
    EXPECT_EQ(c.cp, 0);
    EXPECT_EQ(c.cpk, 0);
    EXPECT_EQ(c.defects, 0);
}

TEST(Axes, TenToThe)
{
    EXPECT_EQ(ten_to_the(0), 1.0);
    EXPECT_EQ(ten_to_the(3), 1000.0);
    EXPECT_EQ(ten_to_the(-2), 1.0 / 10.0 / 10.0);
    EXPECT_EQ(ten_to_the(-9), 1.0 / 10 / 10 / 10 / 10 / 10 / 10 / 10 / 10 / 10);
}

TEST(Axes, RoundingTable)
{
    const std::tuple<int, int, double, double, int> xs[] = {
        {-300, 0, -300, 0, 10}, {-25, 0, -27, 0, 9}, {-1, 0, -1, 0, 1}, {0, 0, -1, 0, 1},
        {-4, 0, -4, 0, 4},      {-7, 0, -7, 0, 7},   {-11, 0, -12, 0, 6},
    };
    for (const auto& [lo, hi, elo, ehi, div] : xs) {
        AxisPlan p = plan_x_axis(lo, hi);
        EXPECT_EQ(p.low, elo) << lo;
        EXPECT_EQ(p.high, ehi) << lo;
        EXPECT_EQ(p.divisions, div) << lo;
    }
    AxisPlan y = plan_y_axis(0.93, 1.07);
    EXPECT_NEAR(y.low, 0.92, 1e-12);
    EXPECT_NEAR(y.high, 1.08, 1e-12);
    EXPECT_EQ(y.divisions, 8);
    EXPECT_EQ(y.precision, 2);
    y = plan_y_axis(0, 100);
    EXPECT_EQ(y.low, -10);
    EXPECT_EQ(y.high, 110);
    EXPECT_EQ(y.divisions, 12);
    EXPECT_EQ(y.precision, 0);
    // A flat range widens to whole numbers first, and a negative one stays on the axis.
    y = plan_y_axis(5, 5);
    EXPECT_LE(y.low, 5);
    EXPECT_GE(y.high, 6);
    y = plan_y_axis(-5.3, -5.3);
    EXPECT_LT(y.low, -5.3);
    EXPECT_GT(y.high, -5.3);
    y = plan_y_axis(NAN, 1);
    EXPECT_LT(y.low, y.high);
}
