// End to end: after the default scenario has raised its alarms, charts open from the chart menu and from the alarm list.
#include "panels/alarms.h"
#include "panels/apop.h"
#include "panels/s_chart.h"
#include "programs/wiring.h"
#include "acquisition/main_window.h"
#include "core/shared_buffers.h"
#include "panels/wafers.h"
#include "panels/x_hist.h"
#include "platform/sys/format.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_data.h"
#include "spc/chart_window.h"
#include "testing/chart_identity.h"
#include "tests/acquisition/scenario_schedule.h"
#include "tools/demo_process.h"

#include <string>

namespace {


class SpcChartTest : public acqtest::ChamberTest {
protected:
    void SetUp() override
    {
        ChamberTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        vdemo::DemoSetup setup;
        std::string error;
        ASSERT_TRUE(vdemo::read_demo_setup(std::string(VANTREL_SOURCE_DIR) + "/sim/default_setup.txt", setup, &error))
            << error;
        ASSERT_TRUE(vdemo::seed_demo_process(setup, &error)) << error;
        // The menu bar as start-up builds it for the demo process.
        update_menu();
        ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING));  // real-time testing on
        ASSERT_NO_FATAL_FAILURE(run_chamber(770));
    }
    void TearDown() override
    {
        free_mem();
        por_free_mem();
        ChamberTest::TearDown();
    }
    // The id of the item of that name in a menu or submenu; 0 when none.
    int item_in(int menu, const std::string& name)
    {
        for (const auto& e : ui.menu_items(handle_menu, menu))
            if (e.name == name) return e.id;
        ADD_FAILURE() << "no item " << name << " in menu " << menu;
        return 0;
    }
    int submenu_of(int menu, const std::string& name)
    {
        auto e = ui.menu_item(handle_menu, item_in(menu, name));
        return e ? e->submenu : 0;
    }
    std::string channel_name(int channel)
    {
        char name[33] = "";
        get_put_char(hdbc, 28, channel, 6, name);
        std::string s = name;
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    // Plots of the chart graph of one kind and colour.
    int count_plots(vui::Plot::Kind kind, int colour = -1)
    {
        int n = 0;
        for (const auto& p : ui.plots(spc_panel, SPC_CHART)) {
            auto c = p.attrs.find(ATTR_TRACE_COLOR);
            if (p.kind == kind && (colour < 0 || (c != p.attrs.end() && c->second.as_int() == colour))) ++n;
        }
        return n;
    }
};

