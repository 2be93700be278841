// Fuzz target: a panel resource file checked, then its first panel and menu bar loaded.
#include "fuzz/fuzz_popups.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (vfuzz::quiet_popups(), true);
    (void)ready;
    std::string path = vfuzz::write_file("fuzz.uir", data, size);
    (void)vui::check_panel_file(path);
    for (int resource : {1, 2}) {
        int panel = LoadPanel(0, path.c_str(), resource);
        if (panel > 0) (void)LoadMenuBar(panel, path.c_str(), resource);
    }
    vui::reset_ui();
    return 0;
}
