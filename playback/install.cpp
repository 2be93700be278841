// The playback subsystem's callback table.
#include "playback/playback.h"

#include "platform/ui/userint.h"

std::vector<vui::CallbackEntry> playback_callbacks()
{
    return {
        {"select_ok", CtrlCallbackPtr(select_ok)},
        {"play", CtrlCallbackPtr(play)},
        {"play_buttons", CtrlCallbackPtr(play_buttons)},
        {"all_or_some", CtrlCallbackPtr(all_or_some)},
        {"menu_summary", MenuCallbackPtr(menu_summary)},
    };
}

void install_playback() { vui::register_callbacks(playback_callbacks()); }
