// List boxes and rings with check marks and in-line codes; menu bars loaded and rebuilt at run time.
#include <gtest/gtest-spi.h>

#include "platform/ui/list_text.h"
#include "tests/ui/demo_fixture.h"

namespace uitest {
namespace {

using ListTest = DemoTest;
using MenuTest = DemoTest;

TEST_F(ListTest, ItemsInsertReplaceDeleteKeepTheCurrentIndexOnItsItem)
{
    int p = load_demo();
    int n = 0;
    GetNumListItems(p, DEMO_CHANNELS, &n);
    EXPECT_EQ(n, 3);
    SetCtrlIndex(p, DEMO_CHANNELS, 2);
    InsertListItem(p, DEMO_CHANNELS, 0, "Zero", 9);
    EXPECT_EQ(ui.index(p, DEMO_CHANNELS), 3);  // still on "RF Forward"
    InsertListItem(p, DEMO_CHANNELS, -1, "Last", 10);
    ReplaceListItem(p, DEMO_CHANNELS, 4, "Final", 11);
    int value = 0;
    GetValueFromIndex(p, DEMO_CHANNELS, 4, &value);
    EXPECT_EQ(value, 11);
    int index = 0;
    ASSERT_EQ(GetIndexFromValue(p, DEMO_CHANNELS, &index, 2), 0);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(GetIndexFromValue(p, DEMO_CHANNELS, &index, 77), UIE_BAD_INDEX);
    DeleteListItem(p, DEMO_CHANNELS, 0, 2);
    EXPECT_EQ(ui.index(p, DEMO_CHANNELS), 1);
    GetCtrlVal(p, DEMO_CHANNELS, &value);
    EXPECT_EQ(value, 2);
    DeleteListItem(p, DEMO_CHANNELS, 1, -1);
    GetNumListItems(p, DEMO_CHANNELS, &n);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(ui.index(p, DEMO_CHANNELS), 0);
    EXPECT_EQ(InsertListItem(p, DEMO_CHANNELS, 5, "x", 1), UIE_BAD_INDEX);
    ClearListCtrl(p, DEMO_CHANNELS);
    EXPECT_EQ(GetCtrlVal(p, DEMO_CHANNELS, &value), UIE_BAD_INDEX);
    std::string label;
    EXPECT_EQ(GetLabelFromIndex(p, DEMO_CHANNELS, 0, &label), UIE_BAD_INDEX);
}

// Items put in at once land as single inserts one after the other would have put them.
TEST_F(ListTest, ItemsInsertedAtOnceLandAsOneByOne)
{
    struct Case {
        const char* label;
        int at, current;  // where they go, the current item before
    };
    const Case cases[] = {{"at the end", -1, 2}, {"at the top", 0, 2}, {"before the current item", 1, 1}, {"after it", 2, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const int a = load_demo(), b = load_demo();
        SetCtrlIndex(a, DEMO_CHANNELS, c.current);
        SetCtrlIndex(b, DEMO_CHANNELS, c.current);
        std::vector<std::string> labels = {"one", "two", "three"};
        const std::vector<int> values = {11, 12, 13};
        ASSERT_EQ(InsertListItems(a, DEMO_CHANNELS, c.at, labels, values), 0);
        for (std::size_t k = 0; k < values.size(); ++k)
            InsertListItem(b, DEMO_CHANNELS, c.at < 0 ? -1 : c.at + static_cast<int>(k), std::vector<std::string>{"one", "two", "three"}[k].c_str(), values[k]);
        const auto got = ui.items(a, DEMO_CHANNELS), want = ui.items(b, DEMO_CHANNELS);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_TRUE(got[k].label == want[k].label && got[k].value == want[k].value && got[k].checked == want[k].checked) << k;
        EXPECT_EQ(ui.index(a, DEMO_CHANNELS), ui.index(b, DEMO_CHANNELS));
    }
    const int p = load_demo();
    std::vector<std::string> two = {"a", "b"};
    EXPECT_EQ(InsertListItems(p, DEMO_CHANNELS, 9, two, {1, 2}), UIE_BAD_INDEX);
    EXPECT_EQ(InsertListItems(p, DEMO_CHANNELS, -1, two, {1}), UIE_BAD_INDEX);
    int n = 0;
    GetNumListItems(p, DEMO_CHANNELS, &n);
    EXPECT_EQ(n, 3);
}

TEST_F(ListTest, CheckMarksByCodeAndByTheUser)
{
    int p = load_demo();
    int checked = 0;
    GetNumCheckedItems(p, DEMO_CHANNELS, &checked);
    EXPECT_EQ(checked, 1);
    // The user's tick makes the item current and commits, so the callback can read which one.
    h.list = [&](int panel, int ctrl, int event, void*) {
        if (event == EVENT_COMMIT) {
            int index = 0;
            GetCtrlIndex(panel, ctrl, &index);
            if (index > 0) CheckListItem(panel, ctrl, 0, 0);  // a channel unchecks "All"
        }
        return 0;
    };
    EXPECT_TRUE(ui.check(p, DEMO_CHANNELS, 2));
    int on = 0;
    IsListItemChecked(p, DEMO_CHANNELS, 0, &on);
    EXPECT_EQ(on, 0);
    IsListItemChecked(p, DEMO_CHANNELS, 2, &on);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(h.calls, (std::vector<std::string>{"demo_list:2", "demo_list:1"}));
    EXPECT_EQ(CheckListItem(p, DEMO_CHANNELS, 7, 1), UIE_BAD_INDEX);
    EXPECT_EQ(CheckListItem(p, DEMO_VALUE, 0, 1), UIE_NOT_ALLOWED);
}

TEST_F(ListTest, RingSelectsByValue)
{
    int p = load_demo();
    ASSERT_EQ(SetCtrlVal(p, DEMO_RATE, -5), 0);
    EXPECT_EQ(ui.index(p, DEMO_RATE), 2);
    EXPECT_EQ(SetCtrlVal(p, DEMO_RATE, 3), UIE_BAD_INDEX);
    EXPECT_TRUE(ui.select(p, DEMO_RATE, 0, true));
    short v = 0;
    GetCtrlVal(p, DEMO_RATE, &v);
    EXPECT_EQ(v, 1);
}

TEST_F(ListTest, InLineCodesParseIntoColouredAndPlacedSegments)
{
    struct Case {
        std::string label;
        std::vector<vui::TextSegment> segments;
    } cases[] = {
        {"plain", {{-1, -1, "plain"}}},
        {"\033fgFF0000Pressure", {{-1, 0xFF0000, "Pressure"}}},
        {"\033p20lRF\033p90lForward", {{20, -1, "RF"}, {90, -1, "Forward"}}},
        {"\033p20l\033fg00FF00POR mean = 1.0", {{20, 0x00FF00, "POR mean = 1.0"}}},
        {"A\033fg0000FFB", {{-1, -1, "A"}, {-1, 0x0000FF, "B"}}},
        {"cut\033p20 no end", {{-1, -1, "cut"}}},
        {"bad\033fgXYZ123colour", {{-1, -1, "bad"}}},
    };
    for (const auto& c : cases) {
        auto got = vui::parse_list_text(c.label);
        ASSERT_EQ(got.size(), c.segments.size()) << c.label;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].column, c.segments[i].column) << c.label;
            EXPECT_EQ(got[i].color, c.segments[i].color) << c.label;
            EXPECT_EQ(got[i].text, c.segments[i].text) << c.label;
        }
    }
    int p = load_demo();
    EXPECT_EQ(ui.plain_items(p, DEMO_CHANNELS), (std::vector<std::string>{"All", "Pressure", "RFForward"}));
}

