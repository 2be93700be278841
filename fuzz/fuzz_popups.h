// What the fuzz targets of UI code add: every popup answered at once.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "platform/ui/ui_loop.h"

namespace vfuzz {

// Every popup and message box is answered at once with its first button, as a user clicking through
// (shown on stderr when VANTREL_FUZZ_SHOW is set, to see what an input does).
inline void quiet_popups()
{
    quiet_message_boxes();
    static const bool show = std::getenv("VANTREL_FUZZ_SHOW") != nullptr;
    vui::set_popup_responder([](const vui::PopupInfo& p) {
        if (show) std::fprintf(stderr, "popup: %s | %s\n", p.title.c_str(), p.text.c_str());
        return std::optional<vui::PopupAnswer>(vui::PopupAnswer{});
    });
}

}  // namespace vfuzz
