// The trace test of stored wafers on real files: result rows, the run's state, alarms, process creation and the header.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/config_store.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/shared_buffers.h"
#include "panels/alarms.h"
#include "panels/s_chart.h"
#include "platform/sys/clock.h"
#include "platform/sys/format.h"
#include "testing/alarm_review.h"
#include "testing/install.h"
#include "testing/trace_test.h"
#include "tests/testing/testing_fixture.h"
#include "tests/testing/trace_builder.h"

namespace {

class TraceTest : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        ASSERT_EQ(check_tables(&hdbc), 0);
        std::filesystem::create_directories(dir.file("SC_DATA"));
        provide_testing_seams({});
        charts.install();
        vtest::amend_testing_seams([](TestingSeams& s) { s.normalize_por = [](int, int, int, short*) { return 0; }; });
        // Channel 1 static, channel 2 static: two channels at 2 scans a second.
        channels = 2;
        VantrelChannelStatusBits = 3;
        saved_channels = 2;
        sample_rate = 2;
        sample_rate_index = 2;
        ADCBits = 0;
        for (int c = 1; c <= 2; ++c) {
            channel_type[c] = 0;
            channel_slope[c] = 1638.4;
            channel_inter[c] = 0;
        }
        timer_status_bit = 0;
        steps_per_process[1] = steps_per_process[2] = 0;
        status_color = STATUS_WHITE;
        char name[33] = "ETCH A";
        get_put_char(hdbc, 1, 3, CONFIG_WRITE, name);
        char current[33] = "3";
        get_put_char(hdbc, 0, 5, CONFIG_WRITE, current);
        recipe_num = 3;
    }
    void TearDown() override
    {
        provide_testing_seams({});
        if (sc_handle > 0) DiscardPanel(sc_handle);
        sc_handle = -1;
        CoreTest::TearDown();
    }
    // Writes "<dir>/SC_DATA/<run>.<wafer>" with `blocks` blocks of constant counts.
    void write_wafer(int run, int wafer, int blocks, int a, int b, const char* header = "09.30.00 2026/03/14\n")
    {
        TraceSetup s = setup_from_globals();
        ttest::TraceBuilder t(s, header);
        for (int i = 0; i < blocks * sample_rate; ++i) t.scan({{1, a + i % 2}, {2, b}});
        std::ofstream out(dir.file(vsys::strprintf("SC_DATA/%.8d.%.3d", run, wafer)), std::ios::binary);
        out.write(reinterpret_cast<const char*>(t.bytes.data()), static_cast<std::streamsize>(t.bytes.size()));
    }
    void run_row(int run, const char* trace)
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, COMPLETE) "
                                                   "VALUES (%d, 1, 'ETCH A', '%s', 0)",
                                                   run, trace)),
                  0);
    }
    ttest::FakeCharts charts;
    short block[64] = {};
};

TEST_F(TraceTest, RetestWritesRowsMarksTheRunAndRaisesAlarms)
{
    run_row(21, "LOT-21");
    write_wafer(21, 1, 3, 100, 500);
    charts.charts[{2, 0, 1, 0}] = {3, 0, "", ""};
    charts.limits[{0, 1, 2, 0}] = {0.0, 0.1, 0.2};  // channel 2's mean is far above
    EXPECT_EQ(test_trace(block, 21, 1, sc_handle, 3, "", "ETCH A", 0, 0), 1);
    EXPECT_EQ(rows("SELECT COMPLETE FROM VT_INFO WHERE RUN_NUM = 21"), "1");
    EXPECT_EQ(rows("SELECT * FROM OTHER_01"), "21|1|100.500000000|0.548000000|101.000000000|100.000000000");
    EXPECT_EQ(rows("SELECT RUN, WAFER, CHANNEL, TYPE, SUB_TYPE, INDEX, RULE, CLEARED FROM OOC_ALRM"),
              "21|1|2|0|1|0|0|0");
    EXPECT_EQ(status_color, STATUS_YELLOW);
}

