// Deleting old and checked runs with every file of theirs, packing the tables and copying a run's wafer traces.
#include <gtest/gtest.h>

#include "core/schema.h"
#include "panels/del_old.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "platform/sys/fault_plan.h"
#include "platform/ui/status_line.h"
#include "setup/run_deletion.h"
#include "setup/run_selection.h"
#include "tests/setup/setup_fixture.h"

namespace {

class RunDeletionTest : public setuptest::SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        std::filesystem::create_directory(dir.file("SC_DATA"));
        std::filesystem::create_directory(dir.file("CLEAN"));
        check_tables(&hdbc);
        create_other_table(&hdbc, 1);
    }
    void add_run(int run, const std::string& date, const std::string& trace = "")
    {
        vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO VALUES (%d, 2, 2, 'TOOL7', 'Alpha', '%s', "
                                         "'U0000000003 02 10.0', '%s', '09:30:00', '', 0, 1, 5)",
                                         run, (trace.empty() ? vsys::strprintf("TOOL7:%d", run) : trace).c_str(),
                                         date.c_str()));
        vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_01 VALUES (%d, 1, 1.5, 0.1, 2.0, 1.0)", run));
        for (const char* ext : {"001", "002", "TXT"}) dir.write(vsys::strprintf("SC_DATA/%.8d.%s", run, ext), "x");
    }
    std::vector<std::string> files()
    {
        std::vector<std::string> out;
        for (auto& e : std::filesystem::directory_iterator(dir.file("SC_DATA"))) out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
};

}  // namespace

TEST_F(RunDeletionTest, OldRunsGoWithEveryFileNewerRunsStayWhole)
{
    add_run(5, "2026/01/01");
    add_run(4, "2026/07/01");  // a lower number saved later stays
    add_run(6, "2026/06/01");
    delete_old(0, MENUBAR_FILE_DELETE_OLD_RUNS, nullptr, 0);
    int panel = ui.find_panel("DEL_OLD");
    ASSERT_GT(panel, 0);
    ui.set(panel, DEL_OLD_YEAR, 2026);
    ui.set(panel, DEL_OLD_MONTH, 3);
    ui.set(panel, DEL_OLD_DAY, 1);
    ui.answer(1);
    ui.press(panel, DEL_OLD_OK);
    EXPECT_EQ(last_popup(), "|If finished deleting runs, you should pack the database (File menu bar).");
    EXPECT_EQ(rows("SELECT RUN_NUM FROM VT_INFO ORDER BY RUN_NUM"), "4;6");
    EXPECT_EQ(rows("SELECT RUN FROM OTHER_01 ORDER BY RUN"), "4;6");
    EXPECT_EQ(files(), (std::vector<std::string>{"00000004.001", "00000004.002", "00000004.TXT", "00000006.001",
                                                  "00000006.002", "00000006.TXT"}));
}

TEST_F(RunDeletionTest, NoRunBeforeTheDateDeletesNothingAndSaysNothing)
{
    add_run(5, "2026/01/01");
    delete_old(0, MENUBAR_FILE_DELETE_OLD_RUNS, nullptr, 0);
    int panel = ui.find_panel("DEL_OLD");
    ui.set(panel, DEL_OLD_YEAR, 2025);
    ui.press(panel, DEL_OLD_OK);
    EXPECT_TRUE(ui.popups().empty());
    EXPECT_EQ(rows("SELECT RUN_NUM FROM VT_INFO"), "5");
    EXPECT_EQ(files().size(), 3u);
}

