// Test helpers: a scratch working directory removed afterwards, and the simulated clock.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sys/clock.h"

namespace vtest {

// A fresh directory under the system temporary directory; with `enter` the
// process's current directory moves into it until destruction.
class TempDir {
public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;
    // Writes a small file (creating it) and returns its path.
    std::string write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;

private:
    std::string path_;
    std::string previous_cwd_;
};

// Switches the program clock to simulated time for the scope of a test.
class SimulatedClock {
public:
    explicit SimulatedClock(const vsys::CivilTime& start = {2026, 3, 14, 9, 30, 0}) { vsys::simulate_clock(start); }
    ~SimulatedClock() { vsys::use_real_clock(); }
    SimulatedClock(const SimulatedClock&) = delete;
    SimulatedClock& operator=(const SimulatedClock&) = delete;
    void advance(double seconds) { vsys::advance_clock(seconds); }
};

// Directory holding the built programs and libTarvex.so.
std::string bin_dir();
// The test stand-in that records its arguments (tests/tools/record_args).
std::string record_args_tool();
// Reads a NUL-separated argument record written by record_args, waiting up to
// `patience` seconds of real time for it to appear (the program runs detached).
std::vector<std::string> read_recorded_args(const std::string& path, double patience = 60.0);

}  // namespace vtest
