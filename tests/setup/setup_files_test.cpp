// The File menu of process setups: Save, Save As, Open, Delete, write protection, numbering and file-name splitting.
#include <gtest/gtest.h>

#include <filesystem>

#include "panels/s_chart.h"
#include "platform/ui/status_line.h"
#include "setup/setup_files.h"
#include "setup/setup_paths.h"
#include "tests/setup/setup_fixture.h"

using setuptest::SetupTest;

namespace {
constexpr const char* kProtected =
    "Save Error|This process is write protected.  Please select \"Save As...\" from the \"File menu.\"";
}

TEST(StripName, SplitsDirectoryAndBareName)
{
    struct Case {
        const char* full;
        const char* path;
        const char* name;
    } cases[] = {
        {"/work/Setup/Etch A.Vantrel", "/work/Setup/", "Etch A"},
        {"/work/Setup/Etch", "/work/Setup/", "Etch"},
        {"/data.v2/Setup/Etch", "/data.v2/Setup/", "Etch"},
        {"/work/Setup/.Vantrel", "/work/Setup/", ""},  // the dot of a directory is no extension
        {"/data.v2/Setup/Etch.x.Vantrel", "/data.v2/Setup/", "Etch.x"},
        {"Etch.Vantrel", "", "Etch"},
        {"Etch", "", "Etch"},
        {"C:\\Setup\\Etch.Vantrel", "C:\\Setup\\", "Etch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.full);
        std::string path = "x", name = "x";
        EXPECT_EQ(StripNameAndPathFromFullname(c.full, &path, &name), 1);
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(name, c.name);
    }
}

TEST_F(SetupTest, SaveStoresPendingChangesExportsAndClearsTheFlag)
{
    parent_panel = NewPanel(0, "main", 0, 0, 400, 600);
    channel_slope[4] = 2.5;
    Flags |= FLAG_PENDING_CHANGES;
    save_read(0, MENUBAR_FILE_SAVE, nullptr, 0);
    EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, 0);
    EXPECT_EQ(rows("SELECT NUM_VAL FROM 0003NUMB WHERE PARAM = 1 AND INDEX = 4"), "2.500000000");
    EXPECT_TRUE(exists("Setup/Alpha.Vantrel"));
    EXPECT_EQ(ui.title(parent_panel), "System=W1, Alpha");
    EXPECT_EQ(vui::status_line(), "Process \"Alpha\" saved.");
}

TEST_F(SetupTest, PendingChangesAskFirstAndStayWhenDeclined)
{
    Flags |= FLAG_PENDING_CHANGES;
    ui.answer_no();
    saveAllAndExport(0);
    EXPECT_EQ(ui.popups().back().text, "Changes are pending.  Do you want to save changes?");
    EXPECT_NE(Flags & FLAG_PENDING_CHANGES, 0);
    EXPECT_FALSE(exists("Setup/Alpha.Vantrel"));
    ui.answer_yes();
    saveAllAndExport(0);
    EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, 0);
    EXPECT_TRUE(exists("Setup/Alpha.Vantrel"));
}

TEST_F(SetupTest, WriteProtectedProcessesAreNeverSaved)
{
    for (int n : {0, 1, 2}) {
        SCOPED_TRACE(n);
        recipe_num = n;
        Flags = FLAG_PENDING_CHANGES;
        ui.answer(1);
        save_read(0, MENUBAR_FILE_SAVE, nullptr, 0);
        EXPECT_EQ(last_popup(), kProtected);
        EXPECT_NE(Flags & FLAG_PENDING_CHANGES, 0);
        EXPECT_EQ(vui::status_line(), "");  // the popup said it: no note of a save that did not happen
    }
    EXPECT_FALSE(vsys::file_exists(dir.file("0001NUMB.DBF")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("Setup")));
}

TEST_F(SetupTest, SaveAsTakesTheLowestFreeNumberFromThree)
{
    // Process 3 is Alpha; 5 is used too, so the new one becomes 4.
    name_process(5, "Gamma");
    channel_slope[2] = 7.0;
    Flags |= FLAG_PENDING_CHANGES;
    ui.answer_path(file("Setup/Beta.Vantrel"));
    save_read(0, MENUBAR_FILE_SAVE_AS, nullptr, 0);
    EXPECT_EQ(recipe_num, 4);
    EXPECT_EQ(config_text(0, 5), "4");
    EXPECT_EQ(config_text(1, 4), "Beta");
    EXPECT_EQ(rows("SELECT NUM_VAL FROM 0004NUMB WHERE PARAM = 1 AND INDEX = 2"), "7.000000000");
    // The old process keeps its last saved state.
    EXPECT_EQ(rows("SELECT NUM_VAL FROM 0003NUMB WHERE PARAM = 1 AND INDEX = 2"), "1.000000000");
    EXPECT_TRUE(exists("Setup/Beta.Vantrel"));
    EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, 0);
}

