// Test helper: a temporary unixODBC configuration, the built odbcreg and odbcinst run in it, and its ini files read back.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace odbctest {

struct RunResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// One ini section: its keywords in file order.
struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
    std::optional<std::string> value(const std::string& key) const;
};

// cfg/ holds odbcinst.ini and the system odbc.ini; home/ is HOME and holds ODBCINI.
// Nothing outside the temporary directory is read or written.
class OdbcSandbox {
public:
    OdbcSandbox();
    const vtest::TempDir& dir() const { return dir_; }
    std::string config_dir() const { return dir_.file("cfg"); }
    // Points ODBCSYSINI elsewhere (a missing directory, a file) for the next runs.
    void set_system_dir(const std::string& path) { system_dir_ = path; }
    void set_drivers_file_name(const std::string& name) { drivers_file_name_ = name; }

    // Runs build/bin/odbcreg with these words, in the sandbox directory.
    RunResult odbcreg(const std::vector<std::string>& words) const;
    // Runs Debian's odbcinst with these arguments against the same configuration.
    RunResult odbcinst(const std::vector<std::string>& args) const;

    std::vector<Section> drivers() const;      // sections of the drivers file
    std::vector<Section> data_sources() const;  // sections of the system odbc.ini
    std::string drivers_path() const;
    std::string data_sources_path() const;
    bool user_files_untouched() const;

private:
    RunResult run(const std::string& program, const std::vector<std::string>& args) const;
    vtest::TempDir dir_;
    std::string system_dir_;
    std::string drivers_file_name_;
};

std::vector<Section> read_ini(const std::string& path);
const Section* find_section(const std::vector<Section>& sections, const std::string& name);
std::vector<std::string> section_names(const std::vector<Section>& sections);
// The names `odbcinst -q -d` or `-q -s` prints, without brackets.
std::vector<std::string> listed_names(const std::string& odbcinst_output);

}  // namespace odbctest
