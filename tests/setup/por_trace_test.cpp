// The process-of-record builder: trace and interval file from fixture wafers, triggers, slow rates and failures.
#include <gtest/gtest.h>

#include <cstring>

#include "panels/sc_sel.h"
#include "platform/sys/fault_plan.h"
#include "setup/por_trace.h"
#include "setup/setup_paths.h"
#include "tests/setup/setup_fixture.h"

namespace {

// Scans of two channels, as acquisition writes them: the higher channel first within a scan.
struct Scan {
    short ch1, ch2;
};

std::string blocks(const std::vector<Scan>& scans, int rate)
{
    std::string out;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        for (short v : {scans[i].ch2, scans[i].ch1}) {
            out += static_cast<char>(v & 0xFF);
            out += static_cast<char>((v >> 8) & 0xFF);
        }
        if ((i + 1) % static_cast<std::size_t>(rate) == 0) out += std::string(20, '\0');
    }
    return out;
}

class PorTest : public setuptest::SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        std::filesystem::create_directory(dir.file("SC_DATA"));
        VantrelChannelStatusBits = 0x3;
        channels = saved_channels = 2;
        sample_rate_index = sample_rate = 2;
        ADCBits = 0;
        for (int ch = 1; ch <= 32; ++ch) channel_slope[ch] = 1.0, channel_inter[ch] = 0.0, channel_type[ch] = 0;
        channel_type[2] = 21;
        trigger = 1, trig_ch = 1, trig_log = 1, trig_val = 2.0, trig_type = 0, delay = 1;
    }
    std::string wafer(int run, int w, const std::string& header, const std::string& body)
    {
        return dir.write(vsys::strprintf("SC_DATA/%.8d.%.3d", run, w), header + body);
    }
    std::string por() { return dir.read("00000003.POR"); }
    std::string interval() { return dir.read("00000003.INT"); }

    // Channel 1 crosses 2 V in samples 2 and 3; channel 2 stays at 0.625 V (1024 counts of 10 V / 16384).
    const std::vector<Scan> pulse{{0, 1024}, {8192, 1024}, {8192, 1024}, {0, 1024}, {0, 1024}, {0, 1024}};
};

}  // namespace

TEST_F(PorTest, LevelTriggerWindowAndSums)
{
    wafer(10, 2, "09:30:00 2026/03/14\n", blocks(pulse, 2));
    normalize_por(10, 2, 0, nullptr);
    EXPECT_EQ(por(), "09:30:00\n" + blocks(pulse, 2));
    EXPECT_EQ(interval(), "2\n5\n2\n1 0 10.000\n1 21 2.500\n");
}

TEST_F(PorTest, EdgeTriggerWindowAndSums)
{
    trig_type = 1;
    wafer(10, 2, "09:30:00 2026/03/14\n", blocks(pulse, 2));
    normalize_por(10, 2, 0, nullptr);
    EXPECT_EQ(interval(), "2\n3\n2\n1 0 5.000\n1 21 2.500\n");
}

