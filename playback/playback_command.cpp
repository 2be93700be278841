// The playback command: entry, refusals, channel and run choice, re-test, window state around the replay, and its end.
#include "playback/playback.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "acquisition/axes.h"
#include "acquisition/run_model.h"
#include "acquisition/traces.h"
#include "acquisition/zoom.h"
#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/long_command.h"
#include "core/panel_framework.h"
#include "core/run_table.h"
#include "core/shared_buffers.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "panels/realtime.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "playback/pacing.h"
#include "playback/replay.h"
#include "setup/run_selection.h"
#include "testing/trace_test.h"

namespace {

// A direct playback comes from a chart point; an on-time chart's point is overlaid as its own kind.
bool on_time_chart_point = false;

int current_process()
{
    char text[33] = "";
    get_put_char(hdbc, 0, 5, CONFIG_READ, text);
    return std::atoi(text);
}

void dim_controls(int dim)
{
    for (int c : {SCHART_START, SCHART_AXES, SCHART_EXIT, SCHART_PAUSE}) SetCtrlAttribute(sc_handle, c, ATTR_DIMMED, dim);
}


// The run's channels become the setup's while the legend and the strip chart's traces are rebuilt.
void rebuild_legend(const BlockLayout& l)
{
    const std::uint32_t mask = VantrelChannelStatusBits;
    const std::uint8_t count = channels, saved = saved_channels;
    VantrelChannelStatusBits = l.mask;
    channels = static_cast<std::uint8_t>(l.channels);
    saved_channels = static_cast<std::uint8_t>(l.saved);
    // The legend's rebuild resets the view; the playback's own view stands.
    const std::uint8_t view = view_preference;
    names(-2, 0, 0, 1);
    view_preference = view;
    VantrelChannelStatusBits = mask;
    channels = count;
    saved_channels = saved;
}

// Asks for a whole number of seconds until one is given; false when the user cancels.
bool ask_seconds(const char* question, int& out)
{
    while (true) {
        std::string answer;
        if (PromptPopup("Manual X Scale", question, &answer, 9) < 0) return false;
        int value = 0;
        char rest = 0;
        if (std::sscanf(answer.c_str(), "%d %c", &value, &rest) == 1) {
            out = value;
            return true;
        }
        MessagePopup("Input Error", "Invalid entry");
    }
}

// The run record's texts trimmed as the window shows them.
RunRecord read_run(int run)
{
    RunRecord r = look_up_run(hdbc, run);
    for (std::string* t : {&r.trace_id, &r.system_id, &r.comment, &r.recipe, &r.date, &r.time})
        while (!t->empty() && t->back() == ' ') t->pop_back();
    return r;
}

void set_complete(int run, int state)
{
    const std::string sql = vsys::strprintf("UPDATE VT_INFO SET COMPLETE = %i WHERE RUN_NUM = %i", state, run);
    if (DBImmediateSQL(hdbc, sql.c_str()) != 0) ShowError();
}

struct Walk {
    int panel = -1;
    bool direct = false;
    int items = 0;
};

// Per wafer: open, re-test, replay, progress.
void play_wafer(PlaybackState& s, const Walk& w, bool whole_run)
{
    std::string trace;
    if (s.item_run < 0) {
        SetCtrlVal(sc_handle, SCHART_WAFER, "");
        trace = por_trace_path(vt_dir, -s.item_run);
    } else {
        SetCtrlVal(sc_handle, SCHART_WAFER, vsys::strprintf("# %i", s.wafer));
        trace = wafer_trace_path(vt_dir, s.record.run, s.wafer);
    }
    vsys::FilePtr file = vsys::open_file(trace, "rb");
    if (!file) {
        if (w.direct) {
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            MessagePopup("", "Strip chart data cannot be replayed because this trace was deleted.");
        }
    } else {
        if (s.retest && s.item_run > 0) {
            SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
            if (!whole_run && s.record.complete != 0 && s.record.complete != -3) {
                if (delete_db_records(hdbc, s.record.run, '=', 2, static_cast<short>(s.wafer)) == 1)
                    s.stop_all = true;
            }
            std::vector<short> block(std::max<std::size_t>(s.layout.values(), 1));
            test_trace(block.data(), s.record.run, static_cast<short>(s.wafer), sc_handle, 3,
                       s.record.trace_id.c_str(), "", 0, 0);
            SetMouseCursor(VAL_DEFAULT_CURSOR);
        }
        replay_trace(s, std::move(file));
    }
    const double p = 100.0 * s.wafer / std::max(s.last_wafer, 1);
    const std::string label = trace_label(s.item_run, s.record);
    if (s.first_wafer > 1)
        SetCtrlVal(sc_handle, SCHART_PLAY_INFO,
                   vsys::strprintf("%4.1f%% of %s #%i is complete.", p, label.c_str(), s.wafer));
    else
        SetCtrlVal(sc_handle, SCHART_PLAY_INFO, vsys::strprintf("%4.1f%% of %s is complete.", p, label.c_str()));
    s.largest_x = std::max(s.largest_x, s.x);
}

// Per list item; false when the walk must end.
bool play_item(PlaybackState& s, const Walk& w, int index, int& remembered_saved)
{
    bool whole = false;
    if (!w.direct) {
        int checked = 0;
        IsListItemChecked(w.panel, SC_SEL_RUNS, index, &checked);
        if (!checked) return true;
        GetValueFromIndex(w.panel, SC_SEL_RUNS, index, &s.item_run);
        std::string label;
        GetLabelFromIndex(w.panel, SC_SEL_RUNS, index, &label);
        whole = !label.empty() && label[0] == '+';
        s.first_wafer = s.last_wafer = wafer_of_label(label);
    } else {
        s.item_run = run_num;
        s.first_wafer = s.last_wafer = num_of_wafers;
    }
    // A run is only ever read into the command's own record.
    s.record = read_run(s.item_run);
    // A run without a row has no layout to read its blocks with: it is passed over.
    if (!s.record.found) {
        if (w.direct) MessagePopup("", "Strip chart data cannot be replayed because this trace was deleted.");
        return true;
    }
    s.layout = layout_of(s.record);
    if (s.layout.saved > 32) {
        SetCtrlVal(sc_handle, SCHART_PLAY, 0);
        MessagePopup("Incompatible File", vsys::strprintf("Cannot play back %s because the number of channels exceeds %d.",
                                                          s.record.trace_id.c_str(), 32)
                                              .c_str());
        return false;
    }
    if (whole) {
        s.first_wafer = 1;
        s.last_wafer = s.record.wafers;
    }
    const std::string label = trace_label(s.item_run, s.record);
    SetCtrlVal(sc_handle, SCHART_TRACE_ID, label);
    SetCtrlVal(sc_handle, SCHART_PLAY_RUN, label);
    if (!w.direct && (s.elapsed == 0 || s.layout.saved != remembered_saved)) {
        if (s.checked == 1 && s.item_run > 0) {
            char name[33] = "";
            copy_bounded(name, s.record.recipe.c_str(), 32);
            get_put_char(hdbc, 1, 0, PROCESS_BY_NAME, name);
            if (std::strcmp(name, "Not Found") != 0) recipe_num = std::atoi(name);
        } else {
            recipe_num = current_process();
        }
        rebuild_legend(s.layout);
        HidePanel(w.panel);
    }
    if (s.elapsed == 0 || s.layout.saved != remembered_saved || w.direct) {
        if (w.direct) rebuild_legend(s.layout);
        SetCtrlAttribute(sc_handle, SCHART_X_END, ATTR_VISIBLE, s.graph_kind ? 0 : 1);
        SetCtrlAttribute(sc_handle, SCHART_X_START, ATTR_VISIBLE, s.graph_kind ? 0 : 1);
        SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_VISIBLE, s.graph_kind ? 0 : 1);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_VISIBLE, s.graph_kind ? 1 : 0);
        SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_VISIBLE, 0);
    }
    remembered_saved = s.layout.saved;
    // Channels not chosen: their strip-chart traces hidden, their legend items gone.
    int k = 0;
    for (int ch = 1; ch <= s.layout.channels; ++ch) {
        if (!(s.layout.mask & (1u << (ch - 1)))) continue;
        if (!s.show[ch]) {
            SetTraceAttribute(sc_handle, SCHART_STRIP, s.layout.saved - k, ATTR_TRACE_VISIBLE, 0);
            int at = -1;
            if (legend_panel > 0 && GetIndexFromValue(legend_panel, LEGEND_CHANNELS, &at, ch) >= 0 && at >= 0)
                DeleteListItem(legend_panel, LEGEND_CHANNELS, at, 1);
        }
        ++k;
    }
    try {
        allocate_run_buffers(s);
    } catch (const std::bad_alloc&) {
        EXIT_NOW("NULL pointer returned");
        return false;
    }
    SetCtrlVal(sc_handle, SCHART_TIME, s.record.time);
    SetCtrlVal(sc_handle, SCHART_DATE, s.record.date);
    SetCtrlVal(sc_handle, SCHART_SYSTEM, s.record.system_id);
    if (s.output < OUT_OVERLAY) SetCtrlVal(sc_handle, SCHART_COMMENT, s.record.comment);

    if (s.retest && s.item_run > 0) {
        if (whole && s.record.complete != 0 && s.record.complete != -3)
            if (delete_db_records(hdbc, s.record.run, '=', 2, -1) == 1) s.stop_all = true;
        if (s.record.complete == 0) set_complete(s.record.run, -1);
        if (s.record.complete == -3) set_complete(s.record.run, -4);
    }
    for (s.wafer = s.first_wafer; s.wafer <= s.last_wafer && !s.stop_all; ++s.wafer) {
        play_wafer(s, w, whole);
        int toggle = 0;
        GetCtrlVal(sc_handle, SCHART_PLAY, &toggle);
        if (!toggle || !s.plot_ok) break;
    }
    s.raw.clear();
    s.scaled.clear();
    s.xs.clear();
    s.ys.clear();
    if (s.graph_kind) SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_PLOT_BGCOLOR, STATUS_WHITE);
    int toggle = 0;
    GetCtrlVal(sc_handle, SCHART_PLAY, &toggle);
    return toggle && s.plot_ok && !s.stop_all;
}