TEST_F(SetupTest, SaveAsFromAProtectedProcessAllocatesThree)
{
    vtest::run(hdbc, "DELETE FROM CONFIG WHERE PARAM = 1 AND INDEX = 3");
    recipe_num = 0;
    ui.answer_path(file("Setup/First.Vantrel"));
    SaveSetupAs();
    EXPECT_EQ(recipe_num, 3);
    EXPECT_EQ(config_text(1, 3), "First");
    EXPECT_TRUE(exists("0003NUMB.DBF"));
}

TEST_F(SetupTest, SaveAsRefusesEmptyAndLongNamesAndAsksAgain)
{
    ui.answer_path(file("Setup/.Vantrel"));
    ui.answer(1);
    ui.answer_path(file("Setup/" + std::string(33, 'x') + ".Vantrel"));
    ui.answer(1);
    ui.answer_cancel();
    SaveSetupAs();
    std::vector<std::string> seen;
    for (const auto& p : ui.popups()) seen.push_back(p.title + "|" + p.text);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[1], "Save Error|Invalid file name.  Please try again.");
    EXPECT_EQ(seen[3], "Save Error|File name exceeds 32 char.  Please try again.");
    EXPECT_EQ(recipe_num, 3);
}

TEST_F(SetupTest, SaveAsOntoAProtectedProcessCopiesNothing)
{
    ui.answer_path(file("Setup/FACTORY A.Vantrel"));
    ui.answer(1);
    SaveSetupAs();
    EXPECT_EQ(last_popup(), "|This setup file is write protected.  Please select Save As... from the File menu.");
    EXPECT_EQ(recipe_num, 3);
    EXPECT_FALSE(exists("0001NUMB.DBF"));
}

TEST_F(SetupTest, SaveAsOntoItsOwnNameSavesIntoTheSameNumber)
{
    channel_slope[1] = 3.0;
    ui.answer_path(file("Setup/Alpha.Vantrel"));
    SaveSetupAs();
    EXPECT_EQ(recipe_num, 3);
    EXPECT_EQ(rows("SELECT NUM_VAL FROM 0003NUMB WHERE PARAM = 1 AND INDEX = 1"), "3.000000000");
}

TEST_F(SetupTest, NoNumberLeftAbove9000)
{
    // Every number from 3 to 9000 in use.
    for (int i = 4; i <= 9000; ++i)
        ASSERT_EQ(vtest::run(hdbc, "INSERT INTO CONFIG VALUES (1, " + std::to_string(i) + ", 'P" + std::to_string(i) + "')"), 0);
    ui.answer(1);
    EXPECT_EQ(getRecipeNumber(hdbc, "Omega"), -1);
    EXPECT_EQ(last_popup(),
              "|Maximum number of processes exceeded.  You must delete another process before you can save a new one.");
    EXPECT_EQ(getRecipeNumber(hdbc, "P8999"), 8999);
}

TEST_F(SetupTest, OpenLoadsAnExistingProcessAndDropsDeclinedEdits)
{
    make_current(4, "Beta");
    channel_slope[1] = 9.0;
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    make_current(3, "Alpha");
    ASSERT_TRUE(vsys::write_file_atomic(file("Setup/Beta.Vantrel"), ""));
    Flags |= FLAG_PENDING_CHANGES;
    ui.answer_no();
    ui.answer_path(file("Setup/Beta.Vantrel"));
    save_read(0, MENUBAR_FILE_OPEN, nullptr, 0);
    EXPECT_EQ(recipe_num, 4);
    EXPECT_EQ(config_text(0, 5), "4");
    EXPECT_EQ(channel_slope[1], 9.0);
    EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, 0);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "update_menu"), calls.end());
    EXPECT_EQ(vui::status_line(), "Process \"Beta\" opened.");
}

