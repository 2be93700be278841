// Help topics, colour scheme files, the alarm commands and the release of the chart buffers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "core/callbacks.h"
#include "core/colour_files.h"
#include "core/config_store.h"
#include "core/help_topics.h"
#include "core/module_services.h"
#include "core/shared_buffers.h"
#include "panels/apop.h"
#include "panels/card_004.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "tests/core/core_fixture.h"
#include "tests/support/fake_help_viewer.h"

namespace {

// The Help button (id 2) of the panel files these tests write.
constexpr int kHelpButton = 2;

using coretest::CoreTest;

using FakeViewer = vtest::FakeHelpViewer;

TEST(HelpTopics, ByPanelNameAndLimitDialogTitle)
{
    struct Case {
        const char* name;
        const char* title;
        int topic;
    };
    const Case cases[] = {
        {"PANEL", "", 1000},
        {"CHAN", "", 1001},
        {"SUB", "", 1001},
        {"MFC_SPEC", "", 1002},
        {"PART2", "", 1004},
        {"SPC", "", 1006},
        {"spc", "", 1000},  // names compare case-sensitively
        {"REVIEW", "", 1007},
        {"COMPARE", "", 1008},
        {"TRIGGERS", "", 1009},
        {"ANYTHING", "", 1000},
        {"SPEC", "Timer Control Limits", 1004},
        {"SPEC", "Control Limits for the Standard Deviation", 1003},
        {"SPEC", "Sigma Vector Control Limits (%)", 1005},
        {"SPEC", "Step Stabilty Time Control Limits (sec)", 1002},
        {"SPEC", "Step Stability Time Control Limits (sec)", 0},  // only the title as the dialog spells it
        {"SPEC", "Step Decay Limits (Time, in seconds, required to be reduced by 1/e)", 1002},
        {"SPEC", "Other", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(help_topic(c.name, c.title), c.topic) << c.name << " / " << c.title;
}

class Services : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        auto entries = core_callbacks();
        entries.push_back({"show_errors", CtrlCallbackPtr([this](int panel, int control, int event, void*, int, int) {
                               calls.push_back(vsys::strprintf("show_errors:%d,%d,%d", panel, control, event));
                               return 0;
                           })});
        entries.push_back({"close_alarm_display", PanelCallbackPtr([](int, int, void*, int, int) { return 0; })});
        vui::register_callbacks(entries);
    }
    void TearDown() override
    {
        vui::clear_callback_registry();
        CoreTest::TearDown();
    }
};

TEST_F(Services, HelpButtonOpensTheTopicOfItsPanel)
{
    program.write("help_test.uir", R"({"panels": [
        {"resource": 1, "constant": "TRIGGERS", "title": "Triggers", "width": 200, "height": 100,
         "controls": [{"id": 2, "kind": "command_button", "label": "Help", "callback": "help_bw"}]},
        {"resource": 2, "constant": "SPEC", "title": "Limits", "width": 200, "height": 100,
         "controls": [{"id": 2, "kind": "command_button", "label": "Help", "callback": "help_bw"},
                      {"id": 6, "kind": "string", "label": "", "value": "Timer Control Limits"}]}]})");
    FakeViewer viewer(dir);
    // A program directory given with a trailing slash gets no second one.
    vsys::set_project_dir_override(program.path() + "/");
    struct Case {
        int resource;
        int topic;
    };
    for (const Case& c : {Case{1, 1009}, Case{2, 1004}}) {
        int panel = LoadPanel(0, "help_test.uir", c.resource);
        ASSERT_GT(panel, 0) << vui::last_load_error();
        DisplayPanel(panel);
        std::string record = viewer.record_to("args" + std::to_string(c.resource));
        ASSERT_TRUE(ui.press(panel, kHelpButton));
        auto args = vtest::read_recorded_args(record);
        ASSERT_EQ(args.size(), 3u);
        EXPECT_EQ(args[1], "--contextid=" + std::to_string(c.topic));
        EXPECT_EQ(args[2], program.path() + "/Vantrel.chm");
        DiscardPanel(panel);
    }
}

// Without a viewer on this machine the user is told so, instead of nothing happening.
TEST_F(Services, HelpWithoutAViewerSaysSo)
{
    program.write("help_test.uir", R"({"panels": [
        {"resource": 1, "constant": "TRIGGERS", "title": "Triggers", "width": 200, "height": 100,
         "controls": [{"id": 2, "kind": "command_button", "label": "Help", "callback": "help_bw"}]}]})");
    FakeViewer viewer(dir);
    std::filesystem::remove(dir.file("bin/xchm"));
    vsys::set_project_dir_override(program.path());
    int panel = LoadPanel(0, "help_test.uir", 1);
    ASSERT_GT(panel, 0) << vui::last_load_error();
    DisplayPanel(panel);
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, kHelpButton));
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "Help");
    EXPECT_EQ(ui.popups()[0].text, "No help viewer is available: the help file opens with xchm on a desktop display.");
    DiscardPanel(panel);
}

