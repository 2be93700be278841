// Strip-chart blocks thinned to a minimum and a maximum per pixel column.
#include <gtest/gtest.h>

#include <cstring>

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

// Interleaved values (scan-major, as the program plots them) split into traces.
std::vector<std::vector<double>> split(const std::vector<double>& v, std::size_t traces)
{
    std::vector<std::vector<double>> out(traces);
    for (std::size_t k = 0; k < v.size(); ++k) out[k % traces].push_back(v[k]);
    return out;
}

TEST(Thinning, StraightFromTheValuesMatchesThinningTheTraces)
{
    struct Case {
        std::int64_t first_scan;
        std::size_t traces, scans;
        int bucket;
        std::int64_t keep;
    } cases[] = {{0, 2, 5, 3, 100}, {5, 2, 3, 3, 100}, {2000, 1, 1000, 1, 10}, {7, 32, 10000, 17, 10000}, {1234, 3, 50, 4, 20}};
    for (const auto& c : cases) {
        std::vector<double> v(c.traces * c.scans);
        for (std::size_t k = 0; k < v.size(); ++k) v[k] = static_cast<double>((k * 37 + 11) % 1009) - 500.0;
        vui::StripAppend b;
        b.first_scan = c.first_scan;
        b.traces = static_cast<int>(c.traces);
        b.values = v.data();
        b.count = v.size();
        std::int64_t end = 0;
        auto direct = vweb::thin_append(b, c.bucket, c.keep, end);
        auto old = vweb::thin_block(c.first_scan, split(v, c.traces), c.bucket, c.keep);
        EXPECT_EQ(end, c.first_scan + static_cast<std::int64_t>(c.scans));
        ASSERT_EQ(direct.size(), c.traces);
        for (std::size_t t = 0; t < c.traces; ++t) {
            EXPECT_EQ(direct[t].first_column, old.first_column) << c.first_scan << " trace " << t;
            EXPECT_EQ(direct[t].minmax, old.traces[t]) << c.first_scan << " trace " << t;
        }
    }
}

TEST(Thinning, ABlockCutInsideAScanPutsEachValueInItsOwnScan)
{
    // Three traces; the block starts at trace 2 of scan 10 and ends after trace 1 of scan 12,
    // taking every other value of the program's array.
    std::vector<double> v = {5, -1, 6, -1, 7, -1, 8, -1, 9, -1, 10, -1, 11};
    vui::StripAppend b;
    b.first_scan = 10;
    b.first_trace = 2;
    b.traces = 3;
    b.values = v.data();
    b.count = 6;
    b.step = 2;
    std::int64_t end = 0;
    auto t = vweb::thin_append(b, 1, 100, end);
    EXPECT_EQ(end, 13);
    EXPECT_EQ(t[2].first_column, 10);
    EXPECT_EQ(t[2].minmax, (std::vector<double>{5, 5, 8, 8}));
    EXPECT_EQ(t[0].first_column, 11);
    EXPECT_EQ(t[0].minmax, (std::vector<double>{6, 6, 9, 9}));
    EXPECT_EQ(t[1].minmax, (std::vector<double>{7, 7, 10, 10}));

    // The frame: a float64 header, then the values of each trace in turn.
    std::string f = vweb::strip_frame(b, 1, 100);
    std::vector<double> d(f.size() / sizeof(double));
    std::memcpy(d.data(), f.data(), d.size() * sizeof(double));
    std::vector<double> want = {1, 0, 0, 10, 13, 1, 3, 11, 4, 11, 4, 10, 4, 6, 6, 9, 9, 7, 7, 10, 10, 5, 5, 8, 8};
    EXPECT_EQ(d, want);
}

}  // namespace
