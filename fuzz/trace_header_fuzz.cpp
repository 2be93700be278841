// Fuzz target: the header line of a stored trace file, read from bytes and from an open file.
#include <string_view>

#include "core/trace_file.h"
#include "fuzz/fuzz_support.h"
#include "platform/sys/files.h"
#include "playback/trace_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)parse_trace_header(std::string_view(reinterpret_cast<const char*>(data), size));
    std::string path = vfuzz::write_file("00000001.001", data, size);
    {
        vsys::FilePtr file = vsys::open_file(path, "rb");
        (void)read_trace_header(file.get());
    }
    vsys::FilePtr file = vsys::open_file(path, "rb");
    char time[64] = "", date[64] = "", dotted = 0;
    (void)GetTimeAndDateFromBin(file.get(), time, date, &dotted);
    return 0;
}
