// Thinning of strip-chart data to a minimum and a maximum per pixel column before it goes to the browser.
#pragma once

#include <cstdint>
#include <vector>

#include <string>

#include <nlohmann/json.hpp>

#include "platform/ui/view.h"

namespace vweb {

// Scans per pixel column: enough that one screen of points fits the width.
int scans_per_column(int points_per_screen, int width_pixels);

// Thins values of consecutive scans (trace t's value k belongs to scan
// first_scan + k) into columns of `bucket` scans aligned on absolute scan
// numbers: the result holds, per trace, min and max of each column touched,
// flattened as [min, max, min, max, ...], starting with column
// first_scan / bucket. Only the last `keep` scans are looked at (older ones
// would scroll out of the screen at once).
struct ThinnedBlock {
    std::int64_t first_column = 0;
    std::vector<std::vector<double>> traces;
};
ThinnedBlock thin_block(std::int64_t first_scan, const std::vector<std::vector<double>>& traces, int bucket,
                        std::int64_t keep);

// The browser's form of a strip block: {first_scan, end_scan (one past the last scan), bucket, first_column, traces}.
nlohmann::json strip_block_json(std::int64_t first_scan, const std::vector<std::vector<double>>& traces, int bucket,
                                std::int64_t keep);

// Thins a block straight from the values the program appended (same columns
// as thin_block); each trace starts at its own first column, since a block may
// begin or end inside a scan. `end_scan` gets one past the last scan touched.
struct ThinnedTrace {
    std::int64_t first_column = 0;
    std::vector<double> minmax;  // [min, max, min, max, ...]
};
std::vector<ThinnedTrace> thin_append(const vui::StripAppend& block, int bucket, std::int64_t keep, std::int64_t& end_scan);

// The binary frame of a thinned block: little-endian float64 throughout,
// [1, panel, id, first_scan, end_scan, bucket, traces, then per trace
// first_column and its count of values, then every trace's values in turn].
std::string strip_frame(const vui::StripAppend& block, int bucket, std::int64_t keep);

// What a page has not been sent yet of its strip charts, merged per chart column by column while the page
// draws its last frame: whatever the acquisition's speed, a page gets at most one screen of columns per
// chart each time it asks for the next frame.
class StripPacer {
public:
    // A thinned block (as thin_append gives it) of a chart whose screen holds `keep` scans.
    void add(int panel, int ctrl, std::int64_t first_scan, std::int64_t end_scan, int bucket, std::int64_t keep,
             const std::vector<ThinnedTrace>& traces);
    // One frame (strip_frame's form) per chart with news, and nothing held any more.
    std::vector<std::string> take();
    // Drops what is held for a chart (ctrl < 0: every chart of the panel; panel < 0: every chart).
    void forget(int panel, int ctrl);
    bool empty() const { return charts_.empty(); }

private:
    struct Chart {
        int panel = 0, ctrl = 0;
        std::int64_t first_scan = 0, end_scan = 0, keep = 0;
        int bucket = 1;
        std::vector<ThinnedTrace> traces;
    };
    std::vector<Chart> charts_;
};

}  // namespace vweb
