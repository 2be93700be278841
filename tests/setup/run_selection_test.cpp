// The run selection: run lists of each use, the "+" expansion, the read-out and the process-of-record choice.
#include <gtest/gtest.h>

#include "core/run_lookup.h"
#include "panels/playback.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "setup/por_trace.h"
#include "setup/run_selection.h"
#include "tests/setup/setup_fixture.h"

namespace {

std::string trimmed_label(std::string s)
{
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

class RunSelectionTest : public setuptest::SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        SetupSeams s;
        s.select_sc_run = [](int mode) { return select_sc_run(static_cast<short>(mode)); };
        s.select_ok = [this](int panel, int, int, void*, int, int) {
            calls.push_back("select_ok " + std::to_string(panel));
            return 0;
        };
        s.names = [](int, int, int, int) {};
        s.update_menu = [] {};
        provide_setup_seams(std::move(s));
        std::filesystem::create_directory(dir.file("SC_DATA"));
        vtest::run(hdbc, "CREATE TABLE VT_INFO (RUN_NUM NUMERIC(9,0), NUM_WAF NUMERIC(9,0), RATE NUMERIC(9,0), "
                         "SYSTEM_ID CHAR(16), RECIPE CHAR(32), TRACE_ID CHAR(32), CHANNELS CHAR(19), SAV_DATE "
                         "CHAR(10), SAV_TIME CHAR(8), COMMENT CHAR(64), TRACE_DEL NUMERIC(5,0), COMPLETE "
                         "NUMERIC(5,0), CASSETTE NUMERIC(5,0))");
    }
    void add_run(int run, int wafers, const std::string& trace, const std::string& date, int rate = 2,
                 const std::string& channels = "U0000000003 02 10.0")
    {
        vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO VALUES (%d, %d, %d, 'TOOL7', 'Alpha', '%s', '%s', "
                                         "'%s', '09:30:00', 'note %d', 0, 1, 5)",
                                         run, wafers, rate, trace.c_str(), channels.c_str(), date.c_str(), run));
    }
    void wafer(int run, int w, const std::string& header = "09.30.00 2026/03/14\n")
    {
        // Two channels, rate 2: one block of four samples and its trailer.
        dir.write(vsys::strprintf("SC_DATA/%.8d.%.3d", run, w), header + std::string(8, '\0') + std::string(20, '\0'));
    }
    int open(short mode)
    {
        select_sc_run(mode);
        return ui.find_panel("SC_SEL");
    }
    std::vector<std::string> labels(int panel) { return ui.plain_items(panel, SC_SEL_RUNS); }
};

}  // namespace

TEST_F(RunSelectionTest, NoStoredRunSaysSoAndOpensNothing)
{
    ui.answer(1);
    EXPECT_EQ(select_sc_run(SEL_REPLAY), 0);
    EXPECT_EQ(last_popup(), "|No data files have been saved yet.");
    EXPECT_EQ(ui.find_panel("SC_SEL"), 0);
}

