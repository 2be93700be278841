// The Print command of the SPC chart window and of the strip-chart window: a one-page PDF of what the window shows.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Print button callback of both windows; acts on commit only and always returns 0.
int panel_print(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

namespace reports {

// One line of the playback list as the strip-chart print reads it.
struct PlaybackLine {
    int run = 0;
    int wafer = 0;
    double x = 0.0;
    int style = 0;
};

// The lines of a playback list up to the first one that does not give all four fields; none when it cannot be opened.
std::optional<std::vector<PlaybackLine>> read_playback_list(const std::string& path);

// The report title a chosen path gives: its base name up to the first dot, at most 63 characters.
std::string report_title(const char* path);

}  // namespace reports
