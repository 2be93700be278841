// The main window: main panel, strip-chart panel, legend and the menu bar.
#pragma once

#include <array>

#include "panels/s_chart.h"

// Menu items that must not be used while acquisition runs.
constexpr std::array<int, 9> kDimmedWhileRunning = {
    MENUBAR_FILE_OPEN,  MENUBAR_CONFIGURE_ACQUISITION_RATE, MENUBAR_FILE_RECORD_DATA,
    MENUBAR_FILE_SAVE,  MENUBAR_CONFIGURE_TRIGGERS,         MENUBAR_CHARTS,
    MENUBAR_CONFIGURE_SYSTEM_NAME, MENUBAR_CONFIGURE_COLORS_LOAD_COLORS, MENUBAR_CONFIGURE_COLORS_DEFAULT_COLORS};

int sc_main();
void update_menu();
void sc_menu_help(int menuBar, int item, void* data, int panel);