void set_graph_axes(PlaybackState& s)
{
    // With nothing plotted there is no x range to show: the axis stays as it was.
    const bool plotted = s.plots_made > 0;
    double xmin = s.x_min, xmax = s.output == OUT_MANUAL_X ? s.x_max_entered : s.largest_x;
    int xdiv = 10, xprec = 1;
    if (plotted || s.output == OUT_MANUAL_X) {
        auto_axis(&xmin, &xmax, &xdiv, &xprec);
        SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_XAXIS, VAL_MANUAL, xmin, xmax);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_XDIVISIONS, xdiv);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_XPRECISION, xprec);
    }
    if (view_preference == 18) {
        double ymin = get_put_number(0, 1, NUMBER_T_READ, 0.0), ymax = get_put_number(1, 1, NUMBER_T_READ, 0.0);
        if (!(ymin < ymax)) ymax = ymin + 500.0;
        int ydiv = 10, yprec = 1;
        auto_axis(&ymin, &ymax, &ydiv, &yprec);
        SetAxisRange(sc_handle, SCHART_PLAYBACK, VAL_NO_CHANGE, 0.0, 0.0, VAL_MANUAL, ymin, ymax);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_YDIVISIONS, ydiv);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_YPRECISION, yprec);
    }
    if (RefreshGraph(sc_handle, SCHART_PLAYBACK) < 0)
        MessagePopup("Plot Error", "Out of memory.  Please exit program and re-try with less data points.");
    if (plotted) {
        int ydiv = 10, yprec = 1;
        GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_YDIVISIONS, &ydiv);
        GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_YPRECISION, &yprec);
        setPlaybackLimits(xmin, xmax, s.y_small, s.y_large);
        int mode = 0;
        double ylo = 0, yhi = 0;
        GetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_LEFT_YAXIS, &mode, &ylo, &yhi);
        setRestoreLimits(ylo, yhi);
        setRestoreSteps(xdiv, xprec, ydiv, yprec);
    }
    SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, 0);
}

