// Speed of the trace test: one wafer of 32 channels at 100 scans per second for 60 s, per analysis and end to end,
// and the first wafer in a fresh directory beside native SQLite running the same statements.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "platform/sql/dbf_table.h"
#include "platform/sys/format.h"
#include "testing/analysis.h"
#include "testing/testing_seams.h"
#include "testing/trace_test.h"

namespace {

constexpr int kChannels = 32;
constexpr int kRate = 100;
constexpr int kSeconds = 60;

// Channels 1..4 are step channels following the set-points on 5..8, 9..12 valves, the rest static.
TraceSetup wafer_setup()
{
    TraceSetup s;
    s.channels = kChannels;
    s.status_bits = 0xFFFFFFFFu;
    s.saved_channels = kChannels;
    s.sample_rate = kRate;
    s.sample_rate_index = kRate;
    for (int c = 1; c <= kChannels; ++c) {
        s.channel_type[c] = c <= 4 ? 1 : (c >= 9 && c <= 12) ? 2 : 0;
        s.slope[c] = 1.0;
        s.inter[c] = 0.0;
    }
    for (int c = 1; c <= 4; ++c) {
        s.steps_per_process[c] = 4;
        s.step_set_channel[c] = static_cast<signed char>(c + 4);
    }
    s.trigger = 1;
    s.trig_ch = 13;
    s.trig_val = 0.1;
    s.delay = 5;
    s.timer_status_bit = 0xFFFF;
    s.timer_start_logic_bit = s.timer_end_logic_bit = 0xFFFF;
    for (int t = 1; t <= 16; ++t) {
        s.timer_start_channel[t] = static_cast<std::uint8_t>(5 + t % 4);
        s.timer_end_channel[t] = static_cast<std::uint8_t>(9 + t % 4);
        s.timer_start_val[t] = s.timer_end_val[t] = 0.5;
        s.timer_start_gun[t] = s.timer_end_gun[t] = 1 + t % 3;
    }
    s.derive_tables();
    return s;
}

// Set-points switch on for 10 s in every 15; step channels follow with a first-order lag.
std::vector<unsigned char> wafer_bytes(const TraceSetup& s, const char* header)
{
    std::vector<unsigned char> bytes(header, header + std::strlen(header));
    double lag[33] = {};
    for (int scan = 0; scan < kSeconds * kRate; ++scan) {
        const double t = static_cast<double>(scan) / kRate;
        std::vector<std::int16_t> values(static_cast<std::size_t>(kChannels));
        for (int c = 1; c <= kChannels; ++c) {
            double v;
            if (c >= 5 && c <= 8) {
                v = std::fmod(t + c, 15.0) < 10.0 ? 3000 : 0;
            } else if (c <= 4) {
                double target = std::fmod(t + c + 4, 15.0) < 10.0 ? 3000 : 0;
                lag[c] += (target - lag[c]) * 0.05;
                v = lag[c];
            } else if (c <= 12) {
                v = std::fmod(t, 6.0 + c) < 3.0 ? 2000 : 0;
            } else {
                v = 1000 + 200 * std::sin(t * c);
            }
            values[static_cast<std::size_t>(s.scan_index(c))] = static_cast<std::int16_t>(v);
        }
        for (std::int16_t v : values) {
            bytes.push_back(static_cast<unsigned char>(static_cast<std::uint16_t>(v) & 0xFF));
            bytes.push_back(static_cast<unsigned char>(static_cast<std::uint16_t>(v) >> 8));
        }
        if ((scan + 1) % kRate == 0) bytes.insert(bytes.end(), kBlockTrailerBytes, 0);
    }
    return bytes;
}

class Counter : public TestServices {
public:
    int step_specs(int type, int subtype, int, int, double limits[3]) override
    {
        limits[0] = 90;
        limits[1] = type == 1 && subtype == 4 ? -100 : 0;
        limits[2] = 110;
        return 1;
    }
    void insert_row(const std::string&, ResultTable, int, int) override { ++rows; }
    void realtime_check(int, int, int, int, int, int, double) override { ++checks; }
    long rows = 0, checks = 0;
};

struct Wafer {
    TraceSetup setup = wafer_setup();
    std::vector<unsigned char> bytes = wafer_bytes(setup, "09:30:00 2026/03/14\n");
    std::vector<unsigned char> por = wafer_bytes(setup, "09:30:00\n");
    WaferTrace trace() const { return WaferTrace{bytes, 20, 1, 1}; }
    PorInterval interval() const
    {
        std::string text = vsys::strprintf("1\n%d\n%d\n", kSeconds * kRate, kRate);
        for (int c = 1; c <= kChannels; ++c) text += "1 0 1000.000\n";
        return *read_por_interval(text);
    }
};

const Wafer& wafer()
{
    static const Wafer w;
    return w;
}

void BM_StepMetrics(benchmark::State& state)
{
    Counter c;
    for (auto _ : state) test_step_metrics(wafer().trace(), wafer().setup, c);
    state.counters["rows"] = static_cast<double>(c.rows) / static_cast<double>(state.iterations());
}

void BM_SigmaVector(benchmark::State& state)
{
    Counter c;
    const PorInterval in = wafer().interval();
    for (auto _ : state) benchmark::DoNotOptimize(test_sigma_vector(wafer().trace(), wafer().setup, c, in, wafer().por));
    state.counters["rows"] = static_cast<double>(c.rows) / static_cast<double>(state.iterations());
}

void BM_Timers(benchmark::State& state)
{
    Counter c;
    for (auto _ : state) test_timers(wafer().trace(), wafer().setup, c, false, nullptr);
    state.counters["rows"] = static_cast<double>(c.rows) / static_cast<double>(state.iterations());
}

void BM_ChannelStatistics(benchmark::State& state)
{
    Counter c;
    for (auto _ : state) test_channel_statistics(wafer().trace(), wafer().setup, c);
    state.counters["rows"] = static_cast<double>(c.rows) / static_cast<double>(state.iterations());
}

// The program's state for one wafer of the bench setup, on the working directory `dir` (created here).
void prepare_directory(const std::string& dir)
{
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/SC_DATA");
    vt_dir = dir;
    hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir).c_str());
    check_tables(&hdbc);
    const TraceSetup& s = wafer().setup;
    channels = static_cast<std::uint8_t>(s.channels);
    VantrelChannelStatusBits = s.status_bits;
    saved_channels = static_cast<std::uint8_t>(s.saved_channels);
    sample_rate = s.sample_rate;
    sample_rate_index = s.sample_rate_index;
    ADCBits = 0;
    for (int c = 1; c <= kChannels; ++c) {
        channel_type[c] = s.channel_type[c];
        channel_slope[c] = 1638.4;
        channel_inter[c] = 0;
        steps_per_process[c] = s.steps_per_process[c];
        step_set_channel[c] = s.step_set_channel[c];
    }
    timer_status_bit = s.timer_status_bit;
    recipe_num = 3;
    TestingSeams seams;
    seams.step_specs = [](short, short type, short sub, short, short, double l[3]) -> short {
        l[0] = 90;
        l[1] = type == 1 && sub == 4 ? -100 : 0;
        l[2] = 110;
        return 1;
    };
    seams.chart_preferences = [](int, short*, short*, short*, short*, int*, int*, int*, short*, char*, char*,
                                 int*) -> short { return 0; };
    provide_testing_seams(std::move(seams));
    std::ofstream out(dir + "/SC_DATA/00000001.001", std::ios::binary);
    out.write(reinterpret_cast<const char*>(wafer().bytes.data()), static_cast<std::streamsize>(wafer().bytes.size()));
}

