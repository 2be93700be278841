// The process-of-record trace of a process: built from one stored wafer trace, with its interval file.
#pragma once

// Builds "<process>.POR" and "<process>.INT" of the current process from the wafer trace of run and wafer.
// With useCallerBuffer 0 it uses a block buffer of its own; otherwise it works in the caller's buffer (room for one
// block) and keeps acquisition going by running the acquisition tick while it copies. A build that fails leaves
// the process's previous process of record in place and answers false.
bool normalize_por(int run, int wafer, short useCallerBuffer, short* buffer);
// OK of the run selection in process-of-record mode: the chosen wafer becomes the process of record.
int new_por(int panel, int control, int event, void* data, int d1, int d2);
// Opens the run selection in process-of-record mode.
void pick_por(int menuBar, int item, void* data, int panel);
