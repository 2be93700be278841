// The engine's timer, delay and date/time texts, all read from the program clock.
#pragma once

#include <string>

// Seconds since the clock's origin, as a double (resolution well below 1 ms).
double Timer();
// Sleeps for the given seconds of program time.
void Delay(double seconds);
// Current time as "hh:mm:ss".
std::string TimeStr();
// Current date as "mm-dd-yyyy".
std::string DateStr();
void GetSystemDate(int* month, int* day, int* year);
void GetSystemTime(int* hours, int* minutes, int* seconds);