TEST_F(MenuTest, LoadedBarPicksItemsByClickAndShortcut)
{
    int p = load_demo();
    int bar = LoadMenuBar(p, "demo.uir", MENUBAR);
    ASSERT_GT(bar, 0);
    EXPECT_EQ(GetPanelMenuBar(p), bar);
    int panel_seen = 0;
    h.menu = [&](int, int, void*, int panel) { panel_seen = panel; };
    EXPECT_TRUE(ui.pick(bar, MENUBAR_FILE_OPEN));
    EXPECT_EQ(panel_seen, p);
    EXPECT_TRUE(ui.key(p, VAL_MENUKEY_MODIFIER | 'O'));
    EXPECT_EQ(count("demo_menu:3"), 2);
    int checked = 0;
    GetMenuBarAttribute(bar, MENUBAR_FILE_RECORDING, ATTR_CHECKED, &checked);
    EXPECT_EQ(checked, 1);
    // Dimming an item, its menu or the whole bar (item 0) refuses the pick.
    SetMenuBarAttribute(bar, MENUBAR_FILE_OPEN, ATTR_DIMMED, 1);
    EXPECT_FALSE(ui.pick(bar, MENUBAR_FILE_OPEN));
    SetMenuBarAttribute(bar, MENUBAR_FILE_OPEN, ATTR_DIMMED, 0);
    SetMenuBarAttribute(bar, 0, ATTR_DIMMED, 1);
    EXPECT_FALSE(ui.pick(bar, MENUBAR_FILE_RECORDING));
    SetMenuBarAttribute(bar, 0, ATTR_DIMMED, 0);
    SetMenuBarAttribute(bar, MENUBAR_CHARTS, ATTR_DIMMED, 1);
    EXPECT_FALSE(ui.pick(bar, MENUBAR_CHARTS_STATIC_CHANNEL_1_MEAN));  // inside a submenu of the dimmed menu
    EXPECT_EQ(count("demo_menu:3"), 2);
    EXPECT_EQ(count("demo_menu:8"), 0);
    // A key that names a control's shortcut presses it.
    EXPECT_TRUE(ui.key(p, VAL_ENTER_VKEY));
    EXPECT_EQ(count("demo_long:1"), 1);
}

