// Maintenance of stored runs: deletion of old or checked runs with their files, packing of the tables, copies of a run's wafer traces.
#pragma once

#include <string>

void delete_old(int menuBar, int item, void* data, int panel);
int delete_old_ok(int panel, int control, int event, void* data, int d1, int d2);
// OK of the run list in delete use: deletes the checked runs of list 3.
int delete_ok(int panel, int control, int event, void* data, int d1, int d2);
void pack_db(int menuBar, int item, void* data, int panel);
// Copies sourceBase + "%03d" to destinationBase + "%03d" for 1..*count; *count becomes the number that failed.
int multi_copy(const char* sourceBase, const char* destinationBase, short* count);
// Removes every trace file of a run ("SC_DATA/RRRRRRRR.*") of a working directory, or for an endpoint record its
// "CLEAN/<run>.ENP". Files that are not there are passed over; returns false when one could not be removed.
bool remove_run_files(const std::string& directory, int run, bool endpoint);
