// The chart list, its dialogs, popups and trees, the slideshow and rule alarms, driven as a user on the wired program.
#include "core/config_store.h"
#include "core/long_command.h"
#include "core/module_services.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "panels/alarms.h"
#include "panels/apop.h"
#include "panels/compare.h"
#include "panels/s_chart.h"
#include "panels/spc_list.h"
#include "panels/wafers.h"
#include "panels/x_hist.h"
#include "platform/sys/fault_plan.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/ui/status_line.h"
#include "programs/wiring.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_data.h"
#include "spc/chart_list.h"
#include "spc/chart_window.h"
#include "spc/decision_tree.h"
#include "spc/limit_table.h"
#include "spc/ooc_alarms.h"
#include "spc/rule_dialogs.h"
#include "spc/slideshow.h"
#include "testing/chart_code.h"
#include "platform/sql/dbf_table.h"
#include "tests/acquisition/acq_fixture.h"

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kRed = "\033fgFF0000";

struct Ctrl {
    int id = 0;
    std::string label;
};

// The controls of one style of a panel built in code, in creation order.
std::vector<Ctrl> controls_of(int panel, int style)
{
    std::vector<Ctrl> out;
    int c = 0;
    GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, &c);
    while (c > 0) {
        int s = 0;
        GetCtrlAttribute(panel, c, ATTR_CTRL_STYLE, &s);
        std::string label;
        GetCtrlAttribute(panel, c, ATTR_LABEL_TEXT, &label);
        if (s == style) out.push_back({c, label});
        int next = 0;
        GetCtrlAttribute(panel, c, ATTR_NEXT_CTRL, &next);
        c = next;
    }
    return out;
}

int control_labelled(int panel, int style, const std::string& label)
{
    for (const Ctrl& c : controls_of(panel, style))
        if (c.label == label) return c.id;
    ADD_FAILURE() << "no control \"" << label << "\"";
    return 0;
}

class ChartList : public acqtest::AcqTest {
protected:
    void SetUp() override
    {
        AcqTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        ASSERT_EQ(create_other_table(&hdbc, 2), 0);
        // Channel 2 and 3 statistics, channel 5 a step channel of two steps, timers 1 and 4; channel 4 off.
        channels = 5;
        VantrelChannelStatusBits = 0x2 | 0x4 | 0x10;
        for (int c = 0; c <= 32; ++c) channel_type[c] = 0;
        channel_type[5] = 1;
        timer_status_bit = 0x1 | 0x8;
        get_put_number(26, 5, NUMB_WRITE, 2.0);
        char name[33] = "CH5";
        get_put_char(hdbc, 28, 5, TAGS_WRITE, name);
        std::snprintf(name, sizeof name, "%s", "GAS");
        get_put_char(hdbc, 29, 1, TAGS_WRITE, name);
        limits(4, 0, 3, 0, 0.0, 0.0, 2.0);
        for (int run = 1; run <= 40; ++run) {
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, "
                                                       "SYSTEM_ID, SAV_DATE, SAV_TIME) VALUES (%d, 1, 'ETCH', 'LOT%d', "
                                                       "'TOOL_A', '2026/02/03', '04:05:06')",
                                                       run, run)),
                      0);
            const double value = run == 30 ? 20.0 : 10.0 + ((run * 37) % 11 - 5) * 0.01;
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_02 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, "
                                                       "%.9f)",
                                                       run, value)),
                      0);
        }
        update_menu();
    }
    void TearDown() override
    {
        for (int* h : {&spc_panel, &spc_chart_selections})
            if (*h > 0) DiscardPanel(*h);
        spc_panel = spc_chart_selections = -1;
        free_mem();
        AcqTest::TearDown();
    }
    void limits(int type, int sub, int channel, int step, double lcl, double target, double ucl)
    {
        double l[3] = {lcl, target, ucl};
        step_specs(LIMITS_WRITE, static_cast<short>(type), static_cast<short>(sub), static_cast<short>(channel),
                   static_cast<short>(step), l);
    }
    void store_row(int channel, int type, int sub, int step, int rules, short limits_mode, const char* trees,
                   const char* text)
    {
        short ch = static_cast<short>(channel), t = static_cast<short>(type), s = static_cast<short>(sub),
              i = static_cast<short>(step);
        int points = 300, pager = 5, halt = 1;
        char tr[105] = "", tx[255] = "";
        std::snprintf(tr, sizeof tr, "%s", trees);
        std::snprintf(tx, sizeof tx, "%s", text);
        chart_preferences(CHART_WRITE, &ch, &t, &s, &i, &points, &pager, &rules, &limits_mode, tr, tx, &halt);
    }
    std::string row_of(int channel, int type, int sub, int step)
    {
        return rows(vsys::strprintf("SELECT POINTS, PAGER, RULES, LIMITS, RTRIM(D_TREE), RTRIM(P_TEXT), HALT FROM "
                                    "0003ACTC WHERE CHANNEL = %d AND CHART_TYPE = %d AND DATA_PARAM = %d AND D_INDEX = %d",
                                    channel, type, sub, step));
    }
    std::string rows(const std::string& sql) { return vtest::flat(vtest::query(hdbc, sql).rows); }
    void open_list()
    {
        ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_SPC_CHART_LIST));
        ASSERT_GT(spc_chart_selections, 0);
    }
    int index_of(int code)
    {
        const auto items = ui.items(spc_chart_selections, SPC_LIST_CHARTS);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const int v = static_cast<int>(items[i].value.as_int());
            if (v == code || v == -code) return static_cast<int>(i);
        }
        ADD_FAILURE() << "no item of code " << code;
        return -1;
    }
    std::string label_of(int code) { return ui.items(spc_chart_selections, SPC_LIST_CHARTS)[index_of(code)].label; }
    int value_of(int code)
    {
        return static_cast<int>(ui.items(spc_chart_selections, SPC_LIST_CHARTS)[index_of(code)].value.as_int());
    }
    void double_click_item(int code)
    {
        ASSERT_TRUE(ui.select(spc_chart_selections, SPC_LIST_CHARTS, index_of(code)));
        ASSERT_TRUE(ui.double_click(spc_chart_selections, SPC_LIST_CHARTS, 30, 5));
    }
    // Views CH2 Mean from the list through the batch selection.
    void view_mean_chart()
    {
        if (spc_chart_selections <= 0) open_list();
        ASSERT_TRUE(ui.select(spc_chart_selections, SPC_LIST_CHARTS, index_of(chart_code(2, 0, 1, 0))));
        ASSERT_TRUE(ui.press(spc_chart_selections, SPC_LIST_VIEW));
        const int selection = ui.find_panel("WAFERS");
        ASSERT_GT(selection, 0);
        ASSERT_TRUE(ui.press(selection, WAFERS_OK));
        ASSERT_GT(spc_panel, 0);
    }
    vtest::SimulatedClock clock;
};

