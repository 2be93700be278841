// Makes a working directory for the demo: its database holds the process "ETCH" of a setup file, current.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/globals.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "tools/demo_process.h"

namespace {

double spread(int k) { return ((k * 37) % 11 - 5) * 0.1; }

// Two batches to compare: runs 1..30 on TOOL_A, 31..60 on TOOL_B. PRESSURE (channel 4) means lie near 100 in the
// first and near 105 in the second; DC_BIAS (channel 6) means follow the same pattern in both; OES has none.
bool seed_batches(std::string* error)
{
    if (create_other_table(&hdbc, 4) != 0 || create_other_table(&hdbc, 6) != 0) {
        *error = "the result tables cannot be made";
        return false;
    }
    for (int run = 1; run <= 60; ++run) {
        const bool por = run <= 30;
        const int k = por ? run : run - 30;
        const bool ok =
            DBImmediateSQL(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SYSTEM_ID, "
                                                 "SAV_DATE, SAV_TIME) VALUES (%d, 1, 'ETCH', 'LOT%d', '%s', "
                                                 "'2026/03/04', '05:06:07')",
                                                 run, run, por ? "TOOL_A" : "TOOL_B")
                                     .c_str()) == 0 &&
            DBImmediateSQL(hdbc, vsys::strprintf("INSERT INTO OTHER_04 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.6f)", run,
                                                 (por ? 100.0 : 105.0) + spread(k))
                                     .c_str()) == 0 &&
            DBImmediateSQL(hdbc, vsys::strprintf("INSERT INTO OTHER_06 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.6f)", run,
                                                 -20.0 + spread(k))
                                     .c_str()) == 0;
        if (!ok) {
            *error = vsys::strprintf("run %d cannot be added", run);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool batches = argc == 4 && std::strcmp(argv[3], "--batches") == 0;
    if (argc != 3 && !batches) {
        std::fprintf(stderr, "usage: make_demo_dir SETUP_FILE DIRECTORY [--batches]\n");
        return 2;
    }
    vdemo::DemoSetup setup;
    std::string error;
    if (!vdemo::read_demo_setup(argv[1], setup, &error)) {
        std::fprintf(stderr, "make_demo_dir: %s\n", error.c_str());
        return 1;
    }
    const std::string dir = argv[2];
    for (const std::string& folder : {dir, vsys::path_join(dir, "SC_DATA")}) {
        if (vsys::Result made = vsys::ensure_directory(folder); !made) {
            std::fprintf(stderr, "make_demo_dir: %s\n", made.error.c_str());
            return 1;
        }
    }
    hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir).c_str());
    if (hdbc <= 0) {
        std::fprintf(stderr, "make_demo_dir: cannot open the database in %s\n", dir.c_str());
        return 1;
    }
    check_tables(&hdbc);
    const bool ok = vdemo::seed_demo_process(setup, &error) && (!batches || seed_batches(&error));
    DBDisconnect(hdbc);
    if (!ok) std::fprintf(stderr, "make_demo_dir: %s\n", error.c_str());
    return ok ? 0 : 1;
}
