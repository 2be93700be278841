// The dBase engine against native SQLite tables, side by side: inserts, keyed look-ups (warm and first), MAX of the key, the run list, a join, delete + pack.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <type_traits>

#include "platform/sql/engine.h"

namespace {

constexpr int kRows = 100000;     // result rows: 10,000 runs of 10 wafers
constexpr int kRuns = 10000;
constexpr int kAlarms = 50000;
constexpr int kBigRuns = 100000;  // a run table of years

class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-bench-XXXXXX").string();
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

const char* kStepCreate =
    "CREATE TABLE STEP0101 (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), OVER NUMERIC(19,9), UNDER NUMERIC(19,9), "
    "S_TIME NUMERIC(19,9), DECAY NUMERIC(19,9))";
const char* kVtCreate =
    "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0),NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID CHAR(16), "
    "RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10) , SAV_TIME CHAR(8), "
    "COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))";
const char* kAlarmCreate =
    "CREATE TABLE OOC_ALRM (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), CHANNEL NUMERIC(5,0), TYPE NUMERIC(5,0), "
    "SUB_TYPE NUMERIC(5,0), \"INDEX\" NUMERIC(5,0), RULE NUMERIC(9,0), CLEARED NUMERIC(5,0))";
const char* kJoin =
    "SELECT I.RUN_NUM,RTRIM(I.RECIPE),RTRIM(I.TRACE_ID),I.SAV_DATE,I.SAV_TIME,E.WAFER,E.CHANNEL,E.TYPE,E.SUB_TYPE,"
    "E.INDEX,E.RULE,E.CLEARED FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM";

std::string step_insert(int i)
{
    char sql[200];
    std::snprintf(sql, sizeof sql, "INSERT INTO STEP0101 VALUES (%i, %i, %.3f, %.3f, %.3f, %.3f)", i / 10 + 1, i % 10 + 1,
                  i * 0.25, i * 0.5, 1.0 + i % 7, 0.001 * i);
    return sql;
}

std::string vt_insert(int run)
{
    char sql[400];
    std::snprintf(sql, sizeof sql,
                  "INSERT INTO VT_INFO VALUES (%i, 10, 10, 'TOOL', 'RECIPE %i', 'TOOL:2026/03/%02d %02d:%02d:00', "
                  "'U0000000003 02 10.0', '2026/03/%02d', '%02d:%02d:00', '', 0, 1, 0)",
                  run, run % 20, run % 28 + 1, run % 24, run % 60, run % 28 + 1, run % 24, run % 60);
    return sql;
}

std::string alarm_insert(int i)
{
    char sql[200];
    std::snprintf(sql, sizeof sql, "INSERT INTO OOC_ALRM VALUES (%i, %i, %i, 1, 0, %i, %i, 0)", i % kRuns + 1, i % 10 + 1,
                  i % 32 + 1, i % 16 + 1, i % 13);
    return sql;
}

// --- the dBase engine ---------------------------------------------------------

struct Dbf {
    ScratchDir dir;
    int hdbc = qeConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
    ~Dbf() { qeDisconnect(hdbc); }
    // A new connection: the next statement opens its tables as a newly started program does.
    void reopen()
    {
        qeDisconnect(hdbc);
        hdbc = qeConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
    }
    void exec(const std::string& sql)
    {
        int h = qeExecSQL(hdbc, sql.c_str());
        if (h <= 0) {
            std::fprintf(stderr, "%s: %s\n", sql.c_str(), qeErrMsg());
            std::abort();
        }
        qeEndSQL(h);
    }
    // Runs a query and reads every column of every row as text, as callers do.
    long fetch_all(const std::string& sql)
    {
        int h = qeExecSQL(hdbc, sql.c_str());
        int ncols = qeNumCols(h);
        char buf[16][80];
        long status[16];
        for (int i = 0; i < ncols && i < 16; ++i) {
            status[i] = sizeof buf[i];
            qeBindColChar(h, i + 1, buf[i], &status[i], "");
        }
        long n = 0;
        while (qeFetchNext(h) == 0) ++n;
        qeEndSQL(h);
        return n;
    }
};

// --- native SQLite --------------------------------------------------------------

struct Native {
    ScratchDir dir;
    sqlite3* db = nullptr;
    Native()
    {
        sqlite3_open((dir.path() + "/native.db").c_str(), &db);
        // No fsync, as the dBase writes; every statement still commits on its own.
        sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    }
    ~Native() { sqlite3_close(db); }
    void reopen()
    {
        sqlite3_close(db);
        sqlite3_open((dir.path() + "/native.db").c_str(), &db);
        sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    }
    void exec(const std::string& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", sql.c_str(), err);
            std::abort();
        }
    }
    long fetch_all(std::string sql)
    {
        // SQLite itself needs the reserved column name quoted.
        for (std::size_t at = sql.find("E.INDEX"); at != std::string::npos; at = sql.find("E.INDEX", at + 4))
            sql.replace(at, 7, "E.\"INDEX\"");
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
        int ncols = sqlite3_column_count(s);
        long n = 0;
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int i = 0; i < ncols; ++i) benchmark::DoNotOptimize(sqlite3_column_text(s, i));
            ++n;
        }
        sqlite3_finalize(s);
        return n;
    }
};