TEST_F(RunSelectionTest, ListsOfEachUseNewestFirst)
{
    add_run(10, 3, "TOOL7:older", "2026/03/14");
    add_run(11, 1, "TOOL7:newer", "2026/03/15");
    dir.write("00000003.POR", std::string(200, 'x'));
    struct Case {
        short mode;
        std::vector<std::string> raw;
        std::string title;
    } cases[] = {
        {SEL_REPLAY, {"Alpha POR", "\033p30lTOOL7:newer", "+\033p30lTOOL7:older"}, "Select Runs"},
        {SEL_SUMMARY, {"\033p30lTOOL7:newer", "+\033p30lTOOL7:older"}, "Select Runs"},
        {SEL_POR, {"TOOL7:newer", "TOOL7:older"}, "Select PROCESS OF RECORD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        int panel = open(c.mode);
        ASSERT_GT(panel, 0);
        std::vector<std::string> raw;
        for (const auto& item : ui.items(panel, SC_SEL_RUNS)) raw.push_back(trimmed_label(item.label));
        EXPECT_EQ(raw, c.raw);
        EXPECT_EQ(ui.title(panel), c.title);
        EXPECT_EQ(ui.visible(panel, SC_SEL_DESTINATION), c.mode == SEL_REPLAY);
        EXPECT_EQ(ui.visible(panel, SC_SEL_WAFERS), c.mode == SEL_POR);
        ui.press(panel, SC_SEL_CANCEL);
        EXPECT_FALSE(ui.panel_exists(panel));
    }
}

TEST_F(RunSelectionTest, DoubleClickExpandsARunIntoItsWafersOnDisk)
{
    add_run(10, 4, "TOOL7:four", "2026/03/14");
    add_run(11, 1, "TOOL7:one", "2026/03/13");
    for (int w : {1, 2, 4}) wafer(10, w);
    wafer(11, 1);
    int panel = open(SEL_REPLAY);
    ASSERT_GT(panel, 0);
    ui.select(panel, SC_SEL_RUNS, 0);
    ui.double_click(panel, SC_SEL_RUNS);
    std::vector<std::string> want{"-TOOL7:four", "Trigger #4", "Trigger #2", "Trigger #1", "TOOL7:one"};
    std::vector<std::string> got;
    for (auto& l : labels(panel)) got.push_back(trimmed_label(l));
    EXPECT_EQ(got, want);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(ui.items(panel, SC_SEL_RUNS)[static_cast<std::size_t>(i)].value.i, 10);

    // A wafer item, a single-wafer run and an expanded run are left alone by a double click.
    for (int index : {2, 4, 0}) {
        ui.select(panel, SC_SEL_RUNS, index);
        ui.double_click(panel, SC_SEL_RUNS);
        EXPECT_EQ(ui.items(panel, SC_SEL_RUNS).size(), 5u);
    }
    // A wafer item reads out its own trace's header.
    dir.write("SC_DATA/00000010.002", std::string("10.15.00 2026/03/20\n") + std::string(28, '\0'));
    ui.select(panel, SC_SEL_RUNS, 2, true);
    EXPECT_EQ(ui.text(panel, SC_SEL_DATE), "2026/03/20");
    EXPECT_EQ(ui.text(panel, SC_SEL_TIME), "10:15:00");
    // Choosing the expanded run again folds it.
    ui.select(panel, SC_SEL_RUNS, 0, true);
    EXPECT_EQ(ui.items(panel, SC_SEL_RUNS).size(), 2u);
    EXPECT_EQ(trimmed_label(labels(panel)[0]), "+TOOL7:four");
}

TEST_F(RunSelectionTest, ReadOutShowsTheRunAndLeavesTheProcessSetupAlone)
{
    add_run(10, 1500, "TOOL7:big", "2026/03/14", -5, "U0000000007 03 10.0");
    add_run(11, 1, "TOOL7:EP run EP", "2026/03/13");
    add_run(12, 1, "TOOL7:endEP", "2026/03/12");
    wafer(10, 1, "11.00.00\n");
    const unsigned mask = VantrelChannelStatusBits;
    const int rate = sample_rate_index;
    int panel = open(SEL_REPLAY);
    ASSERT_GT(panel, 0);
    EXPECT_EQ(ui.text(panel, SC_SEL_SYSTEM), "TOOL7");
    EXPECT_EQ(trimmed_label(ui.text(panel, SC_SEL_PROCESS)), "Alpha");
    EXPECT_EQ(ui.text(panel, SC_SEL_TIME), "11:00:00");
    EXPECT_EQ(ui.text(panel, SC_SEL_DATE), "2026/03/14");  // no date on the header line: the run row's
    EXPECT_EQ(ui.ival(panel, SC_SEL_NWAFERS), 999);
    EXPECT_EQ(ui.ival(panel, SC_SEL_RATE), 5);
    EXPECT_EQ(ui.label(panel, SC_SEL_RATE), "Sec./Sample");
    EXPECT_EQ(ui.ival(panel, SC_SEL_NCHANNELS), 3);
    EXPECT_EQ(VantrelChannelStatusBits, mask);
    EXPECT_EQ(sample_rate_index, rate);

    // "EP" inside and at the end: read out; only at the end: an endpoint record, nothing shown.
    ui.select(panel, SC_SEL_RUNS, 1, true);
    EXPECT_EQ(ui.text(panel, SC_SEL_TIME), "NA");
    EXPECT_EQ(ui.ival(panel, SC_SEL_NCHANNELS), 2);
    ui.select(panel, SC_SEL_RUNS, 2, true);
    EXPECT_EQ(ui.ival(panel, SC_SEL_NCHANNELS), 2);
    EXPECT_TRUE(is_endpoint_label("TOOL7:endEP"));
    EXPECT_FALSE(is_endpoint_label("EPEP"));
    EXPECT_FALSE(is_endpoint_label("TOOL7:EP run"));
}

TEST_F(RunSelectionTest, ProcessOfRecordChosenFromTheRunList)
{
    add_run(10, 3, "TOOL7:por", "2026/03/14");
    wafer(10, 1);
    wafer(10, 3);
    pick_por(0, MENUBAR_FILE_PROCESS_OF_RECORD, nullptr, 0);
    int panel = ui.find_panel("SC_SEL");
    ASSERT_GT(panel, 0);
    EXPECT_EQ(ui.plain_items(panel, SC_SEL_WAFERS), (std::vector<std::string>{"1", "3"}));
    ui.select(panel, SC_SEL_WAFERS, 1);
    ui.press(panel, SC_SEL_OK);
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_TRUE(exists("00000003.POR"));
    EXPECT_TRUE(exists("00000003.INT"));
    EXPECT_EQ(rows("SELECT NUM_WAF FROM VT_INFO WHERE RUN_NUM = -3"), "3");
}

TEST_F(RunSelectionTest, ReplayOkHandsOverToPlaybackAndCancelRestoresTheSetup)
{
    add_run(10, 1, "TOOL7:a", "2026/03/14");
    int panel = open(SEL_REPLAY);
    ui.press(panel, SC_SEL_OK);
    EXPECT_EQ(calls.back(), "select_ok " + std::to_string(panel));
    VantrelChannelStatusBits = 0xFFu;  // as a run read would leave it
    const int keep = recipe_num;
    recipe_num = 7;
    ui.press(panel, SC_SEL_CANCEL);
    EXPECT_EQ(recipe_num, keep);
    EXPECT_NE(VantrelChannelStatusBits, 0xFFu);
}

TEST_F(RunSelectionTest, ChannelChoiceOffersTheRunsChannelsAndLeavesTheProcessLoaded)
{
    add_run(10, 1, "TOOL7:a", "2026/03/14", 2, "U0000000005 02 10.0");  // channels 1 and 3
    make_current(4, "Other");
    sc_handle = NewPanel(0, "Strip", 0, 0, 100, 100);
    int id = 0;
    while (id < SCHART_PLAY_STATE) id = NewCtrl(sc_handle, CTRL_STRING, "", 0, 0);
    SetCtrlVal(sc_handle, SCHART_PLAY_STATE, "0 2 2");  // channel 2 offered and chosen earlier
    run_num = 10;
    const unsigned mask = VantrelChannelStatusBits;
    select_channels(-1, SC_SEL_CHOOSE_CHANNELS, EVENT_COMMIT, nullptr, 0, 0);
    int choice = ui.find_panel("CHOOSE");
    ASSERT_GT(choice, 0);
    std::vector<int> values;
    for (const auto& item : ui.items(choice, CHOOSE_CHANNELS)) values.push_back(static_cast<int>(item.value.i));
    EXPECT_EQ(values, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(ui.items(choice, CHOOSE_CHANNELS)[2].checked);
    EXPECT_EQ(recipe_num, 4);
    EXPECT_EQ(VantrelChannelStatusBits, mask);
    ui.check(choice, CHOOSE_CHANNELS, 3);
    ui.press(choice, CHOOSE_OK);
    EXPECT_FALSE(ui.panel_exists(choice));
    EXPECT_EQ(ui.text(sc_handle, SCHART_PLAY_STATE), "0 7 6");
    EXPECT_EQ(calls.back(), "select_ok -1");  // the choice was opened to replay at once
}