TEST_F(ChartList, ListsTheFourGroupsInOrderWithCodesAndNames)
{
    char name[33] = "";
    limits(4, 0, 2, 0, 0.0, 0.0, 0.000001);  // exactly the floor: no sigma item
    limits(4, 0, 4, 0, 0.0, 0.0, 5.0);       // channel 4 is off: nothing at all
    channel_type[3] = 21;
    std::snprintf(name, sizeof name, "%s", "TC");
    get_put_char(hdbc, 28, 3, TAGS_WRITE, name);
    open_list();
    EXPECT_EQ(ui.title(spc_chart_selections), "SPC Chart List");
    std::vector<std::string> labels;
    std::vector<int> values;
    for (const auto& item : ui.items(spc_chart_selections, SPC_LIST_CHARTS)) {
        labels.push_back(item.label);
        values.push_back(static_cast<int>(item.value.as_int()));
    }
    std::vector<std::string> expected_labels = {"CH2 Mean", "CH2 Standard Deviation", "CH2 Minimum", "CH2 Maximum",
                                                "TC Mean",  "TC Standard Deviation",  "TC Minimum",  "TC Maximum"};
    std::vector<int> expected_values = {-20010000, -20020000, -20030000, -20040000,
                                        -32110000, -32120000, -32130000, -32140000};
    const char* metrics[] = {"Overshoot Area", "Undershoot Area", "Stability Time", "Decay Constant",
                             "Undershoot Minimum", "Overshoot Maximum"};
    const int subs[] = {0, 1, 2, 3, 5, 6};
    for (int step = 1; step <= 2; ++step)
        for (int k = 0; k < 6; ++k) {
            expected_labels.push_back(vsys::strprintf("CH5 %s Step %d", metrics[k], step));
            expected_values.push_back(-chart_code(5, 1, subs[k], step));
        }
    expected_labels.insert(expected_labels.end(), {"TC Sigma Vector", "GAS (Timer)", "T4 (Timer)"});
    expected_values.insert(expected_values.end(), {-30400000, -10500000, -40500000});
    EXPECT_EQ(labels, expected_labels);
    EXPECT_EQ(values, expected_values);
    EXPECT_EQ(values[8], -50100100);
    EXPECT_FALSE(chart_list_in_check_mode());
    // The ring offers the processes with the current one chosen.
    EXPECT_EQ(ui.ival(spc_chart_selections, SPC_LIST_PROCESS), 3);
}

TEST_F(ChartList, DoubleClickActivatesAndDeactivatesThroughTheCatalogue)
{
    limits(0, 1, 2, 0, 4.0, 7.0, 10.0);
    store_row(2, 0, 2, 0, 3, 0, "", "");  // standard deviation already activated
    open_list();
    const int mean = chart_code(2, 0, 1, 0), deviation = chart_code(2, 0, 2, 0), minimum = chart_code(2, 0, 3, 0);
    EXPECT_EQ(label_of(deviation), std::string(kRed) + "CH2 Standard Deviation");
    EXPECT_EQ(value_of(deviation), deviation);

    double_click_item(mean);
    EXPECT_EQ(label_of(mean), std::string(kRed) + "CH2 Mean");
    EXPECT_EQ(value_of(mean), -mean);  // the value stays as built
    EXPECT_EQ(row_of(2, 0, 1, 0), "300|0|3|0|eMpTy tExT|eMpTy tExT|0");

    double_click_item(mean);
    EXPECT_EQ(label_of(mean), "CH2 Mean");
    EXPECT_EQ(row_of(2, 0, 1, 0), "");

    // Without control limits: the notice, and nothing changes.
    ui.answer(1);
    double_click_item(minimum);
    ASSERT_FALSE(ui.popups().empty());
    EXPECT_EQ(ui.popups().back().title, "Notice");
    EXPECT_NE(ui.popups().back().text.find("Specification Limits have not been specified"), std::string::npos);
    EXPECT_EQ(label_of(minimum), "CH2 Minimum");
    EXPECT_EQ(row_of(2, 0, 3, 0), "");

    // A double click at or beyond the list's width does nothing.
    ASSERT_TRUE(ui.select(spc_chart_selections, SPC_LIST_CHARTS, index_of(mean)));
    const int width = ui.attribute(spc_chart_selections, SPC_LIST_CHARTS, ATTR_WIDTH);
    ASSERT_TRUE(ui.double_click(spc_chart_selections, SPC_LIST_CHARTS, width, 5));
    EXPECT_EQ(label_of(mean), "CH2 Mean");

    // Done compacts the catalogue and closes the list.
    ASSERT_TRUE(ui.press(spc_chart_selections, SPC_LIST_DONE));
    EXPECT_EQ(spc_chart_selections, -1);
    EXPECT_EQ(rows("SELECT CHANNEL, DATA_PARAM FROM 0003ACTC"), "2|2");
}

