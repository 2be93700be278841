// The control-limit dialogs: statistics, timers, sigma vector, per-step results and set-points of the current process.
#pragma once

// From the menu: (menu bar, item 40..46, data, panel). From a step page: (-channel, -request 7..13, data, parent).
void display_specs(int menuBar, int item, void* data, int panel);
int save_specs(int panel, int control, int event, void* data, int d1, int d2);
int save_step_setpoint_specs(int panel, int control, int event, void* data, int d1, int d2);
