// Start-up and close-down as the program shell runs them: empty working directory, switches, alarm status, fatal errors.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "core/config_store.h"
#include "core/errors.h"
#include "core/ini_file.h"
#include "core/shared_buffers.h"
#include "core/startup.h"
#include "programs/program_shell.h"
#include "platform/ui/model.h"
#include "platform/ui/userint.h"
#include "tests/core/core_fixture.h"

namespace {

class StartUp : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        DBDisconnect(hdbc);
        hdbc = -1;
        work = dir.path() + "/plant/work";
        set_dir(work);
        main_window = [this] {
            calls.push_back("sc_main");
            QuitUserInterface(0);
            return 0;
        };
    }
    void set_dir(const std::string& d)
    {
        char value[kIniValueSize];
        std::strcpy(value, d.c_str());
        read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "DIR", value);
    }
    std::string config(int param, int index)
    {
        return rows("SELECT VAL_TEXT FROM CONFIG WHERE PARAM = " + std::to_string(param) + " AND INDEX = " + std::to_string(index));
    }
    vtest::TempDir keep_cwd{true};
    vtest::SimulatedClock clock{{2026, 3, 14, 9, 30, 0}};
    std::string work;
    std::function<int()> main_window;
};

TEST_F(StartUp, EmptyWorkingDirectoryIsCreatedAndFilled)
{
    GraphInfo.push_back({3, 1});
    GraphInfoEntries = 1;
    char program_name[] = "Vantrel";
    char* argv[] = {program_name, nullptr};
    EXPECT_EQ(vantrel_main(1, argv, main_window), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"update_menu", "saveAllAndExport:1", "sc_main"}));
    for (const char* f : {"VT_INFO.DBF", "OOC_ALRM.DBF", "ENDP_DAT.DBF", "ENDP_PAR.DBF", "CONFIG.DBF"})
        EXPECT_TRUE(vsys::file_exists(work + "/" + f)) << f;
    EXPECT_TRUE(vsys::directory_exists(work + "/SC_DATA"));
    EXPECT_TRUE(vsys::directory_exists(work + "/Setup"));
    // Shut down: connection closed, buffers and directory released.
    EXPECT_EQ(hdbc, -1);
    EXPECT_TRUE(GraphInfo.empty());
    EXPECT_EQ(GraphInfoEntries, 0);
    EXPECT_TRUE(vt_dir.empty());
    EXPECT_EQ(Flags & (FLAG_COMPARE | FLAG_PENDING_CHANGES), FLAG_COMPARE);
    EXPECT_EQ(confidence_level, 4);
    EXPECT_EQ(status_color, STATUS_WHITE);
    EXPECT_EQ(current_file_index, -1);
    EXPECT_EQ(ui.mouse_cursor(), -1);
    hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + work).c_str());
    EXPECT_EQ(rows("SELECT PARAM, INDEX, VAL_TEXT FROM CONFIG ORDER BY PARAM, INDEX"),
              "0|0|W1;0|5|3;0|21|2026/03/14 09:30:00;1|0|DEFAULT;1|3|Setup1");
}

TEST_F(StartUp, EveryStartRecordsItsTimeAndNamesProcessZero)
{
    ASSERT_EQ(ReadGlobalSetup(), 1);
    char text[33];
    get_put_char(hdbc, 1, 0, CONFIG_WRITE, std::strcpy(text, "RENAMED"));
    clock.advance(3600);
    hdbc = -1;  // as at the next start (the old connection stays for the check below)
    ASSERT_EQ(ReadGlobalSetup(), 1);
    EXPECT_EQ(config(0, 21), "2026/03/14 10:30:00");
    EXPECT_EQ(config(1, 0), "DEFAULT");
    EXPECT_EQ(vt_dir, work);
}

