// The SPC chart window: chart menu items, batch selection, drawing with limits, rules, histogram and capability,
// axis toggles, exclusion of rule breakers, the point read-out with its playback offer and comments, and closing.
#include "spc/chart_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/config_store.h"
#include "core/core_seams.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/run_lookup.h"
#include "core/shared_buffers.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "panels/compare.h"
#include "panels/s_chart.h"
#include "panels/wafers.h"
#include "panels/x_hist.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_data.h"
#include "spc/chart_titles.h"
#include "spc/compare_window.h"
#include "spc/ooc_alarms.h"
#include "spc/run_rules.h"
#include "spc/spc_seams.h"
#include "testing/alarm_review.h"
#include "testing/chart_code.h"
#include "testing/window_menu.h"

int spc_data_plot = 0;
int rule_breakers = 0;

namespace {

constexpr int kBlack = 0x000000, kWhite = 0xFFFFFF, kGreen = 0x00FF00, kRed = 0xFF0000, kBlue = 0x0000FF;

// Plot handles of the limit lines: three natural, seven rule lines.
int natural_plots[3] = {0, 0, 0};
int rule_plots[7] = {0, 0, 0, 0, 0, 0, 0};

// The window's chart: what it shows, or showed last.
ChartRecord shown;

// The chart each open batch selection chooses the batches of, by panel.
std::map<int, ChartRecord> batch_charts;

bool window_open() { return spc_panel > 0; }

int points_shown() { return std::max(0, std::min<int>(shown.points, static_cast<int>(shown.values.size()))); }

std::string process_name(int process)
{
    char name[33] = "";
    get_put_char(hdbc, 1, process, 14, name);
    right_text_trim(name);
    return name;
}

// Fills a check list from a one-column query after its item 0; entries of `chosen` are checked.
void fill_list(int panel, int ctrl, const std::string& sql, int width, int count, const std::vector<std::string>& chosen)
{
    DbStatement st(hdbc, sql);
    if (!st.ok()) return;
    std::vector<char> text(static_cast<std::size_t>(width) + 1, '\0');
    long status = 0;
    if (DBBindColChar(st.handle(), 1, width + 1, text.data(), &status, "") != 0) ShowError();
    // Looked up, not scanned: a selection may name thousands of trace ids.
    const std::unordered_set<std::string> wanted(chosen.begin(), chosen.begin() + std::min<long>(std::max(count, 0), static_cast<long>(chosen.size())));
    // A year of runs goes into the list at once, then the stored entries are checked.
    std::vector<std::string> labels;
    std::vector<int> values, checked;
    while (DBFetchNext(st.handle()) == 0) {
        right_text_trim(text.data());
        labels.emplace_back(text.data());
        values.push_back(static_cast<int>(values.size()) + 1);
        if (!wanted.empty() && wanted.count(labels.back())) checked.push_back(values.back());
    }
    InsertListItems(panel, ctrl, -1, labels, values);
    for (int k : checked) {
        CheckListItem(panel, ctrl, k, 1);
        CheckListItem(panel, ctrl, 0, 0);
    }
}

// The checked labels of a list from item 1 on; none when item 0 is checked.
std::vector<std::string> checked_labels(int panel, int ctrl)
{
    std::vector<std::string> out;
    int all = 0;
    IsListItemChecked(panel, ctrl, 0, &all);
    if (all) return out;
    int n = 0;
    GetNumListItems(panel, ctrl, &n);
    for (int i = 1; i < n; ++i) {
        int on = 0;
        IsListItemChecked(panel, ctrl, i, &on);
        if (!on) continue;
        std::string label;
        GetLabelFromIndex(panel, ctrl, i, &label);
        out.push_back(label.substr(0, 32));
    }
    return out;
}

std::string chart_title(const ChartRecord& chart)
{
    char title[kChartTitleSize] = "";
    form_chart_title(title, chart.channel, chart.type, chart.subtype, chart.step);
    return title;
}

int code_of(const ChartRecord& chart) { return chart_code(chart.channel, chart.type, chart.subtype, chart.step); }

void draw_legend()
{
    const int g = SPC_LEGEND;
    SetAxisRange(spc_panel, g, VAL_MANUAL, 0.0, 100.0, VAL_MANUAL, 0.0, 100.0);
    PlotPoint(spc_panel, g, 10, 50, VAL_SOLID_CIRCLE, kBlack);
    PlotText(spc_panel, g, 11, 15, "In Control", kBlack, VAL_TRANSPARENT);
    const bool compare = compare_panel > 0;
    const double x = compare ? 38 : 68;
    PlotPoint(spc_panel, g, x, 50, VAL_SOLID_CIRCLE, kBlack);
    PlotPoint(spc_panel, g, x, 50, VAL_SMALL_SOLID_SQUARE, kWhite);
    PlotText(spc_panel, g, x + 1, 15, "Rule Violation", kBlack, VAL_TRANSPARENT);
    if (compare) {
        PlotPoint(spc_panel, g, 68, 50, VAL_SOLID_SQUARE, kBlue);
        PlotText(spc_panel, g, 69, 15, "POR Data", kBlack, VAL_TRANSPARENT);
    }
}

// Statistics of the points that break no enabled rule (all points when `all`), from the oldest to the newest.
void recompute_statistics(bool all)
{
    const RuleSeries series = rule_series(shown);
    std::vector<double> good;
    good.reserve(static_cast<std::size_t>(series.n));
    shown.plot_low[0] = 1e11;
    shown.plot_high[0] = -1e11;
    const std::vector<std::uint16_t> broken =
        all ? std::vector<std::uint16_t>() : broken_rule_masks(series, shown.rules);
    for (int i = series.n - 1; i >= 0; --i) {
        if (!all && broken[static_cast<std::size_t>(i)] != 0) continue;
        const double v = series.x[i];
        good.push_back(v);
        shown.plot_low[0] = std::min(shown.plot_low[0], v);
        shown.plot_high[0] = std::max(shown.plot_high[0], v);
    }
    series_statistics(good.data(), static_cast<int>(good.size()), &shown.data_mean, &shown.data_stdev);
}

void open_selection(ChartRecord chart, int control);

// The playback of a point runs under the process of its run: the process number, its setup and the strip chart's
// legend change together. A process that no longer exists gives the configured current one.
void switch_to_process_of(const std::string& recipe, short type)
{
    char name[33] = "";
    copy_bounded(name, recipe.c_str(), 32);
    right_text_trim(name);
    char found[33] = "";
    copy_bounded(found, name, 32);
    get_put_char(hdbc, 1, 0, PROCESS_BY_NAME, found);
    int process = 0;
    if (std::strcmp(found, "Not Found") == 0) {
        char current[33] = "";
        get_put_char(hdbc, 0, 5, CONFIG_READ, current);
        process = std::atoi(current);
        MessagePopup("Playback Error",
                     vsys::strprintf("The '%s' process does not exist.  \nData can only be played back with current "
                                     "parameters.",
                                     name)
                         .c_str());
    } else {
        process = std::atoi(found);
    }
    recipe_num = process;
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
    const CoreSeams& core = core_seams();
    core.names(-2, type == 18 ? 18 : 0, 0, sc_handle);
}

// The POR batch beside the TEST points: its histogram in blue over the TEST one, and its newest points as blue
// squares over the newest TEST points.
void draw_por_series()
{
    const int n_por = std::min<int>(por_chart_points, static_cast<int>(por_x_array.size()));
    if (n_por <= 0) return;
    int x_mode = 0, y_mode = 0;
    double x_min = 0.0, x_max = 0.0, y_min = 0.0, y_max = 0.0;
    GetAxisRange(spc_panel, SPC_HISTOGRAM, &x_mode, &x_min, &x_max, &y_mode, &y_min, &y_max);
    std::vector<double> centres;
    std::vector<int> counts;
    int bins = 0;
    GenerateHistogram(por_x_array.data(), n_por, y_min, y_max, centres, &bins, counts);
    int largest = 0;
    for (int c : counts) largest = std::max(largest, c);
    if (largest > x_max) SetAxisRange(spc_panel, SPC_HISTOGRAM, VAL_MANUAL, 0.0, largest, VAL_NO_CHANGE, 0.0, 0.0);
    if (bins > 0)
        PlotXY(spc_panel, SPC_HISTOGRAM, counts.data(), centres.data(), bins, VAL_INTEGER, VAL_DOUBLE, VAL_HORIZONTAL_BAR,
               VAL_NO_POINT, VAL_SOLID, 1, kBlue);
    const int n = std::min(n_por, points_shown());
    double low = shown.plot_low[3], high = shown.plot_high[3];
    scale_spc_axes(-n, 0, &low, &high, spc_panel, SPC_CHART);
    std::vector<double> xs(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) xs[static_cast<std::size_t>(i)] = -i;
    PlotXY(spc_panel, SPC_CHART, xs.data(), por_x_array.data(), n, VAL_DOUBLE, VAL_DOUBLE, VAL_CONNECTED_POINTS,
           VAL_SOLID_SQUARE, VAL_SOLID, 1, kBlue);
}

bool acquisition_running()
{
    int running = 0;
    return sc_handle > 0 && GetCtrlVal(sc_handle, SCHART_START, &running) >= 0 && running != 0;
}

// A tick on one entry ends "Select All" and a tick on "Select All" clears the entries: what shows ticked is used.
int batch_list_ticked(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int index = -1, on = 0, count = 0;
    if (GetCtrlIndex(panel, control, &index) < 0 || index < 0) return 0;
    if (IsListItemChecked(panel, control, index, &on) < 0 || !on) return 0;
    if (index > 0) {
        CheckListItem(panel, control, 0, 0);
        return 0;
    }
    GetNumListItems(panel, control, &count);
    for (int i = 1; i < count; ++i) CheckListItem(panel, control, i, 0);
    return 0;
}

}  // namespace

