// The trace test of one stored wafer: settles its process, marks the run tested, runs the four analyses, paints the status.
#include "testing/trace_test.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/run_lookup.h"
#include "core/run_table.h"
#include "core/shared_buffers.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "panels/s_chart.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "testing/analysis.h"
#include "testing/realtime_check.h"
#include "testing/testing_seams.h"

namespace {

constexpr int kMaxProcess = 9000;
constexpr int kGraphRedraw = 1147;

// Reads a whole file with one read of its size into `into`, whose capacity
// carries over from wafer to wafer; false when it cannot be opened.
bool read_all(const std::string& path, std::string& into)
{
    vsys::FilePtr f = vsys::open_file(path, "rb");
    if (!f) return false;
    struct stat st {};
    const std::size_t size = ::fstat(::fileno(f.get()), &st) == 0 && st.st_size > 0
                                 ? static_cast<std::size_t>(st.st_size)
                                 : 0;
    into.resize(size);
    into.resize(size ? std::fread(into.data(), 1, size, f.get()) : 0);
    // A file still growing (the wafer being written) is read to its end.
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) into.append(chunk, n);
    return true;
}

// The wafer, interval and process-of-record texts of the wafer test, kept
// between wafers so that each test reads into memory it already has.
struct TraceBuffers {
    std::string wafer, interval, por;
};