TEST_F(Services, DefaultColoursFollowTheEightColourCycle)
{
    get_put_number(4, 9, NUMBER_T_WRITE, 0x123456);
    default_color(0, MENUBAR_CONFIGURE_COLORS_DEFAULT_COLORS, nullptr, 0);
    EXPECT_EQ(get_put_number(4, 9, NUMBER_T_READ, 0), 0.0);
    EXPECT_EQ(get_put_number(4, 1, NUMBER_T_READ, 0), 0.0);
    EXPECT_EQ(get_put_number(4, 8, NUMBER_T_READ, 0), 0x9400D3);
    EXPECT_EQ(get_put_number(4, 32, NUMBER_T_READ, 0), 0x9400D3);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM NUMBER_T WHERE PARAM = 4"), "32");
    EXPECT_EQ(calls, std::vector<std::string>{"names:0,-1,0,0"});
}

TEST_F(Services, ColourFileRoundTrip)
{
    for (short ch = 1; ch <= 32; ++ch) get_put_number(4, ch, NUMBER_T_WRITE, ch * 0x010203);
    const std::string path = dir.file("mine.color");
    ui.answer_path(path);
    save_color(0, MENUBAR_CONFIGURE_COLORS_SAVE_COLORS, nullptr, 0);
    std::string content = dir.read("mine.color");
    EXPECT_EQ(content.rfind("Vantrel Color File (do not edit)\n0x010203\n0x020406\n", 0), 0u);
    EXPECT_EQ(content.size(), 33u + 32u * 9u);
    for (short ch = 1; ch <= 32; ++ch) get_put_number(4, ch, NUMBER_T_WRITE, 0);
    ui.answer_path(path);
    load_color(0, MENUBAR_CONFIGURE_COLORS_LOAD_COLORS, nullptr, 0);
    for (short ch = 1; ch <= 32; ++ch) EXPECT_EQ(get_put_number(4, ch, NUMBER_T_READ, 0), ch * 0x010203) << ch;
    EXPECT_EQ(calls, std::vector<std::string>{"names:0,-1,0,0"});
    EXPECT_EQ(ui.popups()[0].title, "Color save file");
}

// The folder the file popup checked, swapped for a link to another folder before the file is opened.
TEST_F(Services, ColourFilesGoThroughTheFolderThePopupChecked)
{
    namespace fs = std::filesystem;
    vtest::TempDir outside;
    std::string lines = "Vantrel Color File (do not edit)\n";
    for (int ch = 1; ch <= 32; ++ch) lines += "0x00ABCD\n";
    struct Case {
        const char* label;
        void (*command)(int, int, void*, int);
        int item;
        const char* error;  // title|text
    } cases[] = {
        {"save", save_color, MENUBAR_CONFIGURE_COLORS_SAVE_COLORS, "Save Error|Cannot open selected file."},
        {"load", load_color, MENUBAR_CONFIGURE_COLORS_LOAD_COLORS, "Load Error|Cannot open selected file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir.file("colours"));
        fs::remove_all(dir.file("colours.old"));
        fs::create_directory(dir.file("colours"));
        dir.write("colours/mine.color", lines);
        outside.write("mine.color", "outside");
        get_put_number(4, 1, NUMBER_T_WRITE, 0x123456);
        ui.hold_next_popup();
        ui.after_pumps(1, [&] {
            ASSERT_TRUE(ui.answer_open(vui::PopupAnswer{1, dir.file("colours/mine.color"), false}));
            fs::rename(dir.file("colours"), dir.file("colours.old"));
            fs::create_directory_symlink(outside.path(), dir.file("colours"));
        });
        ui.answer(1);  // the error
        c.command(0, c.item, nullptr, 0);
        EXPECT_EQ(ui.popups().back().title + "|" + ui.popups().back().text, c.error);
        EXPECT_EQ(outside.read("mine.color"), "outside");
        EXPECT_EQ(get_put_number(4, 1, NUMBER_T_READ, 0), 0x123456);
    }
}

TEST_F(Services, BadColourFilesAreRefused)
{
    std::string lines;
    for (int ch = 1; ch <= 32; ++ch) lines += vsys::strprintf("0x%.6X\n", ch);
    std::string twenty;
    for (int ch = 1; ch <= 20; ++ch) twenty += vsys::strprintf("%.6X\n", 0xAB0000 + ch);  // without 0x: read as well
    struct Case {
        std::string content;
        const char* message;  // null: loads
        int stored;           // colours stored before the failure
    };
    const Case cases[] = {
        {"Vantrel Color File (do not edit) \n" + lines, "Selected file cannot be read.", 0},
        {"Vantrel Color File (do not edit)", "Selected file cannot be read.", 0},
        {"Vantrel Color File (do not edit)\n" + twenty, "Selected file cannot be read.", 20},
        {"Vantrel Color File (do not edit)\n" + lines, nullptr, 32},
    };
    get_put_number(10, 0, NUMBER_T_WRITE, 30.0);  // the table exists
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 40));
        vtest::run(hdbc, "DELETE FROM NUMBER_T");
        calls.clear();
        dir.write("x.color", c.content);
        ui.answer_path(dir.file("x.color"));
        if (c.message) ui.answer(1);
        size_t before = ui.popups().size();
        load_color(0, MENUBAR_CONFIGURE_COLORS_LOAD_COLORS, nullptr, 0);
        EXPECT_EQ(rows("SELECT COUNT(*) FROM NUMBER_T"), std::to_string(c.stored));
        if (c.message) {
            EXPECT_EQ(ui.popups().back().title, "Load Error");
            EXPECT_EQ(ui.popups().back().text, c.message);
            EXPECT_TRUE(calls.empty()) << "no redraw";
        } else {
            EXPECT_EQ(ui.popups().size(), before + 1);
            EXPECT_EQ(calls, std::vector<std::string>{"names:0,-1,0,0"});
        }
    }
    EXPECT_EQ(get_put_number(4, 20, NUMBER_T_READ, 0), 20);
    ui.answer_cancel();
    load_color(0, MENUBAR_CONFIGURE_COLORS_LOAD_COLORS, nullptr, 0);  // a cancelled dialog does nothing
}

