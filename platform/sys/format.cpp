// Bounded printf-style formatting helpers.
#include "platform/sys/format.h"

#include <cstdio>
#include <vector>

namespace vsys {

std::string vstrprintf(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string strprintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string out = vstrprintf(format, args);
    va_end(args);
    return out;
}

bool format_into(char* buffer, std::size_t size, const char* format, ...)
{
    if (buffer == nullptr || size == 0) return false;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    if (n < 0) {
        buffer[0] = '\0';
        return false;
    }
    return static_cast<std::size_t>(n) < size;
}

}  // namespace vsys
