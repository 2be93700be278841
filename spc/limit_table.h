// The control-limit table "<process>LIMI": LCL, target and UCL per chart, seeded with the timer limits.
#pragma once

enum : short { LIMITS_READ = 6, LIMITS_WRITE = 7 };

// limits: LCL, TARGET, UCL. A read returns 1 when the chart has limits (a set point always has); a write returns 1;
// a call that had to create the table returns 0.
short step_specs(short operation, short type, short subtype, short channel, short step, double limits[3]);
// The same on the limit table of the given process.
short step_specs_of(int process, short operation, short type, short subtype, short channel, short step,
                    double limits[3]);
