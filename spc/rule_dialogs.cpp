// The dialogs of the chart window built in code: rule selection, "Edit Limits" and "Custom Selection".
//
// Each dialog keeps a record of the chart it was opened for (process and key): its OK stores that chart's row
// in that process's tables even when the chart window or the current process has moved on, and redraws the
// window only while it still shows that chart.
#include "panels/wafers.h"
#include "panels/x_hist.h"
#include "spc/rule_dialogs.h"

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <string>
#include <variant>

#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "platform/sys/format.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_data.h"
#include "spc/chart_list.h"
#include "spc/chart_titles.h"
#include "spc/chart_window.h"
#include "spc/limit_table.h"
#include "spc/run_rules.h"
#include "testing/chart_code.h"

namespace {

int code_of(const ChartRecord& c) { return chart_code(c.channel, c.type, c.subtype, c.step); }

std::string title_of(const ChartRecord& c)
{
    char title[kChartTitleSize] = "";
    form_chart_title(title, c.channel, c.type, c.subtype, c.step);
    return title;
}

int button(int panel, const char* label, int top, int left)
{
    const int b = NewCtrl(panel, CTRL_COMMAND_BUTTON, label, top, left);
    SetCtrlAttribute(panel, b, ATTR_WIDTH, 70);
    return b;
}

int text_at(int panel, const char* text, int top, int left, int width)
{
    const int t = NewCtrl(panel, CTRL_TEXT_MSG, "", top, left);
    SetCtrlAttribute(panel, t, ATTR_WIDTH, width);
    SetCtrlVal(panel, t, text);
    return t;
}

// The dialog's Cancel drops pending setup changes; its close box does what Cancel does.
void install_cancel(int panel, int cancel)
{
    InstallCtrlCallback(panel, cancel, cancel_uncommitted, nullptr);
    SetCtrlAttribute(panel, cancel, ATTR_SHORTCUT_KEY, VAL_ESC_VKEY);
    SetPanelAttribute(panel, ATTR_CLOSE_CTRL, cancel);
}

constexpr const char* kRuleTexts[kRuleCount] = {
    "1a: 1 point > target + 3 sigma.",
    "1b: 1 point < target - 3 sigma.",
    "2a: 9 consecutive points > target.",
    "2b: 9 consecutive points < target.",
    "3a: 6 consecutive points steadily increasing.",
    "3b: 6 consecutive points steadily decreasing.",
    "4:  14 consecutive points which alternate up and down.",
    "5a: 2 out of 3 consecutive points > target + 2 sigma.",
    "5b: 2 out of 3 consecutive points < target - 2 sigma.",
    "6a: 4 out of 5 consecutive points > target + 1 sigma.",
    "6b: 4 out of 5 consecutive points < target - 1 sigma.",
    "7:  15 consecutive points within 1 sigma of the target*.",
    "8:  8 consecutive points not within 1 sigma of the target*.",
};

void redraw_window()
{
    ChartRecord& window = shown_chart();
    compute_chart_limits(window, window.data_mean, window.data_stdev);
    display_capability(0, 0);
}

// --- rule selection ---

int rules_ok(int panel, const ChartRecord& chart, const int (&boxes)[kRuleCount])
{
    int mask = 0;
    for (int k = 0; k < kRuleCount; ++k) {
        int on = 0;
        GetCtrlVal(panel, boxes[k], &on);
        if (on) mask |= 1 << k;
    }
    const ChartRecord& c = chart;
    if (window_shows(c)) {
        shown_chart().rules = mask;
        int excluded = 0;
        GetCtrlVal(spc_panel, SPC_EXCLUDE, &excluded);
        if (excluded) {
            SetCtrlVal(spc_panel, SPC_EXCLUDE, 0);
            exclude_defects(spc_panel, SPC_EXCLUDE, EVENT_COMMIT, nullptr, 0, 0);
        }
        if (window_shows(c)) display_capability(0, 0);
    }
    // Only the rules change: the trees, operator text, pager and halt stay as stored.
    CatalogueRow s = read_catalogue_row(c);
    s.points = c.points;
    s.rules = mask;
    write_catalogue_row(c, s);
    DiscardPanel(panel);
    return 0;
}

// --- limits ---

struct LimitsDialog {
    ChartRecord chart;
    int upper = 0, target = 0, lower = 0, choice = 0;
};

int edit_limits_ok(int panel, const LimitsDialog& d)
{
    if (!(Flags & FLAG_PENDING_CHANGES)) return 0;
    const ChartRecord& c = d.chart;
    double upper = 0.0, target = 0.0, lower = 0.0;
    int choice = 0;
    GetCtrlVal(panel, d.upper, &upper);
    GetCtrlVal(panel, d.target, &target);
    GetCtrlVal(panel, d.lower, &lower);
    GetCtrlVal(panel, d.choice, &choice);
    const double middle = (upper + lower) / 2.0;
    if (choice) {
        if (window_shows(c)) {
            shown_chart().natural = 1;
            redraw_window();
        }
        CatalogueRow s = read_catalogue_row(c);
        s.points = c.points;
        s.limits = 1;
        write_catalogue_row(c, s);
        DiscardPanel(panel);
        return 0;
    }
    if (c.type != 4 && (std::fabs(middle - target) >= 1e-5 || !(lower < upper))) {
        MessagePopup("", "The Specification Limits must be centered about the Target and the Upper Limit must be "
                         "greater than the Lower Limit.");
        SetCtrlVal(panel, d.target, middle);
        SetCtrlVal(panel, d.upper, std::max(upper, lower));
        SetCtrlVal(panel, d.lower, std::min(upper, lower));
        return 0;
    }
    double limits[3] = {lower, target, upper};
    if (c.type == 4) limits[0] = limits[1] = 0.0;
    step_specs_of(c.process, LIMITS_WRITE, c.type, c.subtype, c.channel, c.step, limits);
    CatalogueRow s = read_catalogue_row(c);
    s.points = c.points;
    s.limits = 0;
    write_catalogue_row(c, s);
    mark_chart_activated(c.process, code_of(c));
    if (window_shows(c)) {
        shown_chart().natural = 0;
        redraw_window();
    }
    DiscardPanel(panel);
    return 0;
}

// --- custom selection ---

int custom_ok(int panel, int selection, short type, int number_ctrl, int relation_ctrl)
{
    int number = 0, relation = 0;
    GetCtrlVal(panel, number_ctrl, &number);
    GetCtrlVal(panel, relation_ctrl, &relation);
    std::string label;
    if (type == 17)
        label = vsys::strprintf(relation < 0   ? "Batches with  < %i wafers"
                                : relation > 0 ? "Batches with  > %i wafers"
                                               : "Batches with %i wafers",
                                number);
    else
        label = vsys::strprintf(relation < 0   ? "Trigger Numbers < %i"
                                : relation > 0 ? "Trigger Numbers > %i"
                                               : "Trigger Number %i",
                                number);
    DiscardPanel(panel);
    // The condition goes to the batch selection the dialog was opened from, if it is still there.
    int items = 0;
    if (selection <= 0 || GetNumListItems(selection, WAFERS_WAFER_LIST, &items) < 0) return 0;
    InsertListItem(selection, WAFERS_WAFER_LIST, -1, label.c_str(), number);
    CheckListItem(selection, WAFERS_WAFER_LIST, items, 1);
    CheckListItem(selection, WAFERS_WAFER_LIST, 0, 0);
    return 0;
}

}  // namespace

