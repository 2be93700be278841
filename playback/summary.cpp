// The test summary: every activated chart of the current process checked against its limits over the chosen traces.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/config_store.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/run_lookup.h"
#include "core/shared_buffers.h"
#include "core/text_utils.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/sys/launch.h"
#include "platform/ui/userint.h"
#include "playback/playback.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_data.h"
#include "spc/chart_titles.h"
#include "spc/limit_table.h"

namespace {

constexpr const char* kSummaryName = "VantrelSummary.txt";

int current_process()
{
    char text[33] = "";
    get_put_char(hdbc, 0, 5, CONFIG_READ, text);
    return std::atoi(text);
}

int toggle_on()
{
    int on = 0;
    if (sc_handle > 0) GetCtrlVal(sc_handle, SCHART_PLAY, &on);
    return on;
}

void message(const char* text)
{
    if (sc_handle > 0) SetCtrlVal(sc_handle, SCHART_PLAY_INFO, text);
}

// The process setup the summary walks, taken once: reading runs on the way changes none of it.
struct SetupSnapshot {
    int channels = 0;
    std::uint32_t mask = 0;
    signed char kind[33] = {};
    int steps[33] = {};
    std::uint32_t timers = 0;
};

SetupSnapshot take_snapshot()
{
    recipe_num = current_process();
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
    SetupSnapshot s;
    s.channels = std::min<int>(channels, 32);
    s.mask = VantrelChannelStatusBits;
    s.timers = static_cast<std::uint32_t>(timer_status_bit);
    for (int ch = 1; ch <= 32; ++ch) {
        s.kind[ch] = channel_type[ch];
        if (channel_type[ch] == 1 && (s.mask & (1u << (ch - 1))))
            s.steps[ch] = round_to_int(get_put_number(26, static_cast<short>(ch), NUMB_READ, 0.0));
    }
    return s;
}

void empty_selection()
{
    wafer_restrictions = lot_restrictions = recipe_restrictions = system_restrictions = 0;
    wafer_select.clear();
    wafer_logic.clear();
    lot_select.clear();
    recipe_select.clear();
    system_select.clear();
}

}  // namespace

int SummarizeParameter(const ChartRecord& chart, int panel, int list, std::string& out, char listTraces)
{
    ProcessSystemEvents();
    std::vector<double> values;
    int violations = 0;
    double limits[3] = {0, 0, 0};
    empty_selection();
    int count = 0;
    GetNumListItems(panel, list, &count);
    if (listTraces) out += "\nSelected Traces:\n";
    for (int i = 0; i < count; ++i) {
        int checked = 0;
        IsListItemChecked(panel, list, i, &checked);
        if (!checked) continue;
        recipe_num = current_process();
        if (step_specs(6, chart.type, chart.subtype, chart.channel, chart.step, limits) == 0) continue;
        int run = 0;
        std::string label;
        GetValueFromIndex(panel, list, i, &run);
        GetLabelFromIndex(panel, list, i, &label);
        if (run <= 0) continue;
        const bool one_wafer = label.empty() || label[0] != '+';
        int wafer = 0;
        try {
            empty_selection();
            if (one_wafer) {
                wafer = wafer_of_label(label);
                wafer_select.push_back(wafer);
                wafer_logic.push_back(0);
                wafer_restrictions = 1;
            }
            // A local record: the current run and its settings stay as they are.
            std::string trace = look_up_run(hdbc, run).trace_id;
            while (!trace.empty() && trace.back() == ' ') trace.pop_back();
            lot_select.push_back(trace.substr(0, 32));
            lot_restrictions = 1;
            ChartRecord loaded = chart;
            loaded.points = 1000;
            load_data(loaded, TEST_SET, 0);
            if (listTraces) {
                if (one_wafer)
                    out += vsys::strprintf("%s, Trigger# %d\n", trace.c_str(), wafer);
                else
                    out += vsys::strprintf("%s\n", trace.c_str());
            }
            const int n = std::min<int>(loaded.points, static_cast<int>(loaded.values.size()));
            for (int j = 0; j < n; ++j) {
                const double x = loaded.values[static_cast<std::size_t>(j)];
                values.push_back(x);
                if (x > limits[2]) ++violations;
                if (x < limits[0]) ++violations;
            }
        } catch (const std::bad_alloc&) {
            EXIT_NOW("NULL pointer returned");
            return 1;
        }
        free_mem();
        empty_selection();
    }
    char title[256] = "";
    if (chart.type <= 22) form_chart_title(title, chart.channel, chart.type, chart.subtype, chart.step);
    right_text_fill(title, 64);
    const int n = static_cast<int>(values.size());
    out += vsys::strprintf(n < 1 || violations > 0 ? "\n%sFAIL!!!\n" : "\n%sPASS!\n", title);
    if (n >= 2) {
        double sum = 0;
        for (double x : values) sum += x;
        const double mean = sum / n;
        double squares = 0;
        for (double x : values) squares += (x - mean) * (x - mean);
        const double variance = squares / (n - 1);
        const double stdev = variance > 0 ? std::sqrt(variance) : 0.0;
        out += vsys::strprintf("%d data points\n%d violations\n", n, violations);
        out += vsys::strprintf("Mean    = %lf\nStd Dev = %lf\n", mean, stdev);
    } else if (n == 1) {
        out += vsys::strprintf("%d data points\n%d violations\n", n, violations);
    } else {
        out += "No data found!\n";
        violations = 1;
    }
    return violations;
}

