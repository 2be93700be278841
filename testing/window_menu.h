// The Window menu: brings a main window forward, closes one, and keeps the items' checks and dimming true to the screen.
#pragma once

// Window menu items.
enum : int {
    ITEM_STRIP_CHART = 57,
    ITEM_CHART_LIST = 58,
    ITEM_SPC_CHART = 59,
    ITEM_ALARMS = 60,
    ITEM_COMPARE = 61,
    ITEM_TILE = 62,
};

// Menu callback of items 57..61; only the item is used.
int spc_sc_toggle(int menuBar, int menuItem, void* callbackData, int panel);
// Closes the window of item 58..61 (60 takes the SPC chart with it) and re-derives the menu from the stacking order.
void discard_window(int menuItem);
