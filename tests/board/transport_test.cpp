// Tests of the transport: device search, connection set-up outcomes, the Intel HEX reader and the download.
#include <algorithm>
#include <cstdio>
#include <string>

#include "board/usb_transport.h"
#include "platform/sys/format.h"
#include "tests/board/board_fixture.h"

namespace {

using vtest::BoardTest;

std::string hex_record(unsigned address, unsigned type, const std::vector<unsigned>& data, int checksum_delta = 0)
{
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::string line = vsys::strprintf(":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    for (unsigned b : data) {
        line += vsys::strprintf("%02X", b);
        sum += b;
    }
    line += vsys::strprintf("%02X", (0x100 - (sum & 0xFF) + static_cast<unsigned>(checksum_delta)) & 0xFF);
    return line + "\n";
}

std::vector<unsigned> bytes(unsigned count, unsigned first = 0)
{
    std::vector<unsigned> v;
    for (unsigned i = 0; i < count; ++i) v.push_back((first + i) & 0xFF);
    return v;
}

const std::string kEnd = ":00000001FF\n";

struct HexRun {
    int result;
    HexSegmentList segments;
};

HexRun read_hex_text(const std::string& text, bool spaced = false)
{
    vtest::TempDir dir;
    std::string path = dir.write("image.hex", text);
    vsys::FilePtr file = vsys::open_file(path, "rb");
    HexRun run;
    run.result = intel_in(file.get(), run.segments, spaced);
    return run;
}

TEST_F(BoardTest, DeviceSearchTriesAllThirtyTwoNamesWhenNoneOpens)
{
    vusb::SimBoardConfig config;
    config.device_indexes = {};
    install(config);
    OpenCypressUSBHandle();
    EXPECT_EQ(hUSB.load(), vusb::kInvalidHandle);
    if (!via_libusb()) {  // the names reach the simulated board only on its own seam
        auto names = board->stats().opened_names;
        ASSERT_EQ(names.size(), 32u);
        EXPECT_EQ(names.front(), "\\\\.\\Ezusb-0");
        EXPECT_EQ(names.back(), "\\\\.\\Ezusb-31");
    }
    EXPECT_EQ(LookForQLX4USB(), -1);
    EXPECT_TRUE(has_message("Error", "Cannot find a valid QLX4USB device.  Please check USB cable."));
}

TEST_F(BoardTest, DeviceSearchStopsAtFirstBoardAndLookForClosesIt)
{
    vusb::SimBoardConfig config;
    config.device_indexes = {5, 7};
    install(config);
    EXPECT_EQ(LookForQLX4USB(), 0);
    EXPECT_EQ(hUSB.load(), vusb::kInvalidHandle);
    if (!via_libusb()) {
        EXPECT_EQ(board->stats().opened_names.size(), 6u);
    }
    EXPECT_TRUE(board_closed());
}

struct ConnectCase {
    const char* name;
    std::vector<vusb::SimFault> faults;
    std::vector<std::uint8_t> endpoints;
    bool present;
    const char* caption;  // nullptr: success
    const char* text;
};

TEST_F(BoardTest, ConnectionSetUpOutcomes)
{
    const std::vector<std::uint8_t> normal {0x01, 0x81, 0x86, 0x88};
    const ConnectCase cases[] = {
        {"success", {}, normal, true, nullptr, nullptr},
        {"no EP8 is fine", {}, {0x01, 0x81, 0x86}, true, nullptr, nullptr},
        {"no device", {}, normal, false, "Error", "Cannot find a valid QLX4USB device."},
        {"first pipe list", {{vusb::IOCTL_GET_PIPE_INFO, -1, 0, 1, false}}, normal, true, "Driver Error",
         "Cannot retrieve USB pipe info."},
        {"set interface", {{vusb::IOCTL_SET_INTERFACE, -1, 0, 1, false}}, normal, true, "Driver Error",
         "Cannot set USB interface."},
        {"second pipe list", {{vusb::IOCTL_GET_PIPE_INFO, -1, 1, 1, false}}, normal, true, "Driver Error",
         "Cannot retrieve USB pipe info."},
        {"no EP1 in", {}, {0x01, 0x86}, true, "USB Error", "USB EP 1 in not found."},
        {"no EP1 out", {}, {0x81, 0x86}, true, "USB Error", "USB EP 1 out not found."},
        {"no EP6 in", {}, {0x01, 0x81, 0x88}, true, "USB Error", "USB EP 6 in not found."},
        {"descriptor", {{vusb::IOCTL_GET_DEVICE_DESCRIPTOR, -1, 0, 1, false}}, normal, true, "Driver Error",
         "Cannot retrieve USB device info."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!std::all_of(c.faults.begin(), c.faults.end(), reaches_board)) continue;
        vusb::SimBoardConfig config;
        config.alt1_endpoints = c.endpoints;
        config.bcd_device = 0x0004;
        if (!c.present) config.device_indexes = {};
        install(config);
        boxes.clear();
        for (const auto& f : c.faults) board->inject(f);
        std::uint16_t bcd = 0;
        bool ok = connect_board(&bcd);
        if (c.caption == nullptr) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(bcd, 0x0004);
            EXPECT_NE(hUSB.load(), vusb::kInvalidHandle);
            EXPECT_TRUE(messages().empty());
            close_usb_handle();
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(hUSB.load(), vusb::kInvalidHandle);
            EXPECT_TRUE(board_closed());
            ASSERT_EQ(messages().size(), 1u);
            EXPECT_EQ(messages()[0].caption, c.caption);
            EXPECT_EQ(messages()[0].text, c.text);
        }
    }
}

