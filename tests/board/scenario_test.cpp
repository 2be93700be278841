// End to end: the default scenario's chamber through the simulated board, calibration and the board API.
#include <cmath>

#include "board/tc_calibration.h"
#include "platform/usb/usb_config.h"
#include "tests/board/board_fixture.h"

namespace {

using vtest::BoardTest;

TEST_F(BoardTest, DefaultScenarioDeliversItsFirstRun)
{
    ASSERT_TRUE(vusb::configure_board_from_environment().ok);
    auto& setup = vboard::board_setup();
    setup.channels = 9;
    setup.channel_status_bits = 0x1FF;
    setup.sample_rate = 10;
    setup.channel_type[8] = 21;

    ASSERT_EQ(VantrelInitialize(), 0);
    loadTcCalibration();
    ASSERT_EQ(VantrelStartBufferedAnalogIn(10), 0);
    // The scenario's clock starts with the acquisition: nothing moves until the board runs.
    auto chamber_board = std::dynamic_pointer_cast<vusb::SimBoard>(vusb::backend());
    ASSERT_NE(chamber_board, nullptr);
    int polls = 0;
    vsys::wait_until_clock(1e300, [&] { return chamber_board->stats().running || ++polls > 2000; });
    ASSERT_TRUE(chamber_board->stats().running);

    std::vector<std::uint64_t> rising;  // scans where the wafer trigger (channel 9) goes high
    bool high = false;
    double hottest = 0, coldest = 1e9, rf_peak = 0;
    std::uint64_t scan = 0;
    for (int block = 0; block < 150; ++block) {
        ASSERT_TRUE(pump_until([] { return vboard::block_queue().ready_count() > 0; }, 5.0)) << block;
        void* buffer = nullptr;
        char fill = 0;
        ASSERT_EQ(VantrelGetBufferedAnalogInBinary(&buffer, &fill), 0) << block;
        auto* values = static_cast<std::int16_t*>(buffer);
        for (int j = 0; j < 10; ++j, ++scan) {
            const std::int16_t* s = values + j * 9;  // channel 9 first, channel 1 last
            bool now = s[0] * 0.0006103515625 > 2.5;
            if (now && !high) rising.push_back(scan);
            high = now;
            double degrees = 0;
            QLTCX_to_binary(s[1], 7, &degrees);
            hottest = std::max(hottest, degrees);
            coldest = std::min(coldest, degrees);
            rf_peak = std::max(rf_peak, s[8] * 0.0006103515625);
        }
    }
    // A run of three wafers 36 s apart, then the first wafer of the next run
    // after the 30 s run gap; scan s is taken at 0.1 (s + 1) s.
    ASSERT_EQ(rising.size(), 4u);
    EXPECT_NEAR(static_cast<double>(rising[0]), 49, 1);
    EXPECT_NEAR(static_cast<double>(rising[1]), 409, 1);
    EXPECT_NEAR(static_cast<double>(rising[2]), 769, 1);
    EXPECT_NEAR(static_cast<double>(rising[3]), 1369, 1);
    EXPECT_NEAR(coldest, 12.0, 0.5);
    EXPECT_GT(hottest, 14.0);
    EXPECT_LT(hottest, 18.0);
    EXPECT_GT(rf_peak, 6.3);  // the RF set-point step overshoots
    EXPECT_TRUE(messages().empty());
}

}  // namespace
