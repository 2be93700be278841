// The main window, its menu bar and dialogs, axis rounding, legend, zoom and cursor read-out.
#include "tests/acquisition/acq_fixture.h"

#include "acquisition/zoom.h"
#include "core/ini_file.h"
#include "core/long_command.h"
#include "panels/about_vt.h"
#include "panels/daq_set.h"
#include "panels/playback.h"
#include "panels/right.h"
#include "panels/s_chart.h"
#include "panels/vt_setup.h"
#include "platform/ui/screen_size.h"

namespace {

using acqtest::AcqTest;

struct AxisCase {
    double min, max;
    double lo, hi;
    int divisions, precision;
};

TEST(AutoAxis, RoundsToNiceLimits)
{
    const AxisCase cases[] = {
        {0, 100, 0, 100, 10, 0},       {0, 1, 0, 1, 10, 2},        {0, 10, 0, 10, 10, 1},
        {3.7, 58.2, 0, 60, 12, 1},     {0, 7, 0, 7, 14, 1},        {-11, 11, -11, 11, 22, 1},
        {2, 2, 1, 2, 10, 1},           {1000000, 2000000, 1000000, 2000000, 5, 0},
        {0, 0.013, 0, 0.013, 13, 2},   {0, 17000000, 0, 20000000, 5, 0},
    };
    for (const AxisCase& c : cases) {
        double lo = c.min, hi = c.max;
        int n = 0, p = 0;
        auto_axis(&lo, &hi, &n, &p);
        EXPECT_NEAR(lo, c.lo, 1e-12) << c.min << ".." << c.max;
        EXPECT_NEAR(hi, c.hi, 1e-9) << c.min << ".." << c.max;
        EXPECT_EQ(n, c.divisions) << c.min << ".." << c.max;
        EXPECT_EQ(p, c.precision) << c.min << ".." << c.max;
    }
}

TEST_F(AcqTest, MainWindowShowsTitleLegendAndIdleClock)
{
    EXPECT_EQ(ui.title(parent_panel), "System=TOOL_A, ETCH");
    EXPECT_EQ(ui.plain_items(legend_panel, LEGEND_CHANNELS), (std::vector<std::string> {"CH1", "CH2", "CH3"}));
    const auto items = ui.items(legend_panel, LEGEND_CHANNELS);
    ASSERT_EQ(items.size(), 3u);
    char expected[64];
    std::snprintf(expected, sizeof expected, "\033fg%.6XCH1",
                  static_cast<int>(get_default_color(1)) & 0xFFFFFF);
    EXPECT_EQ(items[0].label, expected);
    EXPECT_FALSE(ui.visible(sc_handle, SCHART_COMMENT));
    EXPECT_FALSE(ui.visible(sc_handle, SCHART_PLAYBACK));
    SetCtrlAttribute(sc_handle, SCHART_TIMER, ATTR_ENABLED, 1);
    ui.advance(1.0);
    EXPECT_EQ(ui.text(sc_handle, SCHART_CLOCK_TIME), "09:30:01");
    EXPECT_EQ(ui.text(sc_handle, SCHART_CLOCK_DATE), "2026/03/14");
}

// The view's screen: the main window takes it less 5 pixels on every side and the strip chart fills it again;
// going back to a size gives the controls back the same places.
TEST_F(AcqTest, MainWindowFollowsTheScreenTheViewReports)
{
    struct Box {
        int top, left, width, height;
        bool operator==(const Box&) const = default;
    };
    auto panel = [&](int p) {
        return Box{ui.panel_attribute(p, ATTR_TOP), ui.panel_attribute(p, ATTR_LEFT), ui.panel_attribute(p, ATTR_WIDTH),
                   ui.panel_attribute(p, ATTR_HEIGHT)};
    };
    auto start = [&] {
        return Box{ui.attribute(sc_handle, SCHART_START, ATTR_TOP), ui.attribute(sc_handle, SCHART_START, ATTR_LEFT),
                   ui.attribute(sc_handle, SCHART_START, ATTR_WIDTH), ui.attribute(sc_handle, SCHART_START, ATTR_HEIGHT)};
    };
    ASSERT_TRUE(vui::user::set_screen(1280, 720));
    EXPECT_EQ(panel(parent_panel), (Box{5, 5, 1270, 710}));
    EXPECT_EQ(panel(sc_handle), (Box{20, 0, 1270, 690}));
    const Box small = start();
    EXPECT_GE(small.height, 20);
    ASSERT_TRUE(vui::user::set_screen(1920, 1080));
    EXPECT_EQ(panel(parent_panel), (Box{5, 5, 1910, 1070}));
    EXPECT_GT(start().width, small.width);
    ASSERT_TRUE(vui::user::set_screen(1280, 720));
    EXPECT_EQ(start(), small);
    // A size no screen has is bounded.
    ASSERT_TRUE(vui::user::set_screen(-5, 1 << 30));
    EXPECT_EQ(panel(parent_panel), (Box{5, 5, 310, 16374}));
}

TEST_F(AcqTest, AboutBoxAndRealTimeMenuItem)
{
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_HELP_ABOUT_VANTREL));
    const int about = ui.modal_panel();
    ASSERT_GT(about, 0);
    EXPECT_EQ(ui.text(about, ABOUT_VERSION), "Version 6.96");
    ASSERT_TRUE(ui.press(about, ABOUT_OK));
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING)->checked);
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING));
    EXPECT_EQ(current_file_index, 0);
    char text[33];
    EXPECT_STREQ(get_put_char(hdbc, 0, 8, CONFIG_READ, text), "0 1");
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING));
    EXPECT_EQ(current_file_index, -1);
    EXPECT_STREQ(get_put_char(hdbc, 0, 8, CONFIG_READ, text), "0 0");
    // A rebuilt bar shows the state again.
    current_file_index = 0;
    update_menu();
    EXPECT_TRUE(ui.menu_item(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING)->checked);
}

