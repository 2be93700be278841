// Chart codes, their nine-digit text, the alarm key of the Pareto and the two-character rule labels.
#include "testing/chart_code.h"

#include <cstdio>
#include <cstring>

#include "platform/sys/format.h"

namespace {

// A field of the code text: blanks are skipped, the digits read as one number,
// so "  " is 0 and " 7" is 7.
short field_value(const char* text, int length)
{
    short value = 0;
    for (int i = 0; i < length; ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') value = static_cast<short>(value * 10 + (c - '0'));
    }
    return value;
}

const char* const kRuleLabels[13] = {"1a", "1b", "2a", "2b", "3a", "3b", "4 ", "5a", "5b", "6a", "6b", "7 ", "8 "};

const char* const kRuleSentences[13] = {
    "1 point was > the target + 3 sigma",
    "1 point was < the target - 3 sigma",
    "9 consecutive points were > the target",
    "9 consecutive points were < the target",
    "6 consecutive points were steadily increasing",
    "6 consecutive points were steadily decreasing",
    "14 consecutive points were alternating up and down",
    "2 out of 3 consecutive points were > the target + 2 sigma",
    "2 out of 3 consecutive points were < the target - 2 sigma",
    "4 out of 5 consecutive points were > the target + 1 sigma",
    "4 out of 5 consecutive points were < the target - 1 sigma",
    "15 consecutive points were within 1 sigma of the target",
    "8 consecutive points were not within 1 sigma of the target",
};

}  // namespace

const char* rule_sentence(int rule) { return rule >= 0 && rule <= 12 ? kRuleSentences[rule] : nullptr; }

int get_info_from_code(const char* code, short* channel, short* type, short* subtype, short* step, short* rule)
{
    *channel = field_value(code, 2);
    *type = field_value(code + 2, 2);
    *subtype = field_value(code + 4, 1);
    *step = field_value(code + 5, 2);
    *rule = field_value(code + 7, 2);
    return *rule;
}

void get_text_from_alarm_num(short rule, char* label)
{
    if (rule < 0 || rule > 12) return;
    std::memcpy(label, kRuleLabels[rule], 3);
}

void form_alarm_key(char (&key)[ALARM_KEY_SIZE], int process, int code)
{
    vsys::format_into(key, sizeof key, "%.4i%.9i", process, code);
}

bool read_alarm_key(const char* key, int* process, int* code)
{
    return std::sscanf(key, "%4d%9d", process, code) == 2;
}
