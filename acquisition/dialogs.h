// The acquisition rate dialog and the trigger dialog.
#pragma once

int DisplayConfig(int panel, int control, int event, void* data, int d1, int d2);
int ConfigureDAQ(int panel, int control, int event, void* data, int d1, int d2);
int display_trig(int panel, int control, int event, void* data, int d1, int d2);
int alter_trigger_info(int panel, int control, int event, void* data, int d1, int d2);
int trigger_check(int panel, int control, int event, void* data, int d1, int d2);
int trigger_ok(int panel, int control, int event, void* data, int d1, int d2);
