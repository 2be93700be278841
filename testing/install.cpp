// Trace testing's callbacks by name.
#include "testing/install.h"

#include "testing/alarm_review.h"
#include "testing/window_menu.h"

std::vector<vui::CallbackEntry> testing_callbacks()
{
    return {
        {"spc_sc_toggle", MenuCallbackPtr([](int bar, int item, void* data, int panel) {
             spc_sc_toggle(bar, item, data, panel);
         })},
        {"show_errors", CtrlCallbackPtr(show_errors)},
        {"close_alarm_display", PanelCallbackPtr(close_alarm_display)},
        {"error_popup", CtrlCallbackPtr(error_popup)},
        {"error_info", CtrlCallbackPtr(error_info)},
        {"cancel_alarm_review", CtrlCallbackPtr(cancel_alarm_review)},
    };
}

void install_testing() { vui::register_callbacks(testing_callbacks()); }
