// The program's one clock: real, sped up for demos, or simulated and advanced by tests.
#pragma once

#include <ctime>

namespace vsys {

// Broken-down civil time as the program shows it (local time on a real clock).
struct CivilTime {
    int year = 0;   // four digits
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Seconds since an arbitrary fixed origin; never goes backwards.
double clock_seconds();

// Wall-clock time now, as seconds since the epoch and as civil time.
double wall_seconds();
CivilTime civil_now();

// Blocks the calling thread for the given number of clock seconds. On a
// simulated clock the sleeper advances the clock itself, so single-threaded
// code that sleeps still finishes; background threads that must wait for the
// test instead use wait_until_clock.
void sleep_seconds(double seconds);

// Waits until clock_seconds() >= target or stop() becomes true; polls stop at
// least every 10 ms of real time. Returns false when stop() ended the wait.
template <typename Stop>
bool wait_until_clock(double target, Stop stop);
bool wait_until_clock_impl(double target, bool (*stop)(void*), void* context);

// --- control ---------------------------------------------------------------

// Simulated clock starting at the given civil time (read as UTC, so tests do
// not depend on the machine's time zone) with clock_seconds() == 0.
void simulate_clock(const CivilTime& start);
// Moves a simulated clock forward; wakes every wait_until_clock.
void advance_clock(double seconds);
// Back to the real clock (speed 1).
void use_real_clock();
bool clock_is_simulated();
// Real clock running `factor` times faster than real time (factor > 0).
void set_clock_speed(double factor);
double clock_speed();

template <typename Stop>
bool wait_until_clock(double target, Stop stop)
{
    return wait_until_clock_impl(
        target, [](void* ctx) { return static_cast<bool>((*static_cast<Stop*>(ctx))()); }, &stop);
}

}  // namespace vsys