template <typename Db>
void fill_steps(Db& db, bool bulk)
{
    db.exec(kStepCreate);
    if (bulk) db.exec("BEGIN");
    for (int i = 0; i < kRows; ++i) db.exec(step_insert(i));
    if (bulk) db.exec("COMMIT");
}

template <typename Db>
void fill_join(Db& db, bool bulk)
{
    db.exec(kVtCreate);
    db.exec(kAlarmCreate);
    if (bulk) db.exec("BEGIN");
    for (int r = 1; r <= kRuns; ++r) db.exec(vt_insert(r));
    for (int i = 0; i < kAlarms; ++i) db.exec(alarm_insert(i));
    if (bulk) db.exec("COMMIT");
}

// Many rows per statement: only the filling, not what is measured.
template <typename Db>
void fill_big_runs(Db& db)
{
    db.exec(kVtCreate);
    if constexpr (std::is_same_v<Db, Native>) db.exec("BEGIN");
    std::string batch;
    for (int r = 1; r <= kBigRuns; ++r) {
        std::string one = vt_insert(r);
        batch += batch.empty() ? one : "," + one.substr(one.find("VALUES") + 6);
        if (r % 1000 == 0) {
            db.exec(batch);
            batch.clear();
        }
    }
    if constexpr (std::is_same_v<Db, Native>) {
        db.exec("COMMIT");
        db.exec("CREATE INDEX VT_RUN ON VT_INFO (RUN_NUM)");
    }
}

template <typename Db>
void BM_Insert(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        {
            Db db;
            db.exec(kStepCreate);
            state.ResumeTiming();
            for (int i = 0; i < kRows; ++i) db.exec(step_insert(i));
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

template <typename Db>
void BM_KeyedSelect(benchmark::State& state)
{
    Db db;
    fill_steps(db, std::is_same_v<Db, Native>);
    if constexpr (std::is_same_v<Db, Native>) db.exec("CREATE INDEX STEP_RUN ON STEP0101 (RUN)");
    int run = 1;
    long rows = 0;
    for (auto _ : state) {
        rows += db.fetch_all("SELECT WAFER, OVER, UNDER, S_TIME, DECAY FROM STEP0101 WHERE RUN = " + std::to_string(run));
        run = run % kRuns + 1;
    }
    if (rows != state.iterations() * 10) state.SkipWithError("wrong row count");
}

template <typename Db>
void BM_Join(benchmark::State& state)
{
    Db db;
    fill_join(db, std::is_same_v<Db, Native>);
    if constexpr (std::is_same_v<Db, Native>) db.exec("CREATE INDEX VT_RUN ON VT_INFO (RUN_NUM)");
    for (auto _ : state)
        if (db.fetch_all(kJoin) != kAlarms) state.SkipWithError("wrong row count");
}

// The delete and the compaction that follows it, as the clean-up of old runs does.
template <typename Db>
void BM_DeletePack(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        {
            Db db;
            fill_steps(db, std::is_same_v<Db, Native>);
            state.ResumeTiming();
            db.exec("DELETE FROM STEP0101 WHERE WAFER > 5");
            // PACK puts the new file on disk before it replaces the old one;
            // the native compaction is measured with the same durability.
            if constexpr (std::is_same_v<Db, Native>) db.exec("PRAGMA synchronous=FULL");
            db.exec(std::is_same_v<Db, Native> ? "VACUUM" : "PACK STEP0101");
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
}

// The first statement on a table of 100,000 runs after the program started:
// the table is opened, read as far as the statement needs, and answered.
template <typename Db>
void first_statement(benchmark::State& state, const std::string& sql, long expected)
{
    Db db;
    fill_big_runs(db);
    for (auto _ : state) {
        state.PauseTiming();
        db.reopen();
        state.ResumeTiming();
        if (db.fetch_all(sql) != expected) state.SkipWithError("wrong row count");
    }
}

template <typename Db>
void BM_FirstKeyedLookup(benchmark::State& state)
{
    first_statement<Db>(state, "SELECT * FROM VT_INFO WHERE RUN_NUM = 73421", 1);
}

template <typename Db>
void BM_FirstMaxOfKey(benchmark::State& state)
{
    first_statement<Db>(state, "SELECT MAX(RUN_NUM) FROM VT_INFO", 1);
}

template <typename Db>
void BM_FirstRunList(benchmark::State& state)
{
    first_statement<Db>(state, "SELECT * FROM VT_INFO WHERE RUN_NUM > 0 AND TRACE_DEL = 0 ORDER BY RUN_NUM ASC", kBigRuns);
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Insert, Dbf)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_TEMPLATE(BM_Insert, Native)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_TEMPLATE(BM_KeyedSelect, Dbf)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_KeyedSelect, Native)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_Join, Dbf)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Join, Native)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_DeletePack, Dbf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(BM_DeletePack, Native)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(BM_FirstKeyedLookup, Dbf)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FirstKeyedLookup, Native)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FirstMaxOfKey, Dbf)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FirstMaxOfKey, Native)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FirstRunList, Dbf)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FirstRunList, Native)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