TEST_F(SetupTest, DeleteRemovesTheFileSetButKeepsTheHeaderRow)
{
    make_current(4, "Beta");
    for (const char* f : {"0004INST.DBF", "0004ACTC.DBF", "0004LIMI.DBF", "00000004.POR", "00000004.INT"})
        dir.write(f, "x");
    char sys[17] = "S", rec[33] = "R", tr[33] = "T", com[65] = "";
    short complete = 0, cassette = 0;
    info_table({hdbc, -1, 4, sys, rec, tr, com, &complete, &cassette});
    make_current(3, "Alpha");
    // Delete first exports every process into the Setup directory, then asks which one, then asks to be sure.
    ui.answer_path(file("Setup/Beta.Vantrel"));
    ui.answer_yes();
    save_read(0, MENUBAR_FILE_DELETE, nullptr, 0);
    EXPECT_EQ(last_popup(), "Delete|Are you sure you want to delete the process setup \"Beta\"?");
    for (const char* f : {"0004INST.DBF", "0004ACTC.DBF", "0004LIMI.DBF", "0004TAGS.DBF", "0004NUMB.DBF",
                          "00000004.POR", "00000004.INT", "Setup/Beta.Vantrel"})
        EXPECT_FALSE(exists(f)) << f;
    EXPECT_TRUE(exists("Setup/Alpha.Vantrel"));
    EXPECT_EQ(rows("SELECT INDEX FROM CONFIG WHERE PARAM = 1 AND INDEX = 4"), "");
    EXPECT_EQ(rows("SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = -4"), "-4");
}

TEST_F(SetupTest, DeleteRefusesTheLoadedAndProtectedProcesses)
{
    ASSERT_TRUE(vsys::write_file_atomic(file("Setup/FACTORY A.Vantrel"), "x"));
    ui.answer_path(file("Setup/Alpha.Vantrel"));
    ui.answer(1);
    save_read(0, MENUBAR_FILE_DELETE, nullptr, 0);
    EXPECT_EQ(last_popup(), "Delete Error|Cannot delete the currently loaded process.");
    EXPECT_TRUE(exists("0003NUMB.DBF"));

    ui.answer_path(file("Setup/FACTORY A.Vantrel"));
    ui.answer(1);
    save_read(0, MENUBAR_FILE_DELETE, nullptr, 0);
    EXPECT_EQ(last_popup(), "Delete Error|This process is write protected and cannot be deleted.");
    EXPECT_TRUE(exists("Setup/FACTORY A.Vantrel"));
    EXPECT_EQ(config_text(1, 1), "FACTORY A");
}

TEST_F(SetupTest, DeleteOfAFileOfNoProcessRemovesOnlyThatFile)
{
    ASSERT_TRUE(vsys::write_file_atomic(file("Setup/Stray.Vantrel"), "x"));
    ui.answer_path(file("Setup/Stray.Vantrel"));
    ui.answer_yes();
    save_read(0, MENUBAR_FILE_DELETE, nullptr, 0);
    EXPECT_FALSE(exists("Setup/Stray.Vantrel"));
    EXPECT_TRUE(exists("0003NUMB.DBF"));
}

// The Setup folder swapped for a link to another folder while the user confirms: nothing there is deleted.
TEST_F(SetupTest, DeleteTakesTheFileOfTheFolderItCheckedOnly)
{
    namespace fs = std::filesystem;
    vtest::TempDir outside;
    outside.write("Stray.Vantrel", "keep");
    ASSERT_TRUE(vsys::write_file_atomic(file("Setup/Stray.Vantrel"), "x"));
    ui.hold_next_popup();
    ui.after_pumps(1, [&] {
        ASSERT_TRUE(ui.answer_open(vui::PopupAnswer{1, file("Setup/Stray.Vantrel"), false}));
        ui.hold_next_popup();  // the question, answered once the folder is swapped
        ui.after_pumps(1, [&] {
            fs::rename(file("Setup"), file("Setup.old"));
            fs::create_directory_symlink(outside.path(), file("Setup"));
            ASSERT_TRUE(ui.answer_open(1));
        });
    });
    ui.answer(1);  // the error
    save_read(0, MENUBAR_FILE_DELETE, nullptr, 0);
    EXPECT_EQ(outside.read("Stray.Vantrel"), "keep");
    EXPECT_NE(last_popup().find("Delete Error|cannot delete \"" + file("Setup/Stray.Vantrel") + "\""), std::string::npos)
        << last_popup();
    EXPECT_TRUE(exists("Setup.old/Stray.Vantrel"));
}

// A database table, a setup outside the Setup folder or a "No" never loses a file.
TEST_F(SetupTest, DeleteTakesOnlySetupFilesAndAsksFirst)
{
    make_current(4, "Beta");
    make_current(3, "Alpha");
    ASSERT_TRUE(vsys::write_file_atomic(file("Outside.Vantrel"), "x"));
    struct Case {
        const char* pick;
        const char* popup;
    };
    const Case cases[] = {
        {"CONFIG.DBF", "Delete Error|Only process setups (*.Vantrel) in the Setup folder can be deleted."},
        {"0004NUMB.DBF", "Delete Error|Only process setups (*.Vantrel) in the Setup folder can be deleted."},
        {"Outside.Vantrel", "Delete Error|Only process setups (*.Vantrel) in the Setup folder can be deleted."},
        {"Setup/Beta.Vantrel", "Delete|Are you sure you want to delete the process setup \"Beta\"?"},
    };
    for (const Case& c : cases) {
        ui.answer_path(file(c.pick));
        if (std::string(c.popup).rfind("Delete|", 0) == 0)
            ui.answer_no();
        else
            ui.answer(1);
        save_read(0, MENUBAR_FILE_DELETE, nullptr, 0);
        EXPECT_EQ(last_popup(), c.popup) << c.pick;
        for (const char* f : {"CONFIG.DBF", "0004NUMB.DBF", "Outside.Vantrel", "Setup/Beta.Vantrel"})
            EXPECT_TRUE(exists(f)) << c.pick << ": " << f;
    }
    EXPECT_EQ(config_text(1, 4), "Beta");
}

