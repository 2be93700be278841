// Chamber model: wafers, runs, clean cycles and anomalies turned into per-channel volts, deterministically.
#include "platform/usb/chamber_model.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/sys/format.h"

namespace vusb {
namespace {

constexpr double kPi = 3.14159265358979323846;

bool to_double(const std::string& s, double& out)
{
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return !s.empty() && end != nullptr && *end == '\0' && std::isfinite(out);
}

bool to_int(const std::string& s, long& out)
{
    char* end = nullptr;
    out = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end != nullptr && *end == '\0';
}

// Unit step response of a second-order system.
double step2(double t, double zeta, double wn)
{
    if (t <= 0.0) return 0.0;
    if (zeta < 1.0) {
        double root = std::sqrt(1.0 - zeta * zeta);
        return 1.0 - std::exp(-zeta * wn * t) / root * std::sin(wn * root * t + std::acos(zeta));
    }
    return 1.0 - (1.0 + wn * t) * std::exp(-wn * t);
}

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

}  // namespace

vsys::Result parse_scenario(const std::string& text, Scenario& out)
{
    Scenario s;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    auto bad = [&](const std::string& why) { return vsys::Result::failure(vsys::strprintf("line %d: %s", number, why.c_str())); };
    while (std::getline(lines, line)) {
        ++number;
        auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty()) continue;
        const std::string& key = w[0];
        double x = 0;
        long n = 0;
        if (key == "seed" || key == "wafers_per_run" || key == "runs_per_clean" || key == "anomaly_period") {
            if (w.size() != 2 || !to_int(w[1], n) || n < (key == "seed" ? 0 : 1)) return bad("expected a whole number");
            if (key == "seed") s.seed = static_cast<unsigned long long>(n);
            else if (key == "wafers_per_run") s.wafers_per_run = static_cast<int>(n);
            else if (key == "runs_per_clean") s.runs_per_clean = static_cast<int>(n);
            else s.anomaly_period = static_cast<int>(n);
        } else if (key == "start_idle" || key == "wafer_gap" || key == "run_gap" || key == "clean_time") {
            if (w.size() != 2 || !to_double(w[1], x) || x < 0) return bad("expected seconds");
            if (key == "start_idle") s.start_idle = x;
            else if (key == "wafer_gap") s.wafer_gap = x;
            else if (key == "run_gap") s.run_gap = x;
            else s.clean_time = x;
        } else if (key == "phase") {
            if (w.size() != 3 || !to_double(w[2], x) || x <= 0) return bad("phase NAME SECONDS");
            s.phases.emplace_back(w[1], x);
        } else if (key == "channel") {
            ChannelModel m;
            if (w.size() < 3 || !to_int(w[1], n) || n < 1 || n > 32) return bad("channel NUMBER KIND ...");
            m.channel = static_cast<int>(n);
            const std::string& kind = w[2];
            if (kind == "step") m.kind = ChannelKind::Step;
            else if (kind == "follow") m.kind = ChannelKind::Follow;
            else if (kind == "endpoint") m.kind = ChannelKind::Endpoint;
            else if (kind == "thermocouple") m.kind = ChannelKind::Thermocouple;
            else if (kind == "trigger") m.kind = ChannelKind::Trigger;
            else return bad("unknown channel kind " + kind);
            for (std::size_t i = 3; i < w.size(); ++i) {
                auto eq = w[i].find('=');
                if (eq == std::string::npos) return bad("expected key=value: " + w[i]);
                std::string k = w[i].substr(0, eq), v = w[i].substr(eq + 1);
                if (k == "name") {
                    m.name = v;
                    continue;
                }
                if (k == "setpoints") {
                    std::istringstream list(v);
                    for (std::string item; std::getline(list, item, ',');) {
                        if (!to_double(item, x)) return bad("bad set-point " + item);
                        m.setpoints.push_back(x);
                    }
                    continue;
                }
                if (k == "source" || k == "phase") {
                    if (!to_int(v, n)) return bad("bad " + k);
                    (k == "source" ? m.source : m.phase) = static_cast<int>(n);
                    continue;
                }
                if (!to_double(v, x)) return bad("bad number for " + k);
                if (k == "idle") m.idle = x;
                else if (k == "clean") m.clean = x;
                else if (k == "zeta" && x > 0) m.zeta = x;
                else if (k == "wn" && x > 0) m.wn = x;
                else if (k == "tau_off" && x > 0) m.tau_off = x;
                else if (k == "gain") m.gain = x;
                else if (k == "lag" && x >= 0) m.lag = x;
                else if (k == "low") m.low = x;
                else if (k == "high") m.high = x;
                else if (k == "level") m.level = x;
                else if (k == "drop") m.drop = x;
                else if (k == "at") m.at = x;
                else if (k == "width" && x > 0) m.width = x;
                else if (k == "noise" && x >= 0) m.noise = x;
                else return bad("unknown or out-of-range key " + k);
            }
            for (const auto& other : s.channels)
                if (other.channel == m.channel) return bad("channel given twice");
            s.channels.push_back(m);
        } else if (key == "anomaly") {
            Anomaly a;
            if (w.size() < 3 || !to_int(w[1], n) || n < 1) return bad("anomaly WAFER KIND ...");
            a.wafer = static_cast<int>(n);
            const std::string& kind = w[2];
            if (kind == "overshoot") a.kind = AnomalyKind::Overshoot;
            else if (kind == "slow_decay") a.kind = AnomalyKind::SlowDecay;
            else if (kind == "late_endpoint") a.kind = AnomalyKind::LateEndpoint;
            else if (kind == "mean_shift") a.kind = AnomalyKind::MeanShift;
            else if (kind == "noise_burst") a.kind = AnomalyKind::NoiseBurst;
            else if (kind == "glitch") a.kind = AnomalyKind::Glitch;
            else if (kind == "fifo_error") a.kind = AnomalyKind::FifoError;
            else return bad("unknown anomaly " + kind);
            for (std::size_t i = 3; i < w.size(); ++i) {
                auto eq = w[i].find('=');
                std::string k = eq == std::string::npos ? "" : w[i].substr(0, eq);
                std::string v = eq == std::string::npos ? "" : w[i].substr(eq + 1);
                if (k == "channel" && to_int(v, n) && n >= 0 && n <= 32) a.channel = static_cast<int>(n);
                else if (k == "value" && to_double(v, x)) a.value = x;
                else return bad("expected channel=N or value=X: " + w[i]);
            }
            s.anomalies.push_back(a);
        } else {
            return bad("unknown keyword " + key);
        }
    }
    if (s.phases.empty()) return vsys::Result::failure("no phase given");
    for (const auto& m : s.channels) {
        if (m.kind == ChannelKind::Step && m.setpoints.size() != s.phases.size())
            return vsys::Result::failure(vsys::strprintf("channel %d: one set-point per phase is needed", m.channel));
        if (m.kind == ChannelKind::Follow) {
            bool found = false;
            for (const auto& o : s.channels) found = found || (o.channel == m.source && o.channel != m.channel);
            if (!found) return vsys::Result::failure(vsys::strprintf("channel %d: unknown source", m.channel));
        }
        if (m.kind == ChannelKind::Endpoint && (m.phase < 0 || m.phase >= static_cast<int>(s.phases.size())))
            return vsys::Result::failure(vsys::strprintf("channel %d: no such phase", m.channel));
    }
    out = std::move(s);
    return vsys::Result::success();
}