// The result table of two tested wafers, byte for byte: header, field list, records and end mark.
TEST_F(TraceTest, ResultRowsOfTwoWafersAreStoredByteForByte)
{
    run_row(21, "LOT-21");
    write_wafer(21, 1, 3, 100, 500);
    write_wafer(21, 2, 3, 200, 500);
    test_trace(block, 21, 1, sc_handle, 3, "", "ETCH A", 0, 0);
    test_trace(block, 21, 2, sc_handle, 3, "", "ETCH A", 0, 0);
    std::ifstream in(dir.file("OTHER_01.DBF"), std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const std::pair<const char*, int> fields[] = {{"RUN", 9},        {"WAFER", 9},    {"DATA_MEAN", 19},
                                                  {"DATA_STDEV", 19}, {"DATA_MAX", 19}, {"DATA_MIN", 19}};
    constexpr int kHeader = 32 + 6 * 32 + 1, kRecord = 1 + 9 + 9 + 4 * 19;
    const vsys::CivilTime today = vsys::civil_now();
    std::string want(32, '\0');
    want[0] = '\x03';
    want[1] = static_cast<char>(today.year - 1900);
    want[2] = static_cast<char>(today.month);
    want[3] = static_cast<char>(today.day);
    want[4] = '\x02';  // two records
    want[8] = static_cast<char>(kHeader & 0xFF);
    want[9] = static_cast<char>(kHeader >> 8);
    want[10] = static_cast<char>(kRecord);
    want[29] = '\x57';  // the code page mark every table carries
    for (auto [name, width] : fields) {
        std::string d(32, '\0');
        d.replace(0, std::strlen(name), name);
        d[11] = 'N';
        d[16] = static_cast<char>(width);
        d[17] = static_cast<char>(width == 9 ? 0 : 9);
        want += d;
    }
    want += '\x0D';
    // Channel 1 alternates between its base count and one more.
    const double stats[2][4] = {{100.5, 0.548, 101, 100}, {200.5, 0.548, 201, 200}};
    for (int w = 1; w <= 2; ++w) {
        const double* v = stats[w - 1];
        want += vsys::strprintf(" %9d%9d%19.9f%19.9f%19.9f%19.9f", 21, w, v[0], v[1], v[2], v[3]);
    }
    want += '\x1A';
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got[i], want[i]) << "byte " << i;
}

TEST_F(TraceTest, AlarmOfATestedWaferIsReviewedAndCleared)
{
    vui::register_callbacks(testing_callbacks());
    parent_panel = NewPanel(0, "Main", 0, 0, 620, 1000);
    DisplayPanel(parent_panel);
    run_row(23, "LOT-23");
    write_wafer(23, 1, 3, 100, 500);
    charts.charts[{2, 0, 1, 0}] = {3, 0, "", "Look at the gas flow"};
    charts.limits[{0, 1, 2, 0}] = {0.0, 0.1, 0.2};
    test_trace(block, 23, 1, sc_handle, 3, "", "ETCH A", 0, 0);
    ASSERT_EQ(status_color, STATUS_YELLOW);
    show_errors(-1, -100, EVENT_COMMIT, nullptr, 0, 0);
    ASSERT_GT(list_panel, 0);
    EXPECT_EQ(ui.title(list_panel), "Active Alarm");
    EXPECT_EQ(ui.text(list_panel, REVIEW_WHEN), "This error occured on wafer 1 of LOT-23");
    EXPECT_EQ(ui.text(list_panel, REVIEW_POPUP_TEXT), "Look at the gas flow");
    ASSERT_TRUE(ui.press(list_panel, REVIEW_CLEAR));
    EXPECT_EQ(rows("SELECT CLEARED FROM OOC_ALRM"), "1");
    EXPECT_EQ(status_color, STATUS_WHITE);
    ASSERT_TRUE(ui.press(list_panel, REVIEW_CLOSE));
    EXPECT_EQ(list_panel, -1);
    DiscardPanel(parent_panel);
    parent_panel = -1;
}

