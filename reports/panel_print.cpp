// The Print command of the chart windows: the SPC chart with its histograms and limit lines, or the strip chart's
// listed traces with legend and cursors, written through the PDF chart writer and opened in the viewer.
#include "reports/panel_print.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/axes.h"
#include "acquisition/run_model.h"
#include "core/config_store.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/run_lookup.h"
#include "core/run_table.h"
#include "core/shared_buffers.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "panels/s_chart.h"
#include "panels/x_hist.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/sys/read_number.h"
#include "platform/ui/userint.h"
#include "reports/launch_pdf.h"
#include "reports/pdf_chart.h"
#include "spc/chart_data.h"
#include "spc/chart_window.h"

namespace {

// Length of the colour escape that opens every legend label.
constexpr int kColourEscape = 9;

constexpr int kPorBlue = 0x0000FF;
constexpr int kTestBlack = 0x000000;
constexpr int kNaturalGreen = 0x00FF00;
constexpr int kSpecRed = 0xFF0000;

bool parse_number_text(const std::string& text, double& out)
{
    const char* s = text.c_str();
    return vsys::read_number(s, s + text.size(), out) && std::isfinite(out);
}

template <typename T>
T checked_alloc(std::size_t n)
{
    try {
        return T(n);
    } catch (const std::bad_alloc&) {
        EXIT_NOW("NULL pointer returned");
        throw;
    }
}

// The file dialog and the title; false when no file was chosen.
bool choose_file(const std::string& directory, const char* defaultName, char (&path)[260], SChart& chart)
{
    const int chosen = FileSelectPopup(directory.c_str(), defaultName, "*.pdf", "Please enter a file name...",
                                       VAL_SAVE_BUTTON, 0, 1, 1, 1, path);
    if (chosen != VAL_EXISTING_FILE_SELECTED && chosen != VAL_NEW_FILE_SELECTED) return false;
    schartDefault(&chart);
    chart.typedPath = true;
    vsys::format_into(chart.title, sizeof chart.title, "%s", reports::report_title(path).c_str());
    return true;
}

void take_axes(int panel, int graph, bool withX, SChart& c)
{
    int mode = 0, divisions = 0, precision = 0;
    if (withX) {
        GetAxisScalingMode(panel, graph, VAL_XAXIS, &mode, &c.xMin, &c.xMax);
        GetCtrlAttribute(panel, graph, ATTR_XDIVISIONS, &divisions);
        GetCtrlAttribute(panel, graph, ATTR_XPRECISION, &precision);
        // A graph without divisions leaves a zero step, which the writer repairs.
        c.xGridStep = c.xLabelStep = divisions > 0 ? (c.xMax - c.xMin) / divisions : 0.0;
        c.xDecimals = static_cast<std::int8_t>(std::clamp(precision, 0, 15));
    }
    divisions = 0;
    precision = 0;
    GetAxisScalingMode(panel, graph, VAL_LEFT_YAXIS, &mode, &c.yMin, &c.yMax);
    GetCtrlAttribute(panel, graph, ATTR_YDIVISIONS, &divisions);
    GetCtrlAttribute(panel, graph, ATTR_YPRECISION, &precision);
    c.yGridStep = c.yLabelStep = divisions > 0 ? (c.yMax - c.yMin) / divisions : 0.0;
    c.yDecimals = static_cast<std::int8_t>(std::clamp(precision, 0, 15));
}

// One SPC series: the line through dots, then its histogram beside the plot. An empty series draws nothing.
void spc_series(const std::vector<double>& values, int count, int colour, SChart& chart)
{
    count = std::min<int>(count, static_cast<int>(values.size()));
    if (count <= 0) return;
    auto positions = checked_alloc<std::vector<double>>(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) positions[static_cast<std::size_t>(i)] = -i;
    schartPlotLineWithCircles(positions.data(), values.data(), count, 3, colour, colour, &chart);
    std::vector<double> centres;
    std::vector<int> counts;
    int bins = 0;
    GenerateHistogram(values.data(), count, chart.yMin, chart.yMax, centres, &bins, counts);
    if (bins > 0 && counts.size() >= static_cast<std::size_t>(bins)) schartHistogram(counts.data(), bins, colour, &chart);
}

void print_spc(const std::string& directory)
{
    char path[260] = "";
    SChart chart;
    if (!choose_file(directory, "SpcChart.pdf", path, chart)) return;
    take_axes(spc_panel, SPC_CHART, true, chart);
    if (schartInitialize(&chart, path, vt_dir.c_str()) != 0) return;
    // What the chart window shows: its own chart record.
    const ChartRecord& shown = shown_chart();
    if (compare_panel > 0 && por_chart_points > 0) spc_series(por_x_array, por_chart_points, kPorBlue, chart);
    spc_series(shown.values, shown.points, kTestBlack, chart);
    int natural = 1, spec = 1;
    GetCtrlVal(spc_panel, SPC_NATURAL, &natural);
    GetCtrlVal(spc_panel, SPC_SPEC, &spec);
    if (natural == 0)
        for (double y : {shown.data_mean, shown.data_mean + 3 * shown.data_stdev, shown.data_mean - 3 * shown.data_stdev})
            schartMarkY(y, kNaturalGreen, "", &chart);
    if (spec == 0) {
        const struct {
            double sigmas;
            const char* dash;
        } lines[] = {{0, ""}, {1, "3"}, {2, "3"}, {3, ""}, {-1, "3"}, {-2, "3"}, {-3, ""}};
        for (const auto& l : lines)
            schartMarkY(shown.rule_mean + l.sigmas * shown.rule_stdev, kSpecRed, l.dash, &chart);
    }
    if (schartFinish(&chart) == 0) LaunchPdfView(path);
}

// The legend's channels that are printed (all, or those of the user's show/hide choice), and the widest name.
void choose_channels(std::array<bool, 33>& chosen, SChart& chart)
{
    chosen.fill(false);
    int items = 0, choiceVisible = 0, shownItems = 0;
    GetNumListItems(legend_panel, LEGEND_CHANNELS, &items);
    GetCtrlAttribute(legend_panel, LEGEND_SHOWN, ATTR_VISIBLE, &choiceVisible);
    for (int i = 0; i < items; ++i) {
        char label[300] = "";
        GetLabelFromIndex(legend_panel, LEGEND_CHANNELS, i, label);
        const int length = static_cast<int>(std::strlen(label));
        if (length - kColourEscape > chart.legendWidth) chart.legendWidth = length - kColourEscape;
        int channel = 0;
        if (GetValueFromIndex(legend_panel, LEGEND_CHANNELS, i, &channel) < 0) continue;
        if (channel < 0 || channel > 32) continue;
        if (!choiceVisible) {
            chosen[static_cast<std::size_t>(channel)] = true;
        } else if (GetIndexFromValue(legend_panel, LEGEND_SHOWN, &shownItems, channel) >= 0 && shownItems >= 0) {
            chosen[static_cast<std::size_t>(channel)] = true;
        }
    }
}

struct LegendState {
    std::array<bool, 33> written{};
    int next = 1;
};

// Draws the chosen channels of one listed trace; returns the last plot result, or -2 when nothing was opened.
int plot_listed_trace(const PlaybackListLine& line, const RunRecord& run, const std::array<bool, 33>& chosen,
                      LegendState& legend, SChart& chart)
{
    const std::string file = line.run < 0 ? por_trace_path(vt_dir, -line.run) : wafer_trace_path(vt_dir, line.run, line.wafer);
    vsys::FilePtr trace = vsys::open_file(file, "rb");
    if (!trace) return -2;
    SChartTrace t;
    if (run.rate_index > 0) {
        t.scansPerBlock = run.rate_index;
        t.xStep = 1.0 / run.rate_index;
    } else {
        t.scansPerBlock = 1;
        t.xStep = std::abs(run.rate_index);
    }
    t.channelsPerScan = run.channels.saved;
    t.file = trace.get();
    const int adc = run.channels.adc_bits == 0 ? 0 : 1;
    const int channelCount = std::min<int>(run.channels.channels.value_or(32), 32);
    int result = -2;
    int k = 0;
    for (int ch = 1; ch <= channelCount; ++ch) {
        if (!(run.channels.mask & (1u << (ch - 1)))) continue;
        ++k;
        if (!chosen[static_cast<std::size_t>(ch)]) continue;
        const int colour = round_to_int(get_put_number(4, static_cast<short>(ch), NUMBER_T_READ, 0.0));
        char name[33] = "";
        get_put_char(hdbc, 28, ch, TAGS_READ, name);
        if (!legend.written[static_cast<std::size_t>(ch)]) {
            schartLegendEntry(name, legend.next, colour, &chart);
            ++legend.next;
            legend.written[static_cast<std::size_t>(ch)] = true;
        }
        t.yOffset = channel_inter[ch];
        t.yScale = channel_slope[ch] * BinaryToVoltage[adc];
        t.xStart = line.x;
        t.channelPosition = run.channels.saved - k;
        result = schartBinPlot(&t, static_cast<unsigned>(colour), line.style == 2 ? 1 : 0, &chart);
    }
    return result;
}

void print_strip_chart(const std::string& directory)
{
    const std::optional<std::vector<PlaybackListLine>> listed = reports::read_listed_traces(playback_list_path());
    if (!listed) {
        MessagePopup("PDF Error",
                     "No traces selected to print.  Please click on the Playback button and select the traces you "
                     "would like to print.");
        return;
    }
    char path[260] = "";
    SChart chart;
    if (!choose_file(directory, "Chart.pdf", path, chart)) return;
    const std::vector<PlaybackListLine>& lines = *listed;

    int graphVisible = 0, cursors = 0;
    GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_VISIBLE, &graphVisible);
    if (graphVisible) {
        take_axes(sc_handle, SCHART_PLAYBACK, true, chart);
        GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS, &cursors);
    } else {
        std::string start, end;
        GetCtrlVal(sc_handle, SCHART_X_START, &start);
        GetCtrlVal(sc_handle, SCHART_X_END, &end);
        double xMin = 0.0, xMax = 0.0;
        if (!parse_number_text(start, xMin)) xMin = 0.0;
        if (!parse_number_text(end, xMax)) xMax = xMin + 1.0;
        int divisions = 0, precision = 0;
        auto_axis(&xMin, &xMax, &divisions, &precision);
        chart.xMin = xMin;
        chart.xMax = xMax;
        chart.xDecimals = static_cast<std::int8_t>(std::clamp(precision, 0, 15));
        chart.xGridStep = chart.xLabelStep = divisions > 0 ? (xMax - xMin) / divisions : 0.0;
        take_axes(sc_handle, SCHART_STRIP, false, chart);
    }
    int xGrid = 0, yGrid = 0;
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_XGRID_VISIBLE, &xGrid);
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_YGRID_VISIBLE, &yGrid);
    chart.options.xGrid = xGrid ? 1 : 0;
    chart.options.yGrid = yGrid ? 1 : 0;
    const bool withCursors = graphVisible && cursors >= 1;
    if (withCursors) {
        chart.cursorDecimals = 4;
        GetGraphCursor(sc_handle, SCHART_PLAYBACK, 1, &chart.cursor1X, &chart.cursor1Y);
        chart.options.showCursor1 = 1;
        if (cursors >= 2) {
            GetGraphCursor(sc_handle, SCHART_PLAYBACK, 2, &chart.cursor2X, &chart.cursor2Y);
            chart.options.showCursor2 = 1;
        }
        std::size_t longest = 0;
        for (double v : {chart.cursor1X, chart.cursor1Y, chart.cursor2X, chart.cursor2Y})
            longest = std::max(longest, vsys::strprintf("%+.4lf", v).size());
        chart.legendWidth = static_cast<std::int32_t>(longest) + 3;
    } else {
        chart.legendWidth = 0;
    }
    std::array<bool, 33> chosen{};
    choose_channels(chosen, chart);

    if (schartInitialize(&chart, path, vt_dir.c_str()) != 0) return;
    schartMarkCursors(&chart);
    LegendState legend;
    int lastPlot = 0;
    SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, 1);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const PlaybackListLine& line = lines[i];
        const double endX = i + 1 < lines.size() ? lines[i + 1].x : chart.xMin + 1.0;
        if (endX <= chart.xMin) continue;  // scrolled out to the left: not even looked up
        // The listed run's settings are read into a record of their own: a run being recorded keeps its settings.
        const RunRecord run = look_up_run(hdbc, line.run);
        // A run without a row has no settings to read its file with.
        if (!run.found) continue;
        std::string progress = "Please wait...";
        if (lastPlot != 0) {
            std::string traceId = run.trace_id, recipe = run.recipe;
            progress = line.run > 0 ? vsys::strprintf("Now converting %s trigger %d", traceId.c_str(), line.wafer)
                                    : vsys::strprintf("Now converting %s POR", recipe.c_str());
        }
        SetCtrlVal(sc_handle, SCHART_PLAY_INFO, progress.c_str());
        const int plotted = plot_listed_trace(line, run, chosen, legend, chart);
        if (plotted != -2) lastPlot = plotted;
    }
    if (withCursors) schartMarkCursors(&chart);
    if (schartFinish(&chart) == 0) LaunchPdfView(path);
    SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, 0);
}

}  // namespace

