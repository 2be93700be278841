// An SPC chart open while acquisition tests wafers: its Close, rules and limits are written for the chart the
// window shows and for that chart's process, whatever the real-time check judged or made current since.
#include "programs/wiring.h"
#include "core/config_store.h"
#include "core/shared_buffers.h"
#include "panels/alarms.h"
#include "panels/apop.h"
#include "panels/s_chart.h"
#include "panels/wafers.h"
#include "panels/x_hist.h"
#include "platform/sys/format.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_titles.h"
#include "spc/chart_window.h"
#include "spc/limit_table.h"
#include "testing/chart_code.h"
#include "testing/window_menu.h"
#include "tests/acquisition/acq_fixture.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The records of a dBase file, each as its bytes (deletion flag first).
std::vector<std::string> dbf_records(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12) return {};
    auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    const std::size_t count = u16(4) | u16(6) << 16, header = u16(8), length = u16(10);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count && header + (i + 1) * length <= bytes.size(); ++i)
        out.push_back(bytes.substr(header + i * length, length));
    return out;
}

// The key of a catalogue record as it stands in the file: CHANNEL, CHART_TYPE, DATA_PARAM, D_INDEX.
std::string catalogue_key(int channel, int type, int subtype, int step)
{
    return vsys::strprintf(" %5d%5d%5d%5d", channel, type, subtype, step);
}

class ChartWhileTesting : public acqtest::AcqTest {
protected:
    void SetUp() override
    {
        AcqTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        ASSERT_EQ(create_other_table(&hdbc, 2), 0);
        for (int run = 1; run <= 40; ++run) {
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, "
                                                       "SYSTEM_ID, SAV_DATE, SAV_TIME) VALUES (%d, 1, 'ETCH', 'LOT%d', "
                                                       "'TOOL_A', '2026/02/03', '04:05:06')",
                                                       run, run)),
                      0);
            ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO OTHER_02 (RUN, WAFER, DATA_MEAN) VALUES (%d, 1, %.3f)",
                                                       run, 10.0 + (run % 5) * 0.1)),
                      0);
        }
        // The shown chart, CH2 Mean, and two others the wafer test judges: each with settings of its own.
        store_row(2, 0, 1, 0, 0x5, 0, "TREE2", "Check the MFC");
        store_row(1, 0, 1, 0, 0x1FFF, 0, "", "Pump");
        store_row(3, 0, 4, 0, 0x3, 1, "TREE3", "");
        double limits[3] = {9.0, 10.0, 11.0};
        step_specs(LIMITS_WRITE, 0, 1, 2, 0, limits);
        // An old alarm of CH2 Mean, through which the user opens the chart.
        ASSERT_EQ(vtest::run(hdbc, "INSERT INTO OOC_ALRM VALUES (40, 1, 2, 0, 1, 0, 2, 0)"), 0);
        update_menu();
        ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING));
    }
    void TearDown() override
    {
        if (spc_panel > 0) DiscardPanel(spc_panel);
        spc_panel = -1;
        free_mem();
        AcqTest::TearDown();
    }
    void store_row(int channel, int type, int subtype, int step, int rules, short limits, const char* trees,
                   const char* text)
    {
        short ch = static_cast<short>(channel), ty = static_cast<short>(type), sub = static_cast<short>(subtype),
              idx = static_cast<short>(step);
        int points = 300, pager = 0, halt = 0;
        char t[105] = "", p[255] = "";
        std::snprintf(t, sizeof t, "%s", trees);
        std::snprintf(p, sizeof p, "%s", text);
        chart_preferences(CHART_WRITE, &ch, &ty, &sub, &idx, &points, &pager, &rules, &limits, t, p, &halt);
    }
    int item_in(int menu, const std::string& name)
    {
        for (const auto& e : ui.menu_items(handle_menu, menu))
            if (e.name == name) return e.id;
        return 0;
    }
    int submenu_of(int menu, const std::string& name)
    {
        auto e = ui.menu_item(handle_menu, item_in(menu, name));
        return e ? e->submenu : 0;
    }
    // Charts > Static Channel Charts > CH2 > Mean: the batch selection of CH2 Mean.
    int pick_mean_chart()
    {
        const int ch2 = submenu_of(submenu_of(MENUBAR_CHARTS, "Static Channel Charts"), "CH2");
        EXPECT_GT(ch2, 0);
        EXPECT_TRUE(ui.pick(handle_menu, item_in(ch2, "Mean")));
        const int dialog = ui.find_panel("WAFERS");
        EXPECT_GT(dialog, 0);
        return dialog;
    }
    // Starts acquisition of a pattern and opens CH2 Mean through the alarm list's View Chart, as a user can while
    // acquiring.
    void start_and_view_chart(const std::string& pattern)
    {
        source->ch1 = pattern;
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_ALARMS_ALARM_LIST));
        const int ask = ui.find_panel("APOP");
        ASSERT_GT(ask, 0);
        ASSERT_TRUE(ui.set(ask, APOP_COUNT, 20));
        ASSERT_TRUE(ui.press(ask, APOP_LIST));
        ASSERT_GT(list_panel, 0);
        ASSERT_TRUE(ui.press(list_panel, REVIEW_VIEW));
        ASSERT_GT(spc_panel, 0);
        ASSERT_EQ(ui.ival(spc_panel, SPC_CODE), chart_code(2, 0, 1, 0));
        ASSERT_EQ(ui.ival(spc_panel, SPC_PROCESS), 3);
    }
    // Ticks until one more wafer is tested (with a precoat wafer, after its process is made).
    void test_a_wafer()
    {
        const std::string complete = rows("SELECT COUNT(*) FROM VT_INFO WHERE COMPLETE = 1");
        for (int ticks = 0; ticks < 40 && rows("SELECT COUNT(*) FROM VT_INFO WHERE COMPLETE = 1") == complete; ++ticks)
            tick();
        ASSERT_NE(rows("SELECT COUNT(*) FROM VT_INFO WHERE COMPLETE = 1"), complete) << "no wafer was tested";
        if (spc_panel > 0 && !ui.panel_visible(spc_panel)) {
            ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_WINDOW_SPC_CHART));
        }
    }
    std::string catalogue_file() const { return dir.file("0003ACTC.DBF"); }
    std::string shown_title()
    {
        char title[kChartTitleSize] = "";
        form_chart_title(title, 2, 0, 1, 0);
        return title;
    }
    // Every record but the shown chart's is byte for byte as it was; returns the shown chart's record now.
    std::string others_unchanged(const std::vector<std::string>& before)
    {
        const std::vector<std::string> after = dbf_records(catalogue_file());
        EXPECT_EQ(after.size(), before.size());
        std::string shown;
        for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i) {
            if (after[i].rfind(catalogue_key(2, 0, 1, 0), 0) == 0) {
                shown = after[i];
                continue;
            }
            EXPECT_EQ(after[i], before[i]) << "record " << i;
        }
        return shown;
    }
    std::string shown_row()
    {
        return rows("SELECT POINTS, RULES, LIMITS, RTRIM(D_TREE), RTRIM(P_TEXT) FROM 0003ACTC WHERE CHANNEL = 2 AND "
                    "CHART_TYPE = 0 AND DATA_PARAM = 1 AND D_INDEX = 0");
    }
};

