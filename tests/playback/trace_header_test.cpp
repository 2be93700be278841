// The trace file header reader on headers as the recording, the process-of-record builder and odd files write them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/sys/files.h"
#include "playback/trace_header.h"
#include "tests/support/case_label.h"
#include "tests/support/temp_dir.h"

namespace {

struct HeaderCase {
    const char* name;
    std::string content;
    int result;
    const char* time;
    const char* date;
    int dotted;
    long position;  // file position afterwards
};

const HeaderCase kCases[] = {
    {"recording header", std::string("09.30.01 2026/03/14\n") + std::string("\x01\x02", 2), 2, "09:30:01",
     "2026/03/14", 1, 20},
    {"process-of-record header", "09:30:01\nXY", 1, "09:30:01", "", 0, 9},
    {"colons and a date", "09:30:01 2026/03/14\n", 2, "09:30:01", "2026/03/14", 0, 20},
    {"leading blanks", "   09.30.01   2026/03/14\n", 2, "09:30:01", "2026/03/14", 1, 25},
    {"blank line", "    \n", -1, "", "", 0, 5},
    {"line longer than 126 characters", std::string(130, 'a') + "\n", 1, "aa:aa:aaaaaaaaa", "", 0, 126},
};

class Header : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(Header, ReadsTimeDateAndLeavesTheFileAfterTheLine)
{
    const HeaderCase& c = GetParam();
    vtest::TempDir dir;
    const std::string path = dir.write("trace", c.content);
    vsys::FilePtr f = vsys::open_file(path, "rb");
    ASSERT_TRUE(f);
    char time[64] = "old time", date[64] = "old date", dotted = 7;
    EXPECT_EQ(GetTimeAndDateFromBin(f.get(), time, date, &dotted), c.result);
    EXPECT_EQ(std::string(time).substr(0, std::strlen(c.time)), c.time);
    if (c.time[0] == '\0') {
        EXPECT_STREQ(time, "");
    }
    EXPECT_STREQ(date, c.date);
    EXPECT_EQ(dotted, c.dotted);
    EXPECT_EQ(std::ftell(f.get()), c.position);
}

INSTANTIATE_TEST_SUITE_P(Table, Header, ::testing::ValuesIn(kCases), vtest::ByCaseName());

TEST(HeaderReader, NoFileOrNoLineChangesNothing)
{
    char time[64] = "keep", date[64] = "keep", dotted = 5;
    EXPECT_EQ(GetTimeAndDateFromBin(nullptr, time, date, &dotted), 0);
    vtest::TempDir dir;
    vsys::FilePtr f = vsys::open_file(dir.write("empty", ""), "rb");
    EXPECT_EQ(GetTimeAndDateFromBin(f.get(), time, date, &dotted), 0);
    EXPECT_STREQ(time, "keep");
    EXPECT_STREQ(date, "keep");
    EXPECT_EQ(dotted, 5);
}

}  // namespace
