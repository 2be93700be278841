// Runs, wafers and wafer trace files: run rows, trace file headers, precoat split and the real-time hand-over.
#include "acquisition/run_model.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "acquisition/acquisition_seams.h"
#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/sys/timing.h"
#include "platform/ui/userint.h"

char recipe_name[33] = "";
char start_systemID_a[36] = "";
vsys::FilePtr data_file;
int save = 1;
vsys::FilePtr pPlayback;
int delay_index = 0;
int precoat_counter = 0;
short test_precoat_trace = 0;
int realtime_run_counter = 0;
short realtime_wafer_counter = 1;
short daqbuf = 0;
short transfer_error = 0;
std::int32_t pedestal_ontime[5] = {0, 0, 0, 0, 0};
int strip_x_position = 0;

namespace {
bool wafer_open = false;
int blocks_written = 0;
std::string own_file;  // the open wafer's file, when this acquisition created it
bool own_row = false;  // the current run's row was inserted by this acquisition

struct RecordingFailure {
    std::string cause;
    bool failed = false, shown = false;
};
RecordingFailure failure;
}  // namespace

bool wafer_file_open() { return wafer_open; }
int wafer_blocks() { return blocks_written; }
void count_wafer_block() { ++blocks_written; }

vsys::Result discard_wafer_file()
{
    if (own_file.empty()) return vsys::Result::success();
    vsys::Result gone = vsys::delete_file_if_present(own_file);
    own_file.clear();
    return gone;
}

void fail_recording(const std::string& cause)
{
    if (failure.failed) return;
    failure = {cause, true, false};
}

bool recording_failed() { return failure.failed; }
bool run_row_inserted() { return own_row; }

std::string take_recording_failure()
{
    if (!failure.failed || failure.shown) return "";
    failure.shown = true;
    return failure.cause;
}

void clear_recording_failure() { failure = {}; }

std::string run_table_problem()
{
    // A missing table is no damage: it is created with the run's row.
    if (!vsys::find_file_nocase(vt_dir, "VT_INFO.DBF")) return "";
    DbStatement st(hdbc, "SELECT MAX(RUN_NUM) FROM VT_INFO");
    if (!st.ok()) {
        const char* why = DBErrorMessage();
        return vsys::strprintf("The run table VT_INFO cannot be read (%s).", why && *why ? why : "no connection");
    }
    return "";
}

int next_run_number()
{
    int run = 1;
    determine_run(hdbc, &run);
    // A run whose row was lost still has its traces: they are never written over.
    const int traces = highest_trace_run(vt_dir);
    if (traces >= run) run = traces + 1;
    if (run < 1 || run > 99999999) run = 1;
    return run;
}

AcqContext& acq()
{
    static AcqContext context;
    return context;
}

namespace {
AcquisitionSeams& given_seams()
{
    static AcquisitionSeams seams;
    return seams;
}
}  // namespace

void provide_acquisition_seams(AcquisitionSeams seams) { given_seams() = std::move(seams); }
const AcquisitionSeams& acquisition_seams() { return given_seams(); }

short get_trace_number(short channel)
{
    short count = 0;
    for (int i = 1; i <= channel && i <= 32; ++i)
        if (VantrelChannelStatusBits & (1u << (i - 1))) ++count;
    return count;
}

