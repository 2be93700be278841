// The SPC chart list window: the charts a process offers, their activation, viewing, and the ticks of check mode.
#include "spc/chart_list.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/config_store.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "panels/s_chart.h"
#include "panels/spc_list.h"
#include "platform/sys/format.h"
#include "platform/ui/list_text.h"
#include "platform/ui/userint.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_window.h"
#include "spc/limit_table.h"
#include "testing/alarm_lines.h"
#include "testing/chart_code.h"
#include "testing/window_menu.h"

namespace {

constexpr double kSigmaFloor = 0.000001;

bool list_loaded() { return spc_chart_selections > 0; }

std::string tag_name(int param, int index)
{
    char name[33] = "";
    get_put_char(hdbc, param, index, TAGS_READ, name);
    right_text_trim(name);
    return name;
}

std::string process_name(int process)
{
    char name[33] = "";
    get_put_char(hdbc, 1, process, CONFIG_READ, name);
    right_text_trim(name);
    return name;
}

bool is_activated(short channel, short type, short subtype, short step)
{
    return chart_preferences(CHART_READ, &channel, &type, &subtype, &step, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) != 0;
}

void append(int panel, int channel, int type, int subtype, int step, const std::string& label)
{
    const int code = chart_code(channel, type, subtype, step);
    const bool on = is_activated(static_cast<short>(channel), static_cast<short>(type), static_cast<short>(subtype),
                                 static_cast<short>(step));
    const std::string text = on ? kActivatedPrefix + label : label;
    InsertListItem(panel, SPC_LIST_CHARTS, -1, text.c_str(), on ? code : -code);
}

const char* statistic_word(int subtype)
{
    static const char* const words[] = {"", "Mean", "Standard Deviation", "Minimum", "Maximum"};
    return subtype >= 1 && subtype <= 4 ? words[subtype] : "";
}

bool enabled(int channel) { return channel >= 1 && channel <= 32 && (VantrelChannelStatusBits >> (channel - 1) & 1u); }

void fill_list(int panel)
{
    const int count = std::min<int>(channels, 32);
    for (int c = 1; c <= count; ++c) {
        const int kind = channel_type[c];
        if (!enabled(c) || !(kind == 0 || (kind >= 20 && kind <= 40))) continue;
        const std::string name = tag_name(28, c);
        for (int sub = 1; sub <= 4; ++sub)
            append(panel, c, kind, sub, 0, vsys::strprintf("%s %s", name.c_str(), statistic_word(sub)));
    }
    for (int c = 1; c <= count; ++c) {
        if (!enabled(c) || channel_type[c] != 1) continue;
        const std::string name = tag_name(28, c);
        const double steps = get_put_number(26, static_cast<short>(c), NUMB_READ, 0.0);
        const int n = static_cast<int>(std::floor(steps + 0.5));
        for (int step = 1; step <= n; ++step)
            for (int sub : {0, 1, 2, 3, 5, 6})
                append(panel, c, 1, sub, step, vsys::strprintf("%s %s Step %i", name.c_str(), step_metric_name(sub), step));
    }
    for (int c = 1; c <= count; ++c) {
        if (!enabled(c)) continue;
        double limits[3] = {0.0, 0.0, 0.0};
        step_specs(LIMITS_READ, 4, 0, static_cast<short>(c), 0, limits);
        if (limits[2] > kSigmaFloor) append(panel, c, 4, 0, 0, vsys::strprintf("%s Sigma Vector", tag_name(28, c).c_str()));
    }
    for (int t = 1; t <= 16; ++t)
        if (timer_status_bit >> (t - 1) & 1) append(panel, t, 5, 0, 0, vsys::strprintf("%s (Timer)", tag_name(29, t).c_str()));
}

void load_setup_groups()
{
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
}

struct Decoded {
    short channel = 0, type = 0, subtype = 0, step = 0;
};

Decoded decode(int value)
{
    char text[16] = "";
    vsys::format_into(text, sizeof text, "%.9d", value < 0 ? -value : value);
    Decoded d;
    short rule = 0;
    get_info_from_code(text, &d.channel, &d.type, &d.subtype, &d.step, &rule);
    return d;
}

bool has_prefix(const std::string& label) { return label.compare(0, kActivatedPrefixLength, kActivatedPrefix) == 0; }

// The ring must hold the process it is set to; otherwise its first read would name another process.
void fill_ring(int panel)
{
    char all[33] = "ALL";
    get_put_char(hdbc, panel, SPC_LIST_PROCESS, LIST_PROCESSES, all);
    int index = -1;
    if (GetIndexFromValue(panel, SPC_LIST_PROCESS, &index, recipe_num) < 0 || index < 0) {
        std::string name = process_name(recipe_num);
        if (name.empty() || name == "NA") name = vsys::strprintf("%d", recipe_num);
        InsertListItem(panel, SPC_LIST_PROCESS, -1, name.c_str(), recipe_num);
    }
    SetCtrlVal(panel, SPC_LIST_PROCESS, recipe_num);
}

}  // namespace

