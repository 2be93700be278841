// The CHANNELS text of a run row read into the converter scale, channel mask and channel counts it records.
#pragma once

#include <cstdint>
#include <optional>

struct ChannelText {
    int adc_bits = 1;  // 0 = 10 V per 16384 counts, 1 = 10 V per 4095
    std::uint32_t mask = 0;
    std::uint8_t saved = 0;  // enabled channels
    // Channels the board scans; none when the text leaves the count as it was.
    std::optional<std::uint8_t> channels;
};

// "U<mask> <count> <range>", "R...", "C<mask><count>", "N<mask><channels>" or the
// older digit form: at most 19 characters are read.
ChannelText parse_channel_text(const char* text);
