// The panel framework: remembered geometry, maximise/restore, staying inside the main panel, tiling and closing panels.
#pragma once

// Filled by get_my_attributes; the caller sets `panel`.
struct panel_attributes {
    int panel = 0;
    int top = 0, left = 0, width = 0, height = 0;  // as remembered
    int parent = 0;
    int maximized = 0;
    int top_id = 0, left_id = 0, width_id = 0, height_id = 0, parent_id = 0, maximize_id = 0;
};

void set_panel_attributes(int panel, int parent, char maximize, char center);
int get_my_attributes(panel_attributes* record);
// Closes the panel (nothing for a handle of 0 or below), sets *panel to -1 and re-tiles.
int DiscardMyPanel(int* panel);
void sizePanel(panel_attributes* record, int left, int width, int top, int height);
int panel_toggle(int panel, int control, int event, void* data, int d1, int d2);
int panel_handler(int panel, int event, void* data, int d1, int d2);
int menu_tile(int menuBar, int item, void* data, int panel);
int tile_panels(int panel, int control, int event, void* data, int d1, int d2);
int cancel_this_panel(int panel, int control, int event, void* data, int d1, int d2);
int cancel_uncommitted(int panel, int control, int event, void* data, int d1, int d2);
int set_pending_altered_flag(int panel, int control, int event, void* data, int d1, int d2);
int deactivate_hotkeys(int panel);
int activate_hotkeys(int panel);
// How many of the five main windows are open.
int open_main_windows();
