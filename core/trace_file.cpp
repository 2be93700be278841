// The stored trace files: names, the header line and the block layout, for every part that records or reads traces.
#include "core/trace_file.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/sys/fault_plan.h"
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

namespace {

// True when the fault plan makes this call fail, as a full disk would.
bool injected(vsys::FileOp op, std::FILE* file)
{
    if (!vsys::file_fault(op, file)) return false;
    errno = ENOSPC;
    return true;
}

bool put(std::FILE* file, const void* data, std::size_t size)
{
    if (injected(vsys::FileOp::write, file)) return false;
    return std::fwrite(data, 1, size, file) == size;
}

bool flush(std::FILE* file)
{
    if (injected(vsys::FileOp::flush, file)) return false;
    return std::fflush(file) == 0;
}

bool seek(std::FILE* file, long offset)
{
    if (injected(vsys::FileOp::seek, file)) return false;
    return std::fseek(file, offset, SEEK_SET) == 0;
}

bool is_digits(const std::string& text, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    return true;
}

}  // namespace

vsys::FilePtr create_trace_file(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno == EEXIST ? "the file exists already" : std::strerror(errno);
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "wb+");
    if (!f) {
        error = std::strerror(errno);
        ::close(fd);
        ::unlink(path.c_str());
        return nullptr;
    }
    return vsys::FilePtr(f);
}

int highest_trace_run(const std::string& directory)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    int highest = 0;
    for (fs::directory_iterator it(fs::path(directory) / "SC_DATA", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != 12 || name[8] != '.' || !is_digits(name, 0, 8) || !is_digits(name, 9, 3)) continue;
        const int run = std::atoi(name.substr(0, 8).c_str());
        if (run > highest) highest = run;
    }
    return highest;
}

bool write_trace_header(std::FILE* file, const char* time, const char* date)
{
    if (file == nullptr) return false;
    const std::string line = vsys::strprintf("%s %s\n", time, date);
    return put(file, line.data(), line.size()) && flush(file);
}

bool write_trace_block(std::FILE* file, const std::int16_t* raw, int values, const std::int32_t (&trailer)[5])
{
    if (!file || values < 0) return false;
    const long start = std::ftell(file);
    const std::size_t n = static_cast<std::size_t>(values) * sizeof(std::int16_t);
    if (put(file, raw, n) && put(file, trailer, sizeof trailer) && flush(file)) return true;
    // Drop what is still buffered and cut the file back to the last whole block.
    const int saved = errno;
    __fpurge(file);
    if (start >= 0 && ::ftruncate(::fileno(file), start) == 0) std::fseek(file, start, SEEK_SET);
    errno = saved;
    return false;
}

bool rewind_trace_file(std::FILE* file) { return file != nullptr && seek(file, 0); }
