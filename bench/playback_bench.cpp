// Speed of playback: one 60 s wafer of 32 channels at 100 scans a second replayed to the strip chart (with its
// rewind history) and to a text file, and one summary chart checked over 1,000 chosen traces.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "acquisition/install.h"
#include "core/callbacks.h"
#include "core/config_store.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "core/trace_file.h"
#include "panels/s_chart.h"
#include "platform/sys/clock.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "playback/pacing.h"
#include "playback/playback.h"
#include "playback/replay.h"
#include "reports/install.h"
#include "setup/install.h"
#include "spc/chart_catalogue.h"
#include "spc/limit_table.h"
#include "testing/install.h"

namespace {

constexpr int kRate = 100, kChannels = 32, kSeconds = 60;

struct Bench {
    std::string dir;
    std::string trace;
    int selection = 0;
    std::string problem;  // why the fixture cannot be trusted; empty when it can
    Bench()
    {
        dir = (std::filesystem::temp_directory_path() / "vantrel_playback_bench").string();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir + "/SC_DATA");
        vt_dir = dir;
        vsys::set_project_dir_override(VANTREL_BIN_DIR);
        vsys::simulate_clock({2026, 3, 14, 9, 30, 0});
        vui::register_callbacks(core_callbacks());
        vui::register_callbacks(setup_callbacks());
        vui::register_callbacks(testing_callbacks());
        vui::register_callbacks(playback_callbacks());
        // The strip chart panel names the print callback: without it the panel does not load.
        vui::register_callbacks(reports_callbacks());
        install_acquisition();
        sc_handle = LoadPanel(0, "s_chart.uir", 2);
        if (sc_handle < 0) problem = vsys::strprintf("s_chart.uir did not load (%d)", sc_handle);
        hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir).c_str());
        check_tables(&hdbc);
        for (int c = 0; c <= 32; ++c) {
            channel_slope[c] = 1.0;
            channel_inter[c] = 0.0;
        }
        trace = wafer_trace_path(dir, 1, 1);
        std::string error;
        vsys::FilePtr f = create_trace_file(trace, error);
        bool written = write_trace_header(f.get(), "09.30.00", "2026/03/14");
        std::vector<std::int16_t> raw(static_cast<std::size_t>(kRate * kChannels));
        const std::int32_t trailer[5] = {};
        for (int s = 0; s < kSeconds && written; ++s) {
            for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::int16_t>((i * 7 + s * 13) % 4096);
            written = write_trace_block(f.get(), raw.data(), static_cast<int>(raw.size()), trailer);
        }
        if (!written && problem.empty()) problem = "the trace could not be written: " + error;
    }
    PlaybackState state(int output)
    {
        PlaybackState s;
        s.output = output;
        s.graph_kind = output != OUT_STRIP;
        s.time_column = true;
        s.checked = 1;
        for (int ch = 1; ch <= 32; ++ch) s.show[ch] = 1;
        s.item_run = 1;
        s.record.run = 1;
        s.record.trace_id = "BENCH";
        s.record.rate_index = kRate;
        s.record.rate = kRate;
        s.record.channels.mask = 0xFFFFFFFFu;
        s.record.channels.saved = kChannels;
        s.record.channels.adc_bits = 0;
        s.layout = layout_of(s.record);
        s.list_path = dir + "/playback.tmp";
        s.text_path = dir + "/text";
        s.wafer = s.first_wafer = s.last_wafer = 1;
        s.points_per_screen = 3000;
        allocate_run_buffers(s);
        return s;
    }
};

Bench& bench()
{
    static Bench b;
    return b;
}

// A replay that stopped early is timed over less work: its numbers are refused.
bool covered_whole_trace(benchmark::State& st, int seconds)
{
    if (seconds == kSeconds) return true;
    st.SkipWithError(vsys::strprintf("replayed %d s of %d s", seconds, kSeconds).c_str());
    return false;
}