TEST_F(BoardTest, LaterPipeOfTheSameEndpointWins)
{
    vusb::SimBoardConfig config;
    config.alt1_endpoints = {0x81, 0x01, 0x86, 0x81};
    install(config);
    std::uint16_t bcd = 0;
    ASSERT_TRUE(connect_board(&bcd));
    EXPECT_EQ(EP1_IN.load(), 3);
    EXPECT_EQ(EP1_OUT.load(), 1);
    EXPECT_EQ(EP6_IN.load(), 2);
    EXPECT_EQ(EP8_IN.load(), 255);
}

TEST(IntelHex, ReaderCases)
{
    struct Case {
        const char* name;
        std::string text;
        bool spaced;
        int result;
        std::vector<std::pair<unsigned, std::size_t>> segments;  // address, size
    };
    std::string full;
    for (unsigned a = 0; a < 4096 + 32; a += 16) full += hex_record(a, 0, bytes(16, a));
    std::string spaced = ": 02 0010 00 ABCD 76\n: 00 0000 01 FF\n";
    const Case cases[] = {
        {"two records merge", hex_record(0x100, 0, bytes(16)) + hex_record(0x110, 0, bytes(4)) + kEnd, false, 20,
         {{0x100, 20}}},
        {"gap starts a segment", hex_record(0x100, 0, bytes(4)) + hex_record(0x200, 0, bytes(4)) + kEnd, false, 8,
         {{0x100, 4}, {0x200, 4}}},
        {"a segment holds at most 4096 bytes", full + kEnd, false, 4096 + 32, {{0, 4096}, {4096, 32}}},
        {"only the last segment is joined",
         hex_record(0x100, 0, bytes(4)) + hex_record(0x200, 0, bytes(4)) + hex_record(0x104, 0, bytes(4)) + kEnd,
         false, 12, {{0x100, 4}, {0x200, 4}, {0x104, 4}}},
        {"other record types are skipped", hex_record(0, 0x03, {0, 0, 1, 0}) + hex_record(0x10, 0, bytes(2)) + kEnd,
         false, 2, {{0x10, 2}}},
        {"no end record", hex_record(0x100, 0, bytes(4)), false, -1, {{0x100, 4}}},
        {"blank line before the end", hex_record(0x100, 0, bytes(4)) + "\n" + kEnd, false, -1, {{0x100, 4}}},
        {"line without colon", "X" + hex_record(0x100, 0, bytes(4)).substr(1) + kEnd, false, -1, {}},
        {"checksum mismatch is a bad line", hex_record(0x100, 0, bytes(4), 1) + kEnd, false, -1, {}},
        {"not hex", ":04010000GG00000000\n" + kEnd, false, -1, {}},
        {"a line cut by the buffer", hex_record(0, 0, bytes(200)) + kEnd, false, -1, {}},
        {"spaced layout from a space in column 1", spaced, false, 2, {{0x10, 2}}},
        {"spaced layout forced", ": 01 0020 00 55 8A\n" + std::string(": 00 0000 01 FF\n"), true, 1, {{0x20, 1}}},
        {"extended segment base moves out of range",
         hex_record(0x0010, 0, bytes(2)) + hex_record(0, 0x02, {0x10, 0x00}) + hex_record(0x0010, 0, bytes(2)) + kEnd,
         false, 2, {{0x10, 2}}},
        {"extended segment base in range",
         hex_record(0, 0x02, {0x00, 0x10}) + hex_record(0x0010, 0, bytes(2)) + kEnd, false, 2, {{0x110, 2}}},
        {"extended linear address 1 is out of range",
         hex_record(0x0010, 0, bytes(2)) + hex_record(0, 0x04, {0x00, 0x01}) + hex_record(0x0000, 0, bytes(2)) + kEnd,
         false, 2, {{0x10, 2}}},
        {"extended linear address 0 keeps data in place",
         hex_record(0, 0x04, {0x00, 0x00}) + hex_record(0x0010, 0, bytes(2)) + kEnd, false, 2, {{0x10, 2}}},
        {"extended linear address replaces the segment base",
         hex_record(0, 0x02, {0x00, 0x10}) + hex_record(0, 0x04, {0x00, 0x00}) + hex_record(0x0010, 0, bytes(2)) + kEnd,
         false, 2, {{0x10, 2}}},
        {"extended linear address record too short", hex_record(0, 0x04, {0x01}) + kEnd, false, -1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> shown;
        vsys::set_message_box_handler([&](const std::string& caption, const std::string& text) {
            shown.push_back(caption + "|" + text);
        });
        HexRun run = read_hex_text(c.text, c.spaced);
        vsys::set_message_box_handler(nullptr);
        EXPECT_EQ(run.result, c.result);
        ASSERT_EQ(run.segments.size(), c.segments.size());
        for (std::size_t i = 0; i < c.segments.size(); ++i) {
            EXPECT_EQ(run.segments[i].address, c.segments[i].first);
            EXPECT_EQ(run.segments[i].bytes.size(), c.segments[i].second);
        }
        bool out_of_range = std::string(c.name).find("out of range") != std::string::npos;
        EXPECT_EQ(shown.size(), out_of_range ? 1u : 0u);
        if (out_of_range) {
            EXPECT_EQ(shown[0], "Driver Error|Error loading file: address out of range.");
        }
    }
    HexSegmentList none;
    EXPECT_EQ(intel_in(nullptr, none, false), 0);
}

TEST(IntelHex, DataBytesKeepTheirOrder)
{
    HexRun run = read_hex_text(hex_record(0x40, 0, {0xDE, 0xAD}) + hex_record(0x42, 0, {0xBE, 0xEF}) + kEnd);
    ASSERT_EQ(run.segments.size(), 1u);
    EXPECT_EQ(run.segments[0].bytes, (std::vector<std::uint8_t> {0xDE, 0xAD, 0xBE, 0xEF}));
}

class DownloadTest : public BoardTest {
protected:
    void open_board()
    {
        std::uint16_t bcd = 0;
        ASSERT_TRUE(connect_board(&bcd));
    }
};

TEST_F(DownloadTest, ShippedImagesStartTheirPersonality)
{
    const std::pair<const char*, vusb::Personality> images[] = {{"qlx4usb.hex", vusb::Personality::LowRate},
                                                                {"qlx4hiusb.hex", vusb::Personality::HighRate},
                                                                {"cal_read.hex", vusb::Personality::CalRead}};
    for (const auto& [file, personality] : images) {
        SCOPED_TRACE(file);
        open_board();
        EXPECT_EQ(downloadFirmware(file), 1);
        EXPECT_NE(hUSB.load(), vusb::kInvalidHandle);
        EXPECT_EQ(board->stats().personality, personality);
        EXPECT_FALSE(board->stats().in_reset);
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, FailureOutcomes)
{
    vtest::TempDir dir;
    dir.write("qlx4usb.hex", hex_record(0x100, 0, bytes(16)) + hex_record(0x1FF8, 0, bytes(16)) + kEnd);
    dir.write("foreign.hex", hex_record(0x100, 0, bytes(16)) + kEnd);
    dir.write("three.hex", hex_record(0x000, 0, bytes(16)) + hex_record(0x400, 0, bytes(16)) +
                               hex_record(0x800, 0, bytes(16)) + kEnd);
    struct Case {
        const char* name;
        const char* file;
        std::vector<vusb::SimFault> faults;
        const char* text;
        bool handle_open;
        bool in_reset;
    };
    const Case cases[] = {
        {"reset refused", "three.hex", {{vusb::IOCTL_VENDOR_REQUEST, -1, 0, 1, false}}, "Cannot reset cpu.", false,
         false},
        {"file missing", "absent.hex", {}, "Cannot open hex file for download.", false, true},
        {"middle segment fails", "three.hex", {{vusb::IOCTL_ANCHOR_DOWNLOAD, -1, 1, 1, false}},
         "Cannot find QLX4USB.HEX file.", false, true},
        {"run refused", "three.hex", {{vusb::IOCTL_VENDOR_REQUEST, -1, 1, 1, false}}, "Cannot run cpu.", false, true},
        {"segment crossing the limit", "qlx4usb.hex", {}, "Cannot load to address 0x1FF8.  Download aborted.", true,
         true},
    };
    vsys::set_project_dir_override(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        board->clear_faults();
        open_board();
        for (const auto& f : c.faults) board->inject(f);
        EXPECT_EQ(downloadFirmware(c.file), 0);
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_EQ(messages()[0].text, c.text);
        EXPECT_EQ(hUSB.load() != vusb::kInvalidHandle, c.handle_open);
        EXPECT_EQ(board->stats().in_reset, c.in_reset);
        close_usb_handle();
    }
    // An image without the board's identification downloads but leaves the board silent.
    open_board();
    EXPECT_EQ(downloadFirmware("foreign.hex"), 1);
    EXPECT_EQ(board->stats().personality, vusb::Personality::Silent);
}

}  // namespace
