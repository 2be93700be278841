// Chart codes, their nine-digit text, the alarm key of the Pareto and the two-character rule labels.
#pragma once

#include <cstddef>

// channel x 10000000 + type x 100000 + sub-type x 10000 + step x 100 + rule.
constexpr int chart_code(int channel, int type, int subtype, int step, int rule = 0)
{
    return channel * 10000000 + type * 100000 + subtype * 10000 + step * 100 + rule;
}

// Splits a code text of at least nine characters (zero- or blank-padded) into its
// fields by character position; returns the rule.
int get_info_from_code(const char* code, short* channel, short* type, short* subtype, short* step, short* rule);

// Copies the label of rule 0..12 ("1a" ... "8 ") into label (3 bytes); other rules leave it untouched.
void get_text_from_alarm_num(short rule, char* label);

// The sentence of rule 0..12 ("1 point was > the target + 3 sigma" ...); null for other rules.
const char* rule_sentence(int rule);

// The Pareto grouping key "%.4i%.9i" of a process and an alarm code, in a 14-byte buffer.
constexpr std::size_t ALARM_KEY_SIZE = 14;
void form_alarm_key(char (&key)[ALARM_KEY_SIZE], int process, int code);
// Reads a key back ("%4d%9d"); false when the text does not hold both numbers.
bool read_alarm_key(const char* key, int* process, int* code);
