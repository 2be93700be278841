// Arming and disarming acquisition: every check and preparation before buffered input starts, and the way back.
#include "acquisition/start_stop.h"

#include <cstdlib>
#include <new>
#include <cstring>
#include <optional>

#include "acquisition/acquisition_seams.h"
#include "acquisition/axes.h"
#include "acquisition/daq_loop.h"
#include "acquisition/main_window.h"
#include "acquisition/run_model.h"
#include "board/board_api.h"
#include "board/board_setup.h"
#include "board/tc_calibration.h"
#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/errors.h"
#include "core/run_table.h"
#include "core/schema.h"
#include "core/shared_buffers.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "panels/realtime.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/sys/timing.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"

#ifndef VANTREL_REVIEW
namespace {

constexpr int kUndimmedAtStop[] = {MENUBAR_CONFIGURE_COLORS_LOAD_COLORS, MENUBAR_FILE, MENUBAR_CONFIGURE_TRIGGERS,
                                   MENUBAR_CONFIGURE_ACQUISITION_RATE, MENUBAR_FILE_RECORD_DATA, MENUBAR_FILE_SAVE,
                                   MENUBAR_FILE_OPEN, MENUBAR_CHARTS, MENUBAR_CONFIGURE_SYSTEM_NAME,
                                   MENUBAR_CONFIGURE_COLORS_DEFAULT_COLORS};

void toggle_off() { SetCtrlVal(sc_handle, SCHART_START, 0); }

// The board reads its own copy of the setup.
void copy_board_setup()
{
    auto& b = vboard::board_setup();
    b.channels = channels > 32 ? 32 : channels;
    b.channel_status_bits = VantrelChannelStatusBits;
    b.sample_rate = sample_rate < 1 ? 1 : sample_rate;
    for (int c = 0; c <= 32; ++c) {
        b.channel_type[c] = channel_type[c];
        b.channel_slope[c] = channel_slope[c];
        b.channel_inter[c] = channel_inter[c];
    }
}

bool channel_enabled(int channel)
{
    return channel >= 1 && channel <= channels && channel <= 32 && (VantrelChannelStatusBits & (1u << (channel - 1)));
}

void set_running_controls(bool running)
{
    if (running) {
        for (int item : kDimmedWhileRunning) SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 1);
    } else {
        for (int item : kUndimmedAtStop) SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 0);
    }
    SetCtrlAttribute(sc_handle, SCHART_PLAY, ATTR_DIMMED, running ? 1 : 0);
    SetCtrlAttribute(sc_handle, SCHART_AXES, ATTR_DIMMED, running ? 1 : 0);
}

void trigger_notice()
{
    if (trigger == 1)
        MessagePopup("", "Data collection will begin when Data Collection 1 trigger is true.");
    else if (trigger == 2)
        MessagePopup("", "Data collection will begin when Data Collection 1 and 2 triggers are true.");
}

