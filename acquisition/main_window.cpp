// Building the main window once at start and its menu bar whenever the process setup changes.
#include "acquisition/main_window.h"

#include "acquisition/axes.h"
#include "acquisition/daq_loop.h"
#include "acquisition/run_model.h"
#include "core/globals.h"
#include "core/help_topics.h"
#include "core/module_services.h"
#include "core/panel_framework.h"
#include "platform/sys/files.h"
#include "platform/ui/userint.h"

int sc_main()
{
    // A list left by an earlier session would offer its wafers as this one's; it is
    // rewritten at every Start, so a failure here loses nothing.
    static_cast<void>(vsys::delete_file_if_present(playback_list_path()));
    parent_panel = LoadPanel(0, "top.uir", 1);
    SetPanelAttribute(parent_panel, ATTR_WINDOW_ZOOM, 2);
    int left = 0, top = 0, width = 0, height = 0;
    GetPanelAttribute(parent_panel, ATTR_LEFT, &left);
    GetPanelAttribute(parent_panel, ATTR_TOP, &top);
    GetPanelAttribute(parent_panel, ATTR_WIDTH, &width);
    GetPanelAttribute(parent_panel, ATTR_HEIGHT, &height);
    SetPanelAttribute(parent_panel, ATTR_LEFT, left + 5);
    SetPanelAttribute(parent_panel, ATTR_TOP, top + 5);
    SetPanelAttribute(parent_panel, ATTR_WIDTH, width - 10);
    SetPanelAttribute(parent_panel, ATTR_HEIGHT, height - 10);
    SetPanelAttribute(parent_panel, ATTR_WINDOW_ZOOM, 0);
    SetPanelAttribute(parent_panel, ATTR_CAN_MINIMIZE, 0);
    SetPanelAttribute(parent_panel, ATTR_CAN_MAXIMIZE, 0);
    sc_handle = LoadPanel(parent_panel, "s_chart.uir", 2);
    SetCtrlAttribute(sc_handle, 13, ATTR_VISIBLE, 0);
    legend_panel = LoadPanel(sc_handle, "s_chart.uir", 1);
#ifdef VANTREL_REVIEW
    SetCtrlAttribute(sc_handle, 2, ATTR_VISIBLE, 0);
#endif
    set_panel_attributes(sc_handle, parent_panel, 1, 0);
    data_file.reset();
    global_scaled_data.clear();
    SetCtrlAttribute(sc_handle, 14, ATTR_REFRESH_GRAPH, 0);
    SetCtrlAttribute(sc_handle, 14, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, 15, ATTR_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, 26, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, 21, ATTR_VISIBLE, 0);
    view_preference = 0;
    handle_menu = -1;
    update_menu();
    if (status_color == STATUS_YELLOW) {
        SetCtrlAttribute(sc_handle, 20, ATTR_PLOT_BGCOLOR, STATUS_YELLOW);
        SetCtrlAttribute(sc_handle, 14, ATTR_PLOT_BGCOLOR, STATUS_YELLOW);
    }
    names(-1, 1, 0, 1);
    aok(-1, 1, EVENT_COMMIT, nullptr, 1, 1);
    for (int ctrl : {8, 11, 12, 10, 18}) SetCtrlAttribute(sc_handle, ctrl, ATTR_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, 22, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, 9, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, 20, ATTR_SMOOTH_UPDATE, 1);
    SetActiveCtrl(sc_handle, 13);
    DisplayPanel(parent_panel);
    DisplayPanel(sc_handle);
    resize_legend(legend_panel, EVENT_PANEL_SIZE, nullptr, 1, 0);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return InstallCtrlCallback(sc_handle, 25, IdleLoop, nullptr);
}

void update_menu()
{
    if (parent_panel <= 0) return;
    if (handle_menu != -1) DiscardMenuBar(handle_menu);
    handle_menu = LoadMenuBar(parent_panel, "s_chart.uir", 1);
    if (handle_menu <= 0) {
        handle_menu = -1;
        return;
    }
    SetMenuBarAttribute(handle_menu, 53, ATTR_CHECKED, current_file_index >= 0 ? 1 : 0);
    SetMenuBarAttribute(handle_menu, 59, ATTR_DIMMED, spc_panel < 0 ? 1 : 0);
    SetMenuBarAttribute(handle_menu, 60, ATTR_DIMMED, list_panel < 0 ? 1 : 0);
    SetMenuBarAttribute(handle_menu, 58, ATTR_DIMMED, spc_chart_selections < 0 ? 1 : 0);
    SetMenuBarAttribute(handle_menu, 61, ATTR_DIMMED, compare_panel < 0 ? 1 : 0);
    InstallMenuCallback(handle_menu, 49, alarm_list_pareto, nullptr);
    InstallMenuCallback(handle_menu, 50, alarm_list_pareto, nullptr);
    InstallMenuCallback(handle_menu, 48, menu_clear_alarms, nullptr);
    if (status_color == STATUS_YELLOW && sc_handle > 0) SetMenuBarAttribute(handle_menu, 48, ATTR_DIMMED, 0);
    // A setup import or the channel setup can rebuild the bar while acquisition
    // runs; the items that must not be used then stay dimmed.
    if (acq().active)
        for (int item : kDimmedWhileRunning) SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 1);
#ifdef VANTREL_REVIEW
    // The review program acquires nothing: its menus offer no acquisition command.
    for (int item : kAcquisitionOnlyItems) DiscardMenuItem(handle_menu, item);
#endif
}

void sc_menu_help(int menuBar, int item, void* data, int panel)
{
    (void)menuBar;
    (void)data;
    (void)panel;
    if (item == 64) {
        help_bw(GetActivePanel(), 0, EVENT_COMMIT, nullptr, 0, 0);
    } else if (item == 65) {
        int about = LoadPanel(0, "about_vt.uir", 1);
        if (about <= 0) return;
        SetCtrlVal(about, 9, "Version 6.96");
#ifdef VANTREL_REVIEW
        SetCtrlVal(about, 7, "Vantrel Review");
#endif
        InstallPopup(about);
    }
}
