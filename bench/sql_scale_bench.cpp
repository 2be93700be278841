// The engine at fab scale beside native SQLite on the same data and statements, at 10k, 100k and 1M rows:
// the chart load (newest 300 points, warm) and the first keyed look-up after the table is opened, with the
// note of its ascending run numbers that an earlier start left, and without (the first start ever).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/sql/engine.h"

namespace {

class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-scale-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const char* kVtCreate =
    "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0),NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID CHAR(16), "
    "RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10) , SAV_TIME CHAR(8), "
    "COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))";
const char* kOtherCreate =
    "CREATE TABLE OTHER_01 (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), DATA_MEAN NUMERIC(19,9), DATA_SIGMA NUMERIC(19,9), "
    "DATA_MAX NUMERIC(19,9), DATA_MIN NUMERIC(19,9))";

// The chart load as the chart window runs it, and as it ran before its order named the result table's keys.
const char* kChartLoad =
    "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_01, VT_INFO WHERE RUN = RUN_NUM AND RECIPE IN('ETCH') "
    "ORDER BY RUN DESC, WAFER DESC";
const char* kChartLoadBefore =
    "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_01, VT_INFO WHERE RUN = RUN_NUM AND RECIPE IN('ETCH') "
    "ORDER BY 1 DESC, 2 DESC";

std::string vt_row(int run)
{
    char sql[400];
    std::snprintf(sql, sizeof sql,
                  "(%i, 4, 10, 'TOOL', 'ETCH', 'LOT%i', 'U0000000003 02 10.0', '2026/03/%02d', '%02d:%02d:00', '', 0, 1, 0)",
                  run, run / 25, run % 28 + 1, run % 24, run % 60);
    return sql;
}

std::string other_row(int i)
{
    char sql[200];
    std::snprintf(sql, sizeof sql, "(%i, %i, %.6f, %.6f, %.3f, %.3f)", i / 4 + 1, i % 4 + 1, 5.0 + (i * 37 % 200) / 1000.0,
                  0.01 * (i % 7), 6.0 + i % 3, 4.0 - i % 5);
    return sql;
}

// One database of each kind per table size, filled once: `rows` result rows of rows / 4 runs, and a run
// table of `rows` runs.
struct Tables {
    ScratchDir dbf_dir, native_dir;
    int hdbc = 0;
    sqlite3* native = nullptr;
    int rows = 0;
    ~Tables()
    {
        if (hdbc > 0) qeDisconnect(hdbc);
        if (native) sqlite3_close(native);
    }
    void dbf_exec(const std::string& sql)
    {
        int h = qeExecSQL(hdbc, sql.c_str());
        if (h <= 0) {
            std::fprintf(stderr, "%s: %s\n", sql.substr(0, 200).c_str(), qeErrMsg());
            std::abort();
        }
        qeEndSQL(h);
    }
    void native_exec(const std::string& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(native, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", sql.substr(0, 200).c_str(), err);
            std::abort();
        }
    }
    void fill(const char* table, int n, std::string (*row)(int), int first)
    {
        std::string batch;
        for (int i = 0; i < n; ++i) {
            batch += (batch.empty() ? "" : ",") + row(first + i);
            if ((i + 1) % 2000 == 0 || i + 1 == n) {
                const std::string sql = std::string("INSERT INTO ") + table + " VALUES " + batch;
                dbf_exec(sql);
                native_exec(sql);
                batch.clear();
            }
        }
    }
    static Tables& of(int rows)
    {
        // The engine first, so that it outlives the tables' connections at exit.
        static const int engine = qeLibInit();
        (void)engine;
        // Notes of ascending keys go to a scratch cache, not the user's.
        static ScratchDir cache;
        ::setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
        static std::map<int, std::unique_ptr<Tables>> made;
        auto& t = made[rows];
        if (t) return *t;
        t = std::make_unique<Tables>();
        t->rows = rows;
        t->hdbc = qeConnect(("DSN=ZID32_Samples; DB=" + t->dbf_dir.path()).c_str());
        sqlite3_open((t->native_dir.path() + "/native.db").c_str(), &t->native);
        t->native_exec("PRAGMA synchronous=OFF");
        t->dbf_exec(kVtCreate);
        t->native_exec(kVtCreate);
        t->dbf_exec(kOtherCreate);
        t->native_exec(kOtherCreate);
        t->native_exec("BEGIN");
        t->fill("VT_INFO", rows, vt_row, 1);
        t->fill("OTHER_01", rows, other_row, 0);
        t->native_exec("COMMIT");
        // What a SQLite user would index: the keys the statements look up.
        t->native_exec("CREATE INDEX VT_RUN ON VT_INFO (RUN_NUM)");
        t->native_exec("CREATE INDEX OTHER_RUN ON OTHER_01 (RUN, WAFER)");
        return *t;
    }
    // The newest 300 points as the chart load fetches them: run, wafer and value bound, 300 rows fetched.
    long dbf_chart(const char* sql)
    {
        int h = qeExecSQL(hdbc, sql);
        int run = 0, wafer = 0;
        double value = 0;
        long s1 = 4, s2 = 4, s3 = 8;
        qeBindColLong(h, 1, &run, &s1);
        qeBindColLong(h, 2, &wafer, &s2);
        qeBindColDouble(h, 3, &value, &s3);
        long n = 0;
        while (n < 300 && qeFetchNext(h) == 0) ++n;
        qeEndSQL(h);
        return n;
    }
    long native_chart(const char* sql)
    {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(native, sql, -1, &s, nullptr);
        long n = 0;
        while (n < 300 && sqlite3_step(s) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_int(s, 0) + sqlite3_column_int(s, 1) + sqlite3_column_double(s, 2));
            ++n;
        }
        sqlite3_finalize(s);
        return n;
    }
};

