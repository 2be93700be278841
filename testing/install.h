// Wiring of trace testing into the program: its callbacks by name and the core hooks it fills.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> testing_callbacks();
// Registers the callbacks and fills core's Window-menu and alarm-review hooks.
void install_testing();