TEST_F(ChartWhileTesting, CloseAfterAWaferWasTestedWritesNoCatalogueRow)
{
    const std::vector<std::string> before = dbf_records(catalogue_file());
    ASSERT_EQ(before.size(), 3u);
    ASSERT_NO_FATAL_FAILURE(start_and_view_chart("00011100000000000"));
    ASSERT_NO_FATAL_FAILURE(test_a_wafer());
    ASSERT_TRUE(ui.press(spc_panel, SPC_CLOSE));
    EXPECT_EQ(spc_panel, -1);
    // The window's settings did not change: nothing is written, the shown chart's row neither.
    const std::string shown = others_unchanged(before);
    EXPECT_EQ(shown, before[0]);
    EXPECT_EQ(shown_row(), "300|5|0|TREE2|Check the MFC");
}

TEST_F(ChartWhileTesting, RunRulesAfterAWaferWasTestedAreTheShownChartsAndOnlyItsRowChanges)
{
    const std::vector<std::string> before = dbf_records(catalogue_file());
    ASSERT_NO_FATAL_FAILURE(start_and_view_chart("000111000000000000001110000000000"));
    ASSERT_NO_FATAL_FAILURE(test_a_wafer());
    ASSERT_TRUE(ui.press(spc_panel, SPC_RULES_BUTTON));
    const int rules = ui.modal_panel();
    ASSERT_GT(rules, 0);
    EXPECT_EQ(ui.title(rules), "SPC Rule Selection: " + shown_title());
    // The stored mask 0x5: rules 1a and 2a ticked; 2a is taken off.
    std::vector<int> boxes;
    int ok = 0, c = 0;
    GetPanelAttribute(rules, ATTR_PANEL_FIRST_CTRL, &c);
    while (c > 0) {
        int style = 0;
        std::string label;
        GetCtrlAttribute(rules, c, ATTR_CTRL_STYLE, &style);
        GetCtrlAttribute(rules, c, ATTR_LABEL_TEXT, &label);
        if (style == CTRL_CHECK_BOX) boxes.push_back(c);
        if (style == CTRL_COMMAND_BUTTON && label.rfind("Ok", 0) == 0) ok = c;
        GetCtrlAttribute(rules, c, ATTR_NEXT_CTRL, &c);
    }
    ASSERT_EQ(boxes.size(), 13u);
    ASSERT_GT(ok, 0);
    for (int k = 0; k < 13; ++k) EXPECT_EQ(ui.ival(rules, boxes[static_cast<std::size_t>(k)]), k == 0 || k == 2) << k;
    ASSERT_TRUE(ui.set(rules, boxes[2], 0));
    ASSERT_TRUE(ui.press(rules, ok));
    others_unchanged(before);
    EXPECT_EQ(shown_row(), "300|1|0|TREE2|Check the MFC");
    // A later wafer and the Close keep what the dialog stored.
    ASSERT_NO_FATAL_FAILURE(test_a_wafer());
    ASSERT_TRUE(ui.press(spc_panel, SPC_CLOSE));
    others_unchanged(before);
    EXPECT_EQ(shown_row(), "300|1|0|TREE2|Check the MFC");
}

