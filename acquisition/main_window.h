// The main window: main panel, strip-chart panel, legend and the menu bar.
#pragma once

int sc_main();
void update_menu();
void sc_menu_help(int menuBar, int item, void* data, int panel);
