// Tests of the libusb backend's pure parts and of the board configuration from the environment.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/usb/libusb_backend.h"
#include "platform/usb/sim_board.h"
#include "platform/usb/usb_config.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Libusb, DeviceNames)
{
    EXPECT_EQ(vusb::device_index_from_name("\\\\.\\Ezusb-0"), 0);
    EXPECT_EQ(vusb::device_index_from_name("\\\\.\\Ezusb-31"), 31);
    EXPECT_FALSE(vusb::device_index_from_name("\\\\.\\Ezusb-"));
    EXPECT_FALSE(vusb::device_index_from_name("\\\\.\\Ezusb-1x"));
    EXPECT_FALSE(vusb::device_index_from_name("/dev/ezusb0"));
}

TEST(Libusb, UsbIds)
{
    auto id = vusb::parse_usb_id("04b4:8613");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->first, 0x04B4);
    EXPECT_EQ(id->second, 0x8613);
    for (const char* bad : {"", "04b4", ":8613", "04b4:", "04b4:86130", "zz:1", "4:8613x"})
        EXPECT_FALSE(vusb::parse_usb_id(bad)) << bad;
}

TEST(Libusb, ControlSetups)
{
    vusb::VendorRequest hold {vusb::kFirmwareLoadRequest, vusb::kCpuControlRegister, 0, 1, 0, 1};
    auto s = vusb::control_setup_for(hold);
    EXPECT_EQ(s.request_type, 0x40);
    EXPECT_EQ(s.request, 0xA0);
    EXPECT_EQ(s.value, 0xE600);
    EXPECT_EQ(s.index, 0);
    EXPECT_EQ(s.length, 1);
    hold.direction = 1;
    EXPECT_EQ(vusb::control_setup_for(hold).request_type, 0xC0);
    auto a = vusb::anchor_download_setup(0x1F00, 16);
    EXPECT_EQ(a.request_type, 0x40);
    EXPECT_EQ(a.request, 0xA0);
    EXPECT_EQ(a.value, 0x1F00);
    EXPECT_EQ(a.length, 16);
}

TEST(Libusb, StagingHoldsWholePackets)
{
    EXPECT_EQ(vusb::staging_length(2, 64), 64u);
    EXPECT_EQ(vusb::staging_length(512, 512), 512u);
    EXPECT_EQ(vusb::staging_length(600, 512), 1024u);
    EXPECT_EQ(vusb::staging_length(7, 0), 7u);
}

TEST(Libusb, VendorRequestRecordRoundTrips)
{
    vusb::VendorRequest r {0xA0, 0xE600, 0, 1, 0, 1};
    std::uint8_t record[vusb::kVendorRequestSize];
    vusb::encode_vendor_request(r, record);
    const std::uint8_t expected[] = {0xA0, 0, 0x00, 0xE6, 0, 0, 1, 0, 0, 1};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(record[i], expected[i]) << i;
    auto back = vusb::decode_vendor_request(record);
    EXPECT_EQ(back.value, 0xE600);
    EXPECT_EQ(back.data, 1);
}

class EnvironmentTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* name : {"VANTREL_BOARD", "VANTREL_SIM_SCENARIO", "VANTREL_SIM_SPEED", "VANTREL_USB_ID"})
            unsetenv(name);
        vsys::set_project_dir_override("");
        vusb::set_backend(nullptr);
    }
    vtest::SimulatedClock clock;
};

TEST_F(EnvironmentTest, ValuesAreChecked)
{
    struct Case {
        const char* name;
        const char* value;
        bool ok;
    };
    const Case cases[] = {
        {"VANTREL_BOARD", "sim", true},     {"VANTREL_BOARD", "libusb", true}, {"VANTREL_BOARD", "ezusb", false},
        {"VANTREL_SIM_SPEED", "60", true},  {"VANTREL_SIM_SPEED", "0", false}, {"VANTREL_SIM_SPEED", "fast", false},
        {"VANTREL_SIM_SPEED", "-2", false}, {"VANTREL_USB_ID", "04b4:1004", true}, {"VANTREL_USB_ID", "x", false},
    };
    for (const auto& c : cases) {
        setenv(c.name, c.value, 1);
        vusb::BoardEnvironment e;
        EXPECT_EQ(vusb::read_board_environment(e).ok, c.ok) << c.name << "=" << c.value;
        unsetenv(c.name);
    }
    vusb::BoardEnvironment e;
    ASSERT_TRUE(vusb::read_board_environment(e).ok);
    EXPECT_EQ(e.board, "sim");
    EXPECT_EQ(e.speed, 1.0);
}

TEST_F(EnvironmentTest, SimulatedBoardRunsTheScenario)
{
    vsys::set_project_dir_override(vtest::bin_dir());
    ASSERT_TRUE(vusb::configure_board_from_environment().ok);
    EXPECT_NE(std::dynamic_pointer_cast<vusb::SimBoard>(vusb::backend()), nullptr);

    setenv("VANTREL_SIM_SCENARIO", "/nonexistent/chamber.scenario", 1);
    vsys::Result r = vusb::configure_board_from_environment();
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("/nonexistent/chamber.scenario"), std::string::npos);
}

}  // namespace
