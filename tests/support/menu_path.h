// Menu items found as the user finds them: by the path of names from the bar, "Charts/Static Channel Charts/CH2/Mean".
#pragma once

#include <string>

#include "platform/ui/headless.h"

namespace vtest {

// The id of the item (or menu) at `path` in the bar; 0 when a step is missing.
inline int menu_path(const vui::Headless& ui, int bar, const std::string& path)
{
    std::size_t slash = path.find('/');
    int id = ui.find_menu_item(bar, path.substr(0, slash));
    while (id != 0 && slash != std::string::npos) {
        const std::size_t at = slash + 1;
        slash = path.find('/', at);
        const std::string name = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        // A top menu lists its own items; an item that opens a submenu lists the submenu's.
        const auto entry = ui.menu_item(bar, id);
        const int menu = entry && entry->submenu != 0 ? entry->submenu : id;
        id = 0;
        for (const auto& e : ui.menu_items(bar, menu))
            if (e.name == name) {
                id = e.id;
                break;
            }
    }
    return id;
}

}  // namespace vtest
