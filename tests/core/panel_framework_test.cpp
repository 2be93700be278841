// The panel framework: preparing panels, tiling one to five main windows, maximise/restore, moving and closing.
#include <gtest/gtest.h>

#include "core/panel_framework.h"
#include "panels/s_chart.h"
#include "platform/ui/userint.h"
#include "tests/core/core_fixture.h"

namespace {

struct Geometry {
    int top, left, width, height;
    bool operator==(const Geometry&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Geometry& g)
{
    return o << "{" << g.top << "," << g.left << "," << g.width << "," << g.height << "}";
}

class Panels : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        parent_panel = NewPanel(0, "Main", 0, 0, 620, 1000);
        DisplayPanel(parent_panel);
        handle_menu = NewMenuBar(parent_panel);
        vtest::amend_core_seams([&](CoreSeams& s) {
            s.spc_sc_toggle = [this](int bar, int item, void*, int) {
                calls.push_back("spc_sc_toggle:" + std::to_string(bar == handle_menu) + "," + std::to_string(item));
                return 0;
            };
        });
    }
    void TearDown() override
    {
        for (int* h : {&sc_handle, &spc_panel, &list_panel, &compare_panel, &spc_chart_selections, &parent_panel})
            if (*h > 0) DiscardPanel(*h);
        sc_handle = spc_panel = list_panel = compare_panel = spc_chart_selections = parent_panel = handle_menu = -1;
        CoreTest::TearDown();
    }
    int open_window(int* handle)
    {
        *handle = NewPanel(parent_panel, "", 100, 100, 300, 400);
        set_panel_attributes(*handle, parent_panel, 0, 1);
        DisplayPanel(*handle);
        return *handle;
    }
    Geometry geometry(int panel)
    {
        return {ui.panel_attribute(panel, ATTR_TOP), ui.panel_attribute(panel, ATTR_LEFT),
                ui.panel_attribute(panel, ATTR_WIDTH), ui.panel_attribute(panel, ATTR_HEIGHT)};
    }
    int button(int panel)
    {
        panel_attributes rec;
        rec.panel = panel;
        EXPECT_EQ(get_my_attributes(&rec), 1);
        return rec.maximize_id;
    }
};

TEST_F(Panels, TilingOneToFiveMainWindows)
{
    int* order[] = {&sc_handle, &spc_panel, &list_panel, &compare_panel, &spc_chart_selections};
    // Main panel 1000 x 620: below the 20-pixel strip, rows of (620 - 20 - 20 r) / r pixels.
    const std::vector<std::vector<Geometry>> expected = {
        {{20, 0, 1000, 600}},
        {{20, 0, 1000, 280}, {320, 0, 1000, 280}},
        {{20, 0, 1000, 280}, {320, 0, 500, 280}, {320, 500, 500, 280}},
        {{20, 0, 500, 280}, {20, 500, 500, 280}, {320, 0, 500, 280}, {320, 500, 500, 280}},
        {{20, 0, 500, 280}, {20, 500, 500, 280}, {320, 0, 333, 280}, {320, 333, 333, 280}, {320, 666, 333, 280}},
    };
    for (int n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        open_window(order[n - 1]);
        menu_tile(1, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(geometry(*order[k]), expected[n - 1][k]) << "window " << k;
            EXPECT_EQ(ui.ival(*order[k], button(*order[k])), n == 1 ? 1 : 0);
        }
        // Any event of a prepared window shows the buttons once two windows are open.
        ui.activate(*order[n - 1]);
        for (int k = 0; k < n; ++k) EXPECT_EQ(ui.visible(*order[k], button(*order[k])), n >= 2) << "window " << k;
    }
}

