// Typed calls from one subsystem into another that is built above or beside it; only the programs' wiring fills them.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Says once on stderr that a display-only seam or part is missing; the display step is left out.
void report_missing_seam(const char* name);
// Tells the user that the operation cannot run because these tasks are missing from this build.
void show_missing_tasks(const std::vector<std::string>& tasks);
// Names reported by report_missing_seam so far (for tests and diagnostics).
const std::string& missing_seams_reported();
void reset_missing_seams();

template <typename Signature>
class Seam;

// One typed call. A seam with a task stores or copies data: when it is missing
// the user is told, and the caller stops the operation (check `ready` first).
// A seam without a task only refreshes what is shown: when it is missing the
// call is left out after one line on stderr.
template <typename R, typename... Args>
class Seam<R(Args...)> {
public:
    using Function = std::function<R(Args...)>;

    explicit Seam(const char* name, const char* task = "") : name_(name), task_(task) {}

    Seam& operator=(Function f)
    {
        fn_ = std::move(f);
        return *this;
    }

    const char* name() const { return name_; }
    const char* task() const { return task_; }
    bool stores_data() const { return *task_ != '\0'; }
    bool filled() const { return static_cast<bool>(fn_); }

    // False, after telling the user (data seams) or stderr (display seams), when missing.
    bool ready() const
    {
        if (fn_) return true;
        if (stores_data())
            show_missing_tasks({task_});
        else
            report_missing_seam(name_);
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
    Function fn_;
};

// True when every seam is filled; otherwise tells the user once about all missing
// data tasks (display seams go to stderr) and returns false, before anything is written.
template <typename... Seams>
bool seams_ready(const Seams&... seams)
{
    std::vector<std::string> tasks;
    bool all = true;
    auto check = [&](const auto& seam) {
        if (seam.filled()) return;
        all = false;
        if (!seam.stores_data()) {
            report_missing_seam(seam.name());
            return;
        }
        tasks.push_back(seam.task());
    };
    (check(seams), ...);
    if (!tasks.empty()) show_missing_tasks(tasks);
    return all;
}