int select_rules(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    // The dialog keeps its own copy of the window's chart: what is tested or shown meanwhile does not move it.
    const ChartRecord chart = shown_chart();
    const CatalogueRow stored = read_catalogue_row(chart);
    const std::string title = "SPC Rule Selection: " + title_of(chart);
    const int p = NewPanel(0, title.c_str(), VAL_AUTO_CENTER, VAL_AUTO_CENTER, 460, 640);
    if (p < 0) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return 0;
    }
    int boxes[kRuleCount] = {};
    for (int k = 0; k < kRuleCount; ++k) {
        boxes[k] = NewCtrl(p, CTRL_CHECK_BOX, "", 25 + 28 * k, 10);
        SetCtrlVal(p, boxes[k], stored.rules >> k & 1);
        text_at(p, kRuleTexts[k], 28 + 28 * k, 42, 560);
    }
    text_at(p, "Status", 5, 2, 40);
    text_at(p, "Rule", 5, 42, 100);
    text_at(p, "*Must cross target.", 425, 42, 200);
    const int cancel = button(p, "Cancel", 425, 420);
    const int ok = button(p, "Ok    ", 425, 540);
    install_cancel(p, cancel);
    SetCtrlAttribute(p, ok, ATTR_SHORTCUT_KEY, VAL_ENTER_VKEY);
    InstallCtrlCallback(p, ok, [chart, boxes](int panel, int, int e, void*, int, int) {
        return e == EVENT_COMMIT ? rules_ok(panel, chart, boxes) : 0;
    }, nullptr);
    InstallPopup(p);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 0;
}