TEST_F(ChartWhileTesting, LimitsAfterAPrecoatWaferAreWrittenToTheShownChartsProcess)
{
    precoat_minimum = 3;
    const std::vector<std::string> before = dbf_records(catalogue_file());
    // The chart is opened on ETCH; a wafer longer than the precoat minimum then makes "ETCH PRECOAT" current.
    ASSERT_NO_FATAL_FAILURE(start_and_view_chart("0001111100000000000"));
    ASSERT_NO_FATAL_FAILURE(test_a_wafer());
    ASSERT_EQ(rows("SELECT INDEX FROM CONFIG WHERE PARAM = 1 AND RTRIM(VAL_TEXT) = 'ETCH PRECOAT'"), "4");
    ASSERT_EQ(recipe_num, 4);
    const std::vector<std::string> precoat_limits = dbf_records(dir.file("0004LIMI.DBF"));
    ASSERT_FALSE(precoat_limits.empty());
    // A precoat process starts without activated charts.
    ASSERT_TRUE(dbf_records(dir.file("0004ACTC.DBF")).empty());

    ASSERT_TRUE(ui.press(spc_panel, SPC_LIMITS_BUTTON));
    const int limits = ui.modal_panel();
    ASSERT_GT(limits, 0);
    std::vector<int> fields;
    int ok = 0, c = 0;
    GetPanelAttribute(limits, ATTR_PANEL_FIRST_CTRL, &c);
    while (c > 0) {
        int style = 0;
        std::string label;
        GetCtrlAttribute(limits, c, ATTR_CTRL_STYLE, &style);
        GetCtrlAttribute(limits, c, ATTR_LABEL_TEXT, &label);
        if (style == CTRL_NUMERIC) fields.push_back(c);
        if (style == CTRL_COMMAND_BUTTON && label == "OK") ok = c;
        GetCtrlAttribute(limits, c, ATTR_NEXT_CTRL, &c);
    }
    ASSERT_EQ(fields.size(), 3u);
    ASSERT_GT(ok, 0);
    // The dialog shows the ETCH limits of CH2 Mean.
    EXPECT_DOUBLE_EQ(ui.dval(limits, fields[0]), 11.0);
    ASSERT_TRUE(ui.set(limits, fields[0], 12.0));
    ASSERT_TRUE(ui.set(limits, fields[1], 10.5));
    ASSERT_TRUE(ui.press(limits, ok));
    EXPECT_FALSE(ui.panel_exists(limits));

    double stored[3] = {0, 0, 0};
    ASSERT_EQ(step_specs_of(3, LIMITS_READ, 0, 1, 2, 0, stored), 1);
    EXPECT_DOUBLE_EQ(stored[0], 9.0);
    EXPECT_DOUBLE_EQ(stored[1], 10.5);
    EXPECT_DOUBLE_EQ(stored[2], 12.0);
    // The precoat process's tables are as the wafer test made them.
    EXPECT_EQ(dbf_records(dir.file("0004LIMI.DBF")), precoat_limits);
    EXPECT_TRUE(dbf_records(dir.file("0004ACTC.DBF")).empty());
    others_unchanged(before);
    EXPECT_EQ(shown_row(), "300|5|0|TREE2|Check the MFC");
    EXPECT_EQ(recipe_num, 4);  // the precoat process stays current
}

TEST_F(ChartWhileTesting, ABatchSelectionOpenWhileAWaferIsTestedShowsItsOwnChart)
{
    source->ch1 = "00011100000000000";
    ASSERT_NO_FATAL_FAILURE(start());
    // However the Charts menu comes to be offered while acquiring, the selection keeps the chart it was opened for.
    SetMenuBarAttribute(handle_menu, MENUBAR_CHARTS, ATTR_DIMMED, 0);
    const int dialog = pick_mean_chart();
    ASSERT_GT(dialog, 0);
    ASSERT_NO_FATAL_FAILURE(test_a_wafer());
    ASSERT_TRUE(ui.press(dialog, WAFERS_OK));
    ASSERT_GT(spc_panel, 0);
    EXPECT_EQ(ui.title(spc_panel), shown_title());
    EXPECT_EQ(ui.ival(spc_panel, SPC_CODE), chart_code(2, 0, 1, 0));
    EXPECT_EQ(ui.ival(spc_panel, SPC_PROCESS), 3);
    EXPECT_EQ(shown_chart().rules, 0x5);
}

}  // namespace