TEST_F(SpcChartTest, ChartMenuBatchSelectionChartReadOutCommentAndClose)
{
    // The engineer opens the process again (acquisition left the last wafer's process current).
    LoadSetup();
    // The chart menu holds the four groups ahead of its anchor item.
    std::vector<std::string> groups;
    for (const auto& e : ui.menu_items(handle_menu, MENUBAR_CHARTS)) groups.push_back(e.name);
    ASSERT_EQ(groups, (std::vector<std::string>{"Static Channel Charts", "Step Channel Charts", "Timer Charts",
                                                "Sigma Charts", "SPC Chart List...", "Chart Slideshow", "Batch Comparison..."}));
    const int steps = submenu_of(MENUBAR_CHARTS, "Step Channel Charts");
    const int rf = submenu_of(steps, channel_name(1));
    ASSERT_GT(rf, 0);
    const int item = item_in(rf, "Step 1 Overshoot Maximum");
    ASSERT_TRUE(ui.pick(handle_menu, item));

    // Batch selection, preset with the current process.
    const int dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    EXPECT_EQ(ui.modal_panel(), dialog);
    EXPECT_EQ(ui.ival(dialog, WAFERS_POINTS), 300);
    auto recipes = ui.items(dialog, WAFERS_RECIPE_LIST);
    ASSERT_GE(recipes.size(), 2u);
    EXPECT_FALSE(recipes[0].checked);
    // Preset: the process that recipe_num names now (the last wafer tested, here the precoat process).
    char current[33] = "";
    get_put_char(hdbc, 1, recipe_num, 14, current);
    std::string preset = current;
    while (!preset.empty() && preset.back() == ' ') preset.pop_back();
    for (std::size_t i = 1; i < recipes.size(); ++i) EXPECT_EQ(recipes[i].checked, recipes[i].label == preset);
    // The engineer wants the production wafers of ETCH.
    for (std::size_t i = 1; i < recipes.size(); ++i)
        ASSERT_TRUE(ui.check(dialog, WAFERS_RECIPE_LIST, static_cast<int>(i), recipes[i].label == "ETCH"));
    EXPECT_TRUE(ui.items(dialog, WAFERS_WAFER_LIST)[0].checked);
    EXPECT_GT(ui.items(dialog, WAFERS_TRACE_LIST).size(), 1u);
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    EXPECT_FALSE(ui.panel_exists(dialog));

    // The chart: RF_FWD step 1 maximum with its stored limits (64, 80), so the ringing wafers break rule 1a.
    ASSERT_GT(spc_panel, 0);
    EXPECT_TRUE(ui.panel_visible(spc_panel));
    EXPECT_EQ(shown_chart().type, 1);
    EXPECT_EQ(shown_chart().subtype, 6);
    EXPECT_EQ(shown_chart().step, 1);
    EXPECT_EQ(shown_chart().channel, 1);
    EXPECT_EQ(ui.ival(spc_panel, SPC_CODE), 10160100);
    EXPECT_EQ(ui.title(spc_panel), channel_name(1) + " Step Overshoot Maximum 1");
    const int n = shown_chart().points;
    ASSERT_GE(n, 10);
    EXPECT_EQ(shown_chart().rule_mean, 72);
    EXPECT_DOUBLE_EQ(shown_chart().rule_stdev, 16.0 / 6);
    EXPECT_EQ(count_plots(vui::Plot::Line, 0x00FF00), 3);
    EXPECT_EQ(count_plots(vui::Plot::Line, 0xFF0000), 7);
    EXPECT_EQ(count_plots(vui::Plot::XY), 1);
    EXPECT_GE(rule_breakers, 1);
    EXPECT_EQ(count_plots(vui::Plot::Point), rule_breakers);
    EXPECT_EQ(ui.text(spc_panel, SPC_CP).rfind("Cp = ", 0), 0u);
    EXPECT_EQ(ui.text(spc_panel, SPC_DEFECTS).find("Defects = "), 0u);
    EXPECT_FALSE(ui.plots(spc_panel, SPC_HISTOGRAM).empty());
    EXPECT_EQ(ui.attribute(spc_panel, SPC_CHART, ATTR_CTRL_MODE), VAL_HOT);
    // Window menu: the chart window is the current one.
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_WINDOW_SPC_CHART)->dimmed);

    // The read-out starts at the newest point.
    EXPECT_EQ(ui.ival(spc_panel, SPC_POINT), 0);
    EXPECT_EQ(ui.text(spc_panel, SPC_WAFER), vsys::strprintf("# %d", shown_chart().wafers[0]));
    EXPECT_DOUBLE_EQ(ui.dval(spc_panel, SPC_VALUE), shown_chart().values[0]);
    const std::string trace = ui.text(spc_panel, SPC_TRACE_ID);
    EXPECT_EQ(trace, rows(vsys::strprintf("SELECT RTRIM(TRACE_ID) FROM VT_INFO WHERE RUN_NUM = %d", shown_chart().runs[0])));
    EXPECT_EQ(ui.text(spc_panel, SPC_TIME).size(), 8u);

    // A point that breaks 1a reads so; moving the cursor onto it by hand selects it.
    int breaker = -1;
    for (int i = 0; i < n && breaker < 0; ++i)
        if (shown_chart().values[static_cast<std::size_t>(i)] > 80) breaker = i;
    ASSERT_GE(breaker, 0);
    EXPECT_EQ(ui.modal_panel(), 0);
    ASSERT_TRUE(ui.move_cursor(spc_panel, SPC_CHART, 1, -breaker, shown_chart().values[static_cast<std::size_t>(breaker)]));
    EXPECT_EQ(ui.ival(spc_panel, SPC_POINT), -breaker);
    EXPECT_EQ(ui.text(spc_panel, SPC_RULES).substr(0, 2), "1a");
    // Stepping past the newest point wraps to the oldest.
    ASSERT_TRUE(ui.set(spc_panel, SPC_POINT, 1));
    EXPECT_EQ(ui.ival(spc_panel, SPC_POINT), 1 - n);

    // A comment reaches every run of the trace id, quotes and all, cut to 64 characters.
    ASSERT_TRUE(ui.set(spc_panel, SPC_POINT, 0));
    const std::string comment = "Engineer's note: " + std::string(60, 'x');
    ASSERT_TRUE(ui.set(spc_panel, SPC_COMMENT, comment));
    EXPECT_EQ(rows(vsys::strprintf("SELECT RTRIM(COMMENT) FROM VT_INFO WHERE TRACE_ID = '%s'", trace.c_str())),
              comment.substr(0, 64));

    // The natural limits hide and the value axis fits what is left.
    ASSERT_TRUE(ui.press(spc_panel, SPC_NATURAL));
    int hidden = 0;
    for (const auto& p : ui.plots(spc_panel, SPC_CHART))
        if (p.kind == vui::Plot::Line && !p.visible()) ++hidden;
    EXPECT_EQ(hidden, 3);

    // Closing with unchanged settings writes nothing and leaves no window.
    const std::string before = rows("SELECT POINTS, RULES, LIMITS FROM 0003ACTC WHERE CHANNEL = 1 AND CHART_TYPE = 1 "
                                    "AND DATA_PARAM = 6 AND D_INDEX = 1");
    ASSERT_TRUE(ui.press(spc_panel, SPC_CLOSE));
    EXPECT_EQ(spc_panel, -1);
    EXPECT_TRUE(ui.menu_item(handle_menu, MENUBAR_WINDOW_SPC_CHART)->dimmed);
    EXPECT_EQ(shown_chart().points, 0);
    EXPECT_EQ(rows("SELECT POINTS, RULES, LIMITS FROM 0003ACTC WHERE CHANNEL = 1 AND CHART_TYPE = 1 AND DATA_PARAM = 6 "
                   "AND D_INDEX = 1"),
              before);
}