namespace {

int trace_position(const AcqContext& c, int channel)
{
    int k = 0;
    for (int i = 1; i <= channel && i <= 32; ++i)
        if (c.mask & (1u << (i - 1))) ++k;
    return c.saved - k;
}

// A run-row statement of the recording; its failure stops the recording.
void run_sql(const std::string& sql)
{
    if (recording_failed()) return;
    if (DBImmediateSQL(hdbc, sql.c_str()) != 0)
        fail_recording(vsys::strprintf("Writing to the run table VT_INFO failed (%s).", DBErrorMessage()));
}

// Runs `insert` (a run-row insert through info_table) and keeps its first SQL error as the recording's failure.
template <typename Step>
void run_row_step(Step insert)
{
    SqlErrorCapture errors;
    insert();
    if (errors.any())
        fail_recording(vsys::strprintf("Writing to the run table VT_INFO failed (%s).", errors.first().c_str()));
}

// Other subsystems read the current run through these globals.
void publish_run()
{
    run_num = acq().run;
    num_of_wafers = acq().wafer;
}

// The setup globals that give a stored block its layout, set to the recording's while a run row is written or a
// recorded wafer is tested: a dialog or a run read back may have changed them since the start. The rows would
// otherwise name a layout the traces do not have, and a test would read blocks of another size.
class RecordedLayout {
public:
    explicit RecordedLayout(const AcqContext& c)
    {
        channels = static_cast<std::uint8_t>(c.channels);
        VantrelChannelStatusBits = c.mask;
        saved_channels = static_cast<std::uint8_t>(c.saved);
        sample_rate_index = c.rate_index;
        sample_rate = c.rate;
        ADCBits = c.adc_bits;
    }
    ~RecordedLayout()
    {
        channels = channels_;
        VantrelChannelStatusBits = mask_;
        saved_channels = saved_;
        sample_rate_index = rate_index_;
        sample_rate = rate_;
        // A new run row resets the converter scale: the run being recorded has it.
        if (!keep_adc_bits_) ADCBits = adc_bits_;
    }
    RecordedLayout(const RecordedLayout&) = delete;
    RecordedLayout& operator=(const RecordedLayout&) = delete;
    void keep_adc_bits() { keep_adc_bits_ = true; }

private:
    std::uint8_t channels_ = channels;
    std::uint32_t mask_ = VantrelChannelStatusBits;
    std::uint8_t saved_ = saved_channels;
    int rate_index_ = sample_rate_index;
    int rate_ = sample_rate;
    int adc_bits_ = ADCBits;
    bool keep_adc_bits_ = false;
};

// Inserts the row of a new run (info_table code 1) under the recording's layout.
void insert_run_row(int run, char* system, char* recipe, char* trace, char* comment)
{
    RecordedLayout layout(acq());
    layout.keep_adc_bits();
    run_row_step([&] { info_table({hdbc, 1, run, system, recipe, trace, comment, nullptr, nullptr}); });
    acq().adc_bits = ADCBits;
}

std::string comment_text()
{
    char comment[300] = "";
    if (sc_handle > 0) GetCtrlVal(sc_handle, SCHART_COMMENT, comment);
    comment[64] = '\0';
    return sql_quote(comment);
}

}  // namespace

void capture_acquisition_setup()
{
    AcqContext& c = acq();
    c.channels = channels > 32 ? 32 : channels;
    c.mask = c.channels >= 32 ? VantrelChannelStatusBits : (VantrelChannelStatusBits & ((1u << c.channels) - 1u));
    c.saved = 0;
    for (int i = 1; i <= c.channels; ++i)
        if (c.mask & (1u << (i - 1))) ++c.saved;
    c.rate_index = sample_rate_index == 0 ? 1 : sample_rate_index;
    c.rate = c.rate_index > 0 ? c.rate_index : 1;
    c.adc_bits = ADCBits == 1 ? 1 : 0;
    c.volts_per_count = BinaryToVoltage[c.adc_bits];
    for (int i = 0; i <= 32; ++i) {
        c.slope[i] = channel_slope[i];
        c.inter[i] = channel_inter[i];
        c.type[i] = channel_type[i];
    }
    c.trigger = trigger;
    c.trig_type = trig_type;
    c.t1 = trace_position(c, trig_ch);
    c.t2 = trace_position(c, trig_2_ch);
    c.trig_log = trig_log;
    c.trig_2_log = trig_2_log;
    c.trig_val = trig_val;
    c.trig_2_val = trig_2_val;
    c.delay = delay;
    c.minimum_trig_width = minimum_trig_width;
    c.precoat_minimum = precoat_minimum;
}

std::string wafer_file_path(int run, int wafer) { return wafer_trace_path(vt_dir, run, wafer); }

std::string playback_list_path()
{
#ifdef VANTREL_REVIEW
    return vsys::path_join(vt_dir, "review.tmp");
#else
    return vsys::path_join(vt_dir, "playback.tmp");
#endif
}

bool write_trace_block(std::FILE* file, const std::int16_t* raw, int values)
{
    return write_trace_block(file, raw, values, pedestal_ontime);
}

