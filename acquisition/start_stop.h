// The start/stop toggle and the pause toggle of the strip-chart panel.
#pragma once

int start_stop(int panel, int control, int event, void* data, int d1, int d2);
int pause(int panel, int control, int event, void* data, int d1, int d2);
// Ends acquisition after the first failure to record (trace file or run table) and says why, once.
void stop_after_failure();
// A stop request (SIGTERM, Ctrl+C) while acquiring: ends acquisition as Stop does, without waiting on any
// popup, and tests the wafers real-time testing has not tested yet, the one just stored too.
void end_acquisition_for_exit();