std::span<const unsigned char> as_bytes(const std::string& s)
{
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

std::string wafer_path(int run, int wafer) { return wafer_trace_path(vt_dir, run, wafer); }

// The last scan of the wafer before this one, for the timers' starting states.
// A file too short to hold one scan and its trailer gives none.
std::optional<std::vector<std::int16_t>> previous_scan(int run, int wafer, int saved)
{
    std::string path;
    if (wafer - 1 != 0) {
        path = wafer_path(run, wafer - 1);
    } else {
        DbStatement st(hdbc, vsys::strprintf("SELECT NUM_WAF FROM VT_INFO WHERE RUN_NUM = %d", run - 1));
        if (!st.ok()) return std::nullopt;
        int count = 0;
        long status = 0;
        if (DBBindColInt(st.handle(), 1, &count, &status) != 0) ShowError();
        if (DBFetchNext(st.handle()) != 0) return std::nullopt;
        path = wafer_path(run - 1, count);
    }
    vsys::FilePtr f = vsys::open_file(path, "rb");
    if (!f) return std::nullopt;
    const long back = static_cast<long>(saved) * 2 + static_cast<long>(kBlockTrailerBytes);
    if (std::fseek(f.get(), 0, SEEK_END) != 0 || std::ftell(f.get()) < back) return std::nullopt;
    if (std::fseek(f.get(), -back, SEEK_END) != 0) return std::nullopt;
    std::string raw(static_cast<std::size_t>(saved) * 2, '\0');
    if (std::fread(raw.data(), 1, raw.size(), f.get()) != raw.size()) return std::nullopt;
    std::vector<std::int16_t> scan(static_cast<std::size_t>(saved));
    TraceStream s(as_bytes(raw));
    s.read_values(scan.data(), scan.size());
    return scan;
}

#ifndef VANTREL_REVIEW
std::string trace_id_of_run(int run)
{
    // A local record: the run being acquired keeps its channel and converter settings.
    const RunRecord record = look_up_run(hdbc, run);
    return record.found ? record.trace_id : "";
}

bool copy_process_file(const char* pattern, int from, int to)
{
    std::string target = vsys::path_join(vt_dir, vsys::strprintf(pattern, to));
    std::string source = vsys::path_join(vt_dir, vsys::strprintf(pattern, from));
    // The copy replaces the target in one step; a table the source lacks is lacking in the copy too.
    vsys::Result copied =
        vsys::file_exists(source) ? vsys::copy_file(source, target) : vsys::delete_file_if_present(target);
    if (!copied) MessagePopup("Copy Error", copied.error.c_str());
    return static_cast<bool>(copied);
}

// Settles the wafer's process during acquisition; false when the trace file could not be opened again.
bool settle_process(int run, int wafer, short precoat, short* block, std::string& recipe, std::string& trace_id,
                    const char* system)
{
    if (precoat == 1) recipe = precoat_process_name(recipe);
    char text[33];
    vsys::format_into(text, sizeof text, "%s", recipe.c_str());
    get_put_char(hdbc, 1, 0, PROCESS_BY_NAME, text);
    if (std::strcmp(text, "Not Found") != 0) {
        recipe_num = std::atoi(text);
        return true;
    }
    get_put_char(hdbc, 1, 0, FIRST_FREE_PROCESS, text);
    const int created = std::atoi(text);
    // No process above the last number: the wafer is tested against the current one.
    if (created < 3 || created > kMaxProcess) return true;
    // A new process is never made without its process of record.
    if (!testing_seams().normalize_por.ready()) return true;
    get_put_char(hdbc, 0, 5, CONFIG_READ, text);
    const int current = std::atoi(text);
    recipe_num = created;
    vsys::format_into(text, sizeof text, "%s", recipe.c_str());
    get_put_char(hdbc, 1, created, CONFIG_WRITE, text);
    copy_process_file("%.4dINST.DBF", current, created);
    if (precoat != 1) copy_process_file("%.4dACTC.DBF", current, created);
    copy_process_file("%.4dLIMI.DBF", current, created);
    copy_process_file("%.4dTAGS.DBF", current, created);
    copy_process_file("%.4dNUMB.DBF", current, created);
    testing_seams().normalize_por(run, wafer, 1, block);
    bool reopened = vsys::file_exists(wafer_path(run, wafer));
    if (trace_id.empty()) trace_id = vsys::strprintf("%s:%.8d", system, run);
    char sys[33], rec[33], tid[33], comment[65] = "";
    vsys::format_into(sys, sizeof sys, "%s", system);
    vsys::format_into(rec, sizeof rec, "%s", recipe.c_str());
    vsys::format_into(tid, sizeof tid, "%s", trace_id.c_str());
    short complete = 1, cassette = 0;
    const int saved_wafers = num_of_wafers;
    num_of_wafers = wafer;
    info_table(run_info_request{hdbc, -1, created, sys, rec, tid, comment, &complete, &cassette});
    num_of_wafers = saved_wafers;
    return reopened;
}
#endif

void plot_sigma_vector(const std::vector<SigmaResult>& results, int wafer, const std::string& trace_id)
{
    if (sc_handle <= 0) return;
    DeleteGraphPlot(sc_handle, SCHART_PLAYBACK, -1, VAL_IMMEDIATE_DRAW);
    GraphInfo.clear();
    GraphInfoEntries = 0;
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, kGraphRedraw, 0);
    const double n = static_cast<double>(results.size());
    int k = 0;
    for (const auto& r : results) {
        const double angle = 6.28318530718 * k / n;
        // A chart without an upper limit has no scale: its spoke is drawn at the circle.
        const double radius = r.ucl != 0 ? r.sigma / r.ucl : 1.0;
        const double x = std::cos(angle) * radius - 10;
        const double y = std::sin(angle) * radius;
        const int colour = static_cast<int>(get_put_number(4, static_cast<short>(r.channel), NUMBER_T_READ, 0));
        PlotLine(sc_handle, SCHART_PLAYBACK, -10, 0, x, y, colour);
        PlotOval(sc_handle, SCHART_PLAYBACK, x + 0.025, y + 0.025, x - 0.025, y - 0.025, colour, colour);
        ++k;
    }
    PlotOval(sc_handle, SCHART_PLAYBACK, -9, 1, -11, -1, 0xFF0000, VAL_TRANSPARENT);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, kGraphRedraw, 1);
    SetCtrlVal(sc_handle, SCHART_PLAY_WAFER, vsys::strprintf("# %i", wafer));
    SetCtrlVal(sc_handle, SCHART_PLAY_RUN, trace_id);
}

}  // namespace

