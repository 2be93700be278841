// The SPC chart window: choosing a chart, batch selection, drawing with limits, rules, histogram and capability,
// the point read-out with comments, and closing.
#pragma once

#include "core/chart_record.h"

// Handle of the plot of the TEST points and the number of points marked by the last plot.
extern int spc_data_plot;
extern int rule_breakers;

// The chart the window shows, or showed last. Its dialogs keep copies of their own.
ChartRecord& shown_chart();
// True while the window is open on this chart of this process.
bool window_shows(const ChartRecord& chart);

void show_chart(int menuBar, int item, void* callbackData, int panel);
// The comparison's batch selection (compare window buttons), for the chart the window showed last.
int wafers_in_chart(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// The batch selection of a chart, its recipe preset to the current process (none for endpoint data).
void open_batch_selection(const ChartRecord& chart);
// The chart a batch selection panel was opened for (the window's when the panel is not one).
ChartRecord batch_chart(int panel);
int new_chart(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Opens or clears the window and shows the chart (its identity, process and settings) with its TEST batch.
void display_new_chart(const ChartRecord& chart);
void plot_limit_lines();
// Draws the window's chart; with a run range, also records its rule alarms for those runs.
void display_capability(int firstRun, int lastRun);
int toggle_natural(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int toggle_spec(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int exclude_defects(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int move_cursor(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void show_point_info(int position);
int snap_cursor(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int put_com(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int discard_chart(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void get_rule_n_popup_text(int panel, char* trees, char* popupText);
