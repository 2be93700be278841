// The Window menu: brings a main window forward, closes one, and keeps the items' checks and dimming true to the screen.
#include "testing/window_menu.h"

#include <cstdlib>
#include <cstring>

#include "core/globals.h"
#include "core/panel_framework.h"
#include "panels/s_chart.h"
#include "panels/x_hist.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "testing/chart_code.h"
#include "testing/testing_seams.h"

namespace {

constexpr int kClosedPosition = 100;

// Menu items usable only while the strip chart is the front window.
constexpr int kStripChartItems[] = {MENUBAR_FILE,       MENUBAR_CONFIGURE,
                                    MENUBAR_CONFIGURE_TRIGGERS, MENUBAR_CONFIGURE_ACQUISITION_RATE,
                                    MENUBAR_CHARTS,     MENUBAR_CONFIGURE_SYSTEM_NAME};
// Of those, the ones the start of acquisition dims until it stops.
constexpr int kDimmedWhileAcquiring[] = {MENUBAR_CONFIGURE_ACQUISITION_RATE, MENUBAR_CONFIGURE_TRIGGERS, MENUBAR_CHARTS,
                                         MENUBAR_CONFIGURE_SYSTEM_NAME};

bool acquiring()
{
    int running = 0;
    return sc_handle > 0 && GetCtrlVal(sc_handle, SCHART_START, &running) >= 0 && running != 0;
}

bool dimmed_while_acquiring(int item)
{
    for (int i : kDimmedWhileAcquiring)
        if (i == item) return true;
    return false;
}

int* handle_of(int item)
{
    switch (item) {
    case MENUBAR_WINDOW_STRIP_CHART: return &sc_handle;
    case MENUBAR_WINDOW_SPC_CHART_LIST: return &spc_chart_selections;
    case MENUBAR_WINDOW_SPC_CHART: return &spc_panel;
    case MENUBAR_WINDOW_ALARM_WINDOW: return &list_panel;
    case MENUBAR_WINDOW_BATCH_COMPARISON: return &compare_panel;
    default: return nullptr;
    }
}

void retitle_spc_chart()
{
    int code = 0;
    GetCtrlVal(spc_panel, SPC_CODE, &code);
    char text[16];
    vsys::format_into(text, sizeof text, "%.9d", std::abs(code));
    short channel = 0, type = 0, subtype = 0, step = 0, rule = 0;
    get_info_from_code(text, &channel, &type, &subtype, &step, &rule);
    char title[96];
    vsys::format_into(title, sizeof title, "%s", text);
    if (channel >= 1 && channel <= 32) testing_seams().form_chart_title(title, channel, type, subtype, step);
    SetPanelAttribute(spc_panel, ATTR_TITLE, title);
}

void close_item(int item)
{
    SetMenuBarAttribute(handle_menu, item, ATTR_CHECKED, 0);
    SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 1);
    int* handle = handle_of(item);
    if (*handle > 0) DiscardMyPanel(handle);
    *handle = -1;
}

int position_of(int item)
{
    int handle = *handle_of(item);
    if (handle <= 0) return kClosedPosition;
    int position = kClosedPosition;
    if (GetPanelAttribute(handle, ATTR_ZPLANE_POSITION, &position) < 0) return kClosedPosition;
    return position;
}

}  // namespace

int spc_sc_toggle(int, int menuItem, void*, int)
{
    if (int* handle = handle_of(menuItem); handle && *handle > 0) {
        SetActivePanel(*handle);
        if (menuItem == MENUBAR_WINDOW_SPC_CHART) retitle_spc_chart();
    }
    int open = 0;
    for (int item = MENUBAR_WINDOW_STRIP_CHART; item <= MENUBAR_WINDOW_BATCH_COMPARISON; ++item) {
        bool is_open = *handle_of(item) > 0;
        open += is_open ? 1 : 0;
        SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, is_open ? 0 : 1);
    }
    SetMenuBarAttribute(handle_menu, MENUBAR_WINDOW_TILE, ATTR_DIMMED, open <= 1 ? 1 : 0);
    for (int item = MENUBAR_WINDOW_STRIP_CHART; item <= MENUBAR_WINDOW_BATCH_COMPARISON; ++item)
        SetMenuBarAttribute(handle_menu, item, ATTR_CHECKED, item == menuItem ? 1 : 0);
    return 0;
}

void discard_window(int menuItem)
{
    if (menuItem == MENUBAR_WINDOW_STRIP_CHART) return;
    if (menuItem == MENUBAR_WINDOW_SPC_CHART_LIST || menuItem == MENUBAR_WINDOW_SPC_CHART ||
        menuItem == MENUBAR_WINDOW_BATCH_COMPARISON)
        close_item(menuItem);
    if (menuItem == MENUBAR_WINDOW_ALARM_WINDOW) {
        close_item(MENUBAR_WINDOW_ALARM_WINDOW);
        close_item(MENUBAR_WINDOW_SPC_CHART);
    }
    int positions[MENUBAR_WINDOW_BATCH_COMPARISON + 1] = {};
    int front = kClosedPosition;
    for (int item = MENUBAR_WINDOW_STRIP_CHART; item <= MENUBAR_WINDOW_BATCH_COMPARISON; ++item) {
        positions[item] = position_of(item);
        if (positions[item] < front) front = positions[item];
    }
    if (front < kClosedPosition)
        for (int item = MENUBAR_WINDOW_STRIP_CHART; item <= MENUBAR_WINDOW_BATCH_COMPARISON; ++item)
            SetMenuBarAttribute(handle_menu, item, ATTR_CHECKED, positions[item] == front ? 1 : 0);
    // The setup commands stay dimmed while acquisition records with the setup, whatever window closed.
    const bool strip_in_front = positions[MENUBAR_WINDOW_STRIP_CHART] == front;
    const bool running = acquiring();
    for (int item : kStripChartItems) {
        const bool usable = strip_in_front && !(running && dimmed_while_acquiring(item));
        SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, usable ? 0 : 1);
    }
    if (front >= kClosedPosition) return;
    for (int item : {MENUBAR_WINDOW_STRIP_CHART, MENUBAR_WINDOW_ALARM_WINDOW, MENUBAR_WINDOW_SPC_CHART,
                     MENUBAR_WINDOW_SPC_CHART_LIST, MENUBAR_WINDOW_BATCH_COMPARISON})
        if (positions[item] == front) {
            DisplayPanel(*handle_of(item));
            return;
        }
}