TEST_F(SpcChartTest, AlarmListViewChartOpensTheAlarmsChart)
{
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_ALARMS_ALARM_LIST));
    int popup = ui.find_panel("APOP");
    ASSERT_GT(popup, 0);
    ASSERT_TRUE(ui.set(popup, APOP_COUNT, 20));
    ASSERT_TRUE(ui.press(popup, APOP_LIST));
    ASSERT_GT(list_panel, 0);
    // The newest alarm is selected; View Chart opens its chart over the alarm's trace and the ones before it.
    ASSERT_TRUE(ui.press(list_panel, REVIEW_VIEW));
    ASSERT_GT(spc_panel, 0);
    const int code = ui.ival(spc_panel, SPC_CODE);
    EXPECT_EQ(code, selected_alarm_code / 100 * 100);
    EXPECT_GE(lot_restrictions, 1);
    EXPECT_GT(shown_chart().points, 0);
    EXPECT_EQ(count_plots(vui::Plot::XY), 1);
    ASSERT_TRUE(ui.press(spc_panel, SPC_CLOSE));
    EXPECT_EQ(spc_panel, -1);
}

TEST_F(SpcChartTest, AChartWithoutDataSaysSoAndLeavesNoWindow)
{
    const int statics = submenu_of(MENUBAR_CHARTS, "Static Channel Charts");
    const int oes = submenu_of(statics, channel_name(7));
    ASSERT_TRUE(ui.pick(handle_menu, item_in(oes, "Mean")));
    const int dialog = ui.find_panel("WAFERS");
    ASSERT_GT(dialog, 0);
    // Only wafers above 900: none.
    ASSERT_TRUE(ui.check(dialog, WAFERS_WAFER_LIST, 0, false));
    ASSERT_TRUE(ui.check(dialog, WAFERS_WAFER_LIST, 14, true));  // Trigger Number 100
    ui.answer(1);
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    EXPECT_EQ(spc_panel, -1);
    ASSERT_FALSE(ui.popups().empty());
    EXPECT_EQ(ui.popups().back().text, "No data found for this chart.");
    EXPECT_EQ(ui.popups().back().title, channel_name(7) + " Mean");
    EXPECT_EQ(wafer_restrictions, 0);
}

}  // namespace
