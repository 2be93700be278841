// The libusb backend against the emulated board: reads cut short, cancelled, stalled, and link faults as the user meets them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

#include "board/usb_transport.h"
#include "platform/usb/libusb_backend.h"
#include "tests/board/board_fixture.h"

namespace {

using vtest::UsbFault;

class LibusbBoard : public vtest::BoardTest {
protected:
    void use_backend(const vusb::LibusbConfig& config)
    {
        close_usb_handle();
        vusb::set_backend(vusb::make_libusb_backend(config));
    }

    // Connection, low-rate firmware and the start command for one channel at `rate`; the information packet read.
    void start_board(int rate)
    {
        std::uint16_t bcd = 0;
        ASSERT_TRUE(connect_board(&bcd));
        ASSERT_EQ(downloadFirmware("qlx4usb.hex"), 1);
        auto command = vboard::build_start_command(rate, 0x1);
        std::uint32_t moved = 0;
        ASSERT_EQ(bulk_write(EP1_OUT.load(), command.data(), 10, &moved), 1);
        std::uint8_t info[64] = {};
        ASSERT_EQ(bulk_read(EP6_IN.load(), info, 64, &moved), 1);
        ASSERT_EQ(moved, 64u);
    }

    // Values of channel 1 in `bytes` read from the data pipe.
    static std::vector<int> values(const std::uint8_t* bytes, std::uint32_t count)
    {
        std::vector<int> v;
        for (std::uint32_t i = 0; i + 1 < count; i += 2) v.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
        return v;
    }
};

TEST_F(LibusbBoard, AReadEndedByItsTimeOutKeepsTheBytesThatCame)
{
    start_board(1000);
    // 300 scans (600 bytes) are ready: one whole 512-byte packet goes out, the rest waits for more.
    clock.advance(0.3);
    std::vector<std::uint8_t> block(2000);
    std::uint32_t moved = 0;
    ASSERT_EQ(bulk_read(EP6_IN.load(), block.data(), 2000, &moved), 1);
    ASSERT_EQ(moved, 512u);
    auto first = values(block.data(), moved);
    EXPECT_EQ(first.front(), vtest::coded(1, 0));
    EXPECT_EQ(first.back(), vtest::coded(1, 255));
    // The next read goes on where the board left off: nothing was lost.
    clock.advance(1.0);
    ASSERT_EQ(bulk_read(EP6_IN.load(), block.data(), 2000 - 512, &moved), 1);
    EXPECT_EQ(moved, 2000u - 512u);
    auto rest = values(block.data(), moved);
    EXPECT_EQ(rest.front(), vtest::coded(1, 256));
    EXPECT_EQ(rest.back(), vtest::coded(1, 999));
}

TEST_F(LibusbBoard, CancelEndsTheReadInFlightAtOnce)
{
    // A read time-out far beyond the test's patience: only the cancel can end the read.
    vusb::LibusbConfig slow;
    slow.read_timeout_ms = 120000;
    use_backend(slow);
    start_board(10);
    const std::size_t before = device->traffic().size();
    std::uint8_t block[20];
    auto read = std::async(std::launch::async, [&] {
        std::uint32_t moved = 0;
        return bulk_read(EP6_IN.load(), block, sizeof block, &moved);
    });
    // The read is in flight when the emulated device holds it.
    ASSERT_TRUE(pump_until([&] { return device->traffic().size() > before; }, 0.0, 500));
    ASSERT_EQ(device->traffic().back().endpoint, 0x86);
    vusb::usb_cancel_reads(hUSB.load());
    ASSERT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(read.get(), 0);
    // Writes still go, so the stop command can follow.
    std::uint8_t stop[8] = {};
    std::uint32_t moved = 0;
    EXPECT_EQ(bulk_write(EP1_OUT.load(), stop, 8, &moved), 1);
    EXPECT_EQ(moved, 8u);
}

TEST_F(LibusbBoard, AStalledEndpointIsClearedForTheNextTransfer)
{
    struct Case {
        std::uint8_t endpoint;
        bool write;
    };
    for (const Case c : {Case {0x86, false}, Case {0x81, false}, Case {0x01, true}}) {
        SCOPED_TRACE(static_cast<int>(c.endpoint));
        install(vusb::SimBoardConfig {});
        start_board(10);
        clock.advance(1.0);
        device->inject({UsbFault::Kind::Stall, c.endpoint, 0, 1});
        std::uint8_t buffer[64] = {};
        std::uint32_t moved = 0;
        auto transfer = [&] {
            if (c.write) return bulk_write(EP1_OUT.load(), buffer, 8, &moved);
            return bulk_read(c.endpoint == 0x86 ? EP6_IN.load() : EP1_IN.load(), buffer, 20, &moved);
        };
        EXPECT_EQ(transfer(), 0);
        EXPECT_EQ(transfer(), 1);
        EXPECT_GT(moved, 0u);
        close_usb_handle();
    }
}

TEST_F(LibusbBoard, LinkFaultsReachTheUserAsTheyDoOnTheSimulatedBoard)
{
    struct Case {
        const char* name;
        std::vector<UsbFault> faults;
        bool unplug_after_first_block;
        const char* caption;
        const char* text;
    };
    const Case cases[] = {
        {"CPU reset stalls", {{UsbFault::Kind::Stall, 0, 0, 1}}, false, "Driver Error", "Cannot reset cpu."},
        {"a firmware segment stalls", {{UsbFault::Kind::Stall, 0, 1, 1}}, false, "Driver Error",
         "Cannot find QLX4USB.HEX file."},
        {"start command stalls", {{UsbFault::Kind::Stall, 0x01, 0, 1}}, false, "Error", "Cannot send USB data."},
        {"no information packet", {{UsbFault::Kind::Silent, 0x86, 0, -1}}, false, "Error",
         "Cannot receive USB buffer flush."},
        {"data endpoint stalls for good", {{UsbFault::Kind::Stall, 0x86, 1, -1}}, false, "Error",
         "Cannot receive USB data block."},
        {"status never comes", {{UsbFault::Kind::Silent, 0x81, 0, -1}}, false, "Error", "Cannot receive USB status."},
        {"board unplugged", {}, true, "Error", "Cannot receive USB data block."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        install(vusb::SimBoardConfig {});
        for (const auto& f : c.faults) device->inject(f);
        enable(0x1, 10);
        ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
        if (c.unplug_after_first_block) {
            ASSERT_TRUE(pump_blocks(1));
            unplug();
        }
        ASSERT_TRUE(pump_until_thread_ends());
        EXPECT_EQ(VantrelStatus.load(), 200);
        auto shown = messages();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, c.caption);
        EXPECT_EQ(shown[0].text, c.text);
        EXPECT_EQ(hUSB.load(), vusb::kInvalidHandle);
        VantrelKillBufferedAnalogIn();
        EXPECT_TRUE(board_closed());
    }
}

TEST_F(LibusbBoard, OneStallOrSilenceInMidAcquisitionLosesNoScan)
{
    for (auto kind : {UsbFault::Kind::Stall, UsbFault::Kind::Silent}) {
        SCOPED_TRACE(kind == UsbFault::Kind::Stall ? "stall" : "silence");
        install(vusb::SimBoardConfig {});
        // The test's clock runs ahead of real time: the host's time-out must stay well inside the thread's patience.
        vusb::LibusbConfig quick;
        quick.read_timeout_ms = 50;
        use_backend(quick);
        device->inject({kind, 0x86, 3, 1});
        device->inject({kind, 0x81, 2, 1});
        enable(0x1, 10);
        ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
        ASSERT_TRUE(pump_blocks(5));
        for (int b = 0; b < 5; ++b) {
            void* buffer = nullptr;
            char fill = 0;
            ASSERT_EQ(VantrelGetBufferedAnalogInBinary(&buffer, &fill), 0);
            auto* v = static_cast<std::int16_t*>(buffer);
            for (int j = 0; j < 10; ++j) ASSERT_EQ(v[j], vtest::coded(1, static_cast<std::uint64_t>(b * 10 + j))) << b;
        }
        EXPECT_TRUE(messages().empty());
        VantrelKillBufferedAnalogIn();
    }
}

TEST_F(LibusbBoard, ABoardThatReEnumeratesAfterItsFirmwareStartsIsFoundAgain)
{
    using Leaving = vtest::EmulatedBoard::Leaving;
    struct Case {
        const char* name;
        Leaving leaving;
    };
    // A real board leaves within milliseconds; a loaded host may come to its next transfer before or after.
    for (const Case c : {Case {"gone before the start command", Leaving::BeforeNextTransfer},
                         Case {"leaves as the start command goes", Leaving::WhenTheHostNotices}}) {
        SCOPED_TRACE(c.name);
        install(vusb::SimBoardConfig {});
        // The firmware brings the board back as 04b4:1004, the id the user names (VANTREL_USB_ID).
        vusb::LibusbConfig ids;
        ids.ids.insert(ids.ids.begin(), {0x04B4, 0x1004});
        ids.reenumerate_timeout_ms = 60000;  // generous: the new node appears once the machine gets to it
        use_backend(ids);
        device->renumerate_after_firmware(0x1004, c.leaving);
        enable(0x5, 10);
        ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
        ASSERT_TRUE(pump_until([&] { return vboard::block_queue().ready_count() >= 2 || !messages().empty(); }));
        ASSERT_TRUE(messages().empty()) << messages()[0].text;
        for (int b = 0; b < 2; ++b) {
            void* buffer = nullptr;
            char fill = 0;
            ASSERT_EQ(VantrelGetBufferedAnalogInBinary(&buffer, &fill), 0);
            auto* v = static_cast<std::int16_t*>(buffer);
            EXPECT_EQ(v[0], vtest::coded(3, static_cast<std::uint64_t>(b * 10)));
            EXPECT_EQ(v[1], vtest::coded(1, static_cast<std::uint64_t>(b * 10)));
        }
        VantrelKillBufferedAnalogIn();
        EXPECT_TRUE(messages().empty());
        EXPECT_NE(VantrelStatus.load(), 200);
        // The stop command reached the board under its new address.
        EXPECT_EQ(board->stats().ep1_out.back().size(), 8u);
        EXPECT_FALSE(board->stats().running);
        EXPECT_TRUE(board_closed());
    }
}

// The capture in tests/fixtures/usb: made by tests/usb_emul/record_capture.sh from the acquisition below.
class LibusbCapture : public LibusbBoard {
protected:
    static std::string fixture() { return std::string(VANTREL_SOURCE_DIR) + "/tests/fixtures/usb/acquisition.pcap"; }

