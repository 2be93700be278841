// Strip-chart blocks thinned to a minimum and a maximum per pixel column.
#include <gtest/gtest.h>

#include "platform/web/thinning.h"

namespace {

TEST(Thinning, ScansPerColumnFitOneScreenIntoTheWidth)
{
    EXPECT_EQ(vweb::scans_per_column(50, 300), 1);
    EXPECT_EQ(vweb::scans_per_column(300, 300), 1);
    EXPECT_EQ(vweb::scans_per_column(301, 300), 2);
    EXPECT_EQ(vweb::scans_per_column(10000, 600), 17);
    EXPECT_EQ(vweb::scans_per_column(10000, 0), 1);
}

TEST(Thinning, ColumnsAlignOnAbsoluteScansAcrossBlocks)
{
    // Columns of 3 scans: block 1 holds scans 0..4, block 2 scans 5..7.
    auto a = vweb::thin_block(0, {{1, 5, 3, -2, 4}, {0, 0, 0, 0, 0}}, 3, 100);
    EXPECT_EQ(a.first_column, 0);
    EXPECT_EQ(a.traces[0], (std::vector<double>{1, 5, -2, 4}));
    EXPECT_EQ(a.traces[1], (std::vector<double>{0, 0, 0, 0}));
    auto b = vweb::thin_block(5, {{7, 9, -8}, {1, 1, 1}}, 3, 100);
    EXPECT_EQ(b.first_column, 1);  // scan 5 completes column 1 (scans 3..5), the view merges it
    EXPECT_EQ(b.traces[0], (std::vector<double>{7, 7, -8, 9}));
}

TEST(Thinning, OnlyTheLastScreenOfABlockIsSent)
{
    std::vector<double> many(1000);
    for (std::size_t k = 0; k < many.size(); ++k) many[k] = static_cast<double>(k);
    auto t = vweb::thin_block(2000, {many}, 1, 10);
    EXPECT_EQ(t.first_column, 2990);
    ASSERT_EQ(t.traces[0].size(), 20u);
    EXPECT_EQ(t.traces[0].front(), 990);
    EXPECT_EQ(t.traces[0].back(), 999);
    auto j = vweb::strip_block_json(2000, {many}, 1, 10);
    EXPECT_EQ(j["end_scan"], 3000);
}

TEST(Thinning, ThirtyTwoTracesAtFullRateShrinkToTheWidth)
{
    // One second at 10,000 scans/s on a 600-pixel chart of 10,000 points per screen.
    std::vector<std::vector<double>> traces(32, std::vector<double>(10000));
    for (std::size_t t = 0; t < traces.size(); ++t)
        for (std::size_t k = 0; k < traces[t].size(); ++k) traces[t][k] = static_cast<double>((k * 7 + t) % 101);
    int bucket = vweb::scans_per_column(10000, 600);
    auto thin = vweb::thin_block(0, traces, bucket, 10000);
    for (const auto& t : thin.traces) {
        EXPECT_LE(t.size(), 2u * 600u);
        EXPECT_EQ(*std::min_element(t.begin(), t.end()), 0);
        EXPECT_EQ(*std::max_element(t.begin(), t.end()), 100);
    }
}

}  // namespace
