// The main window: main panel, strip-chart panel, legend and the menu bar.
#pragma once

#include <array>

// Menu items that must not be used while acquisition runs.
constexpr std::array<int, 9> kDimmedWhileRunning = {3, 27, 14, 4, 37, 34, 47, 56, 51};

int sc_main();
void update_menu();
void sc_menu_help(int menuBar, int item, void* data, int panel);
