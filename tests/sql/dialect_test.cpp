// The statements the system writes, run on small tables: each statement against the rows it must give.
#include <gtest/gtest.h>

#include "platform/sql/engine.h"
#include "platform/sys/files.h"
#include "tests/sql/sql_fixture.h"

namespace {

using vtest::flat;
using vtest::query;
using vtest::run;

class Dialect : public ::testing::Test {
protected:
    void SetUp() override
    {
        int h = db.hdbc();
        ASSERT_GT(h, 0);
        const char* setup[] = {
            "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0),NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID CHAR(16), "
            "RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10) , SAV_TIME CHAR(8), "
            "COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))",
            "CREATE TABLE OOC_ALRM (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), CHANNEL NUMERIC(5,0), TYPE NUMERIC(5,0), "
            "SUB_TYPE NUMERIC(5,0), INDEX NUMERIC(5,0), RULE NUMERIC(9,0), CLEARED NUMERIC(5,0))",
            "CREATE TABLE ENDP_DAT (SYSTEM_ID CHAR(16) NOT NULL, TRACE_ID CHAR(32) NOT NULL, COMMENT CHAR(64) NOT NULL, "
            "SAV_DATE CHAR(10) NOT NULL, SAV_TIME CHAR(8) NOT NULL, RECIPE CHAR(32) NOT NULL, RUN NUMERIC(9,0), "
            "WAFER NUMERIC(9,0), EP_TIME NUMERIC(9,0), CLEAN_TIME NUMERIC(9,0), MAX_PART NUMERIC(9,0))",
            "CREATE TABLE ENDP_PAR (RUN NUMERIC(9,0), SWITCHES CHAR(19) NOT NULL, OP_INT NUMERIC(19,9))",
            "CREATE TABLE CONFIG (PARAM NUMERIC(5,0), INDEX NUMERIC(5,0), VAL_TEXT CHAR(32) NOT NULL)",
            "CREATE TABLE 0003ACTC (CHANNEL NUMERIC(5,0), CHART_TYPE NUMERIC(5,0), DATA_PARAM NUMERIC(5,0), "
            "D_INDEX NUMERIC(5,0), POINTS NUMERIC(9,0), RULES NUMERIC(9,0), LIMITS NUMERIC(5,0), PRECOAT NUMERIC(5,0), "
            "PAGER NUMERIC(9,0) , D_TREE CHAR(104), P_TEXT CHAR(254), HALT NUMERIC(9,0))",
            "CREATE TABLE 0003LIMI (TYPE NUMERIC(5,0), SUBTYPE NUMERIC(5,0), CHANNEL NUMERIC(5,0), STEP_INDEX NUMERIC(5,0), "
            "LCL NUMERIC(19,9), TARGET NUMERIC(19,9), UCL NUMERIC(19,9))",
            "CREATE TABLE AREA_05 (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), AREA NUMERIC(19,9))",
            "INSERT INTO VT_INFO VALUES (1, 2, 10, 'SYS_A', 'ETCH1', 'SYS_A:2026/03/01 10:00:00', 'U0000000003 02 10.0', "
            "'2026/03/01', '10:00:00', 'first', 0, 1, 0)",
            "INSERT INTO VT_INFO VALUES (2, 1, 10, 'SYS_A', 'ETCH2', 'SYS_A:2026/03/02 11:00:00', 'U0000000003 02 10.0', "
            "'2026/03/02', '11:00:00', 'No Wafer here', 0, 0, 0)",
            "INSERT INTO VT_INFO VALUES (3, 5, -5, 'SYS_B', 'ETCH1 PRECOAT', 'SYS_B:2026/03/03 09:30:00', "
            "'U0000000001 01 10.0', '2026/03/03', '09:30:00', 'it''s', 1, 0, 0)",
            "INSERT INTO VT_INFO VALUES (-3, 1, 10, 'SYS_A', 'POR', 'POR', 'U0000000001 01 10.0', '2026/02/01', "
            "'08:00:00', 'Type comments here', 1, 1, 0)",
            "INSERT INTO OOC_ALRM VALUES (1, 1, 3, 1, 0, 2, 5, 0)",
            "INSERT INTO OOC_ALRM VALUES (1, 2, 3, 1, 0, 2, 6, 1)",
            "INSERT INTO OOC_ALRM VALUES (3, 1, 4, 4, 0, 0, 0, 0)",
            "INSERT INTO OOC_ALRM VALUES (7, 1, 1, 17, 0, 0, 1, 0)",
            "INSERT INTO ENDP_DAT VALUES ('SYS_E', 'EP:2026/03/02 12:00:00', 'c', '2026/03/02', '12:00:00', 'CLEAN', "
            "7, 1, 100, 200, 50)",
            "INSERT INTO CONFIG VALUES (1, 0, 'beta')",
            "INSERT INTO CONFIG VALUES (1, 1, 'alpha')",
            "INSERT INTO CONFIG VALUES (2, 0, 'gamma')",
            "INSERT INTO 0003ACTC VALUES (5, 4, 0, 0, 300, 1, 0, 0, 0, 's_vector', 'eMpTy tExT', 0)",
            "INSERT INTO 0003LIMI VALUES (5, 0, 1, 0, 0.0, 15.0, 1000000000)",
            "INSERT INTO 0003LIMI VALUES (1, 4, 2, 3, -0.000000001, 0.5, 123456789.123456789)",
            "INSERT INTO AREA_05 VALUES (1, 2, 13.25)",
            "INSERT INTO AREA_05 VALUES (1, 1, 12.5)",
            "INSERT INTO AREA_05 VALUES (9, 1, 1.0)",
        };
        for (const char* sql : setup) ASSERT_EQ(run(h, sql), 0) << sql << ": " << qeErrMsg();
    }
    vtest::SqlDir db;
};

struct Case {
    const char* sql;
    const char* expected;
};

TEST_F(Dialect, StatementsGiveTheirRows)
{
    const Case cases[] = {
        {"SELECT RUN_NUM, RTRIM(RECIPE), NUM_WAF FROM VT_INFO WHERE RUN_NUM = 2", "2|ETCH2|1"},
        {"SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM ASC", "1;2;3"},
        {"SELECT MAX(RUN_NUM) FROM VT_INFO", "3"},
        {"SELECT MIN(RUN_NUM) FROM VT_INFO", "-3"},
        {"SELECT COUNT(*) FROM OOC_ALRM", "4"},
        {"SELECT MAX(RUN) FROM ENDP_PAR", "NULL"},
        {"SELECT DISTINCT RTRIM(RECIPE) FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY 1 ASC", "ETCH1;ETCH1 PRECOAT;ETCH2"},
        {"SELECT DISTINCT SYSTEM_ID FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY SYSTEM_ID ASC", "SYS_A;SYS_B"},
        {"SELECT I.RUN_NUM,RTRIM(I.RECIPE),E.WAFER,E.INDEX,E.RULE FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM "
         "ORDER BY 5",
         "3|ETCH1 PRECOAT|1|0|0;1|ETCH1|1|2|5;1|ETCH1|2|2|6"},
        {"SELECT E.CLEARED FROM VT_INFO I,OOC_ALRM E  WHERE E.RUN = I.RUN_NUM AND E.CHANNEL = 3 AND E.TYPE = 1 AND "
         "E.SUB_TYPE = 0 AND  E.INDEX = 2 AND E.RULE = 6 AND I.RECIPE = 'ETCH1'",
         "1"},
        {"SELECT E.CLEARED FROM OOC_ALRM E WHERE E.CHANNEL = 3 AND E.TYPE = 1 AND E.SUB_TYPE = 0 AND E.INDEX = 2 AND "
         "E.RULE = 5",
         "0"},
        {"SELECT I.RUN_NUM FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM AND E.CLEARED = 0 UNION ALL SELECT C.RUN "
         "FROM ENDP_DAT C, OOC_ALRM E WHERE E.RUN = C.RUN AND E.CLEARED = 0 ORDER BY 1",
         "1;3;7"},
        {"SELECT RUN_NUM, RTRIM(TRACE_ID) FROM VT_INFO WHERE RUN_NUM > 0 UNION SELECT RUN, RTRIM(TRACE_ID) FROM "
         "ENDP_DAT WHERE RUN > 0 ORDER BY 2 DESC",
         "3|SYS_B:2026/03/03 09:30:00;2|SYS_A:2026/03/02 11:00:00;1|SYS_A:2026/03/01 10:00:00;7|EP:2026/03/02 12:00:00"},
        {"SELECT RUN_NUM, SAV_DATE, SAV_TIME FROM VT_INFO WHERE RUN_NUM > 0 UNION SELECT RUN, SAV_DATE, SAV_TIME "
         "FROM ENDP_DAT WHERE RUN > 0 ORDER BY 2 DESC, 3 DESC",
         "3|2026/03/03|09:30:00;7|2026/03/02|12:00:00;2|2026/03/02|11:00:00;1|2026/03/01|10:00:00"},
        {"SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM > 0 AND TRACE_ID IN('SYS_A:2026/03/01 10:00:00',"
         "'SYS_B:2026/03/03 09:30:00') ORDER BY RUN_NUM",
         "1;3"},
        {"SELECT RUN_NUM FROM VT_INFO WHERE (RUN_NUM > 0 AND NOT(COMMENT LIKE '%No Wafer%')) ORDER BY 1", "1;3"},
        {"SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = -3", "-3"},
        {"SELECT RATE FROM VT_INFO WHERE RATE < -1", "-5"},
        {"SELECT PARAM FROM CONFIG WHERE PARAM <2 AND INDEX <=0", "1"},
        {"SELECT RUN_NUM FROM VT_INFO WHERE COMMENT = 'it''s'", "3"},
        {"SELECT RTRIM(COMMENT) FROM VT_INFO WHERE RUN_NUM = 3", "it's"},
        {"SELECT RUN_NUM FROM VT_INFO WHERE RECIPE = 'ETCH2   '", "2"},
        {"SELECT CHANNEL, RTRIM(P_TEXT), RTRIM(D_TREE) FROM 0003ACTC WHERE CHART_TYPE = 4", "5|eMpTy tExT|s_vector"},
        {"SELECT PARAM, INDEX, RTRIM(VAL_TEXT) FROM CONFIG WHERE PARAM = 1 AND INDEX > 0 ORDER BY INDEX ASC", "1|1|alpha"},
        {"SELECT PARAM, INDEX, RTRIM(VAL_TEXT) FROM CONFIG WHERE PARAM = 1  AND INDEX <= 5 ORDER BY VAL_TEXT ASC",
         "1|1|alpha;1|0|beta"},
        {"SELECT * FROM CONFIG WHERE VAL_TEXT = 'gamma' AND INDEX <= 3", "2|0|gamma"},
        {"SELECT RUN_NUM, WAFER, AREA FROM AREA_05, VT_INFO WHERE RUN = RUN_NUM ORDER BY 2",
         "1|1|12.500000000;1|2|13.250000000"},
        {"SELECT WAFER, AREA  FROM AREA_05 WHERE RUN = 1 ORDER BY WAFER", "1|12.500000000;2|13.250000000"},
        {"SELECT UCL FROM 0003LIMI WHERE TYPE = 5", "1000000000.000000000"},
        {"SELECT LCL, TARGET, UCL FROM 0003LIMI WHERE TYPE = 1 AND SUBTYPE = 4 AND CHANNEL = 2 AND STEP_INDEX = 3",
         "-0.000000001|0.500000000|123456789.123456791"},
        {"SELECT RTRIM(TRACE_ID) FROM VT_INFO WHERE RUN_NUM < 3 AND RECIPE = 'ETCH1' ORDER BY SAV_DATE DESC, "
         "SAV_TIME DESC",
         "SYS_A:2026/03/01 10:00:00"},
        {"SELECT RUN, WAFER, CLEAN_TIME FROM ENDP_DAT WHERE RUN > 0", "7|1|200"},
        {"select run_num from vt_info where run_num between 2 and 3 order by 1", "2;3"},
    };
    for (const Case& c : cases) {
        vtest::QueryResult r = query(db.hdbc(), c.sql);
        EXPECT_GT(r.handle, 0) << c.sql << ": " << r.message;
        EXPECT_EQ(flat(r.rows), c.expected) << c.sql;
    }
}

TEST_F(Dialect, WritesChangeTheRowsTheyName)
{
    struct Step {
        const char* statement;
        const char* check;
        const char* expected;
    };
    const Step steps[] = {
        {"UPDATE VT_INFO SET COMMENT = 'new ''one''' WHERE RUN_NUM = 2", "SELECT RTRIM(COMMENT) FROM VT_INFO WHERE RUN_NUM = 2",
         "new 'one'"},
        {"UPDATE VT_INFO SET COMPLETE = -4 WHERE RUN_NUM = 3", "SELECT COMPLETE FROM VT_INFO WHERE RUN_NUM = 3", "-4"},
        {"UPDATE OOC_ALRM SET CLEARED = 1", "SELECT COUNT(*) FROM OOC_ALRM WHERE CLEARED = 0", "0"},
        {"DELETE FROM OOC_ALRM WHERE RUN < 3", "SELECT RUN FROM OOC_ALRM ORDER BY RUN", "3;7"},
        {"DELETE FROM VT_INFO WHERE RUN_NUM >= 2 AND RUN_NUM > 0", "SELECT RUN_NUM FROM VT_INFO ORDER BY 1", "-3;1"},
        {"DELETE FROM CONFIG WHERE PARAM = 1 OR PARAM = 27", "SELECT PARAM, INDEX FROM CONFIG", "2|0"},
        {"INSERT INTO CONFIG VALUES (4, 2, 'x')", "SELECT COUNT(*) FROM CONFIG WHERE VAL_TEXT = 'x'", "1"},
        {"UPDATE CONFIG SET VAL_TEXT = 'y' WHERE INDEX = 2", "SELECT PARAM, RTRIM(VAL_TEXT) FROM CONFIG WHERE INDEX = 2",
         "4|y"},
        {"DELETE FROM 0003LIMI WHERE TYPE > 1 AND TYPE <25", "SELECT TYPE FROM 0003LIMI", "1"},
        {"UPDATE 0003ACTC SET POINTS = 25, P_TEXT = 'Check the pump' WHERE CHANNEL = 5 AND CHART_TYPE = 4",
         "SELECT POINTS, RTRIM(P_TEXT) FROM 0003ACTC ORDER BY CHART_TYPE ASC, CHANNEL ASC, D_INDEX ASC, DATA_PARAM ASC",
         "25|Check the pump"},
        {"PACK OOC_ALRM", "SELECT RUN FROM OOC_ALRM ORDER BY RUN", "3;7"},
        {"PACK VT_INFO", "SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = 1", "1"},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(run(db.hdbc(), s.statement), 0) << s.statement << ": " << qeErrMsg();
        EXPECT_EQ(flat(query(db.hdbc(), s.check).rows), s.expected) << s.statement;
    }
}

TEST_F(Dialect, FailuresCarryTheirCodes)
{
    struct Failure {
        const char* sql;
        int code;
    };
    const Failure failures[] = {
        {"SELECT * FROM NO_SUCH", vsql::kErrNoTable},
        {"INSERT INTO STEP0501 VALUES (1, 1, 0.1, 0.2, 0.3, 0.4)", vsql::kErrNoTable},
        {"CREATE TABLE VT_INFO (A NUMERIC(5,0))", vsql::kTableExists},
        {"create table config (A CHAR(3))", vsql::kTableExists},
        {"SELECT FROM WHERE", vsql::kErrSql},
        {"SELECT NO_COLUMN FROM VT_INFO", vsql::kErrSql},
        {"PACK NO_SUCH", vsql::kErrNoTable},
        {"SELECT * FROM \"../etc/passwd\"", vsql::kErrNoTable},
        {"INSERT INTO CONFIG VALUES (1, 123456, 'x')", vsql::kErrValue},
        {"CREATE TABLE BAD (A_VERY_LONG_NAME NUMERIC(5,0))", vsql::kErrSql},
        {"CREATE TABLE BAD (A BLOB(5))", vsql::kErrSql},
        {"SELECT 1; DELETE FROM CONFIG", vsql::kErrSql},
    };
    for (const Failure& f : failures) {
        int h = qeExecSQL(db.hdbc(), f.sql);
        EXPECT_EQ(h, 0) << f.sql;
        EXPECT_EQ(qeErr(), f.code) << f.sql << ": " << qeErrMsg();
        EXPECT_STRNE(qeErrMsg(), "") << f.sql;
    }
    EXPECT_EQ(flat(query(db.hdbc(), "SELECT COUNT(*) FROM CONFIG").rows), "3");
    // The CREATE of an existing table left it as it was.
    EXPECT_EQ(flat(query(db.hdbc(), "SELECT PARAM, INDEX, RTRIM(VAL_TEXT) FROM CONFIG ORDER BY 1, 2").rows),
              "1|0|beta;1|1|alpha;2|0|gamma");
    EXPECT_FALSE(vsys::find_file_nocase(db.dir().path(), "BAD.DBF").has_value());
}

}  // namespace
