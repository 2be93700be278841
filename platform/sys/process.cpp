// CPU time through getrusage and the Ctrl key state as an atomic flag.
#include "platform/sys/process.h"

#include <sys/resource.h>

#include <atomic>

namespace vsys {
namespace {

std::uint64_t to_100ns(const timeval& tv)
{
    return static_cast<std::uint64_t>(tv.tv_sec) * 10000000ULL + static_cast<std::uint64_t>(tv.tv_usec) * 10ULL;
}

std::atomic<bool>& ctrl_flag()
{
    static std::atomic<bool> flag{false};
    return flag;
}

}  // namespace

CpuTimes process_cpu_times()
{
    rusage usage {};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return {};
    return CpuTimes{to_100ns(usage.ru_utime), to_100ns(usage.ru_stime)};
}

void set_ctrl_key_down(bool down) { ctrl_flag().store(down); }
bool ctrl_key_down() { return ctrl_flag().load(); }

}  // namespace vsys
