// The acquisition loop: takes each ready block, scales it, evaluates the triggers, cuts wafers and runs, plots and stores.
#include "acquisition/daq_loop.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "acquisition/axes.h"
#include "acquisition/run_model.h"
#include "acquisition/start_stop.h"
#include "board/board_api.h"
#include "board/tc_calibration.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/sys/timing.h"
#include "platform/ui/userint.h"

short old_edge_test = 0;
int daq_tick_count = -1;
int sc_points = 300;
std::vector<double> global_scaled_data;
std::int16_t* global_hbuffer_ptr = nullptr;

#ifndef VANTREL_REVIEW
namespace {

int loop_depth = 0;

struct DepthScope {
    DepthScope() { ++loop_depth; }
    ~DepthScope() { --loop_depth; }
};

// Scan by scan, as the block lies in memory: a channel at a time strode through all of it (2.5 MB of
// doubles at 32 channels and 10 kS/s) once per channel.
void scale_block(AcqContext& c, std::int16_t* raw, double* scaled)
{
    struct Lane {
        int offset = 0;  // within a scan: the board stores the highest channel first
        int channel = 0;
        bool tc = false;
        double gain = 0.0;
        double inter = 0.0;
    };
    std::array<Lane, 32> lanes;
    std::size_t n = 0;
    for (int ch = 1; ch <= c.channels && n < lanes.size(); ++ch) {
        if (!(c.mask & (1u << (ch - 1)))) continue;
        ++n;
        lanes[n - 1] = {c.saved - static_cast<int>(n), ch, c.type[ch] >= 20 && c.type[ch] <= 22,
                        c.slope[ch] * c.volts_per_count, c.inter[ch]};
    }
    for (int j = 0; j < c.rate; ++j) {
        std::int16_t* in = raw + static_cast<std::ptrdiff_t>(j) * c.saved;
        double* out = scaled + static_cast<std::ptrdiff_t>(j) * c.saved;
        for (std::size_t k = 0; k < n; ++k) {
            const Lane& l = lanes[k];
            if (l.tc)
                in[l.offset] = QLTCX_to_binary(in[l.offset], l.channel - 1, &out[l.offset]);
            else
                out[l.offset] = l.gain * in[l.offset] + l.inter;
        }
    }
}

bool condition(const AcqContext& c, const double* scaled, int j)
{
    const double* scan = scaled + static_cast<std::ptrdiff_t>(j) * c.saved;
    bool one = c.trig_log * scan[c.t1] > c.trig_log * c.trig_val;
    if (c.trigger == 1) return one;
    return one && c.trig_2_log * scan[c.t2] > c.trig_2_log * c.trig_2_val;
}

void evaluate_triggers(AcqContext& c, const double* scaled)
{
    if (c.trigger <= 0) {
        Flags |= FLAG_TRIGGER_ACTIVE;
        return;
    }
    bool hit = false;
    const bool was_active = (Flags & FLAG_TRIGGER_ACTIVE) != 0;
    for (int j = 0; j < c.rate && !hit; ++j) {
        const bool now = condition(c, scaled, j);
        if (c.trig_type == 0) {
            hit = now;
        } else {
            hit = old_edge_test == 0 && now;
            old_edge_test = now ? 1 : 0;
        }
    }
    if (hit) Flags |= FLAG_TRIGGER_ACTIVE;
    if (!hit && was_active) {
        ++delay_index;
        if (delay_index > c.delay) {
            Flags &= static_cast<std::uint8_t>(~FLAG_TRIGGER_ACTIVE);
            if (save != 0) {
                Stop();
                startNewRun();
                Start();
            }
        }
    }
    if (hit) {
        if (save != 0 && was_active && delay_index > c.minimum_trig_width) {
            Stop();
            ++c.wafer;
            num_of_wafers = c.wafer;
            if (c.wafer >= 1000) startNewRun();
            Start();
        }
        delay_index = 0;
        precoat_counter += c.rate_index > 0 ? 1 : std::abs(c.rate_index);
    }
}

void trace_write_failed(const AcqContext& c)
{
    const int error = errno;
    data_file.reset();
    fail_recording(vsys::strprintf("Cannot write the wafer trace file %s (%s).", wafer_file_path(c.run, c.wafer).c_str(),
                                   std::strerror(error)));
}

void update_time_labels(const AcqContext& c)
{
    int span = 0;
    if (c.rate_index > 0) {
        strip_x_position += 1;
        span = sc_points / c.rate;
    } else {
        strip_x_position += std::abs(c.rate_index);
        span = sc_points * std::abs(c.rate_index);
    }
    if (strip_x_position > span) {
        SetCtrlVal(sc_handle, SCHART_X_END, vsys::strprintf("%i", strip_x_position).c_str());
        SetCtrlVal(sc_handle, SCHART_X_START, vsys::strprintf("%i", strip_x_position - span).c_str());
    }
}

// The run's first file waits for its trigger: it always holds the header and the latest block.
void rewrite_waiting_file(const AcqContext& c, const std::int16_t* raw)
{
    std::FILE* f = data_file.get();
    std::string now = TimeStr();
    get_converted_date(save_date);
    copy_bounded(save_time, now.c_str(), 8);
    SetCtrlVal(sc_handle, SCHART_DATE, save_date);
    SetCtrlVal(sc_handle, SCHART_TIME, save_time);
    char system[13];
    copy_bounded(system, start_systemID_a, 12);
    const std::string trace = vsys::strprintf("%s:%s %s", system, save_date, save_time);
    SetCtrlVal(sc_handle, SCHART_TRACE_ID, trace.c_str());
    const std::string sql = vsys::strprintf("UPDATE VT_INFO SET TRACE_ID = '%s' WHERE RUN_NUM = %i",
                                            sql_quote(trace.c_str()).c_str(), c.run);
    if (DBImmediateSQL(hdbc, sql.c_str()) != 0)
        fail_recording(vsys::strprintf("Writing to the run table VT_INFO failed (%s).", DBErrorMessage()));
    save_time[2] = save_time[5] = '.';
    if (!rewind_trace_file(f) || !write_trace_header(f, save_time, save_date) ||
        !write_trace_block(f, raw, c.saved * c.rate))
        trace_write_failed(c);
}

}  // namespace
#endif

