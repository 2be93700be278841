// Copy of runs to another working directory (their rows, results, alarms, traces and setups) and the run list of the copy and delete commands.
#pragma once

void network_upload(int menuBar, int item, void* data, int panel);
int upload_ok(int panel, int control, int event, void* data, int d1, int d2);
// Copies the result and alarm rows of run run_num (on hdbc) to target under newRun; keep 0 first deletes newRun's
// rows there. Returns 1 when the user cancelled.
int network_stuff(int target, int newRun, short keep, int waitPanel);
// Stores the setup of a source process under its name in the target; *newNumber becomes its number there, or -1.
int insert_recipe_into_file_map(int source, int target, const char* targetDirectory, const char* sourceDirectory,
                                const char* name, int process, int* newNumber, short confirm);
