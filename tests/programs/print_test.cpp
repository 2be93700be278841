// The Print command of the SPC chart and strip-chart windows, pressed as a user does, checked with real PDF tools.
#include "core/schema.h"
#include "core/shared_buffers.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "panels/wafers.h"
#include "panels/x_hist.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "platform/ui/view.h"
#include "playback/playback_list.h"
#include "programs/wiring.h"
#include "reports/panel_print.h"
#include "reports/pdf_chart.h"
#include "spc/chart_data.h"
#include "spc/chart_window.h"
#include "tests/acquisition/acq_fixture.h"
#include "tests/support/menu_path.h"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdio>
#include <regex>
#include <sstream>
#include <vector>

namespace {

std::string run_tool(const std::string& command, int* code, std::string* err)
{
    const std::string errFile = std::filesystem::temp_directory_path() / ("vt_print_tool_" + std::to_string(getpid()));
    std::FILE* p = popen((command + " 2>'" + errFile + "'").c_str(), "r");
    std::string out;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int status = pclose(p);
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    std::ostringstream text;
    text << in.rdbuf();
    *err = text.str();
    std::remove(errFile.c_str());
    return out;
}

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// What the page draws of an SPC series: the centres of its filled dots and its histogram bars.
struct SeriesMarks {
    struct Bar {
        double bottom = 0, height = 0, length = 0;
    };
    std::vector<double> dots;
    std::vector<Bar> bars;
};

SeriesMarks series_marks(const std::string& page, double radius)
{
    std::vector<std::string> lines;
    std::istringstream in(page);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    SeriesMarks m;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        double x = 0, y = 0, w = 0, h = 0;
        char op[3] = "";
        // A dot is a move to its bottom, four curves and a fill ("b").
        if (lines[i] == "b" && i >= 5 && std::sscanf(lines[i - 5].c_str(), "%lf %lf %2s", &x, &y, op) == 3 &&
            std::string(op) == "m")
            m.dots.push_back(y + radius);
        // A bar is a rectangle that is filled ("f"); the frame's rectangles are stroked.
        if (i + 1 < lines.size() && lines[i + 1] == "f" &&
            std::sscanf(lines[i].c_str(), "%lf %lf %lf %lf %2s", &x, &y, &w, &h, op) == 5 && std::string(op) == "re")
            m.bars.push_back({y, h, w});
    }
    return m;
}

class PrintTest : public acqtest::AcqTest {
protected:
    int page = 0;
    void SetUp() override
    {
        AcqTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        page = vui::subscribe([](const nlohmann::json&) {});  // a connected browser view
    }
    void TearDown() override
    {
        vui::unsubscribe(page);
        if (spc_panel > 0) DiscardPanel(spc_panel);
        spc_panel = -1;
        free_mem();
        AcqTest::TearDown();
    }
    std::string report(const std::string& name) const { return dir.file("printPDF") + "/" + name; }

    // The PDF passes qpdf and poppler; returns its page text.
    std::string check_pdf(const std::string& pdf)
    {
        int code = 0;
        std::string err;
        run_tool("qpdf --check '" + pdf + "'", &code, &err);
        EXPECT_EQ(code, 0) << err;
        const std::string info = run_tool("pdfinfo '" + pdf + "'", &code, &err);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(err, "");
        EXPECT_TRUE(std::regex_search(info, std::regex("\nPages: +1\n"))) << info;
        EXPECT_TRUE(std::regex_search(info, std::regex("\nPage size: +792 x 612 pts"))) << info;
        EXPECT_TRUE(std::regex_search(info, std::regex("\nPDF version: +1\\.6\n"))) << info;
        const std::string text = run_tool("pdftotext -layout '" + pdf + "' -", &code, &err);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(err, "");
        return text;
    }
    // The page's drawing operators, inflated by qpdf.
    std::string page_lines(const std::string& pdf)
    {
        int code = 0;
        std::string err;
        std::string out = run_tool("qpdf --show-object=5 --filtered-stream-data '" + pdf + "'", &code, &err);
        EXPECT_EQ(code, 0) << err;
        return out;
    }

