// Scratch directories for tests.
#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <chrono>
#include <thread>
#include <vector>

namespace vtest {

TempDir::TempDir(bool enter)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
    path_ = name.data();
    if (enter) {
        previous_cwd_ = std::filesystem::current_path().string();
        std::filesystem::current_path(path_);
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!previous_cwd_.empty()) std::filesystem::current_path(previous_cwd_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

std::string TempDir::write(const std::string& name, const std::string& content) const
{
    std::string p = file(name);
    std::ofstream out(p, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + p);
    return p;
}

std::string TempDir::read(const std::string& name) const
{
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

namespace {
// Test programs live in build/tests; the programs in build/bin.
std::string tests_dir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().string(); }
}  // namespace

std::string bin_dir() { return tests_dir() + "/../bin"; }

std::string record_args_tool()
{
    return tests_dir() + "/tools/record_args";
}

std::vector<std::string> read_recorded_args(const std::string& path, double patience)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(patience);
    while (!std::filesystem::exists(path) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> args;
    std::string arg;
    while (std::getline(in, arg, '\0')) args.push_back(arg);
    return args;
}

}  // namespace vtest