void finish_directory(const std::string& dir, bool remove = true)
{
    DBDisconnect(hdbc);
    hdbc = -1;
    if (remove) std::filesystem::remove_all(dir);
}

// The whole trace test on a scratch working directory: file reading, all four
// sections, result rows in the dBase tables, the run row update.
void BM_TestTraceEndToEnd(benchmark::State& state)
{
    const bool steady = state.range(0) != 0;
    const std::string dir = (std::filesystem::temp_directory_path() / "vantrel_testing_bench").string();
    prepare_directory(dir);
    short block[kChannels * kRate];
    // Steady: the result tables exist already, as they do from the second wafer of a process on.
    if (steady) test_trace(block, 1, 1, -1, 3, "LOT", "ETCH", 0, 0);
    for (auto _ : state) test_trace(block, 1, 1, -1, 3, "LOT", "ETCH", 0, 0);
    finish_directory(dir);
}

// The first wafer alone, in a fresh working directory each time: its result tables are created.
// The directories are removed after the runs: the files of one run deleted just before the next make
// the file system search past their inodes for new ones, which a first wafer never meets.
void BM_FirstWafer(benchmark::State& state)
{
    const std::string base = (std::filesystem::temp_directory_path() / "vantrel_first_wafer_bench").string();
    short block[kChannels * kRate];
    std::vector<std::string> made;
    std::vector<double> ms;
    for (auto _ : state) {
        state.PauseTiming();
        made.push_back(base + std::to_string(made.size()));
        prepare_directory(made.back());
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        test_trace(block, 1, 1, -1, 3, "LOT", "ETCH", 0, 0);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        finish_directory(made.back(), false);
        state.ResumeTiming();
    }
    for (const std::string& dir : made) std::filesystem::remove_all(dir);
    // Each wafer is one first wafer: the least and the middle of them, beside the mean the line shows.
    std::sort(ms.begin(), ms.end());
    state.counters["min_ms"] = ms.front();
    state.counters["median_ms"] = ms[ms.size() / 2];
}

