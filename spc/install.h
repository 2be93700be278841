// The SPC subsystem's callbacks by name.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> spc_callbacks();
void install_spc();
