// The smaller commands of the main window: leaving the program, the system name and real-time testing.
#pragma once

int Shutdown(int panel, int control, int event, void* data, int d1, int d2);
void return_to(int menuBar, int item, void* data, int panel);
int panel_shutdown(int panel, int event, void* data, int d1, int d2);
void toggle_realtime(int menuBar, int item, void* data, int panel);
void system_name(int menuBar, int item, void* data, int panel);
// The View Log command: the activity report's request popup.
void ViewLog(int menuBar, int item, void* data, int panel);
