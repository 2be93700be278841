// The chart slideshow: every catalogued chart of the current process in the chart window, a few seconds each.
#include "spc/slideshow.h"

#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/long_command.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "core/text_utils.h"
#include "panels/s_chart.h"
#include "panels/x_hist.h"
#include "platform/sys/clock.h"
#include "platform/sys/format.h"
#include "platform/sys/timing.h"
#include "platform/ui/status_line.h"
#include "platform/ui/userint.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_data.h"
#include "spc/chart_titles.h"
#include "spc/chart_window.h"
#include "testing/chart_code.h"

namespace {

// Controls of the chart window and main-menu items that rest while the slideshow runs.
constexpr int kRestingControls[] = {SPC_LIMITS_BUTTON, SPC_PRINT,  SPC_EXCLUDE,      SPC_NATURAL,
                                    SPC_SPEC,          SPC_POINT, SPC_RULES_BUTTON, SPC_COMMENT};
constexpr int kRestingItems[] = {MENUBAR_FILE,   MENUBAR_CONFIGURE,      MENUBAR_CONFIGURE_ACQUISITION_RATE,
                                 MENUBAR_CONFIGURE_TRIGGERS, MENUBAR_CHARTS, MENUBAR_CONFIGURE_SYSTEM_NAME,
                                 MENUBAR_CONFIGURE_COLORS_LOAD_COLORS, MENUBAR_HELP};
// Of those, the ones the start of acquisition dims until it stops (rate, triggers, charts, system name, colours).
constexpr int kDimmedWhileAcquiring[] = {MENUBAR_CONFIGURE_ACQUISITION_RATE, MENUBAR_CONFIGURE_TRIGGERS,
                                         MENUBAR_CHARTS, MENUBAR_CONFIGURE_SYSTEM_NAME,
                                         MENUBAR_CONFIGURE_COLORS_LOAD_COLORS};

// Acquisition may have been started during the show (its start closes the show's window).
bool dimmed_by_acquisition(int item)
{
    int running = 0;
    if (sc_handle <= 0 || GetCtrlVal(sc_handle, SCHART_START, &running) < 0 || running == 0) return false;
    for (int i : kDimmedWhileAcquiring)
        if (i == item) return true;
    return false;
}

// The chart window the slideshow opened; another window in spc_panel is not ours.
int show_panel = -1;

struct SlideRow {
    short channel = 0, type = 0, subtype = 0, index = 0;
    int points = 0, rules = 0;
    short limits = 1;
};

// The rows are read whole and the statement closed before any chart is shown: deleting a row packs the table.
bool read_rows(std::vector<SlideRow>& rows)
{
    DbStatement st(hdbc, vsys::strprintf("SELECT * FROM %.4iACTC ORDER BY CHART_TYPE ASC, CHANNEL ASC, D_INDEX ASC, "
                                         "DATA_PARAM ASC",
                                         recipe_num));
    if (!st.ok()) return false;
    SlideRow row;
    long status[7] = {};
    const int s = st.handle();
    int r = 0;
    r |= DBBindColShort(s, 1, &row.channel, &status[0]);
    r |= DBBindColShort(s, 2, &row.type, &status[1]);
    r |= DBBindColShort(s, 3, &row.subtype, &status[2]);
    r |= DBBindColShort(s, 4, &row.index, &status[3]);
    r |= DBBindColInt(s, 5, &row.points, &status[4]);
    r |= DBBindColInt(s, 6, &row.rules, &status[5]);
    r |= DBBindColShort(s, 7, &row.limits, &status[6]);
    if (r != 0) ShowError();
    while (DBFetchNext(s) == 0) rows.push_back(row);
    return true;
}

bool window_is_ours() { return spc_panel > 0 && spc_panel == show_panel; }

// Waits the slide's time while the user's events are handled; false when the show must stop.
bool wait_slide()
{
    const double end = Timer() + kSlideSeconds;
    while (Timer() < end) {
        ProcessSystemEvents();
        if (!window_is_ours()) return false;
        int stop = 0;
        GetCtrlVal(spc_panel, SPC_CLOSE, &stop);
        if (stop) return false;
        vsys::sleep_seconds(0.05);
    }
    ProcessSystemEvents();
    if (!window_is_ours()) return false;
    int stop = 0;
    GetCtrlVal(spc_panel, SPC_CLOSE, &stop);
    return stop == 0;
}

void draw_slideshow_legend(int panel)
{
    SetAxisRange(panel, SPC_LEGEND, VAL_MANUAL, 0.0, 100.0, VAL_MANUAL, 0.0, 100.0);
    PlotPoint(panel, SPC_LEGEND, 10, 50, VAL_SOLID_CIRCLE, 0x000000);
    PlotText(panel, SPC_LEGEND, 11, 15, "In Control", 0x000000, VAL_TRANSPARENT);
    PlotPoint(panel, SPC_LEGEND, 68, 50, VAL_SOLID_CIRCLE, 0x000000);
    PlotPoint(panel, SPC_LEGEND, 68, 50, VAL_SMALL_SOLID_SQUARE, 0xFFFFFF);
    PlotText(panel, SPC_LEGEND, 69, 15, "Rule Violation", 0x000000, VAL_TRANSPARENT);
}

}  // namespace

