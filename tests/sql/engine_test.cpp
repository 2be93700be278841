// Engine behaviour beyond the dialect: result sets, positioned writes, handles, freshness and connections.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/sql/engine.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "tests/sql/sql_fixture.h"

namespace {

using vtest::flat;
using vtest::query;
using vtest::run;

const char* kVtInfo =
    "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0),NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID CHAR(16), "
    "RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10) , SAV_TIME CHAR(8), "
    "COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))";

void add_run(int h, int run_num, const char* recipe, int trace_del)
{
    char sql[512];
    std::snprintf(sql, sizeof sql,
                  "INSERT INTO VT_INFO VALUES (%d, 1, 10, 'SYS', '%s', 'T%d', 'U', '2026/03/01', '10:00:00', '', %d, 0, 0)",
                  run_num, recipe, run_num, trace_del);
    ASSERT_EQ(run(h, sql), 0) << qeErrMsg();
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override
    {
        h = db.hdbc();
        ASSERT_GT(h, 0);
        ASSERT_EQ(run(h, kVtInfo), 0) << qeErrMsg();
        add_run(h, 1, "ETCH", 0);
        add_run(h, 2, "ETCH", 0);
        add_run(h, 3, "ASH", 1);
    }
    vtest::SqlDir db;
    int h = 0;
};

TEST_F(Engine, TextComesBackPaddedAndColumnsDescribeThemselves)
{
    int s = qeExecSQL(h, "SELECT RECIPE, RTRIM(RECIPE), RUN_NUM, COUNT(*) FROM VT_INFO WHERE RUN_NUM = 3");
    ASSERT_GT(s, 0);
    EXPECT_EQ(qeColType(s, 1), vsql::kTypeChar);
    EXPECT_EQ(qeColWidth(s, 1), 32);
    EXPECT_EQ(qeColType(s, 2), vsql::kTypeText);
    EXPECT_LE(qeColWidth(s, 2), 32);
    EXPECT_EQ(qeColType(s, 3), vsql::kTypeNumeric);
    EXPECT_EQ(qeColWidth(s, 3), 9);
    EXPECT_EQ(qeColType(s, 4), vsql::kTypeInteger);
    EXPECT_STREQ(qeColName(s, 1), "RECIPE");
    char padded[64], trimmed[64];
    long st1 = sizeof padded, st2 = sizeof trimmed;
    ASSERT_EQ(qeBindColChar(s, 1, padded, &st1, ""), 0);
    ASSERT_EQ(qeBindColChar(s, 2, trimmed, &st2, ""), 0);
    ASSERT_EQ(qeFetchNext(s), 0);
    EXPECT_EQ(std::string(padded), "ASH" + std::string(29, ' '));
    EXPECT_EQ(st1, 32);
    EXPECT_STREQ(trimmed, "ASH");
    EXPECT_EQ(qeFetchNext(s), vsql::kEndOfData);
    EXPECT_EQ(qeEndSQL(s), 0);
}

TEST_F(Engine, TextBindingNeverWritesPastItsBuffer)
{
    int s = qeExecSQL(h, "SELECT TRACE_ID, RECIPE FROM VT_INFO WHERE RUN_NUM = 1");
    ASSERT_GT(s, 0);
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    long status = 3;  // a buffer of three bytes inside the larger array
    ASSERT_EQ(qeBindColChar(s, 2, buf, &status, ""), 0);
    ASSERT_EQ(qeFetchNext(s), 0);
    EXPECT_STREQ(buf, "ET");
    EXPECT_EQ(buf[3], 'Z');
    EXPECT_EQ(status, 32);  // the length of the whole value
    qeEndSQL(s);
}

TEST_F(Engine, EmptyNumericFieldIsNull)
{
    ASSERT_EQ(run(h, "CREATE TABLE ENDP_PAR (RUN NUMERIC(9,0), SWITCHES CHAR(19) NOT NULL)"), 0);
    ASSERT_EQ(run(h, "INSERT INTO ENDP_PAR VALUES (NULL, 'x')"), 0) << qeErrMsg();
    int s = qeExecSQL(h, "SELECT RUN, SWITCHES FROM ENDP_PAR");
    ASSERT_GT(s, 0);
    int value = 77;
    long status = 4;
    ASSERT_EQ(qeBindColLong(s, 1, &value, &status), 0);
    ASSERT_EQ(qeFetchNext(s), 0);
    EXPECT_EQ(status, -2);
    qeEndSQL(s);
    s = qeExecSQL(h, "SELECT MAX(RUN) FROM ENDP_PAR");
    double d = 5;
    long dstatus = 8;
    ASSERT_EQ(qeBindColDouble(s, 1, &d, &dstatus), 0);
    ASSERT_EQ(qeFetchNext(s), 0);
    EXPECT_EQ(dstatus, -2);
    qeEndSQL(s);
}

TEST_F(Engine, NumbersThatNeedFewerDecimalsKeepTheirValue)
{
    ASSERT_EQ(run(h, "CREATE TABLE 0001LIMI (TYPE NUMERIC(5,0), LCL NUMERIC(19,9), UCL NUMERIC(19,9))"), 0);
    const double values[] = {1000000000.0, -999999999.5, 123456789.125, 0.000000001, -0.0, 9999999999.0};
    for (double v : values) {
        ASSERT_EQ(run(h, "DELETE FROM 0001LIMI"), 0);
        char sql[200];
        std::snprintf(sql, sizeof sql, "INSERT INTO 0001LIMI VALUES (1, %.9f, 0)", v);
        ASSERT_EQ(run(h, sql), 0) << sql << qeErrMsg();
        int s = qeExecSQL(h, "SELECT LCL FROM 0001LIMI");
        double got = 1;
        long status = 8;
        qeBindColDouble(s, 1, &got, &status);
        ASSERT_EQ(qeFetchNext(s), 0);
        EXPECT_EQ(got, v) << sql;
        qeEndSQL(s);
    }
    // Too large even without decimals: refused, never cut or starred.
    EXPECT_EQ(run(h, "INSERT INTO 0001LIMI VALUES (1, 1e25, 0)"), vsql::kErrValue);
    EXPECT_EQ(run(h, "INSERT INTO 0001LIMI VALUES (123456, 0, 0)"), vsql::kErrValue);
}

TEST_F(Engine, PositionedUpdateWorksThroughTheSnapshot)
{
    // The update changes the column of the SELECT's own WHERE.
    int s = qeExecSQL(h, "SELECT * FROM VT_INFO WHERE TRACE_DEL = 0 ORDER BY RUN_NUM ASC");
    ASSERT_GT(s, 0);
    int run_num = 0, trace_del = 0;
    long st[2] = {4, 4};
    ASSERT_EQ(qeBindColLong(s, 1, &run_num, &st[0]), 0);
    ASSERT_EQ(qeBindColLong(s, 11, &trace_del, &st[1]), 0);
    int seen = 0;
    while (qeFetchNext(s) == 0) {
        ++seen;
        trace_del = 1;
        ASSERT_EQ(qePutUsingBindColumns(s), 0) << qeErrMsg();
        ASSERT_EQ(qeRecUpdate(s), 0) << qeErrMsg();
    }
    qeEndSQL(s);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM, TRACE_DEL FROM VT_INFO ORDER BY 1").rows), "1|1;2|1;3|1");
    EXPECT_EQ(flat(query(h, "SELECT RTRIM(RECIPE) FROM VT_INFO WHERE RUN_NUM = 2").rows), "ETCH");
}

TEST_F(Engine, NewRecordThenSecondPutUpdatesIt)
{
    int s = qeExecSQL(h, "SELECT RUN_NUM, RECIPE FROM VT_INFO WHERE RUN_NUM = -4");
    ASSERT_GT(s, 0);
    int run_num = 0;
    char recipe[33] = "";
    long st[2] = {4, 33};
    qeBindColLong(s, 1, &run_num, &st[0]);
    qeBindColChar(s, 2, recipe, &st[1], "");
    EXPECT_NE(qeFetchNext(s), 0);
    ASSERT_EQ(qeRecNew(s, qeRecNum(s) + 1), 0);
    run_num = -4;
    std::strcpy(recipe, "POR");
    ASSERT_EQ(qePutUsingBindColumns(s), 0);
    ASSERT_EQ(qeRecUpdate(s), 0);
    std::strcpy(recipe, "POR2");
    ASSERT_EQ(qePutUsingBindColumns(s), 0);
    ASSERT_EQ(qeRecUpdate(s), 0);
    qeEndSQL(s);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM, RECIPE, NUM_WAF FROM VT_INFO WHERE RUN_NUM < 0").rows), "-4|POR2|NULL");
}

TEST_F(Engine, TooLongTextIsStoredCutWithAWarning)
{
    int s = qeExecSQL(h, "SELECT SYSTEM_ID FROM VT_INFO WHERE RUN_NUM = 1");
    char system_id[40];
    long status = sizeof system_id;
    qeBindColChar(s, 1, system_id, &status, "");
    ASSERT_EQ(qeFetchNext(s), 0);
    std::strcpy(system_id, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(qePutUsingBindColumns(s), vsql::kWarningStored);
    EXPECT_NE(std::string(qeErrMsg()).find("SYSTEM_ID"), std::string::npos);
    EXPECT_EQ(qeRecUpdate(s), 0);
    qeEndSQL(s);
    EXPECT_EQ(flat(query(h, "SELECT SYSTEM_ID FROM VT_INFO WHERE RUN_NUM = 1").rows), "ABCDEFGHIJKLMNOP");
}

TEST_F(Engine, DeleteActsOnTheCurrentRowOnce)
{
    int s = qeExecSQL(h, "SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = 2");
    ASSERT_EQ(qeFetchNext(s), 0);
    EXPECT_EQ(qeRecDelete(s), 0);
    EXPECT_EQ(qeRecDelete(s), vsql::kErrNoCurrentRow);
    qeEndSQL(s);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO ORDER BY 1").rows), "1;3");
}

TEST_F(Engine, PositionedWritesNeedOneTable)
{
    ASSERT_EQ(run(h, "CREATE TABLE OOC_ALRM (RUN NUMERIC(9,0), CLEARED NUMERIC(5,0))"), 0);
    ASSERT_EQ(run(h, "INSERT INTO OOC_ALRM VALUES (1, 0)"), 0);
    const char* queries[] = {"SELECT I.RUN_NUM, E.CLEARED FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM",
                             "SELECT DISTINCT RUN FROM OOC_ALRM", "SELECT MAX(RUN) FROM OOC_ALRM"};
    for (const char* sql : queries) {
        int s = qeExecSQL(h, sql);
        ASSERT_GT(s, 0) << sql;
        ASSERT_EQ(qeFetchNext(s), 0) << sql;
        EXPECT_EQ(qePutUsingBindColumns(s), vsql::kErrNotUpdatable) << sql;
        EXPECT_EQ(qeRecDelete(s), vsql::kErrNotUpdatable) << sql;
        qeEndSQL(s);
    }
}

TEST_F(Engine, ResultSetsAreSnapshotsAndSeveralStayOpen)
{
    int a = qeExecSQL(h, "SELECT RUN_NUM FROM VT_INFO ORDER BY RUN_NUM");
    int b = qeExecSQL(h, "SELECT RUN_NUM FROM VT_INFO ORDER BY RUN_NUM DESC");
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    ASSERT_EQ(run(h, "DELETE FROM VT_INFO"), 0);
    int x = 0, y = 0;
    long sx = 4, sy = 4;
    qeBindColLong(a, 1, &x, &sx);
    qeBindColLong(b, 1, &y, &sy);
    std::string seen;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(qeFetchNext(a), 0);
        ASSERT_EQ(qeFetchNext(b), 0);
        seen += std::to_string(x) + std::to_string(y) + " ";
    }
    EXPECT_EQ(seen, "13 22 31 ");
    EXPECT_EQ(qeFetchNumRecs(a), 3);
    qeEndSQL(a);
    qeEndSQL(b);
}

// Rows are read as they are fetched, yet a result set stays what the table held when it ran, whatever
// happens between two fetches; its row count and computed columns are there whenever asked.
TEST_F(Engine, AResultSetReadInPartsIsStillASnapshot)
{
    for (int r = 4; r <= 40; ++r) add_run(h, r, r % 2 ? "ASH" : "ETCH", 0);
    struct Between {
        const char* label;
        std::function<void(int)> act;  // given the open statement
    };
    const std::string other_file = db.file("OTHER.DBF");
    const Between cases[] = {
        {"update", [&](int) { ASSERT_EQ(run(h, "UPDATE VT_INFO SET RUN_NUM = RUN_NUM + 1000, RECIPE = 'X'"), 0); }},
        {"delete", [&](int) { ASSERT_EQ(run(h, "DELETE FROM VT_INFO WHERE RUN_NUM > 2"), 0); }},
        {"insert", [&](int) { add_run(h, 0, "ETCH", 0); }},
        {"pack", [&](int) { ASSERT_EQ(run(h, "DELETE FROM VT_INFO WHERE RUN_NUM = 30"), 0); ASSERT_EQ(run(h, "PACK VT_INFO"), 0); }},
        {"file replaced", [&](int) {
             vtest::SqlDir other;
             ASSERT_EQ(run(other.hdbc(), kVtInfo), 0);
             add_run(other.hdbc(), 77, "NEW", 0);
             ASSERT_TRUE(vsys::copy_file(other.file("VT_INFO.DBF"), db.file("VT_INFO.DBF")));
             EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO").rows), "77");
         }},
        {"positioned delete", [&](int s) { ASSERT_EQ(qeRecDelete(s), 0); }},
        {"count asked", [&](int s) { EXPECT_EQ(qeFetchNumRecs(s), 40); }},
    };
    const std::string sqls[] = {"SELECT RUN_NUM, RTRIM(RECIPE) FROM VT_INFO",
                                "SELECT RUN_NUM, RTRIM(RECIPE) FROM VT_INFO ORDER BY RUN_NUM DESC",
                                "SELECT RUN_NUM, RTRIM(RECIPE) FROM VT_INFO WHERE RECIPE = 'ETCH' OR RUN_NUM > 0"};
    for (const std::string& sql : sqls) {
        for (const Between& b : cases) {
            SCOPED_TRACE(sql + " / " + b.label);
            ASSERT_EQ(run(h, "DELETE FROM VT_INFO"), 0);
            ASSERT_EQ(run(h, "PACK VT_INFO"), 0);
            for (int r = 1; r <= 40; ++r) add_run(h, r, r % 2 ? "ASH" : "ETCH", 0);
            const std::string expected = flat(query(h, sql).rows);
            const int s = qeExecSQL(h, sql.c_str());
            ASSERT_GT(s, 0);
            int run_num = 0;
            char recipe[40];
            long st1 = 4, st2 = sizeof recipe;
            qeBindColLong(s, 1, &run_num, &st1);
            qeBindColChar(s, 2, recipe, &st2, "");
            std::string seen;
            for (int i = 0; i < 3 && qeFetchNext(s) == 0; ++i) seen += (seen.empty() ? "" : ";") + std::to_string(run_num) + "|" + recipe;
            b.act(s);
            while (qeFetchNext(s) == 0) seen += ";" + std::to_string(run_num) + "|" + recipe;
            EXPECT_EQ(seen, expected);
            EXPECT_EQ(qeFetchNumRecs(s), 40);
            EXPECT_EQ(qeNumModRecs(s), 40);
            EXPECT_EQ(qeColType(s, 2), vsql::kTypeText);
            ASSERT_EQ(qeFetchRandom(s, 2), 0);
            EXPECT_EQ(qeEndSQL(s), 0);
        }
    }
}

TEST_F(Engine, HandlesArePositiveSmallAndReused)
{
    int first = qeExecSQL(h, "SELECT * FROM VT_INFO");
    int second = qeExecSQL(h, "SELECT * FROM VT_INFO");
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_LE(second, 32767);
    qeEndSQL(first);
    EXPECT_EQ(qeExecSQL(h, "SELECT * FROM VT_INFO"), first);
    EXPECT_EQ(qeEndSQL(12345), vsql::kErrBadHandle);
    EXPECT_EQ(qeFetchNext(12345), vsql::kErrBadHandle);
}

TEST_F(Engine, KeyedLookupsFollowWrites)
{
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO WHERE TRACE_ID = 'T2'").rows), "2");
    ASSERT_EQ(run(h, "UPDATE VT_INFO SET TRACE_ID = 'T9' WHERE RUN_NUM = 2"), 0);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO WHERE TRACE_ID = 'T2'").rows), "");
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO WHERE TRACE_ID = 'T9'").rows), "2");
    add_run(h, 4, "NEW", 0);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = 4").rows), "4");
    ASSERT_EQ(run(h, "DELETE FROM VT_INFO WHERE RUN_NUM = 4"), 0);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = 4").rows), "");
    // A text key given as a number, a number given as text.
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = '3'").rows), "3");
}

TEST_F(Engine, EveryStatementSeesTheCurrentFiles)
{
    std::string path = db.file("VT_INFO.DBF");
    EXPECT_EQ(flat(query(h, "SELECT COUNT(*) FROM VT_INFO").rows), "3");
    // Copied in as a file under another name (as per-process tables are).
    ASSERT_TRUE(vsys::copy_file(path, db.file("0007TAGS.DBF")));
    EXPECT_EQ(flat(query(h, "SELECT COUNT(*) FROM 0007TAGS").rows), "3");
    // Replaced by another file.
    {
        vtest::SqlDir other;
        ASSERT_EQ(run(other.hdbc(), kVtInfo), 0);
        add_run(other.hdbc(), 50, "OTHER", 0);
        ASSERT_TRUE(vsys::copy_file(other.file("VT_INFO.DBF"), db.file("0007TAGS.DBF")));
    }
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM 0007TAGS").rows), "50");
    // Deleted.
    ASSERT_TRUE(vsys::delete_file(db.file("0007TAGS.DBF")));
    EXPECT_EQ(query(h, "SELECT COUNT(*) FROM 0007TAGS").error, vsql::kErrNoTable);
    // Created again with other columns.
    ASSERT_EQ(run(h, "CREATE TABLE 0007TAGS (PARAM NUMERIC(5,0), INDEX NUMERIC(5,0), VAL_TEXT CHAR(32) NOT NULL)"), 0);
    ASSERT_EQ(run(h, "INSERT INTO 0007TAGS VALUES (28, 1, 'Pressure')"), 0) << qeErrMsg();
    EXPECT_EQ(flat(query(h, "SELECT PARAM, INDEX, RTRIM(VAL_TEXT) FROM 0007TAGS").rows), "28|1|Pressure");
}

TEST_F(Engine, ConnectionsToSeveralDirectories)
{
    vtest::SqlDir second;
    ASSERT_GT(second.hdbc(), 0);
    ASSERT_NE(second.hdbc(), h);
    ASSERT_EQ(run(second.hdbc(), kVtInfo), 0);
    add_run(second.hdbc(), 77, "ARCHIVE", 0);
    EXPECT_EQ(flat(query(second.hdbc(), "SELECT RUN_NUM FROM VT_INFO").rows), "77");
    EXPECT_EQ(flat(query(h, "SELECT COUNT(*) FROM VT_INFO").rows), "3");
    // A second connection to the same directory sees the first one's writes.
    int same = qeConnect(("DSN=ZID32_Samples;DB=" + db.dir().path() + "/").c_str());
    ASSERT_GT(same, 0);
    add_run(same, 8, "X", 0);
    EXPECT_EQ(flat(query(h, "SELECT COUNT(*) FROM VT_INFO").rows), "4");
    EXPECT_EQ(qeDisconnect(same), 0);
    EXPECT_EQ(qeExecSQL(same, "SELECT * FROM VT_INFO"), 0);
    EXPECT_EQ(qeErr(), vsql::kErrBadHandle);
}

TEST(EngineConnect, BadConnectStringsFail)
{
    EXPECT_LE(qeConnect("DSN=ZID32_Samples"), 0);
    EXPECT_LE(qeConnect("DSN=ZID32_Samples; DB=/no/such/directory"), 0);
    EXPECT_STRNE(qeErrMsg(), "");
    EXPECT_LE(qeConnect(nullptr), 0);
}

TEST_F(Engine, StatementsOutliveTheirConnectionUntilEnded)
{
    int other = qeConnect(("DSN=ZID32_Samples; DB=" + db.dir().path()).c_str());
    int s1 = qeExecSQL(other, "SELECT RUN_NUM FROM VT_INFO");
    int s2 = qeExecSQL(other, "SELECT RUN_NUM FROM VT_INFO");
    ASSERT_GT(s1, 0);
    ASSERT_GT(s2, 0);
    ASSERT_EQ(qeDisconnect(other), 0);
    ASSERT_EQ(qeFetchNext(s1), 0);
    EXPECT_EQ(qeRecDelete(s1), vsql::kErrBadHandle);
    EXPECT_EQ(qeEndSQL(s1), 0);
    EXPECT_EQ(qeEndSQL(s2), 0);
}

TEST_F(Engine, PackThatFailsLeavesTheOldTable)
{
    ASSERT_EQ(run(h, "DELETE FROM VT_INFO WHERE RUN_NUM = 2"), 0);
    std::string path = db.file("VT_INFO.DBF");
    auto before = vsys::file_size(path);
    std::string bytes_before = db.dir().read("VT_INFO.DBF");
    vsys::set_fault_plan(vsys::FileFault {vsys::FileOp::rename});  // the new file is written, then the rename fails
    EXPECT_EQ(run(h, "PACK VT_INFO"), vsql::kErrFile);
    vsys::clear_fault_plan();
    EXPECT_EQ(db.dir().read("VT_INFO.DBF"), bytes_before);
    EXPECT_EQ(vtest::read_with_dbfread(path), "1|1|10|SYS|ETCH|T1|U|2026/03/01|10:00:00||0|0|0;"
                                              "3|1|10|SYS|ASH|T3|U|2026/03/01|10:00:00||1|0|0");
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO ORDER BY 1").rows), "1;3");
    vsys::set_fault_plan(vsys::FileFault::disk_full_after(100));
    EXPECT_EQ(run(h, "PACK VT_INFO"), vsql::kErrFile);
    vsys::clear_fault_plan();
    EXPECT_EQ(db.dir().read("VT_INFO.DBF"), bytes_before);
    ASSERT_EQ(run(h, "PACK VT_INFO"), 0) << qeErrMsg();
    EXPECT_LT(*vsys::file_size(path), *before);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO ORDER BY 1").rows), "1;3");
    add_run(h, 4, "AFTER", 0);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO ORDER BY 1").rows), "1;3;4");
}

TEST_F(Engine, PositionedWriteAfterPackIsRefused)
{
    int s = qeExecSQL(h, "SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = 3");
    ASSERT_EQ(qeFetchNext(s), 0);
    ASSERT_EQ(run(h, "DELETE FROM VT_INFO WHERE RUN_NUM = 1"), 0);
    ASSERT_EQ(run(h, "PACK VT_INFO"), 0);
    EXPECT_EQ(qeRecDelete(s), vsql::kErrTableChanged);
    qeEndSQL(s);
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO ORDER BY 1").rows), "2;3");
}

TEST_F(Engine, CatalogueListsTheTables)
{
    ASSERT_EQ(run(h, "CREATE TABLE CONFIG (PARAM NUMERIC(5,0), INDEX NUMERIC(5,0), VAL_TEXT CHAR(32) NOT NULL)"), 0);
    int s = qeTables(h, nullptr, nullptr, "%", 0);
    ASSERT_GT(s, 0);
    char name[129];
    long st = sizeof name;
    qeBindColChar(s, 3, name, &st, "");
    std::string names;
    while (qeFetchNext(s) == 0) names += std::string(name) + " ";
    qeEndSQL(s);
    EXPECT_EQ(names, "CONFIG VT_INFO ");
    EXPECT_EQ(qeBeginTran(h), vsql::kErrNotSupported);
}

}  // namespace