int startNewRun()
{
    AcqContext& c = acq();
    own_row = false;
    if (recording_failed()) return 1;
    // Without a readable run table the next number is unknown: nothing is recorded.
    const std::string problem = run_table_problem();
    if (!problem.empty()) {
        fail_recording(problem);
        return 1;
    }
    c.wafer = 1;
    c.run = next_run_number();
    own_row = true;
    publish_run();
    char system[36], recipe[33], trace[33] = "", comment[65] = "None";
    copy_bounded(system, c.system_id.c_str(), 35);
    copy_bounded(recipe, c.recipe.c_str(), 32);
    insert_run_row(c.run, system, recipe, trace, comment);
    if (sc_handle > 0) {
        SetCtrlVal(sc_handle, SCHART_TRACE_ID, trace);
        SetCtrlVal(sc_handle, SCHART_COMMENT, "Type comments here (up to 64 characters).");
    }
    return 1;
}

int Start()
{
#ifdef VANTREL_REVIEW
    return 1;
#else
    AcqContext& c = acq();
    blocks_written = 0;
    own_file.clear();
    if (save == 1 && !recording_failed()) {
        const std::string path = wafer_file_path(c.run, c.wafer);
        std::string why;
        data_file = create_trace_file(path, why);
        if (data_file) own_file = path;
        wafer_open = true;
        std::string now = TimeStr();
        get_converted_date(save_date);
        if (sc_handle > 0) {
            SetCtrlVal(sc_handle, SCHART_TIME, now.c_str());
            SetCtrlVal(sc_handle, SCHART_WAFER, vsys::strprintf("# %i", c.wafer).c_str());
        }
        if (now.size() >= 8) now[2] = now[5] = '.';
        copy_bounded(save_time, now.c_str(), 8);
        if (!data_file) {
            fail_recording(vsys::strprintf("Cannot create the wafer trace file %s (%s).", path.c_str(), why.c_str()));
        } else if (!write_trace_header(data_file.get(), save_time, save_date)) {
            fail_recording(vsys::strprintf("Cannot write the wafer trace file %s (%s).", path.c_str(), std::strerror(errno)));
            data_file.reset();
        }
        if (pPlayback) {
            std::fprintf(pPlayback.get(), "%d\t%d\t%.4lf %d\n", c.run, c.wafer, static_cast<double>(strip_x_position), 0);
            std::fflush(pPlayback.get());
        }
    }
    daqbuf = 0;
    transfer_error = 0;
    precoat_counter = 0;
    delay_index = c.delay + 1;
    return 0;
#endif
}

int Stop()
{
    if (save == 0 || !wafer_open) return 0;
    AcqContext& c = acq();
    wafer_open = false;
    data_file.reset();
    const std::string comment = comment_text();
    if (precoat_counter <= c.precoat_minimum) {
        run_sql(vsys::strprintf("UPDATE VT_INFO SET NUM_WAF = %i WHERE RUN_NUM = %i", c.wafer, c.run));
        run_sql(vsys::strprintf("UPDATE VT_INFO SET COMMENT = '%s' WHERE RUN_NUM = %i", comment.c_str(), c.run));
        test_precoat_trace = 0;
        return 0;
    }
    test_precoat_trace = 1;
    char system[33];
    get_put_char(hdbc, 0, 0, CONFIG_READ, system);
    char system13[14];
    copy_bounded(system13, system, 13);
    std::string name = c.recipe;
    const std::size_t at = name.find("PRECOAT");
    if (at == std::string::npos || name.size() - at > 7) name = name.substr(0, 23) + " PRECOAT";
    run_sql(vsys::strprintf("UPDATE VT_INFO SET COMMENT = '%s' WHERE RUN_NUM = %i", comment.c_str(), c.run));
    if (c.wafer > 1) {
        run_sql(vsys::strprintf("UPDATE VT_INFO SET NUM_WAF = %i WHERE RUN_NUM = %i", c.wafer - 1, c.run));
        const int old_run = c.run;
        c.run = next_run_number();
        own_row = true;
        publish_run();
        // The new run's first file is new: a trace that exists stays as it is.
        const std::string from = wafer_file_path(old_run, c.wafer), to = wafer_file_path(c.run, 1);
        vsys::Result moved = vsys::file_exists(to) ? vsys::Result::failure("\"" + to + "\" exists already")
                                                   : vsys::rename_replace(from, to);
        if (!moved) fail_recording(vsys::strprintf("Cannot move the wafer trace file %s (%s).", from.c_str(),
                                                   moved.error.c_str()));
        char recipe[33], trace[33] = "", text[65];
        copy_bounded(recipe, name.c_str(), 32);
        char raw_comment[300] = "";
        if (sc_handle > 0) GetCtrlVal(sc_handle, SCHART_COMMENT, raw_comment);
        copy_bounded(text, raw_comment, 64);
        if (!recording_failed()) insert_run_row(c.run, system, recipe, trace, text);
    }
    run_sql(vsys::strprintf("UPDATE VT_INFO SET NUM_WAF = 1 WHERE RUN_NUM = %i", c.run));
    const std::string trace = vsys::strprintf("%s:%.8d PRECOAT", system13, c.run);
    run_sql(vsys::strprintf("UPDATE VT_INFO SET TRACE_ID = '%s' WHERE RUN_NUM = %i", sql_quote(trace.c_str()).c_str(),
                            c.run));
    run_sql(vsys::strprintf("UPDATE VT_INFO SET RECIPE = '%s' WHERE RUN_NUM = %i", sql_quote(name.c_str()).c_str(),
                            c.run));
    return 0;
}

