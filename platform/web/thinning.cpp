// Min/max thinning of strip-chart blocks per pixel column.
#include "platform/web/thinning.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

std::vector<ThinnedTrace> thin_append(const vui::StripAppend& block, int bucket, std::int64_t keep, std::int64_t& end_scan)
{
    bucket = std::max(bucket, 1);
    const std::size_t traces = static_cast<std::size_t>(std::max(block.traces, 1));
    const std::size_t first_trace = static_cast<std::size_t>(std::max(block.first_trace, 0)) % traces;
    const std::size_t positions = first_trace + block.count;
    end_scan = block.first_scan + static_cast<std::int64_t>((positions + traces - 1) / traces);
    std::size_t k = 0;
    if (keep > 0 && end_scan - keep > block.first_scan) {
        // Older scans would scroll out of the screen at once.
        std::size_t from = static_cast<std::size_t>(end_scan - keep - block.first_scan) * traces;
        k = from > first_trace ? std::min(from - first_trace, block.count) : 0;
    }
    std::vector<ThinnedTrace> out(traces);
    std::size_t pos = first_trace + k;
    std::size_t t = pos % traces;
    std::int64_t scan = block.first_scan + static_cast<std::int64_t>(pos / traces);
    std::int64_t column = scan / bucket;
    std::int64_t next_column_scan = (column + 1) * bucket;
    std::size_t columns = static_cast<std::size_t>((end_scan - scan + bucket - 1) / bucket + 1);
    for (auto& tr : out) tr.minmax.reserve(2 * columns);
    // The column being gathered, per trace: kept apart until it is complete, so the block is read once in
    // its own order rather than pushed to and compared in the output value by value.
    std::vector<double> lo(traces), hi(traces);
    std::vector<unsigned char> seen(traces, 0);
    const auto close_column = [&] {
        for (std::size_t u = 0; u < traces; ++u) {
            if (!seen[u]) continue;
            if (out[u].minmax.empty()) out[u].first_column = column;
            out[u].minmax.push_back(lo[u]);
            out[u].minmax.push_back(hi[u]);
            seen[u] = 0;
        }
    };
    for (; k < block.count; ++k) {
        const double v = block.at(k);
        if (!seen[t]) {
            lo[t] = hi[t] = v;
            seen[t] = 1;
        } else {
            lo[t] = std::min(lo[t], v);
            hi[t] = std::max(hi[t], v);
        }
        if (++t == traces) {
            t = 0;
            if (++scan == next_column_scan) {
                close_column();
                ++column;
                next_column_scan += bucket;
            }
        }
    }
    close_column();
    return out;
}

namespace {

std::string frame_of(int panel, int ctrl, std::int64_t first_scan, std::int64_t end_scan, int bucket,
                     const std::vector<ThinnedTrace>& thin)
{
    std::vector<double> head = {1,
                                static_cast<double>(panel),
                                static_cast<double>(ctrl),
                                static_cast<double>(first_scan),
                                static_cast<double>(end_scan),
                                static_cast<double>(std::max(bucket, 1)),
                                static_cast<double>(thin.size())};
    std::size_t values = 0;
    for (const auto& t : thin) {
        head.push_back(static_cast<double>(t.first_column));
        head.push_back(static_cast<double>(t.minmax.size()));
        values += t.minmax.size();
    }
    // The page reads the frame as one Float64Array: x86 and ARM hosts are little-endian like it.
    std::string frame((head.size() + values) * sizeof(double), '\0');
    char* at = frame.data();
    std::memcpy(at, head.data(), head.size() * sizeof(double));
    at += head.size() * sizeof(double);
    for (const auto& t : thin) {
        if (t.minmax.empty()) continue;
        std::memcpy(at, t.minmax.data(), t.minmax.size() * sizeof(double));
        at += t.minmax.size() * sizeof(double);
    }
    return frame;
}

// Adds the columns of `add` to `into` (a column both hold is merged); a gap between them is left empty (NaN).
void merge_columns(ThinnedTrace& into, const ThinnedTrace& add)
{
    if (add.minmax.empty()) return;
    if (into.minmax.empty()) {
        into = add;
        return;
    }
    const std::int64_t held = static_cast<std::int64_t>(into.minmax.size() / 2);
    const std::int64_t gap = add.first_column - (into.first_column + held);
    if (gap > 0) into.minmax.insert(into.minmax.end(), static_cast<std::size_t>(2 * gap), std::nan(""));
    for (std::size_t k = 0; k < add.minmax.size() / 2; ++k) {
        const std::int64_t i = add.first_column + static_cast<std::int64_t>(k) - into.first_column;
        if (i < 0) continue;
        const auto at = static_cast<std::size_t>(2 * i);
        if (at < into.minmax.size()) {
            into.minmax[at] = std::isnan(into.minmax[at]) ? add.minmax[2 * k] : std::min(into.minmax[at], add.minmax[2 * k]);
            into.minmax[at + 1] = std::isnan(into.minmax[at + 1]) ? add.minmax[2 * k + 1] : std::max(into.minmax[at + 1], add.minmax[2 * k + 1]);
        } else {
            into.minmax.push_back(add.minmax[2 * k]);
            into.minmax.push_back(add.minmax[2 * k + 1]);
        }
    }
}

}  // namespace

