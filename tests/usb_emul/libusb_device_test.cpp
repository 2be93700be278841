// The libusb backend's driver calls against the emulated board, one by one.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/usb/libusb_backend.h"
#include "tests/support/temp_dir.h"
#include "tests/usb_emul/emulated_board.h"

namespace {

class LibusbDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!vtest::EmulatedBoard::available()) GTEST_SKIP() << "needs LD_PRELOAD=libumockdev-preload.so.0";
        sim = std::make_shared<vusb::SimBoard>(config);
        device = std::make_unique<vtest::EmulatedBoard>(sim, config);
        backend = vusb::make_libusb_backend(vusb::LibusbConfig {});
    }

    void TearDown() override
    {
        backend.reset();
        device.reset();
    }

    int call(vusb::Handle h, std::uint32_t code, const void* in, std::uint32_t in_length, void* out,
             std::uint32_t out_length, std::uint32_t* returned)
    {
        return backend->ioctl(h, code, in, in_length, out, out_length, returned);
    }

    vusb::SimBoardConfig config;
    std::shared_ptr<vusb::SimBoard> sim;
    std::unique_ptr<vtest::EmulatedBoard> device;
    std::shared_ptr<vusb::Backend> backend;
};

TEST_F(LibusbDevice, OpensTheBoardAndListsItsPipes)
{
    vusb::Handle h = backend->open("\\\\.\\Ezusb-0");
    ASSERT_NE(h, vusb::kInvalidHandle);
    EXPECT_EQ(backend->open("\\\\.\\Ezusb-1"), vusb::kInvalidHandle);
    std::uint8_t info[vusb::kPipeInfoBufferSize] = {};
    std::uint32_t returned = 0;
    ASSERT_EQ(call(h, vusb::IOCTL_GET_PIPE_INFO, nullptr, 0, info, sizeof info, &returned), 1);
    std::uint32_t pipes = 0;
    std::memcpy(&pipes, info + vusb::kPipeCountOffset, 4);
    EXPECT_EQ(pipes, 0u);
    const std::uint8_t alternate[2] = {0, 1};
    ASSERT_EQ(call(h, vusb::IOCTL_SET_INTERFACE, alternate, 2, nullptr, 0, &returned), 1);
    ASSERT_EQ(call(h, vusb::IOCTL_GET_PIPE_INFO, nullptr, 0, info, sizeof info, &returned), 1);
    std::memcpy(&pipes, info + vusb::kPipeCountOffset, 4);
    ASSERT_EQ(pipes, 4u);
    EXPECT_EQ(info[vusb::kPipeRecordsOffset + 2 * vusb::kPipeRecordSize + vusb::kPipeEndpointOffset], 0x86);
    std::uint8_t d[vusb::kDeviceDescriptorSize] = {};
    ASSERT_EQ(call(h, vusb::IOCTL_GET_DEVICE_DESCRIPTOR, d, sizeof d, d, sizeof d, &returned), 1);
    EXPECT_EQ(d[8] | (d[9] << 8), 0x04B4);
    EXPECT_EQ(d[12] | (d[13] << 8), 3);
    backend->close(h);
    EXPECT_TRUE(device->wait_closed());
}

}  // namespace
