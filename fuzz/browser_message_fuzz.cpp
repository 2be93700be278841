// Fuzz target: a message from a page, checked as the server checks it and applied to a small window.
#include <string_view>

#include "fuzz/fuzz_popups.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "platform/web/actions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (vfuzz::quiet_popups(), true);
    (void)ready;
    std::string error;
    auto m = vweb::read_message(std::string_view(reinterpret_cast<const char*>(data), size), error);
    if (!m || !vweb::is_action((*m)["op"].get<std::string>())) return 0;
    // Handles 1 and 2: the panel and its first control, as the seeds name them.
    int panel = NewPanel(0, "Main", 10, 10, 400, 600);
    NewCtrl(panel, CTRL_COMMAND_BUTTON, "Go", 10, 10);
    NewCtrl(panel, CTRL_NUMERIC, "Value", 40, 10);
    NewCtrl(panel, CTRL_STRIP_CHART, "Trace", 100, 10);
    NewCtrl(panel, CTRL_RING, "Ring", 300, 10);
    DisplayPanel(panel);
    vweb::apply_action(*m);
    vui::pump_once();
    vui::reset_ui();
    return 0;
}
