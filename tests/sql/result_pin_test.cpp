// Results of the chart load and the run table statements on a generated table, pinned byte for byte: plans,
// cost estimates and reading rows on demand change how they are found, never what comes back or in which order.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/sql/engine.h"
#include "platform/sys/format.h"
#include "tests/sql/sql_fixture.h"
#include "tests/support/fnv1a.h"

namespace {

using vtest::fnv1a;
using vtest::run;

// A year of a tool: runs of three processes, four wafers each, re-tested wafers written again at the end,
// empty values, deleted runs and rows.
void fill(int h)
{
    ASSERT_EQ(run(h, "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0),NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID CHAR(16), "
                     "RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10) , SAV_TIME CHAR(8), "
                     "COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))"),
              0);
    ASSERT_EQ(run(h, "CREATE TABLE OTHER_01 (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), DATA_MEAN NUMERIC(19,9), "
                     "DATA_SIGMA NUMERIC(19,9))"),
              0);
    ASSERT_EQ(run(h, "CREATE TABLE OOC_ALRM (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), CHANNEL NUMERIC(5,0), TYPE NUMERIC(5,0), "
                     "SUB_TYPE NUMERIC(5,0), \"INDEX\" NUMERIC(5,0), RULE NUMERIC(9,0), CLEARED NUMERIC(5,0))"),
              0);
    constexpr int kRuns = 1500;
    std::string runs, results, alarms;
    auto flush = [&](std::string& batch, const char* table) {
        if (!batch.empty()) {
            ASSERT_EQ(run(h, std::string("INSERT INTO ") + table + " VALUES " + batch), 0) << qeErrMsg();
        }
        batch.clear();
    };
    for (int r = 1; r <= kRuns; ++r) {
        const char* recipe = r % 7 == 0 ? "ASH" : r % 11 == 0 ? "ETCH PRECOAT" : "ETCH";
        runs += vsys::strprintf("%s(%d, 4, 10, 'TOOL%d', '%s', 'LOT%d', 'U', '2026/%02d/%02d', '%02d:%02d:00', '', %d, 1, 0)",
                                runs.empty() ? "" : ",", r, r % 3, recipe, r / 25, 1 + r / 150, 1 + r % 28, r % 24,
                                r % 60, r % 13 == 0 ? 1 : 0);
        for (int w = 1; w <= 4; ++w) {
            const std::string mean = (r * w) % 97 == 0 ? "NULL" : vsys::strprintf("%.6f", 5.0 + ((r * 37 + w * 11) % 200) / 1000.0);
            results += vsys::strprintf("%s(%d, %d, %s, %.3f)", results.empty() ? "" : ",", r, w, mean.c_str(), w * 0.5);
        }
        if (r % 9 == 0)
            alarms += vsys::strprintf("%s(%d, %d, %d, 0, 1, 0, %d, %d)", alarms.empty() ? "" : ",", r, 1 + r % 4, 1 + r % 3,
                                      r % 5, r % 2);
        if (r % 250 == 0) {
            flush(runs, "VT_INFO");
            flush(results, "OTHER_01");
            flush(alarms, "OOC_ALRM");
        }
    }
    // Re-tested wafers: the same run and wafer again, later in the file.
    for (int r = 3; r <= kRuns; r += 41) results += vsys::strprintf("%s(%d, 2, %.6f, 0.1)", results.empty() ? "" : ",", r, 6.0 + r / 10000.0);
    flush(results, "OTHER_01");
    ASSERT_EQ(run(h, "DELETE FROM VT_INFO WHERE RUN_NUM = 700 OR RUN_NUM = 1201"), 0);
    ASSERT_EQ(run(h, "DELETE FROM OTHER_01 WHERE RUN = 800 AND WAFER = 3"), 0);
}

struct Pinned {
    const char* label;
    const char* sql;
    std::uint64_t hash;
    std::size_t rows;
};

// The chart load as the chart window builds it (ordered by the result table's keys) and as it was built
// before (ordered by the result columns), and the run table's statements. The hashes are those of the
// results before the planner was told honest costs and before rows were read on demand.
const Pinned kPinned[] = {
    {"chart, one process", "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_01, VT_INFO WHERE RUN = RUN_NUM AND RECIPE IN('ETCH') ORDER BY 1 DESC, 2 DESC", 0xa374402377d38a90ull, 4699},
    {"chart, one process, by the result table's keys", "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_01, VT_INFO WHERE RUN = RUN_NUM AND RECIPE IN('ETCH') ORDER BY RUN DESC, WAFER DESC", 0xa374402377d38a90ull, 4699},
    {"chart, restricted", "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_01, VT_INFO WHERE RUN = RUN_NUM AND RUN_NUM <= 1300 AND (WAFER = 1 OR WAFER > 3) AND TRACE_ID IN('LOT20','LOT21','LOT40') AND RECIPE IN('ETCH','ASH') AND SYSTEM_ID IN('TOOL1','TOOL2') ORDER BY 1 DESC, 2 DESC", 0x7a18285b688d4008ull, 94},
    {"chart, every run", "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_01, VT_INFO WHERE RUN = RUN_NUM ORDER BY 1 DESC, 2 DESC", 0x6c26bf3f4f50f29dull, 6027},
    {"chart, restricted, by the result table's keys", "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_01, VT_INFO WHERE RUN = RUN_NUM AND RUN_NUM <= 1300 AND (WAFER = 1 OR WAFER > 3) AND TRACE_ID IN('LOT20','LOT21','LOT40') AND RECIPE IN('ETCH','ASH') AND SYSTEM_ID IN('TOOL1','TOOL2') ORDER BY RUN DESC, WAFER DESC", 0x7a18285b688d4008ull, 94},
    {"chart, every run, by the result table's keys", "SELECT RUN_NUM, WAFER, DATA_MEAN FROM OTHER_01, VT_INFO WHERE RUN = RUN_NUM ORDER BY RUN DESC, WAFER DESC", 0x6c26bf3f4f50f29dull, 6027},
    {"run list", "SELECT * FROM VT_INFO WHERE RUN_NUM > 0 AND TRACE_DEL = 0 ORDER BY RUN_NUM ASC", 0x515314dd36d854f3ull, 1383},
    {"runs from", "SELECT * FROM VT_INFO WHERE RUN_NUM > 0 AND RUN_NUM >= 1234 ORDER BY RUN_NUM ASC", 0xbc829a9b90be72f4ull, 267},
    {"every run", "SELECT * FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM ASC", 0xc3b4dfd98e9acf87ull, 1498},
    {"runs before a date", "SELECT * FROM VT_INFO WHERE SAV_DATE < '2026/05/01' AND RUN_NUM > 0 ORDER BY RUN_NUM ASC", 0xf620b89109984b9eull, 599},
    {"one run", "SELECT * FROM VT_INFO WHERE RUN_NUM = 1234", 0x7891494a41ea832full, 1},
    {"last run", "SELECT MAX(RUN_NUM) FROM VT_INFO", 0xf45fd8f0ea8fbb83ull, 1},
    {"lots by date", "SELECT TRACE_ID FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY SAV_DATE DESC, SAV_TIME DESC", 0x6c8a4fdf1f3cd78eull, 1498},
    {"processes", "SELECT DISTINCT RTRIM(RECIPE) FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY 1 ASC", 0x5dfacb76bb64388full, 3},
    {"alarm list", "SELECT I.RUN_NUM,RTRIM(I.RECIPE),RTRIM(I.TRACE_ID),I.SAV_DATE,I.SAV_TIME,E.WAFER,E.CHANNEL,E.TYPE,E.SUB_TYPE,E.INDEX,E.RULE,E.CLEARED FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM ORDER BY 4 DESC, 5 DESC, 6 DESC", 0x09d4ce2a8f3b96daull, 166},
    {"alarms of a process", "SELECT RTRIM(I.TRACE_ID), I.SAV_DATE, I.SAV_TIME FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM AND E.CHANNEL = 1 AND E.TYPE = 0 AND E.RULE = 3 AND I.RECIPE = 'ETCH' ORDER BY 2 DESC, 3 DESC", 0xdec1ae073997dda3ull, 26},
};

TEST(ResultPin, ChartLoadAndRunTableResultsStayAsTheyWere)
{
    vtest::SqlDir db;
    fill(db.hdbc());
    // Cold (each table just opened, no index built yet) and warm, twice over.
    for (int pass = 0; pass < 3; ++pass) {
        const int h = pass == 0 ? qeConnect(("DSN=ZID32_Samples; DB=" + db.dir().path()).c_str()) : db.hdbc();
        for (const Pinned& p : kPinned) {
            SCOPED_TRACE(vsys::strprintf("%s, pass %d", p.label, pass));
            const vtest::QueryResult r = vtest::query(h, p.sql, true);
            ASSERT_GT(r.handle, 0) << r.message;
            const std::string text = vtest::flat(r.rows);
            EXPECT_EQ(r.rows.size(), p.rows);
            EXPECT_EQ(fnv1a(text), p.hash) << vsys::strprintf("got [%s] 0x%016llxull, %zu", p.label,
                                                              static_cast<unsigned long long>(fnv1a(text)), r.rows.size());
        }
        if (pass == 0) qeDisconnect(h);
    }
}

}  // namespace

