// Speed of the SPC chart: the thirteen run rules over a 300-point series (goal 30 us), and loading the 300 newest
// points of a result table of 100,000 rows with their limits (goal 20 ms).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/schema.h"
#include "core/shared_buffers.h"
#include "core/sql_access.h"
#include "platform/sys/format.h"
#include "spc/chart_data.h"
#include "spc/run_rules.h"

namespace {

std::vector<double> series(int n)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> x(static_cast<std::size_t>(n));
    for (double& v : x) v = noise(random);
    return x;
}

void BM_ThirteenRules300Points(benchmark::State& state)
{
    const std::vector<double> x = series(300);
    const RuleSeries r{x.data(), 300, 0.0, 1.0};
    for (auto _ : state) {
        std::vector<std::uint16_t> broken = broken_rule_masks(r, kAllRules);
        benchmark::DoNotOptimize(broken.data());
    }
}
BENCHMARK(BM_ThirteenRules300Points)->Unit(benchmark::kMicrosecond);

// The same rules point by point, for comparison.
void BM_ThirteenRules300PointsOneByOne(benchmark::State& state)
{
    const std::vector<double> x = series(300);
    const RuleSeries r{x.data(), 300, 0.0, 1.0};
    for (auto _ : state) {
        int broken = 0;
        for (int i = 0; i < r.n; ++i)
            for (int rule = 0; rule < kRuleCount; ++rule) broken += rule_holds(r, rule, i);
        benchmark::DoNotOptimize(broken);
    }
}
BENCHMARK(BM_ThirteenRules300PointsOneByOne)->Unit(benchmark::kMicrosecond);

// 25,000 runs of 4 wafers in OTHER_01 and the run table, built once.
void BM_Load300Of100000Rows(benchmark::State& state)
{
    const std::string dir = (std::filesystem::temp_directory_path() / "vantrel_spc_bench").string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir).c_str());
    check_tables(&hdbc);
    create_other_table(&hdbc, 1);
    std::mt19937 random(11);
    std::normal_distribution<double> noise(5.0, 0.2);
    for (int run = 1; run <= 25000; ++run) {
        DBImmediateSQL(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SYSTEM_ID) "
                                             "VALUES (%d, 4, 'ETCH', 'T%d', 'S1')",
                                             run, run).c_str());
        for (int wafer = 1; wafer <= 4; ++wafer)
            DBImmediateSQL(hdbc, vsys::strprintf("INSERT INTO OTHER_01 (RUN, WAFER, DATA_MEAN) VALUES (%d, %d, %.6f)",
                                                 run, wafer, noise(random)).c_str());
    }
    ChartRecord chart;
    chart.type = 0;
    chart.subtype = 1;
    chart.channel = 1;
    chart.step = 0;
    chart.natural = 1;
    recipe_restrictions = 1;
    recipe_select = {"ETCH"};
    for (auto _ : state) {
        chart.points = 300;
        load_data(chart, TEST_SET, 0);
        benchmark::DoNotOptimize(chart.values.data());
    }
    DBDisconnect(hdbc);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Load300Of100000Rows)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