TEST_F(ChartList, TheChartButtonsOfThePanelsOpenTheList)
{
    for (auto* button : {dual_spc_charts, spc_charts}) {
        // Neither callback looks at which button called it.
        ASSERT_EQ(button(parent_panel, COMPARE_CHARTS, EVENT_COMMIT, nullptr, 0, 0), 0);
        ASSERT_GT(spc_chart_selections, 0);
        EXPECT_TRUE(ui.panel_visible(spc_chart_selections));
        if (button == spc_charts) {
            ASSERT_TRUE(ui.key(spc_chart_selections, VAL_ESC_VKEY));  // Esc is Done
        } else {
            ASSERT_TRUE(ui.close(spc_chart_selections));  // so is the close box
        }
        EXPECT_EQ(spc_chart_selections, -1);
    }
    EXPECT_TRUE(ui.popups().empty());  // no part is reported missing any more
}

TEST_F(ChartList, AnotherProcessIsListedWithItsNamesAndDoneGivesTheCurrentOneBack)
{
    // Process 4 has only channel 1, named FLOW.
    char name[33] = "ASH";
    get_put_char(hdbc, 1, 4, CONFIG_WRITE, name);
    char current[33] = "3";
    get_put_char(hdbc, 0, 5, CONFIG_WRITE, current);
    recipe_num = 4;
    const std::uint32_t bits = VantrelChannelStatusBits;
    const int timers = timer_status_bit;
    VantrelChannelStatusBits = 0x1;
    timer_status_bit = 0;
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, SAVE_TIMER_GROUP, 0.0);
    std::snprintf(name, sizeof name, "%s", "FLOW");
    get_put_char(hdbc, 28, 1, TAGS_WRITE, name);
    recipe_num = 3;
    VantrelChannelStatusBits = bits;
    timer_status_bit = timers;
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, SAVE_TIMER_GROUP, 0.0);

    open_list();
    ASSERT_TRUE(ui.set(spc_chart_selections, SPC_LIST_PROCESS, 4));
    EXPECT_EQ(recipe_num, 4);
    EXPECT_EQ(ui.plain_items(spc_chart_selections, SPC_LIST_CHARTS),
              (std::vector<std::string>{"FLOW Mean", "FLOW Standard Deviation", "FLOW Minimum", "FLOW Maximum"}));
    ASSERT_TRUE(ui.press(spc_chart_selections, SPC_LIST_DONE));
    EXPECT_EQ(recipe_num, 3);
    EXPECT_EQ(VantrelChannelStatusBits, bits);
}

TEST_F(ChartList, AProcessTheDefaultListingLeavesOutIsStillTheOneListed)
{
    // Process 2 is write-protected: the ring must still hold it, or the list would show another process.
    char name[33] = "FACTORY";
    get_put_char(hdbc, 1, 2, CONFIG_WRITE, name);
    recipe_num = 2;
    open_list();
    EXPECT_EQ(ui.ival(spc_chart_selections, SPC_LIST_PROCESS), 2);
    EXPECT_EQ(recipe_num, 2);
    EXPECT_EQ(chart_list_process(), 2);
}

TEST_F(ChartList, ComparisonModeNeedsBatchesAndShowsCheckBoxes)
{
    compare_panel = NewPanel(parent_panel, "Comparison", 0, 0, 100, 100);
    wafer_restrictions = lot_restrictions = recipe_restrictions = system_restrictions = 0;
    por_wafer_restrictions = por_lot_restrictions = por_recipe_restrictions = por_system_restrictions = 0;
    ui.answer(1);
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_SPC_CHART_LIST));
    EXPECT_EQ(spc_chart_selections, -1);
    EXPECT_EQ(ui.popups().back().text,
              "Cannot select SPC charts until Process of Record (POR) and TEST batches have been defined.");

    por_lot_restrictions = 1;
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_SPC_CHART_LIST));
    ASSERT_GT(spc_chart_selections, 0);
    EXPECT_TRUE(chart_list_in_check_mode());
    ASSERT_TRUE(ui.check(spc_chart_selections, SPC_LIST_CHARTS, index_of(chart_code(2, 0, 4, 0))));
    const auto ticked = checked_charts();
    ASSERT_EQ(ticked.size(), 1u);
    EXPECT_EQ(ticked[0].code, 20040000);
    EXPECT_EQ(ticked[0].label, "CH2 Maximum");
    EXPECT_EQ(ticked[0].subtype, 4);
    // Done hides the list and keeps its ticks for the comparison.
    ASSERT_TRUE(ui.press(spc_chart_selections, SPC_LIST_DONE));
    EXPECT_GT(spc_chart_selections, 0);
    EXPECT_FALSE(ui.panel_visible(spc_chart_selections));
    EXPECT_EQ(checked_charts().size(), 1u);
    DiscardPanel(compare_panel);
    compare_panel = -1;
    por_lot_restrictions = 0;
}

TEST_F(ChartList, ViewOpensTheBatchSelectionForTheProcessAndTheChart)
{
    limits(1, 4, 5, 1, 0.0, 0.0, 0.0);
    view_mean_chart();
    EXPECT_EQ(recipe_restrictions, 1);
    EXPECT_EQ(recipe_select, (std::vector<std::string>{"ETCH"}));
    EXPECT_EQ(ui.ival(spc_panel, SPC_CODE), 20010000);
    EXPECT_EQ(shown_chart().points, 40);
}

