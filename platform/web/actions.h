// What a page does, turned into the UI library's user actions (applied on the UI thread), and directory listings for file popups.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/ui/ui_loop.h"

namespace vweb {

// Actions are JSON objects with "op":
//   set {panel, ctrl, value, commit=true}      press {panel, ctrl}
//   click / dblclick / rclick {panel, ctrl, x, y, ctrl_key}
//   select {panel, ctrl, index, commit=false}  check {panel, ctrl, index, checked}
//   key {panel, key}                           menu {menubar, item, ctrl_key}
//   cursor {panel, ctrl, cursor, x, y}         zoom {panel, ctrl, xmin, xmax, ymin, ymax}
//   close / activate {panel}                   move {panel, top, left}   size {panel, height, width}
//   answer {popup, button, response, cancelled}
// Returns false when the action is unknown, malformed or refused by the UI.
bool is_action(const std::string& op);
bool apply_action(const nlohmann::json& action);

// Limits of one message from a page: its text, how deeply it nests and how many values it holds.
constexpr std::size_t kMaxMessageBytes = 1u << 20;
constexpr int kMaxMessageDepth = 4;
constexpr std::size_t kMaxMessageValues = 256;

// One message of a page, read and checked field by field: an object whose "op" is an
// action above, "list_dir" {dir, popup, req}, "rows" {panel, ctrl, from, to} or "ping", each field of its type.
// Nothing when it is not one, with the reason in `error`. Only the fields listed for its op are kept.
std::optional<nlohmann::json> read_message(std::string_view text, std::string& error);

// Entries of a directory for an open file or directory popup:
// {dir (absolute), parent ("" when the user may not go up), entries: [{name, dir}]}
// directories first, or {dir, error}. Only folders inside `roots` are listed; a
// popup restricted to its folder lists that folder whatever is asked, and one
// restricted to extensions lists only files that have them.
nlohmann::json list_directory(const std::string& dir, const vui::FilePopupLimits& limits,
                              const std::vector<std::string>& roots);

// Makes the folder `name` in `dir` for an open popup that allows it and answers with the new folder's listing
// (as list_directory), or {dir, error}. The name is one plain path component; the folder must be one the
// popup may list.
nlohmann::json make_directory(const std::string& dir, const std::string& name, const vui::FilePopupLimits& limits,
                              const std::vector<std::string>& roots);

}  // namespace vweb