std::string precoat_process_name(const std::string& recipe)
{
    const std::size_t at = recipe.find("PRECOAT");
    if (at != std::string::npos && recipe.size() - at <= 7) return recipe;
    return recipe.substr(0, 23) + " PRECOAT";
}

TraceHeader read_trace_header(const std::string& bytes) { return parse_trace_header(bytes); }

namespace {

void test_stored_trace(short* blockBuffer, int run, short wafer, int panel, int mode, const char* traceId,
                       const char* recipeName, short precoat, short plot)
{
    // Limits and activated charts decide what is stored: without them nothing is.
    const TestingSeams& seams = testing_seams();
    if (!seams_ready(seams.chart_preferences, seams.step_specs)) return;
    std::string trace_id = traceId ? traceId : "";
    std::string recipe = recipeName ? recipeName : "";
    char system[33];
    get_put_char(hdbc, 0, 0, CONFIG_READ, system);
    // A nested test (never expected: the loop does not nest one) gets buffers of its own.
    static TraceBuffers kept;
    static bool kept_in_use = false;
    TraceBuffers own;
    TraceBuffers& buffers = kept_in_use ? own : kept;
    struct Use {
        bool& flag;
        bool was;
        ~Use() { flag = was; }
    } use{kept_in_use, kept_in_use};
    kept_in_use = true;
    if (!read_all(wafer_path(run, wafer), buffers.wafer)) return;
    const std::string& bytes = buffers.wafer;
    TraceHeader header = read_trace_header(bytes);
    const int entry_process = recipe_num;
    bool readable = true;
#ifndef VANTREL_REVIEW
    if (panel == sc_handle && mode == 2) {
        readable = settle_process(run, wafer, precoat, blockBuffer, recipe, trace_id, system);
        if (recipe_num != entry_process) {
            get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
            get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
        }
    }
    if (trace_id.empty()) trace_id = trace_id_of_run(run);
#else
    (void)blockBuffer;
    (void)panel;
    (void)mode;
    (void)precoat;
    (void)entry_process;
#endif
    if (DBImmediateSQL(hdbc, vsys::strprintf("UPDATE VT_INFO SET COMPLETE = 1 WHERE RUN_NUM = %d", run).c_str()) != 0)
        ShowError();
    if (readable) {
        const TraceSetup setup = setup_from_globals();
        const WaferTrace trace{as_bytes(bytes), header.end, run, wafer};
        DbTestServices services(trace_id);
        test_step_metrics(trace, setup, services);
        if (read_all(interval_path(vt_dir, recipe_num), buffers.interval)) {
            std::optional<PorInterval> interval = read_por_interval(buffers.interval);
            if (interval && read_all(por_trace_path(vt_dir, recipe_num), buffers.por)) {
                auto results = test_sigma_vector(trace, setup, services, *interval, as_bytes(buffers.por));
                if (plot == 1 && !results.empty()) plot_sigma_vector(results, wafer, trace_id);
            }
        }
        std::optional<std::vector<std::int16_t>> previous;
        if (header.dotted && any_timer_tested(setup)) previous = previous_scan(run, wafer, setup.saved_channels);
        test_timers(trace, setup, services, header.dotted, previous ? &*previous : nullptr);
        test_channel_statistics(trace, setup, services);
    }
    if (sc_handle > 0) {
        SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_PLOT_BGCOLOR, status_color);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_PLOT_BGCOLOR, status_color);
        if (status_color == STATUS_YELLOW) SetMenuBarAttribute(handle_menu, MENUBAR_ALARMS_CLEAR_ALARMS, ATTR_DIMMED, 0);
    }
}

}  // namespace

short test_trace(short* blockBuffer, int run, short wafer, int panel, int mode, const char* traceId,
                 const char* recipeName, short precoat, short plot)
{
    // The trace and the record are held in memory for the test; running out of it
    // ends the program the way every other allocation failure does.
    try {
        test_stored_trace(blockBuffer, run, wafer, panel, mode, traceId, recipeName, precoat, plot);
    } catch (const std::bad_alloc&) {
        EXIT_NOW("NULL pointer returned");
    }
    return 1;
}
