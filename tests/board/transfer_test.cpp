// Tests of the transfer thread: commands, unpacking, fill level, ordering, overrun, stop and failure paths.
#include <algorithm>

#include "board/transfer.h"
#include "platform/sys/thread_pool.h"
#include "tests/board/board_fixture.h"

namespace {

using vtest::BoardTest;
using vtest::coded;

TEST(StartCommand, Bytes)
{
    struct Case {
        int rate;
        std::uint32_t mask;
        std::array<std::uint8_t, 10> bytes;
    };
    const Case cases[] = {
        {1, 0x1, {0x00, 0x0F, 0x42, 0x40, 1, 0, 0, 0, 0x01, 1}},
        {3, 0x1, {0x00, 0x01, 0x86, 0xA0, 1, 0, 0, 0, 0x01, 1}},
        {10, 0x6, {0x00, 0x01, 0x86, 0xA0, 2, 0, 0, 0, 0x06, 3}},
        {250, 0xFF, {0x00, 0x00, 0x0F, 0xA0, 8, 0, 0, 0, 0xFF, 8}},
        {1000, 0x80000005, {0x00, 0x00, 0x03, 0xE8, 3, 0x80, 0, 0, 0x05, 32}},
        {10000, 0xFFFFFFFF, {0x00, 0x00, 0x00, 0x64, 32, 0xFF, 0xFF, 0xFF, 0xFF, 32}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(vboard::build_start_command(c.rate, c.mask), c.bytes);
    }
    const std::pair<int, std::uint32_t> periods[] = {{2, 500000}, {4, 250000}, {5, 200000}, {20, 50000},
                                                     {25, 40000}, {40, 25000}, {50, 20000}, {100, 10000},
                                                     {200, 5000}, {500, 2000}, {2000, 500}, {4000, 250},
                                                     {5000, 200}, {8000, 125}, {7, 100000}, {3000, 100000}};
    for (const auto& [rate, period] : periods) EXPECT_EQ(vboard::sampling_period_us(rate), period) << rate;
}

TEST(FifoFill, Formula)
{
    struct Case {
        std::uint8_t error, level, base, fill;
    };
    const Case cases[] = {
        {0, 155, 55, 50},  {0, 55, 55, 0},    {0, 255, 55, 100}, {3, 60, 55, 100}, {0, 10, 55, 0},
        {0, 255, 255, 100}, {0, 254, 255, 0}, {0, 128, 0, 50},   {0, 0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vboard::fifo_fill_percent(c.error, c.level, c.base), c.fill)
            << int(c.error) << " " << int(c.level) << " " << int(c.base);
}

TEST(WideScan, UnpacksEnabledChannelsHighestFirst)
{
    std::uint8_t packet[64];
    for (int i = 0; i < 64; ++i) packet[i] = static_cast<std::uint8_t>(i);
    std::int16_t out[3] = {};
    vboard::unpack_wide_scan(packet, 0x80000005, out);
    EXPECT_EQ(out[0], (63 << 8) | 62);
    EXPECT_EQ(out[1], (5 << 8) | 4);
    EXPECT_EQ(out[2], (1 << 8) | 0);
}

struct Taken {
    std::vector<std::int16_t> values;
    int error;
    int fill;
};

class TransferTest : public BoardTest {
protected:
    Taken take(std::size_t values)
    {
        void* buffer = nullptr;
        char fill = 0;
        int error = VantrelGetBufferedAnalogInBinary(&buffer, &fill);
        Taken t {{}, error, static_cast<unsigned char>(fill)};
        if (buffer != nullptr) {
            auto* p = static_cast<std::int16_t*>(buffer);
            t.values.assign(p, p + values);
        }
        return t;
    }

    // Checks that `block` holds scans first..first+rate-1 of the enabled channels, highest first.
    static void expect_scans(const Taken& block, std::uint32_t mask, int rate, std::uint64_t first)
    {
        std::vector<int> channels;
        for (int c = 32; c >= 1; --c)
            if (mask & (1u << (c - 1))) channels.push_back(c);
        ASSERT_EQ(block.values.size(), channels.size() * static_cast<std::size_t>(rate));
        for (int j = 0; j < rate; ++j)
            for (std::size_t k = 0; k < channels.size(); ++k)
                ASSERT_EQ(block.values[static_cast<std::size_t>(j) * channels.size() + k],
                          coded(channels[k], first + static_cast<std::uint64_t>(j)))
                    << "scan " << j << " value " << k;
    }
};

TEST_F(TransferTest, LowAndHighRatesDeliverScansInOrder)
{
    struct Case {
        int rate;
        std::uint32_t mask;
    };
    for (const Case c : {Case {10, 0x80000005}, Case {1000, 0x0000F00F}, Case {2000, 0x80000005}, Case {2000, 0xFFFFFFFF}}) {
        SCOPED_TRACE(c.rate);
        enable(c.mask, c.rate);
        ASSERT_EQ(VantrelStartBufferedAnalogIn(c.rate), 0);
        ASSERT_TRUE(pump_blocks(3));
        std::size_t values = static_cast<std::size_t>(c.rate) * static_cast<std::size_t>(vboard::channel_count(c.mask));
        for (int b = 0; b < 3; ++b) {
            Taken t = take(values);
            EXPECT_EQ(t.error, 0);
            expect_scans(t, c.mask, c.rate, static_cast<std::uint64_t>(b * c.rate));
        }
        EXPECT_EQ(VantrelKillBufferedAnalogIn(), 0);
        EXPECT_FALSE(transfer_thread_alive());
        EXPECT_TRUE(board_closed());
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(TransferTest, StalledConsumerKeepsOrderAndDropsTheOldest)
{
    enable(0x3, 1);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(1), 0);
    const std::size_t total = vboard::kQueueBlocks + 5;
    ASSERT_TRUE(pump_until([&] {
        return vboard::block_queue().ready_count() + vboard::block_queue().dropped() >= total;
    }, 1.0));
    // The queue holds a minute and more; what did not fit went oldest first.
    const std::uint64_t dropped = vboard::block_queue().dropped();
    EXPECT_GE(dropped, 4u);
    Taken first = take(2);
    EXPECT_EQ(first.error, 10);
    expect_scans(first, 0x3, 1, dropped);
    for (std::uint64_t b = dropped + 1; b < dropped + 20; ++b) {
        Taken t = take(2);
        EXPECT_EQ(t.error, 0);
        expect_scans(t, 0x3, 1, b);
    }
}

TEST_F(TransferTest, ATakenBlockIsNotOverwrittenBeforeTheNextTake)
{
    enable(0x1, 10);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    ASSERT_TRUE(pump_blocks(1));
    void* held = nullptr;
    char fill = 0;
    VantrelGetBufferedAnalogInBinary(&held, &fill);
    std::vector<std::int16_t> copy(static_cast<std::int16_t*>(held), static_cast<std::int16_t*>(held) + 10);
    // Far enough that the queue wraps and has to drop blocks.
    ASSERT_TRUE(pump_until([] { return vboard::block_queue().dropped() >= 2; }, 1.0));
    EXPECT_EQ(std::vector<std::int16_t>(static_cast<std::int16_t*>(held), static_cast<std::int16_t*>(held) + 10), copy);
}

TEST_F(TransferTest, StopInMidBlockHandsNothingOverAndStillStopsTheBoard)
{
    enable(0x1, 10);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    ASSERT_TRUE(pump_until([&] { return board->stats().running; }));
    clock.advance(0.55);
    for (int i = 0; i < 5; ++i) real_pause();
    VantrelKillBufferedAnalogIn();
    EXPECT_FALSE(transfer_thread_alive());
    EXPECT_EQ(bQLX4USBActiveThread.load(), 0);
    int full = 1;
    VantrelCheckBufferedAnalogIn(&full);
    EXPECT_EQ(full, 0);
    auto stats = board->stats();
    EXPECT_FALSE(stats.running);
    EXPECT_TRUE(board_closed());
    ASSERT_GE(stats.ep1_out.size(), 2u);
    // No block completed: the stop command is the information packet's first 8 bytes.
    EXPECT_EQ(stats.ep1_out.back(), (std::vector<std::uint8_t> {'V', 'A', 'N', 'T', 'R', 'E', 'L', 'S'}));
    EXPECT_EQ(VantrelStatus.load(), 0);
    EXPECT_TRUE(messages().empty());
}

TEST_F(TransferTest, StopCommandCarriesTheLastStatusBytes)
{
    enable(0x1, 5);
    board->inject_block_error(0, 3);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(5), 0);
    ASSERT_TRUE(pump_blocks(1));
    Taken t = take(5);
    EXPECT_EQ(t.error, 3);
    EXPECT_EQ(t.fill, 100);
    VantrelKillBufferedAnalogIn();
    auto last = board->stats().ep1_out.back();
    ASSERT_EQ(last.size(), 8u);
    EXPECT_EQ(last[0], 3);
}

struct FailureCase {
    const char* name;
    int rate;
    std::uint16_t bcd;
    bool high_speed;
    std::vector<vusb::SimFault> faults;
    bool unplug_after_first_block;
    const char* caption;
    const char* text;
};

TEST_F(TransferTest, FailurePathsEndWithStatus200)
{
    const FailureCase cases[] = {
        {"CPLD 1.0", 10, 1, true, {}, false, "QLX4USB Error", nullptr},
        {"revision A above 1000", 2000, 2, true, {}, false, "Vantrel Sample Rate Error", nullptr},
        {"start command short", 10, 3, true, {{vusb::IOCTL_BULK_WRITE, 0x01, 0, 1, true}}, false, "Error",
         "Cannot send USB data."},
        {"no information packet", 10, 3, true, {{vusb::IOCTL_BULK_READ, 0x86, 0, -1, false}}, false, "Error",
         "Cannot receive USB buffer flush."},
        {"full-speed link above 1000", 2000, 3, false, {}, false, "USB Error",
         "The USB port that the QLX4USB is connected to is not USB 2.0 compliant.  Since USB 2.0 is required for "
         "sample rates greater than 1000 samples/sec/channel, please reduce the sample rate or find a USB 2.0 port."},
        {"data reads fail", 10, 3, true, {{vusb::IOCTL_BULK_READ, 0x86, 1, -1, false}}, false, "Error",
         "Cannot receive USB data block."},
        {"status reads fail", 10, 3, true, {{vusb::IOCTL_BULK_READ, 0x81, 0, -1, false}}, false, "Error",
         "Cannot receive USB status."},
        {"board unplugged", 10, 3, true, {}, true, "Error", "Cannot receive USB data block."},
        {"firmware refused", 10, 3, true, {{vusb::IOCTL_ANCHOR_DOWNLOAD, -1, 0, 1, false}}, false, "Driver Error",
         "Cannot find QLX4USB.HEX file."},
        {"pipe list", 10, 3, true, {{vusb::IOCTL_GET_PIPE_INFO, -1, 0, 1, false}}, false, "Driver Error",
         "Cannot retrieve USB pipe info."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!std::all_of(c.faults.begin(), c.faults.end(), reaches_board)) continue;
        vusb::SimBoardConfig config;
        config.bcd_device = c.bcd;
        config.high_speed = c.high_speed;
        install(config);
        for (const auto& f : c.faults) board->inject(f);
        enable(0x1, c.rate);
        ASSERT_EQ(VantrelStartBufferedAnalogIn(c.rate), 0);
        if (c.unplug_after_first_block) {
            ASSERT_TRUE(pump_blocks(1));
            unplug();
        }
        ASSERT_TRUE(pump_until_thread_ends());
        EXPECT_EQ(VantrelStatus.load(), 200);
        int full = 0;
        EXPECT_EQ(VantrelCheckBufferedAnalogIn(&full), 200);
        auto shown = messages();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, c.caption);
        if (c.text) {
            EXPECT_EQ(shown[0].text, c.text);
        }
        // The status word said 200 before the box was raised.
        EXPECT_EQ(shown[0].status, 200);
        EXPECT_EQ(hUSB.load(), vusb::kInvalidHandle);
        VantrelKillBufferedAnalogIn();
        EXPECT_FALSE(transfer_thread_alive());
    }
}

TEST_F(TransferTest, NoMemoryForTheTransferBufferEndsTheThread)
{
    enable(0x1, 10);
    vboard::inject_transfer_buffer_failure();
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    ASSERT_TRUE(pump_until_thread_ends());
    EXPECT_EQ(VantrelStatus.load(), 200);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].caption, "Error");
    EXPECT_EQ(messages()[0].text, "Out of memory.");
    EXPECT_EQ(messages()[0].status, 200);
    EXPECT_EQ(hUSB.load(), vusb::kInvalidHandle);
}

