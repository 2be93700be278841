// normalize_por and the two commands that pick a wafer as a process's process of record.
#include "setup/por_trace.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/run_table.h"
#include "core/trace_file.h"
#include "panels/sc_sel.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/status_line.h"
#include "platform/ui/userint.h"
#include "setup/export_file.h"
#include "setup/setup_paths.h"
#include "setup/setup_seams.h"

namespace {

constexpr std::size_t kTrailer = kBlockTrailerBytes;

std::string wafer_file(int run, int wafer) { return wafer_trace_path(vt_dir, run, wafer); }

// The rank of an enabled channel among the enabled channels: its place within a scan.
int trace_number(int channel)
{
    if (channel < 1 || channel > 32) return 0;
    std::uint32_t below = channel == 32 ? VantrelChannelStatusBits : VantrelChannelStatusBits & ((1u << channel) - 1u);
    return std::popcount(below);
}

void let_acquisition_run(bool useCallerBuffer)
{
#ifdef VANTREL_REVIEW
    (void)useCallerBuffer;
#else
    if (!useCallerBuffer) return;
    setup_seams().DaqLoop(-1, -1, EVENT_TIMER_TICK, nullptr, 0, 0);
    ProcessSystemEvents();
#endif
}

// One trigger condition: channel, its place in the scan, direction and threshold in raw counts.
struct Condition {
    bool usable = false;
    int position = 0;
    int sense = 1;
    long long threshold = 0;

    bool holds(const short* scan_end, int saved) const
    {
        if (!usable || position < 1 || position > saved) return false;
        long long raw = scan_end[-position];
        return sense * raw > sense * threshold;
    }
};

Condition condition(short channel, short log, double value)
{
    Condition c;
    const double slope = channel_slope[channel];
    // A slope of 0 scales every count to the same value: no threshold exists, so the condition never holds.
    if (slope == 0.0 || !std::isfinite(slope)) return c;
    double counts = (value - channel_inter[channel]) / slope * VoltageToBinary[ADCBits];
    if (!std::isfinite(counts)) return c;
    if (counts > 1e12) counts = 1e12;
    if (counts < -1e12) counts = -1e12;
    c.usable = true;
    c.threshold = static_cast<long long>(counts);
    c.sense = log;
    c.position = trace_number(channel);
    return c;
}

// The last block of the wafer that precedes the source, when there is one whole block of it.
bool preceding_block(int run, int wafer, std::vector<char>& block)
{
    int prev_run = run, prev_wafer = wafer - 1;
    if (wafer <= 1) {
        prev_run = run - 1;
        DbStatement st(hdbc, vsys::strprintf("SELECT NUM_WAF FROM VT_INFO WHERE RUN_NUM = %d", prev_run));
        if (!st.ok()) return false;
        int wafers = 0;
        long status = 0;
        DBBindColInt(st.handle(), 1, &wafers, &status);
        if (DBFetchNext(st.handle()) != 0) return false;
        prev_wafer = wafers;
    }
    const std::string path = wafer_file(prev_run, prev_wafer);
    vsys::FilePtr f = vsys::open_file(path, "rb");
    if (!f) return false;
    auto size = vsys::file_size(path);
    auto header = read_trace_header(f.get());
    const long long need = static_cast<long long>(block.size());
    if (!size || !header || static_cast<long long>(*size) - static_cast<long long>(header->end) < need) return false;
    return std::fseek(f.get(), -static_cast<long>(need), SEEK_END) == 0 &&
           std::fread(block.data(), 1, block.size(), f.get()) == block.size();
}

// The header line of the process of record (the source's time with colons, no date) and, when the
// source was recorded with dots, the last block of the wafer before it; `counted` gets its scans.
bool begin_por_file(vsys::AtomicFile& out, std::FILE* source, int run, int wafer, std::size_t block_bytes, int rate,
                    long long& counted)
{
    std::optional<TraceHeader> header = source ? read_trace_header(source) : std::nullopt;
    const std::string time = header ? colon_time(header->time) : "";
    bool ok = out.is_open() && out.write(time + "\n");
    if (source && header && header->dotted && saved_channels > 0) {
        std::vector<char> previous(block_bytes + kTrailer);
        if (preceding_block(run, wafer, previous)) {
            ok = ok && out.write(previous.data(), previous.size());
            counted = rate;
        }
    }
    return ok;
}

// Where the interval of the process of record begins and ends, followed scan by scan as the
// acquisition follows its triggers: it ends `limit` scans after the trigger drops.
struct IntervalFinder {
    IntervalFinder(int limit_, int step_) : limit(limit_), step(step_) {}
    int limit, step;
    long long start = -1, end = 0;
    int count = 0, state = 0, previous_state = 0;

    // Judges one scan (no value: no trigger is set); true when the scan counts toward the channel sums.
    bool next(long long sample, std::optional<bool> trigger_holds)
    {
        bool holds = true;
        if (trigger_holds)
            holds = *trigger_holds;
        else
            start = 0;
        if (trig_type == 1) {
            previous_state = state;
            state = holds ? 1 : 0;
            if (holds && start == -1) start = sample;
            if (previous_state == 0 && state == 1) count = 0;
            if (start != -1) count += step;
        } else {
            if (holds) {
                previous_state = state;
                state = 1;
                count = 0;
                if (start == -1) start = sample;
            } else {
                state = 0;
            }
            if (state == 0 && previous_state == 1) ++count;
        }
        if (count == limit) {
            end = sample;
            return false;
        }
        return start != -1;
    }
};

// Adds the absolute engineering value of each enabled channel of one scan.
void add_scan(double (&sums)[33], const short* scan_end, int saved, double volts)
{
    for (int ch = 1; ch <= channels && ch <= 32; ++ch) {
        int k = trace_number(ch);
        if (!((VantrelChannelStatusBits >> (ch - 1)) & 1u) || k < 1 || k > saved) continue;
        sums[ch] += std::fabs(scan_end[-k] * volts * channel_slope[ch] + channel_inter[ch]);
    }
}

// The interval file: start, end and rate code, then one line per channel.
std::string interval_text(long long start, long long end, const double (&sums)[33])
{
    std::string text = vsys::strprintf("%lld\n%lld\n%i\n", start, end, sample_rate_index);
    for (int ch = 1; ch <= channels && ch <= 32; ++ch) {
        const bool on = (VantrelChannelStatusBits >> (ch - 1)) & 1u;
        if (on)
            text += vsys::strprintf("1 %i %.3f\n", channel_type[ch], sums[ch]);
        else
            text += vsys::strprintf("%i %i %.3f\n", channels == saved_channels ? 1 : 0, channel_type[ch], 0.0);
    }
    return text;
}

}  // namespace