TEST_F(SetupTest, RecordItemTogglesItsCheckMark)
{
    int panel = NewPanel(0, "main", 0, 0, 400, 600);
    int bar = NewMenuBar(panel);
    int menu = NewMenu(bar, "File", -1);
    int item = 0;
    while (item < MENUBAR_FILE_RECORD_DATA) item = NewMenuItem(bar, menu, "Record", -1, 0, nullptr, nullptr);
    ASSERT_EQ(item, MENUBAR_FILE_RECORD_DATA);
    save_read(bar, MENUBAR_FILE_RECORD_DATA, nullptr, panel);
    EXPECT_TRUE(ui.menu_item(bar, MENUBAR_FILE_RECORD_DATA)->checked);
    save_read(bar, MENUBAR_FILE_RECORD_DATA, nullptr, panel);
    EXPECT_FALSE(ui.menu_item(bar, MENUBAR_FILE_RECORD_DATA)->checked);
}

TEST_F(SetupTest, CopyOfAProcessCarriesItsHeaderRowAndPorFilesAndKeepsTheRunContext)
{
    dir.write("00000003.POR", "por bytes");
    dir.write("00000003.INT", "int text");
    char sys[17] = "SYS", rec[33] = "RECIPE", tr[33] = "TRACE", com[65] = "";
    short complete = 0, cassette = 7;
    num_of_wafers = 5;
    info_table({hdbc, -1, 3, sys, tr, rec, com, &complete, &cassette});
    VantrelChannelStatusBits = 0x5;
    saved_channels = 2;
    channels = 3;
    sample_rate_index = sample_rate = 20;
    ADCBits = 1;
    run_num = 77;
    copy_process_from_to(hdbc, hdbc, 3, vt_dir.c_str(), 6, vt_dir.c_str());
    EXPECT_EQ(rows("SELECT SYSTEM_ID, RECIPE, TRACE_ID, CASSETTE FROM VT_INFO WHERE RUN_NUM = -6"), "SYS|RECIPE|TRACE|7");
    EXPECT_EQ(dir.read("00000006.POR"), "por bytes");
    EXPECT_EQ(dir.read("00000006.INT"), "int text");
    EXPECT_EQ(dir.read("0006NUMB.DBF"), dir.read("0003NUMB.DBF"));
    EXPECT_EQ(VantrelChannelStatusBits, 0x5u);
    EXPECT_EQ(saved_channels, 2);
    EXPECT_EQ(channels, 3);
    EXPECT_EQ(sample_rate_index, 20);
    EXPECT_EQ(ADCBits, 1);
    EXPECT_EQ(run_num, 77);
}

// A copy that cannot be placed (a folder stands where the table goes) is told, not passed off as done.
TEST_F(SetupTest, AFailedCopyIsToldAndAnswersMinusOne)
{
    std::filesystem::create_directories(dir.file("0006LIMI.DBF/keep"));
    ui.answer(1);
    EXPECT_EQ(copy_process_from_to(hdbc, hdbc, 3, vt_dir.c_str(), 6, vt_dir.c_str()), -1);
    ASSERT_FALSE(ui.popups().empty());
    EXPECT_EQ(ui.popups().back().title, "Copy Error");
    EXPECT_NE(ui.popups().back().text.find("0006LIMI.DBF"), std::string::npos) << ui.popups().back().text;
    EXPECT_EQ(dir.read("0006NUMB.DBF"), dir.read("0003NUMB.DBF")) << "the other tables are still copied";
}

TEST_F(SetupTest, CopyOntoTheSameFilesDoesNothing)
{
    dir.write("00000003.POR", "keep");
    std::filesystem::create_directory(dir.file("sub"));
    copy_process_from_to(hdbc, hdbc, 3, (vt_dir + "/sub/..").c_str(), 3, vt_dir.c_str());
    EXPECT_EQ(dir.read("00000003.POR"), "keep");
    EXPECT_TRUE(exists("0003NUMB.DBF"));
}
