// Channel statistics: the worked example, extremes, selection of channels and numerically hard traces.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/testing/trace_builder.h"

namespace {

using ttest::Recorder;
using ttest::TraceBuilder;

TEST(ChannelStatistics, WorkedExampleWithTheConverterTable)
{
    TraceSetup s = ttest::plain_setup({0}, 2, 2);
    s.volts_per_count = 0.0006103515625;
    s.slope[1] = 1638.4;
    s.inter[1] = 5;
    TraceBuilder b(s);
    for (int v : {100, 102, 100, 102}) b.scan({{1, v}});
    Recorder r;
    test_channel_statistics(b.trace(7, 3), s, r);
    ASSERT_EQ(r.log.size(), 5u);
    EXPECT_EQ(r.log[0], "INSERT INTO OTHER_01 VALUES (7, 3, 106.000, 1.155, 107.000, 105.000)");
    EXPECT_EQ(r.log[1].substr(0, 28), "check 1 0 1 0 (7, 3) 106.000");
    EXPECT_EQ(r.log[2].substr(0, 26), "check 1 0 2 0 (7, 3) 1.154");
    EXPECT_EQ(r.log[3].substr(0, 28), "check 1 0 3 0 (7, 3) 105.000");
    EXPECT_EQ(r.log[4].substr(0, 28), "check 1 0 4 0 (7, 3) 107.000");
}

struct StatsCase {
    const char* name;
    std::vector<int> counts;  // scans of channel 1, two per block
    double slope;
    const char* row;          // expected OTHER row, or "" for none
};

TEST(ChannelStatistics, GoldenRows)
{
    const StatsCase cases[] = {
        {"constant", {50, 50, 50, 50}, 2.0, "INSERT INTO OTHER_01 VALUES (7, 3, 50.000, 0.000, 50.000, 50.000)"},
        {"one block", {1, 2}, 2.0, ""},
        // The extremes come from the samples, whatever their range.
        {"above 10000", {12000, 12010, 12020, 12030}, 2.0,
         "INSERT INTO OTHER_01 VALUES (7, 3, 12015.000, 12.910, 12030.000, 12000.000)"},
        {"below -10000", {-12000, -12010, -12020, -12030}, 2.0,
         "INSERT INTO OTHER_01 VALUES (7, 3, -12015.000, 12.910, -12000.000, -12030.000)"},
        // A negative slope: the maximum stays above the minimum, the deviation positive.
        {"negative slope", {10, 20, 30, 40}, -2.0,
         "INSERT INTO OTHER_01 VALUES (7, 3, -25.000, 12.910, -10.000, -40.000)"},
        {"three blocks", {1, 2, 3, 4, 5, 6}, 2.0, "INSERT INTO OTHER_01 VALUES (7, 3, 3.500, 1.871, 6.000, 1.000)"},
    };
    for (const auto& c : cases) {
        TraceSetup s = ttest::plain_setup({0}, 2, 2);
        s.slope[1] = c.slope;
        TraceBuilder b(s);
        for (int v : c.counts) b.scan({{1, v}});
        Recorder r;
        test_channel_statistics(b.trace(), s, r);
        if (*c.row == '\0') {
            EXPECT_TRUE(r.log.empty()) << c.name;
        } else {
            ASSERT_FALSE(r.log.empty()) << c.name;
            EXPECT_EQ(r.log[0], c.row) << c.name;
        }
    }
}

TEST(ChannelStatistics, TakesStatisticsChannelsOnlyInChannelOrder)
{
    // Types: 1 step, 21 thermocouple, 2 valve, 0 static (disabled), 0 static.
    TraceSetup s = ttest::plain_setup({1, 21, 2, 0, 0}, 1, 1);
    s.status_bits &= ~(1u << 3);
    s.saved_channels = 4;
    s.derive_tables();
    TraceBuilder b(s);
    for (int i = 0; i < 3; ++i) b.scan({{1, 1}, {2, 2}, {3, 3}, {5, 5}});
    Recorder r;
    test_channel_statistics(b.trace(), s, r);
    ASSERT_EQ(r.log.size(), 10u);
    EXPECT_EQ(r.log[0], "INSERT INTO OTHER_02 VALUES (7, 3, 2.000, 0.000, 2.000, 2.000)");
    EXPECT_EQ(r.log[1].substr(0, 13), "check 2 21 1 ");
    EXPECT_EQ(r.log[5], "INSERT INTO OTHER_05 VALUES (7, 3, 5.000, 0.000, 5.000, 5.000)");
}

TEST(ChannelStatistics, CutLastBlockIsNotCounted)
{
    TraceSetup s = ttest::plain_setup({0}, 2, 2);
    TraceBuilder b(s);
    for (int v : {1, 1, 1, 1, 100, 100}) b.scan({{1, v}});
    b.cut(1);  // the third block's trailer is short
    Recorder r;
    test_channel_statistics(b.trace(), s, r);
    ASSERT_FALSE(r.log.empty());
    EXPECT_EQ(r.log[0], "INSERT INTO OTHER_01 VALUES (7, 3, 1.000, 0.000, 1.000, 1.000)");
}

TEST(ChannelStatistics, LongTraceWithLargeOffsetKeepsItsVariance)
{
    // 100000 scans alternating 30000 and 30002: a one-pass n*Sx2 - Sx*Sx loses
    // these digits; the textbook sample deviation is sqrt(n / (n - 1)).
    TraceSetup s = ttest::plain_setup({0}, 100, 100);
    TraceBuilder b(s);
    for (int i = 0; i < 100000; ++i) b.scan({{1, i % 2 ? 30002 : 30000}});
    Recorder r;
    test_channel_statistics(b.trace(), s, r);
    ASSERT_EQ(r.log.size(), 5u);
    double sd = 0;
    ASSERT_EQ(std::sscanf(r.log[2].c_str(), "check 1 0 2 0 (7, 3) %lf", &sd), 1);
    EXPECT_NEAR(sd, std::sqrt(100000.0 / 99999.0), 1e-6);
    EXPECT_EQ(r.log[0], "INSERT INTO OTHER_01 VALUES (7, 3, 30001.000, 1.000, 30002.000, 30000.000)");
}

}  // namespace
