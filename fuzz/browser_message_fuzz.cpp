// Fuzz target: a message from a page, checked as the server checks it and applied to a small window; the same bytes as a page's frame stream and as a typed path.
#include <string_view>

#include "fuzz/fuzz_popups.h"
#include "platform/sys/confine.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "platform/web/actions.h"
#include "platform/web/frames.h"

namespace {

// Small, so that inputs of a few kilobytes reach the bound.
constexpr std::size_t kFrameBound = 4096;

// The bytes as they come off a page's socket: frames judged by their headers, messages checked whole.
void read_as_connection(std::string_view bytes)
{
    vweb::FrameReader frames(kFrameBound, {[](std::string_view text) {
                                               std::string error;
                                               (void)vweb::read_message(text, error);
                                           },
                                           [](int, std::string_view) {}});
    // In two pieces, as a socket may give them.
    std::size_t half = bytes.size() / 2;
    if (frames.feed(bytes.substr(0, half))) frames.feed(bytes.substr(half));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (vfuzz::quiet_popups(), true);
    (void)ready;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    read_as_connection(bytes);
    // And as a path typed into a file popup.
    (void)vsys::confined_path(std::string(bytes));
    std::string error;
    auto m = vweb::read_message(bytes, error);
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
