// Tests of the simulated board through the driver seam: set-up rules, personalities, pacing, FIFO, calibration.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/usb/sim_board.h"
#include "tests/support/temp_dir.h"

namespace {

using vusb::SimBoard;
using vusb::SimBoardConfig;

constexpr std::uint32_t kPipeOut = 0, kPipeIn1 = 1, kPipeIn6 = 2;

class SimBoardTest : public ::testing::Test {
protected:
    void make(SimBoardConfig config = {})
    {
        board = std::make_shared<SimBoard>(std::move(config));
        handle = board->open("\\\\.\\Ezusb-0");
        ASSERT_NE(handle, vusb::kInvalidHandle);
    }

    int call(std::uint32_t code, const void* in, std::uint32_t in_length, void* out, std::uint32_t out_length,
             std::uint32_t* moved = nullptr)
    {
        std::uint32_t dummy = 0;
        return board->ioctl(handle, code, in, in_length, out, out_length, moved ? moved : &dummy);
    }

    int cpu(std::uint8_t hold)
    {
        vusb::VendorRequest r {vusb::kFirmwareLoadRequest, vusb::kCpuControlRegister, 0, 1, 0, hold};
        std::uint8_t record[vusb::kVendorRequestSize];
        vusb::encode_vendor_request(r, record);
        return call(vusb::IOCTL_VENDOR_REQUEST, record, sizeof record, nullptr, 0);
    }

    int download(std::uint16_t address, const std::string& bytes)
    {
        std::uint8_t where[2] = {static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8)};
        std::string copy = bytes;
        return call(vusb::IOCTL_ANCHOR_DOWNLOAD, where, 2, copy.data(), static_cast<std::uint32_t>(copy.size()));
    }

    void boot(char personality)
    {
        const std::uint8_t alt[2] = {0, 1};
        ASSERT_EQ(call(vusb::IOCTL_SET_INTERFACE, alt, 2, nullptr, 0), 1);
        ASSERT_EQ(cpu(1), 1);
        ASSERT_EQ(download(0x1F00, std::string(vusb::kFirmwareMarker) + personality), 1);
        ASSERT_EQ(cpu(0), 1);
    }

    int write(std::uint32_t pipe, std::vector<std::uint8_t> bytes, std::uint32_t* moved = nullptr)
    {
        return call(vusb::IOCTL_BULK_WRITE, &pipe, 4, bytes.data(), static_cast<std::uint32_t>(bytes.size()), moved);
    }

    int read(std::uint32_t pipe, std::vector<std::uint8_t>& into, std::uint32_t length)
    {
        into.assign(length, 0);
        std::uint32_t moved = 0;
        int ok = call(vusb::IOCTL_BULK_READ, &pipe, 4, into.data(), length, &moved);
        into.resize(moved);
        return ok;
    }

    // Start command for one channel (channel 1) at the given period.
    static std::vector<std::uint8_t> start_command(std::uint32_t period_us, std::uint32_t mask, int n, int highest)
    {
        return {static_cast<std::uint8_t>(period_us >> 24), static_cast<std::uint8_t>(period_us >> 16),
                static_cast<std::uint8_t>(period_us >> 8), static_cast<std::uint8_t>(period_us),
                static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(mask >> 24),
                static_cast<std::uint8_t>(mask >> 16), static_cast<std::uint8_t>(mask >> 8),
                static_cast<std::uint8_t>(mask), static_cast<std::uint8_t>(highest)};
    }

    vtest::SimulatedClock clock;
    std::shared_ptr<SimBoard> board;
    vusb::Handle handle = vusb::kInvalidHandle;
};

