// Adds the batch comparison's two batches of results to a working directory made by make_demo_dir.
//
// Runs 1..30 (system TOOL_A) and 31..60 (TOOL_B) with channel means: channel 4 near 100 in the first batch and
// near 105 in the second, channel 6 the same in both.
#include <cstdio>
#include <string>

#include "core/schema.h"
#include "core/sql_access.h"
#include "platform/sys/format.h"

namespace {

double spread(int k) { return ((k * 37) % 11 - 5) * 0.1; }

bool seed(const std::string& directory)
{
    const int connection = DBConnect(("DSN=ZID32_Samples; DB=" + directory).c_str());
    if (connection <= 0) return false;
    // The table code marks the handle -1 when a table cannot be made; the connection is still ours to end.
    int db = connection;
    // The directory holds the tables already: the inserts say whether they are there.
    check_tables(&db);
    create_other_table(&db, 4);
    create_other_table(&db, 6);
    bool ok = db > 0;
    for (int run = 1; ok && run <= 60; ++run) {
        const bool por = run <= 30;
        const int k = por ? run : run - 30;
        ok = DBImmediateSQL(db, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SYSTEM_ID, "
                                                "SAV_DATE, SAV_TIME) VALUES (%d, 1, 'ETCH', 'LOT%d', '%s', '2026/03/04', "
                                                "'05:06:07')",
                                                run, run, por ? "TOOL_A" : "TOOL_B")
                                    .c_str()) == 0 &&
             DBImmediateSQL(db, vsys::strprintf("INSERT INTO OTHER_04 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.6f)", run,
                                                (por ? 100.0 : 105.0) + spread(k))
                                    .c_str()) == 0 &&
             DBImmediateSQL(db, vsys::strprintf("INSERT INTO OTHER_06 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.6f)", run,
                                                -20.0 + spread(k))
                                    .c_str()) == 0;
    }
    DBDisconnect(connection);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: seed_compare_runs DIRECTORY\n");
        return 2;
    }
    if (!seed(argv[1])) {
        std::fprintf(stderr, "seed_compare_runs: the results could not be added in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
