// The timer-driven acquisition loop with its triggers, and the idle clock.
#pragma once

#include <cstdint>
#include <vector>

extern short old_edge_test;
extern int daq_tick_count;
extern int sc_points;
extern std::vector<double> global_scaled_data;
extern std::int16_t* global_hbuffer_ptr;

int DaqLoop(int panel, int control, int event, void* data, int d1, int d2);
int IdleLoop(int panel, int control, int event, void* data, int d1, int d2);

// Shows today's date in control 17 and the time in control 16 of the strip-chart panel.
void show_clock();
