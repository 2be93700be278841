// posix_spawn-based launching: an argument vector goes to the program unchanged, no shell in between.
#include "platform/sys/launch.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern char** environ;

namespace vsys {
namespace {

std::vector<char*> to_argv(std::vector<std::string>& args)
{
    std::vector<char*> out;
    out.reserve(args.size() + 1);
    for (auto& a : args) out.push_back(a.data());
    out.push_back(nullptr);
    return out;
}

struct LauncherState {
    std::mutex mutex;
    DocumentLauncher launcher;
};

LauncherState& launcher_state()
{
    static LauncherState s;
    return s;
}

}  // namespace

std::optional<std::string> find_executable(const std::string& name)
{
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) {
        if (::access(name.c_str(), X_OK) == 0) return name;
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = path_join(dir.empty() ? "." : dir, name);
        if (::access(candidate.c_str(), X_OK) == 0 && file_exists(candidate)) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

Result spawn_detached(const std::vector<std::string>& argv)
{
    if (argv.empty()) return Result::failure("nothing to start");
    auto program = find_executable(argv[0]);
    if (!program) return Result::failure("cannot find program \"" + argv[0] + "\"");
    std::vector<std::string> args = argv;
    std::vector<char*> cargv = to_argv(args);
    // An intermediate child starts the program and exits at once; the program
    // is then inherited by init, so it never lingers as our zombie.
    pid_t middle = ::fork();
    if (middle < 0) return Result::failure(std::string("cannot start \"") + argv[0] + "\": " + std::strerror(errno));
    if (middle == 0) {
        ::setsid();
        pid_t pid = 0;
        int rc = ::posix_spawn(&pid, program->c_str(), nullptr, nullptr, cargv.data(), environ);
        ::_exit(rc == 0 ? 0 : 127);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return Result::failure("cannot start \"" + argv[0] + "\"");
    return Result::success();
}

int spawn_and_wait(const std::vector<std::string>& argv)
{
    if (argv.empty()) return -1;
    auto program = find_executable(argv[0]);
    if (!program) return -1;
    std::vector<std::string> args = argv;
    std::vector<char*> cargv = to_argv(args);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program->c_str(), nullptr, nullptr, cargv.data(), environ) != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void set_document_launcher(DocumentLauncher launcher)
{
    auto& s = launcher_state();
    std::lock_guard lock(s.mutex);
    s.launcher = std::move(launcher);
}

void launch_document(const std::string& path)
{
    DocumentLauncher launcher;
    {
        auto& s = launcher_state();
        std::lock_guard lock(s.mutex);
        launcher = s.launcher;
    }
    if (launcher)
        launcher(path);
    else
        std::fprintf(stderr, "Vantrel: open document %s\n", path.c_str());
}

}  // namespace vsys
