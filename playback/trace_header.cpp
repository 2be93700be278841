// The trace file header reader of playback: time, date and whether the time was stored with dots, into the caller's buffers.
#include "playback/trace_header.h"

#include <cstring>
#include <optional>

#include "core/trace_file.h"

namespace {

// At most 63 characters into a 64-byte buffer.
void copy_word(char* out, const std::string& word)
{
    const std::size_t n = word.size() < 63 ? word.size() : 63;
    std::memcpy(out, word.data(), n);
    out[n] = '\0';
}

}  // namespace

int GetTimeAndDateFromBin(std::FILE* file, char* time, char* date, char* dotted)
{
    std::optional<TraceHeader> header = read_trace_header(file);
    if (!header) return 0;
    *dotted = header->dotted ? 1 : 0;
    if (header->fields < 1) {
        time[0] = '\0';
        date[0] = '\0';
        return -1;
    }
    // Colons at the third and sixth places, as the rest of the program shows times.
    copy_word(time, colon_time(header->time));
    if (header->fields >= 2)
        copy_word(date, header->date);
    else
        date[0] = '\0';
    return header->fields;
}
