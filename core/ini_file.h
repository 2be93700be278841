// The INI file VANTREL.INI: one key of one section read or rewritten, and where the file lives.
#pragma once

// Longest INI line read, without its line end; values are never longer.
constexpr int kIniLineLength = 323;
// Callers pass value buffers of at least this many bytes.
constexpr int kIniValueSize = kIniLineLength + 1;
// First byte of the value when a read finds no key.
constexpr unsigned char kIniMissing = 0xFF;

// Mode 0 reads `key` of `section` into `value` (first byte 255 when missing);
// mode 1 writes `value` under it through a temporary file renamed over the
// INI file. `file` is taken relative to the INI directory.
void read_rite_ini(const char* file, short mode, const char* section, const char* key, char* value);

#include <string>

// The directory holding VANTREL.INI: the program directory, or the user's
// configuration directory ($XDG_CONFIG_HOME/vantrel, else ~/.config/vantrel)
// when the program directory cannot be written (an installed program).
std::string ini_directory();

// Settles the working directory from DIR (writing the program directory there
// when the key is missing), creates it with its SC_DATA and Setup folders,
// makes it the current directory and stores its path. 0 after a fatal error
// ("Invalid working directory." or "Could not create working directory."),
// which has already asked the event loop to end.
int get_working_directory(std::string* path);
