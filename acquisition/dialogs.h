// The acquisition rate dialog and the trigger dialog.
#pragma once

int DisplayConfig(int panel, int control, int event, void* data, int d1, int d2);
// A value changed in the Rate or Triggers dialog: the setup is marked changed, except while acquiring, when OK keeps
// the setup and there is nothing to save.
int acquisition_value_changed(int panel, int control, int event, void* data, int d1, int d2);
int ConfigureDAQ(int panel, int control, int event, void* data, int d1, int d2);
int display_trig(int panel, int control, int event, void* data, int d1, int d2);
int alter_trigger_info(int panel, int control, int event, void* data, int d1, int d2);
int trigger_check(int panel, int control, int event, void* data, int d1, int d2);
int trigger_ok(int panel, int control, int event, void* data, int d1, int d2);
