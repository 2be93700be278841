// Tests of the PDF chart writer: exact file layout, page lines against script-made lists, real PDF tools, failures.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/wait.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sys/fault_plan.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "platform/ui/headless.h"
#include "platform/ui/view.h"
#include "reports/launch_pdf.h"
#include "reports/pdf_chart.h"
#include "tests/support/temp_dir.h"

namespace {

std::string fixture(const std::string& name) { return std::string(VANTREL_SOURCE_DIR) + "/tests/fixtures/reports/" + name; }

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a tool and returns its standard output; stderr goes to `err`, the exit code to `code`.
std::string run_tool(const std::string& command, const vtest::TempDir& dir, int* code, std::string* err = nullptr)
{
    const std::string errFile = dir.file("tool.err");
    std::FILE* p = popen((command + " 2>'" + errFile + "'").c_str(), "r");
    std::string out;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int status = pclose(p);
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (err) *err = slurp(errFile);
    return out;
}

// The value of one "Name:   value" line of pdfinfo.
std::string field(const std::string& info, const std::string& name)
{
    const std::size_t at = info.find("\n" + name + ":");
    if (at == std::string::npos) return "";
    std::size_t from = info.find_first_not_of(' ', at + name.size() + 2);
    return info.substr(from, info.find('\n', from) - from);
}

std::vector<std::string> split_crlf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::vector<std::string> read_lines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::string inflate_all(const std::string& compressed)
{
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    std::string out;
    std::array<char, 4096> buf{};
    int r;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buf.data());
        z.avail_out = buf.size();
        r = inflate(&z, Z_NO_FLUSH);
        out.append(buf.data(), buf.size() - z.avail_out);
    } while (r == Z_OK);
    EXPECT_EQ(r, Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the zlib stream";
    inflateEnd(&z);
    return out;
}

// The pieces of a written report, checked against the fixed layout on the way.
struct Parsed {
    std::string content;  // the inflated page
};

Parsed check_layout(const std::string& pdf)
{
    Parsed parsed;
    EXPECT_EQ(pdf.substr(0, 18), std::string("%PDF-1.6 \r\n%\xE2\xE3\xCF\xD3\r\n"));
    const std::size_t expected[5] = {18, 91, 144, 209, 362};
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(pdf.substr(expected[n - 1], 8), std::to_string(n) + " 0 obj\r") << "object " << n;
    const std::string head = "5 0 obj\r<<\r/Filter /FlateDecode /Length \r";
    EXPECT_EQ(pdf.substr(362, head.size()), head);
    const std::size_t lenAt = 362 + head.size();
    const std::size_t lenEnd = pdf.find(">>\rstream\r\n", lenAt);
    const std::string digits = pdf.substr(lenAt, lenEnd - lenAt);
    const std::size_t length = std::stoul(digits);
    const std::size_t streamAt = lenEnd + 11;
    parsed.content = inflate_all(pdf.substr(streamAt, length));
    EXPECT_EQ(pdf.substr(streamAt + length, 28), "\rendstream\rendobj\r\n\r\n6 0 obj");
    const std::size_t obj6 = 435 + digits.size() + length;
    EXPECT_EQ(pdf.substr(obj6, 7), "6 0 obj");
    EXPECT_EQ(pdf.substr(obj6 + 33, 7), "7 0 obj");
    const std::size_t xref = obj6 + 33 + 116;
    EXPECT_EQ(pdf.substr(xref, 11), "xref\r\n0 8\r\n");
    EXPECT_EQ(pdf.substr(xref + 11, 20), "0000000000 65535 f\r\n");
    const std::size_t offsets[7] = {18, 91, 144, 209, 362, obj6, obj6 + 33};
    for (int i = 0; i < 7; ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offsets[i]);
        EXPECT_EQ(pdf.substr(xref + 31 + 20 * i, 20), entry);
    }
    const std::string tail =
        "trailer\r\n<< /Size 8\r\n/Root 1 0 R\r\n>>\r\nstartxref\r\n" + std::to_string(xref) + "\r\n%%EOF\r\n";
    EXPECT_EQ(pdf.substr(xref + 31 + 140), tail);
    return parsed;
}

