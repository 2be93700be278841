// Tests of the board API: status word, start refusals, the effective channel mask, takes and CPU time.
#include "board/board_api.h"
#include "platform/sys/process.h"
#include "tests/board/board_fixture.h"

namespace {

using vtest::BoardTest;

TEST_F(BoardTest, StartWithoutChannelsNeverTouchesTheBoard)
{
    enable(0, 10);
    EXPECT_EQ(VantrelStartBufferedAnalogIn(10), 3);
    EXPECT_EQ(VantrelStatus.load(), 3);
    EXPECT_TRUE(board->stats().opened_names.empty());
    EXPECT_FALSE(vboard::block_queue().allocated());
    EXPECT_TRUE(has_message("VantrelStartBufferedAnalogIn Error",
                            "Less than one data acquisition channel is active.  Cannot start data acquisition."));
}

TEST_F(BoardTest, ChannelsOutsideTheSetupDoNotCount)
{
    // Mask bits above `channels` are not channels of this setup.
    enable(0xF0000003, 10, 2);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    ASSERT_TRUE(pump_blocks(1));
    auto commands = board->stats().ep1_out;
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), (std::vector<std::uint8_t> {0x00, 0x01, 0x86, 0xA0, 2, 0, 0, 0, 0x03, 2}));
    EXPECT_EQ(vboard::block_queue().values_per_block(), 20u);
    enable(0x80000000, 10, 31);
    EXPECT_EQ(VantrelStartBufferedAnalogIn(10), 3);
}

TEST_F(BoardTest, BufferSizeFollowsTheEnabledChannels)
{
    enable((1u << 1) | (1u << 6), 1000);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(1000), 0);
    EXPECT_EQ(vboard::block_queue().values_per_block(), 2000u);
}

TEST_F(BoardTest, NoMemoryForTheBlocksGivesStatus2)
{
    enable(0x1, 10);
    vboard::block_queue().inject_allocation_failure();
    EXPECT_EQ(VantrelStartBufferedAnalogIn(10), 2);
    EXPECT_EQ(VantrelStatus.load(), 2);
    EXPECT_TRUE(has_message("VantrelStartBufferedAnalogIn Error", "Out of memory."));
    EXPECT_FALSE(transfer_thread_alive());
    EXPECT_FALSE(vboard::block_queue().allocated());
}

TEST_F(BoardTest, NoBoardGivesStatus7)
{
    vusb::SimBoardConfig config;
    config.device_indexes = {};
    install(config);
    EXPECT_EQ(VantrelInitialize(), 7);
    enable(0x1, 10);
    EXPECT_EQ(VantrelStartBufferedAnalogIn(10), 7);
    EXPECT_FALSE(transfer_thread_alive());
}

TEST_F(BoardTest, TakeWithNothingReadyLeavesThePointerAndSetsStatus5)
{
    EXPECT_EQ(VantrelInitialize(), 0);
    daq_block_error = 4;
    daq_scan_time = 37;
    int marker = 0;
    void* buffer = &marker;
    char fill = 0;
    EXPECT_EQ(VantrelGetBufferedAnalogInBinary(&buffer, &fill), 4);
    EXPECT_EQ(buffer, &marker);
    EXPECT_EQ(fill, 37);
    int full = 1;
    EXPECT_EQ(VantrelCheckBufferedAnalogIn(&full), 5);
    EXPECT_EQ(full, 0);
    EXPECT_EQ(VantrelInitialize(), 0);
}

TEST_F(BoardTest, KillIsSafeWhenNothingRuns)
{
    EXPECT_EQ(VantrelKillBufferedAnalogIn(), 1);
    EXPECT_EQ(VantrelKillBufferedAnalogIn(), 1);
    EXPECT_FALSE(vboard::block_queue().allocated());
}

TEST_F(BoardTest, RestartDeliversFreshBlocksOnly)
{
    enable(0x1, 10);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    ASSERT_TRUE(pump_blocks(2));
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    int full = 1;
    VantrelCheckBufferedAnalogIn(&full);
    EXPECT_EQ(full, 0);
    ASSERT_TRUE(pump_blocks(1));
    void* buffer = nullptr;
    char fill = 0;
    EXPECT_EQ(VantrelGetBufferedAnalogInBinary(&buffer, &fill), 0);
    // The new transfer starts its scans from 0 again.
    EXPECT_EQ(static_cast<std::int16_t*>(buffer)[0], vtest::coded(1, 0));
}

TEST(CpuTime, Hundredths)
{
    struct Case {
        std::uint64_t last_user, last_kernel, user, kernel;
        short expected;
    };
    const Case cases[] = {
        {0, 0, 10000000, 0, 100},
        {0, 0, 1500000, 1500000, 30},
        {0xFFFFFF00ULL, 0, 0x100000000ULL + 99744, 0, 1},             // low 32 bits wrap
        {0, 0xFFFF0000ULL, 0, 0x100000000ULL + 0xFFFF0000ULL, -22587},  // 42949 hundredths, cut to 16 bits
        {5, 5, 5, 5, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vboard::cpu_hundredths(c.last_user, c.last_kernel, c.user, c.kernel), c.expected);
}

TEST(CtrlKey, TheStateIsNegativeWhileTheKeyIsDown)
{
    vsys::set_ctrl_key_down(true);
    EXPECT_LT(GetCtrlKeyState(), 0);
    vsys::set_ctrl_key_down(false);
    EXPECT_GE(GetCtrlKeyState(), 0);
}

}  // namespace