TEST_F(PorTest, TriggersThatNeverHold)
{
    struct Case {
        const char* what;
        double value, slope;
    } cases[] = {{"threshold above the trace", 9.0, 1.0}, {"slope 0 on the trigger channel", 2.0, 0.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        trig_val = c.value;
        channel_slope[1] = c.slope;
        wafer(10, 2, "09:30:00 2026/03/14\n", blocks(pulse, 2));
        normalize_por(10, 2, 0, nullptr);
        // Never triggered: start -1, no sums, the end at the first sample of the last block.
        EXPECT_EQ(interval(), "-1\n5\n2\n1 0 0.000\n1 21 0.000\n");
    }
}

TEST_F(PorTest, WithoutTriggerTheWindowIsTheWholeTrace)
{
    trigger = 0;
    wafer(10, 2, "09:30:00 2026/03/14\n", blocks(pulse, 2));
    normalize_por(10, 2, 0, nullptr);
    // Level mode: the trigger always holds, so the count never runs and every scan is summed.
    EXPECT_EQ(interval(), "0\n6\n2\n1 0 10.000\n1 21 3.750\n");
    trig_type = 1;
    normalize_por(10, 2, 0, nullptr);
    // Edge mode: the limit (2 scans) is reached at sample 2, which alone is left out of the sums.
    EXPECT_EQ(interval(), "0\n6\n2\n1 0 5.000\n1 21 3.125\n");
}

TEST_F(PorTest, DottedHeaderTakesTheLastBlockOfThePrecedingWafer)
{
    const std::vector<Scan> before{{1, 1}, {2, 2}, {3, 3}, {4, 4}};
    wafer(10, 1, "09.29.00 2026/03/14\n", blocks(before, 2));
    wafer(10, 2, "09.30.00 2026/03/14\n", blocks(pulse, 2));
    normalize_por(10, 2, 0, nullptr);
    EXPECT_EQ(por(), "09:30:00\n" + blocks({{3, 3}, {4, 4}}, 2) + blocks(pulse, 2));
    // Sample numbers count the prepended block.
    EXPECT_EQ(interval().substr(0, 5), "4\n7\n2");
}

TEST_F(PorTest, FirstWaferTakesItsBlockFromThePreviousRun)
{
    vtest::run(hdbc, "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0), NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID "
                     "CHAR(16), RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10), SAV_TIME "
                     "CHAR(8), COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))");
    vtest::run(hdbc, "INSERT INTO VT_INFO (RUN_NUM, NUM_WAF) VALUES (9, 3)");
    wafer(9, 3, "09.29.00 2026/03/14\n", blocks({{7, 7}, {8, 8}}, 2));
    wafer(10, 1, "09.30.00 2026/03/14\n", blocks(pulse, 2));
    normalize_por(10, 1, 0, nullptr);
    EXPECT_EQ(por(), "09:30:00\n" + blocks({{7, 7}, {8, 8}}, 2) + blocks(pulse, 2));

    // A run without a row, and a preceding file shorter than a block, give no prepended block.
    wafer(20, 1, "09.30.00 2026/03/14\n", blocks(pulse, 2));
    normalize_por(20, 1, 0, nullptr);
    EXPECT_EQ(por(), "09:30:00\n" + blocks(pulse, 2));
    wafer(10, 1, "09.29.00 2026/03/14\n", "short");
    wafer(10, 2, "09.30.00 2026/03/14\n", blocks(pulse, 2));
    normalize_por(10, 2, 0, nullptr);
    EXPECT_EQ(por(), "09:30:00\n" + blocks(pulse, 2));
}

TEST_F(PorTest, SlowRateCountsSecondsPerSample)
{
    sample_rate_index = -5;  // one sample every 5 s
    sample_rate = 1;
    delay = 10;
    trig_type = 1;
    wafer(10, 2, "09:30:00 2026/03/14\n", blocks(pulse, 1));
    normalize_por(10, 2, 0, nullptr);
    // The count grows by 5 a sample from the trigger on and meets the limit of 10 at sample 3.
    EXPECT_EQ(interval(), "2\n3\n-5\n1 0 5.000\n1 21 2.500\n");
}

TEST_F(PorTest, DisabledChannelsGiveAZeroLine)
{
    VantrelChannelStatusBits = 0x5;  // channels 1 and 3; channel 3 is the second in each scan
    channels = 3;
    wafer(10, 2, "09:30:00 2026/03/14\n", blocks(pulse, 2));
    normalize_por(10, 2, 0, nullptr);
    EXPECT_EQ(interval(), "2\n5\n2\n1 0 10.000\n0 21 0.000\n1 0 2.500\n");
}

TEST_F(PorTest, AFailedBuildKeepsTheOldProcessOfRecord)
{
    dir.write("00000003.POR", "old por");
    dir.write("00000003.INT", "old int");
    normalize_por(10, 7, 0, nullptr);  // no such wafer
    EXPECT_EQ(por(), "old por");
    EXPECT_EQ(interval(), "old int");
    wafer(10, 2, "09:30:00 2026/03/14\n", blocks(pulse, 2));
    vsys::set_fault_plan(vsys::FileFault::disk_full_after(30));
    normalize_por(10, 2, 0, nullptr);
    vsys::clear_fault_plan();
    EXPECT_EQ(por(), "old por");
    EXPECT_EQ(interval(), "old int");
}

TEST_F(PorTest, CallerBufferKeepsAcquisitionTicking)
{
    int ticks = 0;
    vtest::amend_setup_seams([&](SetupSeams& s) {
        s.DaqLoop = [&](int panel, int control, int event, void*, int, int) {
            EXPECT_EQ(panel, -1);
            EXPECT_EQ(control, -1);
            EXPECT_EQ(event, 15);
            ++ticks;
            return 0;
        };
    });
    std::vector<Scan> long_trace;
    for (int i = 0; i < 24; ++i) long_trace.push_back(pulse[i % 6]);
    wafer(10, 2, "09:30:00 2026/03/14\n", blocks(long_trace, 2));
    std::vector<short> buffer(4);
    normalize_por(10, 2, 1, buffer.data());
    // Once after the header, then after every fifth of the twelve blocks.
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(por(), "09:30:00\n" + blocks(long_trace, 2));
}

TEST_F(PorTest, NewPorMakesTheChosenWaferTheProcessOfRecord)
{
    vtest::run(hdbc, "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0), NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), SYSTEM_ID "
                     "CHAR(16), RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE CHAR(10), SAV_TIME "
                     "CHAR(8), COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE NUMERIC(5,0), CASSETTE NUMERIC(5,0))");
    vtest::run(hdbc, "INSERT INTO VT_INFO VALUES (10, 3, 2, 'TOOL7', 'Etch', 'TOOL7:2026/03/14 09:30:00', "
                     "'U0000000003 02 10.0', '2026/03/14', '09:30:00', '', 0, 1, 5)");
    wafer(10, 2, "09:30:00 2026/03/14\n", blocks(pulse, 2));
    wafer(10, 3, "09:31:00 2026/03/14\n", std::string(100000, 'x'));
    int panel = NewPanel(0, "Runs", 0, 0, 300, 300);
    int list = 0;
    while (list < SC_SEL_RUNS) list = NewCtrl(panel, CTRL_LIST_BOX, "", 0, 0);
    int waf = NewCtrl(panel, CTRL_NUMERIC, "", 0, 0);
    ASSERT_EQ(list, SC_SEL_RUNS);
    ASSERT_EQ(waf, SC_SEL_WAFERS);
    InsertListItem(panel, list, -1, "TOOL7:2026/03/14 09:30:00", 10);
    SetCtrlVal(panel, waf, 3);
    ui.answer(1);
    new_por(panel, SC_SEL_OK, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(ui.popups().back().text,
              "The maximum file size for POR files is currently 0.100 MB.  Please select a smaller file.");
    EXPECT_TRUE(ui.panel_exists(panel));
    SetCtrlVal(panel, waf, 2);
    new_por(panel, SC_SEL_OK, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_NE(Flags & FLAG_PENDING_CHANGES, 0);
    EXPECT_EQ(rows("SELECT NUM_WAF, SYSTEM_ID, RECIPE, TRACE_ID, CASSETTE FROM VT_INFO WHERE RUN_NUM = -3"),
              "2|TOOL7|TOOL7:2026/03/14 09:30:00|Etch|5");
    EXPECT_EQ(por(), "09:30:00\n" + blocks(pulse, 2));
}

TEST_F(PorTest, NewPorRefusesProtectedProcesses)
{
    recipe_num = 1;
    ui.answer(1);
    new_por(0, SC_SEL_OK, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(ui.popups().back().title, "Save Error");
}