void close_stored_data_windows()
{
    for (int* p : {&spc_panel, &list_panel, &spc_chart_selections, &compare_panel})
        if (*p > 0) DiscardMyPanel(p);
    free_mem();
    por_free_mem();
    menu_tile(MENUBAR, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
}

// Pending setup changes are saved and the board is found; false (toggle off) when either fails.
bool save_setup_and_find_board()
{
    // Acquisition records with the saved setup: it does not start when that cannot be saved.
    const auto& save_setup = acquisition_seams().saveAllAndExport;
    if (!save_setup.ready()) {
        toggle_off();
        return false;
    }
    save_setup(0);
    copy_board_setup();
    if (VantrelInitialize() != 0) {
        toggle_off();
        return false;
    }
    return true;
}

// The strip chart starts empty at x = 0, with its span in the x labels.
void clear_strip_chart_for_start()
{
    DeleteGraphPlot(sc_handle, SCHART_PLAYBACK, -1, VAL_IMMEDIATE_DRAW);
    GraphInfo.clear();
    GraphInfoEntries = 0;
    daqbuf = 0;
    transfer_error = 0;
    aok(-1, 1, EVENT_COMMIT, nullptr, 1, 1);
    SetCtrlVal(sc_handle, SCHART_X_START, "0");
    const int span = sample_rate_index > 0 ? sc_points / (sample_rate < 1 ? 1 : sample_rate)
                                           : sc_points * std::abs(sample_rate_index);
    SetCtrlVal(sc_handle, SCHART_X_END, vsys::strprintf("%i", span).c_str());
    daq_tick_count = -1;
    strip_x_position = 0;
}

// Counts the enabled channels and reads whether data are recorded.
void count_channels_and_recording()
{
    int enabled = 0;
    for (int c = 1; c <= channels && c <= 32; ++c)
        if (VantrelChannelStatusBits & (1u << (c - 1))) ++enabled;
    saved_channels = static_cast<std::uint8_t>(enabled);
    int checked = 1;
    if (GetMenuBarAttribute(handle_menu, MENUBAR_FILE_RECORD_DATA, ATTR_CHECKED, &checked) < 0) checked = 1;
    save = checked ? 1 : 0;
}

// No channel, or a trigger on a channel that is not recorded: the start is refused.
// Returns the start's result when refused.
std::optional<int> refuse_without_channels()
{
    if (saved_channels == 0) {
        toggle_off();
        MessagePopup("Setup error",
                     "No channels have been selected.  Please turn on at least one input channel (see Channel Setup "
                     "under the Configure menu bar).");
        close_stored_data_windows();
        trigger_notice();
        MessagePopup("DAQ Error", "Cannot start data collection");
        return 0;
    }
    // The loop reads the trigger channels' places in each scan: a channel that
    // is not recorded has none.
    if ((trigger >= 1 && !channel_enabled(trig_ch)) || (trigger >= 2 && !channel_enabled(trig_2_ch))) {
        toggle_off();
        MessagePopup("Trigger Error",
                     "A trigger condition uses a channel that is not enabled.  Please choose an enabled channel "
                     "(see Triggers under the Configure menu bar).");
        return -1;
    }
    return std::nullopt;
}

bool allocate_scaled_data()
{
    try {
        global_scaled_data.assign(static_cast<std::size_t>(saved_channels) * static_cast<std::size_t>(sample_rate), 0.0);
    } catch (const std::bad_alloc&) {
        SetWaitCursor(0);
        MessagePopup("Start Error", "Out of memory.");
        toggle_off();
        return false;
    }
    return true;
}

// The system and process the run records under, and the controls of a running acquisition.
void name_the_run()
{
    get_put_char(hdbc, 0, 0, CONFIG_READ, start_systemID_a);
    get_put_char(hdbc, 1, recipe_num, CONFIG_READ, recipe_name);
    names(-1, 0, 0, 1);
    if (char* p = std::strstr(recipe_name, "PRECOAT")) *p = '\0';
    right_text_trim(recipe_name);
    if (recipe_name[0] == '\0') copy_bounded(recipe_name, "INVALID RECIPE", 32);
    SetCtrlAttribute(sc_handle, SCHART_X_START, ATTR_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, SCHART_X_END, ATTR_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR, 0x00FF00);
    SetCtrlAttribute(sc_handle, SCHART_CURSORS, ATTR_VISIBLE, 0);
    check_tables(&hdbc);
    for (int ctrl : {SCHART_DATE, SCHART_TIME, SCHART_TRACE_ID, SCHART_COMMENT, SCHART_SYSTEM})
        SetCtrlAttribute(sc_handle, ctrl, ATTR_VISIBLE, save != 0 ? 1 : 0);
    SetCtrlAttribute(sc_handle, SCHART_WAFER, ATTR_VISIBLE, 1);
}

// Recording needs the run table: without it the next run number is unknown and old traces are at risk.
bool refuse_without_run_table()
{
    if (save == 0) return false;
    const std::string problem = run_table_problem();
    if (problem.empty()) return false;
    toggle_off();
    MessagePopup("DAQ Error", (problem + "  Data collection was not started.").c_str());
    return true;
}

// Recording starts a run row (and real-time testing its window); true when a row was inserted.
bool open_run(AcqContext& c)
{
    c.recipe = recipe_name;
    c.system_id = start_systemID_a;
    c.wafer = 1;
    if (save == 0) {
        c.run = 0;
        run_num = 0;
        return false;
    }
    startNewRun();
    if (!run_row_inserted()) return false;
    SetCtrlVal(sc_handle, SCHART_SYSTEM, start_systemID_a);
    if (current_file_index != -1) {
        current_file_index = 1;
        if (realtime_panel == -1) {
            int loaded = LoadPanel(sc_handle, "realtime.uir", REALTIME);
            realtime_panel = loaded > 0 ? loaded : -1;
        }
        realtime_wafer_counter = 1;
        realtime_run_counter = c.run;
    }
    return true;
}

// Undoes what the start did, so a failed start leaves no empty run behind.
void undo_failed_start(const AcqContext& c, bool inserted)
{
    MessagePopup("DAQ Error", "Cannot start data collection");
    toggle_off();
    global_scaled_data.clear();
    global_scaled_data.shrink_to_fit();
    VantrelKillBufferedAnalogIn();
    if (inserted) {
        const std::string sql = vsys::strprintf("DELETE FROM VT_INFO WHERE RUN_NUM = %i", c.run);
        if (DBImmediateSQL(hdbc, sql.c_str()) != 0) ShowError();
    }
    set_running_controls(false);
    SetCtrlAttribute(sc_handle, SCHART_COMMENT, ATTR_VISIBLE, 0);
    SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR, 0xFFFFFF);
}

