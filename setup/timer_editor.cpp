// The timer editor panel, its timer list and condition popups, and the search of timer events in the process-of-record trace.
#include "setup/timer_editor.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/run_lookup.h"
#include "core/run_table.h"
#include "core/trace_file.h"
#include "panels/part1.h"
#include "panels/part2.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "setup/setup_files.h"

namespace {

// Editor state, kept while the panel lives.
int timer_setup_panel = -1;
int timer_validated = 0;
int timer_list_index = 0;
std::vector<double> start_list, end_list;
int start_marker_plot = 0, end_marker_plot = 0;
double start_y[2] = {0, 0}, end_y[2] = {0, 0};
// The recording the process of record was made with (the process's own setup stays loaded).
RunRecord por;
bool searching = false, search_cancelled = false, close_requested = false;

constexpr double kHysteresisCounts = 164.0;
constexpr int kEditControls[] = {PART2_START_EVENT, PART2_END_EVENT, PART2_TIMERS, PART2_START_CH, PART2_END_CH,
                                 PART2_START_SENSE, PART2_END_SENSE, PART2_START_LEVEL, PART2_END_LEVEL, PART2_APPLY, PART2_DELETE};

bool bit(std::uint32_t mask, int t) { return (mask >> (t - 1)) & 1u; }
void set_bit(int& mask, int t, bool on)
{
    if (on)
        mask |= 1 << (t - 1);
    else
        mask &= ~(1 << (t - 1));
}

int current_timer(int panel)
{
    int count = 0, t = 0, index = 0;
    GetNumListItems(panel, PART2_TIMERS, &count);
    if (count <= 0 || GetCtrlIndex(panel, PART2_TIMERS, &index) < 0 || index < 0) return 0;
    GetValueFromIndex(panel, PART2_TIMERS, index, &t);
    return t >= 1 && t <= 16 ? t : 0;
}

std::string tag(int param, int index)
{
    char text[33] = "";
    get_put_char(hdbc, param, index, TAGS_READ, text);
    return text;
}

// An unknown channel is stored as -1 in an 8-bit slot: any number outside 1..32 reads as unknown.
int channel_or_unknown(std::uint8_t stored) { return stored >= 1 && stored <= 32 ? stored : -1; }

void set_ring_by_value(int panel, int ring, int value)
{
    int index = 0;
    if (GetIndexFromValue(panel, ring, &index, value) < 0 || index < 0) index = 0;
    SetCtrlIndex(panel, ring, index);
}

void clear_graphs(int panel)
{
    DeleteGraphPlot(panel, PART2_START_GRAPH, -1, 1);
    DeleteGraphPlot(panel, PART2_END_GRAPH, -1, 1);
    start_marker_plot = end_marker_plot = 0;
}

void set_editing_dimmed(int panel, bool dimmed)
{
    for (int c : kEditControls) SetCtrlAttribute(panel, c, ATTR_DIMMED, dimmed ? 1 : 0);
    SetCtrlAttribute(panel, PART2_EXIT, ATTR_DIMMED, dimmed ? 1 : 0);
    SetCtrlAttribute(panel, PART2_ADD, ATTR_DIMMED, dimmed ? 1 : 0);
}

// Scan layout of the recording: channel's place counted from the end of a scan.
int trace_number(int channel)
{
    if (channel < 1 || channel > 32) return 0;
    const std::uint32_t below = channel == 32 ? por.channels.mask : por.channels.mask & ((1u << channel) - 1u);
    return std::popcount(below);
}

// Positions count in the process of record's own rate.
double elapsed(double from, double to)
{
    return por.rate_index > 0 ? to - from : std::abs(por.rate_index) * (to - from);
}

void show_elapsed(int panel, int start_number, int end_number)
{
    // Number 0 means no event chosen: no elapsed time.
    if (start_number < 1 || end_number < 1 || start_number > static_cast<int>(start_list.size()) ||
        end_number > static_cast<int>(end_list.size())) {
        SetCtrlAttribute(panel, PART2_ELAPSED, ATTR_VISIBLE, 0);
        return;
    }
    SetCtrlVal(panel, PART2_ELAPSED,
               vsys::strprintf("%.4lf sec", elapsed(start_list[static_cast<std::size_t>(start_number - 1)],
                                                    end_list[static_cast<std::size_t>(end_number - 1)])));
    SetCtrlAttribute(panel, PART2_ELAPSED, ATTR_VISIBLE, 1);
}

void draw_marker(int panel, int graph, int& plot, const double y[2], double x)
{
    if (plot > 0) DeleteGraphPlot(panel, graph, plot, 0);
    plot = PlotLine(panel, graph, x, y[0], x, y[1], 0x0000FF);
}

// Stepping of one side; `start` selects the START or the END names.
void step_events(int panel, int control, bool start)
{
    const int number_ctrl = start ? PART2_START_EVENT : PART2_END_EVENT;
    const int previous = start ? PART2_START_PREV : PART2_END_PREV;
    const int next = start ? PART2_START_NEXT : PART2_END_NEXT;
    const std::vector<double>& list = start ? start_list : end_list;
    const int count = static_cast<int>(list.size());
    int k = 0;
    GetCtrlVal(panel, number_ctrl, &k);
    if (control == previous && k > 1) --k;
    if (control == next && k < count) ++k;
    if (k < 0) k = 0;
    if (k > count) k = count;
    SetCtrlVal(panel, number_ctrl, k);
    if (control > 0) set_pending_altered_flag(panel, 0, EVENT_VAL_CHANGED, nullptr, 0, 0);
    const int t = current_timer(panel);
    if (count > 0 && t > 0) {
        SetCtrlAttribute(panel, PART2_ELAPSED, ATTR_VISIBLE, 0);
        int& plot = start ? start_marker_plot : end_marker_plot;
        const int graph = start ? PART2_START_GRAPH : PART2_END_GRAPH;
        if (k >= 1)
            draw_marker(panel, graph, plot, start ? start_y : end_y, list[static_cast<std::size_t>(k - 1)]);
        else if (plot > 0) {
            DeleteGraphPlot(panel, graph, plot, 0);
            plot = 0;
        }
        (start ? timer_start_gun : timer_end_gun)[t] = k;
        RefreshGraph(panel, graph);
        show_elapsed(panel, timer_start_gun[t], timer_end_gun[t]);
    }
    SetCtrlAttribute(panel, previous, ATTR_DIMMED, k < 2 ? 1 : 0);
}

int cancel_search(int, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) search_cancelled = true;
    return 0;
}