TEST_F(AcqTest, RateDialogStoresOnlyPendingChanges)
{
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_ACQUISITION_RATE));
    int dialog = ui.modal_panel();
    ASSERT_GT(dialog, 0);
    EXPECT_EQ(ui.items(dialog, DAQSET_RATE).size(), 27u);
    EXPECT_EQ(ui.items(dialog, DAQSET_RATE)[21].label, "     1 sample/ch every 10 sec");
    ASSERT_TRUE(ui.select(dialog, DAQSET_RATE, 21));
    ASSERT_TRUE(ui.press(dialog, DAQSET_OK));
    EXPECT_EQ(sample_rate_index, -10);
    EXPECT_EQ(sample_rate, 1);
    EXPECT_FALSE(ui.panel_exists(dialog));
    recipe_num = 1;
    ui.answer(1);
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_ACQUISITION_RATE));
    EXPECT_EQ(popup_titles().back(), "Setup Error");
}

TEST_F(AcqTest, TriggerDialogChecksWidthAndCountsConditions)
{
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_TRIGGERS));
    int dialog = ui.modal_panel();
    ASSERT_GT(dialog, 0);
    EXPECT_EQ(ui.plain_items(dialog, TRIGGERS_CH1), (std::vector<std::string> {"Disabled", "CH1", "CH2", "CH3"}));
    ASSERT_TRUE(ui.set(dialog, TRIGGERS_WIDTH, 6));
    ui.answer(1);
    ASSERT_TRUE(ui.press(dialog, TRIGGERS_OK));
    EXPECT_EQ(popup_titles().back(), "Trigger Error");
    EXPECT_TRUE(ui.panel_exists(dialog));
    EXPECT_EQ(minimum_trig_width, 2);
    ASSERT_TRUE(ui.set(dialog, TRIGGERS_WIDTH, 5));
    ASSERT_TRUE(ui.select(dialog, TRIGGERS_CH2, 3));
    ASSERT_TRUE(ui.set(dialog, TRIGGERS_MODE, 1));  // edge mode hides the precoat minimum
    EXPECT_FALSE(ui.visible(dialog, TRIGGERS_PRECOAT));
    ASSERT_TRUE(ui.press(dialog, TRIGGERS_OK));
    EXPECT_EQ(minimum_trig_width, 5);
    EXPECT_EQ(trigger, 2);
    EXPECT_EQ(trig_2_ch, 3);
    EXPECT_EQ(trig_type, 1);
    EXPECT_EQ(precoat_minimum, 1000000000);
    // Disabling condition 1 disables condition 2 too.
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_TRIGGERS));
    dialog = ui.modal_panel();
    ASSERT_TRUE(ui.select(dialog, TRIGGERS_CH1, 0));
    EXPECT_TRUE(ui.dimmed(dialog, TRIGGERS_CH2));
    ASSERT_TRUE(ui.press(dialog, TRIGGERS_OK));
    EXPECT_EQ(trigger, 0);
}

