// The DB functions: handles, binding, fetching, positioned writes, the error state and its messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/sql_access.h"
#include "platform/sql/engine.h"
#include "platform/sys/message_box.h"
#include "tests/sql/sql_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

const char* kVtInfo =
    "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0),NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID CHAR(16), "
    "RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10) , SAV_TIME CHAR(8), "
    "COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))";

class Access : public ::testing::Test {
protected:
    void SetUp() override
    {
        hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
        ASSERT_GT(hdbc, 0);
        ASSERT_EQ(DBImmediateSQL(hdbc, kVtInfo), 0) << DBErrorMessage();
        ASSERT_EQ(DBImmediateSQL(hdbc, "INSERT INTO VT_INFO VALUES (1, 2, 10, 'SYS', 'ETCH', 'SYS:2026/03/01 10:00:00', "
                                       "'U0000000003 02 10.0', '2026/03/01', '10:00:00', 'c', 0, 0, 0)"),
                  0);
        ASSERT_EQ(DBImmediateSQL(hdbc, "CREATE TABLE ENDP_PAR (RUN NUMERIC(9,0), SWITCHES CHAR(19) NOT NULL)"), 0);
    }
    void TearDown() override
    {
        if (hdbc > 0) DBDisconnect(hdbc);
    }
    vtest::TempDir dir;
    int hdbc = 0;
};

TEST_F(Access, MaxOnAnEmptyTableFetchesOneNullRow)
{
    int s = DBActivateSQL(hdbc, "SELECT MAX(RUN) FROM ENDP_PAR");
    ASSERT_GT(s, 0);
    int max_run = 5;
    long status = 0;
    ASSERT_EQ(DBBindColInt(s, 1, &max_run, &status), 0);
    EXPECT_EQ(status, 4);  // preset to the variable's size
    EXPECT_EQ(DBFetchNext(s), 0);
    EXPECT_EQ(status, -2);
    EXPECT_NE(DBFetchNext(s), 0);
    EXPECT_EQ(DBDeactivateSQL(s), 0);
}

TEST_F(Access, EmptyResultEndsAtTheFirstFetch)
{
    int s = DBActivateSQL(hdbc, "SELECT * FROM VT_INFO WHERE RUN_NUM = 99");
    ASSERT_GT(s, 0);
    EXPECT_NE(DBFetchNext(s), 0);
    EXPECT_EQ(DBDeactivateSQL(s), 0);
}

TEST_F(Access, TextBindingWarnsOnlyWhenTheColumnIsWider)
{
    struct Case {
        int width;
        int result;
        const char* fetched;
    };
    const Case cases[] = {{33, 0, "SYS:2026/03/01 10:00:00         "},
                          {32, 0, "SYS:2026/03/01 10:00:00        "},
                          {31, 99, "SYS:2026/03/01 10:00:00       "}};
    for (const Case& c : cases) {
        int s = DBActivateSQL(hdbc, "SELECT TRACE_ID FROM VT_INFO");
        ASSERT_GT(s, 0);
        std::vector<char> buffer(c.width + 8, 'Z');
        long status = 0;
        EXPECT_EQ(DBBindColChar(s, 1, c.width, buffer.data(), &status, ""), c.result) << c.width;
        if (c.result == 99) {
            EXPECT_STREQ(DBErrorMessage(), "Warning target character buffer is smaller than the column width");
            EXPECT_EQ(DBStatusWord(), 99);
        }
        // The binding stays in force and never writes past width - 1 characters and the NUL.
        ASSERT_EQ(DBFetchNext(s), 0);
        EXPECT_STREQ(buffer.data(), c.fetched) << c.width;
        EXPECT_EQ(buffer[c.width], 'Z') << c.width;
        EXPECT_EQ(DBStatusWord(), 0);  // the fetch reset the status word
        DBDeactivateSQL(s);
    }
    // An RTRIM of the column is no wider than the column.
    int s = DBActivateSQL(hdbc, "SELECT RTRIM(TRACE_ID) FROM VT_INFO");
    char buffer[33];
    long status = 0;
    EXPECT_EQ(DBBindColChar(s, 1, 33, buffer, &status, ""), 0);
    DBDeactivateSQL(s);
}

