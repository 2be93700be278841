// The stored trace files: names, the header line as recording, the process-of-record builder and damaged files have it, and the block writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/trace_file.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "platform/sys/files.h"
#include "tests/support/case_label.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(TraceFile, Names)
{
    EXPECT_EQ(wafer_trace_path("/w", 42, 7), "/w/SC_DATA/00000042.007");
    EXPECT_EQ(wafer_trace_path("/w", 99999999, 999), "/w/SC_DATA/99999999.999");
    EXPECT_EQ(wafer_trace_base("/w", 42) + "007", wafer_trace_path("/w", 42, 7));
    EXPECT_EQ(por_trace_path("/w", 3), "/w/00000003.POR");
    EXPECT_EQ(interval_path("/w", 9000), "/w/00009000.INT");
}

struct HeaderCase {
    const char* name;
    std::string bytes;
    std::size_t end;
    int fields;
    const char* time;
    const char* date;
    bool dotted;
};

const HeaderCase kHeaders[] = {
    {"wafer trace", std::string("09.30.01 2026/03/14\n\x01\x02", 22), 20, 2, "09.30.01", "2026/03/14", true},
    {"process of record", "09:30:01\n\x01", 9, 1, "09:30:01", "", false},
    {"blanks around the words", "  09.30.01   2026/03/14  \n", 26, 2, "09.30.01", "2026/03/14", true},
    {"blank line", "   \nXY", 4, -1, "", "", false},
    {"no newline", "09.30.01", 8, 1, "09.30.01", "", true},
    {"empty file", "", 0, -1, "", "", false},
    {"line longer than the limit", std::string(130, 'a') + "\n", 126, 1, "", "", false},
    {"a NUL ends the words, not the line", std::string("09.30.01\0 X\n", 12), 12, 1, "09.30.01", "", true},
};

class Header : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(Header, FromBytesAndFromAFileAlike)
{
    const HeaderCase& c = GetParam();
    const TraceHeader h = parse_trace_header(c.bytes);
    EXPECT_EQ(h.end, c.end);
    EXPECT_EQ(h.fields, c.fields);
    if (*c.time) {
        EXPECT_EQ(h.time, c.time);
    }
    EXPECT_EQ(h.date, c.date);
    EXPECT_EQ(h.dotted, c.dotted);

    vtest::TempDir dir;
    vsys::FilePtr f = vsys::open_file(dir.write("trace", c.bytes), "rb");
    ASSERT_TRUE(f);
    const std::optional<TraceHeader> read = read_trace_header(f.get());
    if (c.bytes.empty()) {
        EXPECT_FALSE(read);
        return;
    }
    ASSERT_TRUE(read);
    EXPECT_EQ(read->end, c.end);
    EXPECT_EQ(read->fields, c.fields);
    EXPECT_EQ(read->time, h.time);
    // The file is left where the first block begins.
    EXPECT_EQ(std::ftell(f.get()), static_cast<long>(c.end));
}

INSTANTIATE_TEST_SUITE_P(Table, Header, ::testing::ValuesIn(kHeaders), vtest::ByCaseName());

TEST(TraceFile, ColonTime)
{
    EXPECT_EQ(colon_time("09.30.01"), "09:30:01");
    EXPECT_EQ(colon_time("09:30:01"), "09:30:01");
    EXPECT_EQ(colon_time("9."), "9.");
    EXPECT_EQ(colon_time("0930"), "09:0");
}

TEST(TraceFile, WrittenHeaderAndBlocksReadBack)
{
    vtest::TempDir dir;
    const std::string path = dir.file("00000001.001");
    const std::int16_t raw[4] = {1, -2, 3, -4};
    const std::int32_t trailer[5] = {10, 20, 30, 40, 50};
    {
        vsys::FilePtr f = vsys::open_file(path, "wb");
        ASSERT_TRUE(write_trace_header(f.get(), "09.30.01", "2026/03/14"));
        ASSERT_TRUE(write_trace_block(f.get(), raw, 4, trailer));
        ASSERT_TRUE(write_trace_block(f.get(), raw, 4, trailer));
    }
    auto size = vsys::file_size(path);
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, 20u + 2 * (sizeof raw + kBlockTrailerBytes));
    vsys::FilePtr f = vsys::open_file(path, "rb");
    const std::optional<TraceHeader> h = read_trace_header(f.get());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->time, "09.30.01");
    EXPECT_EQ(h->date, "2026/03/14");
    std::int16_t back[4] = {};
    ASSERT_EQ(std::fread(back, sizeof back, 1, f.get()), 1u);
    EXPECT_EQ(back[3], -4);
}

// A full disk shows at the flush of the block: the writer says so.
TEST(TraceFile, ABlockThatCannotBeWrittenIsReported)
{
    const std::int16_t raw[2] = {1, 2};
    const std::int32_t trailer[5] = {};
    EXPECT_FALSE(write_trace_block(nullptr, raw, 2, trailer));
    EXPECT_FALSE(write_trace_header(nullptr, "09.30.01", "2026/03/14"));
    vsys::FilePtr full = vsys::open_file("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no /dev/full here";
    EXPECT_FALSE(write_trace_block(full.get(), raw, 2, trailer));
}

// The trace writer under a failing disk: each failing write, flush or seek is
// reported, and the file keeps its header and whole blocks only.
TEST(TraceFile, EveryFailingWriteFlushOrSeekIsReportedAndLeavesWholeBlocks)
{
    const std::int16_t raw[6] = {1, -2, 3, -4, 5, -6};
    const std::int32_t trailer[5] = {};
    const std::uint64_t block = sizeof raw + kBlockTrailerBytes;
    for (vsys::FileOp op : {vsys::FileOp::write, vsys::FileOp::flush, vsys::FileOp::seek}) {
        int nth = 1;
        for (;; ++nth) {
            SCOPED_TRACE(vsys::strprintf("op %d, call %d", static_cast<int>(op), nth));
            vtest::TempDir dir;
            std::string why;
            vsys::FilePtr f = create_trace_file(dir.file("00000001.001"), why);
            ASSERT_TRUE(f) << why;
            vsys::set_fault_plan({op, nth});
            // The waiting file's life: header, block, rewound and written again, then blocks appended.
            bool ok = write_trace_header(f.get(), "09.30.01", "2026/03/14") && write_trace_block(f.get(), raw, 6, trailer);
            ok = ok && rewind_trace_file(f.get()) && write_trace_header(f.get(), "09.30.02", "2026/03/14") &&
                 write_trace_block(f.get(), raw, 6, trailer);
            int appended = 0;
            while (ok && appended < 3) {
                ok = write_trace_block(f.get(), raw, 6, trailer);
                if (ok) ++appended;
            }
            const bool hit = vsys::fault_plan_strikes() > 0;
            vsys::clear_fault_plan();
            EXPECT_EQ(ok, !hit);
            f.reset();
            const std::uint64_t size = vsys::file_size(dir.file("00000001.001")).value_or(0);
            if (!hit) {
                EXPECT_EQ(size, 20u + 4 * block);
                break;
            }
            EXPECT_TRUE(size == 0 || (size >= 20 && (size - 20) % block == 0)) << size;
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(nth, 1) << "op " << static_cast<int>(op);
    }
}

}  // namespace
