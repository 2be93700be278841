// The simulated clock drives Timer, Delay, waits and the date and time texts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sys/clock.h"
#include "platform/sys/timing.h"
#include "tests/support/temp_dir.h"

TEST(Clock, SimulatedTimeMovesOnlyWhenAdvanced)
{
    vtest::SimulatedClock clock({2026, 12, 31, 23, 59, 58});
    double start = Timer();
    EXPECT_EQ(Timer(), start);
    clock.advance(1.25);
    EXPECT_DOUBLE_EQ(Timer() - start, 1.25);
    EXPECT_EQ(TimeStr(), "23:59:59");
    clock.advance(1.0);
    // Crossing midnight and the year changes every part of the date.
    EXPECT_EQ(TimeStr(), "00:00:00");
    EXPECT_EQ(DateStr(), "01-01-2027");
    int month = 0, day = 0, year = 0, h = -1, m = -1, s = -1;
    GetSystemDate(&month, &day, &year);
    GetSystemTime(&h, &m, &s);
    EXPECT_EQ(month, 1);
    EXPECT_EQ(day, 1);
    EXPECT_EQ(year, 2027);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(s, 0);
}

TEST(Clock, DelayOnSimulatedClockAdvancesItInsteadOfSleeping)
{
    vtest::SimulatedClock clock;
    double start = Timer();
    auto real_start = std::chrono::steady_clock::now();
    Delay(3600.0);
    EXPECT_DOUBLE_EQ(Timer() - start, 3600.0);
    EXPECT_LT(std::chrono::steady_clock::now() - real_start, std::chrono::seconds(30));
    Delay(-1.0);  // a negative delay is no delay
    EXPECT_DOUBLE_EQ(Timer() - start, 3600.0);
}

TEST(Clock, WaitUntilClockReturnsWhenAnotherThreadAdvances)
{
    vtest::SimulatedClock clock;
    double target = Timer() + 5.0;
    std::atomic<bool> done{false}, advanced{false};
    std::atomic<int> looks_after_advance{0};
    std::thread waiter([&] {
        // The stop check follows each look at the clock.
        EXPECT_TRUE(vsys::wait_until_clock(target, [&] {
            if (advanced.load()) ++looks_after_advance;
            return false;
        }));
        done = true;
    });
    clock.advance(4.0);
    advanced = true;
    // The second stop check after the advance follows a look at the clock that saw it: short of the target.
    while (looks_after_advance.load() < 2 && !done.load()) std::this_thread::yield();
    EXPECT_FALSE(done.load());
    clock.advance(1.0);
    waiter.join();
    EXPECT_TRUE(done.load());
}

TEST(Clock, WaitUntilClockStopsOnRequest)
{
    vtest::SimulatedClock clock;
    std::atomic<bool> stop{false};
    std::thread waiter([&] { EXPECT_FALSE(vsys::wait_until_clock(Timer() + 100.0, [&] { return stop.load(); })); });
    stop = true;
    waiter.join();
}

TEST(Clock, RealClockNeverRunsBackwardsAcrossModeChanges)
{
    vsys::use_real_clock();
    double a = Timer();
    vsys::simulate_clock({2026, 1, 1, 0, 0, 0});
    vsys::advance_clock(10.0);
    vsys::use_real_clock();
    double b = Timer();
    EXPECT_GE(b, 0.0);
    vsys::set_clock_speed(50.0);
    using real = std::chrono::steady_clock;
    const auto outer_start = real::now();
    const double c = Timer();
    const auto inner_start = real::now();
    while (Timer() - c < 1.0) std::this_thread::yield();
    const auto inner_end = real::now();
    const double d = Timer();
    const auto outer_end = real::now();
    vsys::use_real_clock();
    EXPECT_GE(c, b);
    // At fifty times speed the clock moves fifty times the real time between its readings: at least the real time
    // read inside them, at most the real time read around them, however late this thread runs.
    const auto seconds = [](real::duration t) { return std::chrono::duration<double>(t).count(); };
    EXPECT_GE(d - c, 50.0 * seconds(inner_end - inner_start) * 0.99);
    EXPECT_LE(d - c, 50.0 * seconds(outer_end - outer_start) * 1.01);
    (void)a;
}