// --- choosing a chart ---------------------------------------------------------------------------------------

void show_chart(int menuBar, int item, void* callbackData, int panel)
{
    (void)panel;
    // A chart chosen from the menu ends a running comparison: its batches are chosen anew.
    if (compare_panel > 0) stop_compare(-1, -1, EVENT_COMMIT, nullptr, 0, 0);
    char text[256] = "";
    if (GetMenuBarAttribute(menuBar, item, ATTR_ITEM_NAME, text) < 0 || !callbackData) {
        MessagePopup("Error", "Invalid menu id in show_chart()");
        return;
    }
    const unsigned short selector = *static_cast<const unsigned short*>(callbackData);
    wafer_restrictions = 0;
    wafer_select.clear();
    wafer_logic.clear();
    lot_restrictions = 0;
    lot_select.clear();
    system_restrictions = 0;
    system_select.clear();
    // A text that names none of its type's metrics keeps the sub-type (and step) of the chart shown before.
    ChartRecord chart;
    chart.process = recipe_num;
    chart.subtype = shown.subtype;
    chart.step = shown.step;
    chart.points = 0;
    chart.channel = static_cast<short>(selector & 0xFF);
    chart.type = static_cast<signed char>(selector >> 8);
    const std::string name = text;
    auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
    switch (chart.type) {
    case 0:
    case 18:
        if (chart.type == 0 && chart.channel >= 1 && chart.channel <= 32) chart.type = channel_type[chart.channel];
        chart.step = 0;
        if (has("Mean")) chart.subtype = 1;
        if (has("Minimum")) chart.subtype = 3;
        if (has("Deviation")) chart.subtype = 2;
        if (has("Maximum")) chart.subtype = 4;
        break;
    case 1: {
        char word[64] = "";
        int step = 0;
        if (std::sscanf(text, "%63s %d", word, &step) == 2) chart.step = static_cast<short>(step);
        if (has("Overshoot Area")) chart.subtype = 0;
        if (has("Overshoot Maximum")) chart.subtype = 6;
        if (has("Undershoot Area")) chart.subtype = 1;
        if (has("Undershoot Minimum")) chart.subtype = 5;
        if (has("Stability")) chart.subtype = 2;
        if (has("Decay")) chart.subtype = 3;
        break;
    }
    case 4:
    case 5:
        chart.subtype = 0;
        chart.step = 0;
        break;
    case 17:
        chart.channel = 17;
        chart.step = 0;
        if (has("Endpoint Time")) chart.subtype = 0;
        if (has("Total Clean Time")) chart.subtype = 1;
        break;
    default: break;
    }
    open_batch_selection(chart);
}