bool normalize_por(int run, int wafer, short useCallerBuffer, short* buffer)
{
    const std::string por = por_trace_path(vt_dir, recipe_num), interval = interval_path(vt_dir, recipe_num);
    const int saved = saved_channels;
    const int rate = sample_rate < 1 ? 1 : sample_rate;
    const std::size_t samples = static_cast<std::size_t>(saved) * static_cast<std::size_t>(rate);
    const std::size_t block_bytes = samples * sizeof(short);
    std::vector<short> own;
    short* block = buffer;
    if (!useCallerBuffer || !buffer) {
        try {
            own.resize(samples ? samples : 1);
        } catch (const std::bad_alloc&) {
            EXIT_NOW("NULL pointer returned");
            return false;
        }
        block = own.data();
    }

    vsys::FilePtr source = vsys::open_file(wafer_file(run, wafer), "rb");
    // Built into temporary files: the previous process of record stays until both new files are complete.
    vsys::AtomicFile out(por);
    long long counted = 0;
    bool ok = begin_por_file(out, source.get(), run, wafer, block_bytes, rate, counted);
    let_acquisition_run(useCallerBuffer);
    if (!source || !ok) return false;

    IntervalFinder finder(sample_rate_index > 0 ? delay * rate : delay / std::abs(rate),
                          sample_rate_index > 0 ? 1 : -sample_rate_index);
    if (trigger > 0 && (trig_ch < 1 || trig_ch > 32)) trigger = 0;
    Condition first, second;
    if (trigger > 0) first = condition(trig_ch, trig_log, trig_val);
    if (trigger == 2 && (trig_2_ch < 1 || trig_2_ch > 32)) trigger = 1;
    if (trigger == 2) second = condition(trig_2_ch, trig_2_log, trig_2_val);
    const double volts = BinaryToVoltage[ADCBits];

    double sums[33] = {};
    char trailer[kTrailer];
    int blocks = 0;
    while (ok && saved > 0 && std::fread(block, 1, block_bytes, source.get()) == block_bytes &&
           std::fread(trailer, 1, kTrailer, source.get()) == kTrailer) {
        ok = out.write(block, block_bytes) && out.write(trailer, kTrailer);
        for (int s = 1; s <= rate; ++s) {
            const short* scan_end = block + static_cast<std::size_t>(s) * saved;
            std::optional<bool> holds;
            if (trigger > 0) holds = first.holds(scan_end, saved) && (trigger != 2 || second.holds(scan_end, saved));
            if (finder.next(counted + s, holds)) add_scan(sums, scan_end, saved, volts);
        }
        counted += rate;
        if (++blocks % 5 == 0) let_acquisition_run(useCallerBuffer);
    }
    if (!ok) return false;
    if (finder.end == 0) finder.end = counted - rate + 1;
    if (trigger < 1) finder.end = counted;

    vsys::AtomicFile int_out(interval);
    if (!int_out.is_open() || !int_out.write(interval_text(finder.start, finder.end, sums))) return false;
    source.reset();
    // Only here can the two files disagree (a new trace with the old intervals): say so.
    if (!out.commit()) return false;
    if (vsys::Result r = int_out.commit(); !r) {
        MessagePopup("POR Error", r.error.c_str());
        return false;
    }
    return true;
}

int new_por(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (!GotoEditMode()) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    int index = 0, run = 0, wafer = 0;
    GetCtrlIndex(panel, SC_SEL_RUNS, &index);
    GetValueFromIndex(panel, SC_SEL_RUNS, index, &run);
    GetCtrlVal(panel, SC_SEL_WAFERS, &wafer);
    char system[17] = "", recipe[33] = "", trace[33] = "", comment[65] = "";
    short complete = 0, cassette = 0;
    info_table({hdbc, 3, run, system, recipe, trace, comment, &complete, &cassette});
    num_of_wafers = wafer;
    auto size = vsys::file_size(wafer_file(run_num, wafer));
    if (size && *size < kPorSizeLimit) {
        info_table({hdbc, -1, recipe_num, system, recipe, trace, comment, &complete, &cassette});
        int handle = panel;
        DiscardMyPanel(&handle);
        std::string id = trace;
        while (!id.empty() && id.back() == ' ') id.pop_back();
        if (normalize_por(run_num, wafer, 0, nullptr)) vui::ShowStatusLine(vsys::strprintf("Process of record: %s, wafer %d.", id.c_str(), wafer));
    } else {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        MessagePopup("POR Error",
                     vsys::strprintf("The maximum file size for POR files is currently %0.3lf MB.  Please select a "
                                     "smaller file.",
                                     static_cast<double>(kPorSizeLimit) / 1000000.0)
                         .c_str());
    }
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 0;
}

void pick_por(int, int, void*, int)
{
    setup_seams().select_sc_run(1);
}