int start_sequence()
{
    if (!save_setup_and_find_board()) return -1;
    clear_strip_chart_for_start();
    count_channels_and_recording();
    if (std::optional<int> refused = refuse_without_channels()) return *refused;
    if (refuse_without_run_table()) return -1;
    clear_recording_failure();
    close_stored_data_windows();
    trigger_notice();
    SetWaitCursor(1);
    if (!allocate_scaled_data()) return -1;
    name_the_run();

    capture_acquisition_setup();
    AcqContext& c = acq();
    const bool inserted = open_run(c);
    // A new run row resets the converter scale: the run records with the scale it has now.
    c.adc_bits = ADCBits == 1 ? 1 : 0;
    c.volts_per_count = BinaryToVoltage[c.adc_bits];
    ClearStripChart(sc_handle, SCHART_STRIP);
    for (auto& v : pedestal_ontime) v = 0;
    set_running_controls(true);
    SetWaitCursor(0);
    copy_board_setup();
    loadTcCalibration();
    if (VantrelStartBufferedAnalogIn(sample_rate) != 0) {
        undo_failed_start(c, inserted);
        return 0;
    }
    pPlayback = vsys::open_file(playback_list_path(), "w+");
    if (!pPlayback)
        MessagePopup("DAQ Error",
                     vsys::strprintf("Cannot write the playback list %s; the wafers of this run will not be listed.",
                                     playback_list_path().c_str())
                         .c_str());
    old_edge_test = 0;
    Flags &= static_cast<std::uint8_t>(~FLAG_TRIGGER_ACTIVE);
    c.active = true;
    Start();
    InstallCtrlCallback(sc_handle, SCHART_TIMER, DaqLoop, nullptr);
    if (recording_failed()) stop_after_failure();
    return 0;
}

void report_failure()
{
    const std::string cause = take_recording_failure();
    if (!cause.empty()) MessagePopup("DAQ Error", (cause + "  Data collection has been stopped.").c_str());
}

int stop_sequence()
{
    InstallCtrlCallback(sc_handle, SCHART_TIMER, IdleLoop, nullptr);
    VantrelKillBufferedAnalogIn();
    pPlayback.reset();
    global_scaled_data.clear();
    global_scaled_data.shrink_to_fit();
    SetWaitCursor(1);
    SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, 0);
    SetCtrlVal(sc_handle, SCHART_STATUS, 0);
    SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_LABEL_TEXT, "Status");
    AcqContext& c = acq();
    const bool was_recording = wafer_file_open();
    const bool waiting = c.trigger != 0 && !(Flags & FLAG_TRIGGER_ACTIVE);
    // After a failure to record, a wafer file without a block is no trace either.
    const bool empty = recording_failed() && wafer_blocks() == 0;
    Stop();
    if (was_recording && save != 0 && (waiting || empty)) {
        if (vsys::Result gone = discard_wafer_file(); !gone) MessagePopup("DAQ Error", gone.error.c_str());
        --c.wafer;
        num_of_wafers = c.wafer;
        if (c.wafer < 1 && run_row_inserted()) {
            const std::string sql = vsys::strprintf("DELETE FROM VT_INFO WHERE RUN_NUM = %i", c.run);
            if (DBImmediateSQL(hdbc, sql.c_str()) != 0 && !recording_failed()) ShowError();
        }
    }
    c.active = false;
    set_running_controls(false);
    SetMenuBarAttribute(handle_menu, MENUBAR_FILE_RECORD_DATA, ATTR_CHECKED, 1);
    SetWaitCursor(0);
    return 0;
}

}  // namespace
#endif

