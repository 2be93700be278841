// Copy of runs to another directory: rows, results, alarms, traces and setups there; a second copy duplicates nothing; the working directory itself is refused.
#include <gtest/gtest.h>

#include "core/ini_file.h"
#include "core/trace_file.h"
#include "core/schema.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "panels/wait.h"
#include "setup/run_copy.h"
#include "setup/run_selection.h"
#include "setup/setup_paths.h"
#include "tests/setup/setup_fixture.h"

namespace {

class RunCopyTest : public setuptest::SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        std::filesystem::create_directory(dir.file("SC_DATA"));
        check_tables(&hdbc);
        create_other_table(&hdbc, 1);
        create_area_table(&hdbc, 1);
        for (int run : {10, 11}) {
            vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO VALUES (%d, 2, 2, 'TOOL7', 'Alpha', 'TOOL7:%d', "
                                             "'U0000000003 02 10.0', '2026/03/%d', '09:30:00', 'c', 0, 1, 5)",
                                             run, run, run));
            vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_01 VALUES (%d, 1, 1.23456789, 0.5, 2.0, 1.0)", run));
            vtest::run(hdbc, vsys::strprintf("INSERT INTO AREA_01 VALUES (%d, 2, 0.000001234)", run));
            vtest::run(hdbc, vsys::strprintf("INSERT INTO OOC_ALRM VALUES (%d, 1, 1, 0, 1, 0, 3, 0)", run));
            for (int w : {1, 2}) dir.write(vsys::strprintf("SC_DATA/%.8d.%.3d", run, w), vsys::strprintf("r%dw%d", run, w));
        }
        // The shared drive the runs go to: a typed target is taken only there or in the working directory.
        char archive[kIniValueSize];
        vsys::format_into(archive, sizeof archive, "%s", target.path().c_str());
        read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "ARCHIVE", archive);
    }
    // Picks the copy command, ticks every run and answers the directory popup.
    void copy_all(int item, const std::string& to)
    {
        network_upload(0, item, nullptr, 0);
        int panel = ui.find_panel("SC_SEL");
        ASSERT_GT(panel, 0);
        for (std::size_t i = 0; i < ui.items(panel, SC_SEL_RUNS).size(); ++i) ui.check(panel, SC_SEL_RUNS, static_cast<int>(i));
        ui.answer_path(to);
        ui.press(panel, SC_SEL_OK);
    }
    vtest::TempDir target;
};

}  // namespace

TEST_F(RunCopyTest, RunsArriveWithRowsResultsTracesAndSetupAndNothingDoublesOnASecondCopy)
{
    copy_all(MENUBAR_FILE_COPY_TRACES_AND_SPC_DATA_TO, target.path() + "/");
    EXPECT_EQ(ui.find_panel("SC_SEL"), 0);
    int t = DBConnect(("DSN=ZID32_Samples; DB=" + target.path()).c_str());
    ASSERT_GT(t, 0);
    auto q = [&](const std::string& sql) { return vtest::flat(vtest::query(t, sql).rows); };
    // The oldest run (lowest in the list) gets the first number.
    EXPECT_EQ(q("SELECT RUN_NUM, TRACE_ID, CHANNELS, TRACE_DEL FROM VT_INFO ORDER BY RUN_NUM"),
              "1|TOOL7:10|U0000000003 02 10.0|0;2|TOOL7:11|U0000000003 02 10.0|0");
    EXPECT_EQ(q("SELECT RUN, DATA_MEAN FROM OTHER_01 ORDER BY RUN"), "1|1.234567890;2|1.234567890");
    EXPECT_EQ(q("SELECT RUN, AREA FROM AREA_01 ORDER BY RUN"), "1|0.000001234;2|0.000001234");
    EXPECT_EQ(q("SELECT RUN, RULE FROM OOC_ALRM ORDER BY RUN"), "1|3;2|3");
    EXPECT_EQ(target.read("SC_DATA/00000002.002"), "r11w2");
    EXPECT_TRUE(vsys::directory_exists(target.file("trees")));
    char name[33] = "";
    get_put_char(t, 0, 0, PROCESS_BY_NAME, vsys::format_into(name, sizeof name, "Alpha") ? name : name);
    EXPECT_STREQ(name, "3");

    copy_all(MENUBAR_FILE_COPY_TRACES_AND_SPC_DATA_TO, target.path());
    EXPECT_EQ(q("SELECT COUNT(*) FROM VT_INFO"), "2");
    EXPECT_EQ(q("SELECT COUNT(*) FROM OTHER_01"), "2");
    EXPECT_EQ(q("SELECT COUNT(*) FROM OOC_ALRM"), "2");
    EXPECT_EQ(q("SELECT COUNT(*) FROM CONFIG WHERE PARAM = 1 AND VAL_TEXT = 'Alpha'"), "1");
    DBDisconnect(t);

    // The copy opens as a working directory with its runs ready to replay.
    connect(target.path());
    select_sc_run(SEL_REPLAY);
    int panel = ui.find_panel("SC_SEL");
    ASSERT_GT(panel, 0);
    EXPECT_EQ(ui.items(panel, SC_SEL_RUNS).size(), 2u);
    EXPECT_TRUE(vsys::file_exists(wafer_trace_path(target.path(), 1, 1))) << "the copied traces lie where the program reads them";
}

