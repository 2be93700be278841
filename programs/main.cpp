// Entry of Vantrel and VantrelReview: wires the user interface, the subsystems, the board and the browser view, then the program shell runs the program.
#include <cstdlib>

#include "acquisition/install.h"
#include "acquisition/main_window.h"
#include "board/board_api.h"
#include "platform/ui/ui_loop.h"
#include "platform/web/start.h"
#include "programs/program_shell.h"
#include "programs/stop_signals.h"
#include "programs/wiring.h"

int main(int argc, char** argv)
{
    install_stop_signals();  // first, so every thread started later inherits the blocked signals
    vui::install_message_box_hook();
    vui::install_document_hook();
    wire_subsystems();
#ifndef VANTREL_REVIEW
    if (!install_board()) return EXIT_FAILURE;
#endif
#ifdef VANTREL_REVIEW
    auto view = vweb::start_from_command_line(argc, argv, "Vantrel Review");
#else
    auto view = vweb::start_from_command_line(argc, argv, "Vantrel");
#endif
    if (!view) return EXIT_FAILURE;
    // Without a view attached the main window would wait for ever: it comes with the browser view.
    int rc = vantrel_main(argc, argv, sc_main);
    // A stop request may end the loop while acquiring: the transfer thread is
    // stopped and joined before the program's statics go away.
    VantrelKillBufferedAnalogIn();
    view.reset();  // on the user-interface thread, before the model goes away
    return rc;
}