TEST_F(ChartList, RuleSelectionRewritesOnlyTheRules)
{
    store_row(2, 0, 1, 0, 0x3, 1, "TREE0   TREE1", "Check the MFC");
    view_mean_chart();
    ui.answer(1);  // the exclusion's FYI
    ASSERT_TRUE(ui.press(spc_panel, SPC_EXCLUDE));
    ASSERT_EQ(ui.ival(spc_panel, SPC_EXCLUDE), 1);
    ASSERT_TRUE(ui.press(spc_panel, SPC_RULES_BUTTON));
    const int dialog = ui.modal_panel();
    ASSERT_GT(dialog, 0);
    EXPECT_EQ(ui.title(dialog), "SPC Rule Selection: CH2 Mean");
    const auto boxes = controls_of(dialog, CTRL_CHECK_BOX);
    ASSERT_EQ(boxes.size(), 13u);
    EXPECT_EQ(ui.text(dialog, controls_of(dialog, CTRL_TEXT_MSG).at(13).id), "Status");
    for (int k = 0; k < 13; ++k) EXPECT_EQ(ui.ival(dialog, boxes[static_cast<std::size_t>(k)].id), k < 2 ? 1 : 0);
    ASSERT_TRUE(ui.set(dialog, boxes[0].id, 0));
    ASSERT_TRUE(ui.set(dialog, boxes[2].id, 1));
    ASSERT_TRUE(ui.set(dialog, boxes[7].id, 1));
    ui.answer(1);  // rule breakers are taken back in
    ASSERT_TRUE(ui.press(dialog, control_labelled(dialog, CTRL_COMMAND_BUTTON, "Ok    ")));
    EXPECT_FALSE(ui.panel_exists(dialog));
    EXPECT_EQ(ui.ival(spc_panel, SPC_EXCLUDE), 0);
    EXPECT_EQ(ui.popups().back().text, "Rule breakers are now included in the \nmean and standard deviation calculations.");
    EXPECT_EQ(shown_chart().rules, (1 << 1) | (1 << 2) | (1 << 7));
    EXPECT_EQ(row_of(2, 0, 1, 0), "300|5|134|1|TREE0   TREE1|Check the MFC|1");

    // A chart without row opens with 1a and 1b; Cancel drops pending changes and stores nothing.
    ASSERT_TRUE(ui.press(spc_panel, SPC_CLOSE));
    vtest::run(hdbc, "DELETE FROM 0003ACTC");
    view_mean_chart();
    ASSERT_TRUE(ui.press(spc_panel, SPC_RULES_BUTTON));
    const int again = ui.modal_panel();
    const auto fresh = controls_of(again, CTRL_CHECK_BOX);
    for (int k = 0; k < 13; ++k) EXPECT_EQ(ui.ival(again, fresh[static_cast<std::size_t>(k)].id), k < 2 ? 1 : 0);
    ASSERT_TRUE(ui.press(again, control_labelled(again, CTRL_COMMAND_BUTTON, "Cancel")));
    EXPECT_FALSE(ui.panel_exists(again));
    EXPECT_EQ(row_of(2, 0, 1, 0), "");
}

struct LimitCase {
    int channel, type, sub, step;
    const char* title_part;
};

TEST_F(ChartList, EditLimitsStoresTheLimitsForEveryChartTypeAndMarksTheListItem)
{
    open_list();
    const LimitCase cases[] = {{2, 0, 1, 0, "Mean"}, {5, 1, 0, 2, "Overshoot"}, {3, 4, 0, 0, "Sigma"}, {4, 5, 0, 0, ""}};
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.type);
        shown_chart().process = recipe_num;
        shown_chart().channel = static_cast<short>(c.channel);
        shown_chart().type = static_cast<short>(c.type);
        shown_chart().subtype = static_cast<short>(c.sub);
        shown_chart().step = static_cast<short>(c.step);
        shown_chart().points = 300;
        shown_chart().data_mean = 10.0;
        shown_chart().data_stdev = 0.5;
        Flags &= static_cast<std::uint8_t>(~FLAG_PENDING_CHANGES);
        ASSERT_EQ(adjust_spec(-1, SPC_LIMITS_BUTTON, EVENT_COMMIT, nullptr, 0, 0), 0);  // as the window's Limits button
        const int dialog = ui.modal_panel();
        ASSERT_GT(dialog, 0);
        EXPECT_EQ(ui.title(dialog), "Edit Limits");
        const auto fields = controls_of(dialog, CTRL_NUMERIC);
        ASSERT_EQ(fields.size(), 3u);
        const int the_switch = controls_of(dialog, CTRL_BINARY_SWITCH).at(0).id;
        EXPECT_EQ(ui.ival(dialog, the_switch), 1);
        EXPECT_EQ(ui.visible(dialog, fields[1].id), c.type != 4);
        EXPECT_EQ(ui.visible(dialog, fields[2].id), c.type != 4);
        std::vector<std::string> readouts;
        for (const Ctrl& t : controls_of(dialog, CTRL_TEXT_MSG)) readouts.push_back(ui.text(dialog, t.id));
        EXPECT_EQ(readouts, (std::vector<std::string>{"Process Mean + 3 sigma", "11.500", "Process Mean", "10.000",
                                                      "Process Mean - 3 sigma", "8.500"}));
        ASSERT_TRUE(ui.set(dialog, fields[0].id, 12.0));
        EXPECT_EQ(ui.ival(dialog, the_switch), 0);  // a limit change chooses specification limits
        if (c.type != 4) {
            // Not centred: refused, and the target is put in the middle.
            ASSERT_TRUE(ui.set(dialog, fields[1].id, 6.0));
            ASSERT_TRUE(ui.set(dialog, fields[2].id, 4.0));
            ui.answer(1);
            ASSERT_TRUE(ui.press(dialog, control_labelled(dialog, CTRL_COMMAND_BUTTON, "OK")));
            ASSERT_TRUE(ui.panel_exists(dialog));
            EXPECT_EQ(ui.popups().back().text, "The Specification Limits must be centered about the Target and the "
                                               "Upper Limit must be greater than the Lower Limit.");
            EXPECT_DOUBLE_EQ(ui.dval(dialog, fields[1].id), 8.0);
        }
        ASSERT_TRUE(ui.press(dialog, control_labelled(dialog, CTRL_COMMAND_BUTTON, "OK")));
        EXPECT_FALSE(ui.panel_exists(dialog));
        double stored[3] = {-1, -1, -1};
        EXPECT_EQ(step_specs(LIMITS_READ, shown_chart().type, shown_chart().subtype, shown_chart().channel, shown_chart().step, stored), 1);
        EXPECT_DOUBLE_EQ(stored[2], 12.0);
        EXPECT_DOUBLE_EQ(stored[0], c.type == 4 ? 0.0 : 4.0);
        EXPECT_DOUBLE_EQ(stored[1], c.type == 4 ? 0.0 : 8.0);
        // A chart without row is stored with the defaults (the sigma vector's tree "s_vector").
        EXPECT_EQ(row_of(c.channel, c.type, c.sub, c.step),
                  c.type == 4 ? "300|0|1|0|s_vector|eMpTy tExT|0" : "300|0|3|0|eMpTy tExT|eMpTy tExT|0");
        const int code = chart_code(c.channel, c.type, c.sub, c.step);
        EXPECT_EQ(label_of(code).rfind(kRed, 0), 0u);
        EXPECT_EQ(value_of(code), code);
    }
}

