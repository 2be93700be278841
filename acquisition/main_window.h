// The main window: main panel, strip-chart panel, legend and the menu bar.
#pragma once

#include <array>

// Menu items that must not be used while acquisition runs.
constexpr std::array<int, 9> kDimmedWhileRunning = {3, 27, 14, 4, 37, 34, 47, 56, 51};
// Record Data, Acquisition Rate..., Triggers... and Real-Time Testing: none of them in the review program.
constexpr std::array<int, 4> kAcquisitionOnlyItems = {14, 27, 37, 53};

int sc_main();
void update_menu();
void sc_menu_help(int menuBar, int item, void* data, int panel);
