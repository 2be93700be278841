// Entry of Vantrel and VantrelReview: wires the user-interface hooks and callbacks, then core's start-up runs the program.
#include "acquisition/install.h"
#include "core/callbacks.h"
#include "core/startup.h"
#include "platform/ui/ui_loop.h"

int main(int argc, char** argv)
{
    vui::install_message_box_hook();
    vui::install_document_hook();
    vui::register_callbacks(core_callbacks());
    install_acquisition();
    return vantrel_main(argc, argv);
}
