// The alarm window: Alarm List, Alarm Pareto and Active Alarm forms, and the review actions on the selected alarm.
#include "testing/alarm_review.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "core/text_utils.h"
#include "core/wait_panel.h"
#include "panels/alarms.h"
#include "panels/apop.h"
#include "panels/realtime.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "testing/alarm_lines.h"
#include "testing/chart_code.h"
#include "core/chart_record.h"
#include "testing/chart_identity.h"
#include "testing/pareto.h"
#include "testing/testing_seams.h"
#include "testing/window_menu.h"

namespace {

constexpr int kProgressThreshold = 50;
constexpr const char* kOneCategory =
    "\n\n\nVantrel Pareto Chart is not available because there is only one alarm category.\n\n\n\n\n";

// What each list entry stands for, kept beside the list so that names and trace
// ids never have to be parsed back out of the labels.
struct EntryInfo {
    std::string process;
    std::string trace_id;
    bool has_trace = false;
};
std::vector<EntryInfo> entries;
// Alarm counts of the kinds in the Pareto list, in list order (empty in the other forms).
std::vector<int> pareto_counts;
EntryInfo active_entry;  // the Active Alarm form

void reload_groups()
{
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
}

int process_number(const std::string& name)
{
    char text[33];
    vsys::format_into(text, sizeof text, "%s", name.c_str());
    get_put_char(hdbc, 1, 0, PROCESS_BY_NAME, text);
    if (std::strcmp(text, "Not Found") == 0) return -1;
    return std::atoi(text);
}

void paint_status(int colour)
{
    status_color = colour;
    if (sc_handle <= 0) return;
    SetMenuBarAttribute(handle_menu, MENUBAR_ALARMS_CLEAR_ALARMS, ATTR_DIMMED, colour == STATUS_WHITE ? 1 : 0);
    SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_PLOT_BGCOLOR, colour);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_PLOT_BGCOLOR, colour);
}

// The colour follows the alarm table: yellow while any alarm is uncleared. A
// failed look-up keeps the colour it had.
void recompute_status()
{
    DbStatement st(hdbc, "SELECT RUN FROM OOC_ALRM WHERE CLEARED = 0");
    if (!st.ok()) {
        ShowError();
        return;
    }
    paint_status(DBFetchNext(st.handle()) == 0 ? STATUS_YELLOW : STATUS_WHITE);
}

int uncleared_count()
{
    DbStatement st(hdbc,
                   "SELECT I.RUN_NUM FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM AND E.CLEARED = 0 UNION ALL "
                   "SELECT C.RUN FROM ENDP_DAT C, OOC_ALRM E WHERE E.RUN = C.RUN AND E.CLEARED = 0");
    if (!st.ok()) return -1;
    int n = 0;
    while (n < MAX_REVIEWED_ALARMS && DBFetchNext(st.handle()) == 0) ++n;
    return n;
}

std::string alarm_query(bool uncleared)
{
    std::string sql =
        "SELECT I.RUN_NUM,RTRIM(I.RECIPE),RTRIM(I.TRACE_ID),I.SAV_DATE,I.SAV_TIME,E.WAFER,E.CHANNEL,E.TYPE,"
        "E.SUB_TYPE,E.INDEX,E.RULE,E.CLEARED FROM VT_INFO I,OOC_ALRM E WHERE E.RUN = I.RUN_NUM";
    if (uncleared) sql += " AND E.CLEARED = 0";
    sql += " UNION ALL SELECT C.RUN,RTRIM(C.RECIPE),RTRIM(C.TRACE_ID),C.SAV_DATE,C.SAV_TIME,E.WAFER,E.CHANNEL,E.TYPE,"
           "E.SUB_TYPE,E.INDEX,E.RULE,E.CLEARED FROM ENDP_DAT C, OOC_ALRM E WHERE E.RUN = C.RUN";
    if (uncleared) sql += " AND E.CLEARED = 0";
    sql += " ORDER BY 4 DESC, 5 DESC, 6 DESC";
    return sql;
}

