// The alarm commands of the menu bar and the alarm display popup, and the SPC chart list commands.
#pragma once

int a_display(int panel, int control, int event, void* data, int d1, int d2);
void alarm_list_pareto(int menuBar, int item, void* data, int panel);
void menu_clear_alarms(int menuBar, int item, void* data, int panel);
int clear_errors(int panel, int control, int event, void* data, int d1, int d2);
int dual_spc_charts(int panel, int control, int event, void* data, int d1, int d2);
int spc_charts(int panel, int control, int event, void* data, int d1, int d2);
