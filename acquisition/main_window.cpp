// Building the main window once at start and its menu bar whenever the process setup changes.
#include "acquisition/main_window.h"

#include <algorithm>
#include <string>
#include <variant>

#include "acquisition/acquisition_seams.h"
#include "acquisition/axes.h"
#include "acquisition/daq_loop.h"
#include "acquisition/run_model.h"
#include "core/config_store.h"
#include "core/core_seams.h"
#include "core/globals.h"
#include "core/text_utils.h"
#include "core/help_topics.h"
#include "core/module_services.h"
#include "core/panel_framework.h"
#include "panels/about_vt.h"
#include "panels/s_chart.h"
#include "panels/top.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/screen_size.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"

namespace {

// Chart selectors: each chart item carries a pointer to one of them, so they outlive every menu bar.
// High byte the chart group, low byte the channel or timer.
unsigned short static_selectors[33], step_selectors[33], sigma_selectors[33], timer_selectors[17];

MenuCallbackPtr chart_callback()
{
    const vui::RegisteredCallback* found = vui::find_callback("show_chart");
    if (found && std::holds_alternative<MenuCallbackPtr>(*found)) return std::get<MenuCallbackPtr>(*found);
    return nullptr;
}

short chart_limits(short type, short subtype, short channel, short step)
{
    const auto& seam = acquisition_seams().step_specs;
    if (!seam.filled()) return 1;  // without the limit table every chart is offered
    double limits[3] = {0.0, 0.0, 0.0};
    return seam(6, type, subtype, channel, step, limits);
}

bool enabled(int c) { return c >= 1 && c <= 32 && (VantrelChannelStatusBits >> (c - 1) & 1u); }
bool statistics_kind(int c) { return channel_type[c] == 0 || (channel_type[c] >= 20 && channel_type[c] <= 22); }

int group(const char* name)
{
    int item = NewMenuItem(handle_menu, MENUBAR_CHARTS, name, MENUBAR_CHARTS_SPC_CHART_LIST, 0, nullptr, nullptr);
    return NewSubMenu(handle_menu, item);
}

int submenu_of(int menu, const char* name)
{
    int item = NewMenuItem(handle_menu, menu, name, -1, 0, nullptr, nullptr);
    return NewSubMenu(handle_menu, item);
}

// The chart groups of menu 34: channel statistics, step metrics, timers and sigma vectors.
void build_chart_menus()
{
    const MenuCallbackPtr show = chart_callback();
    for (int t = 1; t <= 16; ++t) timer_selectors[t] = static_cast<unsigned short>(1280 + t);
    for (int c = 1; c <= channels && c <= 32; ++c) {
        static_selectors[c] = static_cast<unsigned short>(c);
        step_selectors[c] = static_cast<unsigned short>(256 + c);
        sigma_selectors[c] = static_cast<unsigned short>(1024 + c);
    }
    char names[33][33] = {};
    for (int c = 1; c <= channels && c <= 32; ++c)
        if (enabled(c)) right_text_trim(get_put_char(hdbc, 28, c, 6, names[c]));
    const int last = std::min<int>(channels, 32);

    bool any = false;
    for (int c = 1; c <= 32; ++c) any = any || (enabled(c) && statistics_kind(c));
    if (any) {
        const int menu = group("Static Channel Charts");
        for (int c = 1; c <= last; ++c) {
            if (!enabled(c) || !statistics_kind(c)) continue;
            const int sub = submenu_of(menu, names[c]);
            for (const char* item : {"Mean", "Standard Deviation", "Minimum", "Maximum"})
                NewMenuItem(handle_menu, sub, item, -1, 0, show, &static_selectors[c]);
        }
    }
    any = false;
    for (int c = 1; c <= last; ++c) any = any || (enabled(c) && channel_type[c] == 1);
    if (any) {
        const int menu = group("Step Channel Charts");
        for (int c = 1; c <= last; ++c) {
            if (!enabled(c) || channel_type[c] != 1) continue;
            const int sub = submenu_of(menu, names[c]);
            const int steps = round_to_int(get_put_number(26, static_cast<short>(c), 6, 0.0));
            if (steps == 0) {
                for (const char* item : {"Not available.", "This step channel has zero steps.",
                                         "(see Step Channel Setup under Configure)"})
                    NewMenuItem(handle_menu, sub, item, -1, 0, nullptr, nullptr);
                continue;
            }
            for (int s = 1; s <= steps && s <= 16; ++s) {
                if (chart_limits(1, 4, static_cast<short>(c), static_cast<short>(s)) != 0) {
                    for (const char* form : {"Step %i Overshoot Area", "Step %i Overshoot Maximum",
                                             "Step %i Undershoot Area", "Step %i Undershoot Minimum",
                                             "Step %i Stability Time", "Step %i Decay Constant"})
                        NewMenuItem(handle_menu, sub, vsys::strprintf(form, s).c_str(), -1, 0, show,
                                    &step_selectors[c]);
                } else {
                    for (const char* form : {"Step %i Not available.", "Step %i The setpoint is not specified for this step.",
                                             "Step %i (see Step Channel Setup under Configure)"})
                        NewMenuItem(handle_menu, sub, vsys::strprintf(form, s).c_str(), -1, 0, nullptr, nullptr);
                }
            }
        }
    }
    if (timer_status_bit & 0xFFFF) {
        const int menu = group("Timer Charts");
        for (int t = 1; t <= 16; ++t) {
            if (!(timer_status_bit >> (t - 1) & 1)) continue;
            char name[33] = "";
            right_text_trim(get_put_char(hdbc, 29, t, 6, name));
            NewMenuItem(handle_menu, menu, name, -1, 0, show, &timer_selectors[t]);
        }
    }
    any = false;
    for (int c = 1; c <= last; ++c) any = any || enabled(c);
    if (any) {
        const int menu = group("Sigma Charts");
        for (int c = 1; c <= last; ++c) {
            if (!enabled(c)) continue;
            if (chart_limits(4, 0, static_cast<short>(c), 0) != 0) {
                NewMenuItem(handle_menu, menu, names[c], -1, 0, show, &sigma_selectors[c]);
            } else {
                const std::string label = vsys::strprintf("%s NA (Spec Limit set to 0).", names[c]);
                int item = NewMenuItem(handle_menu, menu, label.c_str(), -1, 0, show, &sigma_selectors[c]);
                SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 1);
            }
        }
    }
}