TEST_F(ChartList, EditLimitsOutsideEditModeAndBackToNaturalLimits)
{
    limits(0, 1, 2, 0, 4.0, 7.0, 10.0);
    store_row(2, 0, 1, 0, 3, 0, "T", "text");
    view_mean_chart();
    ASSERT_EQ(shown_chart().natural, 0);
    EXPECT_DOUBLE_EQ(shown_chart().rule_mean, 7.0);
    ASSERT_TRUE(ui.press(spc_panel, SPC_LIMITS_BUTTON));
    const int dialog = ui.modal_panel();
    const int ok = control_labelled(dialog, CTRL_COMMAND_BUTTON, "OK");
    Flags &= static_cast<std::uint8_t>(~FLAG_PENDING_CHANGES);
    ASSERT_TRUE(ui.press(dialog, ok));  // not in edit mode: nothing happens
    EXPECT_TRUE(ui.panel_exists(dialog));
    const int the_switch = controls_of(dialog, CTRL_BINARY_SWITCH).at(0).id;
    ASSERT_TRUE(ui.set(dialog, the_switch, 1));
    ASSERT_TRUE(ui.press(dialog, ok));
    EXPECT_FALSE(ui.panel_exists(dialog));
    EXPECT_EQ(shown_chart().natural, 1);
    EXPECT_DOUBLE_EQ(shown_chart().rule_mean, shown_chart().data_mean);
    EXPECT_EQ(row_of(2, 0, 1, 0), "300|5|3|1|T|text|1");
}

TEST_F(ChartList, CustomSelectionAddsAConditionToTheBatchSelection)
{
    open_list();
    ASSERT_TRUE(ui.select(spc_chart_selections, SPC_LIST_CHARTS, index_of(chart_code(2, 0, 1, 0))));
    ASSERT_TRUE(ui.press(spc_chart_selections, SPC_LIST_VIEW));
    const int selection = ui.find_panel("WAFERS");
    ASSERT_GT(selection, 0);
    ASSERT_TRUE(ui.press(selection, WAFERS_CUSTOM));
    const int dialog = ui.modal_panel();
    ASSERT_NE(dialog, selection);
    EXPECT_EQ(ui.title(dialog), "Custom Selection");
    const int ring = controls_of(dialog, CTRL_RING).at(0).id;
    const int number = controls_of(dialog, CTRL_NUMERIC).at(0).id;
    EXPECT_EQ(ui.plain_items(dialog, ring),
              (std::vector<std::string>{"Trigger Numbers < ", "Trigger Numbers = ", "Trigger Numbers > "}));
    EXPECT_EQ(ui.ival(dialog, number), 11);
    ASSERT_TRUE(ui.set(dialog, ring, 1));
    ASSERT_TRUE(ui.set(dialog, ring, -1));
    ASSERT_TRUE(ui.set(dialog, number, 5));
    ASSERT_TRUE(ui.press(dialog, control_labelled(dialog, CTRL_COMMAND_BUTTON, "OK")));
    const auto items = ui.items(selection, WAFERS_WAFER_LIST);
    EXPECT_EQ(items.back().label, "Trigger Numbers < 5");
    EXPECT_TRUE(items.back().checked);
    EXPECT_FALSE(items.front().checked);
    ASSERT_TRUE(ui.press(selection, WAFERS_OK));
    EXPECT_EQ(wafer_select, (std::vector<int>{5}));
    EXPECT_EQ(wafer_logic, (std::vector<int>{-1}));
    EXPECT_EQ(shown_chart().points, 40);
}

TEST_F(ChartList, OutOfControlPopupOnItsOwnChart)
{
    store_row(3, 0, 2, 0, 3, 0, "", "Call the engineer   ");
    view_mean_chart();
    const int rules_before = shown_chart().rules;
    ui.answer(1);
    spc_error_popup(3, 0, 2, 0, 2);
    ASSERT_FALSE(ui.popups().empty());
    EXPECT_EQ(ui.popups().back().title, "Out of control data!!!");
    EXPECT_EQ(ui.popups().back().text, std::string("CH3 Std Dev was found to be out of control because ") +
                                           rule_sentence(2) + ".\n\nCall the engineer");
    ui.answer(1);
    spc_error_popup(2, 0, 3, 0, 0);  // no row: no operator text
    EXPECT_EQ(ui.popups().back().text,
              std::string("CH2 Minimum was found to be out of control because ") + rule_sentence(0) + ".\n\n");
    // The chart window keeps its own chart.
    EXPECT_EQ(shown_chart().channel, 2);
    EXPECT_EQ(shown_chart().subtype, 1);
    EXPECT_EQ(shown_chart().rules, rules_before);
}