void act_deact_charts(int, int, void*, int)
{
    bool compare = false;
    if (compare_panel > 0) {
        const int sum = recipe_restrictions + system_restrictions + lot_restrictions + wafer_restrictions +
                        por_recipe_restrictions + por_system_restrictions + por_lot_restrictions +
                        por_wafer_restrictions;
        if (sum == 0) {
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            MessagePopup("", "Cannot select SPC charts until Process of Record (POR) and TEST batches have been defined.");
            return;
        }
        compare = true;
    }
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    if (!list_loaded()) {
        spc_chart_selections = LoadPanel(parent_panel > 0 ? parent_panel : 0, "spc_list.uir", SPC_LIST);
        if (spc_chart_selections <= 0) {
            spc_chart_selections = -1;
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            return;
        }
        fill_ring(spc_chart_selections);
        change_process(-1, SPC_LIST_PROCESS, EVENT_COMMIT, nullptr, 0, 0);
        if (compare) SetCtrlAttribute(spc_chart_selections, SPC_LIST_CHARTS, ATTR_CHECK_MODE, 1);
        set_panel_attributes(spc_chart_selections, parent_panel, 0, 0);
    }
    DisplayPanel(spc_chart_selections);
    if (sc_handle > 0) {
        SetMenuBarAttribute(handle_menu, MENUBAR_WINDOW_SPC_CHART_LIST, ATTR_DIMMED, 0);
        spc_sc_toggle(handle_menu, MENUBAR_WINDOW_SPC_CHART_LIST, nullptr, sc_handle);
    }
    SetMouseCursor(VAL_DEFAULT_CURSOR);
}

int change_process(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || !list_loaded()) return 0;
    const int list = spc_chart_selections;
    if (panel > 0) {
        get_active_charts(-1, -1, EVENT_COMMIT, nullptr, 0, 0);
        if (!list_loaded()) return 0;
        GetCtrlVal(list, SPC_LIST_PROCESS, &recipe_num);
        load_setup_groups();
    }
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    GetCtrlVal(list, SPC_LIST_PROCESS, &recipe_num);
    ClearListCtrl(list, SPC_LIST_CHARTS);
    fill_list(list);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 0;
}

int toggle_check(int panel, int control, int event, void*, int, int eventData2)
{
    if (event != EVENT_LEFT_DOUBLE_CLICK) return 0;
    int width = 0;
    GetCtrlAttribute(panel, control, ATTR_WIDTH, &width);
    if (eventData2 >= width) return 0;
    int index = -1, value = 0;
    if (GetCtrlIndex(panel, control, &index) < 0 || index < 0) return 0;
    GetValueFromIndex(panel, control, index, &value);
    std::string label;
    GetLabelFromIndex(panel, control, index, &label);
    Decoded d = decode(value);
    int points = 300, pager = 0, rules = 0, halt = 0;
    short limits = 1;
    char trees[105] = "", text[255] = "";
    if (chart_preferences(CHART_READ, &d.channel, &d.type, &d.subtype, &d.step, &points, &pager, &rules, &limits,
                          trees, text, &halt)) {
        chart_preferences(CHART_DELETE, &d.channel, &d.type, &d.subtype, &d.step, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr);
        if (has_prefix(label)) label.erase(0, kActivatedPrefixLength);
    } else {
        double spec[3] = {0.0, 0.0, 0.0};
        if (step_specs(LIMITS_READ, d.type, d.subtype, d.channel, d.step, spec) == 0) {
            MessagePopup("Notice", "You cannot activate this chart from this page because \nSpecification Limits have "
                                   "not been specified.\n\nIf you would like to activate this chart, click on the View "
                                   "\nChart command button followed by clicking on the Control Limits\ncommand button.  "
                                   "Then enter specification limits.");
            return 0;
        }
        limits = 0;
        chart_preferences(CHART_WRITE, &d.channel, &d.type, &d.subtype, &d.step, &points, &pager, &rules, &limits,
                          trees, text, &halt);
        if (!has_prefix(label)) label = kActivatedPrefix + label;
    }
    ReplaceListItem(panel, control, index, label.c_str(), value);
    return 0;
}

