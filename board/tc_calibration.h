// Thermocouple adapters: reading their calibration records and converting raw counts through them.
#pragma once

#include <array>
#include <cstdint>

struct tc_table {
    std::int16_t raw_x[17];  // break points, millivolts
    std::int16_t raw_y[17];  // output values, hundredths
    double x[17];            // volts
    double y[17];
    double s[17];            // slope of the segment ending at point k; s[0] = 0
};

// Conversion tables by channel index 0..31.
extern std::array<tc_table, 32> calibration;

void reset_tc_table(tc_table& table);
// Fills x, y and s from raw_x and raw_y.
void build_tc_table(tc_table& table);

// 0 with the named firmware running, 200 on failure.
int startHex(const char* file_name);
int purgeEP1();
int read64Bytes(std::uint8_t adapter, std::uint8_t page, std::uint8_t* buffer);
// Checks a 128-byte record: 1 with the type byte and 34 values, else 0.
int parse_tc_record(const std::uint8_t* record, std::uint8_t* type, std::int16_t values[34]);
int readTcCal(std::uint8_t adapter, std::uint8_t* type, std::int16_t values[34]);
int stopCalRead();
void loadTcCalibration();
// Linearised counts (saturated to int16) and, in *value, the sample in engineering units.
short QLTCX_to_binary(short raw, int channel_index, double* value);
