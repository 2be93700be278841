// Fuzz target: the playback list as the strip-chart print reads it, from an arbitrary file.
#include <cmath>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "reports/panel_print.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto lines = reports::read_playback_list(vfuzz::write_file("playback.tmp", data, size));
    if (!lines) std::abort();
    for (const reports::PlaybackLine& l : *lines)
        if (!std::isfinite(l.x)) std::abort();
    return 0;
}
