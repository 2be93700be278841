// The main-window subsystem's callbacks by name and the choice of board backend.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> acquisition_callbacks();
// Registers acquisition_callbacks().
void install_acquisition();
// Installs the board backend the environment asks for; false (after saying
// why on stderr) when the backend cannot be had.
bool install_board();
