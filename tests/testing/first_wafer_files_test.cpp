// The result tables the first tested wafer creates in a fresh directory, pinned byte for byte (but for the day).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/trace_file.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "testing/trace_test.h"
#include "tests/testing/testing_fixture.h"
#include "tests/sql/sql_fixture.h"
#include "tests/testing/trace_builder.h"
#include "tests/support/fnv1a.h"

namespace {

constexpr int kChannels = 8;
constexpr int kRate = 10;
constexpr int kSeconds = 60;
constexpr int kRun = 1;
constexpr int kWafer = 1;
constexpr int kProcess = 3;

using vtest::fnv1a;

class FirstWaferFiles : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        ASSERT_EQ(check_tables(&hdbc), 0);
        std::filesystem::create_directories(dir.file("SC_DATA"));
        provide_testing_seams({});
        charts.install();
        // Channels 1 and 2 follow the set-points on 3 and 4 through two steps; 5 and 6 are valves,
        // 7 and 8 plain signals; two timers run from a set-point to a valve.
        channels = kChannels;
        VantrelChannelStatusBits = 0xFF;
        saved_channels = kChannels;
        sample_rate = kRate;
        sample_rate_index = kRate;
        ADCBits = 0;
        for (int c = 1; c <= kChannels; ++c) {
            channel_type[c] = c <= 2 ? 1 : (c == 5 || c == 6) ? 2 : 0;
            channel_slope[c] = 1638.4;
            channel_inter[c] = 0;
            steps_per_process[c] = c <= 2 ? 2 : 0;
            step_set_channel[c] = static_cast<signed char>(c <= 2 ? c + 2 : 0);
        }
        for (int c = 1; c <= 2; ++c)
            for (int step = 1; step <= 2; ++step) charts.limits[{1, 4, c, step}] = {90, -100, 110};
        // Sigma-vector limits of the plain signals.
        for (int c = 7; c <= 8; ++c) charts.limits[{4, 0, c, 0}] = {0, 0, 1000};
        timer_status_bit = 0x3;
        timer_start_logic_bit = timer_end_logic_bit = 0xFFFF;
        for (int t = 1; t <= 2; ++t) {
            timer_start_channel[t] = static_cast<std::uint8_t>(2 + t);
            timer_end_channel[t] = static_cast<std::uint8_t>(4 + t);
            // Half-way up each signal: 2000 and 1000 counts, well clear of the hysteresis.
            timer_start_val[t] = 1000;
            timer_end_val[t] = 500;
            timer_start_gun[t] = timer_end_gun[t] = 2;
        }
        // The process window opens with channel 7, which is always up.
        trigger = 1;
        trig_ch = 7;
        trig_log = 1;
        trig_val = 0.1;
        delay = 5;
        char name[33] = "ETCH";
        get_put_char(hdbc, 1, kProcess, CONFIG_WRITE, name);
        recipe_num = kProcess;
    }
    void TearDown() override
    {
        provide_testing_seams({});
        timer_status_bit = 0;
        trigger = 0;
        trig_ch = 0;
        for (int c = 1; c <= kChannels; ++c) steps_per_process[c] = step_set_channel[c] = 0;
        CoreTest::TearDown();
    }
    // Set-points on for 10 s in every 15, step channels following with a first-order lag; the same
    // trace is the process of record, over its whole length.
    void write_wafer(const vtest::TempDir& in, int wafer = kWafer)
    {
        std::filesystem::create_directories(in.file("SC_DATA"));
        const std::vector<unsigned char> bytes = trace("09:30:00 2026/03/14\n");
        std::ofstream(in.file(vsys::strprintf("SC_DATA/%.8d.%.3d", kRun, wafer)), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        const std::vector<unsigned char> por = trace("09:30:00\n");
        std::ofstream(por_trace_path(in.path(), kProcess), std::ios::binary)
            .write(reinterpret_cast<const char*>(por.data()), static_cast<std::streamsize>(por.size()));
        std::string interval = vsys::strprintf("1\n%d\n%d\n", kSeconds * kRate, kRate);
        for (int c = 1; c <= kChannels; ++c) interval += "1 0 1000.000\n";
        std::ofstream(interval_path(in.path(), kProcess), std::ios::binary) << interval;
    }
    std::vector<unsigned char> trace(const char* header)
    {
        const TraceSetup s = setup_from_globals();
        ttest::TraceBuilder t(s, header);
        double lag[3] = {};
        for (int scan = 0; scan < kSeconds * kRate; ++scan) {
            const double time = static_cast<double>(scan) / kRate;
            std::map<int, int> v;
            for (int c = 3; c <= 4; ++c) v[c] = std::fmod(time + c, 15.0) < 10.0 ? 3000 : 0;
            for (int c = 1; c <= 2; ++c) {
                lag[c] += (v[c + 2] - lag[c]) * 0.2;
                v[c] = static_cast<int>(lag[c]);
            }
            for (int c = 5; c <= 6; ++c) v[c] = std::fmod(time, 6.0 + c) < 3.0 ? 2000 : 0;
            for (int c = 7; c <= 8; ++c) v[c] = static_cast<int>(1000 + 200 * std::sin(time * c));
            t.scan(v);
        }
        return t.bytes;
    }
    std::set<std::string> tables() const
    {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(vt_dir))
            if (e.path().extension() == ".DBF") names.insert(e.path().filename().string());
        return names;
    }
    ttest::FakeCharts charts;
    short block[kChannels * kRate] = {};
};