void open_batch_selection(const ChartRecord& chart)
{
    // Endpoint data ignore the recipe; every other chart starts with the current process preset.
    if (chart.type == 17) {
        recipe_restrictions = 0;
        recipe_select.clear();
    } else {
        recipe_restrictions = 1;
        recipe_select.assign(1, process_name(recipe_num));
    }
    open_selection(chart, -1);
}

int wafers_in_chart(int panel, int control, int event, void*, int, int)
{
    (void)panel;
    if (event != EVENT_COMMIT) return 0;
    open_selection(shown, control);
    return 0;
}

ChartRecord batch_chart(int panel)
{
    const auto found = batch_charts.find(panel);
    return found != batch_charts.end() ? found->second : shown;
}

namespace {

void open_selection(ChartRecord chart, int control)
{
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    const CatalogueRow row = read_catalogue_row(chart);
    int points = row.points;
    chart.rules = row.rules & kAllRules;
    chart.natural = row.limits;
    if (window_open() && chart.points > 2) points = chart.points;
    // The selection keeps the chart's identity and settings; its series is loaded when the selection is taken.
    chart.release_series();
    chart.points = points;
    const int dialog = LoadPanel(parent_panel > 0 ? parent_panel : 0, "wafers.uir", WAFERS);
    if (dialog < 0) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return;
    }
    std::erase_if(batch_charts, [](const auto& entry) {
        int visible = 0;
        return GetPanelAttribute(entry.first, ATTR_VISIBLE, &visible) < 0;
    });
    batch_charts[dialog] = chart;
    SetCtrlVal(dialog, WAFERS_POINTS, points);
    const bool endpoint = chart.type == 17;
    if (endpoint) SetCtrlAttribute(dialog, WAFERS_WAFER_LIST, ATTR_LABEL_TEXT, "Batch size to include");
    const bool from_compare = compare_panel > 0 && (control == COMPARE_POR || control == COMPARE_TEST);
    if (from_compare)
        SetPanelAttribute(dialog, ATTR_TITLE, control == COMPARE_POR ? "Select POR Batches" : "Select TEST Batches");
    const bool test = compare_panel < 0 || control == COMPARE_TEST || !from_compare;
    const int conditions = test ? wafer_restrictions : por_wafer_restrictions;
    const auto& select = test ? wafer_select : por_wafer_select;
    const auto& logic = test ? wafer_logic : por_wafer_logic;

