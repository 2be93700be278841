// The trace test of one stored wafer: settles its process, marks the run tested, runs the four analyses, paints the status.
#pragma once

#include <string>

#include "core/trace_file.h"

// Tests one wafer trace ("<dir>/SC_DATA/<run>.<wafer>"); mode 2 is the real-time
// test during acquisition (which may create the wafer's process), 3 a re-test.
// Always returns 1.
short test_trace(short* blockBuffer, int run, short wafer, int panel, int mode, const char* traceId,
                 const char* recipeName, short precoat, short plot);

// The one precoat process name of the system: a name without "PRECOAT", or with
// more text after it, is cut to 23 characters and gets " PRECOAT" appended.
std::string precoat_process_name(const std::string& recipe);

// The header line of a wafer trace held in memory.
TraceHeader read_trace_header(const std::string& bytes);
