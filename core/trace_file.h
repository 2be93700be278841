// The stored trace files: wafer trace, process-of-record and interval file names, the header line and the block layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sys/files.h"

// "<dir>/SC_DATA/RRRRRRRR.WWW": eight digits of run, three of wafer.
std::string wafer_trace_path(const std::string& directory, int run, int wafer);
// "<dir>/SC_DATA/RRRRRRRR.": the wafer traces of a run are this followed by three digits.
std::string wafer_trace_base(const std::string& directory, int run);
// "<dir>/PPPPPPPP.POR" and "<dir>/PPPPPPPP.INT" of a process.
std::string por_trace_path(const std::string& directory, int process);
std::string interval_path(const std::string& directory, int process);

// The header line is read from at most this many bytes.
constexpr std::size_t kTraceHeaderLimit = 126;
// Each raw block is followed by this many bytes (five 32-bit pedestal on-times).
constexpr std::size_t kBlockTrailerBytes = 20;

// The header line that opens every trace file: the recording time (dots in a
// wafer trace, colons in a process of record) and, in a wafer trace, the date.
struct TraceHeader {
    std::size_t end = 0;  // bytes of the line with its newline: where the first block begins
    std::string time, date;
    bool dotted = false;  // the time was written with dots
    int fields = 0;       // words on the line (0 or 1 or 2); -1 for a line without words
};
// From the first bytes of a file.
TraceHeader parse_trace_header(std::string_view bytes);
// From an open file, which is left just after the line; none when it has no line.
std::optional<TraceHeader> read_trace_header(std::FILE* file);
// "hh.mm.ss" as "hh:mm:ss", the way the rest of the program shows times.
std::string colon_time(std::string time);

// Creates a new wafer trace file for reading and writing. A file of that name
// is never opened: a trace once written is never written over. None, with the
// reason in `error`, when the file exists or cannot be created.
vsys::FilePtr create_trace_file(const std::string& path, std::string& error);
// The highest run number among the wafer trace files "<dir>/SC_DATA/RRRRRRRR.WWW"; 0 when there is none.
int highest_trace_run(const std::string& directory);

// Writes the header line "<time> <date>\n" of a wafer trace and flushes it; false when a write failed.
bool write_trace_header(std::FILE* file, const char* time, const char* date);
// Appends one raw block (values samples) and its trailer, then flushes; false when a write failed,
// and then the file is cut back to where the block began (no half block stays behind).
bool write_trace_block(std::FILE* file, const std::int16_t* raw, int values, const std::int32_t (&trailer)[5]);
// Goes back to the start of the file to write it again; false when the seek failed.
bool rewind_trace_file(std::FILE* file);
