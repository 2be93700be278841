// Wiring of both programs: each subsystem's callbacks and every seam between the subsystems, in one place.
#include "programs/wiring.h"

#include "acquisition/acquisition_seams.h"
#include "acquisition/axes.h"
#include "acquisition/daq_loop.h"
#include "acquisition/install.h"
#include "acquisition/main_window.h"
#include "core/callbacks.h"
#include "core/core_seams.h"
#include "platform/ui/ui_loop.h"
#include "playback/playback.h"
#include "reports/activity_report.h"
#include "reports/install.h"
#include "setup/export_file.h"
#include "setup/install.h"
#include "setup/limit_dialogs.h"
#include "setup/por_trace.h"
#include "setup/run_copy.h"
#include "setup/run_deletion.h"
#include "setup/run_selection.h"
#include "setup/setup_files.h"
#include "setup/setup_seams.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_list.h"
#include "spc/chart_titles.h"
#include "spc/chart_window.h"
#include "spc/decision_tree.h"
#include "spc/slideshow.h"
#include "spc/install.h"
#include "spc/spc_seams.h"
#include "spc/limit_table.h"
#include "testing/alarm_review.h"
#include "testing/install.h"
#include "testing/testing_seams.h"
#include "testing/trace_test.h"
#include "testing/window_menu.h"

namespace {

void save_setup(int force) { saveAllAndExport(static_cast<char>(force)); }

// Core reaches the main window's legend and menus, the Window menu, the alarm
// review and the setup files.
CoreSeams core_side()
{
    CoreSeams s;
    s.names = names;
    s.update_menu = update_menu;
    s.spc_sc_toggle = spc_sc_toggle;
    s.show_errors = show_errors;
    s.saveAllAndExport = save_setup;
    s.ExportRecipe = ExportRecipe;
    s.network_stuff = network_stuff;
    s.multi_copy = multi_copy;
    s.insert_recipe_into_file_map = insert_recipe_into_file_map;
    s.act_deact_charts = [](int bar, int item, void* data, int panel) {
        act_deact_charts(bar, item, data, panel);
        return 0;
    };
    s.start_next = start_next;
    return s;
}

// The process setups redraw the main window and keep acquisition ticking
// while a process of record is built.
SetupSeams setup_side()
{
    SetupSeams s;
    s.names = names;
    s.update_menu = update_menu;
    s.SetStripChartY = [](double minimum, double maximum, int flag) {
        SetStripChartY(minimum, maximum, static_cast<char>(flag));
    };
    s.DaqLoop = DaqLoop;
    s.select_sc_run = [](int mode) { return select_sc_run(static_cast<short>(mode)); };
    s.select_ok = select_ok;
    return s;
}

// Trace testing reads the chart catalogue, limits and titles and makes a new
// process's first wafer its process of record.
TestingSeams testing_side()
{
    TestingSeams s;
    s.chart_preferences = chart_preferences;
    s.step_specs = step_specs;
    s.form_chart_title = form_chart_title;
    s.display_new_chart = display_new_chart;
    s.spc_error_popup = spc_error_popup;
    s.spc_start_tree = spc_start_tree;
    s.normalize_por = [](int run, int wafer, int useCallerBuffer, short* blockBuffer) {
        normalize_por(run, wafer, static_cast<short>(useCallerBuffer), blockBuffer);
        return 0;
    };
    return s;
}

// Acquisition hands finished wafers to trace testing and saves pending setup
// changes before it starts or the program ends.
AcquisitionSeams acquisition_side()
{
    AcquisitionSeams s;
    s.test_trace = test_trace;
    s.saveAllAndExport = save_setup;
    s.step_specs = step_specs;
    s.request_logfile = request_logfile;
    return s;
}

}  // namespace

const std::set<std::string>& unbuilt_seams()
{
    // Every seam is filled: the list stays for the wiring test and for subsystems still to come.
    static const std::set<std::string> names;
    return names;
}

void wire_subsystems()
{
    vui::register_callbacks(core_callbacks());
    install_acquisition();
    install_setup();
    install_testing();
    install_spc();
    install_reports();
    install_playback();
    provide_core_seams(core_side());
    provide_setup_seams(setup_side());
    provide_testing_seams(testing_side());
    provide_acquisition_seams(acquisition_side());
    // The step limit dialogs; a chart point's wafer is played back at once or through the channel choice.
    SpcSeams spc;
    spc.display_specs = display_specs;
    spc.select_ok = [](int run, int wafer) { return play_chart_point(run, wafer, true, true); };
    spc.select_channels = [](int run, int wafer) { return play_chart_point(run, wafer, false); };
    provide_spc_seams(std::move(spc));
}