TEST_F(TraceTest, MissingTraceLeavesTheRunUntouched)
{
    run_row(22, "LOT-22");
    EXPECT_EQ(test_trace(block, 22, 1, sc_handle, 3, "", "ETCH A", 0, 0), 1);
    EXPECT_EQ(rows("SELECT COMPLETE FROM VT_INFO WHERE RUN_NUM = 22"), "0");
}

TEST_F(TraceTest, UnknownRecipeBecomesANewProcessWithThisWaferAsRecord)
{
    sc_handle = NewPanel(0, "Strip chart", 0, 0, 400, 600);
    run_row(30, "");
    write_wafer(30, 1, 3, 100, 500);
    vtest::run(hdbc, "CREATE TABLE 0003LIMI (TYPE NUMERIC(5,0), SUBTYPE NUMERIC(5,0), CHANNEL NUMERIC(5,0), "
                     "STEP_INDEX NUMERIC(5,0), LCL NUMERIC(19,9), TARGET NUMERIC(19,9), UCL NUMERIC(19,9))");
    std::vector<std::string> por;
    vtest::amend_testing_seams([&](TestingSeams& s) {
        s.normalize_por = [&](int run, int wafer, int caller, short*) {
            por.push_back(vsys::strprintf("%d %d %d %d", recipe_num, run, wafer, caller));
            return 0;
        };
    });
    char system[33] = "TOOL1";
    get_put_char(hdbc, 0, 0, CONFIG_WRITE, system);
    test_trace(block, 30, 1, sc_handle, 2, "", "NEW RECIPE", 0, 1);
    EXPECT_EQ(recipe_num, 4);
    char name[33];
    EXPECT_STREQ(get_put_char(hdbc, 1, 4, CONFIG_READ, name), "NEW RECIPE");
    EXPECT_EQ(por, (std::vector<std::string>{"4 30 1 1"}));
    EXPECT_TRUE(std::filesystem::exists(dir.file("0004LIMI.DBF")));
    // The header row of the new process, with the trace id made from the system name.
    EXPECT_EQ(rows("SELECT NUM_WAF FROM VT_INFO WHERE RUN_NUM = -4"), "1");
    EXPECT_NE(rows("SELECT RECIPE, TRACE_ID FROM VT_INFO WHERE RUN_NUM = -4").find("TOOL1:00000030"),
              std::string::npos);
    // A known recipe makes its process current and creates nothing.
    recipe_num = 3;
    test_trace(block, 30, 1, sc_handle, 2, "", "NEW RECIPE", 0, 1);
    EXPECT_EQ(recipe_num, 4);
    EXPECT_EQ(por.size(), 1u);
    // A re-test never creates a process.
    test_trace(block, 30, 1, sc_handle, 3, "", "OTHER RECIPE", 0, 1);
    EXPECT_EQ(std::string(get_put_char(hdbc, 1, 0, PROCESS_BY_NAME, (std::strcpy(name, "OTHER RECIPE"), name))),
              "Not Found");
}

TEST_F(TraceTest, PrecoatWaferGetsItsOwnProcessWithoutCharts)
{
    sc_handle = NewPanel(0, "Strip chart", 0, 0, 400, 600);
    run_row(31, "");
    write_wafer(31, 1, 3, 100, 500);
    std::ofstream(dir.file("0003ACTC.DBF")) << "x";
    test_trace(block, 31, 1, sc_handle, 2, "", "NEW RECIPE", 1, 0);
    char name[33];
    EXPECT_STREQ(get_put_char(hdbc, 1, recipe_num, CONFIG_READ, name), "NEW RECIPE PRECOAT");
    EXPECT_FALSE(std::filesystem::exists(dir.file(vsys::strprintf("%.4dACTC.DBF", recipe_num))));
}

