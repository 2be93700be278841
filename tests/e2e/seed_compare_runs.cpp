// Adds the batch comparison's two batches of results to a working directory made by make_demo_dir.
//
// Runs 1..30 (system TOOL_A) and 31..60 (TOOL_B) with channel means: channel 4 near 100 in the first batch and
// near 105 in the second, channel 6 the same in both. The newest run, LOT60, has its wafer trace too (the demo's
// nine channels at ten scans a second), so that it can become the process of record.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/schema.h"
#include "core/sql_access.h"
#include "core/trace_file.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"

namespace {

double spread(int k) { return ((k * 37) % 11 - 5) * 0.1; }

constexpr int kTracedRun = 60;
constexpr int kTracedChannels = 9;
constexpr int kScansPerBlock = 10;
constexpr int kTracedBlocks = 20;

// Twenty seconds of the traced run's one wafer: each channel a slow ramp of its own.
bool write_trace(const std::string& directory)
{
    if (!vsys::ensure_directory(vsys::path_join(directory, "SC_DATA"))) return false;
    std::string error;
    vsys::FilePtr file = create_trace_file(wafer_trace_path(directory, kTracedRun, 1), error);
    if (!file || !write_trace_header(file.get(), "05.06.07", "2026/03/04")) return false;
    std::vector<std::int16_t> block(kScansPerBlock * kTracedChannels);
    const std::int32_t trailer[5] = {};
    for (int b = 0; b < kTracedBlocks; ++b) {
        for (int s = 0; s < kScansPerBlock; ++s)
            for (int c = 0; c < kTracedChannels; ++c)
                block[static_cast<std::size_t>(s * kTracedChannels + c)] =
                    static_cast<std::int16_t>(1000 * (c + 1) + 10 * (b * kScansPerBlock + s));
        if (!write_trace_block(file.get(), block.data(), static_cast<int>(block.size()), trailer)) return false;
    }
    return true;
}

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
    ok = ok && DBImmediateSQL(db, vsys::strprintf("UPDATE VT_INFO SET RATE = %d, CHANNELS = 'U%.10u %.2d 10.0', "
                                                  "TRACE_DEL = 0 "
                                                  "WHERE RUN_NUM = %d",
                                                  kScansPerBlock, (1u << kTracedChannels) - 1, kTracedChannels,
                                                  kTracedRun)
                                     .c_str()) == 0;
    DBDisconnect(connection);
    return ok && write_trace(directory);
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