// The statements of the first wafer as native SQLite runs them: the tables it created and the rows it
// wrote, one statement each, on a fresh database each time.
std::vector<std::string> first_wafer_statements()
{
    const std::string dir = (std::filesystem::temp_directory_path() / "vantrel_first_wafer_sql").string();
    prepare_directory(dir);
    std::set<std::string> before;
    for (const auto& e : std::filesystem::directory_iterator(dir)) before.insert(e.path().filename().string());
    short block[kChannels * kRate];
    test_trace(block, 1, 1, -1, 3, "LOT", "ETCH", 0, 0);
    std::vector<std::string> creates, inserts;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string file = e.path().filename().string();
        if (e.path().extension() != ".DBF" || before.count(file)) continue;
        const std::string table = file.substr(0, file.size() - 4);
        std::string why;
        auto dbf = vsql::DbfTable::open(e.path().string(), why);
        if (!dbf) continue;
        std::string create = "CREATE TABLE \"" + table + "\" (";
        for (std::size_t f = 0; f < dbf->fields().size(); ++f) {
            const vsql::DbfField& field = dbf->fields()[f];
            create += vsys::strprintf("%s\"%s\" %s(%d%s)", f ? ", " : "", field.name.c_str(), field.numeric() ? "NUMERIC" : "CHAR",
                                      field.width, field.numeric() ? vsys::strprintf(",%d", field.decimals).c_str() : "");
        }
        creates.push_back(create + ")");
        for (int r = 0; r < dbf->record_count(); ++r) {
            std::string values;
            for (std::size_t f = 0; f < dbf->fields().size(); ++f) {
                const vsql::Value v = dbf->value(r, static_cast<int>(f));
                std::string text = "NULL";
                if (auto* i = std::get_if<std::int64_t>(&v)) text = std::to_string(*i);
                else if (auto* d = std::get_if<double>(&v)) text = vsys::strprintf("%.9f", *d);
                else if (auto* t = std::get_if<std::string>(&v)) text = "'" + *t + "'";
                values += (f ? ", " : "") + text;
            }
            inserts.push_back("INSERT INTO \"" + table + "\" VALUES (" + values + ")");
        }
    }
    finish_directory(dir);
    creates.insert(creates.end(), inserts.begin(), inserts.end());
    return creates;
}

void BM_FirstWaferNative(benchmark::State& state)
{
    const std::vector<std::string> statements = first_wafer_statements();
    const std::string path = (std::filesystem::temp_directory_path() / "vantrel_first_wafer_native.db").string();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        state.ResumeTiming();
        for (const std::string& sql : statements) sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    std::filesystem::remove(path);
    state.counters["statements"] = static_cast<double>(statements.size());
}

}  // namespace

BENCHMARK(BM_StepMetrics)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SigmaVector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Timers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelStatistics)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestTraceEndToEnd)->Unit(benchmark::kMillisecond)->Arg(0)->Iterations(5);
BENCHMARK(BM_TestTraceEndToEnd)->Unit(benchmark::kMillisecond)->Arg(1)->Iterations(50);
BENCHMARK(BM_FirstWafer)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_FirstWaferNative)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_MAIN();
