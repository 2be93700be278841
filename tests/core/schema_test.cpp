// Table creation: the global tables, the result tables and their names, and create-on-demand.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/schema.h"
#include "core/sql_access.h"
#include "tests/sql/sql_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

std::set<std::string> dbf_files(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

class Schema : public ::testing::Test {
protected:
    void SetUp() override
    {
        hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
        ASSERT_GT(hdbc, 0);
        connection = hdbc;
    }
    void TearDown() override { DBDisconnect(connection); }
    vtest::TempDir dir;
    int hdbc = 0;
    int connection = 0;
};

TEST_F(Schema, CheckTablesCreatesTheFourGlobalTablesOnce)
{
    EXPECT_EQ(check_tables(&hdbc), 0);
    EXPECT_EQ(hdbc, connection);
    EXPECT_EQ(dbf_files(dir.path()), (std::set<std::string>{"ENDP_DAT.DBF", "ENDP_PAR.DBF", "OOC_ALRM.DBF", "VT_INFO.DBF"}));
    EXPECT_EQ(check_tables(&hdbc), 4);
    EXPECT_EQ(hdbc, connection);

    struct Expected {
        const char* file;
        const char* fields;
    };
    const Expected tables[] = {
        {"VT_INFO.DBF",
         "RUN_NUM N 9 0,NUM_WAF N 9 0,RATE N 9 0,SYSTEM_ID C 16 0,RECIPE C 32 0,TRACE_ID C 32 0,CHANNELS C 19 0,"
         "SAV_DATE C 10 0,SAV_TIME C 8 0,COMMENT C 64 0,TRACE_DEL N 5 0,COMPLETE N 5 0,CASSETTE N 5 0"},
        {"OOC_ALRM.DBF",
         "RUN N 9 0,WAFER N 9 0,CHANNEL N 5 0,TYPE N 5 0,SUB_TYPE N 5 0,INDEX N 5 0,RULE N 9 0,CLEARED N 5 0"},
        {"ENDP_DAT.DBF",
         "SYSTEM_ID C 16 0,TRACE_ID C 32 0,COMMENT C 64 0,SAV_DATE C 10 0,SAV_TIME C 8 0,RECIPE C 32 0,RUN N 9 0,"
         "WAFER N 9 0,EP_TIME N 9 0,CLEAN_TIME N 9 0,MAX_PART N 9 0"},
        {"ENDP_PAR.DBF",
         "RUN N 9 0,SWITCHES C 19 0,OVER_ETCH N 5 0,MIN_OE N 5 0,SAMPLE_T N 5 0,PTS_TO_FIT N 5 0,PART_SPEC N 9 0,"
         "OP_INT N 19 9,OP_SLO N 19 9,DC_INT N 19 9,DC_SLO N 19 9,SLOPE_FAC N 19 9,TIME_OUT N 9 0,OP_TRIG N 19 9,"
         "YMIN N 19 9,YMAX N 19 9"},
    };
    for (const Expected& t : tables) EXPECT_EQ(vtest::fields_with_dbfread(dir.file(t.file)), t.fields) << t.file;
}

TEST_F(Schema, RunTableFailureClosesTheConnection)
{
    int bad = 9999;
    EXPECT_NE(check_tables(&bad), 0);
    EXPECT_EQ(bad, -1);
    EXPECT_TRUE(dbf_files(dir.path()).empty());
}

TEST_F(Schema, ResultTablesAreNamedAndShapedByTheirNumbers)
{
    struct Case {
        int (*create)(int*);
        const char* file;
        const char* fields;
    };
    auto step = [](int* h) { return create_step_table(h, 3, 12); };
    auto stpm = [](int* h) { return create_stpm_table(h, 3, 12); };
    auto timer = [](int* h) { return create_timer_table(h, 16); };
    auto other = [](int* h) { return create_other_table(h, 32); };
    auto area = [](int* h) { return create_area_table(h, 32); };
    const Case cases[] = {
        {step, "STEP0312.DBF", "RUN N 9 0,WAFER N 9 0,OVER N 19 9,UNDER N 19 9,S_TIME N 19 9,DECAY N 19 9"},
        {stpm, "STPM0312.DBF", "RUN N 9 0,WAFER N 9 0,SMIN N 19 9,SMAX N 19 9"},
        {timer, "TIMER_16.DBF", "RUN N 9 0,WAFER N 9 0,VALUE N 19 9"},
        {other, "OTHER_32.DBF", "RUN N 9 0,WAFER N 9 0,DATA_MEAN N 19 9,DATA_STDEV N 19 9,DATA_MAX N 19 9,DATA_MIN N 19 9"},
        {area, "AREA_32.DBF", "RUN N 9 0,WAFER N 9 0,AREA N 19 9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.create(&hdbc), 0) << c.file;
        EXPECT_EQ(vtest::fields_with_dbfread(dir.file(c.file)), c.fields) << c.file;
        EXPECT_EQ(c.create(&hdbc), 4) << c.file;
        EXPECT_EQ(hdbc, connection);
    }
    EXPECT_EQ(create_ontime_table(&hdbc), 0);
    EXPECT_EQ(create_ontime_table(&hdbc), 4);
    EXPECT_EQ(hdbc, connection);
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(vtest::fields_with_dbfread(dir.file("ONTIME_" + std::to_string(n) + ".DBF")),
                  "RUN N 9 0,WAFER N 9 0,MEAN N 19 9,STDEV N 19 9,MAX N 19 9,MIN N 19 9");
    int bad = 9999;
    create_area_table(&bad, 1);
    EXPECT_EQ(bad, -1);
}

TEST_F(Schema, ResultTableIsCreatedAtItsFirstInsert)
{
    const char* insert = "INSERT INTO STEP0501 VALUES (12, 1, 0.125, 1.500, 2.000, 0.333)";
    EXPECT_FALSE(std::filesystem::exists(dir.file("STEP0501.DBF")));
    int result = DBImmediateSQL(hdbc, insert);
    ASSERT_NE(result, 0);
    create_step_table(&hdbc, 5, 1);
    EXPECT_EQ(DBImmediateSQL(hdbc, insert), 0);
    EXPECT_EQ(vtest::flat(vtest::query(hdbc, "SELECT WAFER, OVER, UNDER, S_TIME, DECAY FROM STEP0501 WHERE RUN = 12").rows),
              "1|0.125000000|1.500000000|2.000000000|0.333000000");
    EXPECT_FALSE(std::filesystem::exists(dir.file("STPM0501.DBF")));
}

}  // namespace