// The start and end condition panels number their controls alike.
static_assert(START_COND_CHANNEL == END_COND_CHANNEL && START_COND_SENSE == END_COND_SENSE &&
              START_COND_LEVEL == END_COND_LEVEL && START_COND_OK == END_COND_OK && START_COND_CANCEL == END_COND_CANCEL);

// One condition popup: fills the slot's channel, sense and level on OK; false on Cancel.
bool ask_condition(int panel, int resource, std::uint8_t& channel, int& logic, int t, double& level)
{
    const int popup = LoadPanel(panel, "part1.uir", resource);
    if (popup < 0) return false;
    ClearListCtrl(popup, START_COND_CHANNEL);
    for (int ch = 1; ch <= por.channels.channels.value_or(32) && ch <= 32; ++ch)
        if (bit(por.channels.mask, ch)) InsertListItem(popup, START_COND_CHANNEL, -1, tag(28, ch).c_str(), ch);
    InstallPopup(popup);
    int p = 0, c = 0;
    while (true) {
        if (GetUserEvent(1, &p, &c) < 0) break;
        if (p == popup && (c == START_COND_OK || c == START_COND_CANCEL)) break;
        int width = 0;
        if (GetPanelAttribute(popup, ATTR_WIDTH, &width) < 0) break;
    }
    const bool ok = p == popup && c == START_COND_OK;
    if (ok) {
        int ch = 0, sense = 1;
        GetCtrlVal(popup, START_COND_CHANNEL, &ch);
        GetCtrlVal(popup, START_COND_SENSE, &sense);
        GetCtrlVal(popup, START_COND_LEVEL, &level);
        channel = static_cast<std::uint8_t>(ch);
        set_bit(logic, t, sense == 1);
    }
    int handle = popup;
    DiscardMyPanel(&handle);
    SetActivePanel(panel);
    return ok;
}

