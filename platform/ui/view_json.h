// The JSON forms of model objects that the change stream and the snapshot send.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>

#include "platform/ui/model.h"

namespace vui::view_json {

nlohmann::json attrs(const std::map<int, Value>& attrs);
nlohmann::json plot(const Plot& p);
nlohmann::json graph(int panel, const Control& c);
// A control without its list items; with_data adds a graph's plots and strip points.
nlohmann::json ctrl(int panel, const Control& c, bool with_data);
// List items [from, to) of a list box or ring, each as [label, value, checked] (a long list stays small).
nlohmann::json items(const Control& c, std::size_t from, std::size_t to);
nlohmann::json panel(const Panel& p);
nlohmann::json menubar(const MenuBar& b);
// One menu node without its children's contents: a menu lists its items' ids, an item names its submenu's id.
nlohmann::json menu_node_flat(const MenuNode& n);
nlohmann::json popup(const Popup& p);

}  // namespace vui::view_json