int adjust_spec(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    LimitsDialog d;
    d.chart = shown_chart();
    const CatalogueRow stored = read_catalogue_row(d.chart);
    const int p = NewPanel(0, "Edit Limits", 80, 75, 300, 500);
    if (p < 0) return 0;
    d.upper = NewCtrl(p, CTRL_NUMERIC, "Upper Specification Limit", 50, 100);
    d.target = NewCtrl(p, CTRL_NUMERIC, "Specification Target", 100, 100);
    d.lower = NewCtrl(p, CTRL_NUMERIC, "Lower Specification Limit", 150, 100);
    const double mean = d.chart.data_mean, sigma = d.chart.data_stdev;
    const struct {
        const char* caption;
        double value;
        int top;
    } readouts[] = {{"Process Mean + 3 sigma", mean + 3 * sigma, 50},
                    {"Process Mean", mean, 100},
                    {"Process Mean - 3 sigma", mean - 3 * sigma, 150}};
    for (const auto& r : readouts) {
        text_at(p, r.caption, r.top - 18, 250, 200);
        text_at(p, vsys::strprintf("%.3f", r.value).c_str(), r.top, 250, 200);
    }
    d.choice = NewCtrl(p, CTRL_BINARY_SWITCH, "Use 3 Sigma Limits", 225, 300);
    SetCtrlAttribute(p, d.choice, ATTR_ON_TEXT, "Use 3 Sigma Limits");
    SetCtrlAttribute(p, d.choice, ATTR_OFF_TEXT, "Use Specification Limits");
    SetCtrlVal(p, d.choice, stored.limits != 0 ? 1 : 0);
    double limits[3] = {0.0, 0.0, 0.0};
    step_specs_of(d.chart.process, LIMITS_READ, d.chart.type, d.chart.subtype, d.chart.channel, d.chart.step, limits);
    SetCtrlVal(p, d.upper, limits[2]);
    if (d.chart.type == 4) {
        SetCtrlAttribute(p, d.target, ATTR_VISIBLE, 0);
        SetCtrlAttribute(p, d.lower, ATTR_VISIBLE, 0);
    } else {
        SetCtrlVal(p, d.target, limits[1]);
        SetCtrlVal(p, d.lower, limits[0]);
    }
    const int ok = NewCtrl(p, CTRL_COMMAND_BUTTON, "OK", 250, 100);
    const int cancel = NewCtrl(p, CTRL_COMMAND_BUTTON, "Cancel", 250, 200);
    install_cancel(p, cancel);
    // Closing only discards the dialog (its Cancel also drops the pending changes).
    SetPanelAttribute(p, ATTR_CLOSE_CTRL, 0);
    if (const auto* close = vui::find_callback("cancel_panel"))
        if (const auto* f = std::get_if<PanelCallbackPtr>(close)) InstallPanelCallback(p, *f, nullptr);
    InstallCtrlCallback(p, ok, [d](int panel, int, int e, void*, int, int) {
        return e == EVENT_COMMIT ? edit_limits_ok(panel, d) : 0;
    }, nullptr);
    InstallCtrlCallback(p, d.choice, set_pending_altered_flag, nullptr);
    void* the_switch = reinterpret_cast<void*>(static_cast<std::intptr_t>(d.choice));
    for (int field : {d.upper, d.target, d.lower}) InstallCtrlCallback(p, field, set_spec_limits, the_switch);
    InstallPopup(p);
    return 0;
}

int set_spec_limits(int panel, int control, int event, void* callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    set_pending_altered_flag(panel, control, event, callbackData, eventData1, eventData2);
    SetCtrlVal(panel, static_cast<int>(reinterpret_cast<std::intptr_t>(callbackData)), 0);
    return 0;
}

int custom_slots(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    const int selection = panel;
    const short type = batch_chart(selection).type;
    const int p = NewPanel(0, "Custom Selection", VAL_AUTO_CENTER, VAL_AUTO_CENTER, 300, 500);
    if (p < 0) return 0;
    const int relation = NewCtrl(p, CTRL_RING, "", 100, 75);
    SetCtrlAttribute(p, relation, ATTR_WIDTH, 125);
    const bool endpoint = type == 17;
    InsertListItem(p, relation, -1, endpoint ? "Batch size < " : "Trigger Numbers < ", -1);
    InsertListItem(p, relation, -1, endpoint ? "Batch size = " : "Trigger Numbers = ", 0);
    InsertListItem(p, relation, -1, endpoint ? "Batch size > " : "Trigger Numbers > ", 1);
    SetCtrlVal(p, relation, -1);
    const int number = NewCtrl(p, CTRL_NUMERIC, "", 100, 250);
    SetCtrlVal(p, number, 11);
    const int ok = NewCtrl(p, CTRL_COMMAND_BUTTON, "OK", 250, 150);
    const int cancel = NewCtrl(p, CTRL_COMMAND_BUTTON, "Cancel", 250, 250);
    install_cancel(p, cancel);
    InstallCtrlCallback(p, ok, [=](int dialog, int, int e, void*, int, int) {
        return e == EVENT_COMMIT ? custom_ok(dialog, selection, type, number, relation) : 0;
    }, nullptr);
    InstallPopup(p);
    return 0;
}