TEST_F(RunCopyTest, SpcOnlyCopyLeavesTheRunOutOfReplayListsAndTheWorkingDirectoryIsRefused)
{
    copy_all(MENUBAR_FILE_COPY_SPC_DATA_TO, target.path());
    int t = DBConnect(("DSN=ZID32_Samples; DB=" + target.path()).c_str());
    EXPECT_EQ(vtest::flat(vtest::query(t, "SELECT TRACE_DEL FROM VT_INFO").rows), "1;1");
    EXPECT_FALSE(vsys::file_exists(target.file("SC_DATA/00000001.001")));
    DBDisconnect(t);

    network_upload(0, MENUBAR_FILE_COPY_TRACES_TO, nullptr, 0);
    int panel = ui.find_panel("SC_SEL");
    ui.check(panel, SC_SEL_RUNS, 0);
    ui.answer_path(dir.path() + "/./");
    ui.answer(1);
    ui.press(panel, SC_SEL_OK);
    EXPECT_EQ(ui.popups().back().title, "Copy Error");
    EXPECT_GT(ui.find_panel("SC_SEL"), 0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO"), "2");
}

TEST_F(RunCopyTest, ANewFolderIsMadeAndOpensAsAWorkingDirectory)
{
    copy_all(MENUBAR_FILE_COPY_TRACES_TO, target.file("new"));
    EXPECT_EQ(target.read("new/SC_DATA/00000001.001"), "r10w1");
    connect(target.file("new"));
    EXPECT_EQ(rows("SELECT TRACE_ID FROM VT_INFO ORDER BY RUN_NUM"), "TOOL7:10;TOOL7:11");
}

TEST_F(RunCopyTest, NothingTickedKeepsTheListOpen)
{
    network_upload(0, MENUBAR_FILE_COPY_TRACES_TO, nullptr, 0);
    int panel = ui.find_panel("SC_SEL");
    ui.answer(1);
    ui.press(panel, SC_SEL_OK);
    EXPECT_EQ(last_popup(), "|No Strip Chart Data checked.");
    EXPECT_TRUE(ui.panel_exists(panel));
    EXPECT_EQ(ui.title(panel), "Copy TRACE Data To ...");
}

TEST_F(RunCopyTest, ATargetThatCannotBeOpenedSaysWhy)
{
    target.write("plain_file", "x");
    network_upload(0, MENUBAR_FILE_COPY_SPC_DATA_TO, nullptr, 0);
    int panel = ui.find_panel("SC_SEL");
    ui.check(panel, SC_SEL_RUNS, 0);
    ui.answer_path(target.file("plain_file"));
    ui.answer(1);
    ui.press(panel, SC_SEL_OK);
    EXPECT_EQ(ui.popups().back().title, "Network Error");
    EXPECT_NE(ui.popups().back().text.find("plain_file"), std::string::npos);
    EXPECT_FALSE(ui.panel_exists(panel));
}

// Cancel pressed while the first run's result tables are copied: that run keeps its row, traces and the tables of
// the channel in hand, loses its alarm rows, and no further run is copied.
TEST_F(RunCopyTest, CancelDuringTheChannelLoopEndsTheCopyAfterTheRunInHand)
{
    network_upload(0, MENUBAR_FILE_COPY_TRACES_AND_SPC_DATA_TO, nullptr, 0);
    const int panel = ui.find_panel("SC_SEL");
    ASSERT_GT(panel, 0);
    for (std::size_t i = 0; i < ui.items(panel, SC_SEL_RUNS).size(); ++i) ui.check(panel, SC_SEL_RUNS, static_cast<int>(i));
    ui.answer_path(target.path());
    ui.after_pumps(1, [&] {
        const int wait = ui.find_panel("WAIT");
        ASSERT_GT(wait, 0);
        ASSERT_TRUE(ui.press(wait, WAIT_CANCEL));
    });
    ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    EXPECT_EQ(ui.find_panel("WAIT"), 0);
    EXPECT_EQ(ui.find_panel("SC_SEL"), 0);
    for (const auto& p : ui.popups()) EXPECT_NE(p.title, "Network Error") << "a cancelled copy is no failure";
    int t = DBConnect(("DSN=ZID32_Samples; DB=" + target.path()).c_str());
    ASSERT_GT(t, 0);
    auto q = [&](const std::string& sql) { return vtest::flat(vtest::query(t, sql).rows); };
    EXPECT_EQ(q("SELECT RUN_NUM, TRACE_ID FROM VT_INFO"), "1|TOOL7:10");
    EXPECT_EQ(q("SELECT RUN FROM OTHER_01"), "1");
    EXPECT_EQ(q("SELECT COUNT(*) FROM OOC_ALRM"), "0");
    DBDisconnect(t);
    EXPECT_EQ(target.read("SC_DATA/00000001.002"), "r10w2");
    EXPECT_FALSE(vsys::file_exists(target.file("SC_DATA/00000002.001")));
}
