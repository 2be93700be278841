// Rule alarms of the loaded chart: one OOC_ALRM row per broken run rule of a point in a range of runs.
#pragma once

// Writes the rows for the points of runs firstRun..lastRun (both included) and turns the status yellow.
void record_ooc_alarms(int firstRun, int lastRun);
