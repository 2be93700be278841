// A temporary unixODBC configuration for the odbcreg tests: runs programs in it with spawn and reads its ini files.
#include "tests/odbcreg/odbc_sandbox.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace odbctest {
namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string trim(const std::string& text)
{
    std::size_t b = text.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    std::size_t e = text.find_last_not_of(" \t\r");
    return text.substr(b, e - b + 1);
}

bool is_odbc_variable(const char* entry)
{
    for (const char* name : {"ODBCSYSINI=", "ODBCINSTINI=", "ODBCINI=", "HOME="})
        if (std::strncmp(entry, name, std::strlen(name)) == 0) return true;
    return false;
}

}  // namespace

std::optional<std::string> Section::value(const std::string& key) const
{
    for (const auto& [k, v] : values)
        if (k == key) return v;
    return std::nullopt;
}

OdbcSandbox::OdbcSandbox()
{
    std::filesystem::create_directory(dir_.file("cfg"));
    std::filesystem::create_directory(dir_.file("home"));
    system_dir_ = dir_.file("cfg");
}

std::string OdbcSandbox::drivers_path() const
{
    return system_dir_ + "/" + (drivers_file_name_.empty() ? "odbcinst.ini" : drivers_file_name_);
}

std::string OdbcSandbox::data_sources_path() const { return system_dir_ + "/odbc.ini"; }

RunResult OdbcSandbox::odbcreg(const std::vector<std::string>& words) const
{
    return run(vtest::bin_dir() + "/odbcreg", words);
}

RunResult OdbcSandbox::odbcinst(const std::vector<std::string>& args) const { return run("/usr/bin/odbcinst", args); }

RunResult OdbcSandbox::run(const std::string& program, const std::vector<std::string>& args) const
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (!is_odbc_variable(*e)) env.emplace_back(*e);
    env.push_back("ODBCSYSINI=" + system_dir_);
    env.push_back("ODBCINI=" + dir_.file("home/odbc.ini"));
    env.push_back("HOME=" + dir_.file("home"));
    if (!drivers_file_name_.empty()) env.push_back("ODBCINSTINI=" + drivers_file_name_);

    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<char*> cenv;
    for (auto& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);

    const std::string out_path = dir_.file("run.out");
    const std::string err_path = dir_.file("run.err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.path().c_str());
    pid_t pid = 0;
    int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    int status = 0;
    ::waitpid(pid, &status, 0);
    RunResult result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(out_path);
    result.err = slurp(err_path);
    return result;
}

std::vector<Section> OdbcSandbox::drivers() const { return read_ini(drivers_path()); }
std::vector<Section> OdbcSandbox::data_sources() const { return read_ini(data_sources_path()); }

bool OdbcSandbox::user_files_untouched() const
{
    return !std::filesystem::exists(dir_.file("home/odbc.ini")) && !std::filesystem::exists(dir_.file("home/.odbc.ini"));
}

std::vector<Section> read_ini(const std::string& path)
{
    std::vector<Section> sections;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::string t = trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t.front() == '[' && t.back() == ']') {
            sections.push_back({t.substr(1, t.size() - 2), {}});
            continue;
        }
        std::size_t eq = t.find('=');
        if (eq == std::string::npos || sections.empty()) continue;
        sections.back().values.emplace_back(trim(t.substr(0, eq)), trim(t.substr(eq + 1)));
    }
    return sections;
}

const Section* find_section(const std::vector<Section>& sections, const std::string& name)
{
    for (const auto& s : sections)
        if (s.name == name) return &s;
    return nullptr;
}

std::vector<std::string> section_names(const std::vector<Section>& sections)
{
    std::vector<std::string> names;
    for (const auto& s : sections) names.push_back(s.name);
    return names;
}

std::vector<std::string> listed_names(const std::string& odbcinst_output)
{
    std::vector<std::string> names;
    std::istringstream in(odbcinst_output);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') names.push_back(line.substr(1, line.size() - 2));
    }
    return names;
}

}  // namespace odbctest
