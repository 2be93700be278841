// The process setups' callbacks by name.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> setup_callbacks();
// Registers setup_callbacks().
void install_setup();
