// Reading one run row into a record of the caller's own, leaving the current run's globals alone.
#pragma once

#include <cstdint>
#include <string>

#include "core/channel_text.h"

// What the run table holds of one run, read the way the run accessor reads it
// into the current run (a stored rate of 0 reads as 10, at most 999 wafers),
// but kept here: run_num, num_of_wafers, rate, mask, ADCBits, date and time
// stay as they are. A run that is not there reads as found = false with "NA"
// texts, as the accessor reports it.
struct RunRecord {
    bool found = false;
    int run = 0;
    int wafers = 0;
    int rate_index = 0;  // rate code of the row
    int rate = 1;        // scans per block
    ChannelText channels;
    std::string system_id = "NA", recipe = "NA", trace_id = "NA", comment = "NA";
    std::string date = "NA", time = "NA";
    short trace_deleted = 0, complete = 0, cassette = 0;
};

// The row of a run number (a negative number is the process of record of that process).
RunRecord look_up_run(int connection, int run);
// The row of a trace id.
RunRecord look_up_trace_id(int connection, const std::string& trace_id);