// The main window takes the screen less 5 pixels on every side, as at start-up, and its windows are tiled again.
void fit_main_window(int width, int height)
{
    if (parent_panel <= 0) return;
    SetPanelAttribute(parent_panel, ATTR_LEFT, 5);
    SetPanelAttribute(parent_panel, ATTR_TOP, 5);
    SetPanelAttribute(parent_panel, ATTR_WIDTH, width - 10);
    SetPanelAttribute(parent_panel, ATTR_HEIGHT, height - 10);
    menu_tile(handle_menu, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
    if (legend_panel > 0) resize_legend(legend_panel, EVENT_PANEL_SIZE, nullptr, 1, 0);
}

}  // namespace

int sc_main()
{
    // A list left by an earlier session would offer its wafers as this one's; it is
    // rewritten at every Start, so a failure here loses nothing.
    static_cast<void>(vsys::delete_file_if_present(playback_list_path()));
    parent_panel = LoadPanel(0, "top.uir", TOP);
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
    vui::on_screen_size(fit_main_window);
    sc_handle = LoadPanel(parent_panel, "s_chart.uir", SCHART);
    SetCtrlAttribute(sc_handle, SCHART_COMMENT, ATTR_VISIBLE, 0);
    legend_panel = LoadPanel(sc_handle, "s_chart.uir", LEGEND);
#ifdef VANTREL_REVIEW
    SetCtrlAttribute(sc_handle, SCHART_START, ATTR_VISIBLE, 0);
#endif
    set_panel_attributes(sc_handle, parent_panel, 1, 0);
    data_file.reset();
    global_scaled_data.clear();
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_REFRESH_GRAPH, 0);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, SCHART_CURSORS, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, 0);
    view_preference = 0;
    handle_menu = -1;
    update_menu();
    if (status_color == STATUS_YELLOW) {
        SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_PLOT_BGCOLOR, STATUS_YELLOW);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_PLOT_BGCOLOR, STATUS_YELLOW);
    }
    names(-1, 1, 0, 1);
    aok(-1, 1, EVENT_COMMIT, nullptr, 1, 1);
    for (int ctrl : {SCHART_SYSTEM, SCHART_DATE, SCHART_TIME, SCHART_WAFER, SCHART_TRACE_ID})
        SetCtrlAttribute(sc_handle, ctrl, ATTR_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, SCHART_PLAY_WAFER, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, SCHART_PLAY_RUN, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_SMOOTH_UPDATE, 1);
    SetActiveCtrl(sc_handle, SCHART_COMMENT);
    DisplayPanel(parent_panel);
    DisplayPanel(sc_handle);
    resize_legend(legend_panel, EVENT_PANEL_SIZE, nullptr, 1, 0);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return InstallCtrlCallback(sc_handle, SCHART_TIMER, IdleLoop, nullptr);
}

