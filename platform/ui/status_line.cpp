// The status line's last note and its way to the view.
#include "platform/ui/status_line.h"

#include "platform/ui/notify.h"

namespace vui {

namespace {
std::string& last_note()
{
    static std::string note;
    return note;
}
}  // namespace

void ShowStatusLine(const std::string& text)
{
    last_note() = text;
    notify_status_line(text);
}

std::string status_line() { return last_note(); }

void clear_status_line() { last_note().clear(); }

}  // namespace vui
