// Entry of Vantrel and VantrelReview: wires the user interface and the subsystems, then core's start-up runs the program.
#include "core/startup.h"
#include "platform/ui/ui_loop.h"
#include "programs/wiring.h"

int main(int argc, char** argv)
{
    vui::install_message_box_hook();
    vui::install_document_hook();
    wire_subsystems();
    return vantrel_main(argc, argv);
}
