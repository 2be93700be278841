// The program the comparison's browser test drives: Vantrel on the simulated board, with two batches of results
// in its working directory and a fixed set of checked charts standing in for the chart list.
//
// At start it adds runs 1..30 (system TOOL_A) and 31..60 (TOOL_B) with channel means: channel 4 near 100 in
// the first batch and near 105 in the second, channel 6 the same in both. The checked charts are the Mean
// charts of channels 4 and 6 and of channel 1, which has no results.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "acquisition/install.h"
#include "acquisition/main_window.h"
#include "board/board_api.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "platform/sys/format.h"
#include "platform/ui/ui_loop.h"
#include "platform/web/start.h"
#include "programs/program_shell.h"
#include "programs/stop_signals.h"
#include "programs/wiring.h"
#include "spc/compare_results.h"
#include "testing/chart_code.h"

namespace {

double spread(int k) { return ((k * 37) % 11 - 5) * 0.1; }

bool seed(const std::string& directory)
{
    int db = DBConnect(("DSN=ZID32_Samples; DB=" + directory).c_str());
    if (db <= 0) return false;
    // The demo directory may hold the tables already: the inserts say whether they are there.
    check_tables(&db);
    create_other_table(&db, 4);
    create_other_table(&db, 6);
    bool ok = true;
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
    DBDisconnect(db);
    if (!ok) std::fprintf(stderr, "compare_demo: the results could not be added in %s\n", directory.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    install_stop_signals();
    vui::install_message_box_hook();
    vui::install_document_hook();
    if (!seed(std::filesystem::current_path().string())) return EXIT_FAILURE;
    wire_subsystems();
    provide_chart_list_reader([] {
        std::vector<ListedChart> charts;
        for (const auto& [code, ticked] : {std::pair{chart_code(4, 0, 1, 0), true}, std::pair{chart_code(4, 0, 2, 0), false},
                                           std::pair{chart_code(6, 0, 1, 0), true}, std::pair{-chart_code(1, 0, 1, 0), true}}) {
            ListedChart c;
            c.code = code;
            c.checked = ticked;
            charts.push_back(c);
        }
        return charts;
    });
    if (!install_board()) return EXIT_FAILURE;
    auto view = vweb::start_from_command_line(argc, argv);
    if (!view) return EXIT_FAILURE;
    int rc = vantrel_main(argc, argv, sc_main);
    VantrelKillBufferedAnalogIn();
    view.reset();
    return rc;
}
