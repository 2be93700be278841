// The trace test of one stored wafer: settles its process, marks the run tested, runs the four analyses, paints the status.
#pragma once

#include <string>

// Tests one wafer trace ("<dir>/SC_DATA/<run>.<wafer>"); mode 2 is the real-time
// test during acquisition (which may create the wafer's process), 3 a re-test.
// Always returns 1.
short test_trace(short* blockBuffer, int run, short wafer, int panel, int mode, const char* traceId,
                 const char* recipeName, short precoat, short plot);

// The one precoat process name of the system: a name without "PRECOAT", or with
// more text after it, is cut to 23 characters and gets " PRECOAT" appended.
std::string precoat_process_name(const std::string& recipe);

// Where the header line of a wafer trace ends (at most 126 characters are read),
// with its time, date and whether the time is written with dots.
struct TraceHeader {
    std::size_t end = 0;
    std::string time, date;
    bool dotted = false;
    int fields = 0;
};
TraceHeader read_trace_header(const std::string& bytes);
