// The main-window subsystem's callback table and the choice of board backend.
#include "acquisition/install.h"

#include <cstdio>

#include "acquisition/axes.h"
#include "acquisition/commands.h"
#include "acquisition/daq_loop.h"
#include "acquisition/dialogs.h"
#include "acquisition/main_window.h"
#include "acquisition/start_stop.h"
#include "acquisition/traces.h"
#include "acquisition/zoom.h"
#include "platform/usb/usb_config.h"

std::vector<vui::CallbackEntry> acquisition_callbacks()
{
    auto menu_from_ctrl = [](int (*f)(int, int, int, void*, int, int)) {
        return MenuCallbackPtr([f](int, int, void*, int panel) { f(panel, 0, EVENT_COMMIT, nullptr, 0, 0); });
    };
    return {
        {"start_stop", CtrlCallbackPtr(start_stop)},
        {"pause", CtrlCallbackPtr(static_cast<int (*)(int, int, int, void*, int, int)>(pause))},
        {"DaqLoop", CtrlCallbackPtr(DaqLoop)},
        {"IdleLoop", CtrlCallbackPtr(IdleLoop)},
        {"sc_menu_help", MenuCallbackPtr(sc_menu_help)},
        {"DisplayConfig", menu_from_ctrl(DisplayConfig)},
        {"ConfigureDAQ", CtrlCallbackPtr(ConfigureDAQ)},
        {"acquisition_value_changed", CtrlCallbackPtr(acquisition_value_changed)},
        {"display_trig", menu_from_ctrl(display_trig)},
        {"alter_trigger_info", CtrlCallbackPtr(alter_trigger_info)},
        {"trigger_check", CtrlCallbackPtr(trigger_check)},
        {"trigger_ok", CtrlCallbackPtr(trigger_ok)},
        {"aok", CtrlCallbackPtr(aok)},
        {"display_axes", CtrlCallbackPtr(display_axes)},
        {"menu_display_axes", menu_from_ctrl(display_axes)},
        {"change_x_type", CtrlCallbackPtr(change_x_type)},
        {"resize_legend", PanelCallbackPtr(resize_legend)},
        {"toggle_legend", MenuCallbackPtr(toggle_legend)},
        {"hide_realtime", CtrlCallbackPtr(hide_realtime)},
        {"display_toggle", CtrlCallbackPtr(display_toggle)},
        {"menu_display_toggle", menu_from_ctrl(display_toggle)},
        {"toggle_trace", CtrlCallbackPtr(toggle_trace)},
        {"cancel_toggle", CtrlCallbackPtr(cancel_toggle)},
        {"chartCallback", CtrlCallbackPtr(chartCallback)},
        {"clickAction", CtrlCallbackPtr(clickAction)},
        {"cancel_panel", PanelCallbackPtr(cancel_panel)},
        {"Shutdown", CtrlCallbackPtr(Shutdown)},
        {"return_to", MenuCallbackPtr(return_to)},
        {"panel_shutdown", PanelCallbackPtr(panel_shutdown)},
        {"toggle_realtime", MenuCallbackPtr(toggle_realtime)},
        {"system_name", MenuCallbackPtr(system_name)},
        {"ViewLog", MenuCallbackPtr(ViewLog)},
    };
}

void install_acquisition() { vui::register_callbacks(acquisition_callbacks()); }

bool install_board()
{
    vsys::Result board = vusb::configure_board_from_environment();
    if (!board.ok) {
        std::fprintf(stderr, "Vantrel: %s\n", board.error.c_str());
        return false;
    }
    return true;
}
