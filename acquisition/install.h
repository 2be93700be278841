// Wiring of the main-window subsystem into a program: its callbacks by name, core's hooks and the board backend.
#pragma once

#include <vector>

#include "platform/ui/ui_loop.h"

std::vector<vui::CallbackEntry> acquisition_callbacks();
// Registers the callbacks and fills core's hooks for the legend and the menu bar.
void install_acquisition();
// Installs the board backend the environment asks for; false (after saying
// why on stderr) when the backend cannot be had.
bool install_board();
// Fills core's main-window hook: start-up then builds the main window and runs
// the event loop until the user quits. A program without any view attached
// would wait for ever, so this is wired together with the browser view.
void install_main_window();
