// Sigma vector: the interval file, trigger and window, valve holds and the golden per-cent values.
#include <gtest/gtest.h>

#include "tests/testing/trace_builder.h"

namespace {

using ttest::Recorder;
using ttest::TraceBuilder;

// Channel 1 is compared, channel 2 is a valve, channel 3 carries the trigger (above 500).
TraceSetup sigma_setup(int rate = 10, int rate_index = 10)
{
    TraceSetup s = ttest::plain_setup({0, 2, 0}, rate, rate_index);
    s.trigger = 1;
    s.trig_type = 0;
    s.trig_ch = 3;
    s.trig_log = 1;
    s.trig_val = 500;
    s.delay = 100;
    return s;
}

struct Scan3 {
    int value, valve, trig;
};

std::vector<Scan3> ramp(int n, int first = 1)
{
    std::vector<Scan3> scans;
    for (int i = first; i < first + n; ++i) scans.push_back({100 + 5 * i, 0, 1000});
    return scans;
}

std::string interval_text(int start, int end, int rate_code, const char* lines = "1 0 1000.000\n1 2 500.000\n1 0 0.000\n")
{
    return vsys::strprintf("%d\n%d\n%d\n%s", start, end, rate_code, lines);
}

struct Result {
    std::vector<std::string> log;
    std::vector<SigmaResult> results;
};

Result run_sigma(const TraceSetup& s, const std::vector<Scan3>& por_scans, const std::vector<Scan3>& test_scans,
                 const std::string& interval, Recorder r = Recorder())
{
    if (r.rows.empty()) r.rows[{4, 0, 1, 0}] = {0, 0, 50};
    TraceBuilder por(s, s.sample_rate_index > 0 ? s.sample_rate_index : 1, "09:30:00\n");
    for (auto x : por_scans) por.scan({{1, x.value}, {2, x.valve}, {3, x.trig}});
    TraceBuilder test(s);
    for (auto x : test_scans) test.scan({{1, x.value}, {2, x.valve}, {3, x.trig}});
    auto in = read_por_interval(interval);
    EXPECT_TRUE(in.has_value());
    Result out;
    out.results = test_sigma_vector(test.trace(7, 3), s, r, *in, por.bytes);
    out.log = r.log;
    return out;
}

TEST(SigmaVector, IdenticalTracesGiveZero)
{
    auto res = run_sigma(sigma_setup(), ramp(30), ramp(30), interval_text(1, 100, 10));
    const std::vector<std::string> expected = {"INSERT INTO AREA_01 VALUES (7, 3, 0.000000)",
                                               "check 1 4 0 0 (7, 3) 0.000000"};
    EXPECT_EQ(res.log, expected);
    ASSERT_EQ(res.results.size(), 1u);
    EXPECT_EQ(res.results[0].ucl, 50);
}

struct WindowCase {
    const char* name;
    int window_start, window_end;
    short trig_type;
    int delay;
    int on_scans;      // wafer trigger on for this many scans from scan 1 (then off)
    const char* row;
};

TEST(SigmaVector, OffsetOverTheWindow)
{
    // The wafer reads 10 counts more than the record on channel 1: each compared
    // scan adds 10 to a record sum of 1000, so the value is the compared scan count.
    const WindowCase cases[] = {
        {"whole trace", 1, 100, 0, 100, 30, "INSERT INTO AREA_01 VALUES (7, 3, 30.000000)"},
        {"window end bounds both traces", 1, 12, 0, 100, 30, "INSERT INTO AREA_01 VALUES (7, 3, 11.000000)"},
        {"level window ends after the trigger", 1, 100, 0, 0, 10, "INSERT INTO AREA_01 VALUES (7, 3, 10.000000)"},
        {"level window with delay", 1, 100, 0, 1, 10, "INSERT INTO AREA_01 VALUES (7, 3, 20.000000)"},
        {"edge window counts every scan", 1, 100, 1, 2, 10, "INSERT INTO AREA_01 VALUES (7, 3, 20.000000)"},
        {"window start below 1 reads from scan 1", -1, 100, 0, 100, 30, "INSERT INTO AREA_01 VALUES (7, 3, 30.000000)"},
    };
    for (const auto& c : cases) {
        TraceSetup s = sigma_setup();
        s.trig_type = c.trig_type;
        s.delay = c.delay;
        auto test = ramp(30);
        for (std::size_t i = 0; i < test.size(); ++i) {
            test[i].value += 10;
            test[i].trig = static_cast<int>(i) < c.on_scans ? 1000 : 0;
        }
        auto res = run_sigma(s, ramp(30), test, interval_text(c.window_start, c.window_end, 10));
        ASSERT_FALSE(res.log.empty()) << c.name;
        EXPECT_EQ(res.log[0], c.row) << c.name;
    }
}

TEST(SigmaVector, TriggerFoundLaterInTheWafer)
{
    // The wafer's trigger comes at scan 6: its scans from there equal the record's from scan 1.
    auto test = ramp(5, -4);
    for (auto& x : test) x.trig = 0;
    auto rest = ramp(25);
    test.insert(test.end(), rest.begin(), rest.end());
    auto res = run_sigma(sigma_setup(), ramp(30), test, interval_text(1, 100, 10));
    EXPECT_EQ(res.log[0], "INSERT INTO AREA_01 VALUES (7, 3, 0.000000)");
}

TEST(SigmaVector, RecordTriggerBeyondTwoBlocks)
{
    // Window start 25 with 10 scans a block: only two blocks are skipped, so the
    // comparison starts at record scan 20, which the wafer's scan 1 equals.
    auto res = run_sigma(sigma_setup(), ramp(50), ramp(31, 20), interval_text(25, 100, 10));
    EXPECT_EQ(res.log[0], "INSERT INTO AREA_01 VALUES (7, 3, 0.000000)");
    // Window start 5: record scan 5 is compared with wafer scan 1.
    res = run_sigma(sigma_setup(), ramp(30), ramp(26, 5), interval_text(5, 100, 10));
    EXPECT_EQ(res.log[0], "INSERT INTO AREA_01 VALUES (7, 3, 0.000000)");
}

TEST(SigmaVector, ValveHoldsKeepTheTracesInStep)
{
    // The wafer's valve opens one scan later than the record's: the record is held
    // one scan and the remaining scans compare equal.
    auto por = ramp(30);
    for (std::size_t i = 9; i < por.size(); ++i) por[i].valve = 1000;
    std::vector<Scan3> test(por.begin(), por.begin() + 9);
    test.push_back(por[8]);
    test.insert(test.end(), por.begin() + 9, por.end() - 1);
    auto res = run_sigma(sigma_setup(), por, test, interval_text(1, 100, 10));
    EXPECT_EQ(res.log[0], "INSERT INTO AREA_01 VALUES (7, 3, 0.000000)");
    // The same with the wafer one scan ahead: the wafer is held.
    std::vector<Scan3> ahead(por.begin(), por.begin() + 8);
    ahead.insert(ahead.end(), por.begin() + 9, por.end());
    ahead.push_back(por.back());
    res = run_sigma(sigma_setup(), por, ahead, interval_text(1, 100, 10));
    // Scan 9 differs by one ramp step (5 counts) before the valves disagree.
    EXPECT_EQ(res.log[0], "INSERT INTO AREA_01 VALUES (7, 3, 0.500000)");
    // A difference of exactly 200 counts holds nothing: 21 scans compared one step apart.
    for (std::size_t i = 9; i < por.size(); ++i) por[i].valve = 200;
    test.assign(por.begin(), por.begin() + 9);
    test.push_back(por[8]);
    test.insert(test.end(), por.begin() + 9, por.end() - 1);
    res = run_sigma(sigma_setup(), por, test, interval_text(1, 100, 10));
    EXPECT_EQ(res.log[0], "INSERT INTO AREA_01 VALUES (7, 3, 10.500000)");
}

TEST(SigmaVector, NoUsableTriggerGivesZero)
{
    auto test = ramp(30);
    for (auto& x : test) x.value += 10;
    auto never = test;
    for (auto& x : never) x.trig = 0;
    struct Case {
        const char* name;
        TraceSetup setup;
        std::vector<Scan3> scans;
    };
    TraceSetup none = sigma_setup();
    none.trigger = 0;
    TraceSetup unrecorded = sigma_setup();
    unrecorded.status_bits = 0b011;  // the trigger channel is not in the scans
    unrecorded.saved_channels = 2;
    unrecorded.derive_tables();
    TraceSetup flat = sigma_setup();
    flat.slope[3] = 0;
    const Case cases[] = {{"trigger off", none, test},
                          {"not met in two blocks", sigma_setup(), never},
                          {"trigger channel not recorded", unrecorded, test},
                          {"slope 0", flat, test}};
    for (const auto& c : cases) {
        auto res = run_sigma(c.setup, ramp(30), c.scans, interval_text(1, 100, 10));
        const std::vector<std::string> expected = {"INSERT INTO AREA_01 VALUES (7, 3, 0.000000)",
                                                   "check 1 4 0 0 (7, 3) 0.000000"};
        EXPECT_EQ(res.log, expected) << c.name;
    }
}

TEST(SigmaVector, ChoosingTheChannels)
{
    auto test = ramp(30);
    for (auto& x : test) x.value += 10;
    // Another rate code: nothing.
    EXPECT_TRUE(run_sigma(sigma_setup(), ramp(30), test, interval_text(1, 100, 5)).log.empty());
    // A tiny record sum: taken with 1000000 above 1e-9, not taken below.
    auto res = run_sigma(sigma_setup(), ramp(30), test, interval_text(1, 100, 10, "1 0 5e-7\n1 2 500\n1 0 0\n"));
    EXPECT_EQ(res.log[0], "INSERT INTO AREA_01 VALUES (7, 3, 1000000.000000)");
    EXPECT_TRUE(run_sigma(sigma_setup(), ramp(30), test, interval_text(1, 100, 10, "1 0 5e-10\n1 2 500\n1 0 0\n"))
                    .log.empty());
    // No sigma limit row: not taken.
    Recorder other;
    other.rows[{4, 0, 3, 0}] = {0, 0, 50};
    EXPECT_TRUE(run_sigma(sigma_setup(), ramp(30), test, interval_text(1, 100, 10), other).log.empty());
    // Two channels, in channel order, each with its own UCL.
    Recorder both;
    both.rows[{4, 0, 1, 0}] = {0, 0, 50};
    both.rows[{4, 0, 3, 0}] = {0, 0, 25};
    res = run_sigma(sigma_setup(), ramp(30), test, interval_text(1, 100, 10, "1 0 1000\n1 2 500\n1 0 300\n"), both);
    ASSERT_EQ(res.results.size(), 2u);
    EXPECT_EQ(res.results[1].channel, 3);
    EXPECT_EQ(res.results[1].ucl, 25);
    EXPECT_EQ(res.log[2], "INSERT INTO AREA_03 VALUES (7, 3, 0.000000)");
}

TEST(SigmaVector, UnflaggedChannelIsNotCompared)
{
    // Channel 1 is not in the record's scans: its line says so, and the record holds
    // only channels 2 and 3 (positions 1 and 2).
    TraceSetup s = sigma_setup();
    Recorder r;
    r.rows[{4, 0, 1, 0}] = {0, 0, 50};
    r.rows[{4, 0, 3, 0}] = {0, 0, 50};
    auto in = read_por_interval(interval_text(1, 100, 10, "0 0 1000\n1 2 500\n1 0 300\n"));
    ASSERT_TRUE(in);
    EXPECT_EQ(in->por_channels, 2);
    EXPECT_EQ(in->position[1], 0);
    EXPECT_EQ(in->position[3], 2);
    TraceSetup por_layout = ttest::plain_setup({2, 0}, 10, 10);
    TraceBuilder por(por_layout, 10, "09:30:00\n");
    for (int i = 0; i < 30; ++i) por.scan({{1, 0}, {2, 1000}});
    TraceBuilder test(s);
    for (int i = 0; i < 30; ++i) test.scan({{1, 77}, {2, 0}, {3, 1000}});
    auto results = test_sigma_vector(test.trace(), s, r, *in, por.bytes);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].channel, 3);
    EXPECT_EQ(r.log[0], "INSERT INTO AREA_03 VALUES (7, 3, 0.000000)");
}

TEST(SigmaVector, ReadingTheIntervalFile)
{
    auto in = read_por_interval("12\n340\n-5\n1 0 12.500\n0 2 0.000\n1 21 7.250\n");
    ASSERT_TRUE(in);
    EXPECT_EQ(in->window_start, 12);
    EXPECT_EQ(in->window_end, 340);
    EXPECT_EQ(in->rate_code, -5);
    EXPECT_EQ(in->lines, 3);
    EXPECT_EQ(in->por_channels, 2);
    EXPECT_EQ(in->position[2], 1);
    EXPECT_EQ(in->position[3], 2);
    EXPECT_DOUBLE_EQ(in->por_sum[3], 7.25);
    // A malformed line ends the reading instead of looping on it.
    in = read_por_interval("1\n2\n3\n1 0 5.0\nabc\n1 0 6.0\n");
    ASSERT_TRUE(in);
    EXPECT_EQ(in->lines, 1);
    // Never more than 32 channel lines.
    std::string many = "1\n2\n3\n";
    for (int i = 0; i < 40; ++i) many += "1 0 1.0\n";
    EXPECT_EQ(read_por_interval(many)->lines, 32);
    EXPECT_FALSE(read_por_interval("1\n2\n"));
}

}  // namespace
