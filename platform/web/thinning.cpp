// Min/max thinning of strip-chart blocks per pixel column.
#include "platform/web/thinning.h"

#include <algorithm>

namespace vweb {

int scans_per_column(int points_per_screen, int width_pixels)
{
    if (width_pixels < 1 || points_per_screen <= width_pixels) return 1;
    return (points_per_screen + width_pixels - 1) / width_pixels;
}

ThinnedBlock thin_block(std::int64_t first_scan, const std::vector<std::vector<double>>& traces, int bucket,
                        std::int64_t keep)
{
    ThinnedBlock out;
    bucket = std::max(bucket, 1);
    std::size_t longest = 0;
    for (const auto& t : traces) longest = std::max(longest, t.size());
    std::size_t skip = 0;
    if (keep > 0 && static_cast<std::int64_t>(longest) > keep) skip = longest - static_cast<std::size_t>(keep);
    std::int64_t start = first_scan + static_cast<std::int64_t>(skip);
    out.first_column = start / bucket;
    out.traces.resize(traces.size());
    for (std::size_t t = 0; t < traces.size(); ++t) {
        const auto& in = traces[t];
        auto& res = out.traces[t];
        std::int64_t column = -1;
        for (std::size_t k = skip; k < in.size(); ++k) {
            double v = in[k];
            std::int64_t c = (first_scan + static_cast<std::int64_t>(k)) / bucket;
            if (c != column) {
                column = c;
                res.push_back(v);
                res.push_back(v);
            } else {
                res[res.size() - 2] = std::min(res[res.size() - 2], v);
                res.back() = std::max(res.back(), v);
            }
        }
    }
    return out;
}

nlohmann::json strip_block_json(std::int64_t first_scan, const std::vector<std::vector<double>>& traces, int bucket,
                                std::int64_t keep)
{
    ThinnedBlock b = thin_block(first_scan, traces, bucket, keep);
    std::size_t longest = 0;
    for (const auto& t : traces) longest = std::max(longest, t.size());
    return {{"first_scan", first_scan}, {"end_scan", first_scan + static_cast<std::int64_t>(longest)},
            {"bucket", std::max(bucket, 1)}, {"first_column", b.first_column}, {"traces", b.traces}};
}

}  // namespace vweb