TEST_F(TraceTest, NoProcessIsCreatedBeyondTheLastNumber)
{
    sc_handle = NewPanel(0, "Strip chart", 0, 0, 400, 600);
    run_row(32, "LOT-32");
    write_wafer(32, 1, 3, 100, 500);
    // Every number from 3 to 9000 is taken.
    for (int first = 4; first <= 9000; first += 1000) {
        std::string sql = "INSERT INTO CONFIG VALUES ";
        for (int i = first; i < first + 1000 && i <= 9000; ++i)
            sql += vsys::strprintf("%s(1, %d, 'P%d')", i == first ? "" : ", ", i, i);
        ASSERT_EQ(vtest::run(hdbc, sql), 0);
    }
    test_trace(block, 32, 1, sc_handle, 2, "", "NEW RECIPE", 0, 0);
    EXPECT_EQ(recipe_num, 3);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM CONFIG WHERE VAL_TEXT = 'NEW RECIPE'"), "0");
    // The wafer is still tested, against the current process.
    EXPECT_EQ(rows("SELECT COMPLETE FROM VT_INFO WHERE RUN_NUM = 32"), "1");
    EXPECT_EQ(rows("SELECT RUN FROM OTHER_01"), "32");
}

TEST_F(TraceTest, PrecoatNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ETCH", "ETCH PRECOAT"},
        {"ETCH PRECOAT", "ETCH PRECOAT"},
        {"PRECOAT", "PRECOAT"},
        {"PRECOAT STEP 2", "PRECOAT STEP 2 PRECOAT"},
        {"A VERY LONG RECIPE NAME FOR ETCH", "A VERY LONG RECIPE NAME PRECOAT"},
    };
    for (auto [in, out] : cases) EXPECT_EQ(precoat_process_name(in), out) << in;
}

TEST_F(TraceTest, HeaderLine)
{
    TraceHeader h = read_trace_header(std::string("09.30.00 2026/03/14\n\x01\x02", 22));
    EXPECT_EQ(h.end, 20u);
    EXPECT_TRUE(h.dotted);
    EXPECT_EQ(h.time, "09.30.00");
    EXPECT_EQ(h.date, "2026/03/14");
    h = read_trace_header("09:30:00 2026/03/14\n");
    EXPECT_FALSE(h.dotted);
    // A line longer than 126 characters ends after them.
    h = read_trace_header(std::string(200, 'x'));
    EXPECT_EQ(h.end, 126u);
}