std::string strip_frame(const vui::StripAppend& block, int bucket, std::int64_t keep)
{
    std::int64_t end_scan = 0;
    auto thin = thin_append(block, bucket, keep, end_scan);
    return frame_of(block.panel, block.ctrl, block.first_scan, end_scan, bucket, thin);
}

void StripPacer::add(int panel, int ctrl, std::int64_t first_scan, std::int64_t end_scan, int bucket, std::int64_t keep,
                     const std::vector<ThinnedTrace>& traces)
{
    bucket = std::max(bucket, 1);
    auto it = std::find_if(charts_.begin(), charts_.end(), [&](const Chart& c) { return c.panel == panel && c.ctrl == ctrl; });
    if (it == charts_.end() || it->bucket != bucket || first_scan < it->first_scan) {
        // New, or drawn at another scale (the page starts over then): what was held is of no use.
        if (it != charts_.end()) charts_.erase(it);
        charts_.push_back(Chart{panel, ctrl, first_scan, end_scan, keep, bucket, traces});
        return;
    }
    Chart& c = *it;
    c.end_scan = std::max(c.end_scan, end_scan);
    c.keep = keep;
    if (c.traces.size() < traces.size()) c.traces.resize(traces.size());
    for (std::size_t t = 0; t < traces.size(); ++t) merge_columns(c.traces[t], traces[t]);
    // Only the columns still on the screen (and one before, for the join) are worth sending.
    const std::int64_t first_kept = std::max<std::int64_t>(0, c.end_scan - keep) / bucket - 1;
    for (auto& tr : c.traces) {
        const std::int64_t drop = first_kept - tr.first_column;
        if (drop <= 0 || tr.minmax.empty()) continue;
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(2 * drop), tr.minmax.size());
        tr.minmax.erase(tr.minmax.begin(), tr.minmax.begin() + static_cast<std::ptrdiff_t>(n));
        tr.first_column += static_cast<std::int64_t>(n / 2);
    }
    c.first_scan = std::max(c.first_scan, first_kept * bucket);
}

std::vector<std::string> StripPacer::take()
{
    std::vector<std::string> frames;
    for (const Chart& c : charts_) frames.push_back(frame_of(c.panel, c.ctrl, c.first_scan, c.end_scan, c.bucket, c.traces));
    charts_.clear();
    return frames;
}

void StripPacer::forget(int panel, int ctrl)
{
    charts_.erase(std::remove_if(charts_.begin(), charts_.end(),
                                 [&](const Chart& c) { return panel < 0 || (c.panel == panel && (ctrl < 0 || c.ctrl == ctrl)); }),
                  charts_.end());
}

}  // namespace vweb
