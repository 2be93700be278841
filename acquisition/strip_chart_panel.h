// Control numbers of the strip-chart panel ("s_chart.uir" panel 2) and the menu items acquisition reads, by name.
#pragma once

enum StripChartControl : int {
    SC_START = 2,  // start/stop toggle
    SC_PLAY = 3,
    SC_PAUSE = 4,
    SC_AXES = 5,
    SC_EXIT = 7,
    SC_SYSTEM = 8,
    SC_WAFER = 10,
    SC_DATE = 11,
    SC_TIME = 12,
    SC_COMMENT = 13,
    SC_PLAYBACK_GRAPH = 14,
    SC_STATUS = 15,
    SC_TRACE_ID = 18,
    SC_STRIP = 20,
    SC_PLAY_INFO = 21,
    SC_X_START = 23,
    SC_X_END = 24,
    SC_TIMER = 25,
    SC_CURSORS = 26,
    SC_PRINT = 27,
};

enum StripChartMenuItem : int {
    MENU_RECORD_DATA = 14,
};