class PdfWriterTest : public ::testing::Test {
protected:
    vui::Headless ui;
    vtest::TempDir dir;
    std::string pdf = dir.file("report.pdf");

    void TearDown() override { vsys::clear_fault_plan(); }

    // Writes one report: `setup` fills the record, `draw` draws between start and finish.
    int write(const std::function<void(SChart&)>& setup, const std::function<void(SChart&)>& draw = {})
    {
        SChart chart;
        schartDefault(&chart);
        if (setup) setup(chart);
        if (schartInitialize(&chart, pdf.c_str(), dir.path().c_str()) != 0) return 1;
        if (draw) draw(chart);
        return schartFinish(&chart);
    }

    void expect_tools_accept()
    {
        int code = 0;
        std::string err;
        run_tool("qpdf --check '" + pdf + "'", dir, &code, &err);
        EXPECT_EQ(code, 0) << err;
        const std::string info = run_tool("pdfinfo '" + pdf + "'", dir, &code, &err);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(err, "");
        EXPECT_EQ(field(info, "Pages"), "1") << info;
        EXPECT_EQ(field(info, "Page size").substr(0, 13), "792 x 612 pts") << info;
        EXPECT_EQ(field(info, "PDF version"), "1.6") << info;
    }

    std::string text_of_page()
    {
        int code = 0;
        std::string err;
        std::string text = run_tool("pdftotext -layout '" + pdf + "' -", dir, &code, &err);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(err, "");
        return text;
    }
};

SChartTrace open_trace(std::FILE* file, int position)
{
    SChartTrace t;
    t.xStep = 0.1;
    t.xStart = 0.0;
    t.scansPerBlock = 10;
    t.channelsPerScan = 2;
    t.channelPosition = position;
    t.yOffset = 0.0;
    t.yScale = 0.01;
    t.file = file;
    return t;
}

// Each small report and the script-made list of the lines its page must hold.
struct GoldenCase {
    const char* lines;
    std::function<void(SChart&)> setup;
    std::function<void(SChart&)> draw;
};

TEST_F(PdfWriterTest, PagesMatchTheScriptMadeLineListsAndTheFileLayoutIsExact)
{
    const std::vector<GoldenCase> cases = {
        {"default_frame.lines", {}, {}},
        {"clipped_trace.lines",
         [](SChart& c) {
             vsys::format_into(c.title, sizeof c.title, "%s", "Clipped");
             c.xMax = 3.0, c.xLabelStep = 1.0, c.xGridStep = 0.5, c.yMin = 0.0, c.yMax = 10.0;
             c.options.xGrid = c.options.yGrid = 1;
         },
         [](SChart& c) {
             vsys::FilePtr f = vsys::open_file(fixture("clipped.trace"), "rb");
             ASSERT_TRUE(f);
             SChartTrace a = open_trace(f.get(), 1);
             EXPECT_EQ(schartBinPlot(&a, 0xFF0000, 0, &c), 1);
             EXPECT_DOUBLE_EQ(a.xStart, 3.0);
             SChartTrace b = open_trace(f.get(), 0);
             EXPECT_EQ(schartBinPlot(&b, 0x0000FF, 1, &c), 1);
             char first[] = "Pressure", second[] = "RF Forward Power";
             schartLegendEntry(first, 1, 0xFF0000, &c);
             schartLegendEntry(second, 2, 0x0000FF, &c);
             EXPECT_STREQ(second, "RF Forward ");
         }},
        {"cursors.lines",
         [](SChart& c) {
             c.options.showCursor1 = c.options.showCursor2 = 1;
             c.cursor1X = 10.5, c.cursor1Y = 3.25, c.cursor2X = 40.0, c.cursor2Y = -1.0, c.cursorDecimals = 4;
         },
         [](SChart& c) { schartMarkCursors(&c); }},
        {"spc_chart.lines",
         [](SChart& c) {
             vsys::format_into(c.title, sizeof c.title, "%s", "SPC");
             c.xMin = -10.0, c.xMax = 0.0, c.xLabelStep = 2.0, c.xDecimals = 0, c.yMin = 0.0, c.yMax = 10.0;
             c.options.yGrid = 1;
         },
         [](SChart& c) {
             const double porY[] = {5.0, 5.5, 4.5, 5.0};
             const double testY[] = {6.0, 12.0, 7.0, 3.0, -1.0, 4.0, 10.0, 5.0, 5.0, 5.05, 6.0, 2.0};
             double x[12];
             for (int i = 0; i < 12; ++i) x[i] = -i;
             schartPlotLineWithCircles(x, porY, 4, 3, 0x0000FF, 0x0000FF, &c);
             schartPlotLineWithCircles(x, testY, 12, 3, 0, 0, &c);
             const int counts[] = {0, 1, 3, 2, 0};
             schartHistogram(counts, 5, 0, &c);
             for (double y : {8.0, 5.0, 2.0}) schartMarkY(y, 0xFF0000, "3", &c);
         }},
    };
    for (const GoldenCase& g : cases) {
        SCOPED_TRACE(g.lines);
        ASSERT_EQ(write(g.setup, g.draw), 0);
        const Parsed parsed = check_layout(slurp(pdf));
        EXPECT_EQ(parsed.content, slurp(dir.file("ztemp.bin"))) << "the page is the content file, deflated";
        EXPECT_EQ(split_crlf(parsed.content), read_lines(fixture(g.lines)));
        EXPECT_FALSE(vsys::file_exists(dir.file("small.bin")));
        expect_tools_accept();
    }
}