void free_event_lists()
{
    start_list.clear();
    end_list.clear();
}

}  // namespace

void timer_setup_part2(int, int, void*, int)
{
    if (recipe_num < 3 || recipe_num > 9000) {
        MessagePopup("Setup Error", "This process is write protected.  Before you edit, you must use SAVE AS... to "
                                    "save a new process (see FILE menu).");
        return;
    }
    saveAllAndExport(0);
    free_event_lists();
    auto size = vsys::file_size(por_trace_path(vt_dir, recipe_num));
    if (!size || *size < 101) {
        MessagePopup("", "The PROCESS OF RECORD must be selected before timer limits can be set (See the File "
                         "Menu).");
        return;
    }
    const int panel = LoadPanel(0, "part2.uir", PART2);
    if (panel < 0) return;
    timer_setup_panel = panel;
    por = look_up_run(hdbc, -recipe_num);
    SetCtrlAttribute(panel, PART2_START_EVENT, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, PART2_END_EVENT, ATTR_VISIBLE, 0);
    for (int c : {PART2_TIMERS, PART2_START_CH, PART2_END_CH}) ClearListCtrl(panel, c);
    start_marker_plot = end_marker_plot = 0;
    InsertListItem(panel, PART2_START_CH, -1, "UNKNOWN", -1);
    InsertListItem(panel, PART2_END_CH, -1, "UNKNOWN", -1);
    for (int t = 1; t <= 16; ++t)
        if (bit(static_cast<std::uint32_t>(timer_status_bit), t))
            InsertListItem(panel, PART2_TIMERS, -1, tag(29, t).c_str(), t);
    SetCtrlIndex(panel, PART2_TIMERS, 0);
    timer_list_index = 0;
    int counted = 0;
    const int channel_count = por.channels.channels.value_or(32);
    for (int ch = 1; ch <= channel_count && ch <= 32; ++ch)
        if (bit(por.channels.mask, ch)) {
            const std::string name = tag(28, ch);
            InsertListItem(panel, PART2_START_CH, -1, name.c_str(), ch);
            InsertListItem(panel, PART2_END_CH, -1, name.c_str(), ch);
            ++counted;
        }
    if (counted == 0) {
        MessagePopup("Timer Setup Error", "No channels are active in both the Process of Record and the current "
                                          "process.  You should choose a different POR or turn more channels on if "
                                          "you would like to configure timers.");
        int handle = panel;
        DiscardMyPanel(&handle);
        timer_setup_panel = -1;
        free_event_lists();
        return;
    }
    for (int c : {PART2_END_MSG, PART2_START_MSG, PART2_ELAPSED}) SetCtrlAttribute(panel, c, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, PART2_CANCEL, ATTR_LABEL_TEXT, "Cancel");
    InstallCtrlCallback(panel, PART2_CANCEL, cancel_uncommitted, nullptr);
    timer_validated = 1;
    select_timer(panel, -1, EVENT_VAL_CHANGED, nullptr, 0, 0);
    InstallPopup(panel);
}

int validate_current_timer(int panel)
{
    int count = 0;
    GetNumListItems(panel, PART2_TIMERS, &count);
    if (count >= 1 && timer_validated == 0) {
        SetCtrlIndex(panel, PART2_TIMERS, timer_list_index);
        MessagePopup("Timer Error", "The currently displayed timer has not been validated.  Please finalize timer "
                                    "conditions and click on APPLY.  If you would like to delete this timer, click "
                                    "on DELETE.");
        return 0;
    }
    return 1;
}

