// Parsing of the in-line codes of list-box item texts.
#include "platform/ui/list_text.h"

#include <cctype>

namespace vui {

std::vector<TextSegment> parse_list_text(const std::string& label)
{
    std::vector<TextSegment> out;
    TextSegment current;
    int color = -1;
    std::size_t i = 0;
    auto flush = [&] {
        if (!current.text.empty()) out.push_back(current);
        current = TextSegment{};
        current.color = color;
    };
    while (i < label.size()) {
        char ch = label[i];
        if (ch != '\033') {
            current.text += ch;
            ++i;
            continue;
        }
        if (i + 1 < label.size() && label[i + 1] == 'p') {
            std::size_t l = label.find('l', i + 2);
            if (l == std::string::npos || l == i + 2) break;
            int column = 0;
            bool digits = true;
            for (std::size_t k = i + 2; k < l; ++k) {
                if (!std::isdigit(static_cast<unsigned char>(label[k])) || column > 100000) {
                    digits = false;
                    break;
                }
                column = column * 10 + (label[k] - '0');
            }
            if (!digits) break;
            flush();
            current.column = column;
            i = l + 1;
            continue;
        }
        if (i + 8 < label.size() && label.compare(i + 1, 2, "fg") == 0) {
            std::string hex = label.substr(i + 3, 6);
            bool ok = true;
            for (char h : hex) ok = ok && std::isxdigit(static_cast<unsigned char>(h));
            if (!ok) break;
            // A colour code starts a new segment only when text came before it in this one.
            if (!current.text.empty()) flush();
            color = static_cast<int>(std::stoul(hex, nullptr, 16));
            current.color = color;
            i += 9;
            continue;
        }
        break;
    }
    flush();
    return out;
}

std::string plain_list_text(const std::string& label)
{
    std::string text;
    for (const auto& s : parse_list_text(label)) text += s.text;
    return text;
}

}  // namespace vui
