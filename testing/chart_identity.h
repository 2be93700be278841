// The selected entry of the alarm window, and the seams trace testing is given.
#pragma once

// Value of the selected alarm window entry: a chart code with rule, or -1.
extern int selected_alarm_code;
