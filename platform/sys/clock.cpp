// Real, sped-up and simulated clock behind every time read and sleep of the program.
#include "platform/sys/clock.h"

#include <chrono>
#include <condition_variable>
#include <cmath>
#include <mutex>
#include <thread>

namespace vsys {
namespace {

using steady = std::chrono::steady_clock;
using system = std::chrono::system_clock;

struct ClockState {
    std::mutex mutex;
    std::condition_variable advanced;
    bool simulated = false;
    double sim_seconds = 0.0;       // simulated clock_seconds()
    double sim_wall_origin = 0.0;   // epoch seconds at sim_seconds == 0
    double speed = 1.0;
    // Real clock: program time = origin + (real elapsed since anchor) * speed.
    steady::time_point anchor = steady::now();
    double origin = 0.0;
    double wall_at_anchor = 0.0;
};

ClockState& state()
{
    static ClockState s;
    return s;
}

double real_elapsed(const ClockState& s)
{
    return std::chrono::duration<double>(steady::now() - s.anchor).count();
}

double epoch_now_real()
{
    return std::chrono::duration<double>(system::now().time_since_epoch()).count();
}

// Called with the mutex held.
double seconds_locked(const ClockState& s)
{
    if (s.simulated) return s.sim_seconds;
    return s.origin + real_elapsed(s) * s.speed;
}

double wall_locked(const ClockState& s)
{
    if (s.simulated) return s.sim_wall_origin + s.sim_seconds;
    if (s.speed == 1.0) return epoch_now_real();
    return s.wall_at_anchor + real_elapsed(s) * s.speed;
}

}  // namespace

double clock_seconds()
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return seconds_locked(s);
}

double wall_seconds()
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return wall_locked(s);
}

CivilTime civil_now()
{
    bool simulated = false;
    double wall = 0.0;
    {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        simulated = s.simulated;
        wall = wall_locked(s);
    }
    std::time_t t = static_cast<std::time_t>(std::floor(wall));
    std::tm tm{};
    if (simulated)
        gmtime_r(&t, &tm);
    else
        localtime_r(&t, &tm);
    return CivilTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void sleep_seconds(double seconds)
{
    if (!(seconds > 0.0)) return;
    auto& s = state();
    std::unique_lock lock(s.mutex);
    if (s.simulated) {
        s.sim_seconds += seconds;
        s.advanced.notify_all();
        return;
    }
    double speed = s.speed;
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds / speed));
}

bool wait_until_clock_impl(double target, bool (*stop)(void*), void* context)
{
    auto& s = state();
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (seconds_locked(s) >= target) return true;
        lock.unlock();
        if (stop(context)) return false;
        lock.lock();
        double remaining = target - seconds_locked(s);
        if (remaining <= 0.0) return true;
        // Real time to sleep, capped so the stop request is seen promptly.
        double real_wait = s.simulated ? 0.010 : std::min(0.010, remaining / s.speed);
        s.advanced.wait_for(lock, std::chrono::duration<double>(real_wait));
    }
}

void simulate_clock(const CivilTime& start)
{
    std::tm tm{};
    tm.tm_year = start.year - 1900;
    tm.tm_mon = start.month - 1;
    tm.tm_mday = start.day;
    tm.tm_hour = start.hour;
    tm.tm_min = start.minute;
    tm.tm_sec = start.second;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.simulated = true;
    s.sim_seconds = 0.0;
    s.sim_wall_origin = static_cast<double>(timegm(&tm));
    s.advanced.notify_all();
}

void advance_clock(double seconds)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (s.simulated && seconds > 0.0) s.sim_seconds += seconds;
    s.advanced.notify_all();
}

void use_real_clock()
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    double now = seconds_locked(s);
    s.simulated = false;
    s.speed = 1.0;
    s.anchor = steady::now();
    s.origin = now;
    s.wall_at_anchor = epoch_now_real();
    s.advanced.notify_all();
}

bool clock_is_simulated()
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.simulated;
}

void set_clock_speed(double factor)
{
    if (!(factor > 0.0) || !std::isfinite(factor)) return;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.simulated) {
        // Re-anchor so the clock stays continuous across the change.
        double now = seconds_locked(s);
        double wall = wall_locked(s);
        s.anchor = steady::now();
        s.origin = now;
        s.wall_at_anchor = wall;
    }
    s.speed = factor;
}

double clock_speed()
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.speed;
}

}  // namespace vsys
