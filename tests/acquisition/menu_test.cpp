// The main window's File, channel setup, alarm and Window menu items as a user picks them.
#include "tests/acquisition/acq_fixture.h"

#include <functional>

#include "panels/apop.h"
#include "panels/card_004.h"
#include "panels/log_req.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "programs/wiring.h"
#include "setup/export_file.h"
#include "testing/alarm_review.h"
#include "testing/window_menu.h"

namespace {

class MenuTest : public acqtest::AcqTest {
protected:
    void SetUp() override
    {
        AcqTest::SetUp();
        std::filesystem::create_directory(dir.file("Setup"));
        // The menus reach the setup and alarm subsystems as the programs wire them.
        wire_subsystems();
    }
    void TearDown() override
    {
        if (list_panel > 0) DiscardPanel(list_panel);
        list_panel = -1;
        AcqTest::TearDown();
    }
    int item(const std::string& name) const { return ui.find_menu_item(handle_menu, name); }
    bool dimmed(int id) const { return ui.menu_item(handle_menu, id)->dimmed; }
    bool checked(int id) const { return ui.menu_item(handle_menu, id)->checked; }
    std::string name_rows(int process)
    {
        return rows(vsys::strprintf("SELECT COUNT(*) FROM CONFIG WHERE PARAM = 1 AND INDEX = %d", process));
    }
    bool exists(const std::string& relative) const { return std::filesystem::exists(dir.file(relative)); }
    void uncleared_alarm()
    {
        ASSERT_EQ(vtest::run(hdbc, "INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SAV_DATE, SAV_TIME, "
                                   "COMPLETE) VALUES (10, 1, 'ETCH', 'LOT-10', '2026/03/01', '08:00:00', 1)"),
                  0);
        ASSERT_EQ(vtest::run(hdbc, "INSERT INTO OOC_ALRM VALUES (10, 1, 2, 0, 1, 0, 0, 0)"), 0);
        status_color = STATUS_YELLOW;
    }
};

struct MenuCase {
    const char* item;
    std::function<void()> before;
    std::function<void()> after;
};

TEST_F(MenuTest, EachItemShowsItsEffect)
{
    const MenuCase cases[] = {
        {"Save As...", [this] { ui.answer_path(dir.file("Setup/NEW.Vantrel")); },
         [this] {
             EXPECT_EQ(recipe_num, 4);
             EXPECT_EQ(ui.title(parent_panel), "System=TOOL_A, NEW");
             EXPECT_TRUE(exists("Setup/NEW.Vantrel"));
         }},
        {"Save", [this] { Flags |= FLAG_PENDING_CHANGES; },
         [this] {
             EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, 0);
             EXPECT_TRUE(exists("Setup/NEW.Vantrel"));
         }},
        {"Export...", [this] { ui.answer_path(dir.file("OUT.Vantrel")); },
         [this] { EXPECT_TRUE(exists("OUT.Vantrel")); }},
        {"Import...", [this] { ui.answer_path(dir.file("OUT.Vantrel")); },
         [this] {
             EXPECT_EQ(name_rows(5), "1");
             EXPECT_TRUE(exists("Setup/OUT.Vantrel"));
             EXPECT_TRUE(exists("0005NUMB.DBF"));
         }},
        {"Open...", [this] { ui.answer_path(dir.file("Setup/ETCH.Vantrel")); },
         [this] { EXPECT_EQ(recipe_num, 3); }},
        {"Delete...",
         [this] {
             ui.answer_path(dir.file("Setup/OUT.Vantrel"));
             ui.answer_yes();
         },
         [this] {
             EXPECT_FALSE(exists("Setup/OUT.Vantrel"));
             EXPECT_FALSE(exists("0005NUMB.DBF"));
             EXPECT_EQ(name_rows(5), "0");
         }},
        {"Record Data", [this] {}, [this] { EXPECT_FALSE(checked(14)); }},
        {"Channel Setup...", [this] {},
         [this] {
             const int frame = ui.find_panel("CHAN");
             ASSERT_GT(frame, 0);
             ASSERT_TRUE(ui.press(frame, CHAN_CANCEL));
             EXPECT_EQ(ui.find_panel("CHAN"), 0);
         }},
        {"Alarm List...", [this] {},
         [this] {
             const int popup = ui.modal_panel();
             ASSERT_GT(popup, 0);
             EXPECT_TRUE(ui.visible(popup, APOP_LIST));
             EXPECT_FALSE(ui.visible(popup, APOP_PARETO));
             DiscardPanel(popup);
         }},
        {"Alarm Pareto...", [this] {},
         [this] {
             const int popup = ui.modal_panel();
             ASSERT_GT(popup, 0);
             EXPECT_FALSE(ui.visible(popup, APOP_LIST));
             EXPECT_TRUE(ui.visible(popup, APOP_PARETO));
             DiscardPanel(popup);
         }},
    };
    // Open finds ETCH's file in the Setup directory.
    ExportRecipe("ETCH", (dir.path() + "/Setup").c_str(), 1, 1);
    for (const MenuCase& c : cases) {
        SCOPED_TRACE(c.item);
        const int id = item(c.item);
        ASSERT_NE(id, 0);
        c.before();
        ASSERT_TRUE(ui.pick(handle_menu, id));
        c.after();
        EXPECT_EQ(ui.answers_left(), 0u);
    }
}

