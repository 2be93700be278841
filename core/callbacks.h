// The callbacks core offers to panel and menu files, by the names the files use.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> core_callbacks();