TEST_F(Access, DisconnectEndsEveryOpenStatement)
{
    int a = DBActivateSQL(hdbc, "SELECT * FROM VT_INFO");
    int b = DBActivateSQL(hdbc, "SELECT RUN_NUM FROM VT_INFO");
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(DBDisconnect(hdbc), 0);
    EXPECT_EQ(qeFetchNext(a), vsql::kErrBadHandle);
    EXPECT_EQ(qeFetchNext(b), vsql::kErrBadHandle);
    hdbc = 0;
}

TEST_F(Access, ImmediateSqlResults)
{
    EXPECT_EQ(DBImmediateSQL(hdbc, "SELECT * FROM VT_INFO"), 0);
    EXPECT_EQ(DBImmediateSQL(hdbc, kVtInfo), 4);
    EXPECT_EQ(DBImmediateSQL(hdbc, "INSERT INTO STEP0501 VALUES (1, 1, 0, 0, 0, 0)"), vsql::kErrNoTable);
    EXPECT_NE(std::string(DBErrorMessage()).find("STEP0501"), std::string::npos);
    EXPECT_EQ(DBImmediateSQL(-1, "SELECT * FROM VT_INFO"), vsql::kErrBadHandle);
    EXPECT_LE(DBActivateSQL(-1, "SELECT * FROM VT_INFO"), 0);
}

TEST_F(Access, MessageOfAPutThatReturnedMinusOneIsKept)
{
    auto put_too_long = [&] {
        int s = DBActivateSQL(hdbc, "SELECT * FROM VT_INFO WHERE RUN_NUM = 1");
        char system_id[65] = "";
        long status = 0;
        EXPECT_EQ(DBBindColChar(s, 4, 65, system_id, &status, ""), 0);
        EXPECT_EQ(DBFetchNext(s), 0);
        std::strcpy(system_id, "A SYSTEM NAME LONGER THAN SIXTEEN");
        EXPECT_EQ(DBPutRecord(s), -1);
        return s;
    };
    int s = put_too_long();
    std::string kept = DBErrorMessage();
    EXPECT_NE(kept.find("SYSTEM_ID"), std::string::npos);
    // The record was stored (cut to the column).
    int q = DBActivateSQL(hdbc, "SELECT RTRIM(SYSTEM_ID) FROM VT_INFO WHERE RUN_NUM = 1");
    char text[40];
    long status = 0;
    DBBindColChar(q, 1, 40, text, &status, "");
    ASSERT_EQ(DBFetchNext(q), 0);
    EXPECT_STREQ(text, "A SYSTEM NAME LO");
    // DBActivateSQL freed the kept message.
    EXPECT_NE(std::string(DBErrorMessage()), kept);
    DBDeactivateSQL(q);
    DBDeactivateSQL(s);

    // Kept across a fetch and a failing immediate statement; freed by DBDeactivateSQL.
    s = put_too_long();
    EXPECT_NE(DBFetchNext(s), 0);
    DBImmediateSQL(hdbc, "INSERT INTO NO_SUCH VALUES (1)");
    EXPECT_EQ(std::string(DBErrorMessage()), kept);
    DBDeactivateSQL(s);
    EXPECT_NE(std::string(DBErrorMessage()), kept);

    // Freed by a connect call.
    s = put_too_long();
    int second = DBConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
    EXPECT_NE(std::string(DBErrorMessage()), kept);
    DBDisconnect(second);
    DBDeactivateSQL(s);
}