TEST_F(RunDeletionTest, CheckedRunsAndEndpointFilesAreDeletedInProcess)
{
    add_run(5, "2026/01/01");
    add_run(6, "2026/01/02", "TOOL7:EPEP");
    add_run(7, "2026/01/03");
    dir.write("CLEAN/8.ENP", "e");
    dir.write("CLEAN/7.ENP", "keep");
    const int panel = LoadPanel(0, "sc_sel.uir", SC_SEL);
    SetCtrlAttribute(panel, SC_SEL_RUNS, ATTR_CHECK_MODE, 1);
    InsertListItem(panel, SC_SEL_RUNS, -1, "TOOL7:5", 5);
    InsertListItem(panel, SC_SEL_RUNS, -1, "TOOL7:EPEP", 6);
    InsertListItem(panel, SC_SEL_RUNS, -1, "TOOL7:7", 7);
    InsertListItem(panel, SC_SEL_RUNS, -1, "TOOL7:endEP  ", 8);
    InstallCtrlCallback(panel, SC_SEL_OK, delete_ok, nullptr);
    InstallPopup(panel);
    ui.answer(1);
    ui.press(panel, SC_SEL_OK);
    EXPECT_EQ(last_popup(), "|No checked runs to delete.");
    ASSERT_TRUE(ui.panel_exists(panel));
    for (int i : {0, 1, 3}) ui.check(panel, SC_SEL_RUNS, i);
    ui.press(panel, SC_SEL_OK);
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_EQ(rows("SELECT RUN_NUM FROM VT_INFO"), "7");
    EXPECT_EQ(rows("SELECT RUN FROM OTHER_01"), "7");
    EXPECT_EQ(files(), (std::vector<std::string>{"00000007.001", "00000007.002", "00000007.TXT"}));
    EXPECT_FALSE(exists("CLEAN/8.ENP"));
    EXPECT_TRUE(exists("CLEAN/7.ENP"));
    EXPECT_EQ(vui::status_line(), "3 runs deleted.");
}

TEST_F(RunDeletionTest, PackingDropsDeletedRows)
{
    for (int run = 1; run <= 20; ++run) add_run(run, "2026/01/01");
    create_stpm_table(&hdbc, 1, 1);
    vtest::run(hdbc, "DELETE FROM VT_INFO WHERE RUN_NUM > 1");
    vtest::run(hdbc, "DELETE FROM OTHER_01 WHERE RUN > 1");
    const auto before = *vsys::file_size(*vsys::find_file_nocase(dir.path(), "VT_INFO.DBF"));
    const auto other_before = *vsys::file_size(*vsys::find_file_nocase(dir.path(), "OTHER_01.DBF"));
    pack_db(0, MENUBAR_FILE_PACK_DATABASE, nullptr, 0);
    EXPECT_LT(*vsys::file_size(*vsys::find_file_nocase(dir.path(), "VT_INFO.DBF")), before);
    EXPECT_LT(*vsys::file_size(*vsys::find_file_nocase(dir.path(), "OTHER_01.DBF")), other_before);
    EXPECT_EQ(rows("SELECT RUN_NUM FROM VT_INFO"), "1");
    EXPECT_EQ(ui.find_panel("WAIT"), 0);
    EXPECT_EQ(vui::status_line(), "Database packed.");
}

TEST_F(RunDeletionTest, APackThatFailsDoesNotSayItPacked)
{
    for (int run = 1; run <= 3; ++run) add_run(run, "2026/01/01");
    vtest::run(hdbc, "DELETE FROM VT_INFO WHERE RUN_NUM > 1");
    {
        vsys::FaultPlanScope full(vsys::FileFault::disk_full_after(0, "VT_INFO"));
        pack_db(0, MENUBAR_FILE_PACK_DATABASE, nullptr, 0);
        EXPECT_GT(vsys::fault_plan_strikes(), 0);
    }
    EXPECT_EQ(vui::status_line(), "Packing failed for 1 table: the database is not fully packed.");
    EXPECT_EQ(rows("SELECT RUN_NUM FROM VT_INFO"), "1");
}

TEST_F(RunDeletionTest, MultiCopyCountsTheCopiesThatFailed)
{
    dir.write("SC_DATA/00000003.001", "one");
    dir.write("SC_DATA/00000003.003", "three");
    std::filesystem::create_directory(dir.file("out"));
    const std::string from = dir.file("SC_DATA/00000003."), to = dir.file("out/00000009.");
    short count = 3;
    multi_copy(from.c_str(), to.c_str(), &count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(dir.read("out/00000009.003"), "three");
    count = 0;
    multi_copy(from.c_str(), to.c_str(), &count);
    EXPECT_EQ(count, 0);
}
