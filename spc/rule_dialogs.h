// The dialogs of the chart window built in code: rule selection, "Edit Limits" and "Custom Selection".
#pragma once

int select_rules(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int adjust_spec(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Value change of a limit field: enters edit mode and sets the switch (its control in callbackData) to 0.
int set_spec_limits(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int custom_slots(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
