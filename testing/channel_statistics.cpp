// Channel statistics of a wafer: mean, standard deviation, maximum and minimum of each statistics channel.
#include <cmath>
#include <vector>

#include "platform/sys/format.h"
#include "testing/analysis.h"

namespace {

struct ChannelSums {
    int channel = 0;
    double sx = 0;
    double ss = 0;  // sum of squared deviations from the mean (second pass)
    std::int16_t minimum = 0;
    std::int16_t maximum = 0;
    bool seen = false;
};

bool statistics_channel(const TraceSetup& setup, int c)
{
    int type = setup.channel_type[c];
    return setup.enabled(c) && (type == 0 || type == 20 || type == 21 || type == 22);
}

}  // namespace

void test_channel_statistics(const WaferTrace& trace, const TraceSetup& setup, TestServices& services)
{
    std::vector<ChannelSums> taken;
    for (int c = 1; c <= setup.channels && c <= 32; ++c)
        if (statistics_channel(setup, c)) taken.push_back(ChannelSums{c});
    if (taken.empty() || setup.saved_channels <= 0 || setup.sample_rate <= 0) return;

    const auto n_values = static_cast<std::size_t>(setup.saved_channels) * static_cast<std::size_t>(setup.sample_rate);
    const int rate = setup.sample_rate;
    const int width = setup.saved_channels;
    std::vector<std::int16_t> block;

    // First pass: sums and extremes over every complete block; the extremes start
    // from the first sample so that no count range is out of reach.
    TraceStream stream(trace.bytes);
    stream.seek(trace.header_end);
    long blocks = 0;
    bool complete = stream.read_block(block, n_values);
    while (!stream.eof() && complete) {
        for (auto& ch : taken) {
            int index = setup.scan_index(ch.channel);
            for (int s = 0; s < rate; ++s) {
                std::int16_t r = block[static_cast<std::size_t>(s * width + index)];
                ch.sx += r;
                if (!ch.seen || r < ch.minimum) ch.minimum = r;
                if (!ch.seen || r > ch.maximum) ch.maximum = r;
                ch.seen = true;
            }
        }
        ++blocks;
        complete = stream.read_block(block, n_values);
    }
    if (blocks <= 1) return;
    const double n = static_cast<double>(blocks) * rate;

    // Second pass: squared deviations from the mean, never n*Sx2 - Sx*Sx.
    stream.seek(trace.header_end);
    for (long b = 0; b < blocks; ++b) {
        stream.read_block(block, n_values);
        for (auto& ch : taken) {
            int index = setup.scan_index(ch.channel);
            double mean = ch.sx / n;
            for (int s = 0; s < rate; ++s) {
                double d = block[static_cast<std::size_t>(s * width + index)] - mean;
                ch.ss += d * d;
            }
        }
    }

    for (const auto& ch : taken) {
        int c = ch.channel;
        double variance = ch.ss / (n - 1.0);
        double sd_counts = variance <= 1e-9 ? 0.0 : std::sqrt(variance);
        double mean_counts = ch.sx / n;
        double k = setup.slope[c] * setup.volts_per_count;
        double mean = k * mean_counts + setup.inter[c];
        // A negative slope turns the count extremes round; the deviation stays a size.
        double sd = std::fabs(k) * sd_counts;
        double high = k * ch.maximum + setup.inter[c];
        double low = k * ch.minimum + setup.inter[c];
        if (k < 0) std::swap(high, low);
        services.insert_row(vsys::strprintf("INSERT INTO OTHER_%.2d VALUES (%i, %i, %.3lf, %.3lf, %.3lf, %.3lf)", c,
                                            trace.run, trace.wafer, mean, sd, high, low),
                            ResultTable::other, c, 0);
        const double values[5] = {0, mean, sd, low, high};
        for (int sub = 1; sub <= 4; ++sub)
            services.realtime_check(c, setup.channel_type[c], sub, 0, trace.run, trace.wafer, values[sub]);
    }
}