void back_to_idle()
{
    SetCtrlVal(sc_handle, SCHART_PLAY, 0);
    SetCtrlVal(sc_handle, SCHART_PAUSE, 0);
    dim_controls(0);
}

int run_command(int panel)
{
    const bool direct = panel <= 0;
    PlaybackState s;
    s.direct = direct;
    s.panel = panel;
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_POINTS_PER_SCREEN, &s.points_per_screen);
    dim_controls(1);
    ClearStripChart(sc_handle, SCHART_STRIP);
    Walk w{panel, direct, 1};
    if (!direct) {
        GetNumListItems(panel, SC_SEL_RUNS, &w.items);
        GetNumCheckedItems(panel, SC_SEL_RUNS, &s.checked);
        if (s.checked == 0) {
            MessagePopup("Playback Error", "No runs have been selected.");
            return 1;
        }
        GetCtrlVal(panel, SC_SEL_DESTINATION, &s.output);
        if (s.output == OUT_TEXT_TIMED) {
            s.output = OUT_TEXT;
            s.time_column = true;
        }
        if (s.output == OUT_NONE) {
            HidePanel(panel);
        } else {
            int ring = 0;
            GetCtrlIndex(panel, SC_SEL_DESTINATION, &ring);
            get_put_number(6, 0, NUMBER_T_WRITE, ring);
        }
        GetCtrlVal(panel, SC_SEL_OPTION_B, &s.retest);
        GetCtrlVal(panel, SC_SEL_OPTION_A, &s.summary);
        if (s.output == OUT_TEXT && s.checked > 1) {
            MessagePopup("Convert to Text Error", "Can only convert one run at a time to text.");
            return 1;
        }
    } else {
        s.checked = 1;
        SetCtrlVal(sc_handle, SCHART_PLAY, 1);
        s.output = on_time_chart_point ? OUT_OVERLAY_18 : OUT_OVERLAY;
    }
    s.list_path = playback_list_path();
    bool clear = true;
    if (s.output == OUT_OVERLAY || s.output == OUT_OVERLAY_18) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        const int answer = GenericMessagePopup("Strip Chart Playback",
                                               "Do you want to add data to the current chart or create a new chart?",
                                               "Add to current chart", "Create a new chart", "Cancel", nullptr, 0, 1, 3);
        if (answer == 1) {
            s.add_flag = 2;
            clear = false;
            // Added to an empty graph: whatever the list still names (acquisition's wafers, a summary's traces)
            // is not on the chart, so it is not printed either.
            if (GraphInfoEntries == 0) (void)vsys::delete_file_if_present(s.list_path);
        } else if (answer != 2) {
            back_to_idle();
            return 1;
        }
    }
    if (clear) {
        DeleteGraphPlot(sc_handle, SCHART_PLAYBACK, -1, VAL_IMMEDIATE_DRAW);
        GraphInfo.clear();
        GraphInfo.shrink_to_fit();
        GraphInfoEntries = 0;
        (void)vsys::delete_file_if_present(s.list_path);
    }
    for (int c : {SCHART_WAFER, SCHART_TRACE_ID, SCHART_TIME, SCHART_DATE, SCHART_SYSTEM}) SetCtrlVal(sc_handle, c, "");
    std::string choice;
    GetCtrlVal(sc_handle, SCHART_PLAY_STATE, &choice);
    short all = 0;
    unsigned chosen = 0;
    if (std::sscanf(choice.c_str(), "%hd %*u %u", &all, &chosen) < 1) all = 0;
    for (int ch = 1; ch <= 32; ++ch) s.show[ch] = all || (chosen & (1u << (ch - 1))) ? 1 : 0;

    s.graph_kind = !(s.output == OUT_STRIP || s.output == OUT_NONE);
    view_preference = s.output == OUT_OVERLAY_18 ? 18 : 0;
    if (s.output == OUT_TEXT) {
        const std::string folder = vsys::path_join(vt_dir, "textFiles");
        (void)vsys::ensure_directory(folder);
        std::string path;
        const int picked = FileSelectPopup(folder.c_str(), "text", "", "Please enter a text file name.",
                                           VAL_SAVE_BUTTON, 0, 0, 1, 1, &path);
        if (picked <= 0) return 1;
        s.text_path = path;
    }
    if (s.output == OUT_STRIP) create_play_buttons(s);
    SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, s.graph_kind ? 1 : 0);
    if (s.graph_kind) SetCtrlVal(sc_handle, SCHART_PLAY_INFO, "Please wait while the data is retrieved...");
    for (int ch = 1; ch <= 32; ++ch)
        s.colours[ch] = round_to_int(get_put_number(4, static_cast<short>(ch), NUMBER_T_READ,
                                                    get_default_color(static_cast<short>(ch)))) &
                        0xFFFFFF;
    if (s.output == OUT_MANUAL_X) {
        int lo = 0, hi = 0;
        while (true) {
            if (!ask_seconds("Please enter, in seconds, the x axis minimum.", lo) ||
                !ask_seconds("Please enter, in seconds, the x axis maximum.", hi)) {
                back_to_idle();
                return 1;
            }
            if (hi > lo) break;
            MessagePopup("Input Error", "The x axis maximum must be above its minimum.");
        }
        s.x_min = lo;
        s.x_max_entered = hi;
    }
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_REFRESH_GRAPH, 0);
    for (int c : {SCHART_DATE, SCHART_TIME, SCHART_SYSTEM, SCHART_TRACE_ID, SCHART_WAFER}) SetCtrlAttribute(sc_handle, c, ATTR_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, SCHART_PLAY_RUN, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, SCHART_PLAY_WAFER, ATTR_VISIBLE, 0);
    SetCtrlVal(sc_handle, SCHART_COMMENT, "");
    if (s.retest) {
        // One real-time test window: an open one is reused.
        if (realtime_panel <= 0) realtime_panel = LoadPanel(sc_handle, "realtime.uir", REALTIME);
        if (list_panel > 0) {
            DiscardMyPanel(&list_panel);
            list_panel = -1;
        }
    }
    int remembered_saved = saved_channels;
    const bool forward = s.output >= OUT_OVERLAY;
    for (int i = forward ? 0 : w.items - 1; i >= 0 && i < w.items;) {
        if (!play_item(s, w, i, remembered_saved)) break;
        i += forward ? 1 : -1;
    }
    if (!s.plot_ok) {
        EXIT_NOW(vsys::strprintf("Plot Error.  Out of memory at t = %.0lf sec.  Program will now exit.  Please reduce "
                                 "the number of data points by changing the Playback Destination to Strip Chart or "
                                 "Strip Chart with Manual X Scale.",
                                 s.fail_x)
                     .c_str());
        if (s.output == OUT_STRIP) discard_play_buttons(s);
        return 0;
    }
    if (s.graph_kind) set_graph_axes(s);
    if (s.summary && !direct) Summarize(panel, 0);
    SetCtrlVal(sc_handle, SCHART_PLAY, 0);
    SetCtrlVal(sc_handle, SCHART_PAUSE, 0);
    recipe_num = current_process();
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
    if (!direct) {
        int handle = panel;
        DiscardMyPanel(&handle);
    }
    if (s.output == OUT_STRIP) discard_play_buttons(s);
    dim_controls(0);
    return 0;
}

}  // namespace

