// Rule alarms of a loaded chart: one OOC_ALRM row per broken run rule of a point in a range of runs.
#pragma once

#include "core/chart_record.h"

// Writes the rows for the chart's points of runs firstRun..lastRun (both included) and turns the status yellow.
void record_ooc_alarms(const ChartRecord& chart, int firstRun, int lastRun);
