// Adds N runs to the run table of a working directory made by make_demo_dir (the batch-selection benchmark's data).
//
// The rows are appended to VT_INFO.DBF with shapelib in one go: inserting a year of runs one statement at a
// time would take longer than the measure itself.
#include <shapefil.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <algorithm>
#include <string>

#include "core/schema.h"
#include "core/sql_access.h"
#include "platform/sys/format.h"

namespace {

struct DbfCloser {
    void operator()(DBFInfo* h) const { DBFClose(h); }
};

bool seed(const std::string& directory, int runs)
{
    const int connection = DBConnect(("DSN=ZID32_Samples; DB=" + directory).c_str());
    if (connection <= 0) return false;
    int db = connection;
    check_tables(&db);
    DBDisconnect(connection);
    if (db <= 0) return false;
    std::unique_ptr<DBFInfo, DbfCloser> dbf(DBFOpen((directory + "/VT_INFO.DBF").c_str(), "rb+"));
    if (!dbf) return false;
    auto field = [&](const char* name) { return DBFGetFieldIndex(dbf.get(), name); };
    const int run_f = field("RUN_NUM"), waf_f = field("NUM_WAF"), rate_f = field("RATE"), sys_f = field("SYSTEM_ID"),
              recipe_f = field("RECIPE"), trace_f = field("TRACE_ID"), date_f = field("SAV_DATE"), time_f = field("SAV_TIME");
    int record = DBFGetRecordCount(dbf.get());
    int first_run = 1;
    for (int r = 0; r < record; ++r) first_run = std::max(first_run, DBFReadIntegerAttribute(dbf.get(), r, run_f) + 1);
    for (int k = 0; k < runs; ++k, ++record) {
        const int run = first_run + k;
        // About a hundred wafers a day: four runs an hour, dated back from the newest.
        const int day = k / 96, slot = k % 96;
        std::string date = vsys::strprintf("%04d/%02d/%02d", 2000 + day / 336, 1 + day / 28 % 12, 1 + day % 28);
        std::string time = vsys::strprintf("%02d:%02d:00", slot / 4, slot % 4 * 15);
        bool ok = DBFWriteIntegerAttribute(dbf.get(), record, run_f, run) && DBFWriteIntegerAttribute(dbf.get(), record, waf_f, 1 + k % 25) &&
                  DBFWriteIntegerAttribute(dbf.get(), record, rate_f, 100) &&
                  DBFWriteStringAttribute(dbf.get(), record, sys_f, k % 3 ? "TOOL_A" : "TOOL_B") &&
                  DBFWriteStringAttribute(dbf.get(), record, recipe_f, k % 5 ? "ETCH" : "PRECOAT") &&
                  DBFWriteStringAttribute(dbf.get(), record, trace_f, vsys::strprintf("LOT%07d", k / 25).c_str()) &&
                  DBFWriteStringAttribute(dbf.get(), record, date_f, date.c_str()) &&
                  DBFWriteStringAttribute(dbf.get(), record, time_f, time.c_str());
        if (!ok) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: seed_runs DIRECTORY RUNS\n");
        return 2;
    }
    if (!seed(argv[1], std::atoi(argv[2]))) {
        std::fprintf(stderr, "seed_runs: the runs could not be added in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
