// The change stream: a view mirrors the model from a snapshot and the changes that follow, and answers popups.
#include <algorithm>
#include <functional>
#include <thread>

#include "platform/sys/launch.h"
#include "platform/ui/user_actions.h"
#include "platform/ui/view.h"
#include "tests/ui/demo_fixture.h"

using nlohmann::json;

namespace uitest {
namespace {

using ViewTest = DemoTest;

// A menu bar as a view keeps it: its nodes by id, flat (a menu lists its items' ids).
json flat_bar(const json& bar)
{
    json nodes = json::object();
    std::function<void(const json&)> walk = [&](const json& n) {
        json f = {{"id", n["id"]}, {"name", n["name"]}, {"dimmed", n["dimmed"]}, {"is_menu", n.contains("items")}};
        if (n.contains("items")) {
            json ids = json::array();
            for (const auto& i : n["items"]) {
                ids.push_back(i["id"]);
                walk(i);
            }
            f["items"] = ids;
        } else {
            f["checked"] = n["checked"];
            f["shortcut"] = n["shortcut"];
            f["submenu"] = n.contains("submenu") ? n["submenu"]["id"] : json(0);
            if (n.contains("submenu")) walk(n["submenu"]);
        }
        nodes[std::to_string(n["id"].get<int>())] = f;
    };
    json menus = json::array();
    for (const auto& m : bar["menus"]) {
        menus.push_back(m["id"]);
        walk(m);
    }
    return {{"dimmed", bar["dimmed"]}, {"menus", menus}, {"nodes", nodes}};
}

// The least a view keeps: panels, controls and strip-chart traces by key.
struct Mirror {
    std::map<int, json> panels;
    std::map<std::pair<int, int>, json> ctrls;
    std::map<std::pair<int, int>, std::vector<std::vector<double>>> traces;
    std::map<int, json> menubars;  // flat
    std::vector<json> popups;
    std::map<int, json> order;  // children by parent, 0 = top level
    int active = 0;
    std::vector<json> seen;  // every change, in order