    void record_two_wafers()
    {
        delay = 1;
        minimum_trig_width = 0;
        source->ch1 = "0110001100";
        source->ch2 = "0011111111";
        start();
        tick(10);
        stop();
        ASSERT_TRUE(vsys::file_exists(trace_file(1, 1)));
    }

    // The mean chart of CH2 over runs 1..30 with `value`(run) as each run's mean, 20 points shown.
    void open_mean_chart(double (*value)(int run) = [](int run) { return 10.0 + (run % 5) * 0.1; })
    {
        ASSERT_EQ(create_other_table(&hdbc, 2), 0);
        for (int run = 1; run <= 30; ++run) {
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SYSTEM_ID, "
                                                       "SAV_DATE, SAV_TIME, COMMENT) VALUES (%d, 1, 'ETCH', 'LOT%d', "
                                                       "'TOOL_A', '2026/02/03', '04:05:06', 'none')",
                                                       run, run)),
                      0);
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_02 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.3f)",
                                                       run, value(run))),
                      0);
        }
        update_menu();
        const int mean = vtest::menu_path(ui, handle_menu, "Charts/Static Channel Charts/CH2/Mean");
        ASSERT_GT(mean, 0);
        ASSERT_TRUE(ui.pick(handle_menu, mean));
        const int dialog = ui.find_panel("WAFERS");
        ASSERT_GT(dialog, 0);
        ASSERT_TRUE(ui.set(dialog, WAFERS_POINTS, 20));
        ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
        ASSERT_GT(spc_panel, 0);
        ASSERT_EQ(shown_chart().points, 20);
    }
};

TEST_F(PrintTest, SpcChartPrintShowsTheSeriesHistogramAndTheLimitLinesTheWindowShows)
{
    open_mean_chart();
    // Both switches at 0: the window shows three green and seven red lines.
    ASSERT_EQ(ui.ival(spc_panel, SPC_NATURAL), 0);
    ASSERT_EQ(ui.ival(spc_panel, SPC_SPEC), 0);
    ui.answer_path(report("Mean (CH2).pdf"));
    ASSERT_TRUE(ui.press(spc_panel, SPC_PRINT));
    const std::string pdf = report("Mean (CH2).pdf");
    ASSERT_TRUE(vsys::file_exists(pdf));
    EXPECT_EQ(ui.documents(), std::vector<std::string>{pdf});
    const std::string text = check_pdf(pdf);
    EXPECT_NE(text.find("Mean (CH2)"), std::string::npos) << text;
    const std::string lines = page_lines(pdf);
    EXPECT_EQ(count(lines, "0.000 1.000 0.000 RG"), 3u);
    EXPECT_EQ(count(lines, "1.000 0.000 0.000 RG"), 7u);
    EXPECT_EQ(count(lines, "[3] 0 d"), 4u);  // the red one- and two-sigma lines
    EXPECT_EQ(count(lines, "0.000 0.000 1.000 RG"), 0u) << "no POR series without the comparison window";
    EXPECT_EQ(count(lines, "0.000 0.000 0.000 RG"), 2u) << "the TEST series line and its histogram";
    EXPECT_EQ(count(lines, "\nb\r"), 20u) << "a filled dot per point";
    EXPECT_GE(count(lines, "\nf\r"), 1u) << "the histogram's bars";

    // Hiding both sets of lines in the window leaves them off the page.
    ASSERT_TRUE(ui.set(spc_panel, SPC_NATURAL, 1));
    ASSERT_TRUE(ui.set(spc_panel, SPC_SPEC, 1));
    ui.answer_path(report("Hidden.pdf"));
    ASSERT_TRUE(ui.press(spc_panel, SPC_PRINT));
    check_pdf(report("Hidden.pdf"));
    const std::string hidden = page_lines(report("Hidden.pdf"));
    EXPECT_EQ(count(hidden, "0.000 1.000 0.000 RG"), 0u);
    EXPECT_EQ(count(hidden, "1.000 0.000 0.000 RG"), 0u);
}

