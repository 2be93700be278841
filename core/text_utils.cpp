// Text trimming and padding, rounding, upper-casing and the 1980-based second count.
#include "core/text_utils.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/sys/clock.h"
#include "platform/sys/format.h"

namespace {

bool leap(std::int64_t year) { return year % 4 == 0; }

// Days in January..November; December takes any rest.
constexpr int kMonthDays[11] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30};

// The integer value of characters [from, from + 2) of text, as atoi would read them.
int two_digits(const char* text, std::size_t from)
{
    std::size_t length = std::strlen(text);
    if (from >= length) return 0;
    char field[3] = {text[from], from + 1 < length ? text[from + 1] : '\0', '\0'};
    return std::atoi(field);
}

}  // namespace

char* right_text_trim(char* s)
{
    std::size_t n = std::strlen(s);
    while (n > 0 && s[n - 1] == ' ') s[--n] = '\0';
    return s;
}

char* right_text_fill(char* s, int n)
{
    if (n < 0) n = 0;
    std::size_t length = std::strlen(s);
    for (std::size_t i = length; i < static_cast<std::size_t>(n); ++i) s[i] = ' ';
    s[n] = '\0';
    return s;
}

double ten_to_the(int n)
{
    double v = 1.0;
    for (int i = 0; i < n; ++i) v *= 10.0;
    for (int i = 0; i > n; --i) v /= 10.0;
    return v;
}

int round_to_int(double x)
{
    if (std::isnan(x)) return 0;
    if (x >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (x <= static_cast<double>(INT_MIN)) return INT_MIN;
    int n = static_cast<int>(x);
    if (x - n >= 0.5) n = n + 1;
    if (n - x > 0.5) n = n - 1;
    return n;
}

char* convert_string_to_upper(char* s)
{
    for (char* p = s; *p; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return s;
}

void get_converted_date(char* out)
{
    auto now = vsys::civil_now();
    vsys::format_into(out, 11, "%.4d/%.2d/%.2d", now.year, now.month, now.day);
}

std::int64_t date_time_to_seconds(short format, const char* date, const char* time)
{
    std::int64_t fields[3] = {0, 0, 0};
    {
        // Split at '/' into at most three numeric fields.
        const char* p = date;
        for (int i = 0; i < 3 && p != nullptr; ++i) {
            fields[i] = std::atol(p);
            p = std::strchr(p, '/');
            if (p) ++p;
        }
    }
    std::int64_t year = 0, month = 0, day = 0;
    if (format == 0) {
        year = fields[0];
        month = fields[1];
        day = fields[2];
    } else if (format == 1) {
        month = fields[0];
        day = fields[1];
        year = fields[2];
        if (year >= 81 && year <= 1899) year += 1900;
        if (year < 81) year += 2000;
    }
    std::int64_t hours = two_digits(time, 0), minutes = two_digits(time, 3), seconds = two_digits(time, 6);

    std::int64_t days = 0;
    for (std::int64_t y = 1980; y < year; ++y) days += leap(y) ? 366 : 365;
    if (month >= 2 && month <= 12) {
        for (std::int64_t m = 1; m < month; ++m) days += (m == 2 && leap(year)) ? 29 : kMonthDays[m - 1];
    }
    days += day - 1;
    return days * 86400 + hours * 3600 + minutes * 60 + seconds;
}

void convert_seconds_to_date_n_time(int* year, int* month, int* day, int* hour, int* minute, int* second,
                                    std::int64_t seconds)
{
    // A negative count is read as the unsigned 32-bit count it always was.
    std::uint64_t rest = seconds < 0 ? static_cast<std::uint32_t>(seconds) : static_cast<std::uint64_t>(seconds);
    // Whole four-year cycles first (each starts with a leap year), so any count is quick.
    constexpr std::uint64_t kCycle = 1461ULL * 86400ULL;
    std::uint64_t cycles = rest / kCycle;
    rest %= kCycle;
    std::int64_t y = 1980 + 4 * static_cast<std::int64_t>(cycles);
    for (;;) {
        std::uint64_t year_seconds = (leap(y) ? 366ULL : 365ULL) * 86400ULL;
        if (rest < year_seconds) break;
        rest -= year_seconds;
        ++y;
    }
    int m = 1;
    for (; m <= 11; ++m) {
        std::uint64_t month_seconds = static_cast<std::uint64_t>((m == 2 && leap(y)) ? 29 : kMonthDays[m - 1]) * 86400ULL;
        if (rest < month_seconds) break;
        rest -= month_seconds;
    }
    *year = y > INT_MAX ? INT_MAX : static_cast<int>(y);
    *month = m;
    *day = static_cast<int>(rest / 86400 + 1);
    *hour = static_cast<int>((rest % 86400) / 3600);
    *minute = static_cast<int>((rest % 3600) / 60);
    *second = static_cast<int>(rest % 60);
}
