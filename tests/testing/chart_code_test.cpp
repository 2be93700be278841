// Chart codes: decoding by position, rule labels and the Pareto alarm key.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/sys/format.h"
#include "testing/chart_code.h"

namespace {

struct CodeCase {
    const char* text;
    short channel, type, subtype, step, rule;
};

TEST(ChartCode, DecodesByCharacterPosition)
{
    const CodeCase cases[] = {
        {"010100000", 1, 1, 0, 0, 0},     // eight-digit code, zero padded
        {"322299912", 32, 22, 9, 99, 12},  // the largest code
        {"  1700000", 0, 17, 0, 0, 0},     // blank padded endpoint chart
        {" 50120301", 5, 1, 2, 3, 1},      // blank-digit field reads as the digit
        {"050120301", 5, 1, 2, 3, 1},
        {"000000000", 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        short ch = -1, ty = -1, st = -1, sp = -1, ru = -1;
        EXPECT_EQ(get_info_from_code(c.text, &ch, &ty, &st, &sp, &ru), c.rule) << c.text;
        EXPECT_EQ(ch, c.channel) << c.text;
        EXPECT_EQ(ty, c.type) << c.text;
        EXPECT_EQ(st, c.subtype) << c.text;
        EXPECT_EQ(sp, c.step) << c.text;
        EXPECT_EQ(ru, c.rule) << c.text;
    }
}

TEST(ChartCode, BuildsAndRoundTripsThroughItsText)
{
    EXPECT_EQ(chart_code(5, 1, 2, 3, 1), 50120301);
    EXPECT_EQ(chart_code(32, 22, 9, 99, 12), 322299912);
    // A not-activated chart is stored negative; its absolute value decodes the same.
    int code = -chart_code(7, 4, 0, 0);
    std::string text = vsys::strprintf("%.9d", -code);
    short ch, ty, st, sp, ru;
    get_info_from_code(text.c_str(), &ch, &ty, &st, &sp, &ru);
    EXPECT_EQ(ch, 7);
    EXPECT_EQ(ty, 4);
    EXPECT_EQ(vsys::strprintf("%9d", chart_code(0, 17, 0, 0)), "  1700000");
}

TEST(ChartCode, RuleLabelsAreTwoCharacters)
{
    const char* expected[] = {"1a", "1b", "2a", "2b", "3a", "3b", "4 ", "5a", "5b", "6a", "6b", "7 ", "8 "};
    for (short r = 0; r <= 12; ++r) {
        char label[3] = "xx";
        get_text_from_alarm_num(r, label);
        EXPECT_STREQ(label, expected[r]);
    }
    for (short r : {-1, 13}) {
        char label[3] = "zz";
        get_text_from_alarm_num(r, label);
        EXPECT_STREQ(label, "zz");
    }
}

TEST(ChartCode, AlarmKeyHoldsProcessAndCode)
{
    char key[ALARM_KEY_SIZE];
    form_alarm_key(key, 12, chart_code(5, 1, 2, 3, 1));
    EXPECT_STREQ(key, "0012050120301");
    int process = -1, code = -1;
    ASSERT_TRUE(read_alarm_key(key, &process, &code));
    EXPECT_EQ(process, 12);
    EXPECT_EQ(code, 50120301);
    form_alarm_key(key, 0, chart_code(32, 22, 9, 99, 12));
    EXPECT_STREQ(key, "0000322299912");
    EXPECT_FALSE(read_alarm_key("", &process, &code));
}

}  // namespace