namespace {

// Orders of several columns given by the table itself come out as SQLite's own sort leaves them (a
// column behind "+" is an expression the table cannot order by): empty values, equal keys, deleted rows.
TEST(ResultPin, OrdersGivenByTheTableAreThoseOfSQLitesSort)
{
    vtest::SqlDir db;
    const int h = db.hdbc();
    ASSERT_EQ(run(h, "CREATE TABLE T (A NUMERIC(5,0), B NUMERIC(7,2), C NUMERIC(5,0), TAG CHAR(8), S CHAR(6), D CHAR(10))"), 0);
    // S: texts equal but for trailing blanks, a blank one, a control character below the blank; D: dates
    // written in time order, several rows to a date.
    const char* texts[] = {"'ab'", "'a'", "''", "'a b'", "'B'", "'a  '", "char(97, 1)", "'ab c'"};
    std::string rows;
    for (int i = 0; i < 400; ++i) {
        const std::string a = i % 17 == 0 ? "NULL" : std::to_string((i * 7) % 23);
        const std::string b = i % 13 == 0 ? "NULL" : vsys::strprintf("%.2f", ((i * 5) % 9) - 4.5);
        rows += vsys::strprintf("%s(%s, %s, %d, 'r%d', %s, '2026/%02d/%02d')", rows.empty() ? "" : ",", a.c_str(), b.c_str(),
                                i % 3, i, texts[(i * 5) % 8], 1 + i / 60, 1 + i / 3 % 20);
    }
    ASSERT_EQ(run(h, "INSERT INTO T VALUES " + rows), 0);
    ASSERT_EQ(run(h, "DELETE FROM T WHERE C = 1 AND A = 4"), 0);
    struct Order {
        const char* by_columns;
        const char* by_expressions;
    };
    const Order orders[] = {
        {"A DESC, B DESC", "+A DESC, +B DESC"}, {"A ASC, B DESC", "+A ASC, +B DESC"}, {"A DESC, B ASC", "+A DESC, +B ASC"},
        {"A, B, C", "+A, +B, +C"},             {"B DESC, A", "+B DESC, +A"},       {"C DESC, A DESC, B", "+C DESC, +A DESC, +B"},
        {"S", "+S"},                           {"S DESC", "+S DESC"},               {"D DESC", "+D DESC"},
        {"D", "+D"},                           {"D DESC, S DESC", "+D DESC, +S DESC"}, {"S, A DESC", "+S, +A DESC"},
        {"TAG DESC", "+TAG DESC"},
    };
    for (const Order& order : orders) {
        SCOPED_TRACE(order.by_columns);
        const std::string given = vtest::flat(vtest::query(h, std::string("SELECT TAG FROM T ORDER BY ") + order.by_columns).rows);
        EXPECT_EQ(given, vtest::flat(vtest::query(h, std::string("SELECT TAG FROM T ORDER BY ") + order.by_expressions).rows));
        EXPECT_FALSE(given.empty());
    }
    // Without an ORDER BY, distinct texts keep the order they are first met in.
    EXPECT_EQ(vtest::flat(vtest::query(h, "SELECT DISTINCT S FROM T").rows), vtest::flat(vtest::query(h, "SELECT DISTINCT +S FROM T").rows));
}

}  // namespace