int Summarize(int panel, int)
{
    int go_on = toggle_on();
    const std::string path = vsys::path_join(vt_dir, kSummaryName);
    vsys::AtomicFile file(path);
    const char* cannot = "Cannot open 'VantrelSummary.txt'.  Please make sure no other programs have this file open "
                         "and try again.";
    if (!file.is_open()) return MessagePopup("Test Summary Error", cannot);
    HidePanel(panel);
    if (sc_handle > 0) SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, 1);
    message("Please wait while the data is retrieved...");
    std::string out = "Vantrel Test Results\n";
    int summarised = 0, total = 0;
    const SetupSnapshot setup = take_snapshot();
    auto examine = [&](int channel, int type, int subtype, int index, const char* group) {
        ChartRecord chart = chart_of(recipe_num, channel, type, subtype, index);
        if (chart_preferences(6, &chart.channel, &chart.type, &chart.subtype, &chart.step, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr) == 0)
            return;
        message(group);
        total += SummarizeParameter(chart, panel, SC_SEL_RUNS, out, summarised == 0 ? 1 : 0);
        ++summarised;
        go_on = toggle_on();
    };
    auto enabled = [&](int ch) { return (setup.mask & (1u << (ch - 1))) != 0; };
    recipe_num = current_process();
    for (int ch = 1; ch <= setup.channels && go_on; ++ch) {
        const int kind = setup.kind[ch];
        if (!enabled(ch) || !(kind == 0 || (kind >= 20 && kind <= 40))) continue;
        for (int sub = 1; sub <= 4 && go_on; ++sub) examine(ch, kind, sub, 0, "Summarizing mean, stdev, max, min...");
    }
    recipe_num = current_process();
    for (int ch = 1; ch <= setup.channels && go_on; ++ch) {
        if (!enabled(ch) || setup.kind[ch] != 1) continue;
        for (int k = 1; k <= setup.steps[ch] && go_on; ++k)
            for (int sub : {0, 1, 2, 3, 5, 6}) {
                if (!go_on) break;
                examine(ch, 1, sub, k, "Summarizing step channels...");
            }
    }
    recipe_num = current_process();
    for (int ch = 1; ch <= setup.channels && go_on; ++ch) {
        if (!enabled(ch)) continue;
        double limits[3] = {0, 0, 0};
        step_specs(6, 4, 0, static_cast<short>(ch), 0, limits);
        if (limits[2] > 0.000001) examine(ch, 4, 0, 0, "Summarizing sigma vectors...");
    }
    recipe_num = current_process();
    for (int t = 1; t <= 16 && go_on; ++t)
        if (setup.timers & (1u << (t - 1))) examine(t, 5, 0, 0, "Summarizing timers...");
    if (summarised == 0)
        out += "\nNo SPC Charts have been activated.  Please activate at\nleast 1 chart (from 'List All' submenu of "
               "SPC Charts).\n";
    file.write(out);
    const vsys::Result written = file.commit();
    if (sc_handle > 0) SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, 0);
    if (!written.ok) return MessagePopup("Test Summary Error", cannot);
    const std::string result = total == 0   ? std::string("No violations found.")
                               : total == 1 ? std::string("1 violation found.")
                                            : vsys::strprintf("%d violations found.", total);
    MessagePopup("Test Result Summary", result.c_str());
    vsys::launch_document(path);
    return 0;
}