vsys::Result load_scenario(const std::string& path, Scenario& out)
{
    std::ifstream in(path);
    if (!in) return vsys::Result::failure("cannot open " + path);
    std::stringstream text;
    text << in.rdbuf();
    vsys::Result r = parse_scenario(text.str(), out);
    if (!r) r.error = path + ": " + r.error;
    return r;
}

ChamberModel::ChamberModel(Scenario scenario, double origin) : scenario_(std::move(scenario)), origin_(origin)
{
    for (const auto& p : scenario_.phases) wafer_time_ += p.second;
    run_time_ = scenario_.wafers_per_run * wafer_time_ + (scenario_.wafers_per_run - 1) * scenario_.wafer_gap +
                scenario_.run_gap;
    cycle_time_ = scenario_.runs_per_clean * run_time_ + scenario_.clean_time + scenario_.run_gap;
    for (const auto& m : scenario_.channels) by_channel_[m.channel] = &m;
}

std::shared_ptr<ChamberModel> ChamberModel::from_first_scan(Scenario scenario)
{
    auto model = std::make_shared<ChamberModel>(std::move(scenario), 0.0);
    model->origin_at_first_scan_ = true;
    return model;
}

void ChamberModel::begin_at(double t)
{
    if (!origin_at_first_scan_) return;
    origin_ = t;
    origin_at_first_scan_ = false;
}

