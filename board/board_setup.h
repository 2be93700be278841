// The part of the process setup the board layer reads: channel mask, channel count, rate, channel kinds.
#pragma once

#include <array>
#include <cstdint>

namespace vboard {

struct BoardSetup {
    int channels = 32;                         // channels of the setup (at most 32)
    std::uint32_t channel_status_bits = 0;     // bit c-1 set = channel c enabled
    int sample_rate = 1;                       // scans per block
    std::array<int, 33> channel_type {};       // by channel 1..32; 20..22 thermocouple
    std::array<double, 33> channel_slope = ones();
    std::array<double, 33> channel_inter {};

    static std::array<double, 33> ones()
    {
        std::array<double, 33> a {};
        a.fill(1.0);
        return a;
    }
};

// The setup the acquisition start copies in before it initialises the board
// (user-interface thread only; the transfer thread works on its own copy).
BoardSetup& board_setup();

// Enabled channels that the setup actually has: the mask cut to `channels`.
std::uint32_t effective_channel_mask(int channels, std::uint32_t status_bits);
int channel_count(std::uint32_t mask);
// Highest enabled channel number (1..32), 0 for an empty mask.
int highest_channel(std::uint32_t mask);
bool is_thermocouple(int channel_type);

}  // namespace vboard
