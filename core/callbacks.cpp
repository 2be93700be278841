// Core's table of callbacks by name, registered with the user-interface library at start.
#include "core/callbacks.h"

#include "core/colour_files.h"
#include "core/help_topics.h"
#include "core/module_services.h"
#include "core/panel_framework.h"

std::vector<vui::CallbackEntry> core_callbacks()
{
    auto menu_int = [](int (*f)(int, int, void*, int)) {
        return MenuCallbackPtr([f](int bar, int item, void* data, int panel) { f(bar, item, data, panel); });
    };
    return {
        {"panel_toggle", CtrlCallbackPtr(panel_toggle)},
        {"panel_handler", PanelCallbackPtr(panel_handler)},
        {"menu_tile", menu_int(menu_tile)},
        {"tile_panels", CtrlCallbackPtr(tile_panels)},
        {"cancel_this_panel", CtrlCallbackPtr(cancel_this_panel)},
        {"cancel_uncommitted", CtrlCallbackPtr(cancel_uncommitted)},
        {"set_pending_altered_flag", CtrlCallbackPtr(set_pending_altered_flag)},
        {"help_bw", CtrlCallbackPtr(help_bw)},
        {"panel_help", PanelCallbackPtr(panel_help)},
        {"default_color", MenuCallbackPtr(default_color)},
        {"save_color", MenuCallbackPtr(save_color)},
        {"load_color", MenuCallbackPtr(load_color)},
        {"color_function", CtrlCallbackPtr(color_function)},
        {"a_display", CtrlCallbackPtr(a_display)},
        {"alarm_list_pareto", MenuCallbackPtr(alarm_list_pareto)},
        {"menu_clear_alarms", MenuCallbackPtr(menu_clear_alarms)},
        {"clear_errors", CtrlCallbackPtr(clear_errors)},
        {"dual_spc_charts", CtrlCallbackPtr(dual_spc_charts)},
        {"spc_charts", CtrlCallbackPtr(spc_charts)},
    };
}