ChamberModel::Interval ChamberModel::interval_at(double t, Interval* previous) const
{
    // Returns the interval holding t (start <= t < end), or an empty one; *previous
    // gets the interval holding t or else the last one that ended before t.
    Interval none {-1e300, -1e300, false, 0};
    double tp = t - origin_ - scenario_.start_idle;
    if (tp < 0.0) {
        *previous = none;
        return none;
    }
    double c = std::floor(tp / cycle_time_);
    double u = tp - c * cycle_time_;
    double base = origin_ + scenario_.start_idle + c * cycle_time_;
    long per_cycle = static_cast<long>(scenario_.runs_per_clean) * scenario_.wafers_per_run;
    long wafer0 = static_cast<long>(c) * per_cycle;
    Interval found;
    bool inside = false;
    if (u < scenario_.runs_per_clean * run_time_) {
        int r = static_cast<int>(u / run_time_);
        double ur = u - r * run_time_;
        double slot = wafer_time_ + scenario_.wafer_gap;
        int w = std::min(static_cast<int>(ur / slot), scenario_.wafers_per_run - 1);
        found.start = base + r * run_time_ + w * slot;
        found.end = found.start + wafer_time_;
        found.wafer = wafer0 + static_cast<long>(r) * scenario_.wafers_per_run + w + 1;
        inside = ur - w * slot < wafer_time_;
    } else {
        found.start = base + scenario_.runs_per_clean * run_time_;
        found.end = found.start + scenario_.clean_time;
        found.clean = true;
        found.wafer = wafer0 + per_cycle;
        inside = t < found.end;
    }
    *previous = found;
    return inside ? found : none;
}

const Anomaly* ChamberModel::anomaly(long wafer, AnomalyKind kind, int channel) const
{
    if (wafer < 1) return nullptr;
    int k = static_cast<int>((wafer - 1) % scenario_.anomaly_period) + 1;
    for (const auto& a : scenario_.anomalies)
        if (a.wafer == k && a.kind == kind && (a.channel == 0 || a.channel == channel)) return &a;
    return nullptr;
}

ChamberState ChamberModel::state_at(double t) const
{
    Interval last;
    Interval now = interval_at(t, &last);
    ChamberState s;
    s.wafer = last.wafer;
    if (now.start <= t && t < now.end) {
        s.in_wafer = !now.clean;
        s.in_clean = now.clean;
        s.since = t - now.start;
        if (!now.clean) {
            double edge = 0.0;
            for (std::size_t p = 0; p < scenario_.phases.size(); ++p) {
                edge += scenario_.phases[p].second;
                if (s.since < edge) {
                    s.phase = static_cast<int>(p);
                    break;
                }
            }
        }
    }
    return s;
}

