// The body of main() of Vantrel and VantrelReview: start-up, the main window, the event loop and the close-down.
#pragma once

#include <functional>

// 0 after a normal end, -1 when start-up failed (no window was built). The main
// window is given by the caller: the programs pass sc_main, tests a stand-in.
// Without one there is nothing to end an event loop: it says so and closes down.
int vantrel_main(int argc, char** argv, const std::function<int()>& main_window);