struct BoundRow {
    AlarmRow row;
    long status[12] = {};
    void bind(int h)
    {
        int r = 0;
        r |= DBBindColInt(h, 1, &row.run, &status[0]);
        r |= DBBindColChar(h, 2, sizeof row.recipe, row.recipe, &status[1], "");
        r |= DBBindColChar(h, 3, sizeof row.trace_id, row.trace_id, &status[2], "");
        r |= DBBindColChar(h, 4, sizeof row.date, row.date, &status[3], "");
        r |= DBBindColChar(h, 5, sizeof row.time, row.time, &status[4], "");
        r |= DBBindColInt(h, 6, &row.wafer, &status[5]);
        r |= DBBindColShort(h, 7, &row.channel, &status[6]);
        r |= DBBindColShort(h, 8, &row.type, &status[7]);
        r |= DBBindColShort(h, 9, &row.subtype, &status[8]);
        r |= DBBindColShort(h, 10, &row.index, &status[9]);
        r |= DBBindColShort(h, 11, &row.rule, &status[10]);
        r |= DBBindColShort(h, 12, &row.cleared, &status[11]);
        if (r != 0) ShowError();
    }
    bool fetch(int h)
    {
        if (DBFetchNext(h) != 0) return false;
        right_text_trim(row.recipe);
        right_text_trim(row.trace_id);
        return true;
    }
};

void select_current_entry()
{
    int index = -1;
    GetCtrlIndex(list_panel, REVIEW_ALARMS, &index);
    if (index >= 0) GetValueFromIndex(list_panel, REVIEW_ALARMS, index, &selected_alarm_code);
}

// The entry the selection stands for: the list entry, or the Active Alarm.
const EntryInfo* selected_entry()
{
    int visible = 0;
    GetCtrlAttribute(list_panel, REVIEW_ALARMS, ATTR_VISIBLE, &visible);
    if (!visible) return &active_entry;
    int index = -1;
    GetCtrlIndex(list_panel, REVIEW_ALARMS, &index);
    if (index < 0 || index >= static_cast<int>(entries.size())) return nullptr;
    return &entries[static_cast<std::size_t>(index)];
}

