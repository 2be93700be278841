// Bounded, compiler-checked printf-style formatting: the only way the program formats text.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace vsys {

// Formats into a new string of whatever length the result needs.
std::string strprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string vstrprintf(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Formats into a fixed buffer of `size` bytes, always NUL-terminated. Returns
// false (and leaves the cut text) when the result did not fit.
bool format_into(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));


}  // namespace vsys