// Two clusters of points, whatever limit lines the window shows (they rescale its y axis): each histogram bar lies
// beside the points it counts, and its length is their share of the longest bar's.
TEST_F(PrintTest, SpcChartPrintHistogramBarsFaceThePointsTheyCount)
{
    open_mean_chart([](int run) { return run % 2 ? 10.0 + (run % 3) * 0.01 : 14.0 - (run % 3) * 0.01; });
    struct Case {
        const char* label;
        int hide_natural, hide_spec;
    };
    for (const Case& c : {Case{"both sets of limit lines", 0, 0}, Case{"natural limits only", 0, 1},
                          Case{"specification limits only", 1, 0}, Case{"no limit lines", 1, 1}}) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(ui.set(spc_panel, SPC_NATURAL, c.hide_natural));
        ASSERT_TRUE(ui.set(spc_panel, SPC_SPEC, c.hide_spec));
        ui.answer_path(report("Clusters.pdf"));
        ASSERT_TRUE(ui.press(spc_panel, SPC_PRINT));
        const SeriesMarks m = series_marks(page_lines(report("Clusters.pdf")), 3.0);
        ASSERT_EQ(m.dots.size(), 20u);
        ASSERT_FALSE(m.bars.empty());
        // A bar faces the y interval of its bin: the bar and the gaps of a twentieth of a bin on either side.
        std::vector<int> faced(m.bars.size(), 0);
        for (double y : m.dots) {
            int found = 0;
            for (std::size_t b = 0; b < m.bars.size(); ++b) {
                const double bin = m.bars[b].height / 0.9;
                if (m.bars[b].bottom - 0.05 * bin <= y && y < m.bars[b].bottom + 0.95 * bin) {
                    ++faced[b];
                    ++found;
                }
            }
            EXPECT_EQ(found, 1) << "the dot at page y " << y << " faces " << found << " bars";
        }
        double longest = 0;
        for (const auto& bar : m.bars) longest = std::max(longest, bar.length);
        const int most = *std::max_element(faced.begin(), faced.end());
        ASSERT_GT(most, 0);
        for (std::size_t b = 0; b < m.bars.size(); ++b)
            EXPECT_NEAR(m.bars[b].length / longest, static_cast<double>(faced[b]) / most, 0.01)
                << "the bar at page y " << m.bars[b].bottom << " faces " << faced[b] << " dots";
    }
}

TEST_F(PrintTest, SpcChartWithoutPointsPrintsFrameOnlyAndCancelWritesNothing)
{
    open_mean_chart();
    const std::vector<double> kept = shown_chart().values;
    shown_chart().points = 0;
    ui.answer_path(report("SpcChart.pdf"));
    ASSERT_TRUE(ui.press(spc_panel, SPC_PRINT));
    check_pdf(report("SpcChart.pdf"));
    const std::string empty = page_lines(report("SpcChart.pdf"));
    EXPECT_EQ(count(empty, "\nb\r"), 0u) << "no dots";
    EXPECT_EQ(count(empty, "\nf\r"), 0u) << "no histogram bars";
    EXPECT_EQ(count(empty, "0.000 0.000 0.000 RG"), 0u) << "no series line and no histogram";
    shown_chart().points = static_cast<int>(kept.size());

    ui.answer_cancel();
    ASSERT_TRUE(ui.press(spc_panel, SPC_PRINT));
    EXPECT_EQ(ui.popups().back().kind, "file");
    EXPECT_EQ(ui.popups().back().title, "Please enter a file name...");
    EXPECT_EQ(ui.documents().size(), 1u);
}

TEST_F(PrintTest, StripChartPrintWithoutAPlaybackListSaysSoAndAsksForNoFile)
{
    std::remove(dir.file("playback.tmp").c_str());
    ui.answer(1);
    ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT));
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups().back().title, "PDF Error");
    EXPECT_EQ(ui.popups().back().text, "No traces selected to print.  Please click on the Playback button and select "
                                       "the traces you would like to print.");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("printPDF")));
    EXPECT_TRUE(ui.documents().empty());
}

