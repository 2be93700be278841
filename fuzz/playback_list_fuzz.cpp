// Fuzz target: the playback list, read line by line from any bytes; what it reads writes back the same way.
#include <cstdlib>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "playback/playback_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)parse_playback_line(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string path = vfuzz::write_file("playback.tmp", data, size);
    for (const PlaybackListLine& line : read_playback_list(path)) {
        const std::string text = format_playback_line(line);
        const auto again = parse_playback_line(std::string_view(text).substr(0, text.size() - 1));
        if (!again || again->run != line.run || again->wafer != line.wafer || again->style != line.style) std::abort();
    }
    return 0;
}
