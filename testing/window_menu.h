// The Window menu: brings a main window forward, closes one, and keeps the items' checks and dimming true to the screen.
#pragma once

// The Window menu's items are those of the main menu bar.
#include "panels/s_chart.h"

// Menu callback of items 57..61; only the item is used.
int spc_sc_toggle(int menuBar, int menuItem, void* callbackData, int panel);
// Closes the window of item 58..61 (60 takes the SPC chart with it) and re-derives the menu from the stacking order.
void discard_window(int menuItem);