void common_end(int panel, std::unique_ptr<WaitPanel>& wait)
{
    if (panel > 0)
        for (int c : {REVIEW_CLEAR, REVIEW_CLEAR_ALL, REVIEW_DEACTIVATE}) SetCtrlAttribute(list_panel, c, ATTR_VISIBLE, 0);
    set_panel_attributes(list_panel, parent_panel, 0, 1);
    if (sc_handle > 0) spc_sc_toggle(handle_menu, MENUBAR_WINDOW_ALARM_WINDOW, nullptr, 0);
    wait.reset();
    DisplayPanel(list_panel);
    menu_tile(1, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
}

int load_window(const char* title)
{
    list_panel = LoadPanel(parent_panel > 0 ? parent_panel : 0, "alarms.uir", REVIEW);
    if (list_panel > 0) SetPanelAttribute(list_panel, ATTR_TITLE, title);
    entries.clear();
    pareto_counts.clear();
    active_entry = EntryInfo{};
    return list_panel;
}

void drop_window()
{
    if (list_panel > 0) DiscardPanel(list_panel);
    list_panel = -1;
    entries.clear();
    pareto_counts.clear();
}

// The bars of the Pareto chart, one per kind left in the list.
void plot_pareto()
{
    DeleteGraphPlot(list_panel, REVIEW_PARETO, -1, VAL_IMMEDIATE_DRAW);
    const int k = static_cast<int>(pareto_counts.size());
    if (k == 0) return;
    std::vector<int> x(pareto_counts.size());
    for (int i = 0; i < k; ++i) x[static_cast<std::size_t>(i)] = i + 1;
    nice_alarm_axis(0, k + 1, 0, pareto_counts[0] + 1, list_panel, REVIEW_PARETO);
    PlotXY(list_panel, REVIEW_PARETO, x.data(), pareto_counts.data(), k, VAL_INTEGER, VAL_INTEGER, VAL_VERTICAL_BAR, 24,
           0, 1, 0xFF0000);
}

int alarm_list(int panel, int n, int statement, BoundRow& bound, std::unique_ptr<WaitPanel>& wait)
{
    if (load_window("Alarm List") <= 0) return 0;
    SetCtrlAttribute(list_panel, REVIEW_PARETO, ATTR_VISIBLE, 0);
    SetCtrlAttribute(list_panel, REVIEW_ALARMS, ATTR_TOP, 21);
    SetCtrlAttribute(list_panel, REVIEW_ALARMS, ATTR_HEIGHT, 390);
    SetCtrlAttribute(list_panel, REVIEW_ALARMS, ATTR_LABEL_TEXT, "");
    if (!bound.fetch(statement)) {
        wait.reset();
        drop_window();
        if (panel != -1) MessagePopup("", "No alarms have occured.");
        cancel_alarm_review(panel, -1, EVENT_COMMIT, nullptr, -1, -1);
        return 1;
    }
    std::string previous;
    int listed = 0;
    do {
        const AlarmRow& row = bound.row;
        if (previous != row.recipe && row.type != 17) {
            int number = process_number(row.recipe);
            recipe_num = number < 0 ? 0 : number;
        }
        previous = row.recipe;
        const int code = row.code();
        EntryInfo info{row.recipe, row.trace_id, true};
        std::string detail = alarm_detail_line(row);
        InsertListItem(list_panel, REVIEW_ALARMS, -1, alarm_header_line(row).c_str(), code);
        entries.push_back(info);
        InsertListItem(list_panel, REVIEW_ALARMS, -1, detail.empty() ? "Unknown alarm" : detail.c_str(), code);
        entries.push_back(info);
        ++listed;
        if (wait) {
            wait->progress(static_cast<double>(listed) / n);
            if (wait->cancelled()) break;
        }
    } while (listed < n && bound.fetch(statement));
    select_current_entry();
    error_popup(list_panel, 0, -10, nullptr, 0, 0);
    common_end(panel, wait);
    return 0;
}

int alarm_pareto(int panel, int n, int statement, BoundRow& bound, std::unique_ptr<WaitPanel>& wait)
{
    std::vector<std::string> keys;
    AlarmRow last;
    std::string previous;
    bool first = true, cancelled = false;
    while (static_cast<int>(keys.size()) < n && bound.fetch(statement)) {
        const AlarmRow& row = bound.row;
        if (first || previous != row.recipe) {
            int number = process_number(row.recipe);
            recipe_num = number < 0 ? 0 : number;
        }
        first = false;
        previous = row.recipe;
        char key[ALARM_KEY_SIZE];
        form_alarm_key(key, recipe_num, row.code());
        keys.emplace_back(key);
        last = row;
        if (wait) {
            wait->progress(static_cast<double>(keys.size()) / n);
            if (wait->cancelled()) {
                cancelled = true;
                break;
            }
        }
    }
    if (keys.empty() || cancelled) {
        if (panel != -1 && !cancelled) MessagePopup("", "No alarms have occured.");
        wait.reset();
        cancel_alarm_review(panel, -1, EVENT_COMMIT, nullptr, -1, -1);
        return 1;
    }
    std::vector<ParetoKind> kinds;
    try {
        kinds = GeneratePareto(keys);
    } catch (const std::bad_alloc&) {
        wait.reset();
        EXIT_NOW("GeneratePareto NULL pointer returned.");
        return 1;
    }
    const int k = static_cast<int>(kinds.size());
    if (load_window(panel == -1 ? "Active Alarm Pareto" : "Alarm Pareto") <= 0) return 0;
    if (k == 1 && panel != -1) {
        MessagePopup("", kOneCategory);
        drop_window();
        wait.reset();
        return 0;
    }
    if (k == 1) {
        SetPanelAttribute(list_panel, ATTR_TITLE, "Active Alarm");
        SetCtrlVal(list_panel, REVIEW_PROCESS,
                   last.type == 17 ? std::string("Plasma Clean Alarm") : vsys::strprintf("%s Alarm", last.recipe));
        char title[96] = "";
        testing_seams().form_chart_title(title, last.channel, last.type, last.subtype, last.index);
        const char* sentence = rule_sentence(last.rule);
        SetCtrlVal(list_panel, REVIEW_WHAT,
                   vsys::strprintf("%s was found to be out of control because %s.", title, sentence ? sentence : ""));
        const int count = kinds[0].count;
        std::string when = count > 1       ? vsys::strprintf("This error occured %i times.", count)
                           : last.type == 17 ? vsys::strprintf("This error occured on endpoint trace %s", last.trace_id)
                                             : vsys::strprintf("This error occured on wafer %i of %s", last.wafer,
                                                               last.trace_id);
        SetCtrlVal(list_panel, REVIEW_WHEN, when);
        for (int c : {REVIEW_PARETO, REVIEW_ALARMS, REVIEW_HEADING}) SetCtrlAttribute(list_panel, c, ATTR_VISIBLE, 0);
        active_entry = EntryInfo{last.recipe, last.trace_id, false};
        selected_alarm_code = last.code();
        error_popup(list_panel, 0, -10, nullptr, 0, 0);
        common_end(panel, wait);
        return 0;
    }
    std::vector<int> x(static_cast<std::size_t>(k)), counts(static_cast<std::size_t>(k));
    int name_of = -1;
    std::string name;
    for (int i = 0; i < k; ++i) {
        x[static_cast<std::size_t>(i)] = i + 1;
        counts[static_cast<std::size_t>(i)] = kinds[static_cast<std::size_t>(i)].count;
        read_alarm_key(kinds[static_cast<std::size_t>(i)].key.c_str(), &recipe_num, &selected_alarm_code);
        if (recipe_num != name_of) {
            char text[33] = "Unknown Setup";
            if (recipe_num != 0) get_put_char(hdbc, 1, recipe_num, CONFIG_READ, text);
            name = text;
            name_of = recipe_num;
        }
        std::string line = pareto_line(i + 1, counts[static_cast<std::size_t>(i)], name.c_str(), selected_alarm_code);
        if (line.empty())
            InsertListItem(list_panel, REVIEW_ALARMS, i, "Unknown alarm", -1);
        else
            InsertListItem(list_panel, REVIEW_ALARMS, i, line.c_str(), selected_alarm_code);
        entries.push_back(EntryInfo{name, "", false});
    }
    SetCtrlAttribute(list_panel, REVIEW_ALARMS, ATTR_SCROLL_BARS, k > 6 ? 2 : 0);
    pareto_counts = counts;
    plot_pareto();
    select_current_entry();
    error_popup(list_panel, 0, -10, nullptr, 0, 0);
    common_end(panel, wait);
    return 0;
}

// Sets CLEARED to 1 in every alarm row of one kind; false when a statement failed.
// Endpoint alarms are cleared row by row through their own table; the others are
// tied to the process through the run table, which a positioned update over the
// join cannot reach, so they are cleared by one UPDATE over the same rows.
bool clear_kind(int channel, int type, int subtype, int index, int rule, const std::string& process)
{
    if (type != 17) {
        std::string sql = vsys::strprintf(
            "UPDATE OOC_ALRM SET CLEARED = 1 WHERE CHANNEL = %i AND TYPE = %i AND SUB_TYPE = %i AND INDEX = %i AND "
            "RULE = %i AND RUN IN (SELECT RUN_NUM FROM VT_INFO WHERE RECIPE = '%s')",
            channel, type, subtype, index, rule, sql_quote(process.c_str()).c_str());
        if (DBImmediateSQL(hdbc, sql.c_str()) == 0) return true;
        ShowError();
        return false;
    }
    DbStatement st(hdbc, vsys::strprintf("SELECT E.CLEARED FROM OOC_ALRM E WHERE E.CHANNEL = %i AND E.TYPE = %i AND "
                                         "E.SUB_TYPE = %i AND E.INDEX = %i AND E.RULE = %i",
                                         channel, type, subtype, index, rule));
    if (!st.ok()) {
        ShowError();
        return false;
    }
    short cleared = 0;
    long status = 0;
    if (DBBindColShort(st.handle(), 1, &cleared, &status) != 0) {
        ShowError();
        return false;
    }
    bool ok = true;
    while (DBFetchNext(st.handle()) == 0) {
        cleared = 1;
        if (DBPutRecord(st.handle()) != 0) {
            ShowError();
            ok = false;
            break;
        }
    }
    if (st.close() != 0) {
        ShowError();
        ok = false;
    }
    return ok;
}

int view_alarm_chart(const EntryInfo& entry, int rule, ChartRecord chart)
{
    const bool endpoint = chart.type == 17;
    std::string trace = entry.trace_id;
    const std::string process = sql_quote(entry.process.c_str());
    if (!entry.has_trace) {
        trace.clear();
        std::string sql =
            endpoint
                ? vsys::strprintf("SELECT RTRIM(C.TRACE_ID), C.SAV_DATE, C.SAV_TIME FROM ENDP_DAT C, OOC_ALRM E WHERE "
                                  "E.RUN = C.RUN AND E.CHANNEL = %i AND E.TYPE = %i AND E.SUB_TYPE = %i AND E.INDEX = "
                                  "%i AND E.RULE = %i ORDER BY 2 DESC, 3 DESC",
                                  chart.channel, chart.type, chart.subtype, chart.step, rule)
                : vsys::strprintf("SELECT RTRIM(I.TRACE_ID), I.SAV_DATE, I.SAV_TIME FROM VT_INFO I,OOC_ALRM E  WHERE "
                                  "E.RUN = I.RUN_NUM AND E.CHANNEL = %i AND E.TYPE = %i AND E.SUB_TYPE = %i AND  "
                                  "E.INDEX = %i AND E.RULE = %i AND I.RECIPE = '%s' ORDER BY 2 DESC, 3 DESC",
                                  chart.channel, chart.type, chart.subtype, chart.step, rule, process.c_str());
        DbStatement st(hdbc, sql);
        char text[33] = "";
        long status = 0;
        if (st.ok() && DBBindColChar(st.handle(), 1, sizeof text, text, &status, "") == 0 &&
            DBFetchNext(st.handle()) == 0) {
            right_text_trim(text);
            trace = text;
        }
    }
    if (trace.empty()) {
        MessagePopup("View Alarm Chart Error", "Invalid Recipe or Trace ID.");
        return 1;
    }
    system_restrictions = 0;
    wafer_restrictions = 0;
    if (endpoint) {
        recipe_restrictions = 0;
        recipe_select.clear();
    } else {
        recipe_restrictions = 1;
        recipe_select.assign(1, entry.process.substr(0, 32));
    }
    lot_select.assign(1, trace.substr(0, 32));
    lot_restrictions = 1;
    const std::string quoted_trace = sql_quote(trace.c_str());
    {
        DbStatement st(hdbc, endpoint
                                 ? vsys::strprintf("SELECT RUN FROM ENDP_DAT WHERE TRACE_ID = '%s'", quoted_trace.c_str())
                                 : vsys::strprintf("SELECT RUN_NUM FROM VT_INFO WHERE TRACE_ID = '%s'",
                                                   quoted_trace.c_str()));
        int run = 0;
        long status = 0;
        run_num = 0;
        if (st.ok() && DBBindColInt(st.handle(), 1, &run, &status) == 0 && DBFetchNext(st.handle()) == 0) run_num = run;
    }
    {
        DbStatement st(hdbc, endpoint ? vsys::strprintf("SELECT RTRIM(TRACE_ID) FROM ENDP_DAT WHERE RUN < %i ORDER "
                                                                "BY SAV_DATE DESC, SAV_TIME DESC",
                                                                run_num)
                                              : vsys::strprintf("SELECT RTRIM(TRACE_ID) FROM VT_INFO WHERE RUN_NUM < %i AND "
                                                                "RECIPE = '%s' ORDER BY SAV_DATE DESC, SAV_TIME DESC",
                                                                run_num, process.c_str()));
        char text[33] = "";
        long status = 0;
        if (st.ok() && DBBindColChar(st.handle(), 1, sizeof text, text, &status, "") == 0)
            while (lot_select.size() < 10 && DBFetchNext(st.handle()) == 0) {
                right_text_trim(text);
                lot_select.emplace_back(text);
            }
        lot_restrictions = static_cast<int>(lot_select.size());
    }
    // The window's own series goes when it takes this chart.
    if (spc_panel > 0) por_free_mem();
    const TestingSeams& seams = testing_seams();
    int pager = 0, halt = 0;
    char trees[105] = "", popup[255] = "";
    seams.chart_preferences(CHART_READ, &chart.channel, &chart.type, &chart.subtype, &chart.step, &chart.points, &pager,
                            &chart.rules, &chart.natural, trees, popup, &halt);
    seams.display_new_chart(chart);
    return 1;
}

}  // namespace

