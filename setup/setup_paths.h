// Where the files of a process live: its five tables, its export file and the Setup directory.
#pragma once

#include <string>

// The five per-process tables, in the order they are copied and exported.
inline constexpr const char* kProcessTables[5] = {"INST", "ACTC", "LIMI", "TAGS", "NUMB"};

std::string setup_directory();  // "Setup" of the working directory
std::string process_table_file(const std::string& directory, int process, const char* table);
std::string export_file(const std::string& directory, const std::string& name);
// The existing file of a table whatever the case of its name, else the exact name.
std::string existing_table_file(const std::string& directory, int process, const char* table);
// Copies at most 32 characters of text into a 33-byte buffer.
void copy_text(char* buffer33, const std::string& text);
// Whether two paths name the same file, decided on their canonical forms.
bool same_file(const std::string& a, const std::string& b);

// Keeps the run and channel context (mask, counts, rate, converter scale, run, wafers, date and time)
// across a read or write of a process-of-record header row, and puts it back on destruction.
class RunContextKeeper {
public:
    RunContextKeeper();
    ~RunContextKeeper();
    RunContextKeeper(const RunContextKeeper&) = delete;
    RunContextKeeper& operator=(const RunContextKeeper&) = delete;

private:
    unsigned mask_;
    unsigned char saved_, channels_;
    int rate_index_, rate_, adc_, run_, wafers_;
    char date_[11], time_[9];
};
