// The engine's timer, delay and date/time texts over the program clock.
#include "platform/sys/timing.h"

#include "platform/sys/clock.h"
#include "platform/sys/format.h"

double Timer() { return vsys::clock_seconds(); }

void Delay(double seconds) { vsys::sleep_seconds(seconds); }

std::string TimeStr()
{
    auto t = vsys::civil_now();
    return vsys::strprintf("%02d:%02d:%02d", t.hour, t.minute, t.second);
}

std::string DateStr()
{
    auto t = vsys::civil_now();
    return vsys::strprintf("%02d-%02d-%04d", t.month, t.day, t.year);
}

void GetSystemDate(int* month, int* day, int* year)
{
    auto t = vsys::civil_now();
    if (month) *month = t.month;
    if (day) *day = t.day;
    if (year) *year = t.year;
}

void GetSystemTime(int* hours, int* minutes, int* seconds)
{
    auto t = vsys::civil_now();
    if (hours) *hours = t.hour;
    if (minutes) *minutes = t.minute;
    if (seconds) *seconds = t.second;
}