TEST_F(Panels, MaximiseThenRestoreReturnsToTheGeometryAtMaximising)
{
    open_window(&sc_handle);
    open_window(&list_panel);
    SetPanelAttribute(sc_handle, ATTR_TOP, 150);
    SetPanelAttribute(sc_handle, ATTR_LEFT, 60);
    ui.activate(sc_handle);  // shows the buttons: two windows are open
    ASSERT_TRUE(ui.press(sc_handle, button(sc_handle)));
    EXPECT_EQ(geometry(sc_handle), (Geometry{20, 0, 1000, 600}));
    EXPECT_EQ(ui.attribute(sc_handle, button(sc_handle), ATTR_LEFT), 982);
    ASSERT_TRUE(ui.press(sc_handle, button(sc_handle)));
    EXPECT_EQ(geometry(sc_handle), (Geometry{150, 60, 400, 300}));
}

TEST_F(Panels, ScalingKeepsTheHeightOfOneLineControls)
{
    open_window(&sc_handle);
    int text = NewCtrl(sc_handle, CTRL_STRING, "name", 40, 40);
    int graph = NewCtrl(sc_handle, CTRL_GRAPH, "graph", 40, 40);
    for (int c : {text, graph}) {
        SetCtrlAttribute(sc_handle, c, ATTR_HEIGHT, 20);
        SetCtrlAttribute(sc_handle, c, ATTR_WIDTH, 100);
    }
    panel_attributes rec;
    rec.panel = sc_handle;
    ASSERT_EQ(get_my_attributes(&rec), 1);
    const int f = ui.panel_attribute(sc_handle, ATTR_FRAME_THICKNESS);
    sizePanel(&rec, 0, 2 * (400 - 2 * f) + 2 * f, 0, 2 * (300 - 2 * f) + 2 * f);
    EXPECT_EQ(ui.attribute(sc_handle, text, ATTR_HEIGHT), 20);
    EXPECT_EQ(ui.attribute(sc_handle, text, ATTR_WIDTH), 200);
    EXPECT_EQ(ui.attribute(sc_handle, text, ATTR_TOP), 80);
    EXPECT_EQ(ui.attribute(sc_handle, graph, ATTR_HEIGHT), 40);
}

// A window tiled far below its own size keeps its controls large enough for their text and scrolls instead.
TEST_F(Panels, ControlsShrinkOnlySoFarAndTheWindowScrollsBeyond)
{
    open_window(&sc_handle);
    const int button = NewCtrl(sc_handle, CTRL_COMMAND_BUTTON, "Exclude Rule Breakers", 100, 40);
    SetCtrlAttribute(sc_handle, button, ATTR_HEIGHT, 30);
    SetCtrlAttribute(sc_handle, button, ATTR_WIDTH, 110);
    panel_attributes rec;
    rec.panel = sc_handle;
    ASSERT_EQ(get_my_attributes(&rec), 1);
    const int f = ui.panel_attribute(sc_handle, ATTR_FRAME_THICKNESS);
    sizePanel(&rec, 0, (400 - 2 * f) / 2 + 2 * f, 0, (300 - 2 * f) / 2 + 2 * f);
    EXPECT_EQ(ui.attribute(sc_handle, button, ATTR_HEIGHT), 27);
    EXPECT_EQ(ui.attribute(sc_handle, button, ATTR_WIDTH), 99);
    EXPECT_EQ(ui.attribute(sc_handle, button, ATTR_TOP), 90);
    EXPECT_NE(ui.panel_attribute(sc_handle, ATTR_PANEL_SCROLL_BARS), 0);
    sizePanel(&rec, 0, 400, 0, 300);
    EXPECT_EQ(ui.attribute(sc_handle, button, ATTR_HEIGHT), 30);
    EXPECT_EQ(ui.panel_attribute(sc_handle, ATTR_PANEL_SCROLL_BARS), 0);
}

