// Start and end of both programs' sessions: the initial globals, ReadGlobalSetup and the close-down.
#pragma once

// Clears the edit flag and the chart selections, sets the highest confidence level.
void initial_state();
// Marks every panel handle and both connections closed and forgets the working directory.
void closed_state();
// 1 when the program can go on; 0 when the working directory or the database cannot be had.
int ReadGlobalSetup();
// Frees the graph buffers and closes both connections.
void close_down();
