// The texts of the alarm window: list and detail lines of one alarm row, Pareto lines of one kind.
#pragma once

#include <string>

// One alarm as the review reads it (run table or endpoint row joined with OOC_ALRM).
struct AlarmRow {
    int run = 0;
    char recipe[33] = "";
    char trace_id[33] = "";
    char date[11] = "";
    char time[9] = "";
    int wafer = 0;
    short channel = 0, type = 0, subtype = 0, index = 0, rule = 0, cleared = 0;

    int code() const;
};

// Red header line of the Alarm List.
std::string alarm_header_line(const AlarmRow& row);
// Detail line of the Alarm List; names come from the text store of recipe_num. Empty for an unknown kind
// (the caller then shows "Unknown alarm").
std::string alarm_detail_line(const AlarmRow& row);
// Line n of the Pareto list for a kind of `count` alarms of the given process; empty for an unknown kind.
std::string pareto_line(int n, int count, const char* process, int code);
// Names used in the lines (empty for sub-types without one).
const char* step_metric_name(int subtype);
const char* statistic_name(int subtype);
