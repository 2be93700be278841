// What a user does, applied on the UI thread: shared by the headless driver and the browser view.
//
// Each returns false when a user could not have done it (a modal popup is up,
// the panel or control is hidden, dimmed or an indicator, the index is wrong);
// a refused action changes nothing and sends no event.
#pragma once

#include <string>

#include "platform/ui/value.h"

namespace vui::user {

// Types a value into a control: event 2, then with commit event 1.
bool set_value(int panel, int ctrl, const Value& v, bool commit = true);
// Clicks a button: a command button commits; toggles, check boxes, switches and
// picture buttons flip their value (event 2) and commit.
bool press(int panel, int ctrl);
// Mouse clicks on a control (events 3, 4, 5) at a position in pixels: event
// data 1 is the vertical position (y), event data 2 the horizontal one (x).
bool click(int panel, int ctrl, int x = 0, int y = 0, bool ctrl_key = false);
bool double_click(int panel, int ctrl, int x = 0, int y = 0);
bool right_click(int panel, int ctrl, int x = 0, int y = 0, bool ctrl_key = false);
// Selects a list or ring item: event 2, then with commit event 1.
bool select_item(int panel, int ctrl, int index, bool commit = false);
// Ticks or clears a list item's check mark; the item becomes current; events 2 and 1.
bool check_item(int panel, int ctrl, int index, bool checked);
// A key on a panel: a menu item or control with that shortcut acts; otherwise
// the active control gets EVENT_KEYPRESS with the key in event data 1.
bool key(int panel, int key_code);
bool pick_menu(int menubar, int item, bool ctrl_key = false);
// Drags a graph cursor (snapping as the cursor's mode says): event 2 to the graph; a hot graph also gets the
// commit where the user lets go of the cursor (`commit`), not at every step of the drag.
bool move_cursor(int panel, int ctrl, int cursor, double x, double y, bool commit = true);
// The graph's own zoom or pan ends: axes set, then the click (event 3, Ctrl held) reaches the callback.
bool zoom(int panel, int ctrl, double xmin, double xmax, double ymin, double ymax);
// Window operations: close box (event 11), move (event 13), size (event 12).
bool close(int panel);
bool move_panel(int panel, int top, int left);
bool size_panel(int panel, int height, int width);
bool activate(int panel);

}  // namespace vui::user