TEST_F(Services, PickedColourGoesToItsSample)
{
    int panel = NewPanel(0, "", 0, 0, 400, 400);
    for (int id = 1; id <= 65; ++id) NewCtrl(panel, CTRL_NUMERIC, "", 0, 0);
    DisplayPanel(panel);
    InstallCtrlCallback(panel, SUB_COLOUR_7, color_function, nullptr);
    ASSERT_TRUE(ui.set(panel, SUB_COLOUR_7, 0xFF8C00));
    EXPECT_EQ(ui.attribute(panel, SUB_NAME_7, ATTR_TEXT_COLOR), 0xFF8C00);  // channel 7's sample
    DiscardPanel(panel);
}

TEST_F(Services, AlarmCommands)
{
    vtest::amend_core_seams([&](CoreSeams& s) {
        s.show_errors = [this](int panel, int control, int event, void*, int, int) {
            calls.push_back(vsys::strprintf("review:%d,%d,%d", panel, control, event));
            return 0;
        };
    });
    menu_clear_alarms(1, MENUBAR_ALARMS_CLEAR_ALARMS, nullptr, 0);
    EXPECT_EQ(calls, std::vector<std::string>{"review:-1,-100,1"});
    // The alarm display popup: from the menu one button is hidden, from its own button both show.
    struct Case {
        int panel, control;
        bool list, pareto;
    };
    // The display button has no panel file: any panel and control stand for it.
    constexpr int kButtonPanel = 7;
    constexpr int kDisplayButton = 3;
    for (const Case& c : {Case{-1, MENUBAR_ALARMS_ALARM_LIST, true, false},
                          Case{-1, MENUBAR_ALARMS_ALARM_PARETO, false, true},
                          Case{kButtonPanel, kDisplayButton, true, true}}) {
        if (c.panel == -1)
            alarm_list_pareto(1, c.control, nullptr, 0);
        else
            a_display(c.panel, c.control, EVENT_COMMIT, nullptr, 0, 0);
        int popup = ui.modal_panel();
        ASSERT_GT(popup, 0);
        EXPECT_EQ(ui.visible(popup, APOP_LIST), c.list) << c.control;
        EXPECT_EQ(ui.visible(popup, APOP_PARETO), c.pareto) << c.control;
        DiscardPanel(popup);
    }
}

TEST_F(Services, ChartBuffersAreReleasedOnce)
{
    lot_restrictions = 3;
    lot_select = {"L1", "L2", "L3"};
    wafer_restrictions = 0;
    wafer_select = {9};
    free_mem();
    EXPECT_TRUE(lot_select.empty());
    EXPECT_EQ(lot_restrictions, 0);
    EXPECT_EQ(wafer_select.size(), 1u) << "no wafer conditions: nothing released there";
    free_mem();
    EXPECT_EQ(wafer_select.size(), 1u);
    por_chart_points = 2;
    por_x_array = {1.0, 2.0};
    por_free_mem();
    EXPECT_TRUE(por_x_array.empty());
    EXPECT_EQ(por_chart_points, 0);
    wafer_select.clear();
}

}  // namespace

namespace {

TEST_F(Services, CorePanelFilesLoadWithTheirCallbacks)
{
    for (const char* file : {"wait.uir", "apop.uir"}) {
        auto r = vui::check_panel_file(program.file(std::string("panels/") + file));
        EXPECT_TRUE(r.ok) << file << ": " << r.error;
    }
}

}  // namespace
