// Copy of runs to another directory: rows, results, alarms, traces and setups there; a second copy duplicates nothing; the working directory itself is refused.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "core/ini_file.h"
#include "platform/sys/fault_plan.h"
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
    // Picks the copy command, ticks every run and answers the directory popup (and `messages` popups after it).
    void copy_all(int item, const std::string& to, std::size_t messages = 0)
    {
        network_upload(0, item, nullptr, 0);
        int panel = ui.find_panel("SC_SEL");
        ASSERT_GT(panel, 0);
        for (std::size_t i = 0; i < ui.items(panel, SC_SEL_RUNS).size(); ++i) ui.check(panel, SC_SEL_RUNS, static_cast<int>(i));
        ui.answer_path(to);
        for (std::size_t i = 0; i < messages; ++i) ui.answer(1);
        ui.press(panel, SC_SEL_OK);
    }
    // Answers the directory popup with `to` as a page does (through its check), then runs `after_check`
    // before the popup returns to the copy.
    void copy_all_checked(int item, const std::string& to, const std::function<void()>& after_check)
    {
        network_upload(0, item, nullptr, 0);
        const int panel = ui.find_panel("SC_SEL");
        ASSERT_GT(panel, 0);
        for (std::size_t i = 0; i < ui.items(panel, SC_SEL_RUNS).size(); ++i) ui.check(panel, SC_SEL_RUNS, static_cast<int>(i));
        ui.hold_next_popup();
        ui.after_pumps(1, [&] {
            ASSERT_TRUE(ui.answer_open(vui::PopupAnswer{1, to, false}));
            after_check();
        });
        ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
    }
    // Every file below `root` with its content.
    static std::map<std::string, std::string> contents(const std::string& root)
    {
        std::map<std::string, std::string> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root))
            if (e.is_regular_file()) files[e.path().string()] = vtest::file_bytes(e.path().string());
        return files;
    }
    // The popups shown from the `first` on, one "title|text" a line.
    std::string popup_texts(std::size_t first = 0) const
    {
        std::string all;
        for (std::size_t i = first; i < ui.popups().size(); ++i) all += ui.popups()[i].title + "|" + ui.popups()[i].text + "\n";
        return all;
    }
    vtest::TempDir target, outside;
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

