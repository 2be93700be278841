// The start/stop toggle and the pause toggle of the strip-chart panel.
#pragma once

int start_stop(int panel, int control, int event, void* data, int d1, int d2);
int pause(int panel, int control, int event, void* data, int d1, int d2);
