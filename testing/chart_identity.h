// The chart being judged or shown (its four code fields) and the rules and limits mode of the chart last read.
#pragma once

extern short spc_channel;
extern short chart_type;
extern short type_subparameter;
extern short spc_index;
extern int nelson_rules;
extern short natural;
// Value of the selected alarm window entry: a chart code with rule, or -1.
extern int selected_alarm_code;