void BM_Replay60s32ChannelsToStripChart(benchmark::State& st)
{
    Bench& b = bench();
    if (!b.problem.empty()) return st.SkipWithError(b.problem.c_str());
    SetCtrlVal(sc_handle, SCHART_PLAY, 1);
    int seconds = 0;
    for (auto _ : st) {
        PlaybackState s = b.state(OUT_STRIP);
        create_play_buttons(s);
        SetCtrlVal(sc_handle, r_button, 0);
        SetCtrlVal(sc_handle, f_button, 1);
        ClearStripChart(sc_handle, SCHART_STRIP);
        replay_trace(s, vsys::open_file(b.trace, "rb"));
        discard_play_buttons(s);
        seconds = s.elapsed;
        if (!covered_whole_trace(st, seconds)) break;
    }
    st.counters["seconds"] = seconds;
}
BENCHMARK(BM_Replay60s32ChannelsToStripChart)->Unit(benchmark::kMillisecond);

void BM_Replay60s32ChannelsToTextFile(benchmark::State& st)
{
    Bench& b = bench();
    if (!b.problem.empty()) return st.SkipWithError(b.problem.c_str());
    SetCtrlVal(sc_handle, SCHART_PLAY, 1);
    int seconds = 0;
    for (auto _ : st) {
        PlaybackState s = b.state(OUT_TEXT);
        replay_trace(s, vsys::open_file(b.trace, "rb"));
        seconds = s.elapsed;
        if (!covered_whole_trace(st, seconds)) break;
    }
    st.counters["seconds"] = seconds;
    st.counters["bytes"] = static_cast<double>(vsys::file_size(b.dir + "/text.001").value_or(0));
}
BENCHMARK(BM_Replay60s32ChannelsToTextFile)->Unit(benchmark::kMillisecond);

// One activated mean chart with limits; 1,000 runs of one wafer each with a result row, all chosen.
void BM_SummarizeOneChartOver1000Traces(benchmark::State& st)
{
    Bench& b = bench();
    if (!b.problem.empty()) return st.SkipWithError(b.problem.c_str());
    char number[33] = "3";
    get_put_char(hdbc, 0, 5, CONFIG_WRITE, number);
    recipe_num = 3;
    create_other_table(&hdbc, 1);
    for (int run = 1; run <= 1000; ++run) {
        DBImmediateSQL(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SAV_DATE, "
                                             "SAV_TIME) VALUES (%d, 1, 'ETCH', 'LOT%d', '2026/03/14', '09:30:00')",
                                             run, run)
                                 .c_str());
        DBImmediateSQL(hdbc, vsys::strprintf("INSERT INTO OTHER_01 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %d)", run,
                                             run % 17)
                                 .c_str());
    }
    short ch = 1, type = 0, sub = 1, step = 0;
    int points = 30, pager = 0, rules = 0, halt = 0;
    short limits = 0;
    char trees[105] = "eMpTy tExT", text[255] = "eMpTy tExT";
    chart_preferences(CHART_WRITE, &ch, &type, &sub, &step, &points, &pager, &rules, &limits, trees, text, &halt);
    double lim[3] = {0, 8, 16};
    step_specs(LIMITS_WRITE, 0, 1, 1, 0, lim);
    const int panel = LoadPanel(0, "sc_sel.uir", 1);
    if (panel < 0) return st.SkipWithError(vsys::strprintf("sc_sel.uir did not load (%d)", panel).c_str());
    SetCtrlAttribute(panel, 3, ATTR_CHECK_MODE, 1);
    for (int run = 1000; run >= 1; --run) {
        InsertListItem(panel, 3, -1, vsys::strprintf("\033p30lLOT%d", run).c_str(), run);
        CheckListItem(panel, 3, 1000 - run, 1);
    }
    ChartRecord chart;
    chart.channel = 1;
    chart.type = 0;
    chart.subtype = 1;
    chart.step = 0;
    int violations = 0;
    for (auto _ : st) {
        std::string out;
        violations = SummarizeParameter(chart, panel, 3, out, 0);
        benchmark::DoNotOptimize(out);
    }
    st.counters["violations"] = violations;
}
BENCHMARK(BM_SummarizeOneChartOver1000Traces)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
