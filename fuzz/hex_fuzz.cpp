// Fuzz target: an Intel HEX firmware image read as for a download, in both line layouts.
#include <cstdio>

#include "board/usb_transport.h"
#include "fuzz/fuzz_support.h"
#include "platform/sys/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (vfuzz::quiet_message_boxes(), true);
    (void)ready;
    std::string path = vfuzz::write_file("image.hex", data, size);
    for (bool spaced : {false, true}) {
        vsys::FilePtr file = vsys::open_file(path, "rb");
        HexSegmentList segments;
        (void)intel_in(file.get(), segments, spaced);
    }
    return 0;
}