TEST_F(ChartList, DecisionTreesOpenFromTheTreesFolderAndUnsafeNamesAreRefused)
{
    ASSERT_TRUE(vsys::make_directory(dir.file("TREES")));
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir.file("TREES/" + name)) << text;
    };
    write("ETCH1.TXT", "Check the gas line.\n");
    write("ETCH1.AVF", "viewer");
    write("s_vector.TXT", "sigma\n");
    store_row(2, 0, 1, 0, 3, 0, "        ETCH1   AB CD", "");
    spc_start_tree(2, 0, 1, 0, 1);
    ASSERT_EQ(ui.documents().size(), 1u);  // no viewer program: the text opens
    EXPECT_EQ(ui.documents().back(), dir.file("TREES/ETCH1.TXT"));
    write("CLRVIEW.EXE", "");
    spc_start_tree(2, 0, 1, 0, 1);
    EXPECT_EQ(ui.documents().back(), dir.file("TREES/ETCH1.AVF"));
    spc_start_tree(2, 0, 1, 0, 2);  // "AB": no such tree
    spc_start_tree(2, 0, 1, 0, 0);  // blank field
    EXPECT_EQ(ui.documents().size(), 2u);
    spc_start_tree(3, 4, 0, 0, 0);  // a sigma-vector chart without row has "s_vector"
    EXPECT_EQ(ui.documents().back(), dir.file("TREES/s_vector.TXT"));
    EXPECT_EQ(decision_tree_name((std::string(96, 'x') + "LAST").c_str(), 12), "LAST");  // the last 8 of 104
    EXPECT_EQ(decision_tree_name("ETCH1", 1), "");  // shorter than the field's start
    for (const char* bad : {"../ETCH1", "TREES/ETCH1", "..", "a\\b", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(launch_decision_tree(bad), "");
    }
    EXPECT_EQ(ui.documents().size(), 3u);
    // A program of its own runs with no arguments and no shell.
    const std::string marker = dir.file("ran.txt");
    write("FIX.EXE", "#!/bin/sh\necho \"$#\" > '" + marker + "'\n");
    std::filesystem::permissions(dir.file("TREES/FIX.EXE"), std::filesystem::perms::owner_all);
    EXPECT_EQ(launch_decision_tree("FIX"), dir.file("TREES/FIX.EXE"));
    // The program writes its line after creating the file: wait for the line, not for the file.
    auto written = [&] {
        std::error_code ec;
        return std::filesystem::file_size(marker, ec) > 0 && !ec;
    };
    // Generous: the bound only ends a failed test; a loaded machine may start the program late.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!written() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(marker);
    std::string args;
    std::getline(in, args);
    EXPECT_EQ(args, "0");
}

TEST_F(ChartList, AlarmWindowExplainsAndStartsTheTree)
{
    ASSERT_TRUE(vsys::make_directory(dir.file("TREES")));
    std::ofstream(dir.file("TREES/MFC.TXT")) << "Check the MFC.\n";
    store_row(2, 0, 1, 0, 0x1FFF, 0, "                MFC", "Call process engineering");
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO OOC_ALRM VALUES (30, 1, 2, 0, 1, 0, 2, 0)"), 0);
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_ALARMS_ALARM_LIST));
    const int popup = ui.find_panel("APOP");
    ASSERT_GT(popup, 0);
    ASSERT_TRUE(ui.set(popup, APOP_COUNT, 10));
    ASSERT_TRUE(ui.press(popup, APOP_LIST));
    ASSERT_GT(list_panel, 0);
    ASSERT_TRUE(ui.select(list_panel, REVIEW_ALARMS, 0));
    ui.answer(1);
    ASSERT_TRUE(ui.double_click(list_panel, REVIEW_ALARMS, 20, 5));
    EXPECT_EQ(ui.popups().back().title, "Out of control data!!!");
    EXPECT_EQ(ui.popups().back().text, std::string("CH2 Mean was found to be out of control because ") +
                                           rule_sentence(2) + ".\n\nCall process engineering");
    ASSERT_FALSE(ui.dimmed(list_panel, REVIEW_TREE));
    ASSERT_TRUE(ui.press(list_panel, REVIEW_TREE));
    ASSERT_EQ(ui.documents().size(), 1u);
    EXPECT_EQ(ui.documents().back(), dir.file("TREES/MFC.TXT"));
}

// --- slideshow ---------------------------------------------------------------------------------------------

class Slideshow : public ChartList {
protected:
    void SetUp() override
    {
        ChartList::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(create_other_table(&hdbc, 3), 0);
        for (int run = 1; run <= 20; ++run)
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_03 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, "
                                                       "%d)",
                                                       run, run % 4)),
                      0);
    }
    std::vector<int> seen;
};

TEST_F(Slideshow, ShowsEveryCatalogueRowInOrderAndDropsChartsWithoutSeries)
{
    store_row(3, 0, 1, 0, 3, 1, "", "");
    store_row(2, 0, 1, 0, 3, 1, "", "");
    store_row(5, 1, 4, 1, 3, 1, "", "");  // a set point has no series
    bool dimmed_during = false;
    ui.after_pumps(2, [&] {
        dimmed_during = ui.menu_item(handle_menu, MENUBAR_CHARTS)->dimmed && ui.dimmed(spc_panel, SPC_RULES_BUTTON) && ui.dimmed(spc_panel, SPC_LIMITS_BUTTON);
        seen.push_back(ui.ival(spc_panel, SPC_CODE));
    });
    ui.after_pumps(70, [&] { seen.push_back(ui.ival(spc_panel, SPC_CODE)); });
    const double start = vsys::clock_seconds();
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW));
    const double took = vsys::clock_seconds() - start;
    EXPECT_TRUE(dimmed_during);
    EXPECT_EQ(seen, (std::vector<int>{20010000, 30010000}));
    EXPECT_GE(took, 2 * kSlideSeconds);  // two charts with points, the set point passed over at once
    EXPECT_LT(took, 2 * kSlideSeconds + 0.5);
    EXPECT_EQ(spc_panel, -1);
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_CHARTS)->dimmed);
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_FILE)->dimmed);
    EXPECT_EQ(row_of(5, 1, 4, 1), "");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003ACTC"), "2");
    EXPECT_FALSE(LongCommand::running());
}

