// Tests of the thermocouple calibration read, the record checks and the conversion.
#include <cmath>

#include "board/tc_calibration.h"
#include "tests/board/board_fixture.h"

namespace {

using vtest::BoardTest;

TEST(TcRecord, Cases)
{
    struct Case {
        const char* name;
        vusb::AdapterKind kind;
        int adapter;
        int result;
        std::uint8_t type;
    };
    const Case cases[] = {
        {"even adapter", vusb::AdapterKind::Present, 4, 1, 0xFF},
        {"odd adapter", vusb::AdapterKind::Present, 5, 1, 0xFE},
        {"all zero (checksum 0, type 0)", vusb::AdapterKind::Absent, 0, 0, 0},
        {"bad type", vusb::AdapterKind::BadType, 0, 0, 0},
        {"bad checksum", vusb::AdapterKind::BadChecksum, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto record = vusb::adapter_record(c.adapter, c.kind);
        std::uint8_t type = 0;
        std::int16_t values[34] = {};
        ASSERT_EQ(parse_tc_record(record.data(), &type, values), c.result);
        if (c.result == 1) {
            EXPECT_EQ(type, c.type);
            EXPECT_EQ(values[1], 625);      // second break point, millivolts
            EXPECT_EQ(values[16], 10000);
            EXPECT_EQ(values[17 + 16], 30000);  // 300 degrees in hundredths
        }
    }
}

TEST(TcConversion, Cases)
{
    auto& setup = vboard::board_setup();
    setup = vboard::BoardSetup {};
    setup.channel_slope[1] = 2.0;
    setup.channel_inter[1] = 5.0;
    tc_table& t = calibration[0];

    // The reset table turns every input into 0: the value is the channel's offset.
    reset_tc_table(t);
    double value = -1;
    EXPECT_EQ(QLTCX_to_binary(12345, 0, &value), 0);
    EXPECT_DOUBLE_EQ(value, 5.0);

    // A straight line: 1 volt per break point onto 10 units per volt.
    for (int k = 0; k < 17; ++k) {
        t.raw_x[k] = static_cast<std::int16_t>(k * 1000);
        t.raw_y[k] = static_cast<std::int16_t>(k * 1000);
    }
    build_tc_table(t);
    struct Case {
        short raw;
        double t;
    };
    // 1638 counts = 0.999755859375 V, 1700 counts = 1.03759765625 V (second segment).
    const Case cases[] = {{1638, 9.99755859375}, {1700, 10.3759765625}, {-1638, -9.99755859375}};
    for (const auto& c : cases) {
        short counts = QLTCX_to_binary(c.raw, 0, &value);
        EXPECT_DOUBLE_EQ(value, 2.0 * c.t + 5.0) << c.raw;
        EXPECT_EQ(counts, static_cast<short>(std::trunc(c.t * 1638.4))) << c.raw;
    }
    // Far beyond the 16-bit range the count saturates instead of wrapping.
    EXPECT_EQ(QLTCX_to_binary(32767, 0, &value), 32767);
    EXPECT_EQ(QLTCX_to_binary(-32768, 0, &value), -32768);

    // Equal neighbouring break points give that segment slope 0, not a division by zero.
    t.raw_x[3] = t.raw_x[2];
    build_tc_table(t);
    EXPECT_EQ(t.s[3], 0.0);
    EXPECT_TRUE(std::isfinite(t.s[4]));
    reset_tc_table(t);
}

class CalibrationTest : public BoardTest {
protected:
    void thermocouple_on(int channel, int kind = 21)
    {
        auto& s = vboard::board_setup();
        s.channel_status_bits |= 1u << (channel - 1);
        s.channel_type[static_cast<std::size_t>(channel)] = kind;
    }
};

TEST_F(CalibrationTest, ReadsTheAdaptersOfEnabledThermocoupleChannels)
{
    vusb::SimBoardConfig config;
    config.adapters[6] = vusb::AdapterKind::BadChecksum;
    install(config);
    enable(0x1, 10);
    thermocouple_on(5);
    thermocouple_on(7, 20);
    vboard::board_setup().channel_type[2] = 22;  // not enabled: not read
    calibration[4].y[3] = 99;                    // stale values are reset first
    loadTcCalibration();

    auto stats = board->stats();
    using Bytes = std::vector<std::uint8_t>;
    const std::vector<Bytes> expected {{4, 0}, {4, 1}, {6, 0}, {6, 1}, {255, 0}};
    EXPECT_EQ(stats.ep1_out, expected);
    EXPECT_EQ(stats.personality, vusb::Personality::CalRead);
    EXPECT_DOUBLE_EQ(calibration[4].x[16], 10.0);
    EXPECT_DOUBLE_EQ(calibration[4].y[16], 300.0);
    EXPECT_DOUBLE_EQ(calibration[6].y[16], 0.0);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].caption, "DAQ Error");
    EXPECT_EQ(messages()[0].text, "QL-TC-X Adapter not found on A7");

