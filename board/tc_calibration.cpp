// Thermocouple calibration read from the adapters through the calibration firmware, and the conversion.
#include "board/tc_calibration.h"

#include <cmath>
#include <cstring>

#include "board/board_setup.h"
#include "board/transfer.h"
#include "board/usb_transport.h"
#include "platform/sys/format.h"
#include "platform/sys/message_box.h"

std::array<tc_table, 32> calibration = [] {
    std::array<tc_table, 32> tables {};
    for (auto& t : tables) reset_tc_table(t);
    return tables;
}();

namespace {

void fail_status(const char* caption, const char* text)
{
    close_usb_handle();
    VantrelStatus.store(200);
    vsys::message_box(caption, text);
}

}  // namespace

void reset_tc_table(tc_table& table)
{
    for (int k = 0; k < 17; ++k) {
        table.raw_x[k] = static_cast<std::int16_t>(k);
        table.raw_y[k] = 0;
        table.x[k] = k;
        table.y[k] = 0.0;
        table.s[k] = 0.0;
    }
}

void build_tc_table(tc_table& table)
{
    for (int k = 0; k < 17; ++k) {
        table.x[k] = table.raw_x[k] / 1000.0;
        table.y[k] = table.raw_y[k] / 100.0;
    }
    table.s[0] = 0.0;
    for (int k = 1; k < 17; ++k) {
        if (std::abs(table.raw_x[k] - table.raw_x[k - 1]) <= 1e-20)
            table.s[k] = 0.0;
        else
            table.s[k] = (table.y[k] - table.y[k - 1]) / (table.x[k] - table.x[k - 1]);
    }
}

int startHex(const char* file_name)
{
    std::uint16_t bcd = 0;
    if (!connect_board(&bcd)) {
        VantrelStatus.store(200);
        return 200;
    }
    if (bcd == 1) {
        fail_status("QLX4USB Error", kCpldMessage);
        return 200;
    }
    if (bcd < 3) {
        fail_status("QL-TC-X Error",
                    "The QLX4USB you are attempting to connect is Revision A.  Revision B or higher is needed use "
                    "QL-TC-X adapters.\n\n");
        return 200;
    }
    return downloadFirmware(file_name) == 1 ? 0 : 200;
}

int purgeEP1()
{
    std::uint8_t packet[64];
    std::uint32_t moved = 0;
    // Bounded: a board that keeps answering must not hold the start forever.
    for (int i = 0; i < 1024; ++i) {
        moved = 0;
        if (bulk_read(EP1_IN.load(), packet, 64, &moved) != 1 || moved == 0) break;
    }
    return static_cast<int>(moved);
}

int read64Bytes(std::uint8_t adapter, std::uint8_t page, std::uint8_t* buffer)
{
    const std::uint8_t request[2] = {adapter, page};
    std::uint32_t moved = 0;
    if (bulk_write(EP1_OUT.load(), request, 2, &moved) != 1 || moved != 2) {
        fail_status("Error", "Cannot send USB data page.");
        return 0;
    }
    moved = 0;
    if (bulk_read(EP1_IN.load(), buffer, 64, &moved) != 1 || moved != 64) {
        fail_status("Error", "Cannot read USB data.");
        return 0;
    }
    return 1;
}

int parse_tc_record(const std::uint8_t* record, std::uint8_t* type, std::int16_t values[34])
{
    std::uint32_t sum = 0;
    for (int i = 0; i < 124; ++i) sum += record[i];
    std::uint32_t stored = (std::uint32_t {record[124]} << 24) | (std::uint32_t {record[125]} << 16) |
                           (std::uint32_t {record[126]} << 8) | record[127];
    if (sum != stored) return 0;
    if (record[0] != 0xFF && record[0] != 0xFE) return 0;
    *type = record[0];
    for (int k = 0; k < 17; ++k) {
        const std::uint8_t* p = record + 8 + 4 * k;
        values[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>((p[0] << 8) | p[1]));
        values[17 + k] = static_cast<std::int16_t>(static_cast<std::uint16_t>((p[2] << 8) | p[3]));
    }
    return 1;
}

int readTcCal(std::uint8_t adapter, std::uint8_t* type, std::int16_t values[34])
{
    std::uint8_t record[128] = {};
    if (read64Bytes(adapter, 0, record) == 0 || read64Bytes(adapter, 1, record + 64) == 0) {
        VantrelStatus.store(200);
        return 0;
    }
    return parse_tc_record(record, type, values);
}

int stopCalRead()
{
    const std::uint8_t request[2] = {255, 0};
    std::uint32_t moved = 0;
    if (bulk_write(EP1_OUT.load(), request, 2, &moved) != 1 || moved != 2) {
        fail_status("Error", "Cannot stop cal read.");
        return 0;
    }
    return 1;
}

void loadTcCalibration()
{
    const auto& setup = vboard::board_setup();
    const int channels = setup.channels < 0 ? 0 : (setup.channels > 32 ? 32 : setup.channels);
    const std::uint32_t mask = vboard::effective_channel_mask(channels, setup.channel_status_bits);
    bool any = false;
    for (int c = 1; c <= channels; ++c) {
        reset_tc_table(calibration[static_cast<std::size_t>(c - 1)]);
        if ((mask & (1u << (c - 1))) && vboard::is_thermocouple(setup.channel_type[static_cast<std::size_t>(c)]))
            any = true;
    }
    if (!any) return;
    if (startHex("cal_read.hex") != 0) return;
    purgeEP1();
    for (int c = 1; c <= channels; ++c) {
        if (!(mask & (1u << (c - 1))) || !vboard::is_thermocouple(setup.channel_type[static_cast<std::size_t>(c)]))
            continue;
        std::uint8_t type = 0;
        std::int16_t values[34] = {};
        auto& table = calibration[static_cast<std::size_t>(c - 1)];
        if (readTcCal(static_cast<std::uint8_t>(c - 1), &type, values) == 0) {
            vsys::message_box("DAQ Error", vsys::strprintf("QL-TC-X Adapter not found on A%d", c));
            continue;
        }
        std::memcpy(table.raw_x, values, sizeof table.raw_x);
        std::memcpy(table.raw_y, values + 17, sizeof table.raw_y);
        build_tc_table(table);
    }
    stopCalRead();
}

short QLTCX_to_binary(short raw, int channel_index, double* value)
{
    if (channel_index < 0 || channel_index > 31) {
        *value = 0.0;
        return 0;
    }
    const tc_table& table = calibration[static_cast<std::size_t>(channel_index)];
    const double v = raw * 0.0006103515625;
    int k = 1;
    while (k < 16 && v > table.x[k]) ++k;
    const double t = table.y[k - 1] + (v - table.x[k - 1]) * table.s[k];
    const auto& setup = vboard::board_setup();
    *value = setup.channel_slope[static_cast<std::size_t>(channel_index + 1)] * t +
             setup.channel_inter[static_cast<std::size_t>(channel_index + 1)];
    const double counts = std::trunc(t * 1638.4);
    if (!(counts > -32768.0)) return -32768;  // NaN too
    if (counts > 32767.0) return 32767;
    return static_cast<short>(counts);
}