TEST_F(PdfWriterTest, PopplerFindsTitleTicksLegendAndCursorReadOutsWithEscapedAndUtf8Text)
{
    ASSERT_EQ(write(
                  [](SChart& c) {
                      vsys::format_into(c.title, sizeof c.title, "%s", "Ratio (a\\b) ((x");
                      vsys::format_into(c.xLabel, sizeof c.xLabel, "%s", "Time (s)");
                      vsys::format_into(c.yLabel, sizeof c.yLabel, "%s", "Temp \xC2\xB0" "C");
                      c.options.showCursor1 = 1;
                      c.cursor1X = 12.5, c.cursor1Y = 2.0, c.cursorDecimals = 4;
                  },
                  [](SChart& c) {
                      char name[] = "\xC2\xB5Wave (\xE2\x82\xAC)";  // µWave (€): the font has µ, not €
                      schartLegendEntry(name, 1, 0x00FF00, &c);
                      char other[] = "\xE4\xB8\xAD" "Chamber\\";  // a character the font lacks
                      schartLegendEntry(other, 2, 0x00FF00, &c);
                      schartMarkCursors(&c);
                  }),
              0);
    expect_tools_accept();
    const std::string text = text_of_page();
    for (const char* expected : {"Ratio (a\\b) ((x", "Time (s)", "11.0", "-1.0", "50.0", "\xC2\xB5Wave (?)",
                                 "?Chamber\\", "X1=+12.5000", "Y1=+2.0000"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

// Reads a binary PPM (P6) made by pdftoppm at 72 dpi: one pixel per point.
struct Image {
    int width = 0, height = 0;
    std::string rgb;
    bool red(int x, int y) const
    {
        const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) + 3 * (static_cast<std::size_t>(y) * width + x);
        return p[0] > 200 && p[1] < 80 && p[2] < 80;
    }
};

Image render(const std::string& pdf, const vtest::TempDir& dir)
{
    int code = 0;
    run_tool("pdftoppm -r 72 -aa no -aaVector no '" + pdf + "' '" + dir.file("page") + "'", dir, &code);
    EXPECT_EQ(code, 0);
    std::string file = slurp(dir.file("page-1.ppm"));
    if (file.empty()) file = slurp(dir.file("page-01.ppm"));
    Image img;
    std::istringstream in(file);
    std::string magic;
    int maxval = 0;
    in >> magic >> img.width >> img.height >> maxval;
    in.get();
    img.rgb = file.substr(static_cast<std::size_t>(in.tellg()));
    EXPECT_EQ(magic, "P6");
    return img;
}

TEST_F(PdfWriterTest, RenderedPageShowsTheRedLimitRowAndNoTracePixelsOutsideThePlotBox)
{
    SChart kept;
    ASSERT_EQ(write(
                  [](SChart& c) {
                      c.xMax = 3.0, c.xLabelStep = 1.0, c.yMin = 0.0, c.yMax = 10.0;
                      c.legendWidth = 0;  // nothing red but the trace and the limit in the picture
                  },
                  [&](SChart& c) {
                      vsys::FilePtr f = vsys::open_file(fixture("clipped.trace"), "rb");
                      ASSERT_TRUE(f);
                      SChartTrace a = open_trace(f.get(), 1);
                      schartBinPlot(&a, 0xFF0000, 0, &c);
                      schartMarkY(4.0, 0xFF0000, "", &c);
                      kept.plotLeft = c.plotLeft, kept.plotBottom = c.plotBottom;
                      kept.plotWidth = c.plotWidth, kept.plotHeight = c.plotHeight;
                  }),
              0);
    const Image img = render(pdf, dir);
    ASSERT_EQ(img.width, 792);
    ASSERT_EQ(img.height, 612);
    const int limitRow = static_cast<int>(612 - (kept.plotBottom + 0.4 * kept.plotHeight));
    int redInRow = 0;
    for (int x = static_cast<int>(kept.plotLeft) + 2; x < kept.plotLeft + kept.plotWidth - 2; ++x)
        redInRow += img.red(x, limitRow) || img.red(x, limitRow - 1) || img.red(x, limitRow + 1);
    EXPECT_GT(redInRow, kept.plotWidth * 0.9);
    const int top = static_cast<int>(612 - (kept.plotBottom + kept.plotHeight)) - 2;
    const int bottom = static_cast<int>(612 - kept.plotBottom) + 2;
    int outside = 0, inside = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            if (img.red(x, y)) ++(y < top || y > bottom ? outside : inside);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, 0);
}

TEST_F(PdfWriterTest, AReportThatCannotBeOpenedShowsThePdfErrorAndWritesNothing)
{
    pdf = dir.file("missing/report.pdf");
    ui.answer(1);
    EXPECT_EQ(write({}), 1);
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "PDF Error");
    EXPECT_EQ(ui.popups()[0].text, "Could not open " + pdf +
                                          ".  Please make sure all other applications close this file before "
                                          "attempting to write to this file.");
    EXPECT_FALSE(vsys::file_exists(dir.file("ztemp.bin")));
}