TEST_F(StartUp, RealTimeSwitch)
{
    ASSERT_EQ(ReadGlobalSetup(), 1);
    struct Case {
        const char* text;  // null: no row
        short expected;
    };
    const Case cases[] = {{"0 1", 0}, {"0 0", -1}, {"0 7", 0}, {nullptr, -1}, {"NA", -1}, {"", -1}, {"1", -1}};
    for (const Case& c : cases) {
        char text[33];
        if (c.text)
            get_put_char(hdbc, 0, 8, CONFIG_WRITE, std::strcpy(text, c.text));
        else
            get_put_char(hdbc, 0, 8, CONFIG_DELETE, text);
        ASSERT_EQ(ReadGlobalSetup(), 1);
        EXPECT_EQ(current_file_index, c.expected) << (c.text ? c.text : "no row");
    }
}

TEST_F(StartUp, UnclearedAlarmTurnsTheStatusYellow)
{
    ASSERT_EQ(ReadGlobalSetup(), 1);
    EXPECT_EQ(status_color, STATUS_WHITE);
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO OOC_ALRM (RUN, WAFER, CLEARED) VALUES (4, 1, 1)"), 0);
    ASSERT_EQ(ReadGlobalSetup(), 1);
    EXPECT_EQ(status_color, STATUS_WHITE);
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO OOC_ALRM (RUN, WAFER, CLEARED) VALUES (5, 1, 0)"), 0);
    ASSERT_EQ(ReadGlobalSetup(), 1);
    EXPECT_EQ(status_color, STATUS_YELLOW);
}

TEST_F(StartUp, SmallScreenWarnsOnce)
{
    for (int height : {500, 499}) {
        SCOPED_TRACE(height);
        if (hdbc > 0) DBDisconnect(hdbc);
        hdbc = -1;
        vui::model().screen_height = height;
        if (height < 500) ui.answer(1);
        ASSERT_EQ(ReadGlobalSetup(), 1);
    }
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "Warning");
    EXPECT_EQ(ui.popups()[0].text, "Display resolution should be at least 600x800.  Some windows may not display correctly.");
}

TEST_F(StartUp, InvalidWorkingDirectoryEndsTheStartWithOnePopup)
{
    set_dir("C:\\VANTREL");
    ui.answer(1);
    char* argv[] = {nullptr};
    EXPECT_EQ(vantrel_main(0, argv, main_window), -1);
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "Fatal Error");
    EXPECT_EQ(ui.popups()[0].text, "Invalid working directory.");
    EXPECT_EQ(calls, std::vector<std::string>{});
    EXPECT_EQ(hdbc, -1);
}

TEST_F(StartUp, ExitNowFromTheMainWindowEndsTheLoop)
{
    main_window = [this] {
        calls.push_back("sc_main");
        EXIT_NOW("NULL pointer returned in sc_main()");
        return 0;
    };
    ui.answer(1);
    char* argv[] = {nullptr};
    EXPECT_EQ(vantrel_main(0, argv, main_window), 0);
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "Fatal Error");
    EXPECT_EQ(ui.popups()[0].text, "NULL pointer returned in sc_main()");
}

TEST_F(StartUp, WithoutTheMainWindowTheProgramSaysSoAndEnds)
{
    main_window = nullptr;
    reset_missing_seams();
    char* argv[] = {nullptr};
    EXPECT_EQ(vantrel_main(0, argv, main_window), 0);
    EXPECT_NE(missing_seams_reported().find("sc_main"), std::string::npos);
    EXPECT_EQ(hdbc, -1);
}

TEST_F(StartUp, ShowErrorShowsTheLastSqlErrorAndKeepsTheCursor)
{
    ASSERT_EQ(ReadGlobalSetup(), 1);
    EXPECT_LE(DBActivateSQL(hdbc, "SELECT * FROM NO_SUCH_TABLE"), 0);
    std::string message = DBErrorMessage();
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    ui.answer(1);
    ShowError();
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "Database Error");
    EXPECT_EQ(ui.popups()[0].text, message);
    EXPECT_EQ(ui.mouse_cursor(), VAL_HOUR_GLASS_CURSOR);
    int panel = 0, control = 0;
    EXPECT_EQ(check_password(&panel, &control, nullptr, 0), 1);
}

}  // namespace