namespace {

// Tests the next finished wafer; with `last_too` the wafer closed last counts as finished as well.
void test_next_wafer(bool last_too)
{
#ifndef VANTREL_REVIEW
    AcqContext& c = acq();
    const int last_finished = last_too ? c.wafer + 1 : c.wafer;
    if (realtime_wafer_counter >= last_finished && realtime_run_counter == c.run) return;
    SetWaitCursor(1);
    if (sc_handle > 0) {
        SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR, 0x0000FF);
        for (int ctrl : {SCHART_EXIT, SCHART_PAUSE, SCHART_START}) SetCtrlAttribute(sc_handle, ctrl, ATTR_DIMMED, 1);
    }
    for (int item : {MENUBAR_FILE, MENUBAR_CONFIGURE}) SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 1);
    const int kept = c.run;
    std::vector<short> buffer;
    try {
        buffer.assign(static_cast<std::size_t>(c.rate) * static_cast<std::size_t>(c.saved), 0);
    } catch (const std::bad_alloc&) {
        EXIT_NOW("NULL pointer returned.");
        return;
    }
    short result = 1;
    const auto& test = acquisition_seams().test_trace;
    if (test.ready()) {
        // The wafer is read with the layout it was recorded with, into a buffer of that block's size.
        RecordedLayout layout(c);
        result = test(buffer.data(), realtime_run_counter, realtime_wafer_counter, sc_handle, 2, "", c.recipe.c_str(),
                      test_precoat_trace, 1);
    }
    if (result == 1) {
        if (realtime_run_counter != kept) {
            realtime_run_counter = kept;
            realtime_wafer_counter = 1;
        } else {
            ++realtime_wafer_counter;
        }
    }
    // The test reads other run rows; acquisition's own run (which a nested tick
    // may have moved on) is what the globals show again.
    publish_run();
    if (sc_handle > 0) {
        for (int ctrl : {SCHART_EXIT, SCHART_PAUSE, SCHART_START}) SetCtrlAttribute(sc_handle, ctrl, ATTR_DIMMED, 0);
        if (daqbuf == 0 && transfer_error == 0) SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR, 0x00FF00);
    }
    for (int item : {MENUBAR_FILE, MENUBAR_CONFIGURE}) SetMenuBarAttribute(handle_menu, item, ATTR_DIMMED, 0);
    SetWaitCursor(0);
#else
    (void)last_too;
#endif
}

}  // namespace

void test_realtime() { test_next_wafer(false); }

void test_wafers_left()
{
#ifndef VANTREL_REVIEW
    const AcqContext& c = acq();
    if (save == 0 || current_file_index == -1) return;
    // Each test moves the counters on (to wafer 1 of the current run when the run changed).
    for (int left = 1000; left > 0 && !(realtime_run_counter == c.run && realtime_wafer_counter > c.wafer); --left) {
        const int run = realtime_run_counter, wafer = realtime_wafer_counter;
        test_next_wafer(true);
        if (run == realtime_run_counter && wafer == realtime_wafer_counter) break;
    }
#endif
}
