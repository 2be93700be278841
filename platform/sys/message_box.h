// System message boxes: shown by the user-interface layer, callable from any thread.
#pragma once

#include <functional>
#include <string>

namespace vsys {

// The handler must not block a calling worker thread (the UI layer posts the
// box to its own thread). Without a handler the box is written to stderr.
using MessageBoxHandler = std::function<void(const std::string& caption, const std::string& text)>;
void set_message_box_handler(MessageBoxHandler handler);
void message_box(const std::string& caption, const std::string& text);

}  // namespace vsys