TEST_F(AcqTest, StripChartWidthIsLimitedToItsPoints)
{
    setup_three_channels(100);
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_VIEW_AXES));
    int dialog = ui.modal_panel();
    ASSERT_GT(dialog, 0);
    SetCtrlAttribute(dialog, AXES_WIDTH, ATTR_MAX_VALUE, 100000);
    ASSERT_TRUE(ui.set(dialog, AXES_WIDTH, 1000));
    ui.answer(1);
    ASSERT_TRUE(ui.press(dialog, AXES_OK));
    EXPECT_EQ(popup_titles().back(), "Strip Chart Error");
    EXPECT_EQ(sc_points, 10000);
    EXPECT_EQ(ui.text(sc_handle, SCHART_X_END), "100");
    // One sample every 10 s: 300 s are 30 points.
    setup_three_channels(-10);
    get_put_number(10, 0, NUMBER_T_WRITE, 300);
    aok(-1, AXES_APPLY, EVENT_COMMIT, nullptr, 1, 1);  // without its dialog, as after a rate change
    EXPECT_EQ(sc_points, 30);
    EXPECT_EQ(ui.text(sc_handle, SCHART_X_END), "300");
}

TEST_F(AcqTest, LegendWidthFromTheIniIsClamped)
{
    int panel_width = 0;
    GetPanelAttribute(sc_handle, ATTR_WIDTH, &panel_width);
    EXPECT_EQ(ui.panel_attribute(legend_panel, ATTR_WIDTH), 100);
    for (auto [text, width] : {std::pair {"5", 20}, std::pair {"99999", panel_width - 200}}) {
        char value[kIniValueSize];
        std::snprintf(value, sizeof value, "%s", text);
        read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "LEGEND_WIDTH", value);
        resize_legend(legend_panel, EVENT_PANEL_SIZE, nullptr, 1, 0);
        EXPECT_EQ(ui.panel_attribute(legend_panel, ATTR_WIDTH), width) << text;
    }
}