    // A reading through the adapter's curve comes back in degrees.
    double value = 0;
    short raw = static_cast<short>(std::lround(vusb::adapter_volts(150.0) * 1638.4));
    QLTCX_to_binary(raw, 4, &value);
    EXPECT_NEAR(value, 150.0, 0.5);
}

TEST_F(CalibrationTest, NoThermocoupleChannelNeverTouchesTheBoard)
{
    enable(0x3, 10);
    vboard::board_setup().channel_type[3] = 21;  // enabled in no mask bit
    loadTcCalibration();
    EXPECT_TRUE(board->stats().opened_names.empty());
}

TEST_F(CalibrationTest, ChannelsBeyondTheSetupAreNotRead)
{
    enable(0, 10, 4);
    thermocouple_on(5);
    loadTcCalibration();
    EXPECT_TRUE(board->stats().opened_names.empty());
}

TEST_F(CalibrationTest, StartFailures)
{
    struct Case {
        const char* name;
        std::uint16_t bcd;
        std::vector<vusb::SimFault> faults;
        const char* caption;
        int status;
    };
    const Case cases[] = {
        {"CPLD 1.0", 1, {}, "QLX4USB Error", 200},
        {"revision A", 2, {}, "QL-TC-X Error", 200},
        {"download", 3, {{vusb::IOCTL_ANCHOR_DOWNLOAD, -1, 0, 1, false}}, "Driver Error", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vusb::SimBoardConfig config;
        config.bcd_device = c.bcd;
        install(config);
        for (const auto& f : c.faults) board->inject(f);
        VantrelStatus = 0;
        enable(0, 10);
        thermocouple_on(1);
        calibration[0].y[1] = 7;
        loadTcCalibration();
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_EQ(messages()[0].caption, c.caption);
        if (c.bcd == 2) {
            EXPECT_EQ(messages()[0].text, "The QLX4USB you are attempting to connect is Revision A.  Revision B or "
                                          "higher is needed use QL-TC-X adapters.\n\n");
        }
        EXPECT_EQ(VantrelStatus.load(), c.status);
        EXPECT_EQ(calibration[0].y[1], 0.0);
        // No page was asked for.
        EXPECT_TRUE(board->stats().ep1_out.empty());
    }
}

TEST_F(CalibrationTest, AFailedPageReadFailsTheRestAndSetsStatus200)
{
    enable(0, 10);
    thermocouple_on(1);
    thermocouple_on(2);
    board->inject({vusb::IOCTL_BULK_READ, 0x81, 1, 1, false});  // the purge read passes, the first page fails
    VantrelStatus = 0;
    loadTcCalibration();
    EXPECT_EQ(VantrelStatus.load(), 200);
    EXPECT_TRUE(has_message("Error", "Cannot read USB data."));
    EXPECT_TRUE(has_message("DAQ Error", "QL-TC-X Adapter not found on A1"));
    EXPECT_TRUE(has_message("DAQ Error", "QL-TC-X Adapter not found on A2"));
    EXPECT_TRUE(has_message("Error", "Cannot stop cal read."));
    // The next initialisation clears the failure, so acquisition can still start.
    EXPECT_EQ(VantrelInitialize(), 0);
}

}  // namespace