TEST_F(Slideshow, StopEndsTheShowAfterTheCurrentChart)
{
    store_row(2, 0, 1, 0, 3, 1, "", "");
    store_row(3, 0, 1, 0, 3, 1, "", "");
    std::string off, on;
    ui.after_pumps(3, [&] {
        GetCtrlAttribute(spc_panel, SPC_CLOSE, ATTR_OFF_TEXT, &off);
        GetCtrlAttribute(spc_panel, SPC_CLOSE, ATTR_ON_TEXT, &on);
        seen.push_back(ui.ival(spc_panel, SPC_CODE));
        ASSERT_TRUE(ui.press(spc_panel, SPC_CLOSE));
    });
    const double start = vsys::clock_seconds();
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW));
    EXPECT_LT(vsys::clock_seconds() - start, 1.0);  // the second chart never came
    EXPECT_EQ(seen, (std::vector<int>{20010000}));
    EXPECT_EQ(off, "Stop");
    EXPECT_EQ(on, "Stopping...");
    EXPECT_EQ(spc_panel, -1);
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_CONFIGURE_SYSTEM_NAME)->dimmed);
}

// Start during the show closes the show's window (a start closes the windows of stored data); the show's end
// gives back its menu but for what acquisition dims until it stops.
TEST_F(Slideshow, AcquisitionStartedDuringTheShowKeepsItsItemsDimmed)
{
    store_row(2, 0, 1, 0, 3, 1, "", "");
    store_row(3, 0, 1, 0, 3, 1, "", "");
    trigger = 0;  // collect always: channel 1, the trigger's, is off here
    ui.after_pumps(3, [&] { start(); });
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW));
    ASSERT_TRUE(acq().active);
    EXPECT_EQ(spc_panel, -1);
    for (int item : {MENUBAR_CONFIGURE_ACQUISITION_RATE, MENUBAR_CONFIGURE_TRIGGERS, MENUBAR_CHARTS, MENUBAR_CONFIGURE_SYSTEM_NAME, MENUBAR_CONFIGURE_COLORS_LOAD_COLORS}) EXPECT_TRUE(ui.menu_item(handle_menu, item)->dimmed) << item;
    for (int item : {MENUBAR_FILE, MENUBAR_CONFIGURE}) EXPECT_FALSE(ui.menu_item(handle_menu, item)->dimmed) << item;
    stop();
    for (int item : {MENUBAR_CONFIGURE_ACQUISITION_RATE, MENUBAR_CONFIGURE_TRIGGERS, MENUBAR_CHARTS, MENUBAR_CONFIGURE_SYSTEM_NAME, MENUBAR_CONFIGURE_COLORS_LOAD_COLORS}) EXPECT_FALSE(ui.menu_item(handle_menu, item)->dimmed) << item;
}

TEST_F(Slideshow, AWindowReplacedDuringTheWaitEndsTheShowAndStays)
{
    store_row(2, 0, 1, 0, 3, 1, "", "");
    store_row(3, 0, 1, 0, 3, 1, "", "");
    open_list();
    int show_window = 0;
    ui.after_pumps(3, [&] {
        show_window = spc_panel;
        ASSERT_TRUE(ui.select(spc_chart_selections, SPC_LIST_CHARTS, index_of(chart_code(3, 0, 1, 0))));
        ASSERT_TRUE(ui.press(spc_chart_selections, SPC_LIST_VIEW));
    });
    ui.after_pumps(4, [&] { ASSERT_TRUE(ui.press(ui.find_panel("WAFERS"), WAFERS_OK)); });
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW));
    ASSERT_GT(spc_panel, 0);
    EXPECT_NE(spc_panel, show_window);
    EXPECT_FALSE(ui.panel_exists(show_window));
    EXPECT_EQ(ui.ival(spc_panel, SPC_CODE), 30010000);
    EXPECT_EQ(shown_chart().points, 20);
    EXPECT_EQ(ui.label(spc_panel, SPC_CLOSE), "Close");
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_CHARTS)->dimmed);
}

TEST_F(Slideshow, AnEmptyCatalogueSaysSoAndASecondShowIsRefused)
{
    store_row(2, 0, 1, 0, 3, 1, "", "");
    ASSERT_EQ(vtest::run(hdbc, "DELETE FROM 0003ACTC"), 0);
    ui.answer(1);
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW));
    ASSERT_FALSE(ui.popups().empty());
    EXPECT_EQ(ui.popups().back().text, "No active charts to display.");
    EXPECT_EQ(spc_panel, -1);
    ASSERT_TRUE(ui.menu_item(handle_menu, MENUBAR_CONFIGURE_ACQUISITION_RATE).has_value());
    EXPECT_FALSE(ui.menu_item(handle_menu, MENUBAR_CONFIGURE_ACQUISITION_RATE)->dimmed);

    store_row(2, 0, 1, 0, 3, 1, "", "");
    std::size_t before = 0;
    ui.after_pumps(2, [&] {
        before = ui.popups().size();
        ui.answer(1);
        start_next(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW, nullptr, parent_panel);
    });
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW));
    ASSERT_EQ(ui.popups().size(), before + 1);
    EXPECT_NE(ui.popups().back().text.find("Slideshow"), std::string::npos);
}

// Active charts none of which has data: the show says so in the status line, no popup.
TEST_F(Slideshow, ChartsWithoutDataSaySoInTheStatusLine)
{
    store_row(5, 1, 4, 1, 3, 1, "", "");  // a set point has no series
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CHARTS_CHART_SLIDESHOW));
    EXPECT_TRUE(ui.popups().empty());
    EXPECT_EQ(vui::status_line(), "None of the active charts has data to display.");
    EXPECT_EQ(spc_panel, -1);
}

// --- rule alarms --------------------------------------------------------------------------------------------

struct AlarmCase {
    const char* name;
    int type;
    int rules;
    int first, last;
    const char* expected;  // RUN|WAFER|RULE rows
};

