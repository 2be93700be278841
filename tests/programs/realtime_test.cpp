// End to end: a real-time run of a recipe no process has yet creates that process from its first wafer.
#include "panels/s_chart.h"
#include "programs/stop_signals.h"
#include "programs/wiring.h"
#include "tests/acquisition/acq_fixture.h"

#include <algorithm>

namespace {

using acqtest::AcqTest;

TEST_F(AcqTest, RealTimeRunOfAnUnknownRecipeCreatesItsProcessFromTheFirstWafer)
{
    wire_subsystems();
    // The current process's name without "PRECOAT" is the run's recipe: "ETCH B", which no process has.
    char process[33] = "ETCH B PRECOAT";
    get_put_char(hdbc, 1, 3, CONFIG_WRITE, process);
    ASSERT_TRUE(ui.menu_item(handle_menu, MENUBAR_FILE_RECORD_DATA)->checked);  // recording on
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING));                // real-time testing on
    ASSERT_EQ(current_file_index, 0);

    source->ch1 = "00011100000000000";
    start();
    // The real-time test window is loaded at the first start with recording and real-time testing on.
    EXPECT_GT(realtime_panel, 0);
    // Once the wafer has ended (the gap after it is longer than the data delay, so
    // run 2 waits for the next wafer), at most four error-free ticks hand it to the trace test.
    int ticks = 0;
    while (rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM = 2") != "1" && ticks < 16) {
        tick();
        ++ticks;
    }
    ASSERT_EQ(rows("SELECT NUM_WAF, RECIPE, COMPLETE FROM VT_INFO WHERE RUN_NUM = 1"), "1|ETCH B|0");
    ASSERT_TRUE(vsys::file_exists(trace_file(1, 1)));
    for (int i = 0; i < 4 && rows("SELECT COMPLETE FROM VT_INFO WHERE RUN_NUM = 1") != "1"; ++i) tick();
    // The wafer test leaves the setup commands dimmed as the start did.
    for (int item : {27, 37, 47}) EXPECT_TRUE(ui.menu_item(handle_menu, item)->dimmed) << item;
    stop();

    EXPECT_EQ(rows("SELECT COMPLETE FROM VT_INFO WHERE RUN_NUM = 1"), "1");
    EXPECT_EQ(rows("SELECT RUN, WAFER FROM OTHER_01"), "1|1");
    EXPECT_EQ(rows("SELECT INDEX FROM CONFIG WHERE PARAM = 1 AND RTRIM(VAL_TEXT) = 'ETCH B'"), "4");
    EXPECT_EQ(recipe_num, 4);
    for (const char* f : {"00000004.POR", "00000004.INT"}) EXPECT_GT(vsys::file_size(dir.file(f)).value_or(0), 0u) << f;
    // The process of record is the first wafer's blocks under the wafer's start time.
    const std::string wafer = bytes(trace_file(1, 1)), por = bytes(dir.file("00000004.POR"));
    ASSERT_NE(wafer.find('\n'), std::string::npos);
    ASSERT_NE(por.find('\n'), std::string::npos);
    EXPECT_EQ(por.substr(por.find('\n') + 1), wafer.substr(wafer.find('\n') + 1));
    std::string start_time = wafer.substr(0, wafer.find(' '));
    std::replace(start_time.begin(), start_time.end(), '.', ':');
    EXPECT_EQ(por.substr(0, por.find('\n')), start_time);
    EXPECT_FALSE(vsys::file_exists(dir.file("00000003.POR")));
}

// A stop request (SIGTERM, Ctrl+C) while a wafer is being collected: the wafer is stored and tested, then the program ends.
TEST_F(AcqTest, AStopRequestStoresAndTestsTheWaferInProgress)
{
    wire_subsystems();
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING));  // real-time testing on
    source->ch1 = "000111000000000001111111111";
    start();
    tick(22);
    ASSERT_EQ(rows("SELECT RUN_NUM, NUM_WAF, COMPLETE FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM"), "1|1|1;2|1|0");
    ASSERT_EQ(rows("SELECT RUN, WAFER FROM OTHER_01"), "1|1");
    const auto before = vsys::file_size(trace_file(2, 1)).value_or(0);
    end_program_on_request();
    EXPECT_FALSE(acq().active);
    EXPECT_EQ(ui.ival(sc_handle, SCHART_START), 0);
    EXPECT_EQ(vsys::file_size(trace_file(2, 1)).value_or(0), before);
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF, COMPLETE FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM"), "1|1|1;2|1|1");
    EXPECT_EQ(rows("SELECT RUN, WAFER FROM OTHER_01 ORDER BY RUN"), "1|1;2|1");
}

}  // namespace