TEST_F(PrintTest, StripChartPrintDrawsTheRecordedTracesWithLegendAndTicks)
{
    record_two_wafers();
    ui.answer_path(report("Run 1.pdf"));
    ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT));
    EXPECT_EQ(ui.popups().back().kind, "file");
    const std::string pdf = report("Run 1.pdf");
    EXPECT_EQ(ui.documents(), std::vector<std::string>{pdf});
    const std::string text = check_pdf(pdf);
    for (const char* want : {"Run 1", "CH1", "CH2", "CH3", "0.0"}) EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    EXPECT_EQ(count(text, "CH1"), 1u) << "one legend entry per channel over both wafers";
    int progressVisible = 1;
    GetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, &progressVisible);
    EXPECT_EQ(progressVisible, 0);
}

TEST_F(PrintTest, StripChartPrintOfThePlaybackGraphShowsBothCursorReadOutsTwice)
{
    record_two_wafers();
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_VISIBLE, 1);
    SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_XAXIS, VAL_MANUAL, 0.0, 10.0);
    SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_LEFT_YAXIS, VAL_MANUAL, -1.0, 5.0);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS, 2);
    SetGraphCursor(sc_handle, SCHART_PLAYBACK, 1, 2.5, 3.75);
    SetGraphCursor(sc_handle, SCHART_PLAYBACK, 2, 7.25, -0.5);
    ui.answer_path(report("Cursors.pdf"));
    ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT));
    const std::string text = check_pdf(report("Cursors.pdf"));
    for (const char* want : {"X1=+2.5000", "Y1=+3.7500", "X2=+7.2500", "Y2=-0.5000", "dX=-4.7500", "dY=+4.2500", "10.0"})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    EXPECT_EQ(count(page_lines(report("Cursors.pdf")), "0.0 0.5 0.0 RG"), 2u) << "cursor 1 drawn before and after the traces";
}

TEST_F(PrintTest, ListedRunsWithoutARowOrFileAreSkippedAndStyleTwoIsDashed)
{
    record_two_wafers();
    // Run 7 has a trace file but no row: drawing it with run 1's settings would put a trace on the page.
    std::filesystem::copy_file(trace_file(1, 1), trace_file(7, 1));
    const std::string pdf = report("Skips.pdf");
    std::ofstream(dir.file("playback.tmp"), std::ios::trunc) << "7\t1\t0.0000 0\n8\t1\t0.5000 0\n1\t1\t1.0000 2\n";
    ui.answer_path(pdf);
    ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT));
    check_pdf(pdf);
    const std::string withSkips = page_lines(pdf);
    EXPECT_EQ(count(withSkips, "[3] 0 d"), 3u) << "three channels of the one dashed trace";

    std::ofstream(dir.file("playback.tmp"), std::ios::trunc) << "1\t1\t1.0000 2\n";
    ui.answer_path(pdf);
    ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT));
    EXPECT_EQ(withSkips, page_lines(pdf)) << "the run without a row and the missing file drew nothing";
}