int close_alarm_display(int panel, int event, void*, int, int)
{
    if (event == EVENT_CLOSE) DiscardPanel(panel);
    return 0;
}

int show_errors(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    reload_groups();
    if (list_panel > 0) DiscardMyPanel(&list_panel);
    list_panel = -1;
    int n = 0;
    if (panel == -1) {
        n = uncleared_count();
    } else {
        if (GetCtrlVal(panel, APOP_COUNT, &n) < 0) {
            // A popup whose count field holds text: take the number written there.
            std::string text;
            GetCtrlVal(panel, APOP_COUNT, &text);
            n = std::atoi(text.c_str());
        }
        DiscardPanel(panel);
    }
    // Whatever was asked, the list never grows past what one review shows.
    if (n > MAX_REVIEWED_ALARMS) n = MAX_REVIEWED_ALARMS;
    if (n <= 0) {
        // A count that could not be taken proves nothing: the alarm table itself decides the colour.
        if (panel < 0 && n < 0)
            recompute_status();
        else if (panel < 0)
            paint_status(STATUS_WHITE);
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return 0;
    }
    std::unique_ptr<WaitPanel> wait;
    if (n > kProgressThreshold) wait = std::make_unique<WaitPanel>("Please wait ...");
    DbStatement st(hdbc, alarm_query(panel == -1));
    if (!st.ok()) {
        wait.reset();
        if (panel != -1) MessagePopup("", "No alarms found.");
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return 0;
    }
    BoundRow bound;
    bound.bind(st.handle());
    int result = 0;
    try {
        result = (panel > 0 && control == APOP_LIST) ? alarm_list(panel, n, st.handle(), bound, wait)
                                             : alarm_pareto(panel, n, st.handle(), bound, wait);
    } catch (const std::bad_alloc&) {
        wait.reset();
        EXIT_NOW("NULL pointer returned");
        result = 1;
    }
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return result;
}