TEST_F(SimBoardTest, PipeListsFollowTheAlternateSetting)
{
    make();
    std::uint8_t info[vusb::kPipeInfoBufferSize];
    ASSERT_EQ(call(vusb::IOCTL_GET_PIPE_INFO, nullptr, 0, info, sizeof info), 1);
    std::uint32_t pipes = 0;
    std::memcpy(&pipes, info + vusb::kPipeCountOffset, 4);
    EXPECT_EQ(pipes, 0u);
    const std::uint8_t alt[2] = {0, 1};
    ASSERT_EQ(call(vusb::IOCTL_SET_INTERFACE, alt, 2, nullptr, 0), 1);
    ASSERT_EQ(call(vusb::IOCTL_GET_PIPE_INFO, nullptr, 0, info, sizeof info), 1);
    std::memcpy(&pipes, info + vusb::kPipeCountOffset, 4);
    ASSERT_EQ(pipes, 4u);
    const std::uint8_t expected[] = {0x01, 0x81, 0x86, 0x88};
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(info[vusb::kPipeRecordsOffset + p * vusb::kPipeRecordSize + vusb::kPipeEndpointOffset], expected[p]);
}

TEST_F(SimBoardTest, DescriptorCarriesTheRevision)
{
    SimBoardConfig config;
    config.bcd_device = 0x0102;
    make(config);
    std::uint8_t d[18] = {};
    ASSERT_EQ(call(vusb::IOCTL_GET_DEVICE_DESCRIPTOR, d, 18, d, 18), 1);
    EXPECT_EQ(d[0], 18);
    EXPECT_EQ(d[12], 0x02);
    EXPECT_EQ(d[13], 0x01);
}

TEST_F(SimBoardTest, FirmwareGoesInOnlyWhileHeldInResetAndBelow0x2000)
{
    make();
    EXPECT_EQ(download(0x0000, "ab"), 0);
    ASSERT_EQ(cpu(1), 1);
    EXPECT_EQ(download(0x0000, "ab"), 1);
    EXPECT_EQ(download(0x1FFF, "a"), 1);
    EXPECT_EQ(download(0x1FFF, "ab"), 0);
    EXPECT_EQ(download(0x2000, "a"), 0);
    ASSERT_EQ(cpu(0), 1);
    EXPECT_EQ(board->stats().personality, vusb::Personality::Silent);
    EXPECT_EQ(download(0x0000, "ab"), 0);
}

TEST_F(SimBoardTest, ImageWithoutIdentificationLeavesTheBoardSilent)
{
    SimBoardConfig config;
    config.read_timeout = 1.0;
    make(config);
    const std::uint8_t alt[2] = {0, 1};
    ASSERT_EQ(call(vusb::IOCTL_SET_INTERFACE, alt, 2, nullptr, 0), 1);
    ASSERT_EQ(cpu(1), 1);
    ASSERT_EQ(download(0x0100, "some other program"), 1);
    ASSERT_EQ(cpu(0), 1);
    EXPECT_EQ(write(kPipeOut, start_command(100000, 1, 1, 1)), 1);
    std::atomic<int> result {-1};
    std::thread reader([&] {
        std::vector<std::uint8_t> got;
        result = read(kPipeIn6, got, 64);
    });
    for (int i = 0; i < 1000 && result.load() < 0; ++i) {
        clock.advance(0.5);
        int calls = 0;
        vsys::wait_until_clock(1e300, [&] { return ++calls > 1; });
    }
    reader.join();
    EXPECT_EQ(result.load(), 0);  // no information packet: the read times out on the clock
}

