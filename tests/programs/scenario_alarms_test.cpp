// End to end: the default scenario run with real-time testing on the demo process raises exactly its anomalies' alarms.
#include "panels/realtime.h"
#include "panels/s_chart.h"
#include "programs/wiring.h"
#include "tests/acquisition/scenario_schedule.h"
#include "tools/demo_process.h"
#include "platform/sys/format.h"
#include "platform/sys/files.h"
#include "platform/sys/launch.h"
#include "spc/decision_tree.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

namespace {

using acqtest::ChamberTest;

// The anomaly period's wafers and the demo's watched chart that must see each (channel, type, subtype, index):
// all of them break their upper limit (rule 0, "1a").
const std::map<int, std::tuple<int, int, int, int>> kAlarmOfPeriodWafer = {
    {3, {1, 1, 6, 1}},  // overshoot: RF_FWD step 1 maximum
    {5, {2, 5, 0, 0}},  // slow decay: timer 2, RF off to GAS_A off
    {7, {1, 5, 0, 0}},  // late endpoint: timer 1
    {8, {3, 1, 6, 1}},  // mean shift: GAS_B step 1 maximum
    {9, {7, 0, 4, 0}},  // noise burst on the endpoint signal: OES maximum
};

TEST_F(ChamberTest, DefaultScenarioRaisesTheAlarmsOfItsAnomaliesAndNoOthers)
{
    wire_subsystems();
    vdemo::DemoSetup setup;
    std::string error;
    ASSERT_TRUE(vdemo::read_demo_setup(std::string(VANTREL_SOURCE_DIR) + "/sim/default_setup.txt", setup, &error)) << error;
    ASSERT_TRUE(vdemo::seed_demo_process(setup, &error)) << error;
    ASSERT_EQ(setup.charts.size(), kAlarmOfPeriodWafer.size());
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING));  // real-time testing on
    // Two anomaly periods' worth of cycles; stopped in the idle time before the thirteenth wafer.
    const int seconds = 770;
    ASSERT_NO_FATAL_FAILURE(run_chamber(seconds));

    const auto wafers = scheduled_wafers(seconds);
    ASSERT_EQ(scenario.anomaly_period, 12);
    std::set<long> production;
    std::string expected;
    for (const auto& w : wafers) {
        ASSERT_FALSE(w.unfinished);
        if (w.model_wafer == 0) continue;
        production.insert(w.model_wafer);
        auto it = kAlarmOfPeriodWafer.find(static_cast<int>((w.model_wafer - 1) % scenario.anomaly_period) + 1);
        if (it == kAlarmOfPeriodWafer.end()) continue;
        auto [channel, type, subtype, index] = it->second;
        expected += vsys::strprintf("%s%d|%d|%d|%d|%d|%d|0|0", expected.empty() ? "" : ";", w.run, w.wafer, channel,
                                    type, subtype, index);
    }
    ASSERT_EQ(production, (std::set<long> {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    // Every run was tested, so every wafer's values are in: on a mismatch they show why.
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0 AND COMPLETE <> 1"), "0");
    EXPECT_EQ(rows("SELECT RUN, WAFER, CHANNEL, TYPE, SUB_TYPE, INDEX, RULE, CLEARED FROM OOC_ALRM ORDER BY RUN, WAFER"),
              expected)
        << "RF max " << rows("SELECT * FROM STPM0101") << "\ntimer 1 "
        << rows("SELECT * FROM TIMER_01") << "\ntimer 2 " << rows("SELECT * FROM TIMER_02") << "\nGAS_B max "
        << rows("SELECT * FROM STPM0301") << "\nOES " << rows("SELECT * FROM OTHER_07");
    EXPECT_EQ(status_color, STATUS_YELLOW);
    int lines = 0;
    GetNumListItems(realtime_panel, REALTIME_ALARMS, &lines);
    EXPECT_EQ(lines, static_cast<int>(kAlarmOfPeriodWafer.size()));
}

// The Limits dialog refuses limits that are not centred on the target or not ordered: every watched chart of
// the demo must be editable as shipped.
TEST(DemoSetup, EveryWatchedChartsLimitsAreCentredAndOrdered)
{
    vdemo::DemoSetup setup;
    std::string error;
    ASSERT_TRUE(vdemo::read_demo_setup(std::string(VANTREL_SOURCE_DIR) + "/sim/default_setup.txt", setup, &error)) << error;
    ASSERT_FALSE(setup.charts.empty());
    for (const vdemo::DemoChart& c : setup.charts) {
        const std::string chart = vsys::strprintf("%d %d %d %d", c.channel, c.type, c.subtype, c.index);
        EXPECT_LT(c.limits[0], c.limits[2]) << chart;
        EXPECT_LT(std::abs((c.limits[0] + c.limits[2]) / 2 - c.limits[1]), 1e-5) << chart;
    }
}

// Contrast as screen readers measure it (relative luminance of sRGB): a trace must read on the white chart and on
// the yellow that an alarm turns the chart's background.
double luminance(int rgb)
{
    auto channel = [](int c) {
        const double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel((rgb >> 16) & 0xFF) + 0.7152 * channel((rgb >> 8) & 0xFF) + 0.0722 * channel(rgb & 0xFF);
}

double contrast(int a, int b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(DemoSetup, EveryChannelsColourReadsOnWhiteAndOnTheAlarmColour)
{
    vdemo::DemoSetup setup;
    std::string error;
    ASSERT_TRUE(vdemo::read_demo_setup(std::string(VANTREL_SOURCE_DIR) + "/sim/default_setup.txt", setup, &error)) << error;
    const auto colours = vdemo::channel_pairs(setup.values["channel_colors"]);
    ASSERT_EQ(colours.size(), 9u);
    for (const auto& [channel, text] : colours) {
        const int rgb = static_cast<int>(std::strtol(text.c_str(), nullptr, 0));
        EXPECT_GE(contrast(rgb, 0xFFFFFF), 4.5) << "channel " << channel;
        EXPECT_GE(contrast(rgb, STATUS_YELLOW), 4.5) << "channel " << channel;
    }
}

TEST_F(ChamberTest, TheDemosOvershootChartOpensItsDecisionTree)
{
    wire_subsystems();
    vdemo::DemoSetup setup;
    std::string error;
    const std::string sim = std::string(VANTREL_SOURCE_DIR) + "/sim";
    ASSERT_TRUE(vdemo::read_demo_setup(sim + "/default_setup.txt", setup, &error)) << error;
    ASSERT_TRUE(vdemo::seed_demo_process(setup, &error)) << error;
    ASSERT_TRUE(vdemo::install_demo_trees(setup, sim + "/trees", vt_dir, &error)) << error;
    std::vector<std::string> opened;
    vsys::set_document_launcher([&](const std::string& p) { opened.push_back(p); });
    spc_start_tree(1, 1, 6, 1, 0);  // RF_FWD step 1 maximum, above its upper limit
    spc_start_tree(1, 1, 6, 1, 1);  // below its lower limit: no tree
    vsys::set_document_launcher(nullptr);
    ASSERT_EQ(opened, std::vector<std::string> {vsys::path_join(vsys::path_join(vt_dir, "TREES"), "RF_OVER.TXT")});
    auto text = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(text(opened[0]), text(sim + "/trees/RF_OVER.TXT"));
    EXPECT_FALSE(text(opened[0]).empty());
}

}  // namespace