TEST_F(TransferTest, RevisionAIsFineUpToOneThousand)
{
    vusb::SimBoardConfig config;
    config.bcd_device = 2;
    install(config);
    enable(0x1, 1000);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(1000), 0);
    ASSERT_TRUE(pump_blocks(1));
    EXPECT_TRUE(messages().empty());
}

TEST_F(TransferTest, FailedStopCommandSetsStatus200)
{
    enable(0x1, 10);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    ASSERT_TRUE(pump_blocks(1));
    board->inject({vusb::IOCTL_BULK_WRITE, 0x01, 0, -1, false});
    VantrelKillBufferedAnalogIn();
    EXPECT_EQ(VantrelStatus.load(), 200);
    EXPECT_TRUE(has_message("Error", "Cannot send USB data."));
    EXPECT_EQ(hUSB.load(), vusb::kInvalidHandle);
}

TEST_F(TransferTest, AThreadThatCannotStartSetsStatus200)
{
    enable(0x1, 10);
    vsys::inject_thread_start_failure(true);
    EXPECT_EQ(VantrelStartBufferedAnalogIn(10), 200);
    vsys::inject_thread_start_failure(false);
    EXPECT_EQ(VantrelStatus.load(), 200);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].status, 200);
    EXPECT_FALSE(transfer_thread_alive());
}

TEST_F(TransferTest, ASecondStartWhileAThreadLivesIsRefused)
{
    enable(0x1, 10);
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    EXPECT_EQ(StartQLX4USBTransfer(vboard::TransferParams {10, 0x1}), 200);
    EXPECT_TRUE(transfer_thread_alive());
}

// Sped up, the queue holds four wall-clock seconds of blocks; at the real pace, a minute.
TEST(QueueSize, HoldsAMinuteOrFourWallClockSecondsOfBlocks)
{
    EXPECT_EQ(vboard::queue_blocks(1.0), vboard::kQueueBlocks);
    EXPECT_EQ(vboard::queue_blocks(10.0), vboard::kQueueBlocks);
    for (double speed : {20.0, 60.0, 100.0, 250.0}) EXPECT_GE(static_cast<double>(vboard::queue_blocks(speed)), 4 * speed) << speed;
}

}  // namespace
