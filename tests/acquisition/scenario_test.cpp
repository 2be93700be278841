// End to end: the default chamber scenario for a simulated hour, checked against the scenario's own schedule.
#include "tests/acquisition/scenario_schedule.h"
#include "tools/demo_process.h"

namespace {

using acqtest::ChamberTest;

TEST_F(ChamberTest, DefaultScenarioForAnHour)
{
    vdemo::DemoSetup setup;
    std::string error;
    ASSERT_TRUE(vdemo::read_demo_setup(std::string(VANTREL_SOURCE_DIR) + "/sim/default_setup.txt", setup, &error)) << error;
    vdemo::apply_demo_setup(setup);
    vdemo::put_channel_names(setup);
    const int seconds = 3600;
    ASSERT_NO_FATAL_FAILURE(run_chamber(seconds));

    const auto wafers = scheduled_wafers(seconds);
    ASSERT_GT(wafers.size(), 50u);
    std::string expected;
    for (std::size_t i = 0; i < wafers.size(); ++i) {
        if (i + 1 < wafers.size() && wafers[i + 1].run == wafers[i].run) continue;
        expected += (expected.empty() ? "" : ";") + std::to_string(wafers[i].run) + "|" +
                    std::to_string(wafers[i].wafer) + (wafers[i].precoat ? "|ETCH PRECOAT" : "|ETCH");
    }
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF, RECIPE FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM"), expected);
    // The trigger drop-out in wafer 10 of every period splits nothing: only the clean cycles are precoat runs.
    for (const auto& w : wafers)
        if (!w.unfinished) {
            EXPECT_EQ(w.precoat, w.model_wafer == 0) << w.run << "." << w.wafer;
        }
    // Every wafer of every run has its file.
    for (const auto& row : vtest::query(hdbc, "SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0").rows)
        for (int w = 1; w <= std::stoi(row[1]); ++w)
            EXPECT_TRUE(vsys::file_exists(trace_file(std::stoi(row[0]), w))) << row[0] << "." << w;
}

}  // namespace