TEST_F(ChartList, RuleAlarmsForARangeOfRuns)
{
    // Newest first: runs 20..1; run 20 is far above, runs 13..5 lie beyond 2 sigma above the target.
    std::vector<double> values;
    for (int run = 20; run >= 1; --run) values.push_back(run == 20 ? 40.0 : run >= 5 && run <= 13 ? 12.5 : 9.0);
    const AlarmCase cases[] = {
        {"statistics chart, 1a and 1b are the test's", 0, 0x3, 1, 20, ""},
        {"endpoint chart records 1a", 17, 0x3, 1, 20, "20|2|0"},
        {"a range without loaded runs", 17, 0x1FFF, 30, 40, ""},
        {"first end of the range included", 0, 0x4, 13, 14, "13|2|2"},
        {"last end of the range included", 0, 0x4, 4, 5, "5|2|2"},
        {"one point breaks 2a, 5a and 6a", 0, 0x4 | 0x80 | 0x200, 9, 9, "9|2|2;9|2|7;9|2|9"},
    };
    for (const AlarmCase& c : cases) {
        SCOPED_TRACE(c.name);
        vtest::run(hdbc, "DELETE FROM OOC_ALRM");
        shown_chart().values = values;
        shown_chart().runs.clear();
        shown_chart().wafers.clear();
        for (int run = 20; run >= 1; --run) {
            shown_chart().runs.push_back(run);
            shown_chart().wafers.push_back(2);
        }
        shown_chart().points = 20;
        shown_chart().channel = 2;
        shown_chart().type = static_cast<short>(c.type);
        shown_chart().subtype = 1;
        shown_chart().step = 0;
        shown_chart().rules = c.rules;
        shown_chart().rule_mean = 10.0;
        shown_chart().rule_stdev = 1.0;
        status_color = STATUS_WHITE;
        record_ooc_alarms(shown_chart(), c.first, c.last);
        EXPECT_EQ(rows("SELECT RUN, WAFER, RULE FROM OOC_ALRM ORDER BY RUN, RULE"), c.expected);
        EXPECT_EQ(status_color, std::string(c.expected).empty() ? STATUS_WHITE : STATUS_YELLOW);
        if (*c.expected) {
            EXPECT_EQ(rows("SELECT DISTINCT CHANNEL, TYPE, SUB_TYPE, INDEX, CLEARED FROM OOC_ALRM"),
                      vsys::strprintf("2|%d|1|0|0", c.type));
        }
    }
    // A row that cannot be written is reported and recording goes on; the status turns yellow all the same.
    for (vsys::FileOp op : {vsys::FileOp::write, vsys::FileOp::seek, vsys::FileOp::flush}) {
        SCOPED_TRACE(static_cast<int>(op));
        vtest::run(hdbc, "DELETE FROM OOC_ALRM");
        status_color = STATUS_WHITE;
        shown_chart().rules = 0x4 | 0x80;
        shown_chart().type = 0;
        const std::size_t shown = ui.popups().size();
        ui.answer(1);
        {
            vsys::FaultPlanScope plan({op, 1, false, "OOC_ALRM"});
            record_ooc_alarms(shown_chart(), 9, 9);
        }
        ASSERT_EQ(ui.popups().size(), shown + 1);
        EXPECT_EQ(ui.popups().back().title, "Database Error");
        EXPECT_EQ(status_color, STATUS_YELLOW);
        EXPECT_EQ(rows("SELECT RULE FROM OOC_ALRM WHERE RULE = 7"), "7");
    }
    free_mem();
}

TEST_F(ChartList, ExclusionNeedsTwoGoodPoints)
{
    // Every rule on over these points: each point breaks one, so nothing would be left.
    store_row(2, 0, 1, 0, 0x1FFF, 1, "", "");
    view_mean_chart();
    ASSERT_GE(rule_breakers, shown_chart().points - 1);
    const double mean = shown_chart().data_mean;
    ui.answer(1);
    ASSERT_TRUE(ui.press(spc_panel, SPC_EXCLUDE));
    EXPECT_EQ(ui.popups().back().text, "Less than 2 good points.  Cannot exclude rule breakers \nfrom the mean and "
                                       "standard deviation calculation.");
    EXPECT_EQ(ui.ival(spc_panel, SPC_EXCLUDE), 0);
    EXPECT_EQ(shown_chart().data_mean, mean);
}

// A drag of the chart's cursor asks about pending setup changes once, where it is let go; each later commit asks again.
TEST_F(ChartList, PendingChangesAreAskedWhereTheCursorIsLetGoNotAtEveryStepOfTheDrag)
{
    view_mean_chart();
    ASSERT_GE(shown_chart().points, 3);
    Flags |= FLAG_PENDING_CHANGES;
    const std::size_t before = ui.popups().size();
    for (double x : {0.0, -1.0, -2.0}) ASSERT_TRUE(ui.move_cursor(spc_panel, SPC_CHART, 1, x, shown_chart().data_mean, false));
    EXPECT_EQ(ui.popups().size(), before);
    ui.answer_no();
    ASSERT_TRUE(ui.move_cursor(spc_panel, SPC_CHART, 1, -2.0, shown_chart().data_mean));
    ASSERT_EQ(ui.popups().size(), before + 1);
    EXPECT_EQ(ui.popups().back().text, "Changes are pending.  Do you want to save changes?");
    EXPECT_EQ(ui.ival(spc_panel, SPC_POINT), -2);
    ui.answer_no();
    ASSERT_TRUE(ui.move_cursor(spc_panel, SPC_CHART, 1, -1.0, shown_chart().data_mean));
    EXPECT_EQ(ui.popups().size(), before + 2);
    EXPECT_EQ(ui.ival(spc_panel, SPC_POINT), -1);
    Flags &= static_cast<std::uint8_t>(~FLAG_PENDING_CHANGES);
}

}  // namespace
