// The Window menu: checks, dimming, titles of the SPC chart window and closing by stacking order.
#include <gtest/gtest.h>

#include "core/panel_framework.h"
#include "panels/s_chart.h"
#include "panels/x_hist.h"
#include "platform/ui/userint.h"
#include "testing/chart_code.h"
#include "tests/support/seams.h"
#include "testing/window_menu.h"
#include "tests/core/core_fixture.h"

namespace {

class WindowMenu : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        parent_panel = NewPanel(0, "Main", 0, 0, 620, 1000);
        DisplayPanel(parent_panel);
        handle_menu = NewMenuBar(parent_panel);
        int menu = NewMenu(handle_menu, "Window", -1);
        // Items get the numbers the menu bar file gives them; here they are made in turn up to 64.
        for (int id = menu; id < 64;) id = NewMenuItem(handle_menu, menu, "item", -1, 0, nullptr, nullptr);
        provide_testing_seams({});
        vtest::amend_testing_seams([&](TestingSeams& s) {
            s.form_chart_title = [](char* title, int channel, int type, int subtype, int index) {
                std::snprintf(title, 80, "chart %d %d %d %d", channel, type, subtype, index);
            };
        });
    }
    void TearDown() override
    {
        for (int* h : {&sc_handle, &spc_panel, &list_panel, &compare_panel, &spc_chart_selections, &parent_panel})
            if (*h > 0) DiscardPanel(*h);
        sc_handle = spc_panel = list_panel = compare_panel = spc_chart_selections = parent_panel = handle_menu = -1;
        provide_testing_seams({});
        CoreTest::TearDown();
    }
    int open_window(int* handle)
    {
        *handle = NewPanel(parent_panel, "", 100, 100, 300, 400);
        DisplayPanel(*handle);
        return *handle;
    }
    // "C" checked, "-" dimmed, "." enabled and unchecked, for items 57..62.
    std::string menu_state()
    {
        std::string s;
        for (int item = 57; item <= 62; ++item) {
            auto e = ui.menu_item(handle_menu, item);
            s += e->checked ? 'C' : e->dimmed ? '-' : '.';
        }
        return s;
    }
    bool strip_items_enabled()
    {
        bool all = true, none = true;
        for (int item : {2, 23, 27, 34, 37, 47}) {
            bool dimmed = ui.menu_item(handle_menu, item)->dimmed;
            all = all && !dimmed;
            none = none && dimmed;
        }
        EXPECT_TRUE(all || none);
        return all;
    }
};

TEST_F(WindowMenu, ToggleChecksTheChosenItemAndDimsClosedWindows)
{
    open_window(&sc_handle);
    spc_sc_toggle(handle_menu, MENUBAR_WINDOW_STRIP_CHART, nullptr, 0);
    EXPECT_EQ(menu_state(), "C-----");
    open_window(&list_panel);
    spc_sc_toggle(handle_menu, MENUBAR_WINDOW_ALARM_WINDOW, nullptr, 0);
    EXPECT_EQ(menu_state(), ".--C-.");
    EXPECT_EQ(ui.panel_attribute(list_panel, ATTR_ZPLANE_POSITION), 0);
    spc_sc_toggle(handle_menu, MENUBAR_WINDOW_STRIP_CHART, nullptr, 0);
    EXPECT_EQ(menu_state(), "C--.-.");
    // An item of a closed window activates nothing; it is still the one checked.
    spc_sc_toggle(handle_menu, MENUBAR_WINDOW_BATCH_COMPARISON, nullptr, 0);
    EXPECT_EQ(menu_state(), ".--.C.");
    EXPECT_TRUE(ui.menu_item(handle_menu, MENUBAR_WINDOW_BATCH_COMPARISON)->dimmed);
}

TEST_F(WindowMenu, SpcChartWindowIsTitledFromItsCode)
{
    open_window(&sc_handle);
    open_window(&spc_panel);
    // The code sits in control 21; make controls up to it.
    int code_ctrl = 0;
    while (code_ctrl < 21) code_ctrl = NewCtrl(spc_panel, CTRL_NUMERIC, "code", 10, 10);
    SetCtrlVal(spc_panel, SPC_CODE, -chart_code(5, 1, 2, 3));
    spc_sc_toggle(handle_menu, MENUBAR_WINDOW_SPC_CHART, nullptr, 0);
    EXPECT_EQ(ui.title(spc_panel), "chart 5 1 2 3");
    EXPECT_EQ(menu_state(), ".-C--.");
    // An endpoint chart (channel digits 0) is titled with its nine-digit code.
    SetCtrlVal(spc_panel, SPC_CODE, chart_code(0, 17, 1, 0));
    spc_sc_toggle(handle_menu, MENUBAR_WINDOW_SPC_CHART, nullptr, 0);
    EXPECT_EQ(ui.title(spc_panel), "001710000");
}

TEST_F(WindowMenu, DiscardRaisesTheNextWindowByStackingOrder)
{
    open_window(&sc_handle);
    open_window(&spc_panel);
    open_window(&list_panel);
    open_window(&compare_panel);
    // Closing the alarm window takes the SPC chart with it.
    discard_window(60);
    EXPECT_EQ(list_panel, -1);
    EXPECT_EQ(spc_panel, -1);
    EXPECT_EQ(menu_state(), "..--C.");
    EXPECT_FALSE(strip_items_enabled());
    EXPECT_EQ(ui.panel_attribute(compare_panel, ATTR_ZPLANE_POSITION), 0);
    discard_window(61);
    EXPECT_EQ(compare_panel, -1);
    EXPECT_EQ(menu_state(), "C.---.");
    EXPECT_TRUE(strip_items_enabled());
}

TEST_F(WindowMenu, StripChartIsNeverClosedAndOtherItemsOnlyRefresh)
{
    open_window(&sc_handle);
    open_window(&list_panel);
    SetMenuBarAttribute(handle_menu, MENUBAR_FILE, ATTR_DIMMED, 1);
    discard_window(57);
    EXPECT_GT(sc_handle, 0);
    EXPECT_TRUE(ui.menu_item(handle_menu, MENUBAR_FILE)->dimmed);
    // 62: nothing closed; the alarm window is in front, so the strip-chart items are dimmed.
    discard_window(62);
    EXPECT_GT(list_panel, 0);
    EXPECT_GT(sc_handle, 0);
    EXPECT_FALSE(strip_items_enabled());
    EXPECT_TRUE(ui.menu_item(handle_menu, MENUBAR_WINDOW_ALARM_WINDOW)->checked);
    SetActivePanel(sc_handle);
    discard_window(0);
    EXPECT_TRUE(strip_items_enabled());
    EXPECT_TRUE(ui.menu_item(handle_menu, MENUBAR_WINDOW_STRIP_CHART)->checked);
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_WINDOW_ALARM_WINDOW)->checked);
    // No window at all: nothing is raised; the strip chart counts as in front.
    discard_window(60);
    DiscardPanel(sc_handle);
    sc_handle = -1;
    discard_window(0);
    EXPECT_TRUE(strip_items_enabled());
}

}  // namespace