int select_timer(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    if (!validate_current_timer(panel)) return 0;
    timer_validated = 0;
    GetCtrlIndex(panel, PART2_TIMERS, &timer_list_index);
    SetCtrlAttribute(panel, PART2_ELAPSED, ATTR_VISIBLE, 0);
    if (const int t = current_timer(panel)) {
        SetCtrlAttribute(panel, PART2_START_MSG, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, PART2_END_MSG, ATTR_VISIBLE, 0);
        set_ring_by_value(panel, PART2_START_CH, channel_or_unknown(timer_start_channel[t]));
        set_ring_by_value(panel, PART2_END_CH, channel_or_unknown(timer_end_channel[t]));
        SetCtrlVal(panel, PART2_START_SENSE, bit(static_cast<std::uint32_t>(timer_start_logic_bit), t) ? 1 : -1);
        SetCtrlVal(panel, PART2_END_SENSE, bit(static_cast<std::uint32_t>(timer_end_logic_bit), t) ? 1 : -1);
        SetCtrlVal(panel, PART2_START_LEVEL, timer_start_val[t]);
        SetCtrlVal(panel, PART2_END_LEVEL, timer_end_val[t]);
        SetCtrlVal(panel, PART2_START_EVENT, timer_start_gun[t]);
        SetCtrlVal(panel, PART2_END_EVENT, timer_end_gun[t]);
    }
    clear_graphs(panel);
    free_event_lists();
    update_timer_chart(panel, -1, EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int timer_add(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (!validate_current_timer(panel)) return 0;
    int count = 0;
    GetNumListItems(panel, PART2_TIMERS, &count);
    if (count >= 16) {
        MessagePopup("Add Timer Error", "Maximum number of timers have been added.");
        return 0;
    }
    char name[33] = "";
    if (GenericMessagePopup("Add Timer", "Please enter a name for the new timer.", "Cancel", "Ok", nullptr, name, 32,
                            2, 1) != 2)
        return 0;
    int t = 1;
    for (; t <= 16; ++t) {
        int index = 0;
        if (GetIndexFromValue(panel, PART2_TIMERS, &index, t) < 0 || index < 0) break;
    }
    if (t > 16) return 0;
    if (!ask_condition(panel, START_COND, timer_start_channel[t], timer_start_logic_bit, t, timer_start_val[t])) return 0;
    if (!ask_condition(panel, END_COND, timer_end_channel[t], timer_end_logic_bit, t, timer_end_val[t])) return 0;
    set_ring_by_value(panel, PART2_END_CH, channel_or_unknown(timer_end_channel[t]));
    SetCtrlVal(panel, PART2_END_SENSE, bit(static_cast<std::uint32_t>(timer_end_logic_bit), t) ? 1 : -1);
    SetCtrlVal(panel, PART2_END_LEVEL, timer_end_val[t]);
    set_ring_by_value(panel, PART2_START_CH, channel_or_unknown(timer_start_channel[t]));
    SetCtrlVal(panel, PART2_START_SENSE, bit(static_cast<std::uint32_t>(timer_start_logic_bit), t) ? 1 : -1);
    SetCtrlVal(panel, PART2_START_LEVEL, timer_start_val[t]);
    timer_start_gun[t] = timer_end_gun[t] = 0;
    SetCtrlVal(panel, PART2_START_EVENT, 0);
    SetCtrlVal(panel, PART2_END_EVENT, 0);
    // The list stays in ascending timer order.
    int at = 0;
    GetNumListItems(panel, PART2_TIMERS, &count);
    for (; at < count; ++at) {
        int v = 0;
        GetValueFromIndex(panel, PART2_TIMERS, at, &v);
        if (v > t) break;
    }
    InsertListItem(panel, PART2_TIMERS, at, name, t);
    SetCtrlIndex(panel, PART2_TIMERS, at);
    timer_validated = 1;
    select_timer(panel, PART2_TIMERS, EVENT_VAL_CHANGED, nullptr, 0, 0);
    if (timer_validated == 1)
        MessagePopup("Timer Setup", "Please click on PREVIOUS/NEXT buttons to select start and stop events.");
    timer_altered(panel, control, EVENT_VAL_CHANGED, nullptr, 0, 0);
    return 0;
}

int timer_delete(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int count = 0, index = -1;
    GetNumListItems(panel, PART2_TIMERS, &count);
    GetCtrlIndex(panel, PART2_TIMERS, &index);
    if (count > 0 && index >= 0) {
        DeleteListItem(panel, PART2_TIMERS, index, 1);
        set_pending_altered_flag(panel, PART2_TIMERS, EVENT_VAL_CHANGED, nullptr, 0, 0);
    }
    timer_validated = 1;
    select_timer(panel, PART2_TIMERS, EVENT_VAL_CHANGED, nullptr, 0, 0);
    return 0;
}

int exit_timer_setup(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (!validate_current_timer(panel)) return 0;
    if (Flags & FLAG_PENDING_CHANGES) {
        SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
        timer_status_bit = 0;
        int count = 0;
        GetNumListItems(panel, PART2_TIMERS, &count);
        for (int i = 0; i < count; ++i) {
            int t = 0;
            std::string label;
            GetValueFromIndex(panel, PART2_TIMERS, i, &t);
            GetLabelFromIndex(panel, PART2_TIMERS, i, &label);
            if (t < 1 || t > 16) continue;
            char name[33] = "";
            vsys::format_into(name, sizeof name, "%.32s", label.c_str());
            get_put_char(hdbc, 29, t, TAGS_WRITE, name);
            set_bit(timer_status_bit, t, true);
        }
    }
    free_event_lists();
    int handle = panel;
    DiscardMyPanel(&handle);
    timer_setup_panel = -1;
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 0;
}

int close_timer_panel(int panel, int event, void*, int, int)
{
    if (event != EVENT_CLOSE) return 0;
    // A search in progress is cancelled first; the panel closes when it has stopped.
    if (searching) {
        search_cancelled = true;
        close_requested = true;
        return 0;
    }
    return exit_timer_setup(panel, PART2_EXIT, EVENT_COMMIT, nullptr, 0, 0);
}

int timer_altered(int panel, int control, int event, void* data, int d1, int d2)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    timer_validated = 0;
    return set_pending_altered_flag(panel, control, event, data, d1, d2);
}

int update_timer_start(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) step_events(panel, control, true);
    return 0;
}

