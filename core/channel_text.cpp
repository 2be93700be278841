// The CHANNELS text of a run row: every form the run table has held over the years.
#include "core/channel_text.h"

#include <bit>
#include <cstdio>

#include "core/db_statement.h"

namespace {

// Channels are scanned in banks of eight up to the highest enabled one.
std::optional<std::uint8_t> channels_from_mask(std::uint32_t mask)
{
    if (mask == 0) return std::nullopt;
    const int highest = 32 - std::countl_zero(mask);
    return static_cast<std::uint8_t>((highest + 7) / 8 * 8);
}

}  // namespace

ChannelText parse_channel_text(const char* text)
{
    // Zeroed: the digit form reads positions past a short text's end, which count as 0.
    char t[20] = {};
    copy_bounded(t, text, 19);
    ChannelText c;
    unsigned mask = 0;
    switch (t[0]) {
    case 'U':
    case 'R': {
        short count = 0;
        std::sscanf(t, "%*c%u %hd", &mask, &count);
        c.adc_bits = t[0] == 'U' ? 0 : 1;
        c.mask = mask;
        c.saved = static_cast<std::uint8_t>(std::popcount(mask));
        c.channels = channels_from_mask(mask);
        break;
    }
    case 'C':
    case 'N': {
        char code = 0;
        std::sscanf(t + 1, "%u%c", &mask, &code);
        c.mask = mask;
        if (t[0] == 'C') {
            c.saved = static_cast<std::uint8_t>(code);
            c.channels = channels_from_mask(mask);
        } else {
            c.channels = static_cast<std::uint8_t>(code);
            c.saved = *c.channels;
        }
        break;
    }
    default: {
        auto digit = [&](int k) { return k < 19 && t[k] >= '0' && t[k] <= '9' ? t[k] - '0' : 0; };
        std::uint32_t m = 0;
        for (int k = 1; k <= 16; ++k) m += static_cast<std::uint32_t>(digit(k)) << (k - 1);
        c.mask = m;
        c.channels = static_cast<std::uint8_t>(8 * digit(17) + 8);
        c.saved = *c.channels;
        break;
    }
    }
    return c;
}