// Tiling and closing again and again: the controls of the window left open come back to the same places, and
// at the window's own size to their own geometry.
TEST_F(Panels, ClosingATiledWindowGivesTheOthersTheirLayoutBack)
{
    open_window(&sc_handle);
    const int start = NewCtrl(sc_handle, CTRL_TOGGLE_BUTTON, "START/STOP", 37, 13);
    SetCtrlAttribute(sc_handle, start, ATTR_HEIGHT, 23);
    SetCtrlAttribute(sc_handle, start, ATTR_WIDTH, 61);
    const Geometry own{37, 13, 61, 23};
    auto place = [&] {
        return Geometry{ui.attribute(sc_handle, start, ATTR_TOP), ui.attribute(sc_handle, start, ATTR_LEFT),
                        ui.attribute(sc_handle, start, ATTR_WIDTH), ui.attribute(sc_handle, start, ATTR_HEIGHT)};
    };
    menu_tile(1, 62, nullptr, parent_panel);
    const Geometry alone = place();
    EXPECT_GT(alone.height, own.height);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        open_window(&list_panel);
        menu_tile(1, 62, nullptr, parent_panel);
        EXPECT_LT(place().height, alone.height);
        ui.activate(list_panel);  // two windows: the maximise buttons show
        EXPECT_TRUE(ui.visible(sc_handle, button(sc_handle)));
        DiscardMyPanel(&list_panel);  // tiles what is left: the strip chart alone
        EXPECT_EQ(place(), alone);
        EXPECT_FALSE(ui.visible(sc_handle, button(sc_handle))) << "no maximise button on the lone window";
    }
    panel_attributes rec;
    rec.panel = sc_handle;
    ASSERT_EQ(get_my_attributes(&rec), 1);
    sizePanel(&rec, 100, 400, 100, 300);
    EXPECT_EQ(place(), own);
}

TEST_F(Panels, MovingKeepsTheWindowInsideTheMainPanelsClientArea)
{
    open_window(&sc_handle);
    open_window(&list_panel);
    struct Case {
        int top, left;
        Geometry expected;
    };
    const Case cases[] = {
        {-50, 100, {20, 100, 400, 300}},   // above the top edge
        {100, -600, {100, -380, 400, 300}}, // all but 20 pixels out on the left
        {100, 1200, {100, 980, 400, 300}},  // out on the right
        {900, 100, {600, 100, 400, 300}},   // below the bottom
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ui.move_panel(sc_handle, c.top, c.left));
        EXPECT_EQ(geometry(sc_handle), c.expected) << c.top << "," << c.left;
    }
}

TEST_F(Panels, FocusPassesTheWindowMenuItem)
{
    open_window(&list_panel);
    open_window(&spc_chart_selections);
    calls.clear();
    ASSERT_TRUE(ui.activate(list_panel));
    ASSERT_TRUE(ui.activate(spc_chart_selections));
    EXPECT_EQ(calls, (std::vector<std::string>{"spc_sc_toggle:1,60", "spc_sc_toggle:1,58"}));
}

TEST_F(Panels, ClosingADialogOfTheMainPanelReenablesMenuAndWindows)
{
    open_window(&sc_handle);
    open_window(&spc_panel);
    int dialog = NewPanel(parent_panel, "", 50, 50, 200, 200);
    set_panel_attributes(dialog, parent_panel, 0, 1);
    SetMenuBarAttribute(handle_menu, 0, ATTR_DIMMED, 1);
    SetPanelAttribute(sc_handle, ATTR_DIMMED, 1);
    SetPanelAttribute(spc_panel, ATTR_DIMMED, 1);
    SetPanelAttribute(parent_panel, ATTR_DIMMED, 1);
    EXPECT_EQ(DiscardMyPanel(&dialog), 0);
    EXPECT_EQ(dialog, -1);
    int dimmed = -1;
    GetMenuBarAttribute(handle_menu, 0, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);
    EXPECT_EQ(ui.panel_attribute(sc_handle, ATTR_DIMMED), 0);
    EXPECT_EQ(ui.panel_attribute(spc_panel, ATTR_DIMMED), 0);
    EXPECT_EQ(ui.panel_attribute(parent_panel, ATTR_DIMMED), 0);
    // The remaining windows are tiled again.
    EXPECT_EQ(geometry(sc_handle), (Geometry{20, 0, 1000, 280}));
}

