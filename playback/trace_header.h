// The reader of the one text line that opens every stored trace file: recording time and date.
#pragma once

#include <cstdio>

// Reads the first line (at most 126 characters) of an open trace file: the
// time into `time` and the date into `date` (each at least 64 bytes), *dotted
// = 1 when the time was written with dots (turned back into colons). Returns
// the number of words read (2 or 1), -1 for a line without words, 0 when there
// is no file or no line (outputs then unchanged). The file is left just after
// the line, where the first data block begins.
int GetTimeAndDateFromBin(std::FILE* file, char* time, char* date, char* dotted);
