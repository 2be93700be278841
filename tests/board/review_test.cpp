// The review edition of the board API: no board search, buffers without a transfer thread.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/board_api.h"
#include "board/board_setup.h"
#include "platform/sys/message_box.h"
#include "platform/usb/sim_board.h"

namespace {

TEST(ReviewEdition, NeverLooksForTheBoardNorStartsATransfer)
{
    vusb::SimBoardConfig config;
    config.device_indexes = {};
    auto board = std::make_shared<vusb::SimBoard>(config);
    vusb::set_backend(board);
    std::vector<std::string> shown;
    vsys::set_message_box_handler([&](const std::string& caption, const std::string&) { shown.push_back(caption); });

    EXPECT_EQ(VantrelInitialize(), 0);
    auto& setup = vboard::board_setup();
    setup.channel_status_bits = 0x3;
    EXPECT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    EXPECT_TRUE(vboard::block_queue().allocated());
    EXPECT_EQ(vboard::block_queue().values_per_block(), 20u);
    EXPECT_FALSE(transfer_thread_alive());
    int full = 1;
    EXPECT_EQ(VantrelCheckBufferedAnalogIn(&full), 0);
    EXPECT_EQ(full, 0);
    EXPECT_TRUE(board->stats().opened_names.empty());
    EXPECT_TRUE(shown.empty());
    VantrelKillBufferedAnalogIn();
    vsys::set_message_box_handler(nullptr);
    vusb::set_backend(nullptr);
}

}  // namespace