int wafer_of_label(const std::string& label)
{
    auto word = [&](int n) {
        // The n-th word (1-based) with its first character blanked.
        std::size_t at = 0;
        std::string w;
        for (int i = 0; i < n; ++i) {
            at = label.find_first_not_of(" \t", at);
            if (at == std::string::npos) return 0;
            const std::size_t end = label.find_first_of(" \t", at);
            w = label.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? label.size() : end;
        }
        if (!w.empty()) w[0] = ' ';
        return std::atoi(w.c_str());
    };
    int wafer = 1;
    if (label.find("Cassette slot #") != std::string::npos) wafer = word(3);
    if (label.find("Trigger #") != std::string::npos) wafer = word(2);
    return wafer;
}

int select_ok(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || sc_handle <= 0) return 0;
    LongCommand guard("Playback");
    if (!guard.held()) return 1;
    return run_command(panel);
}

int play(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    // The toggle is the stop switch of a playback or summary that runs: it opens nothing then.
    if (LongCommand::running()) return 0;
    int on = 0;
    GetCtrlVal(sc_handle, SCHART_PLAY, &on);
    if (on) {
        SetCtrlVal(sc_handle, SCHART_PLAY_STATE, "FirstTime");
        select_sc_run(SEL_REPLAY);
    }
    return 0;
}