double ChamberModel::step_value(const ChannelModel& m, const Interval& w, double t) const
{
    double tau = t - w.start;
    double zeta = m.zeta, tau_off = m.tau_off;
    if (!w.clean) {
        if (const Anomaly* a = anomaly(w.wafer, AnomalyKind::Overshoot, m.channel); a && a->value > 0) zeta /= a->value;
        if (const Anomaly* a = anomaly(w.wafer, AnomalyKind::SlowDecay, m.channel); a && a->value > 0) tau_off *= a->value;
    }
    double previous = m.idle, target = m.clean, since = tau;
    if (!w.clean) {
        double edge = 0.0;
        for (std::size_t p = 0; p < m.setpoints.size(); ++p) {
            double length = scenario_.phases[p].second;
            target = m.setpoints[p];
            since = tau - edge;
            if (tau < edge + length || p + 1 == m.setpoints.size()) break;
            previous = target;
            edge += length;
        }
    }
    double y;
    if (target <= m.idle + 1e-12 && previous > target)
        y = target + (previous - target) * std::exp(-since / tau_off);
    else
        y = previous + (target - previous) * step2(since, zeta, m.wn);
    if (!w.clean)
        if (const Anomaly* a = anomaly(w.wafer, AnomalyKind::MeanShift, m.channel)) y += a->value;
    return y;
}

double ChamberModel::channel_value(const ChannelModel& m, double t, int depth) const
{
    Interval last;
    Interval now = interval_at(t, &last);
    return channel_value(m, t, depth, now, last);
}

double ChamberModel::channel_value(const ChannelModel& m, double t, int depth, const Interval& now,
                                   const Interval& last) const
{
    bool inside = now.start <= t && t < now.end;
    switch (m.kind) {
    case ChannelKind::Step: {
        if (inside) return step_value(m, now, t);
        if (last.wafer == 0 && !last.clean) return m.idle;
        double tau_off = m.tau_off;
        if (const Anomaly* a = anomaly(last.wafer, AnomalyKind::SlowDecay, m.channel); a && a->value > 0 && !last.clean)
            tau_off *= a->value;
        double end = step_value(m, last, last.end);
        return m.idle + (end - m.idle) * std::exp(-(t - last.end) / tau_off);
    }
    case ChannelKind::Follow: {
        const ChannelModel* source = by_channel_[m.source];
        if (source == nullptr || depth > 4) return m.idle;
        double y = m.idle + m.gain * channel_value(*source, t - m.lag, depth + 1);
        return std::min(m.high, std::max(m.low, y));
    }
    case ChannelKind::Endpoint: {
        auto shape = [&](const Interval& w, double at) {
            double tau = at - w.start;
            double y = m.idle + (m.level - m.idle) * (1.0 - std::exp(-tau / 0.5));
            if (w.clean) return y;
            double edge = 0.0;
            for (int p = 0; p < m.phase; ++p) edge += scenario_.phases[static_cast<std::size_t>(p)].second;
            double te = edge + m.at * scenario_.phases[static_cast<std::size_t>(m.phase)].second;
            if (const Anomaly* a = anomaly(w.wafer, AnomalyKind::LateEndpoint, m.channel)) te += a->value;
            return y - m.drop / (1.0 + std::exp(-(tau - te) / m.width));
        };
        if (inside) return shape(now, t);
        if (last.wafer == 0 && !last.clean) return m.idle;
        double end = shape(last, last.end);
        return m.idle + (end - m.idle) * std::exp(-(t - last.end) / 0.5);
    }
    case ChannelKind::Thermocouple: {
        // Degrees: a first-order lag towards the process temperature while the chamber works.
        auto towards = [&](double from, double tau) { return m.level + (from - m.level) * std::exp(-tau / m.tau_off); };
        auto cool = [&](double from, double tau) { return m.idle + (from - m.idle) * std::exp(-tau / m.tau_off); };
        if (last.wafer == 0 && !last.clean) return m.idle;
        // The temperature when `last` began, kept per channel: it is the same for
        // every sample until the next interval starts.
        auto& cached = start_temperature_[static_cast<std::size_t>(m.channel)];
        if (cached.first != last.start) {
            // Warm and cool through the intervals before `last`, oldest first: a
            // dozen back is far beyond what the lag still remembers.
            std::vector<Interval> history;
            Interval probe = last;
            for (int i = 0; i < 12; ++i) {
                Interval before;
                interval_at(probe.start - 1e-6, &before);
                if (before.wafer == 0 && !before.clean) break;
                history.push_back(before);
                probe = before;
            }
            double temperature = m.idle;
            double at = history.empty() ? last.start : history.back().start;
            for (auto it = history.rbegin(); it != history.rend(); ++it) {
                temperature = towards(cool(temperature, it->start - at), it->end - it->start);
                at = it->end;
            }
            cached = {last.start, cool(temperature, last.start - at)};
        }
        double until = std::min(t, last.end);
        double temperature = towards(cached.second, until - last.start);
        return inside ? temperature : cool(temperature, t - until);
    }
    case ChannelKind::Trigger: {
        if (!inside) return m.idle;
        // A drop-out in the middle of the wafer: shorter than the minimum trigger
        // width, it must not split the wafer.
        if (const Anomaly* a = anomaly(now.wafer, AnomalyKind::Glitch, m.channel); a && !now.clean) {
            double from = now.start + wafer_time_ / 2.0;
            if (t >= from && t < from + a->value) return m.idle;
        }
        return m.level;
    }
    }
    return m.idle;
}

