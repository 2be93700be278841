// The channel setup dialog: names, trace colours, enables, kinds and scaling of the 32 channels, and the strip-chart range.
#pragma once

// The channel table panel while the dialog is open, else -1.
extern int channel_setup_panel;

void display_channel_setup(int menuBar, int item, void* data, int panel);
// OK of the dialog: 1 when the input is refused and the dialog stays open, else 0.
int get_channel_setup(int panel, int control, int event, void* data, int d1, int d2);
// Cancel of the dialog: closes it without storing.
int cancel_channel_setup(int panel, int control, int event, void* data, int d1, int d2);
