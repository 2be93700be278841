// The File menu of process setups: open, save, save as, delete, import, export; copies of a process's files; process numbers by name.
#pragma once

#include <string>

void save_read(int menuBar, int item, void* data, int panel);
void saveAllAndExport(char force);
void SaveSetupAs();
int copy_process_from_to(int fromConnection, int toConnection, int fromProcess, const char* fromDirectory,
                         int toProcess, const char* toDirectory);
// Splits a full file name into its directory (with the trailing separator) and its bare name (without the
// extension, which is only looked for after the last separator). Either output may be null. Returns 1.
int StripNameAndPathFromFullname(const std::string& fullName, std::string* path, std::string* name);
int getRecipeNumber(int connection, const char* name);
int getExistingRecipeNumber(int connection, const char* name);
// The Save As rules for a process name: shows the refusal and returns false when it is empty or over 32 characters.
bool process_name_acceptable(const std::string& name);