TEST_F(Panels, DiscardingAClosedHandleDoesNothing)
{
    open_window(&sc_handle);
    for (int handle : {0, -1}) {
        int h = handle;
        EXPECT_EQ(DiscardMyPanel(&h), 0);
        EXPECT_EQ(h, handle);
    }
    EXPECT_TRUE(ui.panel_exists(sc_handle));
}

TEST_F(Panels, PanelsWithoutTheFrameworkControlsAreSkipped)
{
    int plain = NewPanel(parent_panel, "", 10, 10, 100, 100);
    panel_attributes rec;
    rec.panel = plain;
    EXPECT_EQ(get_my_attributes(&rec), 0);
    rec.panel = 0;
    EXPECT_EQ(get_my_attributes(&rec), 0);
    sc_handle = plain;
    menu_tile(1, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
    EXPECT_EQ(geometry(plain), (Geometry{10, 10, 100, 100}));
}

TEST_F(Panels, HotkeysAreParkedAndRestored)
{
    int panel = NewPanel(0, "", 0, 0, 100, 100);
    int a = NewCtrl(panel, CTRL_COMMAND_BUTTON, "OK", 0, 0);
    int b = NewCtrl(panel, CTRL_COMMAND_BUTTON, "Cancel", 0, 0);
    int c = NewCtrl(panel, CTRL_COMMAND_BUTTON, "Other", 0, 0);
    SetCtrlAttribute(panel, a, ATTR_SHORTCUT_KEY, 1280);
    SetCtrlAttribute(panel, b, ATTR_SHORTCUT_KEY, 768);
    SetCtrlAttribute(panel, c, ATTR_SHORTCUT_KEY, 769);
    EXPECT_EQ(deactivate_hotkeys(panel), 2);
    EXPECT_EQ(ui.attribute(panel, a, ATTR_SHORTCUT_KEY), 0x40500);
    EXPECT_EQ(ui.attribute(panel, b, ATTR_SHORTCUT_KEY), 0x40300);
    EXPECT_EQ(activate_hotkeys(panel), 2);
    EXPECT_EQ(ui.attribute(panel, a, ATTR_SHORTCUT_KEY), 1280);
    EXPECT_EQ(ui.attribute(panel, b, ATTR_SHORTCUT_KEY), 768);
    EXPECT_EQ(ui.attribute(panel, c, ATTR_SHORTCUT_KEY), 769);
    EXPECT_EQ(deactivate_hotkeys(9999), 0);
    DiscardPanel(panel);
}

}  // namespace

namespace {

TEST_F(Panels, DialogCallbacksDropOrMarkSetupChanges)
{
    int dialog = NewPanel(parent_panel, "", 50, 50, 200, 200);
    int cancel = NewCtrl(dialog, CTRL_COMMAND_BUTTON, "Cancel", 10, 10);
    int limit = NewCtrl(dialog, CTRL_NUMERIC, "UCL", 40, 10);
    InstallCtrlCallback(dialog, cancel, cancel_uncommitted, nullptr);
    InstallCtrlCallback(dialog, limit, set_pending_altered_flag, nullptr);
    set_panel_attributes(dialog, parent_panel, 0, 1);
    DisplayPanel(dialog);
    sc_handle = NewPanel(parent_panel, "", 0, 0, 100, 100);  // the strip chart is open: LoadSetup redraws it
    recipe_num = 3;
    ASSERT_TRUE(ui.set(dialog, limit, 2.5));
    EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, FLAG_PENDING_CHANGES);
    calls.clear();
    ASSERT_TRUE(ui.press(dialog, cancel));
    EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, 0) << "pending changes dropped by reloading the setup";
    EXPECT_FALSE(ui.panel_exists(dialog));
    EXPECT_EQ(calls[0], "names:-1,1,0,1");
    EXPECT_EQ(calls[1], "update_menu");
    EXPECT_EQ(ui.title(parent_panel), "System=W1, Setup1");
}

}  // namespace
