// Tarvex on Linux: hands the help file and topic to a CHM viewer started detached, without a shell.
#include "helpbridge/tarvex.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

constexpr const char* kViewer = "xchm";

// Looks the viewer up on PATH into `out`; false when it is not there. Fixed
// buffers only: the library keeps nothing and allocates nothing.
bool find_viewer(char* out, std::size_t size)
{
    const char* path = std::getenv("PATH");
    if (path == nullptr || *path == '\0') path = "/usr/local/bin:/usr/bin:/bin";
    const char* start = path;
    for (;;) {
        const char* end = std::strchr(start, ':');
        std::size_t length = end ? static_cast<std::size_t>(end - start) : std::strlen(start);
        int n = length == 0 ? std::snprintf(out, size, "./%s", kViewer)
                            : std::snprintf(out, size, "%.*s/%s", static_cast<int>(length), start, kViewer);
        if (n > 0 && static_cast<std::size_t>(n) < size && access(out, X_OK) == 0) return true;
        if (end == nullptr) return false;
        start = end + 1;
    }
}

bool have_display()
{
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

}  // namespace

extern "C" void callHtmlHelp(char* file, int topic)
{
    if (file == nullptr || !have_display()) return;
    char viewer[4096];
    if (!find_viewer(viewer, sizeof viewer)) return;
    char context[32];
    std::snprintf(context, sizeof context, "--contextid=%d", topic);
    char* argv[] = {viewer, context, file, nullptr};

    // The viewer outlives the call: an intermediate child starts it and exits
    // at once, so the viewer is adopted by init and never becomes our zombie.
    pid_t middle = fork();
    if (middle < 0) return;
    if (middle == 0) {
        setsid();
        pid_t pid = 0;
        int rc = posix_spawn(&pid, viewer, nullptr, nullptr, argv, environ);
        _exit(rc == 0 ? 0 : 127);
    }
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
}