int update_timer_end(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) step_events(panel, control, false);
    return 0;
}

int update_timer_chart(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || searching) return 0;
    int rate = 0;
    {
        vsys::FilePtr f = vsys::open_file(interval_path(vt_dir, recipe_num), "r");
        if (!f) return 0;
        int a = 0, b = 0;
        if (std::fscanf(f.get(), "%i %i %i", &a, &b, &rate) != 3) rate = 0;
    }
    const int n = rate > 0 ? rate : 1;
    const int saved = por.channels.saved;
    const std::size_t block_bytes = 2u * static_cast<std::size_t>(saved) * static_cast<std::size_t>(n) + 20u;
    const std::uint64_t size = vsys::file_size(por_trace_path(vt_dir, recipe_num)).value_or(0);
    const double w = 0.005 * static_cast<double>(size > 9 ? (size - 9) / block_bytes : 0);
    free_event_lists();
    const int t = current_timer(panel);
    if (t == 0) {
        SetCtrlAttribute(panel, PART2_ELAPSED, ATTR_VISIBLE, 0);
        set_editing_dimmed(panel, true);
        SetCtrlAttribute(panel, PART2_EXIT, ATTR_DIMMED, 0);
        SetCtrlAttribute(panel, PART2_ADD, ATTR_DIMMED, 0);
        for (int c : {PART2_START_PREV, PART2_START_NEXT, PART2_END_PREV, PART2_END_NEXT})
            SetCtrlAttribute(panel, c, ATTR_DIMMED, 1);
        return 1;
    }
    int start_ch = -1, end_ch = -1;
    GetCtrlVal(panel, PART2_START_CH, &start_ch);
    timer_start_channel[t] = static_cast<std::uint8_t>(start_ch);
    if (start_ch == -1) {
        if (control > 0)
            MessagePopup("Timer Setup Error", "Cannot search the Process Of Record because the start channel is "
                                              "unknown.");
        return 1;
    }
    GetCtrlVal(panel, PART2_END_CH, &end_ch);
    timer_end_channel[t] = static_cast<std::uint8_t>(end_ch);
    if (end_ch == -1) {
        if (control > 0)
            MessagePopup("Timer Setup Error", "Cannot search the Process Of Record because the end channel is "
                                              "unknown.");
        return 1;
    }
    int start_sense = 1, end_sense = 1;
    GetCtrlVal(panel, PART2_START_SENSE, &start_sense);
    GetCtrlVal(panel, PART2_END_SENSE, &end_sense);
    set_bit(timer_start_logic_bit, t, start_sense == 1);
    set_bit(timer_end_logic_bit, t, end_sense == 1);
    GetCtrlVal(panel, PART2_START_LEVEL, &timer_start_val[t]);
    GetCtrlVal(panel, PART2_END_LEVEL, &timer_end_val[t]);
    GetCtrlVal(panel, PART2_START_EVENT, &timer_start_gun[t]);
    GetCtrlVal(panel, PART2_END_EVENT, &timer_end_gun[t]);

    clear_graphs(panel);
    SetCtrlAttribute(panel, PART2_START_GRAPH, ATTR_REFRESH_GRAPH, 0);
    SetCtrlAttribute(panel, PART2_END_GRAPH, ATTR_REFRESH_GRAPH, 0);
    SetCtrlAttribute(panel, PART2_ELAPSED, ATTR_VISIBLE, 0);
    set_editing_dimmed(panel, true);

    start_y[0] = end_y[0] = 1e100;
    start_y[1] = end_y[1] = -1e100;
    struct Kept {
        double x, v;
    };
    std::vector<Kept> start_kept, end_kept;
    int blocks = 0;
    searching = true;
    search_cancelled = false;
    vsys::FilePtr trace = vsys::open_file(por_trace_path(vt_dir, recipe_num), "rb");
    if (trace && saved > 0) {
        const int ps = trace_number(start_ch), pe = trace_number(end_ch);
        const bool header = read_trace_header(trace.get()).has_value();
        SetCtrlVal(panel, PART2_END_MSG, "Searching the POR for END EVENTS ...");
        SetCtrlVal(panel, PART2_START_MSG, "Searching the POR for START EVENTS ...");
        const double scale = BinaryToVoltage[por.channels.adc_bits ? 1 : 0];
        const double hs = kHysteresisCounts * scale * channel_slope[start_ch];
        const double he = kHysteresisCounts * scale * channel_slope[end_ch];
        const int ks = bit(static_cast<std::uint32_t>(timer_start_logic_bit), t) ? 1 : -1;
        const int ke = bit(static_cast<std::uint32_t>(timer_end_logic_bit), t) ? 1 : -1;
        double ts = timer_start_val[t], te = timer_end_val[t];
        bool start_state = false, end_state = false;
        double px = 0, pvs = 0, pve = 0;
        std::vector<std::int16_t> half_buffer(static_cast<std::size_t>(n) * static_cast<std::size_t>(saved));
        char trailer[20];
        InstallCtrlCallback(panel, PART2_CANCEL, cancel_search, nullptr);
        SetCtrlAttribute(panel, PART2_CANCEL, ATTR_LABEL_TEXT, "Cancel Search");
        int last_parity = -1;
        auto value = [&](int i, int p, int ch) {
            if (p < 1 || p > saved) return 0.0;
            const double raw = half_buffer[static_cast<std::size_t>(i * saved + (saved - p))];
            return raw * scale * channel_slope[ch] + channel_inter[ch];
        };
        while (!search_cancelled) {
            const std::size_t got = std::fread(half_buffer.data(), sizeof(std::int16_t), half_buffer.size(), trace.get());
            if (got < half_buffer.size() || std::fread(trailer, 1, sizeof trailer, trace.get()) < 4) break;
            const bool prepended = blocks == 0 && header;
            int first = 0;
            if (prepended) {
                first = n - 1;
                px = static_cast<double>(n - 1) / n;
                pvs = value(n - 1, ps, start_ch);
                pve = value(n - 1, pe, end_ch);
            }
            for (int i = first; i < n; ++i) {
                const double x = rate > 0 ? blocks + static_cast<double>(i) / n : blocks;
                const double vs = value(i, ps, start_ch), ve = value(i, pe, end_ch);
                const bool s_now = ks * vs > ks * ts;
                if (s_now != start_state) {
                    if (s_now) {
                        start_list.push_back(x);
                        if (start_kept.size() < 16) start_kept.push_back({x, vs});
                        ts = timer_start_val[t] - ks * hs;
                    } else {
                        ts = timer_start_val[t];
                    }
                    start_state = s_now;
                }
                if (blocks > 0 || i > first) PlotLine(panel, PART2_START_GRAPH, px, pvs, x, vs, 0x00FF00);
                start_y[0] = std::min(start_y[0], vs);
                start_y[1] = std::max(start_y[1], vs);
                pvs = vs;
                const bool e_now = ke * ve > ke * te;
                if (e_now != end_state) {
                    if (e_now) {
                        end_list.push_back(x);
                        if (end_kept.size() < 16) end_kept.push_back({x, ve});
                        te = timer_end_val[t] - ke * he;
                    } else {
                        te = timer_end_val[t];
                    }
                    end_state = e_now;
                }
                if (blocks > 0 || i > first) PlotLine(panel, PART2_END_GRAPH, px, pve, x, ve, 0xFF0000);
                end_y[0] = std::min(end_y[0], ve);
                end_y[1] = std::max(end_y[1], ve);
                pve = ve;
                px = x;
            }
            ++blocks;
            const int parity = static_cast<int>(std::time(nullptr) % 2);
            if (parity != last_parity) {
                last_parity = parity;
                SetCtrlAttribute(panel, PART2_START_MSG, ATTR_VISIBLE, parity);
                SetCtrlAttribute(panel, PART2_END_MSG, ATTR_VISIBLE, parity);
                ProcessSystemEvents();
            }
        }
    }
    trace.reset();
    searching = false;
    // Stored numbers above the events found come down to the last event, whose marker is drawn: a cancelled
    // search keeps these markers for the events found so far.
    if (!start_list.empty() && timer_start_gun[t] > static_cast<int>(start_list.size()))
        timer_start_gun[t] = static_cast<int>(start_list.size());
    if (!end_list.empty() && timer_end_gun[t] > static_cast<int>(end_list.size()))
        timer_end_gun[t] = static_cast<int>(end_list.size());
    SetCtrlVal(panel, PART2_START_EVENT, timer_start_gun[t]);
    SetCtrlVal(panel, PART2_END_EVENT, timer_end_gun[t]);
    step_events(panel, 0, true);
    step_events(panel, 0, false);
    for (double* y : {start_y, end_y}) {
        if (y[0] > y[1]) y[0] = y[1] = 0.0;
        y[0] = std::floor(y[0]);
        y[1] = std::ceil(y[1]);
        if (y[1] <= y[0]) y[1] = y[0] + 1.0;
    }
    SetAxisRange(panel, PART2_START_GRAPH, VAL_MANUAL, 0.0, blocks, VAL_MANUAL, start_y[0], start_y[1]);
    SetAxisRange(panel, PART2_END_GRAPH, VAL_MANUAL, 0.0, blocks, VAL_MANUAL, end_y[0], end_y[1]);
    for (const Kept& k : start_kept) {
        const double h = 0.03 * (start_y[1] - start_y[0]);
        PlotOval(panel, PART2_START_GRAPH, k.x - w, k.v - h, k.x + w, k.v + h, 0x00FF00, 0x00FF00);
    }
    for (const Kept& k : end_kept) {
        const double h = 0.03 * (end_y[1] - end_y[0]);
        PlotOval(panel, PART2_END_GRAPH, k.x - w, k.v - h, k.x + w, k.v + h, 0xFF0000, 0xFF0000);
    }
    bool missing = false;
    if (!search_cancelled) {
        if (start_list.empty()) {
            MessagePopup("Timer Setup Error", "No start event detected.");
            timer_start_gun[t] = 0;
            missing = true;
        }
        if (end_list.empty()) {
            MessagePopup("Timer Setup Error", "No end event detected.");
            timer_end_gun[t] = 0;
            missing = true;
        }
        // Event number 0 means none chosen: no marker and no elapsed time.
        if (timer_start_gun[t] >= 1)
            draw_marker(panel, PART2_START_GRAPH, start_marker_plot, start_y,
                        start_list[static_cast<std::size_t>(timer_start_gun[t] - 1)]);
        if (timer_end_gun[t] >= 1)
            draw_marker(panel, PART2_END_GRAPH, end_marker_plot, end_y,
                        end_list[static_cast<std::size_t>(timer_end_gun[t] - 1)]);
        SetCtrlVal(panel, PART2_START_EVENT, timer_start_gun[t]);
        SetCtrlVal(panel, PART2_END_EVENT, timer_end_gun[t]);
        show_elapsed(panel, timer_start_gun[t], timer_end_gun[t]);
        SetCtrlAttribute(panel, PART2_START_MSG, ATTR_VISIBLE, 1);
        SetCtrlAttribute(panel, PART2_END_MSG, ATTR_VISIBLE, 1);
        SetCtrlVal(panel, PART2_END_MSG,
                   vsys::strprintf("%i END EVENTS were detected in the POR.", static_cast<int>(end_list.size())));
        SetCtrlVal(panel, PART2_START_MSG,
                   vsys::strprintf("%i START EVENTS were detected in the POR.", static_cast<int>(start_list.size())));
    }
    RefreshGraph(panel, PART2_START_GRAPH);
    RefreshGraph(panel, PART2_END_GRAPH);
    SetCtrlAttribute(panel, PART2_CANCEL, ATTR_LABEL_TEXT, "Cancel");
    InstallCtrlCallback(panel, PART2_CANCEL, cancel_uncommitted, nullptr);
    set_editing_dimmed(panel, false);
    SetCtrlAttribute(panel, PART2_START_EVENT, ATTR_DIMMED, start_list.empty() ? 1 : 0);
    SetCtrlAttribute(panel, PART2_END_EVENT, ATTR_DIMMED, end_list.empty() ? 1 : 0);
    SetCtrlAttribute(panel, PART2_START_PREV, ATTR_DIMMED, timer_start_gun[t] < 2 ? 1 : 0);
    SetCtrlAttribute(panel, PART2_END_PREV, ATTR_DIMMED, timer_end_gun[t] < 2 ? 1 : 0);
    if (!missing) timer_validated = 1;
    if (close_requested) {
        close_requested = false;
        exit_timer_setup(panel, PART2_EXIT, EVENT_COMMIT, nullptr, 0, 0);
    }
    return 0;
}
