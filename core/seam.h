// Typed calls from one subsystem into another that is built above or beside it; only the programs' wiring fills them.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Says once on stderr that a part is missing (where no user is there to be told).
void report_missing_seam(const char* name);
// Tells the user that the operation cannot run because these tasks are missing from this build.
void show_missing_tasks(const std::vector<std::string>& tasks);
// Tells the user that a command or view is not part of this build.
void show_missing_part(const std::string& part);
// Names reported by report_missing_seam so far (for tests and diagnostics).
const std::string& missing_seams_reported();
void reset_missing_seams();

template <typename Signature>
class Seam;

// What a seam's far side does: store or copy data, or show something.
enum class SeamKind { shows, stores };

// One typed call, named for the user by its task. When it is missing the user
// is told; a seam that stores or copies data also stops the operation that
// needs it (check `ready`, or `seams_ready`, before anything is written).
template <typename R, typename... Args>
class Seam<R(Args...)> {
public:
    using Function = std::function<R(Args...)>;

    Seam(const char* name, const char* task, SeamKind kind = SeamKind::shows) : name_(name), task_(task), kind_(kind)
    {
    }

    Seam& operator=(Function f)
    {
        fn_ = std::move(f);
        return *this;
    }

    const char* name() const { return name_; }
    const char* task() const { return task_; }
    bool stores_data() const { return kind_ == SeamKind::stores; }
    bool filled() const { return static_cast<bool>(fn_); }

    // False, after telling the user, when missing.
    bool ready() const
    {
        if (fn_) return true;
        if (stores_data())
            show_missing_tasks({task_});
        else
            show_missing_part(task_);
        return false;
    }

    // Calls through; a missing seam is reported as `ready` does and yields R{}.
    R operator()(Args... args) const
    {
        if (!ready()) return R();
        return fn_(std::forward<Args>(args)...);
    }

private:
    const char* name_;
    const char* task_;
    SeamKind kind_;
    Function fn_;
};

// True when every seam is filled; otherwise tells the user once about all that is
// missing and returns false, before anything is written.
template <typename... Seams>
bool seams_ready(const Seams&... seams)
{
    std::vector<std::string> tasks;
    bool all = true;
    auto check = [&](const auto& seam) {
        if (seam.filled()) return;
        all = false;
        tasks.push_back(seam.task());
    };
    (check(seams), ...);
    if (!tasks.empty()) show_missing_tasks(tasks);
    return all;
}
