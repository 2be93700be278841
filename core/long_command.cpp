// The one guard of the long commands.
#include "core/long_command.h"

#include "platform/sys/format.h"
#include "platform/ui/userint.h"

namespace {
std::string& holder()
{
    static std::string task;
    return task;
}
}  // namespace

LongCommand::LongCommand(const char* task, bool tell_user)
{
    if (!holder().empty()) {
        if (tell_user) {
            const std::string text =
                vsys::strprintf("%s is still running.  Please wait until it ends, or stop it, and try again.",
                                holder().c_str());
            MessagePopup("Busy", text.c_str());
        }
        return;
    }
    holder() = task && *task ? task : "A long command";
    held_ = true;
}

LongCommand::~LongCommand()
{
    if (held_) holder().clear();
}

bool LongCommand::running() { return !holder().empty(); }

const std::string& LongCommand::current() { return holder(); }