TEST_F(Access, InsertUpdateAndDeleteThroughAResultSet)
{
    // Insert: activate, bind every column, create, set, put.
    int s = DBActivateSQL(hdbc, "SELECT * FROM VT_INFO WHERE RUN_NUM = 2");
    int run_num = 0, num_waf = 0, rate = 0;
    short trace_del = 0, complete = 0, cassette = 0;
    char system_id[17], recipe[33], trace_id[33], channels[20], sav_date[11], sav_time[9], comment[65];
    long st[13];
    ASSERT_EQ(DBBindColInt(s, 1, &run_num, &st[0]), 0);
    ASSERT_EQ(DBBindColInt(s, 2, &num_waf, &st[1]), 0);
    ASSERT_EQ(DBBindColInt(s, 3, &rate, &st[2]), 0);
    ASSERT_EQ(DBBindColChar(s, 4, 17, system_id, &st[3], ""), 0);
    ASSERT_EQ(DBBindColChar(s, 5, 33, recipe, &st[4], ""), 0);
    ASSERT_EQ(DBBindColChar(s, 6, 33, trace_id, &st[5], ""), 0);
    ASSERT_EQ(DBBindColChar(s, 7, 20, channels, &st[6], ""), 0);
    ASSERT_EQ(DBBindColChar(s, 8, 11, sav_date, &st[7], ""), 0);
    ASSERT_EQ(DBBindColChar(s, 9, 9, sav_time, &st[8], ""), 0);
    ASSERT_EQ(DBBindColChar(s, 10, 65, comment, &st[9], ""), 0);
    ASSERT_EQ(DBBindColShort(s, 11, &trace_del, &st[10]), 0);
    ASSERT_EQ(DBBindColShort(s, 12, &complete, &st[11]), 0);
    ASSERT_EQ(DBBindColShort(s, 13, &cassette, &st[12]), 0);
    ASSERT_EQ(DBCreateRecord(s), 0);
    run_num = 2;
    num_waf = 1;
    rate = -5;
    std::strcpy(system_id, "SYS");
    std::strcpy(recipe, "ASH");
    std::strcpy(trace_id, "SYS:2026/03/02 10:00:00");
    std::strcpy(channels, "U0000000001 01 10.0");
    std::strcpy(sav_date, "2026/03/02");
    std::strcpy(sav_time, "10:00:00");
    std::strcpy(comment, "");
    trace_del = 0;
    complete = 0;
    cassette = 7;
    ASSERT_EQ(DBPutRecord(s), 0) << DBErrorMessage();
    ASSERT_EQ(DBDeactivateSQL(s), 0);

    // Update every row of a query whose WHERE names the column being changed.
    s = DBActivateSQL(hdbc, "SELECT RUN_NUM, TRACE_DEL FROM VT_INFO WHERE TRACE_DEL = 0 ORDER BY RUN_NUM ASC");
    ASSERT_EQ(DBBindColInt(s, 1, &run_num, &st[0]), 0);
    ASSERT_EQ(DBBindColShort(s, 2, &trace_del, &st[1]), 0);
    int updated = 0;
    while (DBFetchNext(s) == 0) {
        trace_del = 1;
        ASSERT_EQ(DBPutRecord(s), 0);
        ++updated;
    }
    DBDeactivateSQL(s);
    EXPECT_EQ(updated, 2);
    EXPECT_EQ(vtest::flat(vtest::query(hdbc, "SELECT RUN_NUM, RATE, TRACE_DEL, CASSETTE, RTRIM(RECIPE) FROM VT_INFO "
                                             "ORDER BY 1").rows),
              "1|10|1|0|ETCH;2|-5|1|7|ASH");

    // Delete the fetched row until the delete reports failure.
    s = DBActivateSQL(hdbc, "SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = 2");
    DBBindColInt(s, 1, &run_num, &st[0]);
    ASSERT_EQ(DBFetchNext(s), 0);
    EXPECT_EQ(DBDeleteRecord(s), 0);
    EXPECT_NE(DBDeleteRecord(s), 0);
    DBDeactivateSQL(s);
    EXPECT_EQ(vtest::flat(vtest::query(hdbc, "SELECT RUN_NUM FROM VT_INFO").rows), "1");
}

TEST_F(Access, ProgramStopEndsEverything)
{
    int s = DBActivateSQL(hdbc, "SELECT * FROM VT_INFO");
    ASSERT_GT(s, 0);
    DBRunStateCallback(1);  // other run states do nothing
    EXPECT_EQ(qeFetchNext(s), 0);
    DBRunStateCallback(DB_RUN_STATE_STOP);
    EXPECT_EQ(qeFetchNext(s), vsql::kErrBadHandle);
    EXPECT_EQ(DBImmediateSQL(hdbc, "SELECT * FROM VT_INFO"), vsql::kErrBadHandle);
    hdbc = 0;
    // The engine starts again on the next call.
    int again = DBConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
    EXPECT_GT(again, 0);
    EXPECT_EQ(DBImmediateSQL(again, "SELECT * FROM VT_INFO"), 0);
    DBDisconnect(again);
}