TEST_F(AcqTest, CursorReadOutAndZoomSteps)
{
    names(-2, 0, 0, 0);
    SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_XAXIS, VAL_MANUAL, 0.0, 10.0);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS, 2);
    SetCursorAttribute(sc_handle, SCHART_PLAYBACK, 1, ATTR_CURSOR_MODE, VAL_FREE_FORM);
    SetCursorAttribute(sc_handle, SCHART_PLAYBACK, 2, ATTR_CURSOR_MODE, VAL_FREE_FORM);
    SetGraphCursor(sc_handle, SCHART_PLAYBACK, 1, 1.0, 2.0);
    SetGraphCursor(sc_handle, SCHART_PLAYBACK, 2, 4.0, 6.0);
    SetCursorText();
    EXPECT_EQ(ui.text(sc_handle, SCHART_CURSORS), "X1=1.0000 Y1=2.0000 X2=4.0000 Y2=6.0000 dX=-3.0000 dY=-4.0000");
    EXPECT_TRUE(ui.visible(sc_handle, SCHART_CURSORS));

    auto choose = [&](int value) {
        ASSERT_TRUE(ui.right_click(sc_handle, SCHART_PLAYBACK, 50, 50));
        const int menu = ui.find_panel("TOOLS");
        ASSERT_GT(menu, 0);
        EXPECT_EQ(ui.items(menu, TOOLS_TOOLS).size(), 24u);
        int index = -1;
        GetIndexFromValue(menu, TOOLS_TOOLS, &index, value);
        ASSERT_TRUE(ui.select(menu, TOOLS_TOOLS, index));
        EXPECT_FALSE(ui.panel_exists(menu));
    };
    SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_XAXIS, VAL_MANUAL, 0.0, 10.0);
    choose(2);  // Zoom In X
    int xm = 0, ym = 0;
    double x0, x1, y0, y1;
    GetAxisRange(sc_handle, SCHART_PLAYBACK, &xm, &x0, &x1, &ym, &y0, &y1);
    EXPECT_DOUBLE_EQ(x0, 2.5);
    EXPECT_DOUBLE_EQ(x1, 7.5);
    EXPECT_EQ(ui.attribute(sc_handle, SCHART_PLAYBACK, ATTR_XDIVISIONS), 10);
    choose(8);  // Zoom Restore before any playback
    GetAxisRange(sc_handle, SCHART_PLAYBACK, &xm, &x0, &x1, &ym, &y0, &y1);
    EXPECT_DOUBLE_EQ(x0, 0.0);
    EXPECT_DOUBLE_EQ(x1, 10.0);
    EXPECT_DOUBLE_EQ(y0, -1.0);
    EXPECT_DOUBLE_EQ(y1, 11.0);
    EXPECT_EQ(ui.attribute(sc_handle, SCHART_PLAYBACK, ATTR_YDIVISIONS), 12);
    choose(13);  // Cursor 1 with cursors shown: all off
    EXPECT_EQ(ui.attribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS), 0);
    EXPECT_FALSE(ui.visible(sc_handle, SCHART_CURSORS));
}

TEST_F(AcqTest, ExitIsRefusedWhileAcquiringAndAskedOtherwise)
{
    start();
    ui.answer(1);
    ASSERT_TRUE(ui.set(sc_handle, SCHART_EXIT, 1));
    EXPECT_EQ(ui.popups().back().text,
              "Data collection is in progress.  Please stop data collection, by pressing the STOP button, before "
              "exiting.");
    EXPECT_EQ(ui.ival(sc_handle, SCHART_EXIT), 0);
    stop();
    {
        // A replay still running inside the event loop keeps the program open.
        LongCommand replay("Playback");
        ui.answer(1);
        ASSERT_TRUE(ui.set(sc_handle, SCHART_EXIT, 1));
        EXPECT_EQ(ui.popups().back().text,
                  "Playback is still running.  Please wait until it ends, or stop it, and try again.");
        EXPECT_EQ(ui.ival(sc_handle, SCHART_EXIT), 0);
        EXPECT_GT(sc_handle, 0);
    }
    ui.answer_no();
    ASSERT_TRUE(ui.set(sc_handle, SCHART_EXIT, 1));
    EXPECT_EQ(ui.popups().back().text, "Are sure you want to exit Vantrel?");
    EXPECT_GT(sc_handle, 0);
}

}  // namespace

