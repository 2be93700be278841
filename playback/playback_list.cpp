// Reading and writing the playback list, one line per trace.
#include "playback/playback_list.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "platform/sys/fault_plan.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/sys/read_number.h"

namespace {

// True when the fault plan makes this step fail; the writer then sees a full disk.
bool faulted(vsys::FileOp op, const std::string& path)
{
    if (!vsys::file_fault(op, path)) return false;
    errno = ENOSPC;
    return true;
}

}  // namespace

std::string format_playback_line(const PlaybackListLine& line)
{
    return vsys::strprintf("%d\t%d\t%.4lf %d\n", line.run, line.wafer, line.x, line.style);
}

std::optional<PlaybackListLine> parse_playback_line(std::string_view text)
{
    const char* s = text.data();
    const char* end = s + text.size();
    PlaybackListLine line;
    if (!vsys::read_number(s, end, line.run) || !vsys::read_number(s, end, line.wafer) ||
        !vsys::read_number(s, end, line.x) || !vsys::read_number(s, end, line.style) || !std::isfinite(line.x))
        return std::nullopt;
    for (; s < end; ++s)
        if (*s != ' ' && *s != '\r' && *s != '\t') return std::nullopt;
    return line;
}

bool append_playback_line(const std::string& path, const PlaybackListLine& line)
{
    if (faulted(vsys::FileOp::create, path)) return false;
    vsys::FilePtr file = vsys::open_file(path, "a");
    if (!file) return false;
    std::fseek(file.get(), 0, SEEK_END);
    const long before = std::ftell(file.get());
    const std::string text = format_playback_line(line);
    bool ok = !faulted(vsys::FileOp::write, path) && std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    ok = !faulted(vsys::FileOp::flush, path) && std::fflush(file.get()) == 0 && ok;
    // A half line would be read as a trace that is not there: cut it off again.
    if (!ok && before >= 0) {
        std::fflush(file.get());
        if (::ftruncate(::fileno(file.get()), before) != 0) return false;
    }
    return ok;
}

std::vector<PlaybackListLine> read_playback_list(const std::string& path)
{
    std::vector<PlaybackListLine> lines;
    vsys::FilePtr file = vsys::open_file(path, "r");
    if (!file) return lines;
    std::string text;
    int c;
    while ((c = std::fgetc(file.get())) != EOF) {
        if (c != '\n') {
            if (text.size() < 256) text.push_back(static_cast<char>(c));
            continue;
        }
        if (auto line = parse_playback_line(text)) lines.push_back(*line);
        text.clear();
    }
    if (!text.empty())
        if (auto line = parse_playback_line(text)) lines.push_back(*line);
    return lines;
}
