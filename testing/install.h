// Trace testing's callbacks by name.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> testing_callbacks();
// Registers testing_callbacks().
void install_testing();
