// The 32 trace colours: reset to the defaults, save to and load from a colour scheme file.
#pragma once

void default_color(int menuBar, int item, void* data, int panel);
void save_color(int menuBar, int item, void* data, int panel);
void load_color(int menuBar, int item, void* data, int panel);
int color_function(int panel, int control, int event, void* data, int d1, int d2);
