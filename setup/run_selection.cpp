// The run selection panel in its replay, summary and process-of-record uses, the run read-out and the playback channel choice.
#include "setup/run_selection.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/run_lookup.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "panels/playback.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "setup/por_trace.h"
#include "setup/setup_files.h"
#include "setup/setup_seams.h"

namespace {

constexpr const char* kColumn30 = "\033p30l";
constexpr const char* kColumn60 = "\033p60l";

std::string label_at(int panel, int index)
{
    std::string label;
    GetLabelFromIndex(panel, SC_SEL_RUNS, index, &label);
    return label;
}

int value_at(int panel, int index)
{
    int value = 0;
    GetValueFromIndex(panel, SC_SEL_RUNS, index, &value);
    return value;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool can_read(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

// The process number of a process name, or -1 when the name is not a process.
int process_of(const std::string& name)
{
    char text[33];
    copy_bounded(text, name.c_str(), 32);
    right_text_trim(text);
    get_put_char(hdbc, 0, 0, PROCESS_BY_NAME, text);
    if (std::strcmp(text, "Not Found") == 0) return -1;
    int number = -1;
    if (std::sscanf(text, "%d", &number) != 1) return -1;
    return number;
}

// Widens the playback channel choice by the channels a run recorded.
void offer_channels(std::uint32_t mask)
{
    if (sc_handle <= 0) return;
    std::string choice;
    if (GetCtrlVal(sc_handle, SCHART_PLAY_STATE, &choice) < 0) return;
    if (choice == "FirstTime") {
        SetCtrlVal(sc_handle, SCHART_PLAY_STATE, vsys::strprintf("1 %u %u", mask, mask));
        return;
    }
    short all = 0;
    unsigned offered = 0, chosen = 0;
    std::sscanf(choice.c_str(), "%hd %u %u", &all, &offered, &chosen);
    offered |= mask;
    SetCtrlVal(sc_handle, SCHART_PLAY_STATE, vsys::strprintf("%hd %u %u", all, offered, chosen));
}

// Double click: a collapsed run ("+") shows its wafers whose trace files exist, newest first.
void expand_run(int panel)
{
    int index = 0;
    if (GetCtrlIndex(panel, SC_SEL_RUNS, &index) < 0 || index < 0) return;
    std::string label = label_at(panel, index);
    if (label.empty() || label[0] != '+') return;
    const int run = value_at(panel, index);
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    const RunRecord record = look_up_run(hdbc, run);
    label[0] = '-';
    ReplaceListItem(panel, SC_SEL_RUNS, index, label.c_str(), run);
    CheckListItem(panel, SC_SEL_RUNS, index, 0);
    int at = index + 1;
    for (int w = record.wafers; w >= 1; --w) {
        if (!can_read(wafer_trace_path(vt_dir, run, w))) continue;
        InsertListItem(panel, SC_SEL_RUNS, at++, vsys::strprintf("%sTrigger #%i", kColumn60, w).c_str(), run);
    }
    SetMouseCursor(VAL_DEFAULT_CURSOR);
}

// An expanded run selected again folds its wafers back in.
void collapse_run(int panel, int index, int run)
{
    std::string label = label_at(panel, index);
    if (label.empty() || label[0] != '-') return;
    label[0] = '+';
    ReplaceListItem(panel, SC_SEL_RUNS, index, label.c_str(), run);
    int count = 0;
    GetNumListItems(panel, SC_SEL_RUNS, &count);
    int last = index + 1;
    while (last < count && value_at(panel, last) == run) ++last;
    if (last > index + 1) DeleteListItem(panel, SC_SEL_RUNS, index + 1, last - index - 1);
    SetCtrlIndex(panel, SC_SEL_RUNS, index);
}

void read_out(int panel)
{
    short mode = 0;
    GetCtrlVal(panel, SC_SEL_MODE, &mode);
    int index = 0;
    if (GetCtrlIndex(panel, SC_SEL_RUNS, &index) < 0 || index < 0) return;
    const int run = value_at(panel, index);
    const std::string label = trimmed(label_at(panel, index));
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    if (is_endpoint_label(label.c_str())) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return;
    }
    // A local record: browsing runs leaves the process's own setup in memory.
    const RunRecord record = look_up_run(hdbc, run);
    offer_channels(record.channels.mask);

    int wafer_limit = record.wafers;
    std::string trace;
    if (run < 0) {
        SetCtrlAttribute(panel, SC_SEL_NWAFERS, ATTR_LABEL_TEXT, "Trigger #");
        wafer_limit = -1;
        trace = por_trace_path(vt_dir, -run);
    } else {
        SetCtrlAttribute(panel, SC_SEL_NWAFERS, ATTR_LABEL_TEXT, "Triggers in run");
        int wafer = 1;
        if (label.find("Trigger #") != std::string::npos) std::sscanf(label.c_str(), "%*[^#]%*c%d", &wafer);
        trace = wafer_trace_path(vt_dir, run, wafer);
    }
    std::string time = "NA", date = "NA";
    if (std::FILE* f = std::fopen(trace.c_str(), "rb")) {
        if (auto header = read_trace_header(f)) {
            time = header->fields >= 1 ? colon_time(header->time) : record.time;
            date = header->fields >= 2 ? header->date : record.date;
        } else {
            time = record.time;
            date = record.date;
        }
        std::fclose(f);
    }
    SetCtrlVal(panel, SC_SEL_DATE, date);
    SetCtrlVal(panel, SC_SEL_TIME, time);
    SetCtrlVal(panel, SC_SEL_NWAFERS, record.wafers);
    SetCtrlVal(panel, SC_SEL_RATE, record.rate_index < 0 ? -record.rate_index : record.rate_index);
    SetCtrlAttribute(panel, SC_SEL_RATE, ATTR_LABEL_TEXT, record.rate_index < 1 ? "Sec./Sample" : "Samples/Sec.");
    SetCtrlVal(panel, SC_SEL_SYSTEM, record.system_id);

    if (mode == SEL_REPLAY) collapse_run(panel, index, run);
    if (mode == SEL_POR) {
        ClearListCtrl(panel, SC_SEL_WAFERS);
        for (int w = 1; w <= wafer_limit && w <= 999; ++w)
            if (can_read(wafer_trace_path(vt_dir, run, w)))
                InsertListItem(panel, SC_SEL_WAFERS, -1, vsys::strprintf("%i", w).c_str(), w);
    }
    SetCtrlVal(panel, SC_SEL_NCHANNELS, static_cast<int>(record.channels.saved));
    SetCtrlVal(panel, SC_SEL_PROCESS, record.recipe);
    ResetTextBox(panel, SC_SEL_COMMENT, record.comment.c_str());
    SetMouseCursor(VAL_DEFAULT_CURSOR);
}

// OK of the replay and summary uses: the playback takes the chosen runs.
int replay_ok(int panel, int control, int event, void* data, int d1, int d2)
{
    if (event != EVENT_COMMIT) return 0;
    return setup_seams().select_ok(panel, control, event, data, d1, d2);
}

struct DestinationItem {
    const char* label;
    int value;
};
constexpr DestinationItem kDestinations[] = {
    {"Strip Chart", 7},
    {"Strip Chart with Manual X Scale", 5},
    {"Strip Chart with Auto X Scale", 3},
    {"Strip Chart Overlay with Auto X Scale", 8},
    {"Text File (traces only)", -1},
    {"Text File (time and traces)", -20},
    {"None", -2},
};

}  // namespace

void reload_process_setup()
{
    char text[33] = "";
    get_put_char(hdbc, 0, 5, CONFIG_READ, text);
    int number = 0;
    if (std::sscanf(text, "%d", &number) == 1) recipe_num = number;
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
}

bool is_endpoint_label(const char* text)
{
    const char* first = std::strstr(text, "EP");
    return first && std::strlen(first) == 2;
}

int select_sc_run(short mode)
{
    saveAllAndExport(0);
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    DbStatement s(hdbc,
                  "SELECT RUN_NUM, TRACE_ID, NUM_WAF FROM VT_INFO WHERE TRACE_DEL = 0 AND RUN_NUM > 0 ORDER BY "
                  "SAV_DATE DESC, SAV_TIME DESC");
    int run = 0, wafers = 0;
    char trace[33] = "";
    long st1 = 0, st2 = 0, st3 = 0;
    if (s.ok()) {
        if (DBBindColInt(s.handle(), 1, &run, &st1) < 0 || DBBindColChar(s.handle(), 2, 33, trace, &st2, "") < 0 ||
            DBBindColInt(s.handle(), 3, &wafers, &st3) < 0)
            ShowError();
    }
    if (!s.ok() || DBFetchNext(s.handle()) != 0) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        MessagePopup("", "No data files have been saved yet.");
        if (sc_handle > 0) SetCtrlVal(sc_handle, SCHART_PLAY, 0);
        return 0;
    }
    const int panel = LoadPanel(parent_panel > 0 ? parent_panel : 0, "sc_sel.uir", SC_SEL);
    if (panel < 0) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return 0;
    }
    SetCtrlAttribute(panel, SC_SEL_HIDDEN, ATTR_VISIBLE, 0);
    SetCtrlVal(panel, SC_SEL_MODE, mode);
    // Process 0 has no process of record: its entry's value (-0) would read as a run number.
    if (mode == SEL_REPLAY && recipe_num > 0) {
        auto size = vsys::file_size(por_trace_path(vt_dir, recipe_num));
        if (size && *size > 100) {
            char name[33] = "";
            get_put_char(hdbc, 1, recipe_num, CONFIG_READ, name);
            InsertListItem(panel, SC_SEL_RUNS, -1, vsys::strprintf("%s POR", name).c_str(), -recipe_num);
        }
    }
    do {
        std::string label;
        if (mode == SEL_POR)
            label = trace;
        else
            label = vsys::strprintf("%s%s%s", wafers >= 2 ? "+" : "", kColumn30, trace);
        InsertListItem(panel, SC_SEL_RUNS, -1, label.c_str(), run);
    } while (DBFetchNext(s.handle()) == 0);
    if (s.close() < 0) ShowError();

    if (mode == SEL_REPLAY || mode == SEL_SUMMARY) {
        SetCtrlVal(panel, SC_SEL_INSTRUCT, mode == SEL_REPLAY ? "Click on OK after selecting Trace IDs to replay."
                                                              : "Click on OK after selecting Trace IDs to summarize.");
        SetCtrlAttribute(panel, SC_SEL_RUNS, ATTR_CHECK_MODE, 1);
        SetCtrlIndex(panel, SC_SEL_RUNS, 0);
        ClearListCtrl(panel, SC_SEL_DESTINATION);
        if (mode == SEL_REPLAY) {
            for (const auto& d : kDestinations) InsertListItem(panel, SC_SEL_DESTINATION, -1, d.label, d.value);
        } else {
            InsertListItem(panel, SC_SEL_DESTINATION, -1, "None", -2);
            SetCtrlIndex(panel, SC_SEL_OPTION_A, 1);
        }
        SetCtrlAttribute(panel, SC_SEL_WAFERS, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, SC_SEL_RUNS, ATTR_WIDTH, 375);
        SetCtrlAttribute(panel, SC_SEL_RUNS, ATTR_LABEL_TEXT, "Trace ID");
        if (mode == SEL_REPLAY) {
            int stored = static_cast<int>(get_put_number(6, 0, NUMBER_T_READ, 0.0));
            int count = 0;
            GetNumListItems(panel, SC_SEL_DESTINATION, &count);
            if (stored >= 0 && stored < count) SetCtrlIndex(panel, SC_SEL_DESTINATION, stored);
            // Only a replay shows a choice of channels.
            SetCtrlAttribute(panel, SC_SEL_CHOOSE_CHANNELS, ATTR_VISIBLE, 1);
        } else {
            for (int c : {SC_SEL_OPTION_A, SC_SEL_OPTION_B, SC_SEL_DESTINATION}) SetCtrlAttribute(panel, c, ATTR_VISIBLE, 0);
            SetCtrlAttribute(panel, SC_SEL_WAFERS, ATTR_CHECK_MODE, 0);
        }
        InstallCtrlCallback(panel, SC_SEL_OK, replay_ok, nullptr);
    } else {
        SetCtrlVal(panel, SC_SEL_INSTRUCT, "Click on OK after selecting the new PROCESS OF RECORD.");
        InstallCtrlCallback(panel, SC_SEL_OK, new_por, nullptr);
        for (int c : {SC_SEL_OPTION_A, SC_SEL_OPTION_B, SC_SEL_DESTINATION}) SetCtrlAttribute(panel, c, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, SC_SEL_WAFERS, ATTR_CHECK_MODE, 0);
        SetPanelAttribute(panel, ATTR_TITLE, "Select PROCESS OF RECORD");
        InsertListItem(panel, SC_SEL_WAFERS, -1, "ALL", -1);
    }
    get_run_info(panel, -1, EVENT_COMMIT, nullptr, 0, 0);
    InstallPopup(panel);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return panel;
}