void end_acquisition_for_exit()
{
#ifndef VANTREL_REVIEW
    if (!acq().active || sc_handle <= 0) return;
    SetCtrlVal(sc_handle, SCHART_START, 0);
    SetCtrlAttribute(sc_handle, SCHART_COMMENT, ATTR_VISIBLE, 0);
    stop_sequence();
    // Nothing more is recorded after a failure: what was stored is what gets tested.
    test_wafers_left();
#endif
}

void stop_after_failure()
{
#ifndef VANTREL_REVIEW
    if (acq().active) {
        SetCtrlVal(sc_handle, SCHART_START, 0);
        SetCtrlAttribute(sc_handle, SCHART_COMMENT, ATTR_VISIBLE, 0);
        stop_sequence();
    }
    report_failure();
#endif
}

int start_stop(int, int, int event, void*, int, int)
{
#ifdef VANTREL_REVIEW
    (void)event;
    return 1;
#else
    if (event != EVENT_COMMIT || sc_handle <= 0) return 0;
    int on = 0;
    GetCtrlVal(sc_handle, SCHART_START, &on);
    SetCtrlAttribute(sc_handle, SCHART_COMMENT, ATTR_VISIBLE, on == 1 ? 1 : 0);
    if (on == 1) {
        if (acq().active) return 0;
        return start_sequence();
    }
    if (!acq().active) return 0;
    stop_sequence();
    report_failure();
    return 0;
#endif
}

int pause(int, int, int event, void*, int, int)
{
#ifdef VANTREL_REVIEW
    (void)event;
    return 0;
#else
    if (event != EVENT_COMMIT || sc_handle <= 0) return 0;
    int playing = 0, paused = 0;
    GetCtrlVal(sc_handle, SCHART_PLAY, &playing);
    GetCtrlVal(sc_handle, SCHART_PAUSE, &paused);
    if (paused == 0 || playing != 0) return 1;
    InstallCtrlCallback(sc_handle, SCHART_TIMER, IdleLoop, nullptr);
    int dim3 = 0, dim2 = 0;
    GetCtrlAttribute(sc_handle, SCHART_PLAY, ATTR_DIMMED, &dim3);
    GetCtrlAttribute(sc_handle, SCHART_START, ATTR_DIMMED, &dim2);
    SetCtrlAttribute(sc_handle, SCHART_PLAY, ATTR_DIMMED, 1);
    SetCtrlAttribute(sc_handle, SCHART_START, ATTR_DIMMED, 1);
    daqbuf = 0;
    transfer_error = 0;
    int running = 0;
    GetCtrlVal(sc_handle, SCHART_START, &running);
    while (paused == 1 && sc_handle > 0) {
        int p = 0, c = 0;
        GetUserEvent(0, &p, &c);
        if (sc_handle <= 0 || GetCtrlVal(sc_handle, SCHART_PAUSE, &paused) < 0) break;
        // A stop request (a signal, a fatal error) ends the pause as it ends the program's own loop.
        if (vui::quit_requested()) {
            SetCtrlVal(sc_handle, SCHART_PAUSE, 0);
            break;
        }
        if (running == 1) {
            int ready = 0;
            VantrelCheckBufferedAnalogIn(&ready);
            if (ready) {
                void* block = nullptr;
                char fill = 0;
                VantrelGetBufferedAnalogInBinary(&block, &fill);
            }
        }
        // Let the board and the clock move on instead of spinning.
        if (paused == 1) Delay(0.05);
    }
    if (sc_handle <= 0) return 1;
    SetCtrlAttribute(sc_handle, SCHART_START, ATTR_DIMMED, dim2);
    // Acquisition may have been stopped meanwhile (a stop request runs the stop sequence): then it stays stopped.
    const bool still_running = running == 1 && acq().active;
    if (still_running || running != 1) SetCtrlAttribute(sc_handle, SCHART_PLAY, ATTR_DIMMED, dim3);
    if (still_running) InstallCtrlCallback(sc_handle, SCHART_TIMER, DaqLoop, nullptr);
    return 1;
#endif
}
