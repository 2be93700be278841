// The CREATE TABLE statements of every table the system writes, and the rule that judges their results.
#include "core/schema.h"

#include <string>

#include "core/sql_access.h"
#include "platform/sys/format.h"

namespace {

constexpr int kTableExists = 4;

bool created(int result) { return result == 0 || result == kTableExists; }

int create_one(int* hdbc, const std::string& sql)
{
    int result = DBImmediateSQL(*hdbc, sql.c_str());
    if (!created(result)) *hdbc = -1;
    return result;
}

}  // namespace

int check_tables(int* hdbc)
{
    int result = DBImmediateSQL(*hdbc,
        "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0),NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID CHAR(16), "
        "RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10) , SAV_TIME CHAR(8), "
        "COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))");
    if (!created(result)) {
        *hdbc = -1;
        return result;
    }
    DBImmediateSQL(*hdbc,
        "CREATE TABLE OOC_ALRM (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), CHANNEL NUMERIC(5,0), TYPE NUMERIC(5,0), "
        "SUB_TYPE NUMERIC(5,0), INDEX NUMERIC(5,0), RULE NUMERIC(9,0), CLEARED NUMERIC(5,0))");
    DBImmediateSQL(*hdbc,
        "CREATE TABLE ENDP_DAT (SYSTEM_ID CHAR(16) NOT NULL, TRACE_ID CHAR(32) NOT NULL, COMMENT CHAR(64) NOT NULL, "
        "SAV_DATE CHAR(10) NOT NULL, SAV_TIME CHAR(8) NOT NULL, RECIPE CHAR(32) NOT NULL, RUN NUMERIC(9,0), "
        "WAFER NUMERIC(9,0), EP_TIME NUMERIC(9,0), CLEAN_TIME NUMERIC(9,0), MAX_PART NUMERIC(9,0))");
    std::string endp_par =
        std::string("CREATE TABLE ENDP_PAR (RUN NUMERIC(9,0), SWITCHES CHAR(19) NOT NULL, OVER_ETCH NUMERIC(5,0), "
                    "MIN_OE NUMERIC(5,0), SAMPLE_T NUMERIC(5,0), PTS_TO_FIT NUMERIC(5,0), PART_SPEC NUMERIC(9,0), "
                    "OP_INT NUMERIC(19,9), ") +
        "OP_SLO NUMERIC(19,9), DC_INT NUMERIC(19,9), DC_SLO NUMERIC(19,9), SLOPE_FAC NUMERIC(19,9), "
        "TIME_OUT NUMERIC(9,0), OP_TRIG NUMERIC(19,9), YMIN NUMERIC(19,9), YMAX NUMERIC(19,9))";
    return DBImmediateSQL(*hdbc, endp_par.c_str());
}

int create_step_table(int* hdbc, int channel, int step)
{
    return create_one(hdbc, vsys::strprintf("CREATE TABLE STEP%.2d%.2d (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), "
                                            "OVER NUMERIC(19,9), UNDER NUMERIC(19,9), S_TIME NUMERIC(19,9), "
                                            "DECAY NUMERIC(19,9))",
                                            static_cast<short>(channel), static_cast<short>(step)));
}

int create_stpm_table(int* hdbc, int channel, int step)
{
    return create_one(hdbc, vsys::strprintf("CREATE TABLE STPM%.2d%.2d (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), "
                                            "SMIN NUMERIC(19,9), SMAX NUMERIC(19,9))",
                                            static_cast<short>(channel), static_cast<short>(step)));
}

int create_timer_table(int* hdbc, int timer)
{
    return create_one(hdbc, vsys::strprintf("CREATE TABLE TIMER_%.2d (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), "
                                            "VALUE NUMERIC(19,9))",
                                            static_cast<short>(timer)));
}

int create_other_table(int* hdbc, int channel)
{
    return create_one(hdbc, vsys::strprintf("CREATE TABLE OTHER_%.2d (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), "
                                            "DATA_MEAN NUMERIC(19,9), DATA_STDEV NUMERIC(19,9), "
                                            "DATA_MAX NUMERIC(19,9), DATA_MIN NUMERIC(19,9))",
                                            static_cast<short>(channel)));
}

int create_area_table(int* hdbc, int channel)
{
    return create_one(hdbc, vsys::strprintf("CREATE TABLE AREA_%.2d (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), "
                                            "AREA NUMERIC(19,9))",
                                            static_cast<short>(channel)));
}

int create_ontime_table(int* hdbc)
{
    int result = 0;
    for (int n = 1; n <= 5; ++n)
        result = DBImmediateSQL(*hdbc, vsys::strprintf("CREATE TABLE ONTIME_%1d (RUN NUMERIC(9,0), WAFER NUMERIC(9,0), "
                                                       "MEAN NUMERIC(19,9), STDEV NUMERIC(19,9), MAX NUMERIC(19,9), "
                                                       "MIN NUMERIC(19,9))",
                                                       n).c_str());
    if (!created(result)) *hdbc = -1;
    return result;
}
