// The timer editor: timers of the current process defined against its process-of-record trace, with the event search.
#pragma once

// Timer panel ("part2.uir" panel 1) controls.
enum TimerPanelControl : int {
    TM_APPLY = 2,
    TM_EXIT = 3,
    TM_CANCEL = 4,
    TM_END_GRAPH = 6,
    TM_START_GRAPH = 7,
    TM_START_EVENT = 8,
    TM_END_EVENT = 9,
    TM_END_LEVEL = 10,
    TM_START_LEVEL = 11,
    TM_END_CHANNEL = 12,
    TM_END_SENSE = 13,
    TM_START_CHANNEL = 14,
    TM_START_SENSE = 15,
    TM_LIST = 16,
    TM_END_MESSAGE = 20,
    TM_ELAPSED = 22,
    TM_START_MESSAGE = 24,
    TM_END_PREVIOUS = 30,
    TM_END_NEXT = 31,
    TM_START_PREVIOUS = 32,
    TM_START_NEXT = 33,
    TM_ADD = 34,
    TM_DELETE = 35,
};

void timer_setup_part2(int menuBar, int item, void* data, int panel);
int validate_current_timer(int panel);
int select_timer(int panel, int control, int event, void* data, int d1, int d2);
int timer_add(int panel, int control, int event, void* data, int d1, int d2);
int timer_delete(int panel, int control, int event, void* data, int d1, int d2);
int exit_timer_setup(int panel, int control, int event, void* data, int d1, int d2);
int close_timer_panel(int panel, int event, void* data, int d1, int d2);
int timer_altered(int panel, int control, int event, void* data, int d1, int d2);
// The event search of the selected timer in the process-of-record trace, and the stepping through its events.
int update_timer_chart(int panel, int control, int event, void* data, int d1, int d2);
int update_timer_start(int panel, int control, int event, void* data, int d1, int d2);
int update_timer_end(int panel, int control, int event, void* data, int d1, int d2);