// A folder the directory popup checked, or a folder or table in it, swapped for a link to another place
// before the copy opens it: the copy stops with an error and writes nothing there.
TEST_F(RunCopyTest, ALinkSwappedInAfterTheCheckLeadsTheCopyNowhereElse)
{
    namespace fs = std::filesystem;
    const std::string share = target.file("share");
    outside.write("keep.txt", "outside");
    fs::copy_file(dir.file("VT_INFO.DBF"), outside.file("VT_INFO.DBF"));
    struct Case {
        const char* label;
        std::function<void()> swap;
        std::string error;  // the popup that says why
        int popups;         // with those that come before it
    };
    const Case cases[] = {
        {"the chosen folder",
         [&] {
             fs::rename(share, share + ".old");
             fs::create_directory_symlink(outside.path(), share);
         },
         "Network Error|Could not open the data in " + share + ": " + std::strerror(EACCES), 1},
        {"its trace folder",
         [&] {
             fs::remove(share + "/SC_DATA");
             fs::create_directory_symlink(outside.path(), share + "/SC_DATA");
         },
         "Network Error|Could not open the data in " + share + "/SC_DATA: " + std::strerror(ENOTDIR), 1},
        {"its run table",
         [&] { fs::create_symlink(outside.file("VT_INFO.DBF"), share + "/VT_INFO.DBF"); },
         "Network Error|Could not complete upload.  Make sure you are authorized to write to the network drive and "
         "try again.", 2},
    };
    const auto before = contents(outside.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(share);
        fs::remove_all(share + ".old");
        fs::create_directories(share + "/SC_DATA");
        const std::size_t first = ui.popups().size();
        for (int i = 0; i < c.popups; ++i) ui.answer(1);
        copy_all_checked(MENUBAR_FILE_COPY_TRACES_AND_SPC_DATA_TO, share, c.swap);
        const std::string shown = popup_texts(first + 1);  // after the directory popup
        EXPECT_NE(shown.find(c.error + "\n"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("/proc/"), std::string::npos) << "messages name the folder, not its handle";
        EXPECT_EQ(contents(outside.path()), before);
        EXPECT_EQ(ui.find_panel("SC_SEL"), 0);
        EXPECT_EQ(ui.find_panel("WAIT"), 0);
        if (fs::exists(share + ".old")) {
            EXPECT_TRUE(contents(share + ".old").empty()) << "nothing before the failure";
        }
        EXPECT_EQ(ui.answers_left(), 0u);
    }
    // A link to the working directory itself: the copy is refused as if it had been chosen, the list stays open.
    fs::remove_all(share);
    ui.answer(1);
    copy_all_checked(MENUBAR_FILE_COPY_TRACES_AND_SPC_DATA_TO, share, [&] {
        fs::remove(share);
        fs::create_directory_symlink(dir.path(), share);
    });
    EXPECT_EQ(ui.popups().back().title, "Copy Error");
    EXPECT_GT(ui.find_panel("SC_SEL"), 0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO"), "2");
}

// The folder renamed and a link put in its place while the copy runs: the copy goes on in the folder it opened.
TEST_F(RunCopyTest, AFolderSwappedWhileTheCopyRunsKeepsTheCopyInTheFolderItOpened)
{
    namespace fs = std::filesystem;
    const std::string share = target.file("share");
    fs::create_directory(share);
    std::function<void()> swap_while_copying = [&] {
        if (ui.find_panel("WAIT") == 0) return ui.after_pumps(1, swap_while_copying);
        fs::rename(share, share + ".moved");
        fs::create_directory_symlink(outside.path(), share);
    };
    copy_all_checked(MENUBAR_FILE_COPY_TRACES_AND_SPC_DATA_TO, share, [&] { ui.after_pumps(1, swap_while_copying); });
    EXPECT_TRUE(fs::is_symlink(share)) << "swapped during the copy";
    for (const auto& p : ui.popups()) EXPECT_NE(p.title, "Network Error") << p.text;
    EXPECT_TRUE(contents(outside.path()).empty());
    EXPECT_EQ(target.read("share.moved/SC_DATA/00000002.002"), "r11w2");
    int t = DBConnect(("DSN=ZID32_Samples; DB=" + share + ".moved").c_str());
    ASSERT_GT(t, 0);
    EXPECT_EQ(vtest::flat(vtest::query(t, "SELECT RUN_NUM, TRACE_ID FROM VT_INFO ORDER BY RUN_NUM").rows),
              "1|TOOL7:10;2|TOOL7:11");
    EXPECT_EQ(vtest::flat(vtest::query(t, "SELECT COUNT(*) FROM OOC_ALRM").rows), "2");
    DBDisconnect(t);
}

// A write, flush or seek that fails on a table or trace of the target: the user is told where the data
// could not go (by the folder's name), and every file left there is whole.
TEST_F(RunCopyTest, AFailedWriteInTheTargetIsReportedAndLeavesItsFilesWhole)
{
    namespace fs = std::filesystem;
    using vsys::FileOp;
    struct Case {
        const char* label;
        vsys::FileFault fault;
        std::vector<std::string> titles;  // of the popups after the directory popup
        std::string absent;               // a trace that did not arrive (a failed trace is passed over)
    };
    const Case cases[] = {
        {"a result row", {FileOp::write, 1, false, "OTHER_01"}, {"Database Error"}, ""},
        {"the run row", {FileOp::flush, 3, false, "VT_INFO"}, {"Database Error", "Network Error"}, ""},
        {"an alarm row", {FileOp::seek, 2, false, "OOC_ALRM"}, {"Database Error"}, ""},
        {"a trace", {FileOp::write, 1, false, "00000001.001"}, {}, "SC_DATA/00000001.001"},
        {"a trace on disk", {FileOp::flush, 1, false, "00000002.002"}, {}, "SC_DATA/00000002.002"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string share = target.file(vsys::strprintf("share%d", ++n));
        const std::size_t first = ui.popups().size();
        {
            vsys::FaultPlanScope plan(c.fault);
            copy_all(MENUBAR_FILE_COPY_TRACES_AND_SPC_DATA_TO, share, c.titles.size());
            EXPECT_GT(vsys::fault_plan_strikes(), 0);
        }
        std::vector<std::string> titles;
        for (std::size_t i = first + 1; i < ui.popups().size(); ++i) titles.push_back(ui.popups()[i].title);
        EXPECT_EQ(titles, c.titles) << popup_texts(first);
        EXPECT_EQ(popup_texts(first).find("/proc/"), std::string::npos) << "messages name the folder, not its handle";
        for (const auto& e : fs::recursive_directory_iterator(share))
            EXPECT_NE(e.path().filename().string()[0], '.') << "a temporary left behind: " << e.path();
        if (!c.absent.empty()) {
            EXPECT_FALSE(fs::exists(share + "/" + c.absent));
            EXPECT_EQ(vtest::file_bytes(share + "/SC_DATA/00000001.002"), "r10w2") << "the other traces arrive";
        }
        int t = DBConnect(("DSN=ZID32_Samples; DB=" + share).c_str());
        ASSERT_GT(t, 0);
        for (const char* table : {"VT_INFO", "OTHER_01", "OOC_ALRM"})
            EXPECT_NE(vtest::query(t, std::string("SELECT COUNT(*) FROM ") + table).handle, 0) << table;
        DBDisconnect(t);
    }
}
