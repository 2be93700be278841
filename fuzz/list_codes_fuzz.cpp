// Fuzz target: removal of the list box's in-line codes from a result line before it is printed or saved.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "spc/compare_results.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string out = strip_codes(line);
    // Stripping only removes: never longer, never an escape left behind.
    if (out.size() > line.size() || out.find('\033') != std::string::npos) std::abort();
    return 0;
}
