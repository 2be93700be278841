// Test helper: runs a built program in the background, waits for a sign of life, stops it with SIGTERM.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace vtest {

class RunningProgram {
public:
    // Starts argv[0] with these arguments; its output goes to `log_path`.
    RunningProgram(const std::vector<std::string>& argv, const std::string& log_path);
    ~RunningProgram();  // kills the program if it still runs
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return pid_ > 0; }
    // Polls `ready` (every 10 ms, up to `patience` seconds); false when the
    // program ended first or the time ran out.
    bool wait_for(const std::function<bool()>& ready, double patience = 60.0);
    // Sends SIGTERM and waits for the end; the exit code, or -1 when it had to be killed.
    int stop(double patience = 60.0);
    // Waits for the program to end by itself; the exit code, or -1 when it had to be killed.
    int wait(double patience = 60.0);

private:
    pid_t pid_ = -1;
    int exit_code_ = -1;
    bool ended_ = false;
    bool reap(bool block_until_deadline, double patience);
};

}  // namespace vtest
