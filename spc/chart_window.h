// The SPC chart window: choosing a chart, batch selection, drawing with limits, rules, histogram and capability,
// the point read-out with comments, and closing.
#pragma once

// Controls of the chart window ("x_hist.uir" panel 1).
enum : int {
    XH_HISTOGRAM = 2,
    XH_CHART = 3,
    XH_CLOSE = 4,
    XH_EXCLUDE = 11,
    XH_NATURAL = 12,
    XH_SPEC = 13,
    XH_POSITION = 14,
    XH_VALUE = 15,
    XH_COMMENT = 16,
    XH_RULES = 17,
    XH_LEGEND = 18,
    XH_RECIPE = 19,
    XH_PROCESS = 20,
    XH_CODE = 21,
    XH_TIME = 22,
    XH_CPK = 23,
    XH_DATE = 24,
    XH_WAFER = 25,
    XH_TRACE_ID = 26,
    XH_SYSTEM = 27,
    XH_CP = 28,
    XH_DEFECTS = 29,
};

// Controls of the batch selection ("wafers.uir" panel 1).
enum : int {
    WF_WAFERS = 2,
    WF_TRACE_IDS = 3,
    WF_RECIPES = 4,
    WF_SYSTEMS = 5,
    WF_OK = 9,
    WF_POINTS = 10,
};

// Handle of the plot of the TEST points and the number of points marked by the last plot.
extern int spc_data_plot;
extern int rule_breakers;

void show_chart(int menuBar, int item, void* callbackData, int panel);
int wafers_in_chart(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// The batch selection of the current chart, its recipe preset to the current process (none for endpoint data).
void open_batch_selection();
int new_chart(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void display_new_chart();
void plot_limit_lines();
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
