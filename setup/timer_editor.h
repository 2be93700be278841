// The timer editor: timers of the current process defined against its process-of-record trace, with the event search.
#pragma once

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
