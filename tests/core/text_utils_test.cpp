// Trimming, padding, rounding and the 1980-based date arithmetic.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "core/text_utils.h"
#include "tests/support/temp_dir.h"

TEST(TextUtils, TrimAndFill)
{
    char blanks[] = "    ";
    EXPECT_STREQ(right_text_trim(blanks), "");
    char padded[] = "W1      ";
    EXPECT_STREQ(right_text_trim(padded), "W1");
    char tab[] = "A\t";
    EXPECT_STREQ(right_text_trim(tab), "A\t");  // only blanks are trimmed

    char shortText[8] = "ab";
    EXPECT_STREQ(right_text_fill(shortText, 4), "ab  ");
    char longText[8] = "abcdef";
    EXPECT_STREQ(right_text_fill(longText, 4), "abcd");
}

TEST(TextUtils, RoundToInt)
{
    const std::pair<double, int> cases[] = {
        {2.5, 3}, {-2.5, -2}, {-2.6, -3}, {1.4999, 1}, {0.0, 0}, {-0.4, 0}, {1e300, INT_MAX},
        {-1e300, INT_MIN}, {NAN, 0}, {2147483647.0, INT_MAX}, {1000000000.0, 1000000000},
    };
    for (auto [x, want] : cases) EXPECT_EQ(round_to_int(x), want) << x;
}

TEST(TextUtils, UpperAndToday)
{
    char path[] = "/opt/Vantrel/bin";
    EXPECT_STREQ(convert_string_to_upper(path), "/OPT/VANTREL/BIN");
    vtest::SimulatedClock clock({2031, 2, 3, 4, 5, 6});
    char today[11];
    get_converted_date(today);
    EXPECT_STREQ(today, "2031/02/03");
}

TEST(TextUtils, DateTimeToSeconds)
{
    struct Case {
        short format;
        const char* date;
        const char* time;
        std::int64_t seconds;
    };
    const Case cases[] = {
        {0, "1980/01/01", "00:00:00", 0},
        {0, "1980/03/01", "00:00:00", 5184000},
        {0, "1980/01/02", "01:02:03", 86400 + 3723},
        {1, "12/31/99", "00:00:00", date_time_to_seconds(0, "1999/12/31", "00:00:00")},
        {1, "01/01/05", "00:00:00", date_time_to_seconds(0, "2005/01/01", "00:00:00")},
        {1, "01/01/1985", "00:00:00", date_time_to_seconds(0, "1985/01/01", "00:00:00")},
        {0, "1980/13/01", "00:00:00", 0},  // a month above 12 adds nothing
        {7, "1999/12/31", "00:00:10", -86400 + 10},  // unknown format: the date counts as 0/0/0
        {0, "2049/06/01", "12:00:00", 0},   // checked below: past the 32-bit range
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.date) + " " + c.time);
        if (std::string(c.date) == "2049/06/01") {
            EXPECT_GT(date_time_to_seconds(c.format, c.date, c.time), std::int64_t{INT_MAX});
            continue;
        }
        EXPECT_EQ(date_time_to_seconds(c.format, c.date, c.time), c.seconds);
    }
    // Every fourth year is a leap year, 2100 included.
    EXPECT_EQ(date_time_to_seconds(0, "2100/03/01", "00:00:00") - date_time_to_seconds(0, "2100/02/28", "00:00:00"),
              2 * 86400);
}

TEST(TextUtils, SecondsRoundTripToDateAndTime)
{
    const char* dates[][2] = {{"1980/01/01", "00:00:00"}, {"1980/02/29", "23:59:59"}, {"1999/12/31", "12:34:56"},
                              {"2024/03/01", "00:00:01"}, {"2100/02/29", "06:00:00"}, {"2060/12/31", "23:59:59"}};
    for (auto& d : dates) {
        SCOPED_TRACE(d[0]);
        int y, mo, day, h, mi, s;
        convert_seconds_to_date_n_time(&y, &mo, &day, &h, &mi, &s, date_time_to_seconds(0, d[0], d[1]));
        char date[16], time[16];
        snprintf(date, sizeof date, "%.4d/%.2d/%.2d", y, mo, day);
        snprintf(time, sizeof time, "%.2d:%.2d:%.2d", h, mi, s);
        EXPECT_STREQ(date, d[0]);
        EXPECT_STREQ(time, d[1]);
    }
    int y, mo, day, h, mi, s;
    convert_seconds_to_date_n_time(&y, &mo, &day, &h, &mi, &s, -1);  // the unsigned 32-bit reading, quickly
    EXPECT_EQ(y, 2116);
}
