// The alarm window: Alarm List, Alarm Pareto and Active Alarm forms, and the review actions on the selected alarm.
#pragma once

// Control callbacks of the alarm window and of the alarm display popup.
int show_errors(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int error_popup(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int error_info(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int cancel_alarm_review(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Panel callback of the alarm display popup: its close box and Esc leave without a review.
int close_alarm_display(int panel, int event, void* callbackData, int eventData1, int eventData2);

// The most alarms one review lists: the uncleared review and the popup's count are both held to it.
constexpr int MAX_REVIEWED_ALARMS = 500;