TEST_F(FirstWaferFiles, TablesOfTheFirstWaferAreStoredByteForByte)
{
    write_wafer(dir);
    const std::set<std::string> before = tables();
    test_trace(block, kRun, kWafer, -1, 3, "LOT", "ETCH", 0, 0);
    struct Pinned {
        std::uintmax_t size;
        std::uint64_t hash;
    };
    // As the files were before table creation was made cheaper; the day in the header is left out.
    const std::map<std::string, Pinned> want = {
        {"AREA_07.DBF", {168, 0x7b838579bc074bb5ull}},
        {"AREA_08.DBF", {168, 0x7b838579bc074bb5ull}},
        {"OTHER_03.DBF", {321, 0x911643989d50ffbaull}},
        {"OTHER_04.DBF", {321, 0x911643989d50ffbaull}},
        {"OTHER_07.DBF", {321, 0x4d7ac3477f955488ull}},
        {"OTHER_08.DBF", {321, 0x4721cb678e274a4bull}},
        {"STEP0101.DBF", {321, 0x01940596a512e19dull}},
        {"STEP0102.DBF", {321, 0xfa0299536388792bull}},
        {"STEP0201.DBF", {321, 0xab789c1c0b8c1bc3ull}},
        {"STEP0202.DBF", {321, 0xfa0299536388792bull}},
        {"STPM0101.DBF", {219, 0xdb895e020872b9fbull}},
        {"STPM0102.DBF", {219, 0xdb895e020872b9fbull}},
        {"STPM0201.DBF", {219, 0xdb895e020872b9fbull}},
        {"STPM0202.DBF", {219, 0xdb895e020872b9fbull}},
        {"TIMER_01.DBF", {168, 0x75c3845ce54f88e1ull}},
        {"TIMER_02.DBF", {168, 0x4c2021fd000b5cfeull}},
    };
    std::map<std::string, Pinned> got;
    for (const std::string& name : tables()) {
        if (before.count(name)) continue;
        std::ifstream in(dir.file(name), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GE(bytes.size(), 4u) << name;
        bytes[1] = bytes[2] = bytes[3] = '\0';
        got[name] = {bytes.size(), fnv1a(bytes)};
    }
    ASSERT_EQ(got.size(), want.size());
    for (const auto& [name, p] : want) {
        ASSERT_TRUE(got.count(name)) << name;
        EXPECT_EQ(got[name].size, p.size) << name;
        EXPECT_EQ(got[name].hash, p.hash) << name;
    }
}

// A disk failing while a result table is made or first written: a row is either in the table or was
// reported lost, the file stays readable, and the next wafer writes its row into the same table.
TEST_F(FirstWaferFiles, AFailingDiskLosesOnlyReportedRowsAndTheNextWaferWritesItsOwn)
{
    const std::string kTable = "OTHER_07.DBF";
    for (vsys::FileOp op : {vsys::FileOp::write, vsys::FileOp::flush, vsys::FileOp::seek}) {
        int nth = 1;
        for (; nth < 40; ++nth) {
            SCOPED_TRACE(vsys::strprintf("op %d, call %d", static_cast<int>(op), nth));
            // A fresh working directory for each case: the table is made by this wafer.
            vtest::TempDir fresh;
            DBDisconnect(hdbc);
            vt_dir = fresh.path();
            hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + fresh.path()).c_str());
            ASSERT_EQ(check_tables(&hdbc), 0);
            write_wafer(fresh, 1);
            write_wafer(fresh, 2);
            bool reported = false;
            {
                vsys::FaultPlanScope plan{vsys::FileFault(op, nth, false, kTable)};
                SqlErrorCapture errors;
                test_trace(block, kRun, 1, -1, 3, "LOT", "ETCH", 0, 0);
                reported = errors.any();
                if (vsys::fault_plan_strikes() == 0) {
                    EXPECT_FALSE(reported);
                    break;
                }
            }
            const bool made = std::filesystem::exists(fresh.file(kTable));
            const std::string first = made ? vtest::read_with_dbfread(fresh.file(kTable)) : "";
            EXPECT_NE(first, "<dbfread failed>");
            EXPECT_EQ(first.find("1|1|") != std::string::npos, !reported) << first;
            if (hdbc < 0) {
                // A table that could not be made gives up the connection; the program connects again.
                EXPECT_FALSE(made);
                hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + fresh.path()).c_str());
            }
            SqlErrorCapture errors;
            test_trace(block, kRun, 2, -1, 3, "LOT", "ETCH", 0, 0);
            EXPECT_FALSE(errors.any()) << errors.first();
            const std::string both = vtest::read_with_dbfread(fresh.file(kTable));
            EXPECT_EQ(both.find("1|1|") != std::string::npos, !reported) << both;
            EXPECT_NE(both.find("1|2|"), std::string::npos) << both;
            EXPECT_EQ(rows("SELECT COUNT(*) FROM OTHER_07"), reported ? "1" : "2");
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(nth, 1) << "no call of op " << static_cast<int>(op) << " was made";
    }
}

}  // namespace
