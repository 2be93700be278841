// The trace file header reader: time, date and whether the time was stored with dots.
#include "playback/trace_header.h"

#include <cctype>
#include <cstring>

namespace {

// Copies the next blank-separated word of `line` from *pos into out (at most 63 characters).
bool next_word(const char* line, std::size_t* pos, char* out)
{
    std::size_t i = *pos;
    while (line[i] != '\0' && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (line[i] == '\0') return false;
    std::size_t n = 0;
    while (line[i] != '\0' && !std::isspace(static_cast<unsigned char>(line[i]))) {
        if (n < 63) out[n++] = line[i];
        ++i;
    }
    out[n] = '\0';
    *pos = i;
    return true;
}

}  // namespace

int GetTimeAndDateFromBin(std::FILE* file, char* time, char* date, char* dotted)
{
    if (file == nullptr) return 0;
    char line[127];
    if (std::fgets(line, sizeof line, file) == nullptr) return 0;
    char first[64] = "", second[64] = "";
    std::size_t pos = 0;
    short n = -1;
    if (next_word(line, &pos, first)) {
        n = 1;
        if (next_word(line, &pos, second)) n = 2;
    }
    if (n >= 1) std::memcpy(time, first, sizeof first);
    if (n >= 2) std::memcpy(date, second, sizeof second);
    const std::size_t length = n >= 1 ? std::strlen(time) : 0;
    *dotted = (length > 2 && time[2] == '.') ? 1 : 0;
    // Colons at the third and sixth places, as the rest of the program shows times.
    if (length > 2) time[2] = ':';
    if (length > 5) time[5] = ':';
    if (n < 1) time[0] = '\0';
    if (n < 2) date[0] = '\0';
    return n;
}
