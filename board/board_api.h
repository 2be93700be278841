// The board API the rest of the program calls: initialise, start, poll, take and stop buffered input.
#pragma once

#include <cstdint>

#include "board/transfer.h"

int VantrelReset();
int VantrelInitialize();
// Starts buffered input of `scans` scans per block (callers pass sample_rate).
int VantrelStartBufferedAnalogIn(int scans);
int VantrelKillBufferedAnalogIn();
int VantrelCheckBufferedAnalogIn(int* full);
// Hands out the oldest ready block; returns its error byte (0 none, 10 overrun,
// else the board's code) and its FIFO fill in *fill. The block stays valid
// until the next take, start or kill.
int VantrelGetBufferedAnalogInBinary(void** buffer, char* fill);
short CPU_Time();
short GetCtrlKeyState();
int VantrelReadDigital(int port, int* value);
int VantrelWriteDigital(int port, int value);
int VantrelReadAnalogBinary(int channel, short* value);
int VantrelReadAnalogSignal(int channel, double* value);

namespace vboard {
// Used CPU time in hundredths of a second between two readings (100 ns counts).
short cpu_hundredths(std::uint64_t last_user, std::uint64_t last_kernel, std::uint64_t user, std::uint64_t kernel);
}  // namespace vboard