int get_run_info(int panel, int, int event, void*, int, int)
{
    if (event == EVENT_LEFT_DOUBLE_CLICK) {
        short mode = 0;
        GetCtrlVal(panel, SC_SEL_MODE, &mode);
        if (mode == SEL_REPLAY || mode == SEL_SUMMARY) expand_run(panel);
        return 0;
    }
    if (event != EVENT_COMMIT && event != EVENT_VAL_CHANGED) return 0;
    read_out(panel);
    return 1;
}

int cancel_replay(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (sc_handle > 0) SetCtrlVal(sc_handle, SCHART_PLAY, 0);
    reload_process_setup();
    // Every control the playback command dims stays dimmed while its selection is open (an OK refused for want
    // of a run leaves them so): Cancel gives them all back.
    if (sc_handle > 0)
        for (int ctrl : {SCHART_START, SCHART_AXES, SCHART_EXIT, SCHART_PAUSE})
            SetCtrlAttribute(sc_handle, ctrl, ATTR_DIMMED, 0);
    int handle = panel;
    DiscardMyPanel(&handle);
    return 0;
}

int select_channels(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    // The run's own mask and its process's channel names; the current process stays loaded.
    const RunRecord record = look_up_run(hdbc, run_num);
    const int process = process_of(record.recipe);
    const int choice = LoadPanel(0, "playback.uir", CHOOSE);
    if (choice < 0) return 0;
    if (panel == -1) SetCtrlVal(choice, CHOOSE_START, 1);
    short all = 0;
    unsigned offered = 0, chosen = 0;
    std::string text;
    if (sc_handle > 0) GetCtrlVal(sc_handle, SCHART_PLAY_STATE, &text);
    std::sscanf(text.c_str(), "%hd %u %u", &all, &offered, &chosen);
    InsertListItem(choice, CHOOSE_CHANNELS, 0, "ALL", 0);
    CheckListItem(choice, CHOOSE_CHANNELS, 0, all ? 1 : 0);
    const int keep = recipe_num;
    if (process >= 0) recipe_num = process;
    for (int ch = 1; ch <= 32; ++ch) {
        const std::uint32_t bit = 1u << (ch - 1);
        if (!(record.channels.mask & bit) && !(offered & bit)) continue;
        char name[33] = "";
        get_put_char(hdbc, 28, ch, TAGS_READ, name);
        int index = 0;
        GetNumListItems(choice, CHOOSE_CHANNELS, &index);
        InsertListItem(choice, CHOOSE_CHANNELS, -1, name, ch);
        if ((chosen & bit) && !all) CheckListItem(choice, CHOOSE_CHANNELS, index, 1);
    }
    recipe_num = keep;
    InstallPopup(choice);
    return 0;
}

int channel_ok(int panel, int, int event, void* data, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int all = 0, count = 0;
    IsListItemChecked(panel, CHOOSE_CHANNELS, 0, &all);
    GetNumListItems(panel, CHOOSE_CHANNELS, &count);
    unsigned offered = 0, chosen = 0;
    for (int i = 1; i < count; ++i) {
        int ch = 0, checked = 0;
        GetValueFromIndex(panel, CHOOSE_CHANNELS, i, &ch);
        IsListItemChecked(panel, CHOOSE_CHANNELS, i, &checked);
        if (ch < 1 || ch > 32) continue;
        offered |= 1u << (ch - 1);
        if (checked) chosen |= 1u << (ch - 1);
    }
    if (sc_handle > 0)
        SetCtrlVal(sc_handle, SCHART_PLAY_STATE,
                   vsys::strprintf("%hd %u %u", static_cast<short>(all), offered, chosen));
    int start = 0;
    GetCtrlVal(panel, CHOOSE_START, &start);
    int handle = panel;
    DiscardMyPanel(&handle);
    if (start == 1) setup_seams().select_ok(-1, 0, EVENT_COMMIT, data, 0, 0);
    return 0;
}
