// The engine's lexer: which names get quoted, what stays as written, and how CREATE TABLE and PACK are read.
#include <gtest/gtest.h>

#include "platform/sql/sql_text.h"

namespace {

using vsql::read_statement;
using vsql::StatementText;

TEST(SqlText, QuotesDigitNamesAndReservedColumnsOnly)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"SELECT * FROM 0003ACTC", "SELECT * FROM \"0003ACTC\""},
        {"SELECT E.INDEX FROM OOC_ALRM E WHERE E.INDEX = 2", "SELECT E.\"INDEX\" FROM OOC_ALRM E WHERE E.\"INDEX\" = 2"},
        {"SELECT WAFER, OVER FROM STEP0101", "SELECT WAFER, \"OVER\" FROM STEP0101"},
        {"SELECT * FROM CONFIG WHERE VAL_TEXT = 'INDEX 0003ACTC ''x'''",
         "SELECT * FROM CONFIG WHERE VAL_TEXT = 'INDEX 0003ACTC ''x'''"},
        {"INSERT INTO 0003LIMI VALUES (5, -1.5e-3, 15.0, .5, 0)", "INSERT INTO \"0003LIMI\" VALUES (5, -1.5e-3, 15.0, .5, 0)"},
        {"SELECT MAX(RUN) FROM ENDP_PAR", "SELECT MAX(RUN) FROM ENDP_PAR"},
        {"DELETE FROM X WHERE NOT(A LIKE '%a%') AND B IN (1,2)", "DELETE FROM X WHERE NOT(A LIKE '%a%') AND B IN (1,2)"},
    };
    for (const Case& c : cases) EXPECT_EQ(read_statement(c.in).sql, c.out) << c.in;
}

TEST(SqlText, OnlyPlainOneTableQueriesCarryTheRecordNumber)
{
    EXPECT_EQ(read_statement("SELECT * FROM VT_INFO WHERE RUN_NUM = 1").sql_with_rowid,
              "SELECT * , _ROWID_ FROM VT_INFO WHERE RUN_NUM = 1");
    EXPECT_EQ(read_statement("SELECT WAFER FROM OOC_ALRM E ORDER BY 1").sql_with_rowid,
              "SELECT WAFER , _ROWID_ FROM OOC_ALRM E ORDER BY 1");
    const char* not_plain[] = {
        "SELECT I.RUN_NUM FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM",
        "SELECT DISTINCT SYSTEM_ID FROM VT_INFO",
        "SELECT MAX(RUN) FROM ENDP_PAR",
        "SELECT COUNT(*) FROM OOC_ALRM",
        "SELECT RUN FROM A UNION SELECT RUN FROM B",
        "UPDATE VT_INFO SET COMPLETE = 1",
    };
    for (const char* sql : not_plain) EXPECT_EQ(read_statement(sql).sql_with_rowid, "") << sql;
}

TEST(SqlText, CreateTableAndPack)
{
    StatementText st = read_statement(
        "CREATE TABLE 0003ACTC (CHANNEL NUMERIC(5,0), D_TREE CHAR(104), P_TEXT CHAR(254) NOT NULL, UCL NUMERIC(19,9) , "
        "INDEX NUMERIC(5))");
    ASSERT_EQ(st.kind, StatementText::Kind::create_table);
    EXPECT_EQ(st.error, "");
    EXPECT_EQ(st.table, "0003ACTC");
    ASSERT_EQ(st.columns.size(), 5u);
    EXPECT_EQ(st.columns[1].type, 'C');
    EXPECT_EQ(st.columns[1].width, 104);
    EXPECT_EQ(st.columns[3].type, 'N');
    EXPECT_EQ(st.columns[3].width, 19);
    EXPECT_EQ(st.columns[3].decimals, 9);
    EXPECT_EQ(st.columns[4].name, "INDEX");
    st = read_statement("PACK STEP0312");
    EXPECT_EQ(st.kind, StatementText::Kind::pack);
    EXPECT_EQ(st.table, "STEP0312");
    const char* bad[] = {"PACK", "PACK A B", "PACK \"../x\"", "CREATE TABLE T (A NUMERIC(5,0)",
                         "CREATE TABLE T (A NUMERIC(3,2))", "CREATE TABLE T (A CHAR(255))", "CREATE TABLE T (A CHAR(5), A CHAR(5))"};
    for (const char* sql : bad) EXPECT_NE(read_statement(sql).error, "") << sql;
}

}  // namespace
