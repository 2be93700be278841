// The dialog that shows and hides traces of the strip chart and the playback graph.
#pragma once

int display_toggle(int panel, int control, int event, void* data, int d1, int d2);
void view_hide_trace(int panel);
int toggle_trace(int panel, int control, int event, void* data, int d1, int d2);
int cancel_toggle(int panel, int control, int event, void* data, int d1, int d2);
