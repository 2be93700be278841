// What the fuzz targets of UI code add: every popup answered at once.
#pragma once

#include "fuzz/fuzz_support.h"
#include "platform/ui/ui_loop.h"

namespace vfuzz {

// Every popup and message box is answered at once with its first button, as a user clicking through.
inline void quiet_popups()
{
    quiet_message_boxes();
    vui::set_popup_responder([](const vui::PopupInfo&) { return std::optional<vui::PopupAnswer>(vui::PopupAnswer{}); });
}

}  // namespace vfuzz