    // Channels 1 and 3 at 10 scans a second: three blocks taken, then the stop.
    void acquire()
    {
        enable(0x5, 10);
        ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
        ASSERT_TRUE(pump_blocks(3));
        for (int b = 0; b < 3; ++b) {
            void* buffer = nullptr;
            char fill = 0;
            ASSERT_EQ(VantrelGetBufferedAnalogInBinary(&buffer, &fill), 0);
            auto* v = static_cast<std::int16_t*>(buffer);
            for (int j = 0; j < 10; ++j) {
                const auto scan = static_cast<std::uint64_t>(b * 10 + j);
                ASSERT_EQ(v[2 * j], vtest::coded(3, scan)) << b;
                ASSERT_EQ(v[2 * j + 1], vtest::coded(1, scan)) << b;
            }
        }
        VantrelKillBufferedAnalogIn();
        EXPECT_NE(VantrelStatus.load(), 200);
        EXPECT_TRUE(messages().empty());
    }
};

TEST_F(LibusbCapture, Record)
{
    const char* path = std::getenv("VANTREL_RECORD_CAPTURE");
    if (path == nullptr) GTEST_SKIP() << "records only when tests/usb_emul/record_capture.sh asks";
    ASSERT_NO_FATAL_FAILURE(acquire());
    ASSERT_TRUE(vtest::write_capture(device->traffic(), path));
}

TEST_F(LibusbCapture, TheBackendReplaysTheRecordedAcquisition)
{
    // Every request must match the capture's next one (lengths, endpoints, command bytes), or the replay stalls.
    close_usb_handle();
    vusb::set_backend(nullptr);
    device.reset();  // one testbed at a time: the process has one mock root
    device = std::make_unique<vtest::EmulatedBoard>(vusb::SimBoardConfig {}, fixture());
    use_backend(vusb::LibusbConfig {});
    ASSERT_NO_FATAL_FAILURE(acquire()) << device->replay_mismatch();
    EXPECT_EQ(device->replay_left(), 0u) << device->replay_mismatch();
}

}  // namespace
