// The Print command of the SPC chart window and of the strip-chart window: a one-page PDF of what the window shows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "playback/playback_list.h"

// Print button callback of both windows; acts on commit only and always returns 0.
int panel_print(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

namespace reports {

// The traces of a playback list up to the first line that does not give all four fields; none when it cannot be
// opened.
std::optional<std::vector<PlaybackListLine>> read_listed_traces(const std::string& path);

// The report title a chosen path gives: its base name up to the first dot, at most 63 characters.
std::string report_title(const char* path);

}  // namespace reports
