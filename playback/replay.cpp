// The replay of one stored trace: header, destination start, playback list line, the block loop and its outputs.
#include "playback/replay.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "core/config_store.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/shared_buffers.h"
#include "core/trace_file.h"
#include "panels/s_chart.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/clock.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "playback/pacing.h"
#include "playback/playback_list.h"
#include "playback/trace_header.h"

BlockLayout layout_of(const RunRecord& record)
{
    BlockLayout l;
    l.rate_index = record.rate_index;
    l.rate = record.rate > 0 ? record.rate : 1;
    l.saved = record.channels.saved;
    l.mask = record.channels.mask;
    l.adc_bits = record.channels.adc_bits == 0 ? 0 : 1;
    int highest = 0;
    for (int ch = 1; ch <= 32; ++ch)
        if (l.mask & (1u << (ch - 1))) highest = ch;
    l.channels = record.channels.channels ? std::min<int>(*record.channels.channels, 32) : highest;
    if (l.channels < highest) l.channels = highest;
    return l;
}

void allocate_run_buffers(PlaybackState& s)
{
    const BlockLayout& l = s.layout;
    s.shown = l;
    s.raw.assign(l.values(), 0);
    s.scaled.assign(s.graph_kind ? 0 : l.values(), 0.0);
    if (s.graph_kind) {
        const std::size_t points = static_cast<std::size_t>(l.rate) + 1;
        s.xs.assign(points, 0.0);
        s.ys.assign(static_cast<std::size_t>(l.saved) + 1, std::vector<double>(points, 0.0));
        for (auto& y : s.ys) y[0] = -1e90;
    } else {
        s.xs.clear();
        s.ys.clear();
    }
}

double scaled_value(const PlaybackState& s, int channel, int k, int scan)
{
    const BlockLayout& l = s.shown;
    const std::size_t at = static_cast<std::size_t>(scan) * static_cast<std::size_t>(l.saved) +
                           static_cast<std::size_t>(l.saved - k);
    return channel_slope[channel] * BinaryToVoltage[l.adc_bits] * s.raw[at] + channel_inter[channel];
}

std::string trace_label(int run, const RunRecord& record)
{
    if (run < 0) {
        char name[33] = "";
        get_put_char(hdbc, 1, -run, CONFIG_READ, name);
        return vsys::strprintf("%s POR", name);
    }
    return record.trace_id;
}