// The print draws what the chart shows. Acquisition listed its wafers for the strip chart; an overlay added to the
// then empty graph shows only the overlay's traces, and an output that draws nothing leaves nothing to print.
TEST_F(PrintTest, StripChartPrintDrawsOnlyWhatThePlaybackShows)
{
    record_two_wafers();
    ASSERT_GE(read_playback_list(dir.file("playback.tmp")).size(), 2u);
    auto play = [&](const std::string& output, int answer) {
        ASSERT_TRUE(ui.press(sc_handle, SCHART_PLAY));
        const int panel = ui.find_panel("SC_SEL");
        ASSERT_GT(panel, 0);
        const auto items = ui.plain_items(panel, SC_SEL_DESTINATION);
        const auto at = std::find(items.begin(), items.end(), output);
        ASSERT_NE(at, items.end()) << output;
        ASSERT_TRUE(ui.select(panel, SC_SEL_DESTINATION, static_cast<int>(at - items.begin()), true));
        ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
        ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 1));
        if (answer > 0) ui.answer(answer);
        ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    };
    constexpr int kAddToCurrentChart = 1;
    play("Strip Chart Overlay with Auto X Scale", kAddToCurrentChart);
    // Runs 2 and 1 (one wafer each) laid over each other, newest first and dotted.
    const auto listed = read_playback_list(dir.file("playback.tmp"));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].run, 2);
    EXPECT_EQ(listed[0].style, 2);
    EXPECT_EQ(listed[1].run, 1);
    EXPECT_EQ(listed[1].style, 0);
    const std::string trace = rows("SELECT TRACE_ID FROM VT_INFO WHERE RUN_NUM = 2");
    EXPECT_EQ(ui.text(sc_handle, SCHART_COMMENT), " - - - - - - " + trace + " #1");
    const std::string overlay = report("Overlay.pdf");
    ui.answer_path(overlay);
    ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT));
    check_pdf(overlay);
    EXPECT_EQ(count(page_lines(overlay), "[3] 0 d"), 3u) << "the dotted wafer's three channels, once";

    // "None" reads the traces through and draws nothing: nothing is listed, so there is nothing to print.
    play("None", 0);
    EXPECT_TRUE(ui.plots(sc_handle, SCHART_PLAYBACK).empty());
    EXPECT_TRUE(read_playback_list(dir.file("playback.tmp")).empty());
    ui.answer(1);
    ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT));
    EXPECT_EQ(ui.popups().back().title, "PDF Error");
    EXPECT_EQ(ui.documents(), std::vector<std::string>{overlay});
}

TEST_F(PrintTest, AFailedWriteLeavesNoReportAndOpensNoTab)
{
    record_two_wafers();
    for (vsys::FileOp io : {vsys::FileOp::write, vsys::FileOp::flush, vsys::FileOp::seek}) {
        ui.answer_path(report("Broken.pdf"));
        ui.answer(1);
        {
            vsys::FaultPlanScope plan({io, 1, true, "Broken.pdf"});
            ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT));
            EXPECT_GT(vsys::fault_plan_strikes(), 0);
        }
        EXPECT_EQ(ui.popups().back().title, "PDF Error");
        EXPECT_FALSE(vsys::file_exists(report("Broken.pdf")));
        EXPECT_TRUE(ui.documents().empty());
        int progressVisible = 1;
        GetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, &progressVisible);
        EXPECT_EQ(progressVisible, 0);
    }
}

struct TitleCase {
    const char* path;
    std::string title;
};

TEST(ReportTitle, IsTheBaseNameUpToItsFirstDotAndAtMost63Characters)
{
    const TitleCase cases[] = {
        {"C:\\data\\Run 12.pdf", "Run 12"},
        {"/work/a.b/a.pdf", "a"},
        {"/work/x/chart.v2.pdf", "chart"},
        {"noext", "noext"},
        {"/tmp/", ""},
    };
    for (const TitleCase& c : cases) EXPECT_EQ(reports::report_title(c.path), c.title) << c.path;
    EXPECT_EQ(reports::report_title(("/d/" + std::string(70, 'x') + ".pdf").c_str()), std::string(63, 'x'));
    // A cut never ends inside a character.
    EXPECT_EQ(reports::report_title(("/d/" + std::string(62, 'x') + "\xC3\xA9.pdf").c_str()), std::string(62, 'x'));
}

TEST(PlaybackList, IsReadUpToTheFirstIncompleteLineWhateverTheLocale)
{
    vtest::TempDir dir;
    const std::string path = dir.file("playback.tmp");
    std::ofstream(path) << "1\t2\t0.0000 0\n-3\t0\t12.5000 2\n+4 1 1e1 0\n5\t1\tx 0\n6\t1\t20.0 0\n";
    const char* old = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const auto lines = reports::read_listed_traces(path);
    if (old) std::setlocale(LC_NUMERIC, "C");
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 3u);
    EXPECT_EQ((*lines)[1].run, -3);
    EXPECT_DOUBLE_EQ((*lines)[1].x, 12.5);
    EXPECT_EQ((*lines)[1].style, 2);
    EXPECT_EQ((*lines)[2].run, 4);
    EXPECT_DOUBLE_EQ((*lines)[2].x, 10.0);
    EXPECT_FALSE(reports::read_listed_traces(dir.file("none.tmp")));
}

}  // namespace
