// One long command at a time: playback, the test summary, printing and the chart slideshow each take this guard while they run.
#pragma once

#include <string>

// A long command pumps events while it works, so the user can reach another
// one's menu item or button meanwhile: that second one is refused.
class LongCommand {
public:
    // Takes the guard for `task` (what the user sees named, e.g. "Playback").
    // When another long command holds it, `held()` is false and, with
    // `tell_user`, a popup says which command is still running.
    explicit LongCommand(const char* task, bool tell_user = true);
    ~LongCommand();
    LongCommand(const LongCommand&) = delete;
    LongCommand& operator=(const LongCommand&) = delete;

    bool held() const { return held_; }

    // Whether a long command runs now, and which (for dimming controls).
    static bool running();
    static const std::string& current();

private:
    bool held_ = false;
};