namespace {

bool read_exact(std::FILE* f, void* into, std::size_t bytes)
{
    return bytes == 0 || std::fread(into, 1, bytes, f) == bytes;
}

// Reads one raw block and its trailer from the trace.
bool read_block(PlaybackState& s, std::FILE* trace)
{
    if (!read_exact(trace, s.raw.data(), s.raw.size() * sizeof(std::int16_t))) return false;
    return read_exact(trace, s.trailer.data(), s.trailer.size());
}

// Where an overlaid trace starts: two seconds before its trigger.
double overlay_start(PlaybackState& s, std::FILE* trace, long data_start)
{
    short trig = trigger;
    if (trig > 0 && (trig_ch < 1 || trig_ch > 32)) trig = 0;
    if (trig == 2 && (trig_2_ch < 1 || trig_2_ch > 32)) trig = 1;
    if (trig <= 0) return 2.0;
    const BlockLayout& l = s.layout;
    auto position = [&](int ch) {
        int k = 0;
        for (int i = 1; i <= ch && i <= 32; ++i)
            if (l.mask & (1u << (i - 1))) ++k;
        return k;
    };
    const int p1 = position(trig_ch), p2 = trig == 2 ? position(trig_2_ch) : 0;
    const double volts = BinaryToVoltage[l.adc_bits];
    std::vector<std::int16_t> scan(static_cast<std::size_t>(std::max(l.saved, 1)));
    long k = 0;
    bool met = false;
    auto value = [&](int ch, int pos) {
        // A trigger channel the run did not record never meets its condition.
        if (pos < 1 || pos > l.saved || !(l.mask & (1u << (ch - 1)))) return std::nan("");
        return channel_slope[ch] * volts * scan[static_cast<std::size_t>(l.saved - pos)] + channel_inter[ch];
    };
    while (read_exact(trace, scan.data(), scan.size() * sizeof(std::int16_t))) {
        ++k;
        const double v1 = value(trig_ch, p1);
        bool hit = trig_log * v1 > trig_log * trig_val;
        if (hit && trig == 2) hit = trig_2_log * value(trig_2_ch, p2) > trig_2_log * trig_2_val;
        if (hit) {
            met = true;
            break;
        }
        if (k % l.rate == 0) {
            unsigned char skip[kBlockTrailerBytes];
            if (!read_exact(trace, skip, sizeof skip)) break;
        }
    }
    std::fseek(trace, data_start, SEEK_SET);
    return met ? 2.0 - static_cast<double>(k) / l.rate : 0.0;
}

const char* time_format(int rate_index)
{
    if (rate_index > 1000) return "%.4lf\t";
    if (rate_index > 100) return "%.3lf\t";
    if (rate_index > 10) return "%.2lf\t";
    return "%.1lf\t";
}

// The columns of a text export: enabled and shown channels, ascending.
std::vector<std::pair<int, int>> text_columns(const PlaybackState& s)
{
    std::vector<std::pair<int, int>> cols;  // channel, position k
    int k = 0;
    for (int ch = 1; ch <= s.layout.channels; ++ch) {
        if (!(s.layout.mask & (1u << (ch - 1)))) continue;
        ++k;
        if (s.show[ch]) cols.emplace_back(ch, k);
    }
    return cols;
}

void set_comment_line(const std::string& text)
{
    int style = 0;
    GetCtrlAttribute(sc_handle, SCHART_COMMENT, ATTR_CTRL_STYLE, &style);
    if (style == CTRL_TEXT_BOX)
        ResetTextBox(sc_handle, SCHART_COMMENT, text.c_str());
    else
        SetCtrlVal(sc_handle, SCHART_COMMENT, text);
}

void plot_graph_block(PlaybackState& s)
{
    const BlockLayout& l = s.shown;
    if (l.rate_index > 0) {
        for (int i = 0; i <= l.rate; ++i) s.xs[static_cast<std::size_t>(i)] = s.x + static_cast<double>(i) / l.rate;
    } else {
        s.xs[0] = s.x;
        s.xs[1] = s.x + l.seconds_per_block();
    }
    const double end = s.xs[static_cast<std::size_t>(l.rate)];
    s.x = end;
    bool use = true;
    if (s.output == OUT_MANUAL_X) {
        use = end > s.x_min && s.xs[0] < s.x_max_entered;
        if (end >= s.x_max_entered) s.stop_all = true;
    }
    if (!use || s.output == OUT_OVERLAY_18) return;
    int k = 0;
    std::vector<std::pair<int, int>> drawn;
    for (int ch = 1; ch <= l.channels; ++ch) {
        if (!(l.mask & (1u << (ch - 1)))) continue;
        ++k;
        if (!s.show[ch]) continue;
        drawn.emplace_back(ch, k);
        auto& y = s.ys[static_cast<std::size_t>(k)];
        for (int sc = 0; sc < l.rate; ++sc) {
            const double v = scaled_value(s, ch, k, sc);
            y[static_cast<std::size_t>(sc) + 1] = v;
            s.y_small = std::min(s.y_small, v);
            s.y_large = std::max(s.y_large, v);
        }
    }
    if (drawn.empty()) return;
    if (s.ys[static_cast<std::size_t>(drawn.front().second)][0] < -1e89) {
        s.xs[0] = s.xs[1];
        for (auto [ch, kk] : drawn) s.ys[static_cast<std::size_t>(kk)][0] = s.ys[static_cast<std::size_t>(kk)][1];
    }
    const int style = s.output == OUT_MANUAL_X ? VAL_SOLID : s.add_flag;
    for (auto [ch, kk] : drawn) {
        try {
            GraphInfo.push_back({0, static_cast<std::uint8_t>(ch)});
        } catch (const std::bad_alloc&) {
            EXIT_NOW("GraphInfo out of memory.");
            s.plot_ok = false;
            return;
        }
        GraphInfoEntries = static_cast<int>(GraphInfo.size());
        const int handle = PlotXY(sc_handle, SCHART_PLAYBACK, s.xs.data(), s.ys[static_cast<std::size_t>(kk)].data(),
                                  l.rate + 1, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, style, 1,
                                  s.colours[ch]);
        GraphInfo.back().plot = handle;
        if (handle < 1) {
            s.plot_ok = false;
            s.fail_x = s.xs[0];
            return;
        }
        ++s.plots_made;
    }
    for (auto [ch, kk] : drawn) {
        auto& y = s.ys[static_cast<std::size_t>(kk)];
        y[0] = y[static_cast<std::size_t>(l.rate)];
    }
}

}  // namespace