    InsertListItem(dialog, WAFERS_WAFER_LIST, -1, "Select All", -2);
    const int standard[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 25, 50, 75, 100};
    for (int n : standard) {
        std::string label = endpoint ? vsys::strprintf(n == 1 ? "Batches with %i wafer" : "Batches with %i wafers", n)
                                     : vsys::strprintf("Trigger Number %i", n);
        InsertListItem(dialog, WAFERS_WAFER_LIST, -1, label.c_str(), n);
    }
    const int n_conditions = std::min({conditions, static_cast<int>(select.size()), static_cast<int>(logic.size())});
    if (n_conditions <= 0) CheckListItem(dialog, WAFERS_WAFER_LIST, 0, 1);
    for (int k = 0; k < n_conditions; ++k) {
        const int number = select[static_cast<std::size_t>(k)], l = logic[static_cast<std::size_t>(k)];
        if (l == 0 && number >= 1 && number <= 10) {
            CheckListItem(dialog, WAFERS_WAFER_LIST, number, 1);
            continue;
        }
        if (l == 0 && (number == 25 || number == 50 || number == 75 || number == 100)) {
            CheckListItem(dialog, WAFERS_WAFER_LIST, 10 + number / 25, 1);
            continue;
        }
        if (l == 0 && number < 1) continue;
        std::string label = "na";
        if (!test)
            label = vsys::strprintf(l < 0 ? "Trigger Numbers < %i" : l > 0 ? "Trigger Numbers > %i" : "Wafer %i", number);
        else if (endpoint)
            label = vsys::strprintf(l < 0 ? "Batches with < %i wafers" : l > 0 ? "Batches with > %i wafers"
                                                                                : "Batches with %i wafers",
                                    number);
        else
            label = vsys::strprintf(l < 0 ? "Trigger Numbers < %i" : l > 0 ? "Trigger Numbers > %i"
                                                                           : "Trigger Number %i",
                                    number);
        int items = 0;
        GetNumListItems(dialog, WAFERS_WAFER_LIST, &items);
        InsertListItem(dialog, WAFERS_WAFER_LIST, -1, label.c_str(), number);
        CheckListItem(dialog, WAFERS_WAFER_LIST, items, 1);
    }

    InsertListItem(dialog, WAFERS_TRACE_LIST, -1, "Select all", -1);
    CheckListItem(dialog, WAFERS_TRACE_LIST, 0, 1);
    fill_list(dialog, WAFERS_TRACE_LIST,
              endpoint ? "SELECT RTRIM(TRACE_ID) FROM ENDP_DAT ORDER BY SAV_DATE DESC, SAV_TIME DESC"
                       : "SELECT RTRIM(TRACE_ID) FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY SAV_DATE DESC, SAV_TIME DESC",
              32, test ? lot_restrictions : por_lot_restrictions, test ? lot_select : por_lot_select);
    InsertListItem(dialog, WAFERS_RECIPE_LIST, -1, "Select All", -1);
    CheckListItem(dialog, WAFERS_RECIPE_LIST, 0, 1);
    if (!endpoint)
        fill_list(dialog, WAFERS_RECIPE_LIST,
                  "SELECT DISTINCT RTRIM(RECIPE) FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY 1 ASC", 32,
                  test ? recipe_restrictions : por_recipe_restrictions, test ? recipe_select : por_recipe_select);
    InsertListItem(dialog, WAFERS_SYSTEM_LIST, -1, "Select All", -1);
    CheckListItem(dialog, WAFERS_SYSTEM_LIST, 0, 1);
    fill_list(dialog, WAFERS_SYSTEM_LIST,
              endpoint ? "SELECT DISTINCT SYSTEM_ID FROM ENDP_DAT ORDER BY SYSTEM_ID ASC"
                       : "SELECT DISTINCT SYSTEM_ID FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY SYSTEM_ID ASC",
              16, test ? system_restrictions : por_system_restrictions, test ? system_select : por_system_select);
    for (int list : {WAFERS_WAFER_LIST, WAFERS_TRACE_LIST, WAFERS_RECIPE_LIST, WAFERS_SYSTEM_LIST})
        InstallCtrlCallback(dialog, list, batch_list_ticked, nullptr);
    if (from_compare)
        InstallCtrlCallback(dialog, WAFERS_OK, control == COMPARE_POR ? select_por_batches : select_test_batches, nullptr);
    InstallPopup(dialog);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
}

}  // namespace

int new_chart(int panel, int control, int event, void*, int, int)
{
    (void)control;
    if (event != EVENT_COMMIT) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    // The chart this selection was opened for, whatever has been tested or shown since.
    ChartRecord chart = batch_chart(panel);
    batch_charts.erase(panel);
    if (window_open()) {
        DiscardMyPanel(&spc_panel);
        spc_panel = -1;
        free_mem();
        shown.release_series();
    }
    int points = 0;
    GetCtrlVal(panel, WAFERS_POINTS, &points);
    chart.points = points;
    wafer_select.clear();
    wafer_logic.clear();
    int all = 0;
    IsListItemChecked(panel, WAFERS_WAFER_LIST, 0, &all);
    if (!all) {
        int n = 0;
        GetNumListItems(panel, WAFERS_WAFER_LIST, &n);
        for (int i = 1; i < n; ++i) {
            int on = 0;
            IsListItemChecked(panel, WAFERS_WAFER_LIST, i, &on);
            if (!on) continue;
            int value = 0;
            std::string label;
            GetValueFromIndex(panel, WAFERS_WAFER_LIST, i, &value);
            GetLabelFromIndex(panel, WAFERS_WAFER_LIST, i, &label);
            wafer_select.push_back(value);
            wafer_logic.push_back(label.find('<') != std::string::npos   ? -1
                                  : label.find('>') != std::string::npos ? 1
                                                                         : 0);
        }
    }
    wafer_restrictions = static_cast<int>(wafer_select.size());
    lot_select = checked_labels(panel, WAFERS_TRACE_LIST);
    lot_restrictions = static_cast<int>(lot_select.size());
    recipe_select = checked_labels(panel, WAFERS_RECIPE_LIST);
    recipe_restrictions = static_cast<int>(recipe_select.size());
    system_select = checked_labels(panel, WAFERS_SYSTEM_LIST);
    system_restrictions = static_cast<int>(system_select.size());
    DiscardPanel(panel);
    display_new_chart(chart);
    return 0;
}

