// The review edition of trace testing: timers are stored but not judged, and no process is ever created.
#include <gtest/gtest.h>

#include "tests/testing/trace_builder.h"

namespace {

using ttest::Recorder;
using ttest::TraceBuilder;

TEST(ReviewEdition, TimersAreStoredWithoutACheck)
{
    TraceSetup s = ttest::plain_setup({0, 0}, 10, 10);
    s.timer_status_bit = 1;
    s.timer_start_logic_bit = s.timer_end_logic_bit = 1;
    s.timer_start_channel[1] = 1;
    s.timer_end_channel[1] = 2;
    s.timer_start_val[1] = s.timer_end_val[1] = 1000;
    s.timer_start_gun[1] = s.timer_end_gun[1] = 1;
    TraceBuilder b(s);
    for (int i = 0; i < 40; ++i) b.scan({{1, i >= 12 ? 2000 : 0}, {2, i >= 25 ? 2000 : 0}});
    Recorder r;
    test_timers(b.trace(), s, r, false, nullptr);
    EXPECT_EQ(r.log, (std::vector<std::string>{"INSERT INTO TIMER_01 VALUES (7, 3, 1.300000)"}));
    // Statistics are still judged.
    Recorder stats;
    test_channel_statistics(b.trace(), s, stats);
    EXPECT_EQ(stats.log.size(), 10u);
}

}  // namespace