    void load(const json& snap)
    {
        for (const auto& p : snap["panels"]) {
            int h = p["handle"];
            panels[h] = p;
            for (const auto& c : p["controls"]) {
                ctrls[{h, c["id"]}] = c;
                if (c.contains("trace_points")) traces[{h, c["id"]}] = c["trace_points"].get<std::vector<std::vector<double>>>();
            }
        }
        for (const auto& b : snap["menubars"]) menubars[b["handle"]] = flat_bar(b);
        order[0] = snap["top_level"];
        for (const auto& [h, p] : panels) order[h] = p["children"];
        active = snap["active_panel"];
    }
    // A control's message keeps the rows the view has unless it brings them whole or as a splice.
    void apply_ctrl(int panel, json c)
    {
        auto key = std::make_pair(panel, c["id"].get<int>());
        json rows = ctrls.count(key) ? ctrls[key].value("items", json::array()) : json::array();
        // A window: the rows held are forgotten, the list has `count` rows (null until asked for).
        if (c.contains("window")) {
            rows = json::array();
            for (std::size_t i = 0; i < c["count"].get<std::size_t>(); ++i) rows.push_back(nullptr);
            fill(rows, c["window"]["at"], c["window"]["items"]);
            c.erase("window");
        } else if (c.contains("splice") && rows.size() > vui::kLongListRows) {
            // A long list's splice leaves its other rows in place, or adds rows at its end.
            while (rows.size() < c["count"].get<std::size_t>()) rows.push_back(nullptr);
            fill(rows, c["splice"]["at"], c["splice"]["items"]);
            c.erase("splice");
        }
        if (c.contains("splice")) {
            const json& s = c["splice"];
            std::size_t at = s["at"], remove = s["remove"];
            json out = json::array();
            for (std::size_t i = 0; i < at; ++i) out.push_back(rows[i]);
            for (const auto& r : s["items"]) out.push_back(r);
            for (std::size_t i = at + remove; i < rows.size(); ++i) out.push_back(rows[i]);
            rows = out;
            c.erase("splice");
        }
        if (!c.contains("items") && c.contains("count")) c["items"] = rows;
        ctrls[key] = c;
    }
    static void fill(json& rows, std::size_t at, const json& items)
    {
        for (std::size_t k = 0; k < items.size(); ++k) rows[at + k] = items[k];
    }
    void apply(const json& m)
    {
        seen.push_back(m);
        std::string type = m["type"];
        if (type == "panel") panels[m["panel"]["handle"]] = m["panel"];
        if (type == "panel_gone") panels.erase(m["handle"].get<int>());
        if (type == "ctrl") apply_ctrl(m["panel"], m["ctrl"]);
        if (type == "rows") {
            json& rows = ctrls[{m["panel"], m["ctrl"]}]["items"];
            if (rows.size() == m["count"]) fill(rows, m["at"], m["items"]);
        }
        if (type == "ctrl_gone") ctrls.erase({m["panel"], m["id"]});
        if (type == "menubar") menubars[m["menubar"]["handle"]] = flat_bar(m["menubar"]);
        if (type == "menu_delta") {
            json& bar = menubars[m["handle"]];
            bar["dimmed"] = m["dimmed"];
            bar["menus"] = m["menus"];
            for (const auto& n : m["nodes"]) bar["nodes"][std::to_string(n["id"].get<int>())] = n;
            for (const auto& id : m["gone"]) bar["nodes"].erase(std::to_string(id.get<int>()));
        }
        if (type == "popup") popups.push_back(m["popup"]);
        if (type == "strip") {
            auto& t = traces[{m["panel"], m["id"]}];
            auto add = m["traces"].get<std::vector<std::vector<double>>>();
            t.resize(add.size());
            for (std::size_t i = 0; i < add.size(); ++i) t[i].insert(t[i].end(), add[i].begin(), add[i].end());
        }
        if (type == "strip_clear") traces[{m["panel"], m["id"]}].clear();
        if (type == "stacking") order[m["parent"]] = m["order"];
        if (type == "active") active = m["panel"];
    }
    std::size_t count(const std::string& type) const
    {
        return static_cast<std::size_t>(std::count_if(seen.begin(), seen.end(), [&](const json& m) { return m["type"] == type; }));
    }
};

// A view subscribed as the browser's is (snapshot and subscription in one task), for as long as it lives.
class Watching {
public:
    explicit Watching(Mirror& mirror)
    {
        vui::post_task([this, &mirror] {
            mirror.load(vui::snapshot());
            id_ = vui::subscribe([&mirror](const json& m) { mirror.apply(m); });
        });
    }
    ~Watching() { vui::unsubscribe(id_); }
    Watching(const Watching&) = delete;
    Watching& operator=(const Watching&) = delete;

private:
    int id_ = 0;
};

TEST_F(ViewTest, SnapshotThenChangesReproduceTheModel)
{
    int p = load_demo();
    int bar = LoadMenuBar(p, "demo.uir", MENUBAR);
    Mirror mirror;
    // As a view on another thread would: snapshot and subscription in one task.
    Watching view(mirror);
    ui.pump();
    ASSERT_EQ(mirror.panels.count(p), 1u);

    SetCtrlVal(p, DEMO_VALUE, 42);
    SetCtrlAttribute(p, DEMO_NAME, ATTR_DIMMED, 1);
    InsertListItem(p, DEMO_CHANNELS, -1, "\033fg00FF00Temperature", 3);
    CheckListItem(p, DEMO_CHANNELS, 3, 1);
    SetPanelAttribute(p, ATTR_TITLE, "System=Etch, POR");
    SetMenuBarAttribute(bar, MENUBAR_FILE_RECORDING, ATTR_CHECKED, 0);
    int extra = NewCtrl(p, CTRL_STRING, "MAXIMIZE_ID", 2, 782);
    DiscardCtrl(p, DEMO_RATIO);
    double block[6] = {1, 2, 3, 4, 5, 6};
    PlotStripChart(p, DEMO_STRIP, block, 6, 0, 0, VAL_DOUBLE);
    int child = LoadPanel(p, "demo.uir", DIALOG);
    int other = LoadPanel(p, "demo.uir", DIALOG);
    DisplayPanel(child);
    DisplayPanel(other);
    SetPanelAttribute(child, ATTR_ZPLANE_POSITION, 0);
    int second = LoadPanel(0, "demo.uir", WAIT);
    DisplayPanel(second);
    SetActivePanel(p);

    json fresh = vui::snapshot();
    Mirror expected;
    expected.load(fresh);
    EXPECT_EQ(mirror.panels.size(), expected.panels.size());
    for (const auto& [key, c] : expected.ctrls) {
        ASSERT_EQ(mirror.ctrls.count(key), 1u) << key.first << "/" << key.second;
        const json& m = mirror.ctrls[key];
        EXPECT_EQ(m["attributes"], c["attributes"]) << key.second;
        EXPECT_EQ(m.value("value", json()), c.value("value", json())) << key.second;
        EXPECT_EQ(m.value("items", json()), c.value("items", json())) << key.second;
    }
    EXPECT_EQ(mirror.ctrls.count(std::make_pair(p, DEMO_RATIO)), 0u);
    EXPECT_EQ(mirror.ctrls.count(std::make_pair(p, extra)), 1u);
    EXPECT_EQ(mirror.ctrls.count(std::make_pair(child, DIALOG_OK)), 1u);
    EXPECT_EQ(mirror.panels[p]["attributes"][std::to_string(ATTR_TITLE)], "System=Etch, POR");
    auto strip = std::make_pair(p, DEMO_STRIP);
    EXPECT_EQ(mirror.traces[strip], expected.traces[strip]);
    EXPECT_EQ(mirror.traces[strip][1], (std::vector<double>{2, 4, 6}));
    EXPECT_EQ(mirror.menubars[bar], expected.menubars[bar]);
    EXPECT_EQ(mirror.order[0], fresh["top_level"]);
    EXPECT_EQ(mirror.order[0][0], p);
    EXPECT_EQ(mirror.order[p], (json{child, other}));
    EXPECT_EQ(mirror.active, p);
}

// Controls and menus of the demo panel file.
constexpr int kValue = 2, kChannels = 4;
constexpr int kFileMenu = 2, kRecordingItem = 4;

json items_of(const json& snap, int panel, int ctrl)
{
    for (const auto& p : snap["panels"])
        if (p["handle"] == panel)
            for (const auto& c : p["controls"])
                if (c["id"] == ctrl) return c["items"];
    return nullptr;
}

// A list filled row by row in one turn goes out once; later single changes go out as the rows they touch.
// (A list this short goes out whole; a longer one by windows, below.)
TEST_F(ViewTest, ListChangesOfOneTurnGoOutOnceAsTheRowsThatChanged)
{
    int p = load_demo();
    Mirror mirror;
    Watching view(mirror);
    ui.pump();
    mirror.seen.clear();

    struct Step {
        const char* label;
        std::function<void()> change;
        std::size_t at, remove, rows;  // the splice expected
    };
    const Step steps[] = {
        {"a thousand rows appended one by one",
         [&] {
             for (int k = 0; k < 500; ++k) InsertListItem(p, kChannels, -1, ("Run " + std::to_string(k)).c_str(), k + 10);
         },
         3, 0, 500},
        {"one row ticked", [&] { CheckListItem(p, kChannels, 500, 1); }, 500, 1, 1},
        {"rows deleted in the middle", [&] { DeleteListItem(p, kChannels, 100, 50); }, 100, 50, 0},
        {"two rows replaced apart", [&] {
             ReplaceListItem(p, kChannels, 10, "ten", 10);
             ReplaceListItem(p, kChannels, 20, "twenty", 20);
         }, 10, 11, 11},
        {"a row inserted at the top", [&] { InsertListItem(p, kChannels, 0, "first", 99); }, 0, 0, 1},
        {"the list cleared and filled again", [&] {
             ClearListCtrl(p, kChannels);
             InsertListItem(p, kChannels, -1, "only", 1);
         }, 0, 454, 1},
    };
    for (const Step& step : steps) {
        mirror.seen.clear();
        step.change();
        EXPECT_TRUE(mirror.seen.empty()) << step.label << ": nothing goes out before the turn ends";
        ui.pump();
        ASSERT_EQ(mirror.count("ctrl"), 1u) << step.label;
        const json& c = mirror.seen.front()["ctrl"];
        ASSERT_TRUE(c.contains("splice")) << step.label;
        EXPECT_EQ(c["splice"]["at"], step.at) << step.label;
        EXPECT_EQ(c["splice"]["remove"], step.remove) << step.label;
        EXPECT_EQ(c["splice"]["items"].size(), step.rows) << step.label;
        const auto key = std::make_pair(p, kChannels);
        EXPECT_EQ(mirror.ctrls[key]["items"], items_of(vui::snapshot(), p, kChannels)) << step.label;
    }

    // A value change alone carries no rows; a ticked row that was already ticked sends nothing.
    mirror.seen.clear();
    SetCtrlVal(p, kValue, 9);
    CheckListItem(p, kChannels, 0, 0);
    ui.pump();
    ASSERT_EQ(mirror.count("ctrl"), 1u);
    EXPECT_FALSE(mirror.seen.front()["ctrl"].contains("items"));
    EXPECT_FALSE(mirror.seen.front()["ctrl"].contains("splice"));
}

// A long list goes out as a window of its first rows; the view asks for the rows it shows. Changes that keep
// the rows in place, or add rows at the end, go out as those rows; any other change as a new window.
TEST_F(ViewTest, ALongListGoesOutAWindowAtATimeAndTheRowsTheViewAsksFor)
{
    int p = load_demo();
    Mirror mirror;
    Watching view(mirror);
    ui.pump();
    const auto key = std::make_pair(p, kChannels);
    const auto model_rows = [&](std::size_t from, std::size_t to) {
        return vui::list_rows(p, kChannels, from, to)["items"];
    };
    const auto held = [&](std::size_t from, std::size_t to) {
        json out = json::array();
        for (std::size_t i = from; i < to; ++i) out.push_back(mirror.ctrls[key]["items"][i]);
        return out;
    };

    mirror.seen.clear();
    for (int k = 0; k < 100000; ++k) InsertListItem(p, kChannels, -1, ("Run " + std::to_string(k)).c_str(), k + 10);
    ui.pump();
    ASSERT_EQ(mirror.count("ctrl"), 1u);
    const json& filled = mirror.seen.front()["ctrl"];
    EXPECT_EQ(filled["count"], 100003u);
    ASSERT_TRUE(filled.contains("window"));
    EXPECT_FALSE(filled.contains("items"));
    EXPECT_LE(filled["window"]["items"].size(), 1000u);
    EXPECT_EQ(mirror.ctrls[key]["items"].size(), 100003u);
    EXPECT_EQ(held(0, 100), model_rows(0, 100));
    EXPECT_TRUE(mirror.ctrls[key]["items"][100002].is_null());

    // The view scrolled to the end asks for it; a request is bounded and stops at the last row.
    const json asked = vui::list_rows(p, kChannels, 99950, 200000);
    EXPECT_EQ(asked["at"], 99950u);
    EXPECT_EQ(asked["items"].size(), 53u);
    EXPECT_EQ(asked["items"][52][0], "Run 99999");
    EXPECT_EQ(vui::list_rows(p, kChannels, 0, 200000)["items"].size(), vui::kLongListRows);
    EXPECT_TRUE(vui::list_rows(p, 999, 0, 10).is_null());
    mirror.apply(asked);
    EXPECT_EQ(held(99950, 100003), asked["items"]);

    struct Step {
        const char* label;
        std::function<void()> change;
        bool window;          // else a splice of the rows below
        std::size_t at, rows;
    };
    const Step steps[] = {
        {"a row near the end ticked", [&] { CheckListItem(p, kChannels, 100000, 1); }, false, 100000, 1},
        {"rows added at the end", [&] {
             for (int k = 0; k < 5; ++k) InsertListItem(p, kChannels, -1, "new", 1);
         }, false, 100003, 5},
        {"two rows far apart ticked", [&] {
             CheckListItem(p, kChannels, 1, 1);
             CheckListItem(p, kChannels, 90000, 1);
         }, true, 0, 0},
        {"a row deleted in the middle", [&] { DeleteListItem(p, kChannels, 5000, 1); }, true, 0, 0},
    };
    for (const Step& step : steps) {
        mirror.seen.clear();
        step.change();
        ui.pump();
        ASSERT_EQ(mirror.count("ctrl"), 1u) << step.label;
        const json& c = mirror.seen.front()["ctrl"];
        EXPECT_FALSE(c.contains("items")) << step.label;
        EXPECT_EQ(c.contains("window"), step.window) << step.label;
        if (!step.window) {
            ASSERT_TRUE(c.contains("splice")) << step.label;
            EXPECT_EQ(c["splice"]["at"], step.at) << step.label;
            EXPECT_EQ(c["splice"]["remove"], c["count"].get<std::size_t>() == 100003u ? step.rows : 0u) << step.label;
            EXPECT_EQ(c["splice"]["items"].size(), step.rows) << step.label;
        }
        const std::size_t n = c["count"];
        EXPECT_EQ(mirror.ctrls[key]["items"].size(), n) << step.label;
        EXPECT_EQ(held(n - 8, n), step.window ? json(std::vector<json>(8, nullptr)) : model_rows(n - 8, n)) << step.label;
    }

    // Short again: whole.
    mirror.seen.clear();
    DeleteListItem(p, kChannels, 10, -1);
    ui.pump();
    ASSERT_EQ(mirror.count("ctrl"), 1u);
    EXPECT_EQ(mirror.seen.front()["ctrl"]["items"].size(), 10u);
}

// Changes gathered in a turn keep their place before any message that is not gathered.
TEST_F(ViewTest, GatheredChangesGoOutBeforeTheMessagesThatFollowThem)
{
    int p = load_demo();
    Mirror mirror;
    Watching view(mirror);
    ui.pump();
    mirror.seen.clear();
    InsertListItem(p, kChannels, -1, "Run 1", 11);
    int extra = NewCtrl(p, CTRL_STRING, "EXTRA", 2, 400);
    DiscardCtrl(p, extra);  // gone before the turn ended: never sent
    SetActivePanel(p);
    ASSERT_GE(mirror.seen.size(), 2u);
    EXPECT_EQ(mirror.seen[0]["type"], "ctrl");
    EXPECT_EQ(mirror.seen[0]["ctrl"]["id"], kChannels);
    EXPECT_EQ(mirror.seen.back()["type"], "active");
    for (const auto& m : mirror.seen) EXPECT_FALSE(m["type"] == "ctrl" && m["ctrl"]["id"] == extra);
}

// A menu rebuilt item by item goes out once, as the nodes that changed; the rest of the bar is not sent.
TEST_F(ViewTest, MenuChangesGoOutAsTheNodesThatChanged)
{
    int p = load_demo();
    int bar = LoadMenuBar(p, "demo.uir", MENUBAR);
    Mirror mirror;
    Watching view(mirror);
    ui.pump();
    mirror.seen.clear();

    // As the Window menu is kept: every item removed and added again, one of them checked.
    int window = NewMenu(bar, "Window", -1);
    ui.pump();
    mirror.seen.clear();
    for (int round = 0; round < 3; ++round) {
        std::vector<int> old;
        // Ids come from the model; remove the items the menu holds.
        const json before = vui::snapshot();
        for (const auto& m : before["menubars"])
            if (m["handle"] == bar)
                for (const auto& menu : m["menus"])
                    if (menu["id"] == window)
                        for (const auto& i : menu["items"]) old.push_back(i["id"]);
        mirror.seen.clear();
        for (int id : old) DiscardMenuItem(bar, id);
        int a = NewMenuItem(bar, window, "Strip Chart", -1, 0, nullptr, nullptr);
        NewMenuItem(bar, window, "Alarms", -1, 0, nullptr, nullptr);
        SetMenuBarAttribute(bar, a, ATTR_CHECKED, 1);
        SetMenuBarAttribute(bar, kRecordingItem, ATTR_CHECKED, round % 2);
        ui.pump();
        ASSERT_EQ(mirror.count("menu_delta"), 1u) << round;
        EXPECT_EQ(mirror.count("menubar"), 0u) << round;
        const json& d = mirror.seen.front();
        for (const auto& n : d["nodes"]) EXPECT_NE(n["id"], kFileMenu) << "an unchanged menu is not sent";
        EXPECT_EQ(d["gone"].size(), old.size()) << round;
        // Setting what the bar already shows sends nothing.
        mirror.seen.clear();
        SetMenuBarAttribute(bar, kRecordingItem, ATTR_CHECKED, round % 2);
        ui.pump();
        EXPECT_EQ(mirror.count("menu_delta"), 0u) << round;
        json fresh;
        const json after = vui::snapshot();
        for (const auto& m : after["menubars"])
            if (m["handle"] == bar) fresh = flat_bar(m);
        EXPECT_EQ(mirror.menubars[bar], fresh) << round;
    }
}

// An idle view (no page open) is told nothing; a watching one gets strip blocks as the plotted values.
TEST_F(ViewTest, AnIdleViewCostsNothingAndStripBlocksComeAsValues)
{
    int p = load_demo();
    bool watching = false;
    int changes = 0;
    std::vector<double> got;
    std::vector<int> traces_of;
    // Its lambdas see this test's locals: it ends with the test.
    const int sub = vui::subscribe_view([&](const json&) { ++changes; },
                        [&](const vui::StripAppend& b) {
                            for (std::size_t k = 0; k < b.count; ++k) {
                                got.push_back(b.at(k));
                                traces_of.push_back((b.first_trace + static_cast<int>(k)) % b.traces);
                            }
                        },
                        [&] { return watching; });
    double block[6] = {1, 2, 3, 4, 5, 6};
    SetCtrlVal(p, DEMO_VALUE, 7);
    PlotStripChart(p, DEMO_STRIP, block, 6, 0, 0, VAL_DOUBLE);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(got.empty());

    // A page starts watching with a snapshot, as the browser view's pages do.
    watching = true;
    vui::snapshot();
    SetCtrlVal(p, DEMO_VALUE, 8);
    ui.pump();
    EXPECT_EQ(changes, 1);
    // Every other value from the second on: 2, 4, 6 (the chart has two traces).
    PlotStripChart(p, DEMO_STRIP, block, 3, 1, 1, VAL_DOUBLE);
    EXPECT_EQ(got, (std::vector<double>{2, 4, 6}));
    EXPECT_EQ(traces_of, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(changes, 1) << "strip blocks never go out as JSON to a view that takes values";
    vui::unsubscribe(sub);
}

TEST_F(ViewTest, ViewAnswersAPopupAndPostsUserEvents)
{
    int p = load_demo();
    vui::set_popup_responder(nullptr);  // the view, not the driver, answers here
    std::vector<json> shown;
    int sub = vui::subscribe([&](const json& m) {
        if (m["type"] != "popup") return;
        shown.push_back(m["popup"]);
        int id = m["popup"]["id"];
        // The browser answers from its own thread; the answer arrives as a task.
        std::thread browser([id] {
            vui::post_task([id] { vui::answer_popup(id, vui::PopupAnswer{1, "", false}); });
        });
        browser.join();
    });
    EXPECT_EQ(ConfirmPopup("", "Cannot compare data sets because no data is in the database."), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]["kind"], "confirm");
    EXPECT_EQ(shown[0]["text"], "Cannot compare data sets because no data is in the database.");
    vui::unsubscribe(sub);

    // What the program opens goes to the view as a document message.
    std::vector<std::string> documents;
    const int reader = vui::subscribe([&](const json& m) {
        if (m["type"] == "document") documents.push_back(m["path"]);
    });
    vui::install_document_hook();
    vsys::launch_document("/work/ACTIVITY.TXT");
    ui.pump();
    EXPECT_EQ(documents, (std::vector<std::string>{"/work/ACTIVITY.TXT"}));

    std::thread browser([p] {
        vui::post_task([p] { vui::user::set_value(p, DEMO_NAME, vui::Value::of(std::string("from the browser"))); });
    });
    browser.join();
    ui.pump();
    EXPECT_EQ(ui.text(p, DEMO_NAME), "from the browser");
    EXPECT_EQ(h.calls.size(), 0u);  // control 3 has no callback
    vui::unsubscribe(reader);
}

}  // namespace
}  // namespace uitest
