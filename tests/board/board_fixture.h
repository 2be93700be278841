// Shared fixture of the board tests: a simulated board and clock, recorded message boxes, pumping helpers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board/board_api.h"
#include "board/board_setup.h"
#include "board/usb_transport.h"
#include "platform/sys/clock.h"
#include "platform/sys/files.h"
#include "platform/sys/message_box.h"
#include "platform/usb/sim_board.h"
#include "tests/support/temp_dir.h"
#ifdef VANTREL_BOARD_VIA_LIBUSB
#include "platform/usb/libusb_backend.h"
#include "tests/usb_emul/emulated_board.h"
#endif

namespace vtest {

// Every scan carries its own number and channel: count = channel * 500 + scan % 500.
class CodedSignal : public vusb::SignalSource {
public:
    void sample(double, std::uint64_t scan, double volts[32]) override
    {
        for (int c = 0; c < 32; ++c) volts[c] = ((c + 1) * 500 + static_cast<int>(scan % 500)) / 1638.4;
    }
};

inline int coded(int channel, std::uint64_t scan) { return channel * 500 + static_cast<int>(scan % 500); }

struct Box {
    std::string caption;
    std::string text;
    int status;  // the board status word when the box was raised
};

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef VANTREL_BOARD_VIA_LIBUSB
        if (!EmulatedBoard::available()) GTEST_SKIP() << "needs LD_PRELOAD=libumockdev-preload.so.0";
#endif
        install(vusb::SimBoardConfig {});
    }

    void install(vusb::SimBoardConfig config)
    {
        if (!config.signals) config.signals = std::make_shared<CodedSignal>();
        VantrelKillBufferedAnalogIn();
#ifdef VANTREL_BOARD_VIA_LIBUSB
        // The same simulated board, reached through real libusb and a fake device node.
        close_usb_handle();
        vusb::set_backend(nullptr);
        device.reset();
        board = std::make_shared<vusb::SimBoard>(config);
        device = std::make_unique<EmulatedBoard>(board, config);
        vusb::set_backend(vusb::make_libusb_backend(vusb::LibusbConfig {}));
#else
        board = std::make_shared<vusb::SimBoard>(std::move(config));
        vusb::set_backend(board);
#endif
        vsys::set_project_dir_override(bin_dir());
        {
            std::lock_guard lock(boxes_mutex);
            boxes.clear();
        }
        vsys::set_message_box_handler([this](const std::string& caption, const std::string& text) {
            std::lock_guard lock(boxes_mutex);
            boxes.push_back(Box {caption, text, VantrelStatus.load()});
        });
        vboard::board_setup() = vboard::BoardSetup {};
        VantrelStatus = 1;
    }

    void TearDown() override
    {
        VantrelKillBufferedAnalogIn();
        close_usb_handle();
        vsys::set_message_box_handler(nullptr);
        vsys::set_project_dir_override("");
        vusb::set_backend(nullptr);
#ifdef VANTREL_BOARD_VIA_LIBUSB
        device.reset();
#endif
    }

    static constexpr bool via_libusb()
    {
#ifdef VANTREL_BOARD_VIA_LIBUSB
        return true;
#else
        return false;
#endif
    }

    // A board fault the driver call meets: through libusb the pipe list and the device
    // descriptor come from descriptors the host already holds, so those never reach the board.
    static bool reaches_board(const vusb::SimFault& fault)
    {
        return !via_libusb() ||
               (fault.code != vusb::IOCTL_GET_PIPE_INFO && fault.code != vusb::IOCTL_GET_DEVICE_DESCRIPTOR);
    }

    // No handle on the board is left open.
    bool board_closed()
    {
#ifdef VANTREL_BOARD_VIA_LIBUSB
        return device->wait_closed();
#else
        return board->stats().open_handles == 0;
#endif
    }

    // The board leaves the bus.
    void unplug()
    {
#ifdef VANTREL_BOARD_VIA_LIBUSB
        device->unplug();
#else
        board->unplug();
#endif
    }

    std::vector<Box> messages()
    {
        std::lock_guard lock(boxes_mutex);
        return boxes;
    }

    bool has_message(const std::string& caption, const std::string& text)
    {
        for (const auto& b : messages())
            if (b.caption == caption && b.text == text) return true;
        return false;
    }

    // About 10 ms of real time without moving the simulated clock.
    static void real_pause()
    {
        int calls = 0;
        vsys::wait_until_clock(1e300, [&] { return ++calls > 1; });
    }

    // Advances the clock in steps until `done` holds (false after a generous guard).
    template <typename Done>
    bool pump_until(Done done, double step = 0.25, int guard = 4000)
    {
        for (int i = 0; i < guard; ++i) {
            if (done()) return true;
            clock.advance(step);
            for (int k = 0; k < 3 && !done(); ++k) real_pause();
        }
        return done();
    }

    bool pump_blocks(std::size_t count)
    {
        return pump_until([&] { return vboard::block_queue().ready_count() >= count; });
    }

    bool pump_until_thread_ends()
    {
        return pump_until([] { return bQLX4USBActiveThread.load() == 0; });
    }

    void enable(std::uint32_t mask, int rate, int channels = 32)
    {
        auto& s = vboard::board_setup();
        s.channel_status_bits = mask;
        s.sample_rate = rate;
        s.channels = channels;
    }

    SimulatedClock clock;
    std::shared_ptr<vusb::SimBoard> board;
#ifdef VANTREL_BOARD_VIA_LIBUSB
    std::unique_ptr<EmulatedBoard> device;
#endif
    std::mutex boxes_mutex;
    std::vector<Box> boxes;
};

}  // namespace vtest
