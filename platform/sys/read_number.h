// Reads a number from text as the program writes it (blanks before it, an optional plus), whatever the locale.
#pragma once

#include <charconv>

namespace vsys {

// Moves s past the number on success; leaves it where it was otherwise.
template <typename T>
bool read_number(const char*& s, const char* end, T& out)
{
    const char* p = s;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p < end && *p == '+' && p + 1 < end && p[1] != '-') ++p;
    const auto [next, ec] = std::from_chars(p, end, out);
    if (ec != std::errc() || next == p) return false;
    s = next;
    return true;
}

}  // namespace vsys