void update_menu()
{
    if (parent_panel <= 0) return;
    if (handle_menu != -1) DiscardMenuBar(handle_menu);
    handle_menu = LoadMenuBar(parent_panel, "s_chart.uir", MENUBAR);
    if (handle_menu <= 0) {
        handle_menu = -1;
        return;
    }
    SetMenuBarAttribute(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING, ATTR_CHECKED, current_file_index >= 0 ? 1 : 0);
    SetMenuBarAttribute(handle_menu, MENUBAR_WINDOW_SPC_CHART, ATTR_DIMMED, spc_panel < 0 ? 1 : 0);
    SetMenuBarAttribute(handle_menu, MENUBAR_WINDOW_ALARM_WINDOW, ATTR_DIMMED, list_panel < 0 ? 1 : 0);
    SetMenuBarAttribute(handle_menu, MENUBAR_WINDOW_SPC_CHART_LIST, ATTR_DIMMED, spc_chart_selections < 0 ? 1 : 0);
    SetMenuBarAttribute(handle_menu, MENUBAR_WINDOW_BATCH_COMPARISON, ATTR_DIMMED, compare_panel < 0 ? 1 : 0);
    InstallMenuCallback(handle_menu, MENUBAR_ALARMS_ALARM_LIST, alarm_list_pareto, nullptr);
    InstallMenuCallback(handle_menu, MENUBAR_ALARMS_ALARM_PARETO, alarm_list_pareto, nullptr);
    InstallMenuCallback(handle_menu, MENUBAR_ALARMS_CLEAR_ALARMS, menu_clear_alarms, nullptr);
    if (status_color == STATUS_YELLOW && sc_handle > 0) SetMenuBarAttribute(handle_menu, MENUBAR_ALARMS_CLEAR_ALARMS, ATTR_DIMMED, 0);
    InstallMenuCallback(handle_menu, MENUBAR_CHARTS_SPC_CHART_LIST, [](int bar, int item, void* data, int panel) {
        core_seams().act_deact_charts(bar, item, data, panel);
    }, nullptr);
    InstallMenuCallback(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW, [](int bar, int item, void* data, int panel) {
        core_seams().start_next(bar, item, data, panel);
    }, nullptr);
    build_chart_menus();
    // A setup import or the channel setup can rebuild the bar while acquisition
    // runs; the items that must not be used then stay dimmed.
    if (acq().active)
        for (int item : kDimmedWhileRunning) SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 1);
}

void sc_menu_help(int menuBar, int item, void* data, int panel)
{
    (void)menuBar;
    (void)data;
    (void)panel;
    if (item == MENUBAR_HELP_HELP) {
        help_bw(GetActivePanel(), 0, EVENT_COMMIT, nullptr, 0, 0);
    } else if (item == MENUBAR_HELP_ABOUT_VANTREL) {
        int about = LoadPanel(0, "about_vt.uir", ABOUT);
        if (about <= 0) return;
        SetCtrlVal(about, ABOUT_VERSION, "Version 6.96");
#ifdef VANTREL_REVIEW
        SetCtrlVal(about, ABOUT_PRODUCT, "Vantrel Review");
#endif
        InstallPopup(about);
    }
}
