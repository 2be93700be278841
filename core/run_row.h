// One row of the run table VT_INFO, bound column by column to a statement (for the run table's own readers).
#pragma once

#include "core/errors.h"
#include "core/sql_access.h"
#include "core/text_utils.h"

struct RunRow {
    int run = 0, num_waf = 0, rate = 0;
    char system_id[17] = "", recipe[33] = "", trace_id[33] = "", channels[20] = "", sav_date[11] = "",
         sav_time[9] = "", comment[65] = "";
    short trace_del = 0, complete = 0, cassette = 0;
    long status[13] = {};

    void bind(int s)
    {
        int failures = 0;
        failures += DBBindColInt(s, 1, &run, &status[0]) != 0;
        failures += DBBindColInt(s, 2, &num_waf, &status[1]) != 0;
        failures += DBBindColInt(s, 3, &rate, &status[2]) != 0;
        failures += DBBindColChar(s, 4, sizeof system_id, system_id, &status[3], "") != 0;
        failures += DBBindColChar(s, 5, sizeof recipe, recipe, &status[4], "") != 0;
        failures += DBBindColChar(s, 6, sizeof trace_id, trace_id, &status[5], "") != 0;
        failures += DBBindColChar(s, 7, sizeof channels, channels, &status[6], "") != 0;
        failures += DBBindColChar(s, 8, sizeof sav_date, sav_date, &status[7], "yyyy/mm/dd") != 0;
        failures += DBBindColChar(s, 9, sizeof sav_time, sav_time, &status[8], "hh:mm:ss") != 0;
        failures += DBBindColChar(s, 10, sizeof comment, comment, &status[9], "") != 0;
        failures += DBBindColShort(s, 11, &trace_del, &status[10]) != 0;
        failures += DBBindColShort(s, 12, &complete, &status[11]) != 0;
        failures += DBBindColShort(s, 13, &cassette, &status[12]) != 0;
        if (failures) ShowError();
    }
    void trim()
    {
        for (char* t : {system_id, recipe, trace_id, channels, sav_date, sav_time, comment}) right_text_trim(t);
    }
};