void BM_ChartLoad300_Dbf(benchmark::State& state)
{
    Tables& t = Tables::of(static_cast<int>(state.range(0)));
    const char* sql = state.range(1) ? kChartLoad : kChartLoadBefore;
    t.dbf_chart(sql);  // warm: the tables are open and their indexes built
    for (auto _ : state)
        if (t.dbf_chart(sql) != 300) state.SkipWithError("wrong row count");
}

void BM_ChartLoad300_Native(benchmark::State& state)
{
    Tables& t = Tables::of(static_cast<int>(state.range(0)));
    const char* sql = state.range(1) ? kChartLoad : kChartLoadBefore;
    t.native_chart(sql);
    for (auto _ : state)
        if (t.native_chart(sql) != 300) state.SkipWithError("wrong row count");
}

// The first statement on the run table after the program started: a new connection, one run by number.
// noted:1 as at every start after the first, noted:0 as at the first start (the note is written then).
void BM_FirstKeyedLookup_Dbf(benchmark::State& state)
{
    Tables& t = Tables::of(static_cast<int>(state.range(0)));
    const bool noted = state.range(1) != 0;
    const std::string sql = "SELECT * FROM VT_INFO WHERE RUN_NUM = " + std::to_string(t.rows * 73 / 100);
    const std::filesystem::path notes = std::filesystem::path(std::getenv("XDG_CACHE_HOME")) / "vantrel";
    for (auto _ : state) {
        state.PauseTiming();
        qeDisconnect(t.hdbc);
        if (!noted) std::filesystem::remove_all(notes);
        t.hdbc = qeConnect(("DSN=ZID32_Samples; DB=" + t.dbf_dir.path()).c_str());
        state.ResumeTiming();
        int h = qeExecSQL(t.hdbc, sql.c_str());
        long n = 0;
        while (qeFetchNext(h) == 0) ++n;
        qeEndSQL(h);
        if (n != 1) state.SkipWithError("wrong row count");
    }
}

void BM_FirstKeyedLookup_Native(benchmark::State& state)
{
    Tables& t = Tables::of(static_cast<int>(state.range(0)));
    const std::string sql = "SELECT * FROM VT_INFO WHERE RUN_NUM = " + std::to_string(t.rows * 73 / 100);
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3_close(t.native);
        sqlite3_open((t.native_dir.path() + "/native.db").c_str(), &t.native);
        state.ResumeTiming();
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(t.native, sql.c_str(), -1, &s, nullptr);
        long n = 0;
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(s); ++i) benchmark::DoNotOptimize(sqlite3_column_text(s, i));
            ++n;
        }
        sqlite3_finalize(s);
        if (n != 1) state.SkipWithError("wrong row count");
    }
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int rows : {10000, 100000, 1000000}) b->Args({rows, 1});
}

void noted_sizes(benchmark::internal::Benchmark* b)
{
    for (int rows : {10000, 100000, 1000000})
        for (int noted : {0, 1}) b->Args({rows, noted});
}

void chart_sizes(benchmark::internal::Benchmark* b)
{
    for (int rows : {10000, 100000, 1000000})
        for (int now : {0, 1}) b->Args({rows, now});
}

}  // namespace

BENCHMARK(BM_ChartLoad300_Dbf)->Apply(chart_sizes)->ArgNames({"rows", "now"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartLoad300_Native)->Apply(chart_sizes)->ArgNames({"rows", "now"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstKeyedLookup_Dbf)->Apply(noted_sizes)->ArgNames({"rows", "noted"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstKeyedLookup_Native)->Apply(sizes)->ArgNames({"rows", ""})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
