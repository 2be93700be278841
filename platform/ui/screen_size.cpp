// The screen size the view reports and the program's listener for it.
#include "platform/ui/screen_size.h"

#include <algorithm>
#include <utility>

#include "platform/ui/model.h"

namespace vui {

namespace {
std::function<void(int, int)>& listener()
{
    static std::function<void(int, int)> fit;
    return fit;
}
}  // namespace

void on_screen_size(std::function<void(int width, int height)> fit) { listener() = std::move(fit); }

namespace user {

bool set_screen(int width, int height)
{
    // Bounds a person's screen can have: a hostile size cannot make windows vanish or overflow the arithmetic.
    width = std::clamp(width, 320, 16384);
    height = std::clamp(height, 240, 16384);
    Model& m = model();
    if (m.screen_width == width && m.screen_height == height) return true;
    m.screen_width = width;
    m.screen_height = height;
    if (listener()) listener()(width, height);
    return true;
}

}  // namespace user

}  // namespace vui
