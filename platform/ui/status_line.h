// The status line: a short note of how a command ended, shown by the view without stopping the user.
#pragma once

#include <string>

namespace vui {

// Shows `text` in the view's status line until the next note replaces it.
void ShowStatusLine(const std::string& text);
// The last note shown (empty before the first); tests read it as the page would show it.
std::string status_line();
void clear_status_line();

}  // namespace vui
