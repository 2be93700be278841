// The process-wide plan of injected file faults and its counting.
#include "platform/sys/fault_plan.h"

#include <unistd.h>

#include <atomic>
#include <mutex>

namespace vsys {
namespace {

struct Planned {
    FileFault fault;
    int calls = 0;     // calls of the op on a matching file so far
    bool struck = false;
};

struct Plan {
    std::mutex mutex;
    std::vector<Planned> faults;
    int strikes = 0;
};

Plan& plan()
{
    static Plan p;
    return p;
}

// Writers ask on every call: without a plan that must cost no lock.
std::atomic<bool> armed {false};

bool matches(const FileFault& f, FileOp op, std::string_view path)
{
    if (f.op != op) return false;
    return f.path.empty() || (!path.empty() && path.find(f.path) != std::string_view::npos);
}

// Called with the mutex held: does this call of a counted fault fail?
bool strikes_now(Planned& p)
{
    ++p.calls;
    if (p.struck) return p.fault.persists;
    if (p.calls < p.fault.nth) return false;
    p.struck = true;
    return true;
}

}  // namespace

void set_fault_plan(std::vector<FileFault> faults)
{
    Plan& p = plan();
    std::lock_guard lock(p.mutex);
    p.faults.clear();
    for (auto& f : faults) p.faults.push_back(Planned {std::move(f)});
    p.strikes = 0;
    armed = !p.faults.empty();
}

void clear_fault_plan() { set_fault_plan(std::vector<FileFault> {}); }

int fault_plan_strikes()
{
    Plan& p = plan();
    std::lock_guard lock(p.mutex);
    return p.strikes;
}

bool file_fault(FileOp op, std::string_view path)
{
    if (!armed) return false;
    Plan& p = plan();
    std::lock_guard lock(p.mutex);
    bool fail = false;
    for (Planned& planned : p.faults) {
        if (!matches(planned.fault, op, path)) continue;
        if (planned.fault.bytes) {
            // A byte budget counts bytes, not calls: only a write that carries some can use it up.
            if (planned.struck) fail = true;
            continue;
        }
        if (strikes_now(planned)) fail = true;
    }
    if (fail) ++p.strikes;
    return fail;
}

bool file_fault(FileOp op, std::FILE* file)
{
    if (!armed) return false;
    std::string path;
    if (file != nullptr) {
        // The stream's file as the kernel names it.
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", ::fileno(file));
        char target[4096];
        const ssize_t n = ::readlink(link, target, sizeof target);
        if (n > 0) path.assign(target, static_cast<std::size_t>(n));
    }
    return file_fault(op, path);
}

std::size_t file_write_allowance(std::size_t size, std::string_view path, bool* failed)
{
    *failed = false;
    if (!armed) return size;
    Plan& p = plan();
    std::lock_guard lock(p.mutex);
    std::size_t allowed = size;
    for (Planned& planned : p.faults) {
        if (!matches(planned.fault, FileOp::write, path)) continue;
        if (!planned.fault.bytes) {
            if (strikes_now(planned)) {
                *failed = true;
                allowed = 0;
            }
            continue;
        }
        // The disk fills up: what fits is written, the rest and every later write fail.
        std::uint64_t& left = *planned.fault.bytes;
        if (left < size) {
            planned.struck = true;
            *failed = true;
            if (left < allowed) allowed = static_cast<std::size_t>(left);
            left = 0;
        } else {
            left -= size;
        }
    }
    if (*failed) ++p.strikes;
    return allowed;
}

}  // namespace vsys