int error_popup(int, int, int event, void*, int, int eventData2)
{
    if (event != EVENT_VAL_CHANGED && event != EVENT_LEFT_DOUBLE_CLICK && event != -10) return 0;
    if (list_panel <= 0) return 0;
    int visible = 0;
    GetCtrlAttribute(list_panel, REVIEW_ALARMS, ATTR_VISIBLE, &visible);
    if (visible) select_current_entry();
    if (selected_alarm_code == -1) {
        if (event != EVENT_LEFT_DOUBLE_CLICK) SetCtrlAttribute(list_panel, REVIEW_TREE, ATTR_DIMMED, 1);
        return 0;
    }
    char text[16];
    vsys::format_into(text, sizeof text, "%.9d", selected_alarm_code);
    short channel, type, subtype, step, rule;
    get_info_from_code(text, &channel, &type, &subtype, &step, &rule);
    if (const EntryInfo* entry = selected_entry()) {
        int number = process_number(entry->process);
        recipe_num = number < 0 ? 0 : number;
    }
    const TestingSeams& seams = testing_seams();
    if (event == EVENT_LEFT_DOUBLE_CLICK) {
        int width = 0;
        GetCtrlAttribute(list_panel, REVIEW_ALARMS, ATTR_WIDTH, &width);
        if (eventData2 < width - 16) seams.spc_error_popup(channel, type, subtype, step, rule);
        return 0;
    }
    int points = 0, pager = 0, rules = 0, halt = 0;
    short mode = 0;
    char trees[105] = "", popup[255] = "";
    seams.chart_preferences(CHART_READ, &channel, &type, &subtype, &step, &points, &pager, &rules, &mode, trees, popup,
                            &halt);
    if (!visible) {
        right_text_trim(popup);
        SetCtrlVal(list_panel, REVIEW_POPUP_TEXT, popup);
    }
    std::string tree;
    const std::size_t offset = static_cast<std::size_t>(8 * rule);
    const std::string field = trees;
    if (field.size() > offset) tree = field.substr(offset, 8);
    tree = tree.substr(0, tree.find(' '));
    SetCtrlAttribute(list_panel, REVIEW_TREE, ATTR_DIMMED, tree.empty() ? 1 : 0);
    return 0;
}