TEST_F(PdfWriterTest, EveryInjectedWriteFlushSeekAndDeflateFailureRemovesThePartialReportAndSaysWhy)
{
    auto draw = [](SChart& c) {
        vsys::FilePtr f = vsys::open_file(fixture("clipped.trace"), "rb");
        SChartTrace a = open_trace(f.get(), 1);
        schartBinPlot(&a, 0xFF0000, 0, &c);
        c.options.showCursor1 = 1;
        schartMarkCursors(&c);
    };
    for (vsys::FileOp op : {vsys::FileOp::write, vsys::FileOp::flush, vsys::FileOp::seek, vsys::FileOp::compress}) {
        int failures = 0;
        for (int nth = 0;; ++nth) {
            SCOPED_TRACE(testing::Message() << "operation " << static_cast<int>(op) << " number " << nth);
            ASSERT_LT(nth, 2000);
            const std::size_t before = ui.popups().size();
            ui.answer(1);
            vsys::set_fault_plan({op, nth + 1, true});  // as a full disk: that call and every later one fail
            const int result = write({}, draw);
            vsys::clear_fault_plan();
            EXPECT_FALSE(vsys::file_exists(dir.file("small.bin")));
            if (result == 0) {
                ASSERT_EQ(ui.answers_left(), 1u);
                MessagePopup("done", "done");  // uses up the answer no failure needed
                expect_tools_accept();
                break;
            }
            ++failures;
            ASSERT_EQ(ui.popups().size(), before + 1);
            EXPECT_EQ(ui.popups().back().title, "PDF Error");
            EXPECT_NE(ui.popups().back().text.find("Could not write " + pdf + " ("), std::string::npos)
                << ui.popups().back().text;
            EXPECT_FALSE(vsys::file_exists(pdf));
        }
        EXPECT_GT(failures, 0);
    }
}