// --- the window -------------------------------------------------------------------------------------------

ChartRecord& shown_chart() { return shown; }

bool window_shows(const ChartRecord& chart) { return window_open() && same_chart(shown, chart); }

void display_new_chart(const ChartRecord& chart)
{
    // The window takes its own copy: what the caller does with its record later changes nothing here.
    if (&chart != &shown) shown = chart;
    if (!window_open()) {
        spc_panel = LoadPanel(parent_panel > 0 ? parent_panel : 0, "x_hist.uir", SPC);
        if (spc_panel < 0) {
            spc_panel = -1;
            return;
        }
        set_panel_attributes(spc_panel, parent_panel, 0, 1);
        SetCtrlAttribute(spc_panel, SPC_CHART, ATTR_NUM_CURSORS, 1);
    } else {
        DeleteGraphPlot(spc_panel, SPC_CHART, -1, VAL_DELAYED_DRAW);
        DeleteGraphPlot(spc_panel, SPC_HISTOGRAM, -1, VAL_DELAYED_DRAW);
        DeleteGraphPlot(spc_panel, SPC_LEGEND, -1, VAL_DELAYED_DRAW);
    }
    const bool compare = compare_panel > 0;
    draw_legend();
    const std::string title = chart_title(shown);
    SetPanelAttribute(spc_panel, ATTR_TITLE, title);
    SetCtrlVal(spc_panel, SPC_CODE, code_of(shown));
    SetCtrlVal(spc_panel, SPC_PROCESS, shown.process);
    SetCtrlVal(spc_panel, SPC_EXCLUDE, 0);
    // Beside a comparison the POR batch of the same chart is loaded too; it keeps only its values and ranges.
    ChartRecord por;
    if (shown.points > 0) {
        if (compare) {
            por = shown;
            load_data(por, POR_SET, 0);
        }
        load_data(shown, TEST_SET, 0);
        if (compare && por.points > 0)
            for (int i = 0; i < 4; ++i) {
                shown.plot_low[i] = std::min(shown.plot_low[i], por.plot_low[i]);
                shown.plot_high[i] = std::max(shown.plot_high[i], por.plot_high[i]);
            }
    } else {
        shown.release_series();
    }
    por_x_array = std::move(por.values);
    por_chart_points = por.points;
    if (shown.points <= 0 || (compare && por_chart_points <= 0)) {
        DiscardMyPanel(&spc_panel);
        spc_panel = -1;
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        if (!compare) {
            MessagePopup(title.c_str(), "No data found for this chart.");
            free_mem();
        }
        if (compare && shown.points <= 0) MessagePopup(title.c_str(), "No Test data found for this chart.");
        if (compare && por_chart_points <= 0) MessagePopup(title.c_str(), "No Process of Record data found for this chart.");
        shown.release_series();
        por_x_array.clear();
        por_chart_points = 0;
        return;
    }
    if (sc_handle > 0) spc_sc_toggle(handle_menu, MENUBAR_WINDOW_SPC_CHART, nullptr, 0);
    display_capability(0, 0);
    InstallCtrlCallback(spc_panel, SPC_CLOSE, discard_chart, nullptr);
    SetCtrlAttribute(spc_panel, SPC_CLOSE, ATTR_ON_TEXT, "Closing...");
    SetCtrlAttribute(spc_panel, SPC_CLOSE, ATTR_OFF_TEXT, "Close");
    // The window's close box does what Close does: the catalogue row is kept and the buffers freed.
    SetPanelAttribute(spc_panel, ATTR_CLOSE_CTRL, SPC_CLOSE);
    for (int c : {SPC_PRINT, SPC_RULES_BUTTON, SPC_LIMITS_BUTTON}) SetCtrlAttribute(spc_panel, c, ATTR_DIMMED, compare);
    if (compare) draw_por_series();
    menu_tile(handle_menu, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
    DisplayPanel(spc_panel);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
}

void plot_limit_lines()
{
    const double left = -shown.points;
    const double data_mean = shown.data_mean, data_stdev = shown.data_stdev;
    const double rule_mean = shown.rule_mean, rule_stdev = shown.rule_stdev;
    auto line = [&](double value, int colour, bool dotted) {
        int plot = PlotLine(spc_panel, SPC_CHART, left, value, 0.0, value, colour);
        if (plot > 0 && dotted) {
            SetPlotAttribute(spc_panel, SPC_CHART, plot, ATTR_LINE_STYLE, VAL_DOT);
            SetPlotAttribute(spc_panel, SPC_CHART, plot, ATTR_TRACE_POINT_STYLE, VAL_NO_POINT);
        }
        return plot;
    };
    natural_plots[0] = line(data_mean + 3 * data_stdev, kGreen, false);
    natural_plots[1] = line(data_mean, kGreen, false);
    natural_plots[2] = line(data_mean - 3 * data_stdev, kGreen, false);
    rule_plots[0] = line(rule_mean, kRed, false);
    rule_plots[1] = line(rule_mean + rule_stdev, kRed, true);
    rule_plots[2] = line(rule_mean + 2 * rule_stdev, kRed, true);
    rule_plots[3] = line(rule_mean + 3 * rule_stdev, kRed, false);
    rule_plots[4] = line(rule_mean - rule_stdev, kRed, true);
    rule_plots[5] = line(rule_mean - 2 * rule_stdev, kRed, true);
    rule_plots[6] = line(rule_mean - 3 * rule_stdev, kRed, false);
}

void display_capability(int firstRun, int lastRun)
{
    const int n = points_shown();
    if (n < 1) return;
    const double sigma = shown.natural == 1 ? shown.data_stdev : shown.natural == 0 ? shown.rule_stdev : 0.0;
    if (firstRun > 0 && sigma > 1e-6) record_ooc_alarms(shown, firstRun, lastRun);
    if (window_open()) {
        for (int g : {SPC_CHART, SPC_HISTOGRAM}) {
            SetCtrlAttribute(spc_panel, g, ATTR_PLOT_BGCOLOR, kWhite);
            DeleteGraphPlot(spc_panel, g, -1, VAL_DELAYED_DRAW);
            SetCtrlAttribute(spc_panel, g, ATTR_REFRESH_GRAPH, 0);
        }
        std::vector<double> xs(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) xs[static_cast<std::size_t>(i)] = -i;
        plot_limit_lines();
        rule_breakers = 0;
        spc_data_plot = PlotXY(spc_panel, SPC_CHART, xs.data(), shown.values.data(), n, VAL_DOUBLE, VAL_DOUBLE,
                               VAL_CONNECTED_POINTS, VAL_SOLID_CIRCLE, VAL_SOLID, 1, kBlack);
        const std::vector<std::uint16_t> broken = broken_rule_masks(rule_series(shown), shown.rules);
        for (int i = 0; i < n; ++i) {
            if (i >= static_cast<int>(broken.size()) || broken[static_cast<std::size_t>(i)] == 0) continue;
            PlotPoint(spc_panel, SPC_CHART, -i, shown.values[static_cast<std::size_t>(i)], VAL_SMALL_SOLID_SQUARE,
                      kWhite);
            ++rule_breakers;
        }
        double low = shown.plot_low[3], high = shown.plot_high[3];
        scale_spc_axes(-n, 0, &low, &high, spc_panel, SPC_CHART);
        std::vector<double> centres;
        std::vector<int> counts;
        int bins = 0;
        GenerateHistogram(shown.values.data(), n, low, high, centres, &bins, counts);
        int largest = 0;
        for (int c : counts) largest = std::max(largest, c);
        if (bins > 0)
            PlotXY(spc_panel, SPC_HISTOGRAM, counts.data(), centres.data(), bins, VAL_INTEGER, VAL_DOUBLE,
                   VAL_HORIZONTAL_BAR, VAL_NO_POINT, VAL_SOLID, 1, kBlack);
        SetAxisRange(spc_panel, SPC_HISTOGRAM, VAL_MANUAL, 0.0, std::max(largest, 1), VAL_MANUAL, low, high);
        SetCtrlVal(spc_panel, SPC_POINT, 0);
        SetCtrlVal(spc_panel, SPC_NATURAL, 0);
        SetCtrlVal(spc_panel, SPC_SPEC, 0);
        const Capability c = chart_capability(shown.rule_mean, shown.rule_stdev, shown.data_mean, shown.data_stdev);
        SetCtrlVal(spc_panel, SPC_CP, vsys::strprintf("Cp = %.3f", c.cp));
        SetCtrlVal(spc_panel, SPC_CPK, vsys::strprintf("Cpk = %.3f", c.cpk));
        SetCtrlVal(spc_panel, SPC_DEFECTS, vsys::strprintf("Defects = %d PPM (Assuming Normal Dist.)", c.defects));
    }
    if (window_open()) {
        for (int g : {SPC_CHART, SPC_HISTOGRAM}) SetCtrlAttribute(spc_panel, g, ATTR_REFRESH_GRAPH, 1);
        SetCtrlAttribute(spc_panel, SPC_CHART, ATTR_CTRL_MODE, VAL_HOT);
        move_cursor(-1, -1, EVENT_COMMIT, nullptr, 0, 0);
    }
}

// --- limit toggles and exclusion ---------------------------------------------------------------------------

namespace {
int toggle_limits(int panel, int event, bool natural_lines)
{
    if (event != EVENT_COMMIT && panel != -1) return 0;
    if (!window_open()) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    int hide_natural = 0, hide_spec = 0;
    GetCtrlVal(spc_panel, SPC_NATURAL, &hide_natural);
    GetCtrlVal(spc_panel, SPC_SPEC, &hide_spec);
    const int shown_natural = hide_natural == 0 ? 1 : 0, shown_spec = hide_spec == 0 ? 1 : 0;
    if (natural_lines)
        for (int plot : natural_plots) SetPlotAttribute(spc_panel, SPC_CHART, plot, ATTR_TRACE_VISIBLE, shown_natural);
    else
        for (int plot : rule_plots) SetPlotAttribute(spc_panel, SPC_CHART, plot, ATTR_TRACE_VISIBLE, shown_spec);
    const int range = shown_natural + 2 * shown_spec;
    double low = shown.plot_low[range], high = shown.plot_high[range];
    scale_spc_axes(-shown.points, 0, &low, &high, spc_panel, SPC_CHART);
    SetAxisRange(spc_panel, SPC_HISTOGRAM, VAL_NO_CHANGE, 0.0, 0.0, VAL_MANUAL, low, high);
    move_cursor(-1, -1, EVENT_COMMIT, nullptr, 0, 0);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 0;
}
}  // namespace

int toggle_natural(int panel, int, int event, void*, int, int) { return toggle_limits(panel, event, true); }
int toggle_spec(int panel, int, int event, void*, int, int) { return toggle_limits(panel, event, false); }

int exclude_defects(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int on = 0;
    GetCtrlVal(panel, control, &on);
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    if (on) {
        if (shown.points - rule_breakers <= 1) {
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            MessagePopup("", "Less than 2 good points.  Cannot exclude rule breakers \nfrom the mean and standard "
                             "deviation calculation.");
            SetCtrlVal(panel, control, 0);
            return 0;
        }
        if (rule_breakers == 0) {
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            MessagePopup("", "No defects to remove from this data set.");
            SetCtrlVal(panel, control, 0);
            return 0;
        }
    }
    recompute_statistics(!on);
    SetCtrlVal(panel, control, on ? 1 : 0);
    compute_chart_limits(shown, shown.data_mean, shown.data_stdev);
    display_capability(0, 0);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    MessagePopup("FYI", on ? "The mean and standard deviation have \nnow been calculated without rule breakers."
                           : "Rule breakers are now included in the \nmean and standard deviation calculations.");
    return 0;
}

// --- point read-out ------------------------------------------------------------------------------------------

int move_cursor(int panel, int control, int event, void*, int, int)
{
    (void)panel;
    (void)control;
    if (event != EVENT_COMMIT) return 0;
    if (!window_open()) return 1;
    const int n = points_shown();
    int p = 0;
    GetCtrlVal(spc_panel, SPC_POINT, &p);
    if (p > 0) p = 1 - n;
    if (p <= -n) p = 0;
    SetCtrlVal(spc_panel, SPC_POINT, p);
    if (n < 1) return 1;
    show_point_info(p);
    SetActiveGraphCursor(spc_panel, SPC_CHART, 1);
    SetCursorAttribute(spc_panel, SPC_CHART, 1, ATTR_CURSOR_MODE, VAL_SNAP_TO_POINT);
    SetGraphCursor(spc_panel, SPC_CHART, 1, p, shown.values[static_cast<std::size_t>(-p)]);
    return 1;
}

void show_point_info(int position)
{
    const int i = -position;
    if (!window_open() || i < 0 || i >= points_shown() || i >= static_cast<int>(shown.runs.size()) ||
        i >= static_cast<int>(shown.wafers.size()))
        return;
    const int run = shown.runs[static_cast<std::size_t>(i)], wafer = shown.wafers[static_cast<std::size_t>(i)];
    SetCtrlVal(spc_panel, SPC_WAFER, vsys::strprintf("# %d", wafer));
    std::string rules;
    const RuleSeries series = rule_series(shown);
    for (int rule = 0; rule < kRuleCount; ++rule)
        if ((shown.rules >> rule & 1) && rule_holds(series, rule, i)) rules += rule_label(rule);
    ResetTextBox(spc_panel, SPC_RULES, rules.empty() ? "None" : rules.c_str());
    // The run is read into a record of its own: the current run and setup stay as they are.
    const RunRecord record = look_up_run(hdbc, run);
    std::string time = record.time;
    if (vsys::FilePtr file = vsys::open_file(wafer_trace_path(vt_dir, run, wafer), "rb")) {
        if (auto header = read_trace_header(file.get()); header && header->fields >= 1) time = colon_time(header->time);
    }
    SetCtrlVal(spc_panel, SPC_TIME, time);
    SetCtrlVal(spc_panel, SPC_DATE, record.date);
    SetCtrlVal(spc_panel, SPC_VALUE, shown.values[static_cast<std::size_t>(i)]);
    SetCtrlVal(spc_panel, SPC_TRACE_ID, record.trace_id);
    SetCtrlVal(spc_panel, SPC_SYSTEM, record.system_id);
    ResetTextBox(spc_panel, SPC_RECIPE, record.recipe.c_str());
    ResetTextBox(spc_panel, SPC_COMMENT, record.comment.c_str());
}

int snap_cursor(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT && event != EVENT_LEFT_DOUBLE_CLICK) return 0;
    if (!window_open()) return 0;
    core_seams().saveAllAndExport(0);
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    int plot = -1, index = -1;
    GetGraphCursorIndex(panel, control, 1, &plot, &index);
    const int i = plot == spc_data_plot && index >= 0 && index < points_shown() ? index : 0;
    SetCtrlVal(spc_panel, SPC_POINT, -i);
    move_cursor(-1, -1, EVENT_COMMIT, nullptr, 0, 0);
    if (event == EVENT_LEFT_DOUBLE_CLICK && i < static_cast<int>(shown.runs.size()) &&
        i < static_cast<int>(shown.wafers.size())) {
        const int run = shown.runs[static_cast<std::size_t>(i)], wafer = shown.wafers[static_cast<std::size_t>(i)];
        const RunRecord record = look_up_run(hdbc, run);
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        if (shown.type == 17) {
            MessagePopup("", "This feature has not been implemented yet for plasma clean data.");
            return 1;
        }
        const std::string question =
            vsys::strprintf("Do you want to view the strip chart for %s trigger %i?", record.trace_id.c_str(), wafer);
        if (!ConfirmPopup("Strip Chart Playback", question.c_str())) return 1;
        // A playback replaces the current process and run: not while acquisition records with them.
        if (acquisition_running()) {
            MessagePopup("Strip Chart Playback", "Stored wafers cannot be played back while acquisition runs.");
            return 1;
        }
        if (sc_handle > 0) spc_sc_toggle(handle_menu, MENUBAR_WINDOW_STRIP_CHART, nullptr, 0);
        switch_to_process_of(record.recipe, shown.type);
        const SpcSeams& seams = spc_seams();
        if (shown.type == 18)
            seams.select_ok(run, wafer);
        else
            seams.select_channels(run, wafer);
    }
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 1;
}

