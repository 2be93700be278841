// The screen the program's windows live on: the view reports its size, the program fits its main window to it.
#pragma once

#include <functional>

namespace vui {

// What the program does when the screen changes size (it sizes its main window); one listener, replaced by the next.
void on_screen_size(std::function<void(int width, int height)> fit);

namespace user {
// The view's room for windows: sets the screen size (bounded) and tells the program when it changed.
bool set_screen(int width, int height);
}  // namespace user

}  // namespace vui
