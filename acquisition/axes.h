// Strip-chart and playback-graph axes, the axis dialog, the legend and the window title.
#pragma once

#include <cstdint>

extern std::uint8_t view_preference;

// Rounds a range in place to nice limits; returns the divisions and the label decimals.
void auto_axis(double* min, double* max, int* divisions, int* precision);
void SetStripChartY(double min, double max, char store);
int aok(int panel, int control, int event, void* data, int d1, int d2);
int display_axes(int panel, int control, int event, void* data, int d1, int d2);
int change_x_type(int panel, int control, int event, void* data, int d1, int d2);
void names(int mode, int value, int unused1, int unused2);
int resize_legend(int panel, int event, void* data, int d1, int d2);
void toggle_legend(int menuBar, int item, void* data, int panel);
int hide_realtime(int panel, int control, int event, void* data, int d1, int d2);
// The cursor read-out of the playback graph (zoom and cursor tools).
void SetCursorText();
