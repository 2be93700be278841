// Operator instructions per channel of a process, kept in its instruction table and edited from the channel setup.
#pragma once

// Right click on a channel's name box opens its instructions; a changed name marks the setup changed.
int setup_instructions(int panel, int control, int event, void* data, int d1, int d2);
// OK of the instructions panel: stores the text after confirmation.
int instructions_ok(int panel, int control, int event, void* data, int d1, int d2);
