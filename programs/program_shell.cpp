// The program shell: start-up, the main window, the event loop and the close-down, the same in both editions but for the review popup.
#include "programs/program_shell.h"

#include "core/seam.h"
#include "core/startup.h"
#include "platform/ui/userint.h"

int vantrel_main(int argc, char** argv, const std::function<int()>& main_window)
{
    (void)argc;
    (void)argv;
    initial_state();
#ifdef VANTREL_REVIEW
    MessagePopup("Vantrel Review", "Version 6.96");
#endif
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    closed_state();
    if (ReadGlobalSetup() != 1) {
        close_down();
        return -1;
    }
    if (main_window) {
        main_window();
        SetMouseCursor(-1);
        RunUserInterface();
    } else {
        report_missing_seam("the main window (sc_main)");
        SetMouseCursor(-1);
    }
    close_down();
    return 0;
}