namespace {

using acqtest::AcqTest;

TEST_F(AcqTest, TraceDialogHidesTracesAndCancelRestores)
{
    ui.answer(1);
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_VIEW_SHOW_HIDE_TRACES));
    EXPECT_EQ(popup_titles().back(), "Hide/Display Trace Error");
    start();
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_VIEW_SHOW_HIDE_TRACES));
    int dialog = ui.modal_panel();
    ASSERT_GT(dialog, 0);
    EXPECT_EQ(ui.plain_items(dialog, TRACES_CHANNELS), (std::vector<std::string> {"All", "CH1", "CH2", "CH3"}));
    ASSERT_TRUE(ui.check(dialog, TRACES_CHANNELS, 0, false));
    ASSERT_TRUE(ui.check(dialog, TRACES_CHANNELS, 1, true));
    ASSERT_TRUE(ui.check(dialog, TRACES_CHANNELS, 3, true));
    ASSERT_TRUE(ui.press(dialog, TRACES_OK));
    EXPECT_EQ(ui.plain_items(legend_panel, LEGEND_SHOWN), (std::vector<std::string> {"CH1", "CH3"}));
    EXPECT_TRUE(ui.visible(legend_panel, LEGEND_SHOWN));
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_VIEW_SHOW_HIDE_TRACES));
    dialog = ui.modal_panel();
    EXPECT_EQ(ui.items(dialog, TRACES_CHANNELS)[2].checked, false);
    EXPECT_EQ(ui.items(dialog, TRACES_CHANNELS)[3].checked, true);
    ASSERT_TRUE(ui.check(dialog, TRACES_CHANNELS, 2, true));
    ASSERT_TRUE(ui.press(dialog, TRACES_CANCEL));  // cancel: exactly the subset again
    EXPECT_EQ(ui.plain_items(legend_panel, LEGEND_SHOWN), (std::vector<std::string> {"CH1", "CH3"}));
    stop();
}

}  // namespace

namespace {

using acqtest::AcqTest;

// A legend made wide keeps clear of the clock: the time and date move left of it.
TEST_F(AcqTest, AWideLegendLeavesTheClockInSight)
{
    const int panel_width = ui.panel_attribute(sc_handle, ATTR_WIDTH);
    for (int width : {100, 400, 160}) {
        SCOPED_TRACE(width);
        ASSERT_TRUE(ui.size_panel(legend_panel, ui.panel_attribute(legend_panel, ATTR_HEIGHT), width));
        const int legend_left = ui.panel_attribute(legend_panel, ATTR_LEFT);
        EXPECT_EQ(legend_left, panel_width - width - 10);
        for (int ctrl : {SCHART_CLOCK_TIME, SCHART_CLOCK_DATE}) {
            int left = 0, clock_width = 0;
            GetCtrlAttribute(sc_handle, ctrl, ATTR_LEFT, &left);
            GetCtrlAttribute(sc_handle, ctrl, ATTR_WIDTH, &clock_width);
            EXPECT_LE(left + clock_width, legend_left) << ctrl;
            EXPECT_GE(left, 0) << ctrl;
        }
        // The newest points of the strip chart stay in sight beside the legend.
        int strip_left = 0, strip_width = 0;
        GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_LEFT, &strip_left);
        GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_WIDTH, &strip_width);
        EXPECT_LE(strip_left + strip_width, legend_left);
    }
}

// The legend's width and whether it is shown are written at Exit and come back at the next start.
TEST_F(AcqTest, LegendKeysWrittenAtExitReturnAtTheNextStart)
{
    ASSERT_TRUE(ui.size_panel(legend_panel, ui.panel_attribute(legend_panel, ATTR_HEIGHT), 160));
    EXPECT_EQ(ui.panel_attribute(legend_panel, ATTR_WIDTH), 160);
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_VIEW_LEGEND));
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_VIEW_LEGEND)->checked);
    EXPECT_FALSE(ui.panel_visible(legend_panel));
    ui.answer_yes();
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_FILE_EXIT));
    EXPECT_EQ(sc_handle, -1);
    const std::string ini = program.read("VANTREL.INI");
    EXPECT_NE(ini.find("LEGEND_WIDTH = 160\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("LEGEND_VISIBLE = 0\n"), std::string::npos) << ini;

    // The next start.
    for (int* h : {&parent_panel, &handle_menu, &sc_handle, &legend_panel}) *h = -1;
    sc_main();
    ASSERT_GT(legend_panel, 0);
    EXPECT_EQ(ui.panel_attribute(legend_panel, ATTR_WIDTH), 160);
    EXPECT_FALSE(ui.panel_visible(legend_panel));
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_VIEW_LEGEND)->checked);
    // Shown again, it keeps that width.
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_VIEW_LEGEND));
    EXPECT_TRUE(ui.panel_visible(legend_panel));
    EXPECT_EQ(ui.panel_attribute(legend_panel, ATTR_WIDTH), 160);
}

}  // namespace
