// Background program runs for tests: posix_spawn with redirected output, bounded waits, SIGTERM stop.
#include "tests/support/program_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace vtest {

RunningProgram::RunningProgram(const std::vector<std::string>& argv, const std::string& log_path)
{
    std::vector<std::string> args = argv;
    std::vector<char*> cargv;
    for (auto& a : args) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
}

RunningProgram::~RunningProgram()
{
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool RunningProgram::reap(bool block_until_deadline, double patience)
{
    if (ended_) return true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(patience);
    do {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            ended_ = true;
            exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        if (!block_until_deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

bool RunningProgram::wait_for(const std::function<bool()>& ready, double patience)
{
    if (pid_ <= 0) return false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(patience);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        if (reap(false, 0)) return ready();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int RunningProgram::stop(double patience)
{
    if (pid_ <= 0) return -1;
    if (!ended_) ::kill(pid_, SIGTERM);
    return wait(patience);
}

int RunningProgram::wait(double patience)
{
    if (pid_ <= 0) return -1;
    if (!reap(true, patience)) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ended_ = true;
        return -1;
    }
    return exit_code_;
}

}  // namespace vtest