void next(int display, int runLimit, const char* recipe)
{
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    free_mem();
    std::vector<SlideRow> rows;
    if (!read_rows(rows)) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return;
    }
    if (rows.empty() && display < 1) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        MessagePopup("", "No active charts to display.");
    }
    if (recipe && *recipe) {
        recipe_restrictions = 1;
        recipe_select.assign(1, recipe);
    }
    int slides = 0;
    for (SlideRow& row : rows) {
        // Each slide is a record of its own; the window shows it while it is up.
        ChartRecord chart = chart_of(recipe_num, row.channel, row.type, row.subtype, row.index);
        chart.points = row.points;
        chart.rules = row.rules;
        chart.natural = row.limits;
        if (window_is_ours()) SetCtrlVal(spc_panel, SPC_CODE, chart_code(row.channel, row.type, row.subtype, row.index));
        if (chart.points > 0) {
            if (load_data(chart, TEST_SET, runLimit) == -1)
                chart_preferences_of(chart.process, CHART_DELETE, &row.channel, &row.type, &row.subtype, &row.index,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
            if (window_is_ours()) SetCtrlVal(spc_panel, SPC_EXCLUDE, 0);
        }
        if (chart.points > 0) {
            if (window_is_ours()) {
                char title[kChartTitleSize] = "";
                form_chart_title(title, chart.channel, chart.type, chart.subtype, chart.step);
                SetPanelAttribute(spc_panel, ATTR_TITLE, title);
                SetCtrlVal(spc_panel, SPC_PROCESS, chart.process);
                shown_chart() = std::move(chart);
                display_capability(display, runLimit);
            }
            ++slides;
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            const bool go_on = wait_slide();
            SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
            // A chart window that replaced ours owns its chart now.
            if (!go_on && spc_panel > 0 && !window_is_ours()) {
                SetMouseCursor(VAL_DEFAULT_CURSOR);
                return;
            }
            if (window_is_ours()) shown_chart().release_series();
            if (!go_on) break;
        }
    }
    free_mem();
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    // Without this the show of charts that have no data ends with nothing said.
    if (!rows.empty() && slides == 0 && display < 1) vui::ShowStatusLine("None of the active charts has data to display.");
}

void start_next(int, int, void*, int)
{
    LongCommand guard("Slideshow");
    if (!guard.held()) return;
    if (spc_panel > 0) {
        DiscardMyPanel(&spc_panel);
        free_mem();
        por_free_mem();
    }
    spc_panel = LoadPanel(parent_panel > 0 ? parent_panel : 0, "x_hist.uir", SPC);
    if (spc_panel <= 0) {
        spc_panel = -1;
        return;
    }
    show_panel = spc_panel;
    draw_slideshow_legend(spc_panel);
    set_panel_attributes(spc_panel, parent_panel, 0, 1);
    SetCtrlAttribute(spc_panel, SPC_RECIPE, ATTR_HEIGHT, 19);
    SetCtrlAttribute(spc_panel, SPC_RULES, ATTR_HEIGHT, 19);
    SetCtrlAttribute(spc_panel, SPC_CHART, ATTR_REFRESH_GRAPH, 0);
    SetCtrlAttribute(spc_panel, SPC_HISTOGRAM, ATTR_REFRESH_GRAPH, 0);
    SetCtrlAttribute(spc_panel, SPC_CHART, ATTR_NUM_CURSORS, 1);
    for (int c : kRestingControls) SetCtrlAttribute(spc_panel, c, ATTR_DIMMED, 1);
    for (int item : kRestingItems) SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 1);
    SetCtrlVal(spc_panel, SPC_EXCLUDE, 0);
    InstallCtrlCallback(spc_panel, SPC_CLOSE, CtrlCallbackPtr{}, nullptr);
    SetCtrlAttribute(spc_panel, SPC_CLOSE, ATTR_OFF_TEXT, "Stop");
    SetCtrlAttribute(spc_panel, SPC_CLOSE, ATTR_ON_TEXT, "Stopping...");
    // The close box stops the show as Stop does.
    SetPanelAttribute(spc_panel, ATTR_CLOSE_CTRL, SPC_CLOSE);
    DisplayPanel(spc_panel);
    shown_chart().release_series();
    wafer_restrictions = lot_restrictions = recipe_restrictions = system_restrictions = 0;
    char name[33] = "";
    get_put_char(hdbc, 1, recipe_num, CONFIG_READ, name);
    right_text_trim(name);
    next(0, 0, name);
    if (window_is_ours()) DiscardMyPanel(&spc_panel);
    show_panel = -1;
    // The menu comes back however the show ended, also when its window was discarded meanwhile.
    for (int item : kRestingItems)
        if (!dimmed_by_acquisition(item)) SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 0);
}
