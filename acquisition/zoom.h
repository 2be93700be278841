// Zoom, pan and cursor tools of the playback graph.
#pragma once

int chartCallback(int panel, int control, int event, void* data, int d1, int d2);
int clickAction(int panel, int control, int event, void* data, int d1, int d2);
void setPlaybackLimits(double fit_x_min, double fit_x_max, double fit_y_min, double fit_y_max);
void setRestoreLimits(double y_min, double y_max);
void setRestoreSteps(int x_divisions, int x_precision, int y_divisions, int y_precision);
int cancel_panel(int panel, int event, void* data, int d1, int d2);