TEST_F(SimBoardTest, StartCommandIsValidated)
{
    struct Case {
        const char* name;
        char personality;
        std::vector<std::uint8_t> command;
        bool accepted;
    };
    const Case cases[] = {
        {"good", 'L', start_command(100000, 0x5, 2, 3), true},
        {"count disagrees with mask", 'L', start_command(100000, 0x5, 3, 3), false},
        {"wrong highest channel", 'L', start_command(100000, 0x5, 2, 4), false},
        {"empty mask", 'L', start_command(100000, 0, 0, 0), false},
        {"too fast for the low-rate firmware", 'L', start_command(500, 0x1, 1, 1), false},
        {"fast is fine for the high-rate firmware", 'H', start_command(100, 0x1, 1, 1), true},
        {"period zero", 'H', start_command(0, 0x1, 1, 1), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        make();
        boot(c.personality);
        EXPECT_EQ(write(kPipeOut, c.command), 1);
        EXPECT_EQ(board->stats().running, c.accepted);
        EXPECT_EQ(board->stats().start_rejected, !c.accepted);
    }
}

TEST_F(SimBoardTest, BlocksArePacedByTheClockAndEndWithStatus)
{
    make();
    boot('L');
    ASSERT_EQ(write(kPipeOut, start_command(100000, 0x80000001, 2, 32)), 1);  // 10 scans per block, 40 bytes
    std::vector<std::uint8_t> got;
    ASSERT_EQ(read(kPipeIn6, got, 64), 1);
    ASSERT_EQ(got.size(), 64u);
    EXPECT_EQ(got[10], 0x80);  // high-speed link
    EXPECT_EQ(got[11], 55);    // FIFO base

    std::atomic<bool> done {false};
    std::vector<std::uint8_t> block;
    std::thread reader([&] {
        read(kPipeIn6, block, 1000);  // asks for more than a block: ends at the block end
        done = true;
    });
    clock.advance(0.55);
    for (int i = 0; i < 5; ++i) {
        int calls = 0;
        vsys::wait_until_clock(1e300, [&] { return ++calls > 1; });
    }
    EXPECT_FALSE(done.load());
    clock.advance(0.45);
    reader.join();
    ASSERT_EQ(block.size(), 40u);
    // Highest channel first, little-endian counts.
    std::int16_t first = static_cast<std::int16_t>(block[0] | (block[1] << 8));
    std::int16_t second = static_cast<std::int16_t>(block[2] | (block[3] << 8));
    EXPECT_GT(first, second);
    std::vector<std::uint8_t> status;
    ASSERT_EQ(read(kPipeIn1, status, 2), 1);
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[0], 0);
    EXPECT_EQ(status[1], 55);  // everything read: the FIFO is at its base
}

TEST_F(SimBoardTest, FifoOverflowDropsWholeBlocksAndReportsIt)
{
    SimBoardConfig config;
    config.fifo_capacity = 3 * 20;  // three blocks of 10 scans x 1 channel
    make(config);
    boot('L');
    ASSERT_EQ(write(kPipeOut, start_command(100000, 0x1, 1, 1)), 1);
    std::vector<std::uint8_t> got;
    ASSERT_EQ(read(kPipeIn6, got, 64), 1);
    clock.advance(10.0);  // the host does not read for ten seconds
    std::vector<std::uint8_t> status;
    for (int b = 0; b < 3; ++b) {
        ASSERT_EQ(read(kPipeIn6, got, 20), 1);
        ASSERT_EQ(got.size(), 20u);
        ASSERT_EQ(read(kPipeIn1, status, 2), 1);
        EXPECT_EQ(status[0], 0) << b;
    }
    auto stats = board->stats();
    EXPECT_EQ(stats.blocks_admitted, 3u);
    EXPECT_EQ(stats.blocks_dropped, 8u);  // blocks 3 to 10
    clock.advance(2.0);
    ASSERT_EQ(read(kPipeIn6, got, 20), 1);
    ASSERT_EQ(read(kPipeIn1, status, 2), 1);
    EXPECT_EQ(status[0], vusb::kFifoOverflowError);
    EXPECT_GT(status[1], 55);
}