namespace reports {

std::optional<std::vector<PlaybackListLine>> read_listed_traces(const std::string& path)
{
    vsys::FilePtr file = vsys::open_file(path, "r");
    if (!file) return std::nullopt;
    std::vector<PlaybackListLine> lines;
    char buffer[259];
    while (std::fgets(buffer, sizeof buffer, file.get())) {
        std::string_view text(buffer);
        if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
        const std::optional<PlaybackListLine> line = parse_playback_line(text);
        if (!line) break;
        lines.push_back(*line);
    }
    return lines;
}

std::string report_title(const char* path)
{
    std::string base = path ? path : "";
    const std::size_t slash = base.find_last_of("/\\");
    if (slash != std::string::npos) base.erase(0, slash + 1);
    const std::size_t dot = base.find('.');
    if (dot != std::string::npos) base.resize(dot);
    if (base.size() > 63) {
        // Never end inside a multi-byte character.
        std::size_t cut = 63;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    return base;
}

}  // namespace reports

int panel_print(int panel, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/, int /*eventData2*/)
{
    if (event != EVENT_COMMIT) return 0;
    const std::string directory = vsys::path_join(vt_dir, "printPDF");
    static_cast<void>(MakeDir(directory.c_str()));  // already there is fine
    if (panel == spc_panel && spc_panel > 0)
        print_spc(directory);
    else if (panel == sc_handle && sc_handle > 0)
        print_strip_chart(directory);
    return 0;
}
