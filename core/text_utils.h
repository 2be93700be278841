// Small text, rounding and calendar helpers shared by every subsystem.
#pragma once

#include <cstdint>

// Replaces trailing blanks (' ' only) by terminating zeros; returns s.
char* right_text_trim(char* s);
// Pads with blanks or cuts so that s is exactly n characters long; s must hold n + 1 bytes.
char* right_text_fill(char* s, int n);
// Nearest integer, halves up (2.5 -> 3, -2.5 -> -2); out-of-range values saturate, NaN gives 0.
int round_to_int(double x);
// 1.0 multiplied by ten n times, or divided by ten -n times: the axis steps of the charts.
double ten_to_the(int n);
char* convert_string_to_upper(char* s);
// Today's date as "yyyy/mm/dd" into out (at least 11 bytes).
void get_converted_date(char* out);
// Seconds since 1980-01-01 00:00:00. Format 0: date "yyyy/mm/dd"; format 1: "mm/dd/yy".
// Every fourth year is a leap year. 64-bit so dates past 2048 do not overflow.
std::int64_t date_time_to_seconds(short format, const char* date, const char* time);
void convert_seconds_to_date_n_time(int* year, int* month, int* day, int* hour, int* minute, int* second,
                                    std::int64_t seconds);
