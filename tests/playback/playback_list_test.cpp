// The playback list: line format, reading back, and a writer that never leaves half a line.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "playback/playback_list.h"
#include "platform/sys/fault_plan.h"
#include "tests/support/temp_dir.h"

namespace {

std::string content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PlaybackList, LinesAreWrittenAndReadAsTheyStand)
{
    vtest::TempDir dir;
    const std::string path = dir.file("playback.tmp");
    ASSERT_TRUE(append_playback_line(path, {12, 3, 0.9, 2}));
    ASSERT_TRUE(append_playback_line(path, {-4, 1, 1234.56789, 0}));
    EXPECT_EQ(content(path), "12\t3\t0.9000 2\n-4\t1\t1234.5679 0\n");
    const auto lines = read_playback_list(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].run, -4);
    EXPECT_EQ(lines[1].wafer, 1);
    EXPECT_DOUBLE_EQ(lines[1].x, 1234.5679);
    EXPECT_EQ(lines[0].style, 2);
    EXPECT_TRUE(read_playback_list(dir.file("none.tmp")).empty());
}

TEST(PlaybackList, MalformedLinesAreSkipped)
{
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"1\t2\t3.0000 0", true}, {"1\t2\t3.0000 0\r", true}, {"1\t2\t3.0000", false},
        {"", false},              {"x\t2\t3.0 0", false},      {"1\t2\t3.0 0 junk", false},
        // Never a position that cannot be drawn, and never a decimal comma.
        {"1\t2\tnan 0", false},   {"1\t2\t1e400 0", false},    {"1\t2\t2,5 0", false},
        {"+4 1 1e1 0", true},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_playback_line(c.text).has_value(), c.ok) << c.text;
}

TEST(PlaybackList, AFailedWriteLeavesTheLinesBeforeIt)
{
    for (vsys::FileOp op : {vsys::FileOp::create, vsys::FileOp::write, vsys::FileOp::flush}) {
        vtest::TempDir dir;
        const std::string path = dir.file("playback.tmp");
        ASSERT_TRUE(append_playback_line(path, {1, 1, 0.0, 0}));
        vsys::set_fault_plan(vsys::FileFault {op});
        EXPECT_FALSE(append_playback_line(path, {1, 2, 6.0, 0}));
        vsys::clear_fault_plan();
        EXPECT_EQ(content(path), "1\t1\t0.0000 0\n");
        EXPECT_TRUE(append_playback_line(path, {1, 3, 7.0, 0}));
        EXPECT_EQ(read_playback_list(path).size(), 2u);
    }
}

}  // namespace