TEST_F(MenuTest, ItemsCarryTheirNumbersAndShortcuts)
{
    const struct {
        int id;
        const char* name;
        int shortcut;
    } expected[] = {
        {3, "Open...", 0x40000 + 'O'}, {4, "Save", 0x40000 + 'S'}, {5, "Save As...", 0}, {6, "Delete...", 0},
        {7, "Import...", 0},           {8, "Export...", 0},        {14, "Record Data", 0}, {28, "Channel Setup...", 0},
        {48, "Clear Alarms...", 0},    {49, "Alarm List...", 0},   {50, "Alarm Pareto...", 0}, {57, "Strip Chart", 0},
        {58, "SPC Chart List", 0},     {59, "SPC Chart", 0},       {60, "Alarm Window", 0}, {61, "Batch Comparison", 0},
        {62, "Tile", 0},
    };
    for (const auto& e : expected) {
        auto entry = ui.menu_item(handle_menu, e.id);
        ASSERT_TRUE(entry) << e.id;
        EXPECT_EQ(entry->name, e.name);
        EXPECT_EQ(entry->shortcut, e.shortcut) << e.name;
    }
    // With no alarm and only the strip chart open, these wait dimmed.
    for (int id : {48, 58, 59, 60, 61, 62}) EXPECT_TRUE(dimmed(id)) << id;
    EXPECT_TRUE(checked(57));
    EXPECT_TRUE(checked(14));
}

TEST_F(MenuTest, ClearAlarmsOpensTheReviewAndTheWindowMenuFollows)
{
    uncleared_alarm();
    update_menu();
    ASSERT_FALSE(dimmed(48));
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_ALARMS_CLEAR_ALARMS));
    ASSERT_GT(list_panel, 0);
    EXPECT_FALSE(dimmed(60));
    EXPECT_TRUE(checked(60));
    EXPECT_FALSE(checked(57));
    EXPECT_FALSE(dimmed(62));  // two windows to tile
    // Back to the strip chart from the Window menu.
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_WINDOW_STRIP_CHART));
    EXPECT_TRUE(checked(57));
    EXPECT_FALSE(checked(60));
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_WINDOW_TILE));
    // The alarm window is still open when the bar is rebuilt: its item stays usable.
    update_menu();
    EXPECT_FALSE(dimmed(60));
}

// The strip chart's Tile button arranges the open windows as the Window menu's Tile does.
TEST_F(MenuTest, TileButtonArrangesTheWindowsLikeTheMenuItem)
{
    uncleared_alarm();
    update_menu();
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_ALARMS_CLEAR_ALARMS));
    ASSERT_GT(list_panel, 0);
    auto geometry = [this] {
        std::vector<int> g;
        for (int panel : {sc_handle, list_panel})
            for (int attr : {ATTR_TOP, ATTR_LEFT, ATTR_WIDTH, ATTR_HEIGHT}) g.push_back(ui.panel_attribute(panel, attr));
        return g;
    };
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_WINDOW_TILE));
    const auto tiled = geometry();
    ASSERT_TRUE(ui.move_panel(list_panel, 300, 200));
    ASSERT_TRUE(ui.move_panel(sc_handle, 250, 150));
    ASSERT_NE(geometry(), tiled);
    ASSERT_TRUE(ui.press(sc_handle, SCHART_TILE));
    EXPECT_EQ(geometry(), tiled);
}

TEST_F(MenuTest, ClearAlarmsWithNothingLeftTurnsTheStatusWhite)
{
    status_color = STATUS_YELLOW;
    update_menu();
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_ALARMS_CLEAR_ALARMS));
    EXPECT_EQ(status_color, STATUS_WHITE);
    EXPECT_TRUE(dimmed(48));
    EXPECT_LE(list_panel, 0);
}

TEST_F(MenuTest, AcquisitionDimsTheSetupItemsAlsoAcrossARebuild)
{
    const int during[] = {3, 4, 14, 27, 37, 47, 51, 56};
    const int usable[] = {5, 6, 7, 8, 28, 49, 50};
    start();
    ASSERT_TRUE(acq().active);
    for (int id : during) EXPECT_TRUE(dimmed(id)) << id;
    for (int id : usable) EXPECT_FALSE(dimmed(id)) << id;
    EXPECT_FALSE(ui.pick(handle_menu, MENUBAR_FILE_OPEN));
    // The channel setup's OK rebuilds the bar while acquisition goes on.
    Flags |= FLAG_PENDING_CHANGES;
    ui.answer_no();
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_CHANNEL_SETUP));
    const int frame = ui.find_panel("CHAN");
    ASSERT_GT(frame, 0);
    ASSERT_TRUE(ui.press(frame, CHAN_OK));
    ASSERT_TRUE(acq().active);
    for (int id : during) EXPECT_TRUE(dimmed(id)) << id;
    stop();
    for (int id : during) EXPECT_FALSE(dimmed(id)) << id;
    EXPECT_TRUE(checked(14));
}

TEST_F(MenuTest, ViewLogOpensTheActivityReportWhoseOkOpensTheReport)
{
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SAV_DATE, SAV_TIME, "
                               "COMPLETE) VALUES (10, 2, 'ETCH', 'LOT-10', '2026/03/14', '09:10:00', 1)"),
              0);
    ASSERT_TRUE(ui.pick(handle_menu, "View Log..."));
    const int popup = ui.modal_panel();
    ASSERT_GT(popup, 0);
    EXPECT_EQ(ui.title(popup), "Activity Report");
    ASSERT_TRUE(ui.press(popup, LOGREQ_OK));
    EXPECT_FALSE(ui.panel_exists(popup));
    ASSERT_EQ(ui.documents(), std::vector<std::string>{dir.file("ACTIVITY.TXT")});
    EXPECT_NE(dir.read("ACTIVITY.TXT").find("09:10:00 2 Triggered Events, Trace ID = LOT-10, ETCH"), std::string::npos)
        << dir.read("ACTIVITY.TXT");
}

}  // namespace