TEST_F(Access, MapsBindByNameAndCreateTables)
{
    int map = DBBeginMap(hdbc);
    ASSERT_GT(map, 0);
    char name[9];
    short count = 0;
    int big = 0;
    double value = 0;
    long st[4];
    EXPECT_EQ(DBMapColumnToChar(map, "NAME", 9, name, &st[0], ""), 0);
    EXPECT_EQ(DBMapColumnToShort(map, "CNT", &count, &st[1]), 0);
    EXPECT_EQ(DBMapColumnToInt(map, "BIG", &big, &st[2]), 0);
    EXPECT_EQ(DBMapColumnToDouble(map, "VAL", &value, &st[3]), 0);
    ASSERT_EQ(DBCreateTableFromMap(map, "MAPPED"), 0) << DBErrorMessage();
    EXPECT_EQ(vtest::fields_with_dbfread(dir.file("MAPPED.DBF")), "NAME C 8 0,CNT N 6 0,BIG N 11 0,VAL N 15 7");
    ASSERT_EQ(DBImmediateSQL(hdbc, "INSERT INTO MAPPED VALUES ('pump', 3, 123456, 2.5)"), 0);
    int s = DBActivateMap(map, "MAPPED");
    ASSERT_GT(s, 0);
    ASSERT_EQ(DBFetchNext(s), 0);
    EXPECT_STREQ(name, "pump    ");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(big, 123456);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(DBDeactivateMap(map), 0);
    EXPECT_EQ(qeFetchNext(s), vsql::kErrBadHandle);
    // An unknown map: -79, which DBError reports before the engine's code.
    EXPECT_EQ(DBMapColumnToInt(map, "X", &big, &st[0]), DB_NO_SUCH_MAP);
    EXPECT_EQ(DBError(), DB_NO_SUCH_MAP);
    EXPECT_EQ(DBDeactivateMap(map), DB_NO_SUCH_MAP);
    EXPECT_EQ(DBCreateTableFromMap(map, "X"), DB_NO_SUCH_MAP);
    int other = DBBeginMap(hdbc);
    EXPECT_EQ(other, map + 1);
    EXPECT_EQ(DBDeactivateMap(other), 0);
    EXPECT_NE(DBError(), DB_NO_SUCH_MAP);  // reset by the map call
}

TEST_F(Access, CatalogueAndOtherCalls)
{
    int s = DBTables(hdbc, nullptr, nullptr, "VT%", 0);
    ASSERT_GT(s, 0);
    EXPECT_EQ(DBNumberOfRecords(s), 1);
    EXPECT_STREQ(DBColumnName(s, 3), "TABLE_NAME");
    qeEndSQL(s);
    s = DBActivateSQL(hdbc, "SELECT * FROM VT_INFO");
    EXPECT_EQ(DBNumberOfColumns(s), 13);
    EXPECT_EQ(DBColumnType(s, 4), 1);
    EXPECT_EQ(DBColumnWidth(s, 4), 16);
    EXPECT_EQ(DBAllowFetchAnyDirection(s, 1), 0);
    ASSERT_EQ(DBFetchNext(s), 0);
    EXPECT_NE(DBFetchNext(s), 0);
    EXPECT_EQ(DBFetchPrev(s), 0);
    EXPECT_EQ(DBFetchRandom(s, 1), 0);
    DBDeactivateSQL(s);
    char* copy = DBStrDup("text");
    EXPECT_STREQ(copy, "text");
    free(copy);
    EXPECT_EQ(DBStrDup(nullptr), nullptr);
    EXPECT_NE(DBBeginTran(hdbc), 0);
}

TEST_F(Access, CheckingTwinsReportFailures)
{
    std::vector<std::string> shown;
    vsys::set_message_box_handler([&](const std::string&, const std::string& text) { shown.push_back(text); });
    EXPECT_GT(_UP_DBActivateSQL(hdbc, "SELECT * FROM VT_INFO"), 0);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(_UP_DBActivateSQL(hdbc, "SELECT * FROM NO_SUCH"), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("NO_SUCH"), std::string::npos);
    int s = _UP_DBActivateSQL(hdbc, "SELECT * FROM VT_INFO WHERE RUN_NUM = 5");
    EXPECT_NE(_UP_DBFetchNext(s), 0);  // end of data is no failure
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_NE(_UP_DBBindColInt(s, 1, nullptr, nullptr), 0);
    EXPECT_GE(shown.size(), 3u);
    vsys::set_message_box_handler(nullptr);
}

}  // namespace
