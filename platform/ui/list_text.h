// The in-line codes of list-box item texts: ESC "fg" RRGGBB (text colour) and ESC "p" N "l" (pixel column).
#pragma once

#include <string>
#include <vector>

namespace vui {

struct TextSegment {
    int column = -1;  // pixel column the segment starts at; -1 = right after the previous one
    int color = -1;   // 0xRRGGBB; -1 = the list's own text colour
    std::string text;
};

// Splits a label into segments. A malformed code ends the label where it starts
// (nothing after an unreadable code is shown, as no reader could place it).
std::vector<TextSegment> parse_list_text(const std::string& label);
// The label without its codes.
std::string plain_list_text(const std::string& label);

}  // namespace vui
