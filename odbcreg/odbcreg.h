// odbcreg: reads its command words, then registers or removes the selected drivers and the sample data source.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "odbcreg/attribute_tables.h"
#include "odbcreg/installer.h"

// Exit codes: every selection done, a refused command line, some selection not done.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitNotDone = 2;

struct Selection {
    int index;       // row of the driver table
    int result = 0;  // 0 done, anything else failed
};

// Run state, empty at the start of every run.
extern bool quiet_flag;
extern bool uninstall_flag;
extern bool dbase_dsn_flag;
extern bool access_dsn_flag;
extern bool dbase_driver_flag;
extern std::optional<std::string> sample_directory;
extern std::vector<Selection> selection_list;

// The program's entry, named as on its first platform: `words` are the command
// words as the shell split them. Results go to `out`, help and errors to `err`.
int WinMain(const std::vector<std::string>& words, Installer& installer, std::ostream& out, std::ostream& err);

void run_driver_pass();
void run_data_source_pass();
int install_driver(int driver_index);
int uninstall_driver(int driver_index);
int install_driver_entry(const std::string& packed_driver_list);
int add_data_source(const std::string& driver_description, const std::string& packed_attributes);
int remove_data_source(const std::string& driver_description, const std::string& packed_attributes);
int remove_driver_registry(const std::string& driver_description);

// Entries up to the first empty one, each ended by NUL, then one more NUL;
// returns the number of characters written.
int pack_attribute_list(const AttributeList& list, std::string& buffer);

// The 27 lines shown when there is nothing to do.
const std::string& help_text();
