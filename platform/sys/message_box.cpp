// Routing of system message boxes to the installed handler or stderr.
#include "platform/sys/message_box.h"

#include <cstdio>
#include <mutex>

namespace vsys {
namespace {

struct BoxState {
    std::mutex mutex;
    MessageBoxHandler handler;
};

BoxState& box_state()
{
    static BoxState s;
    return s;
}

}  // namespace

void set_message_box_handler(MessageBoxHandler handler)
{
    auto& s = box_state();
    std::lock_guard lock(s.mutex);
    s.handler = std::move(handler);
}

void message_box(const std::string& caption, const std::string& text)
{
    MessageBoxHandler handler;
    {
        auto& s = box_state();
        std::lock_guard lock(s.mutex);
        handler = s.handler;
    }
    if (handler) {
        handler(caption, text);
        return;
    }
    static std::mutex stderr_mutex;
    std::lock_guard lock(stderr_mutex);
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
}

}  // namespace vsys
