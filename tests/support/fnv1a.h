// 64-bit FNV-1a for pinning stored bytes and result texts in tests: stable across compilers and runs.
#pragma once

#include <cstdint>
#include <string_view>

namespace vtest {

inline std::uint64_t fnv1a(std::string_view bytes)
{
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace vtest
