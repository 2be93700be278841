// The playback list: one text line per trace laid out on the strip chart (run, wafer, first x, line style), read by the print command.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct PlaybackListLine {
    int run = 0;        // negative: the process-of-record trace of process -run
    int wafer = 0;
    double x = 0.0;     // seconds on the chart's time axis of the trace's first sample
    int style = 0;      // 0 solid, 2 the dotted first trace of an overlay
};

// "%d\t%d\t%.4lf %d\n".
std::string format_playback_line(const PlaybackListLine& line);
// One line without its line end; none when it does not hold the four fields.
std::optional<PlaybackListLine> parse_playback_line(std::string_view text);
// Appends one line, opening and closing the file for it; false when the file
// could not be opened or the line could not be written whole.
bool append_playback_line(const std::string& path, const PlaybackListLine& line);
// Every well-formed line of the file, in order (a missing file reads as none).
std::vector<PlaybackListLine> read_playback_list(const std::string& path);