TEST_F(TraceTest, DottedHeaderWithACutPreviousWaferTestsNoTimer)
{
    timer_status_bit = 1;
    timer_start_channel[1] = 1;
    timer_end_channel[1] = 2;
    timer_start_val[1] = 0.05;
    timer_end_val[1] = 0.05;
    timer_start_gun[1] = timer_end_gun[1] = 1;
    timer_start_logic_bit = timer_end_logic_bit = 1;
    run_row(40, "LOT-40");
    // The previous wafer holds less than one scan and its trailer.
    std::ofstream(dir.file("SC_DATA/00000040.001"), std::ios::binary) << "09.30.00 x\n";
    TraceSetup s = setup_from_globals();
    ttest::TraceBuilder t(s);
    for (int i = 0; i < 8; ++i) t.scan({{1, i >= 3 ? 200 : 0}, {2, i >= 5 ? 200 : 0}});
    std::ofstream out(dir.file("SC_DATA/00000040.002"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(t.bytes.data()), static_cast<std::streamsize>(t.bytes.size()));
    out.close();
    test_trace(block, 40, 2, sc_handle, 3, "", "ETCH A", 0, 0);
    EXPECT_TRUE(vtest::query(hdbc, "SELECT * FROM TIMER_01").rows.empty());
    // With a whole previous wafer the timer is measured from its last scan.
    TraceSetup s1 = setup_from_globals();
    ttest::TraceBuilder prev(s1);
    for (int i = 0; i < 2; ++i) prev.scan({{1, 0}, {2, 0}});
    std::ofstream p(dir.file("SC_DATA/00000040.001"), std::ios::binary);
    p.write(reinterpret_cast<const char*>(prev.bytes.data()), static_cast<std::streamsize>(prev.bytes.size()));
    p.close();
    test_trace(block, 40, 2, sc_handle, 3, "", "ETCH A", 0, 0);
    EXPECT_EQ(rows("SELECT * FROM TIMER_01"), "40|2|1.000000000");
}

TEST_F(TraceTest, SigmaVectorPlotOnTheStripChartPanel)
{
    // Three static channels, the first carrying the trigger; the record is the wafer itself.
    channels = 3;
    VantrelChannelStatusBits = 7;
    saved_channels = 3;
    channel_type[3] = 0;
    channel_slope[3] = 1638.4;
    channel_inter[3] = 0;
    trigger = 1;
    trig_type = 0;
    trig_ch = 1;
    trig_log = 1;
    trig_val = 0.01;
    delay = 10;
    for (int c = 1; c <= 3; ++c) charts.limits[{4, 0, c, 0}] = {0.0, 0.0, 50.0};
    sc_handle = NewPanel(0, "Strip chart", 0, 0, 400, 600);
    // Controls are numbered in creation order: texts up to the graph (the run among them), then the wafer.
    ttest::make_ctrl(sc_handle, CTRL_STRING, SCHART_PLAYBACK - 1);
    ttest::make_ctrl(sc_handle, CTRL_GRAPH, SCHART_PLAYBACK);
    ttest::make_ctrl(sc_handle, CTRL_STRING, SCHART_PLAY_WAFER);
    PlotLine(sc_handle, SCHART_PLAYBACK, 0, 0, 1, 1, 0);  // an earlier drawing is replaced
    GraphInfo.assign(2, GraphRecord{});
    GraphInfoEntries = 2;
    run_row(50, "LOT-50");
    write_wafer(50, 1, 4, 100, 500);
    TraceSetup s = setup_from_globals();
    ttest::TraceBuilder por(s, 2, "09:30:00\n");
    // Channel 2 of the record reads 10 counts more: 8 scans x 10 = 80 % of its sum of 100.
    for (int i = 0; i < 8; ++i) por.scan({{1, 100 + i % 2}, {2, 510}, {3, 0}});
    std::ofstream(dir.file("00000003.POR"), std::ios::binary)
        .write(reinterpret_cast<const char*>(por.bytes.data()), static_cast<std::streamsize>(por.bytes.size()));
    std::ofstream(dir.file("00000003.INT")) << "1\n100\n2\n1 0 100.000\n1 0 100.000\n1 0 100.000\n";
    test_trace(block, 50, 1, sc_handle, 3, "", "ETCH A", 0, 1);
    EXPECT_EQ(rows("SELECT * FROM AREA_01"), "50|1|0.000000000");
    EXPECT_EQ(rows("SELECT * FROM AREA_02"), "50|1|80.000000000");
    EXPECT_EQ(rows("SELECT * FROM AREA_03"), "50|1|0.000000000");
    auto plots = ui.plots(sc_handle, SCHART_PLAYBACK);
    ASSERT_EQ(plots.size(), 7u);  // a spoke and its end mark per channel, then the unit circle
    EXPECT_EQ(plots[0].kind, vui::Plot::Line);
    EXPECT_EQ(plots[0].x, (std::vector<double>{-10, -10}));
    // Channel 2's spoke: 80 / 50 long at a third of the circle.
    EXPECT_EQ(plots[2].kind, vui::Plot::Line);
    EXPECT_NEAR(plots[2].x[1], std::cos(2.0944) * 1.6 - 10, 1e-4);
    EXPECT_NEAR(plots[2].y[1], std::sin(2.0944) * 1.6, 1e-4);
    EXPECT_EQ(plots[6].kind, vui::Plot::Oval);
    EXPECT_EQ(plots[6].x, (std::vector<double>{-9, -11}));
    EXPECT_EQ(plots[6].y, (std::vector<double>{1, -1}));
    EXPECT_EQ(ui.text(sc_handle, SCHART_PLAY_WAFER), "# 1");
    EXPECT_EQ(ui.text(sc_handle, SCHART_PLAY_RUN), "LOT-50");
    EXPECT_TRUE(GraphInfo.empty());
    EXPECT_EQ(GraphInfoEntries, 0);
}

}  // namespace
