// The change stream: a view mirrors the model from a snapshot and the changes that follow, and answers popups.
#include <thread>

#include "platform/sys/launch.h"
#include "platform/ui/user_actions.h"
#include "platform/ui/view.h"
#include "tests/ui/demo_fixture.h"

using nlohmann::json;

namespace uitest {
namespace {

using ViewTest = DemoTest;

// The least a view keeps: panels, controls and strip-chart traces by key.
struct Mirror {
    std::map<int, json> panels;
    std::map<std::pair<int, int>, json> ctrls;
    std::map<std::pair<int, int>, std::vector<std::vector<double>>> traces;
    std::map<int, json> menubars;
    std::vector<json> popups;
    std::map<int, json> order;  // children by parent, 0 = top level
    int active = 0;

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
        for (const auto& b : snap["menubars"]) menubars[b["handle"]] = b;
        order[0] = snap["top_level"];
        for (const auto& [h, p] : panels) order[h] = p["children"];
        active = snap["active_panel"];
    }
    void apply(const json& m)
    {
        std::string type = m["type"];
        if (type == "panel") panels[m["panel"]["handle"]] = m["panel"];
        if (type == "panel_gone") panels.erase(m["handle"].get<int>());
        if (type == "ctrl") ctrls[{m["panel"], m["ctrl"]["id"]}] = m["ctrl"];
        if (type == "ctrl_gone") ctrls.erase({m["panel"], m["id"]});
        if (type == "menubar") menubars[m["menubar"]["handle"]] = m["menubar"];
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
};

TEST_F(ViewTest, SnapshotThenChangesReproduceTheModel)
{
    int p = load_demo();
    int bar = LoadMenuBar(p, "demo.uir", 1);
    Mirror mirror;
    // As a view on another thread would: snapshot and subscription in one task.
    vui::post_task([&] {
        mirror.load(vui::snapshot());
        vui::subscribe([&](const json& m) { mirror.apply(m); });
    });
    ui.pump();
    ASSERT_EQ(mirror.panels.count(p), 1u);

    SetCtrlVal(p, 2, 42);
    SetCtrlAttribute(p, 3, ATTR_DIMMED, 1);
    InsertListItem(p, 4, -1, "\033fg00FF00Temperature", 3);
    CheckListItem(p, 4, 3, 1);
    SetPanelAttribute(p, ATTR_TITLE, "System=Etch, POR");
    SetMenuBarAttribute(bar, 4, ATTR_CHECKED, 0);
    int extra = NewCtrl(p, CTRL_STRING, "MAXIMIZE_ID", 2, 782);
    DiscardCtrl(p, 13);
    double block[6] = {1, 2, 3, 4, 5, 6};
    PlotStripChart(p, 8, block, 6, 0, 0, VAL_DOUBLE);
    int child = LoadPanel(p, "demo.uir", 3);
    int other = LoadPanel(p, "demo.uir", 3);
    DisplayPanel(child);
    DisplayPanel(other);
    SetPanelAttribute(child, ATTR_ZPLANE_POSITION, 0);
    int second = LoadPanel(0, "demo.uir", 2);
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
    EXPECT_EQ(mirror.ctrls.count(std::make_pair(p, 13)), 0u);
    EXPECT_EQ(mirror.ctrls.count(std::make_pair(p, extra)), 1u);
    EXPECT_EQ(mirror.ctrls.count(std::make_pair(child, 2)), 1u);
    EXPECT_EQ(mirror.panels[p]["attributes"][std::to_string(ATTR_TITLE)], "System=Etch, POR");
    auto strip = std::make_pair(p, 8);
    EXPECT_EQ(mirror.traces[strip], expected.traces[strip]);
    EXPECT_EQ(mirror.traces[strip][1], (std::vector<double>{2, 4, 6}));
    EXPECT_EQ(mirror.menubars[bar], expected.menubars[bar]);
    EXPECT_EQ(mirror.order[0], fresh["top_level"]);
    EXPECT_EQ(mirror.order[0][0], p);
    EXPECT_EQ(mirror.order[p], (json{child, other}));
    EXPECT_EQ(mirror.active, p);
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
    SetCtrlVal(p, 2, 7);
    PlotStripChart(p, 8, block, 6, 0, 0, VAL_DOUBLE);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(got.empty());

    watching = true;
    SetCtrlVal(p, 2, 8);
    EXPECT_EQ(changes, 1);
    // Every other value from the second on: 2, 4, 6 (the chart has two traces).
    PlotStripChart(p, 8, block, 3, 1, 1, VAL_DOUBLE);
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
        vui::post_task([p] { vui::user::set_value(p, 3, vui::Value::of(std::string("from the browser"))); });
    });
    browser.join();
    ui.pump();
    EXPECT_EQ(ui.text(p, 3), "from the browser");
    EXPECT_EQ(h.calls.size(), 0u);  // control 3 has no callback
    vui::unsubscribe(reader);
}

}  // namespace
}  // namespace uitest