namespace {
// Another panel that binds put_com shows a run: its number and its comment box.
constexpr int kRunNumber = 3;
constexpr int kRunComment = 9;
}  // namespace

int put_com(int panel, int control, int event, void*, int, int)
{
    (void)control;
    if (event != EVENT_COMMIT) return 0;
    char constant[64] = "";
    GetPanelAttribute(panel, ATTR_CONSTANT_NAME, constant);
    const bool chart = std::strcmp(constant, "SPC") == 0;
    std::string comment;
    if (GetTextBoxLine(panel, chart ? SPC_COMMENT : kRunComment, 0, &comment) < 0) comment = "NA";
    comment = comment.substr(0, 64);
    std::string sql;
    if (chart) {
        std::string trace;
        GetCtrlVal(panel, SPC_TRACE_ID, &trace);
        sql = vsys::strprintf(shown.type == 17 ? "UPDATE ENDP_DAT SET COMMENT = '%s' WHERE TRACE_ID = '%s'"
                                               : "UPDATE VT_INFO SET COMMENT = '%s' WHERE TRACE_ID = '%s'",
                              sql_quote(comment.c_str()).c_str(), sql_quote(trace.c_str()).c_str());
    } else {
        int run = 0;
        GetCtrlVal(panel, kRunNumber, &run);
        sql = vsys::strprintf("UPDATE VT_INFO SET COMMENT = '%s' WHERE RUN_NUM = %i", sql_quote(comment.c_str()).c_str(),
                              run);
    }
    if (DBImmediateSQL(hdbc, sql.c_str()) != 0) ShowError();
    return 0;
}

