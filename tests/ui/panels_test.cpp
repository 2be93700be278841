// Panels and controls: loading from panel files, callbacks by name, values, attributes, geometry, stacking.
#include <fstream>
#include <functional>
#include <iterator>

#include "tests/ui/demo_fixture.h"

namespace uitest {
namespace {

using PanelTest = DemoTest;

TEST_F(PanelTest, LoadsPanelWithControlsValuesAndCallbacksByName)
{
    int p = load_demo();
    EXPECT_EQ(ui.title(p), "Demo");
    char constant[32];
    ASSERT_EQ(GetPanelAttribute(p, ATTR_CONSTANT_NAME, constant), 0);
    EXPECT_STREQ(constant, "DEMO");
    EXPECT_EQ(ui.ival(p, DEMO_VALUE), 5);
    EXPECT_EQ(ui.text(p, DEMO_NAME), "wafer");
    short rate = 0;
    ASSERT_EQ(GetCtrlVal(p, DEMO_RATE, &rate), 0);
    EXPECT_EQ(rate, 10);
    std::string cb;
    ASSERT_EQ(GetCtrlAttribute(p, DEMO_VALUE, ATTR_CALLBACK_NAME, &cb), 0);
    EXPECT_EQ(cb, "demo_value");

    // Typing commits: value changed (2), then commit (1), to the callback bound by name.
    EXPECT_TRUE(ui.set(p, DEMO_VALUE, 42));
    EXPECT_EQ(ui.ival(p, DEMO_VALUE), 42);
    EXPECT_EQ(h.calls, (std::vector<std::string>{"demo_value:2", "demo_value:1"}));
}

TEST_F(PanelTest, ValuesConvertToTheControlsTypeAndRange)
{
    int p = load_demo();
    struct Case {
        double in;
        int expected;
    } cases[] = {{7.9, 7}, {-3, 0}, {250, 100}, {100, 100}};
    for (auto c : cases) {
        ASSERT_EQ(SetCtrlVal(p, DEMO_VALUE, c.in), 0);
        EXPECT_EQ(ui.ival(p, DEMO_VALUE), c.expected) << c.in;
    }
    EXPECT_EQ(SetCtrlVal(p, DEMO_VALUE, "text"), UIE_BAD_TYPE);
    EXPECT_EQ(SetCtrlVal(p, DEMO_NAME, 5), UIE_BAD_TYPE);
    double ratio = 0;
    SetCtrlVal(p, DEMO_RATIO, 2);
    ASSERT_EQ(GetCtrlVal(p, DEMO_RATIO, &ratio), 0);
    EXPECT_EQ(ratio, 2.0);
    // A text that does not fit the caller's buffer is refused, not cut or overrun.
    SetCtrlVal(p, DEMO_NAME, "a long wafer name");
    char small[8];
    EXPECT_EQ(GetCtrlVal(p, DEMO_NAME, small), UIE_TOO_LONG);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(SetCtrlVal(p, 99, 1), UIE_BAD_CTRL);
    EXPECT_EQ(SetCtrlVal(999, 2, 1), UIE_BAD_HANDLE);
}

TEST_F(PanelTest, AttributesReadBackWithDefaultsAndRefuseUnknownOrReadOnly)
{
    int p = load_demo();
    EXPECT_FALSE(ui.dimmed(p, DEMO_VALUE));
    EXPECT_TRUE(ui.visible(p, DEMO_VALUE));
    ASSERT_EQ(SetCtrlAttribute(p, DEMO_VALUE, ATTR_DIMMED, 1), 0);
    EXPECT_TRUE(ui.dimmed(p, DEMO_VALUE));
    ASSERT_EQ(SetCtrlAttribute(p, DEMO_NAME, ATTR_LABEL_TEXT, "Wafer"), 0);
    EXPECT_EQ(ui.label(p, DEMO_NAME), "Wafer");
    EXPECT_EQ(SetCtrlAttribute(p, DEMO_VALUE, 4242, 1), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(SetCtrlAttribute(p, DEMO_VALUE, ATTR_CTRL_STYLE, CTRL_RING), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(SetCtrlAttribute(p, DEMO_VALUE, ATTR_LABEL_TEXT, 3), UIE_BAD_TYPE);
    EXPECT_EQ(SetCtrlAttribute(p, DEMO_VALUE, ATTR_POINTS_PER_SCREEN, 10), UIE_BAD_ATTRIBUTE);
    int style = 0;
    ASSERT_EQ(GetCtrlAttribute(p, DEMO_STRIP, ATTR_CTRL_STYLE, &style), 0);
    EXPECT_EQ(style, CTRL_STRIP_CHART);
    // Lowering the maximum coerces the value already there.
    SetCtrlVal(p, DEMO_VALUE, 80);
    SetCtrlAttribute(p, DEMO_VALUE, ATTR_MAX_VALUE, 50.0);
    EXPECT_EQ(ui.ival(p, DEMO_VALUE), 50);
}

TEST_F(PanelTest, DimmedHiddenAndIndicatorControlsRefuseTheUser)
{
    int p = load_demo();
    SetCtrlAttribute(p, DEMO_VALUE, ATTR_DIMMED, 1);
    EXPECT_FALSE(ui.set(p, DEMO_VALUE, 9));
    SetCtrlAttribute(p, DEMO_VALUE, ATTR_DIMMED, 0);
    SetCtrlAttribute(p, DEMO_VALUE, ATTR_VISIBLE, 0);
    EXPECT_FALSE(ui.set(p, DEMO_VALUE, 9));
    SetCtrlAttribute(p, DEMO_VALUE, ATTR_VISIBLE, 1);
    SetCtrlAttribute(p, DEMO_VALUE, ATTR_CTRL_MODE, 1);
    EXPECT_FALSE(ui.set(p, DEMO_VALUE, 9));
    EXPECT_EQ(ui.ival(p, DEMO_VALUE), 5);
    EXPECT_TRUE(h.calls.empty());
    HidePanel(p);
    SetCtrlAttribute(p, DEMO_VALUE, ATTR_CTRL_MODE, 0);
    EXPECT_FALSE(ui.set(p, DEMO_VALUE, 9));
}

// A panel shown or activated inside a covered window brings that window forward too, up to the top level; a
// window that holds a modal popup is never covered by one raised beside it.
TEST_F(PanelTest, ActivationRaisesEveryWindowThePanelLiesIn)
{
    const int main = load_demo();
    const int strip = LoadPanel(main, "demo.uir", DIALOG), chart = LoadPanel(main, "demo.uir", DIALOG);
    const int inner = LoadPanel(strip, "demo.uir", DIALOG);
    const int other = LoadPanel(0, "demo.uir", DIALOG);
    for (int p : {strip, inner, chart, other}) ASSERT_GT(p, 0);
    for (int p : {strip, inner, chart, other}) DisplayPanel(p);
    ASSERT_EQ(ui.panel_attribute(chart, ATTR_ZPLANE_POSITION), 0);
    ASSERT_EQ(ui.panel_attribute(other, ATTR_ZPLANE_POSITION), 0);
    struct Step {
        const char* how;
        std::function<void()> act;
    };
    const Step steps[] = {
        {"shown", [&] { DisplayPanel(inner); }},
        {"activated", [&] { SetActivePanel(inner); }},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.how);
        SetPanelAttribute(chart, ATTR_ZPLANE_POSITION, 0);
        SetPanelAttribute(other, ATTR_ZPLANE_POSITION, 0);
        s.act();
        EXPECT_EQ(ui.panel_attribute(inner, ATTR_ZPLANE_POSITION), 0);
        EXPECT_EQ(ui.panel_attribute(strip, ATTR_ZPLANE_POSITION), 0);
        EXPECT_EQ(ui.panel_attribute(chart, ATTR_ZPLANE_POSITION), 1);
        EXPECT_EQ(ui.panel_attribute(main, ATTR_ZPLANE_POSITION), 0);
        EXPECT_EQ(ui.panel_attribute(other, ATTR_ZPLANE_POSITION), 1);
    }
    // A dialog installed as a popup inside the chart: the strip chart, raised again, stays behind the chart.
    const int dialog = LoadPanel(chart, "demo.uir", DIALOG);
    InstallPopup(dialog);
    EXPECT_EQ(ui.panel_attribute(chart, ATTR_ZPLANE_POSITION), 0);
    SetActivePanel(inner);
    EXPECT_EQ(ui.panel_attribute(chart, ATTR_ZPLANE_POSITION), 0);
    EXPECT_EQ(ui.panel_attribute(strip, ATTR_ZPLANE_POSITION), 1);
    EXPECT_EQ(ui.panel_attribute(inner, ATTR_ZPLANE_POSITION), 0);
    DiscardPanel(dialog);
    DiscardPanel(other);
}

TEST_F(PanelTest, ChildPanelsNestCentreAndStack)
{
    int main = load_demo();
    int a = LoadPanel(main, "demo.uir", DIALOG);
    int b = LoadPanel(main, "demo.uir", DIALOG);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    // No position in the file: centred in the parent's client area.
    EXPECT_EQ(ui.panel_attribute(a, ATTR_LEFT), (800 - 200) / 2);
    EXPECT_EQ(ui.panel_attribute(a, ATTR_TOP), (600 - 100) / 2);
    EXPECT_EQ(ui.panel_attribute(a, ATTR_PANEL_PARENT), main);
    DisplayPanel(a);
    DisplayPanel(b);
    EXPECT_EQ(ui.panel_attribute(b, ATTR_ZPLANE_POSITION), 0);
    EXPECT_EQ(ui.panel_attribute(a, ATTR_ZPLANE_POSITION), 1);
    SetPanelAttribute(a, ATTR_ZPLANE_POSITION, 0);
    EXPECT_EQ(ui.panel_attribute(a, ATTR_ZPLANE_POSITION), 0);
    // A child is shown only while its parent is.
    HidePanel(main);
    EXPECT_FALSE(ui.panel_visible(a));
    DisplayPanel(main);
    EXPECT_TRUE(ui.panel_visible(a));
    // Discarding the parent discards its children.
    DiscardPanel(main);
    EXPECT_FALSE(ui.panel_exists(a));
    EXPECT_FALSE(ui.panel_exists(b));
    EXPECT_EQ(DisplayPanel(a), UIE_BAD_HANDLE);
}

TEST_F(PanelTest, MaximisingFillsTheParentAndScreenSizeIsKnown)
{
    int main = load_demo();
    int d = LoadPanel(main, "demo.uir", DIALOG);
    SetPanelAttribute(d, ATTR_WINDOW_ZOOM, 2);
    EXPECT_EQ(ui.panel_attribute(d, ATTR_WIDTH), 800);
    EXPECT_EQ(ui.panel_attribute(d, ATTR_HEIGHT), 600);
    int top = LoadPanel(0, "demo.uir", DIALOG);
    SetPanelAttribute(top, ATTR_WINDOW_ZOOM, 2);
    int height = 0, width = 0;
    GetScreenSize(&height, &width);
    EXPECT_EQ(ui.panel_attribute(top, ATTR_WIDTH), width);
    EXPECT_EQ(ui.panel_attribute(top, ATTR_HEIGHT), height);
}

TEST_F(PanelTest, NewCtrlAndTheControlWalk)
{
    int p = LoadPanel(0, "demo.uir", WAIT);
    int hidden = NewCtrl(p, CTRL_NUMERIC, "TOP_ID", 10, 10);
    EXPECT_EQ(hidden, 5);  // above the file's highest id
    SetCtrlAttribute(p, hidden, ATTR_VISIBLE, 0);
    SetCtrlVal(p, hidden, 120);
    int top = 0;
    GetCtrlVal(p, hidden, &top);
    EXPECT_EQ(top, 120);
    std::vector<int> walk;
    int id = 0;
    GetPanelAttribute(p, ATTR_PANEL_FIRST_CTRL, &id);
    while (id) {
        walk.push_back(id);
        GetCtrlAttribute(p, id, ATTR_NEXT_CTRL, &id);
    }
    EXPECT_EQ(walk, (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(DiscardCtrl(p, WAIT_CANCEL), 0);
    EXPECT_EQ(SetCtrlVal(p, WAIT_CANCEL, 1), UIE_BAD_CTRL);
}

TEST_F(PanelTest, TextBoxAppendsAndReadsLines)
{
    int p = load_demo();
    SetCtrlVal(p, DEMO_NOTES, "first line\n");
    SetCtrlVal(p, DEMO_NOTES, "second line\n");
    int n = 0;
    GetNumTextBoxLines(p, DEMO_NOTES, &n);
    EXPECT_EQ(n, 2);
    char line[32];
    ASSERT_EQ(GetTextBoxLine(p, DEMO_NOTES, 1, line), 0);
    EXPECT_STREQ(line, "second line");
    EXPECT_EQ(GetTextBoxLine(p, DEMO_NOTES, 2, line), UIE_BAD_INDEX);
    ResetTextBox(p, DEMO_NOTES, "only");
    GetNumTextBoxLines(p, DEMO_NOTES, &n);
    EXPECT_EQ(n, 1);
    InsertTextBoxLine(p, DEMO_NOTES, 0, "zero");
    ReplaceTextBoxLine(p, DEMO_NOTES, 1, "one");
    EXPECT_EQ(ui.text(p, DEMO_NOTES), "zero\none");
    // The user edits the whole text.
    EXPECT_TRUE(ui.set(p, DEMO_NOTES, "typed"));
    EXPECT_EQ(ui.text(p, DEMO_NOTES), "typed");
}

TEST_F(PanelTest, UnknownCallbackOrResourceFailsLoudly)
{
    vui::clear_callback_registry();
    EXPECT_EQ(LoadPanel(0, "demo.uir", DEMO), UIE_UNKNOWN_CALLBACK);
    EXPECT_NE(vui::last_load_error().find("\"demo_panel\""), std::string::npos) << vui::last_load_error();
    EXPECT_TRUE(vui::model().panels.empty());  // nothing half-built is left behind
    register_demo_callbacks();
    EXPECT_EQ(LoadPanel(0, "demo.uir", 9), UIE_NO_RESOURCE);
    EXPECT_EQ(LoadPanel(0, "missing.uir", 1), UIE_FILE);
    // Names are matched without regard to case, as on the original file system.
    EXPECT_GT(LoadPanel(0, "DEMO.UIR", 2), 0);
    // A callback of the wrong kind is refused too.
    vui::register_callbacks({{"demo_panel", CtrlCallbackPtr([](int, int, int, void*, int, int) { return 0; })}});
    EXPECT_EQ(LoadPanel(0, "demo.uir", DEMO), UIE_UNKNOWN_CALLBACK);
}

TEST_F(PanelTest, CheckPanelFileFindsEveryFault)
{
    EXPECT_TRUE(vui::check_panel_file(std::string(UI_FIXTURE_DIR) + "/demo.uir"));
    vtest::TempDir dir;
    struct Case {
        const char* content;
        const char* expected;
    } cases[] = {
        {R"({"panels": [{"resource": 1, "controls": [{"id": 2, "kind": "knob"}]}]})", "unknown kind"},
        {R"({"panels": [{"resource": 1, "controls": [{"id": 2, "kind": "numeric", "colour": 1}]}]})", "unknown field"},
        {R"({"panels": [{"resource": 1, "controls": [{"id": 2, "kind": "numeric"}, {"id": 2, "kind": "string"}]}]})", "repeated"},
        {R"({"menubars": [{"resource": 1, "menus": [{"id": 2, "items": [{"id": 3, "callback": "nobody"}]}]}]})", "\"nobody\""},
        {R"({"panels": [{"resource": 1, "controls": [{"id": 2, "kind": "numeric", "attributes": {"dimmed": 1}}]}]})", "not a number"},
        {R"({"panels": [ )", "not valid"},
        {R"({"panels": [{"resource": 1, "controls": [{"id": 2, "kind": "ring", "items": [{"label": "a", "value": "x"}]}]}]})", "does not suit"},
        {R"({"panels": [{"resource": 1, "controls": [{"id": 2, "kind": "numeric", "items": [{"label": "a"}]}]}]})", "only lists and rings"},
        {R"({"menubars": [{"resource": 1, "menus": [{"id": 2, "items": [{"id": 3, "constant": 7}]}]}]})", "wrong type"},
        {R"({"menubars": [{"resource": 1, "menus": [{"id": 2, "items": [{"id": 3, "const": "SAVE"}]}]}]})", "unknown field"},
    };
    for (const auto& c : cases) {
        std::string path = dir.write("bad.uir", c.content);
        auto r = vui::check_panel_file(path);
        EXPECT_FALSE(r) << c.content;
        EXPECT_NE(r.error.find(c.expected), std::string::npos) << r.error;
    }
}

TEST_F(PanelTest, ADamagedPanelFileIsALoadErrorNeverTheProgramsEnd)
{
    vtest::TempDir dir;
    const char* damaged[] = {
        R"({"panels": [{"resource": "1"}], "menubars": [{"resource": "1"}]})",
        R"({"panels": [{"resource": 1e300}], "menubars": [{"resource": -1e300}]})",
        R"({"panels": [{"resource": 1, "controls": [{"id": 4294967298, "kind": "numeric"}]}]})",
        R"({"panels": [{"resource": 1, "controls": [{"id": 2, "kind": "numeric", "width": 1e40}]}]})",
        R"({"panels": [{"resource": 1, "width": 1e40}]})",
        R"({"panels": [{"resource": 1, "controls": [{"id": 2, "kind": "strip_chart", "traces": "4"}]}]})",
        R"({"menubars": [{"resource": 1, "menus": [{"id": 2, "items": [{"id": 3, "shortcut": 9e99}]}]}]})",
    };
    for (const char* content : damaged) {
        std::string path = dir.write("damaged.uir", content);
        EXPECT_LT(LoadPanel(0, path.c_str(), 1), 0) << content;
        EXPECT_LT(LoadMenuBar(0, path.c_str(), 1), 0) << content;
        EXPECT_FALSE(vui::check_panel_file(path)) << content;
    }
    EXPECT_TRUE(vui::model().panels.empty());
}

TEST_F(PanelTest, CheckPanelFolderReportsEachFaultyFile)
{
    vtest::TempDir dir;
    std::ifstream demo(std::string(UI_FIXTURE_DIR) + "/demo.uir");
    std::string content((std::istreambuf_iterator<char>(demo)), std::istreambuf_iterator<char>());
    dir.write("s_chart.uir", content);
    dir.write("notes.txt", "not a panel file");
    EXPECT_TRUE(vui::check_panel_folder(dir.path()).empty());
    dir.write("WAIT.UIR", R"({"panels": [{"resource": 2, "callback": "missing_cb"}]})");
    auto faults = vui::check_panel_folder(dir.path());
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_NE(faults[0].find("missing_cb"), std::string::npos);
}

TEST_F(PanelTest, NewPanelForDialogsBuiltInCode)
{
    int d = NewPanel(0, "SPC Rule Selection: x", VAL_AUTO_CENTER, VAL_AUTO_CENTER, 460, 640);
    ASSERT_GT(d, 0);
    int height = 0, width = 0;
    GetScreenSize(&height, &width);
    EXPECT_EQ(ui.panel_attribute(d, ATTR_LEFT), (width - 640) / 2);
    EXPECT_EQ(ui.panel_attribute(d, ATTR_TOP), (height - 460) / 2);
    int box = NewCtrl(d, CTRL_CHECK_BOX, "Status", 25, 10);
    DisplayPanel(d);
    EXPECT_TRUE(ui.press(d, box));
    EXPECT_EQ(ui.ival(d, box), 1);
}

}  // namespace
}  // namespace uitest