double ChamberModel::value(int channel, double t) const
{
    if (channel < 1 || channel > 32 || by_channel_[channel] == nullptr) return 0.0;
    return channel_value(*by_channel_[channel], t, 0);
}

double ChamberModel::noise(int channel, std::uint64_t mixed_tick) const
{
    // Sum of four uniforms, scaled to unit variance: close enough to normal, and cheap.
    std::uint64_t h = mix(scenario_.seed ^ mix(static_cast<std::uint64_t>(channel) ^ mixed_tick));
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) sum += static_cast<double>((h >> (16 * i)) & 0xFFFF) / 65535.0;
    return (sum - 2.0) * 1.7320508075688772;
}

void ChamberModel::sample(double t, std::uint64_t, double volts[32])
{
    begin_at(t);
    // The process moves slowly next to the top sample rate: its shape is
    // evaluated once per millisecond, the noise on every sample.
    auto bucket = static_cast<long long>(std::floor(t * 1000.0));
    if (bucket != shape_bucket_) {
        shape_bucket_ = bucket;
        Interval last;
        Interval now = interval_at(t, &last);
        const bool in_wafer = !last.clean && now.start <= t && t < now.end;
        for (int c = 1; c <= 32; ++c) {
            const Anomaly* a = in_wafer ? anomaly(last.wafer, AnomalyKind::NoiseBurst, c) : nullptr;
            burst_[static_cast<std::size_t>(c)] = a ? a->value : 1.0;
            const ChannelModel* m = by_channel_[c];
            double v = m == nullptr ? 0.0 : channel_value(*m, t, 0, now, last);
            if (m != nullptr && m->kind == ChannelKind::Thermocouple) v = adapter_volts(v);
            shape_[static_cast<std::size_t>(c)] = v;
        }
    }
    // The microsecond of the sample seeds every channel's noise: mixed once for all of them.
    const std::uint64_t mixed_tick = mix(static_cast<std::uint64_t>(std::llround(t * 1e6)));
    for (int c = 1; c <= 32; ++c) {
        const ChannelModel* m = by_channel_[c];
        double v = shape_[static_cast<std::size_t>(c)];
        if (m != nullptr && m->noise > 0.0) v += m->noise * burst_[static_cast<std::size_t>(c)] * noise(c, mixed_tick);
        volts[c - 1] = v;
    }
}

std::uint8_t ChamberModel::block_error(double start, double end)
{
    begin_at(start);
    (void)end;
    Interval last;
    Interval now = interval_at(start, &last);
    if (!(now.start <= start && start < now.end) || now.clean) return 0;
    const Anomaly* a = anomaly(now.wafer, AnomalyKind::FifoError, 0);
    double tau = start - now.start;
    if (a == nullptr || tau < 5.0 || tau >= 6.0) return 0;
    return static_cast<std::uint8_t>(a->value > 0 ? a->value : 2);
}

}  // namespace vusb
