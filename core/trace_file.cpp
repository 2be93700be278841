// The stored trace files: names, the header line and the block layout, for every part that records or reads traces.
#include "core/trace_file.h"

#include <cctype>
#include <cstring>

#include "platform/sys/files.h"
#include "platform/sys/format.h"

static_assert(sizeof(std::int32_t[5]) == kBlockTrailerBytes);

std::string wafer_trace_path(const std::string& directory, int run, int wafer)
{
    return vsys::strprintf("%s/SC_DATA/%.8d.%.3d", directory.c_str(), run, wafer);
}

std::string wafer_trace_base(const std::string& directory, int run)
{
    return vsys::strprintf("%s/SC_DATA/%.8d.", directory.c_str(), run);
}

std::string por_trace_path(const std::string& directory, int process)
{
    return vsys::path_join(directory, vsys::strprintf("%.8d.POR", process));
}

std::string interval_path(const std::string& directory, int process)
{
    return vsys::path_join(directory, vsys::strprintf("%.8d.INT", process));
}

namespace {

// The next blank-separated word of `line` from `pos` (a NUL ends the line, as it ends a C string).
bool next_word(std::string_view line, std::size_t& pos, std::string& out)
{
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (pos < line.size() && line[pos] != '\0' && blank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] == '\0') return false;
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != '\0' && !blank(line[pos])) ++pos;
    out.assign(line.substr(start, pos - start));
    return true;
}

}  // namespace

TraceHeader parse_trace_header(std::string_view bytes)
{
    TraceHeader h;
    const std::size_t limit = bytes.size() < kTraceHeaderLimit ? bytes.size() : kTraceHeaderLimit;
    h.end = limit;
    for (std::size_t i = 0; i < limit; ++i)
        if (bytes[i] == '\n') {
            h.end = i + 1;
            break;
        }
    const std::string_view line = bytes.substr(0, h.end);
    std::size_t pos = 0;
    h.fields = -1;
    if (!next_word(line, pos, h.time)) return h;
    h.fields = next_word(line, pos, h.date) ? 2 : 1;
    h.dotted = h.time.size() > 2 && h.time[2] == '.';
    return h;
}

std::optional<TraceHeader> read_trace_header(std::FILE* file)
{
    if (file == nullptr) return std::nullopt;
    char line[kTraceHeaderLimit + 1];
    const long before = std::ftell(file);
    if (std::fgets(line, sizeof line, file) == nullptr) return std::nullopt;
    // What was read, counted by the file position: a NUL inside the line does not shorten it.
    const long after = std::ftell(file);
    std::size_t length = std::strlen(line);
    if (before >= 0 && after > before && static_cast<std::size_t>(after - before) <= kTraceHeaderLimit)
        length = static_cast<std::size_t>(after - before);
    return parse_trace_header(std::string_view(line, length));
}

std::string colon_time(std::string time)
{
    if (time.size() > 2) time[2] = ':';
    if (time.size() > 5) time[5] = ':';
    return time;
}

bool write_trace_header(std::FILE* file, const char* time, const char* date)
{
    return file != nullptr && std::fprintf(file, "%s %s\n", time, date) > 0;
}

bool write_trace_block(std::FILE* file, const std::int16_t* raw, int values, const std::int32_t (&trailer)[5])
{
    if (!file) return false;
    const std::size_t n = static_cast<std::size_t>(values);
    if (std::fwrite(raw, sizeof(std::int16_t), n, file) != n) return false;
    if (std::fwrite(trailer, sizeof trailer, 1, file) != 1) return false;
    return std::fflush(file) == 0;
}