TEST_F(MenuTest, MenuRebuiltAtRunTimeWithCallbackData)
{
    int p = load_demo();
    int bar = LoadMenuBar(p, "demo.uir", MENUBAR);
    // Chart selectors outlive the items that point at them.
    static short selectors[3] = {0x0001, 0x0102, 0x0405};
    std::vector<short> seen;
    MenuCallbackPtr show = [&](int, int, void* data, int) { seen.push_back(*static_cast<short*>(data)); };
    int group = NewMenuItem(bar, MENUBAR_CHARTS, "Step Charts", MENUBAR_CHARTS_NEXT_CHART, 0, nullptr, nullptr);
    int sub = NewSubMenu(bar, group);
    int a = NewMenuItem(bar, sub, "Channel 1 Overshoot Area 2", -1, 0, show, &selectors[1]);
    int b = NewMenuItem(bar, sub, "Channel 4 Sigma", -1, 0, show, &selectors[2]);
    EXPECT_GT(group, 9);  // new ids lie above the file's
    auto items = ui.menu_items(bar, MENUBAR_CHARTS);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].name, "Step Charts");  // inserted before Next Chart
    EXPECT_EQ(items[2].id, MENUBAR_CHARTS_NEXT_CHART);
    EXPECT_TRUE(ui.pick(bar, b));
    EXPECT_TRUE(ui.pick(bar, a));
    EXPECT_EQ(seen, (std::vector<short>{0x0405, 0x0102}));
    char name[64];
    GetMenuBarAttribute(bar, a, ATTR_ITEM_NAME, name);
    EXPECT_STREQ(name, "Channel 1 Overshoot Area 2");
    // Rebuilding: discarding the group item removes its submenu and items.
    EXPECT_EQ(DiscardMenuItem(bar, group), 0);
    EXPECT_FALSE(ui.menu_item(bar, a));
    EXPECT_FALSE(ui.pick(bar, a));
    EXPECT_EQ(ui.menu_items(bar, MENUBAR_CHARTS).size(), 2u);
    EXPECT_EQ(InstallMenuCallback(bar, MENUBAR_CHARTS_NEXT_CHART, show, &selectors[0]), 0);
    EXPECT_TRUE(ui.pick(bar, MENUBAR_CHARTS_NEXT_CHART));
    EXPECT_EQ(seen.back(), 0x0001);
    SetMenuBarAttribute(bar, MENUBAR_CHARTS_NEXT_CHART, ATTR_ITEM_NAME, "Next");
    EXPECT_EQ(ui.find_menu_item(bar, "Next"), 9);
    EXPECT_TRUE(ui.pick(bar, "Next"));
    EXPECT_NONFATAL_FAILURE(ui.pick(bar, "Nowhere"), "\"Nowhere\"");
    EXPECT_EQ(DiscardMenuItem(bar, 99), UIE_BAD_CTRL);
}

}  // namespace
}  // namespace uitest