TEST_F(SimBoardTest, CancelEndsAPendingReadAndWritesStillWork)
{
    make();
    boot('L');
    ASSERT_EQ(write(kPipeOut, start_command(1000000, 0x1, 1, 1)), 1);
    std::vector<std::uint8_t> got;
    ASSERT_EQ(read(kPipeIn6, got, 64), 1);
    std::atomic<int> result {-1};
    std::thread reader([&] {
        std::vector<std::uint8_t> block;
        result = read(kPipeIn6, block, 2);
    });
    board->cancel_reads(handle);
    reader.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(read(kPipeIn1, got, 2), 0);
    std::uint32_t moved = 0;
    EXPECT_EQ(write(kPipeOut, std::vector<std::uint8_t>(8, 0), &moved), 1);
    EXPECT_EQ(moved, 8u);
    EXPECT_FALSE(board->stats().running);
}

TEST_F(SimBoardTest, UnplugFailsEveryLaterCall)
{
    make();
    board->unplug();
    std::uint8_t d[18];
    EXPECT_EQ(call(vusb::IOCTL_GET_DEVICE_DESCRIPTOR, d, 18, d, 18), 0);
    EXPECT_EQ(board->open("\\\\.\\Ezusb-0"), vusb::kInvalidHandle);
}

TEST_F(SimBoardTest, CalibrationPagesAnswerFromTheAdapters)
{
    SimBoardConfig config;
    config.adapters[3] = vusb::AdapterKind::Absent;
    make(config);
    boot('C');
    std::vector<std::uint8_t> got;
    ASSERT_EQ(read(kPipeIn1, got, 64), 1);
    EXPECT_TRUE(got.empty());  // nothing waiting
    auto record = vusb::adapter_record(2, vusb::AdapterKind::Present);
    for (std::uint8_t page = 0; page < 2; ++page) {
        ASSERT_EQ(write(kPipeOut, {2, page}), 1);
        ASSERT_EQ(read(kPipeIn1, got, 64), 1);
        ASSERT_EQ(got.size(), 64u);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), record.begin() + 64 * page));
    }
    ASSERT_EQ(write(kPipeOut, {3, 0}), 1);
    ASSERT_EQ(read(kPipeIn1, got, 64), 1);
    EXPECT_EQ(got, std::vector<std::uint8_t>(64, 0));
}

TEST_F(SimBoardTest, FaultsSkipThenFailOrShortenTransfers)
{
    make();
    boot('L');
    board->inject({vusb::IOCTL_BULK_WRITE, 0x01, 1, 2, false});
    board->inject({vusb::IOCTL_BULK_WRITE, 0x01, 0, 1, true});
    std::uint32_t moved = 0;
    EXPECT_EQ(write(kPipeOut, {1, 2}, &moved), 1);  // skipped by the first, caught by the second
    EXPECT_EQ(moved, 1u);
    EXPECT_EQ(write(kPipeOut, {1, 2}, &moved), 0);
    EXPECT_EQ(write(kPipeOut, {1, 2}, &moved), 0);
    EXPECT_EQ(write(kPipeOut, {1, 2}, &moved), 1);
    EXPECT_EQ(moved, 2u);
}

TEST(AdapterCurve, RoundTrips)
{
    for (double degrees : {0.0, 25.0, 150.0, 300.0})
        EXPECT_NEAR(vusb::adapter_degrees(vusb::adapter_volts(degrees)), degrees, 1e-9);
}

// The sped-up board keeps at least two wall-clock seconds of the highest rate; at speed 1 it is the board's own 8 MB.
TEST(SimBoardFifo, HoldsTwoWallClockSecondsOfTheHighestRateAtAnySpeed)
{
    constexpr double kHighestBytesPerSecond = 32 * 2 * 10000.0;
    EXPECT_EQ(vusb::fifo_capacity_for_speed(1.0), 8u * 1024 * 1024);
    EXPECT_EQ(vusb::fifo_capacity_for_speed(0.5), 8u * 1024 * 1024);
    for (double speed : {20.0, 60.0, 100.0, 1000.0})
        EXPECT_GE(static_cast<double>(vusb::fifo_capacity_for_speed(speed)), 2 * kHighestBytesPerSecond * speed) << speed;
}

}  // namespace
