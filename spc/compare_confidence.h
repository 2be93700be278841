// The comparison's confidence level, its dialog, and two-sided Student t quantiles by table look-up.
#pragma once

// Level labels by confidence_level: "80%", "90%", "95%", "99%", "99.9%".
const char* confidence_label(int level);

// Two-sided t quantile for `df` degrees of freedom at level 0..4, interpolated linearly in df between the
// tabulated degrees of freedom. Below 1 it gives the entry of 1; a level out of range is taken as the nearest.
double t_critical_value(int df, int level);


int display_confidence(int panel, int control, int event, void* data, int d1, int d2);
int confidence_ok(int panel, int control, int event, void* data, int d1, int d2);