namespace {

// Table names as statements reach them: mounted on first use, dropped from the connection only.
TEST_F(Engine, DropTableForgetsTheMountAndKeepsTheFile)
{
    const std::string before = vtest::file_bytes(db.file("VT_INFO.DBF"));
    struct Case {
        const char* label;
        const char* sql;
        int error;
    };
    const Case cases[] = {
        {"mounted", "DROP TABLE VT_INFO", 0},
        {"not mounted", "DROP TABLE VT_INFO;", 0},
        {"no file", "DROP TABLE NOPE", vsql::kErrNoTable},
        {"no file, if exists", "DROP TABLE IF EXISTS NOPE", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(run(h, c.sql), c.error) << qeErrMsg();
        EXPECT_EQ(vtest::file_bytes(db.file("VT_INFO.DBF")), before);
    }
    // Mounted again by the next statement, with every row.
    EXPECT_EQ(flat(query(h, "SELECT RUN_NUM FROM VT_INFO ORDER BY RUN_NUM").rows), "1;2;3");
    EXPECT_EQ(flat(query(h, "SELECT COUNT(*) FROM main.VT_INFO").rows), "3");
}

TEST_F(Engine, ManyTablesMountedInOneConnectionEachAnswerForItself)
{
    for (int t = 0; t < 120; ++t) {
        const std::string name = vsys::strprintf("R%03d", t);
        ASSERT_EQ(run(h, "CREATE TABLE " + name + " (K NUMERIC(5,0), NAME CHAR(8))"), 0) << qeErrMsg();
        ASSERT_EQ(run(h, vsys::strprintf("INSERT INTO %s VALUES (%d, '%s')", name.c_str(), t, name.c_str())), 0) << qeErrMsg();
    }
    EXPECT_EQ(flat(query(h, "SELECT K, NAME FROM R007").rows), "7|R007");
    EXPECT_EQ(flat(query(h, "SELECT a.K + b.K, c.NAME FROM R001 a, R119 b, r050 c").rows), "120|R050");
    // A table whose columns changed under another name's mount is mounted afresh.
    std::filesystem::remove(db.file("R010.DBF"));
    ASSERT_EQ(run(h, "CREATE TABLE R010 (OTHER CHAR(4))"), 0) << qeErrMsg();
    EXPECT_EQ(flat(query(h, "SELECT * FROM R010").rows), "");
    ASSERT_EQ(run(h, "INSERT INTO R010 VALUES ('x')"), 0) << qeErrMsg();
    EXPECT_EQ(flat(query(h, "SELECT * FROM R010").rows), "x");
    EXPECT_EQ(flat(query(h, "SELECT NAME FROM R011").rows), "R011");
}

}  // namespace
