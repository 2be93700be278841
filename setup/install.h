// Wiring of the process setups into a program: their callbacks by name and the core hooks they provide.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> setup_callbacks();
// Registers setup_callbacks() and fills core's hooks saveAllAndExport and ExportRecipe.
void install_setup();