void menu_summary(int, int, void*, int)
{
    if (sc_handle <= 0) return;
    if (LongCommand::running()) {
        LongCommand refused("Test Summary");
        return;
    }
    SetCtrlVal(sc_handle, SCHART_PLAY, 1);
    select_sc_run(SEL_SUMMARY);
}

int all_or_some(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int index = 0, count = 0;
    GetCtrlIndex(panel, control, &index);
    GetNumListItems(panel, control, &count);
    if (index > 0) {
        CheckListItem(panel, control, 0, 0);
    } else if (index == 0) {
        for (int i = 1; i < count; ++i) CheckListItem(panel, control, i, 0);
    }
    view_hide_trace(panel);
    return 0;
}

int play_chart_point(int run, int wafer, bool at_once, bool on_time_chart)
{
    if (sc_handle <= 0) return 1;
    on_time_chart_point = on_time_chart;
    const RunRecord record = look_up_run(hdbc, run);
    run_num = run;
    num_of_wafers = wafer;
    char name[33] = "";
    copy_bounded(name, record.recipe.c_str(), 32);
    right_text_trim(name);
    get_put_char(hdbc, 1, 0, PROCESS_BY_NAME, name);
    if (std::strcmp(name, "Not Found") != 0) recipe_num = std::atoi(name);
    SetCtrlVal(sc_handle, SCHART_PLAY_STATE, vsys::strprintf("1 %u %u", record.channels.mask, record.channels.mask));
    if (at_once) return select_ok(-1, 0, EVENT_COMMIT, nullptr, 0, 0);
    return select_channels(-1, 0, EVENT_COMMIT, nullptr, 0, 0);
}