int error_info(int, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || list_panel <= 0) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    struct Cursor {
        ~Cursor() { SetMouseCursor(VAL_DEFAULT_CURSOR); }
    } restore;
    if (control == REVIEW_CLEAR_ALL) {
        if (DBImmediateSQL(hdbc, "UPDATE OOC_ALRM SET CLEARED = 1") != 0) {
            ShowError();
            return 0;
        }
        ClearListCtrl(list_panel, REVIEW_ALARMS);
        entries.clear();
        for (int c : {REVIEW_CLEAR, REVIEW_CLEAR_ALL, REVIEW_DEACTIVATE, REVIEW_TREE, REVIEW_VIEW})
            SetCtrlAttribute(list_panel, c, ATTR_DIMMED, 1);
        if (realtime_panel > 0) ClearListCtrl(realtime_panel, REALTIME_ALARMS);
        recompute_status();
        return 0;
    }
    if (control != REVIEW_TREE && control != REVIEW_DEACTIVATE && control != REVIEW_VIEW && control != REVIEW_CLEAR) return 0;
    // "Unknown alarm" stands for no chart: nothing to act on.
    if (selected_alarm_code == -1) return 0;
    char text[16];
    vsys::format_into(text, sizeof text, "%.9d", selected_alarm_code);
    short rule = 0;
    ChartRecord chart;
    get_info_from_code(text, &chart.channel, &chart.type, &chart.subtype, &chart.step, &rule);
    const EntryInfo* found = selected_entry();
    const EntryInfo entry = found ? *found : EntryInfo{};
    int number = process_number(entry.process);
    if (number < 0) {
        MessagePopup("View Alarm Chart Error",
                     vsys::strprintf("The %s process does not exist.  Could not complete the operation.",
                                     entry.process.c_str())
                         .c_str());
        recipe_num = 0;
        return 1;
    }
    recipe_num = number;
    chart.process = number;
    const TestingSeams& seams = testing_seams();
    switch (control) {
    case REVIEW_CLEAR: {
        int visible = 0, count = 0;
        GetCtrlAttribute(list_panel, REVIEW_ALARMS, ATTR_VISIBLE, &visible);
        GetNumListItems(list_panel, REVIEW_ALARMS, &count);
        if (visible && count > 0) {
            int index = -1;
            GetCtrlIndex(list_panel, REVIEW_ALARMS, &index);
            if (index >= 0) {
                GetValueFromIndex(list_panel, REVIEW_ALARMS, index, &selected_alarm_code);
                DeleteListItem(list_panel, REVIEW_ALARMS, index, 1);
                if (index < static_cast<int>(entries.size())) entries.erase(entries.begin() + index);
                // The bars follow the list: the cleared kind's bar goes with its line.
                if (index < static_cast<int>(pareto_counts.size())) {
                    pareto_counts.erase(pareto_counts.begin() + index);
                    plot_pareto();
                }
            }
        }
        if (count == 1 || !visible)
            for (int c : {REVIEW_TREE, REVIEW_VIEW, REVIEW_CLEAR, REVIEW_CLEAR_ALL, REVIEW_DEACTIVATE})
                SetCtrlAttribute(list_panel, c, ATTR_DIMMED, 1);
        vsys::format_into(text, sizeof text, "%.9d", selected_alarm_code);
        short ch, ty, st, ix, ru;
        get_info_from_code(text, &ch, &ty, &st, &ix, &ru);
        if (clear_kind(ch, ty, st, ix, ru, entry.process)) recompute_status();
        if (count > 1) error_popup(list_panel, 0, EVENT_VAL_CHANGED, nullptr, 0, 0);
        return 0;
    }
    case REVIEW_DEACTIVATE:
        if (ConfirmPopup("", "Are you sure you want to deactivate this chart?") == 1)
            seams.chart_preferences(CHART_DELETE, &chart.channel, &chart.type, &chart.subtype, &chart.step, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr);
        return 0;
    case REVIEW_TREE:
        seams.spc_start_tree(chart.channel, chart.type, chart.subtype, chart.step, rule);
        return 0;
    default: return view_alarm_chart(entry, rule, chart);
    }
}

int cancel_alarm_review(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    discard_window(MENUBAR_WINDOW_ALARM_WINDOW);
    entries.clear();
    char text[33];
    recipe_num = std::atoi(get_put_char(hdbc, 0, 5, CONFIG_READ, text));
    reload_groups();
    return 0;
}
