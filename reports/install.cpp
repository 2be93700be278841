// The chart reports' callback table.
#include "reports/install.h"

#include "reports/activity_report.h"
#include "reports/panel_print.h"

std::vector<vui::CallbackEntry> reports_callbacks()
{
    return {
        {"request_logfile", CtrlCallbackPtr(request_logfile)},
        {"get_logfile", CtrlCallbackPtr(get_logfile)},
        {"panel_print", CtrlCallbackPtr(panel_print)},
    };
}

void install_reports() { vui::register_callbacks(reports_callbacks()); }
