// The board layer's view of the process setup.
#include "board/board_setup.h"

#include <bit>

namespace vboard {

BoardSetup& board_setup()
{
    static BoardSetup setup;
    return setup;
}

std::uint32_t effective_channel_mask(int channels, std::uint32_t status_bits)
{
    if (channels <= 0) return 0;
    if (channels >= 32) return status_bits;
    return status_bits & ((1u << channels) - 1u);
}

int channel_count(std::uint32_t mask) { return std::popcount(mask); }

int highest_channel(std::uint32_t mask) { return mask == 0 ? 0 : 32 - std::countl_zero(mask); }

bool is_thermocouple(int channel_type) { return channel_type >= 20 && channel_type <= 22; }

}  // namespace vboard
