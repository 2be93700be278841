// Wiring of both programs: each subsystem's callbacks and hooks, and the seams between subsystems.
#include "programs/wiring.h"

#include "acquisition/axes.h"
#include "acquisition/daq_loop.h"
#include "acquisition/install.h"
#include "acquisition/run_model.h"
#include "core/callbacks.h"
#include "platform/ui/ui_loop.h"
#include "setup/install.h"
#include "setup/por_trace.h"
#include "setup/setup_hooks.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_titles.h"
#include "spc/limit_table.h"
#include "testing/install.h"
#include "testing/testing_hooks.h"
#include "testing/trace_test.h"

namespace {

// Trace testing reads the chart catalogue, limits and titles of the setup
// subsystems and makes a new process's first wafer its process of record.
void connect_testing_to_setup()
{
    auto& hooks = testing_hooks();
    hooks.chart_preferences = chart_preferences;
    hooks.step_specs = step_specs;
    hooks.form_chart_title = form_chart_title;
    hooks.normalize_por = [](int run, int wafer, int useCallerBuffer, short* blockBuffer) {
        normalize_por(run, wafer, static_cast<short>(useCallerBuffer), blockBuffer);
        return 0;
    };
}

// Acquisition hands finished wafers to trace testing; the process-of-record
// builder keeps acquisition ticking and sets the strip chart's range.
void connect_acquisition()
{
    acquisition_hooks().test_trace = test_trace;
    auto& setup = setup_hooks();
    setup.DaqLoop = DaqLoop;
    setup.SetStripChartY = [](double minimum, double maximum, int flag) {
        SetStripChartY(minimum, maximum, static_cast<char>(flag));
    };
}

}  // namespace

void wire_subsystems()
{
    vui::register_callbacks(core_callbacks());
    install_acquisition();
    install_setup();
    install_testing();
    connect_testing_to_setup();
    connect_acquisition();
}