void replay_trace(PlaybackState& s, vsys::FilePtr trace)
{
    // 1. Header and time read-out.
    char time[64] = "", date[64] = "", dotted = 0;
    const int fields = GetTimeAndDateFromBin(trace.get(), time, date, &dotted);
    const long data_start = std::ftell(trace.get());
    std::string shown_time = fields < 1 ? s.record.time : std::string(time);
    SetCtrlVal(sc_handle, SCHART_TIME, shown_time);

    // 2. Destination start.
    std::unique_ptr<vsys::AtomicFile> text;
    std::string text_name;
    std::string rows;
    const auto columns = text_columns(s);
    if (s.output == OUT_TEXT) {
        text_name = s.item_run < 0 ? vsys::strprintf("%s.POR", s.text_path.c_str())
                                   : vsys::strprintf("%s.%.3d", s.text_path.c_str(), s.wafer);
        text = std::make_unique<vsys::AtomicFile>(text_name, vsys::AtomicFile::Where::confined);  // a typed name
        if (!text->is_open()) {
            MessagePopup("Text File Error", vsys::strprintf("Cannot open %s", text_name.c_str()).c_str());
            text.reset();
        } else {
            rows += vsys::strprintf("%s #%i\n", s.record.trace_id.c_str(), s.item_run < 0 ? 1 : s.wafer);
            rows += vsys::strprintf("%s\n", s.record.comment.c_str());
            rows += vsys::strprintf("%s\n", s.record.date.c_str());
            rows += vsys::strprintf("%s\n", shown_time.c_str());
            if (s.layout.rate_index > 0)
                rows += vsys::strprintf("Samples per Second = %i\n\n", s.layout.rate);
            else
                rows += vsys::strprintf("Seconds per Sample = %i\n\n", std::abs(s.layout.rate_index));
            if (s.time_column) rows += "Sec.\t";
            for (auto [ch, k] : columns) {
                char name[33] = "";
                get_put_char(hdbc, 28, ch, TAGS_READ, name);
                rows += vsys::strprintf("%s\t", name);
            }
            rows += "\n";
        }
    } else if (s.output == OUT_OVERLAY || s.output == OUT_OVERLAY_18) {
        s.x = overlay_start(s, trace.get(), data_start);
    }
    if (s.output == OUT_AUTO_X || s.output == OUT_OVERLAY || s.output == OUT_OVERLAY_18) ++s.overlay_count;

    // 3. Line style and the playback list line.
    const bool several = s.checked > 1 || s.last_wafer > s.first_wafer || s.add_flag == 2;
    s.add_flag = s.output == OUT_OVERLAY && s.overlay_count == 1 && several ? 2 : 0;
    PlaybackListLine line;
    line.run = s.item_run < 0 ? s.item_run : s.record.run;
    line.wafer = s.item_run < 0 ? 1 : s.wafer;
    line.x = s.graph_kind ? s.x : static_cast<double>(s.elapsed);
    line.style = s.add_flag;
    // The list names what the chart shows (the print draws it): a trace no output draws is not listed.
    const bool drawn = s.output == OUT_STRIP || s.output == OUT_MANUAL_X || s.output == OUT_AUTO_X ||
                       s.output == OUT_OVERLAY;
    if (drawn) append_playback_line(s.list_path, line);

    // 4. Block loop.
    const bool strip = s.output == OUT_STRIP;
    while (true) {
        s.block_start = vsys::clock_seconds();
        bool got;
        if (strip && s.history) {
            got = next_strip_block(s, trace.get());
        } else {
            s.shown = s.layout;
            got = read_block(s, trace.get());
        }
        if (got) {
            s.elapsed += s.shown.seconds_per_block();
            if (strip) {
                for (int k = 1; k <= s.shown.saved; ++k) {
                    int ch = 0, seen = 0;
                    for (int c = 1; c <= 32; ++c)
                        if (s.shown.mask & (1u << (c - 1)) && ++seen == k) {
                            ch = c;
                            break;
                        }
                    for (int sc = 0; sc < s.shown.rate; ++sc)
                        s.scaled[static_cast<std::size_t>(sc) * static_cast<std::size_t>(s.shown.saved) +
                                 static_cast<std::size_t>(s.shown.saved - k)] = scaled_value(s, ch, k, sc);
                }
                PlotStripChart(sc_handle, SCHART_STRIP, s.scaled.data(), static_cast<int>(s.shown.values()), 0, 0,
                               VAL_DOUBLE);
            } else if (s.graph_kind && s.output != OUT_TEXT) {
                plot_graph_block(s);
            } else if (text) {
                const char* format = time_format(s.layout.rate_index);
                for (int sc = 0; sc < s.layout.rate; ++sc) {
                    if (s.time_column) {
                        if (s.layout.rate_index <= 1)
                            rows += vsys::strprintf("%d\t", s.elapsed);
                        else
                            rows += vsys::strprintf(format, s.elapsed + static_cast<double>(sc) / s.layout.rate);
                    }
                    for (auto [ch, k] : columns) rows += vsys::strprintf("%.3lf\t", scaled_value(s, ch, k, sc));
                    rows += "\n";
                }
                if (rows.size() > (1u << 16)) {
                    text->write(rows);
                    rows.clear();
                }
            }
        }
        after_block(s, got);
        if (!got || s.stop_all) break;
        int toggle = 0;
        GetCtrlVal(sc_handle, SCHART_PLAY, &toggle);
        if (!toggle || !s.plot_ok) break;
    }

    // 5. End of the trace.
    if (s.add_flag == 2) {
        if (s.item_run < 0) {
            char name[33] = "";
            get_put_char(hdbc, 1, -s.item_run, CONFIG_READ, name);
            set_comment_line(vsys::strprintf(" - - - - - - %s POR", name));
        } else {
            set_comment_line(vsys::strprintf(" - - - - - - %s #%i", s.record.trace_id.c_str(), s.wafer));
        }
    }
    if (text) {
        text->write(rows);
        const vsys::Result done = text->commit();
        if (!done.ok)
            MessagePopup("Text File Error",
                         vsys::strprintf("Cannot write %s: %s", text_name.c_str(), done.error.c_str()).c_str());
    }
    trace.reset();
}