// --- closing -------------------------------------------------------------------------------------------------

void get_rule_n_popup_text(int panel, char* trees, char* popupText)
{
    if (panel >= 1) return;
    const CatalogueRow row = read_catalogue_row(shown);
    std::snprintf(trees, sizeof row.trees, "%s", row.trees);
    std::snprintf(popupText, sizeof row.text, "%s", row.text);
}

int discard_chart(int panel, int control, int event, void*, int, int)
{
    (void)control;
    if (event != EVENT_COMMIT) return 0;
    // The window's own record names the chart and its process: a test or a process change since it opened
    // does not move the row that is written.
    const ChartRecord& chart = shown;
    CatalogueRow row = read_catalogue_row(chart);
    get_rule_n_popup_text(-(spc_panel > 0 ? spc_panel : panel), row.trees, row.text);
    right_text_trim(row.trees);
    right_text_trim(row.text);
    if (compare_panel < 0) {
        const bool changed = (chart.points != row.points && chart.points >= 300) || chart.rules != row.rules ||
                             chart.natural != row.limits;
        if (changed) {
            GotoEditMode();
            row.points = chart.points;
            row.rules = chart.rules;
            row.limits = chart.natural;
            row.halt = 0;
            write_catalogue_row(chart, row);
            if (chart.type != 17 && sc_handle > 0) {
                SetMenuBarAttribute(handle_menu, MENUBAR_WINDOW_SPC_CHART, ATTR_DIMMED, 1);
                spc_sc_toggle(handle_menu, MENUBAR_WINDOW_STRIP_CHART, nullptr, 0);
            }
        }
    }
    if (list_panel > 0) error_popup(-1, 0, -10, nullptr, 0, 0);
    if (compare_panel > 0) {
        shown.release_series();
        if (por_chart_points > 0) {
            por_x_array.clear();
            por_chart_points = 0;
        }
    } else {
        free_mem();
        shown.release_series();
    }
    discard_window(MENUBAR_WINDOW_SPC_CHART);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 0;
}