TEST_F(PdfWriterTest, BrokenAxesAreRepairedAndEveryAxisLoopEnds)
{
    struct Axis {
        double lo, hi, grid, label;
    };
    const std::vector<Axis> cases = {
        {5.0, 5.0, 1.0, 1.0},       {10.0, 0.0, 1.0, 2.0},      {0.0, 10.0, 0.0, -1.0},
        {0.0, 1e12, 1e-9, 1e-12},   {NAN, 3.0, NAN, INFINITY}, {0.0, INFINITY, 1.0, 1.0},
    };
    for (const Axis& a : cases) {
        SCOPED_TRACE(testing::Message() << a.lo << " " << a.hi << " " << a.grid << " " << a.label);
        ASSERT_EQ(write([&](SChart& c) {
                      c.xMin = c.yMin = a.lo, c.xMax = c.yMax = a.hi;
                      c.xGridStep = c.yGridStep = a.grid, c.xLabelStep = c.yLabelStep = a.label;
                      c.options.xGrid = c.options.yGrid = 1;
                  }),
                  0);
        const std::vector<std::string> lines = split_crlf(check_layout(slurp(pdf)).content);
        EXPECT_LT(lines.size(), 40000u);
        for (const std::string& l : lines) EXPECT_EQ(l.find("nan"), std::string::npos) << l;
        expect_tools_accept();
    }
}

TEST_F(PdfWriterTest, TracePlotEdgeCases)
{
    // A trace entirely above the box writes its colour alone; a start beyond the range reads no block;
    // a start far along a long high-rate span keeps its place in 64 bits.
    vsys::FilePtr f = vsys::open_file(fixture("clipped.trace"), "rb");
    ASSERT_TRUE(f);
    ASSERT_EQ(write([](SChart& c) { c.xMax = 3.0, c.yMin = -100.0, c.yMax = -50.0; },
                    [&](SChart& c) {
                        SChartTrace above = open_trace(f.get(), 1);
                        EXPECT_EQ(schartBinPlot(&above, 0x00FF00, 1, &c), 0);
                        SChartTrace late = open_trace(f.get(), 1);
                        late.xStart = 7.0;
                        EXPECT_EQ(schartBinPlot(&late, 0x00FF00, 0, &c), 0);
                        EXPECT_DOUBLE_EQ(late.xStart, 7.0);
                        SChartTrace far = open_trace(f.get(), 1);
                        far.xStep = 1e-6;
                        far.xStart = 5e4;  // scan 5e10, past 32 bits
                        EXPECT_EQ(schartBinPlot(&far, 0x00FF00, 0, &c), 0);
                        EXPECT_DOUBLE_EQ(far.xStart, 5e4);
                    }),
              0);
    const std::vector<std::string> lines = split_crlf(slurp(dir.file("ztemp.bin")));
    const std::vector<std::string> tail(lines.end() - 5, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"0.000 1.000 0.000 RG", "[3] 0 d", "[] 0 d", "0.000 1.000 0.000 RG",
                                              "0.000 1.000 0.000 RG"}));
}

TEST(PdfNumbers, AreWrittenTheSameWhateverTheLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string keep = previous ? previous : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // where it exists, printf would write commas
    EXPECT_EQ(reports::pdf_number(589.2, 3), "589.200");
    EXPECT_EQ(reports::pdf_number(-0.125, 2), "-0.12");
    EXPECT_EQ(reports::pdf_number(792.0, 0), "792");
    std::setlocale(LC_NUMERIC, keep.c_str());
}

}  // namespace

namespace {

TEST(LaunchPdfView, OpensTheReportInANewTabOnlyWhenAPageIsConnectedAndLeavesThePathAlone)
{
    vui::Headless ui;
    vtest::TempDir dir(true);
    char path[64] = "chart report.pdf";
    EXPECT_EQ(LaunchPdfView(path), 0);  // no page: no viewer
    EXPECT_TRUE(ui.documents().empty());
    const int page = vui::subscribe([](const nlohmann::json&) {});
    EXPECT_EQ(LaunchPdfView(path), 1);
    vui::unsubscribe(page);
    EXPECT_STREQ(path, "chart report.pdf");
    EXPECT_EQ(ui.documents(), std::vector<std::string>{dir.file("chart report.pdf")});
}

}  // namespace