int double_click(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || !list_loaded()) return 0;
    const int list = spc_chart_selections;
    int index = -1, value = 0;
    if (GetCtrlIndex(list, SPC_LIST_CHARTS, &index) < 0 || index < 0) return 0;
    GetValueFromIndex(list, SPC_LIST_CHARTS, index, &value);
    const Decoded d = decode(value);
    GetCtrlVal(list, SPC_LIST_PROCESS, &recipe_num);
    ChartRecord chart = chart_of(recipe_num, d.channel, d.type, d.subtype, d.step);
    const CatalogueRow row = read_catalogue_row(chart);
    chart.rules = row.rules;
    chart.natural = row.limits;
    chart.points = row.points;
    double spec[3] = {0.0, 0.0, 0.0};
    if (chart.type == 1 && step_specs_of(chart.process, LIMITS_READ, 1, 4, chart.channel, chart.step, spec) == 0)
        MessagePopup("Notice", "The specification limits for this channel's Setpoint have been set to (0,0,0).  This "
                               "prevents new data from being added to this chart.");
    if (chart.type == 4 && step_specs_of(chart.process, LIMITS_READ, 4, 0, chart.channel, 0, spec) == 0)
        MessagePopup("Notice", "The specification limits for this channel's Sigma Vector have been set to 0.  This "
                               "prevents new data from being added to this chart.");
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    if (compare_panel > 0) {
        display_new_chart(chart);
    } else {
        open_batch_selection(chart);
    }
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 0;
}

int get_active_charts(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (compare_panel <= 0) {
        SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
        if (hdbc > 0 && DBImmediateSQL(hdbc, vsys::strprintf("PACK %.4iACTC", recipe_num).c_str()) != 0) ShowError();
        if (panel > 0) {
            char current[33] = "";
            get_put_char(hdbc, 0, 5, CONFIG_READ, current);
            recipe_num = std::atoi(current);
            load_setup_groups();
            discard_window(MENUBAR_WINDOW_SPC_CHART_LIST);
        }
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return 0;
    }
    if (Flags & FLAG_COMPARE)
        spc_sc_toggle(handle_menu, MENUBAR_WINDOW_BATCH_COMPARISON, nullptr, sc_handle);
    else if (list_loaded())
        HidePanel(spc_chart_selections);
    return 0;
}

std::vector<ListedChart> listed_charts()
{
    std::vector<ListedChart> out;
    if (!list_loaded()) return out;
    int n = 0;
    GetNumListItems(spc_chart_selections, SPC_LIST_CHARTS, &n);
    int check_mode = 0;
    GetCtrlAttribute(spc_chart_selections, SPC_LIST_CHARTS, ATTR_CHECK_MODE, &check_mode);
    for (int i = 0; i < n; ++i) {
        ListedChart c;
        int value = 0, on = 0;
        GetValueFromIndex(spc_chart_selections, SPC_LIST_CHARTS, i, &value);
        std::string label;
        GetLabelFromIndex(spc_chart_selections, SPC_LIST_CHARTS, i, &label);
        if (check_mode) IsListItemChecked(spc_chart_selections, SPC_LIST_CHARTS, i, &on);
        const Decoded d = decode(value);
        c.code = value < 0 ? -value : value;
        c.channel = d.channel;
        c.type = d.type;
        c.subtype = d.subtype;
        c.step = d.step;
        c.activated = has_prefix(label);
        c.checked = on != 0;
        c.label = vui::plain_list_text(label);
        out.push_back(std::move(c));
    }
    return out;
}

std::vector<ListedChart> checked_charts()
{
    std::vector<ListedChart> out;
    for (ListedChart& c : listed_charts())
        if (c.checked) out.push_back(std::move(c));
    return out;
}

bool chart_list_in_check_mode()
{
    int check_mode = 0;
    return list_loaded() && GetCtrlAttribute(spc_chart_selections, SPC_LIST_CHARTS, ATTR_CHECK_MODE, &check_mode) >= 0 &&
           check_mode != 0;
}

int chart_list_process()
{
    int process = -1;
    if (!list_loaded() || GetCtrlVal(spc_chart_selections, SPC_LIST_PROCESS, &process) < 0) return -1;
    return process;
}

void mark_chart_activated(int process, int code)
{
    if (!list_loaded() || chart_list_process() != process) return;
    int n = 0;
    GetNumListItems(spc_chart_selections, SPC_LIST_CHARTS, &n);
    for (int i = 0; i < n; ++i) {
        int value = 0;
        GetValueFromIndex(spc_chart_selections, SPC_LIST_CHARTS, i, &value);
        if (value != code && value != -code) continue;
        std::string label;
        GetLabelFromIndex(spc_chart_selections, SPC_LIST_CHARTS, i, &label);
        if (!has_prefix(label)) label = kActivatedPrefix + label;
        ReplaceListItem(spc_chart_selections, SPC_LIST_CHARTS, i, label.c_str(), code);
    }
}
