// The chart reports' callbacks by name.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> reports_callbacks();
// Registers reports_callbacks().
void install_reports();