void show_clock()
{
    if (sc_handle <= 0) return;
    char date[11];
    get_converted_date(date);
    SetCtrlVal(sc_handle, SCHART_CLOCK_DATE, date);
    SetCtrlVal(sc_handle, SCHART_CLOCK_TIME, TimeStr().c_str());
}

#ifndef VANTREL_REVIEW
namespace {

enum class Taken { block, none, not_running };

// One ready block through the loop: scaled, triggers, plot, trace file, real-time test.
Taken take_block(int panel)
{
    const int prev = transfer_error + daqbuf;
    int running = 0;
    if (sc_handle > 0) GetCtrlVal(sc_handle, SCHART_START, &running);
    if (running != 1 || sc_handle < 0) return Taken::not_running;
    AcqContext& c = acq();
    int ready = 0;
    daqbuf = static_cast<short>(VantrelCheckBufferedAnalogIn(&ready));
    if (daqbuf == 200) {
        SetCtrlVal(sc_handle, SCHART_START, 0);
        start_stop(1, 1, 1, nullptr, -1, -1);
        return Taken::none;
    }
    if (!ready) return Taken::none;
    ++daq_tick_count;
    show_clock();
    void* block = nullptr;
    char fill = 0;
    transfer_error = static_cast<short>(VantrelGetBufferedAnalogInBinary(&block, &fill));
    global_hbuffer_ptr = static_cast<std::int16_t*>(block);
    if (transfer_error != 0) {
        SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR, 0xFF0000);
        SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_LABEL_TEXT, vsys::strprintf("Error = %d", transfer_error).c_str());
    } else if (daqbuf != 0) {
        SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR, 0xFF0000);
        SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_LABEL_TEXT, vsys::strprintf("Error = %d", daqbuf).c_str());
    } else if (prev != 0) {
        SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_CTRL_COLOR, 0xFFFF00);
    }
    const bool process = c.rate_index > 0 || daq_tick_count % c.rate_index == 0;
    const std::size_t values = static_cast<std::size_t>(c.saved) * static_cast<std::size_t>(c.rate);
    if (process && global_hbuffer_ptr && global_scaled_data.size() >= values) {
        std::int16_t* raw = global_hbuffer_ptr;
        double* scaled = global_scaled_data.data();
        scale_block(c, raw, scaled);
        evaluate_triggers(c, scaled);
        if (Flags & FLAG_TRIGGER_ACTIVE) {
            PlotStripChart(sc_handle, SCHART_STRIP, scaled, static_cast<int>(values), 0, 0, VAL_DOUBLE);
            if (save == 1 && data_file && !recording_failed()) {
                if (write_trace_block(data_file.get(), raw, static_cast<int>(values)))
                    count_wafer_block();
                else
                    trace_write_failed(c);
            }
            update_time_labels(c);
        } else if (save == 1 && data_file && !recording_failed()) {
            rewrite_waiting_file(c, raw);
        }
    }
    // The first failure to record ends acquisition, with one message (from the timer's own tick).
    if (recording_failed()) {
        if (loop_depth == 1) stop_after_failure();
        return Taken::none;
    }
    if (save != 0) {
        if (current_file_index != -1) ++current_file_index;
        if (current_file_index >= 4 && panel > 0 && daqbuf == 0 && transfer_error == 0) {
            current_file_index = 0;
            test_realtime();
            if (recording_failed()) {
                if (loop_depth == 1) stop_after_failure();
                return Taken::none;
            }
        }
    }
    SetCtrlVal(sc_handle, SCHART_STATUS, static_cast<int>(CPU_Time()));
    return Taken::block;
}

// Ticks that come late are not made up by the timer: each tick takes every
// block that is ready, or a stall of the UI thread would leave the queue that
// much fuller for good until it overruns. The bound keeps the UI responsive
// while a long backlog drains over a few ticks.
constexpr int kMostBlocksPerTick = 32;

}  // namespace
#endif

int DaqLoop(int panel, int, int event, void*, int, int)
{
#ifdef VANTREL_REVIEW
    (void)panel;
    (void)event;
    return 0;
#else
    if (event != EVENT_TIMER_TICK) return 0;
    // Only the direct call of the process-of-record builder may nest.
    if (loop_depth > 0 && panel > 0) return 0;
    DepthScope depth;
    for (int n = 0; n < kMostBlocksPerTick; ++n) {
        const Taken taken = take_block(panel);
        if (taken == Taken::not_running) return n == 0 ? 1 : 0;
        if (taken == Taken::none) break;
    }
    return 0;
#endif
}

int IdleLoop(int, int, int event, void*, int, int)
{
    if (event != EVENT_TIMER_TICK) return 0;
    show_clock();
    if (Flags & FLAG_CURSOR_READOUT) SetCursorText();
    return 0;
}
