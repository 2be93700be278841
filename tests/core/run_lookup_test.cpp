// Reading a run into a local record: the same values the run accessor loads into the current run, with the current run left alone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/config_store.h"
#include "core/globals.h"
#include "core/run_lookup.h"
#include "core/run_table.h"
#include "core/schema.h"
#include "platform/sys/format.h"
#include "tests/core/core_fixture.h"

namespace {

// What the accessor loads into the current run when it reads a row.
struct CurrentRun {
    int run, wafers, rate_index, rate, adc;
    unsigned mask;
    int saved, channels;
    std::string date, time;
    bool operator==(const CurrentRun&) const = default;
};

CurrentRun current_run()
{
    return {run_num, num_of_wafers, sample_rate_index, sample_rate, ADCBits, VantrelChannelStatusBits,
            saved_channels, channels, save_date, save_time};
}

void set_current_run(const CurrentRun& c)
{
    run_num = c.run;
    num_of_wafers = c.wafers;
    sample_rate_index = c.rate_index;
    sample_rate = c.rate;
    ADCBits = c.adc;
    VantrelChannelStatusBits = c.mask;
    saved_channels = static_cast<std::uint8_t>(c.saved);
    channels = static_cast<std::uint8_t>(c.channels);
    std::strcpy(save_date, c.date.c_str());
    std::strcpy(save_time, c.time.c_str());
}

const CurrentRun kAcquiring{77, 3, 5, 5, 0, 0x7u, 3, 8, "2026/12/01", "08.00.00"};

class RunLookup : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        int h = hdbc;
        ASSERT_EQ(check_tables(&h), 0);
        set_current_run(kAcquiring);
    }
    void add_run(int run, int wafers, int rate, const char* channel_text, const char* trace_id = "SYS:1")
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO VALUES (%d, %d, %d, 'SYS', 'ETCH', '%s', "
                                                   "'%s', '2026/03/01', '10:00:00', 'a note', 0, 1, 2)",
                                                   run, wafers, rate, trace_id, channel_text)),
                  0);
    }
};

struct RowCase {
    const char* name;
    int run, wafers, rate;
    const char* channels;
};

TEST_F(RunLookup, ReadsWhatTheAccessorLoadsAndLeavesTheCurrentRunAlone)
{
    const RowCase cases[] = {
        {"recorded run", 12, 4, 10, "U0000000003 02 10.0"},
        {"rate stored as 0", 13, 1, 0, "R0000000005 02 10.0"},
        {"slow rate", 14, 2, -5, "C3\x02"},
        {"more than 999 wafers", 15, 1200, 1, "N255\x08"},
        {"older digit form", 16, 1, 1, "X1100000000000000001"},
        {"process of record", -3, 1, 10, "U0000000001 01 10.0"},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.name);
        add_run(c.run, c.wafers, c.rate, c.channels);
        const RunRecord r = look_up_run(hdbc, c.run);
        EXPECT_EQ(current_run(), kAcquiring);
        ASSERT_TRUE(r.found);
        EXPECT_EQ(r.recipe, "ETCH");
        EXPECT_EQ(r.comment, "a note");
        EXPECT_EQ(r.complete, 1);
        EXPECT_EQ(r.cassette, 2);

        char system_id[17], recipe[33], trace_id[33], comment[65];
        short complete = 0, cassette = 0;
        ASSERT_EQ(info_table({hdbc, 3, c.run, system_id, recipe, trace_id, comment, &complete, &cassette}), 0);
        const CurrentRun loaded = current_run();
        const CurrentRun from_record{r.run, r.wafers, r.rate_index, r.rate, r.channels.adc_bits, r.channels.mask,
                                     r.channels.saved, r.channels.channels.value_or(kAcquiring.channels), r.date,
                                     r.time};
        EXPECT_EQ(from_record, loaded);
        EXPECT_EQ(r.trace_id, trace_id);
        EXPECT_EQ(r.system_id, system_id);
        set_current_run(kAcquiring);
    }
}

TEST_F(RunLookup, AMissingRunReadsAsNotFound)
{
    const RunRecord r = look_up_run(hdbc, 404);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.recipe, "NA");
    EXPECT_EQ(r.trace_id, "NA");
    EXPECT_EQ(r.date, "NA");
    EXPECT_EQ(current_run(), kAcquiring);
}

TEST_F(RunLookup, ByTraceIdWithAQuote)
{
    add_run(21, 2, 10, "U0000000003 02 10.0", "O''Hara:7");
    const RunRecord r = look_up_trace_id(hdbc, "O'Hara:7");
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.run, 21);
    EXPECT_EQ(r.wafers, 2);
    EXPECT_FALSE(look_up_trace_id(hdbc, "O'Hara:8").found);
}

// A reader never creates tables: a directory without a run table has no runs.
TEST_F(RunLookup, WithoutARunTableNothingIsFoundOrCreated)
{
    ASSERT_TRUE(std::filesystem::remove(dir.file("VT_INFO.DBF")));
    EXPECT_FALSE(look_up_run(hdbc, 1).found);
    EXPECT_FALSE(std::filesystem::exists(dir.file("VT_INFO.DBF")));
}

}  // namespace
