// Page actions applied through vui::user, and directory listings for the file popups.
#include "platform/web/actions.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/ui/ui_loop.h"
#include "platform/ui/user_actions.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace vweb {

namespace {

int num(const json& a, const char* key, int fallback = 0)
{
    auto it = a.find(key);
    if (it == a.end() || !it->is_number()) return fallback;
    return it->get<int>();
}

double real(const json& a, const char* key)
{
    auto it = a.find(key);
    if (it == a.end() || !it->is_number()) throw std::invalid_argument(key);
    return it->get<double>();
}

bool flag(const json& a, const char* key, bool fallback)
{
    auto it = a.find(key);
    if (it == a.end()) return fallback;
    if (it->is_boolean()) return it->get<bool>();
    if (it->is_number()) return it->get<double>() != 0.0;
    return fallback;
}

vui::Value value_of(const json& v)
{
    if (v.is_string()) return vui::Value::of(v.get<std::string>());
    // Typed numbers go in as doubles: the library then coerces them into the control's range for every data type.
    if (v.is_number()) return vui::Value::of(v.get<double>());
    if (v.is_boolean()) return vui::Value::of(std::int64_t{v.get<bool>() ? 1 : 0});
    throw std::invalid_argument("value");
}

const std::set<std::string>& actions()
{
    static const std::set<std::string> ops = {"set",   "press", "click", "dblclick", "rclick", "select", "check",
                                              "key",   "menu",  "cursor", "zoom",    "close",  "activate",
                                              "move",  "size",  "answer"};
    return ops;
}

}  // namespace

bool is_action(const std::string& op) { return actions().count(op) != 0; }

bool apply_action(const json& a)
{
    try {
        std::string op = a.at("op").get<std::string>();
        int panel = num(a, "panel"), ctrl = num(a, "ctrl");
        if (op == "set") return vui::user::set_value(panel, ctrl, value_of(a.at("value")), flag(a, "commit", true));
        if (op == "press") return vui::user::press(panel, ctrl);
        if (op == "click") return vui::user::click(panel, ctrl, num(a, "x"), num(a, "y"), flag(a, "ctrl_key", false));
        if (op == "dblclick") return vui::user::double_click(panel, ctrl, num(a, "x"), num(a, "y"));
        if (op == "rclick") return vui::user::right_click(panel, ctrl, num(a, "x"), num(a, "y"), flag(a, "ctrl_key", false));
        if (op == "select") return vui::user::select_item(panel, ctrl, num(a, "index", -1), flag(a, "commit", false));
        if (op == "check") return vui::user::check_item(panel, ctrl, num(a, "index", -1), flag(a, "checked", true));
        if (op == "key") return vui::user::key(panel, num(a, "key"));
        if (op == "menu") return vui::user::pick_menu(num(a, "menubar"), num(a, "item"), flag(a, "ctrl_key", false));
        if (op == "cursor") return vui::user::move_cursor(panel, ctrl, num(a, "cursor", 1), real(a, "x"), real(a, "y"));
        if (op == "zoom")
            return vui::user::zoom(panel, ctrl, real(a, "xmin"), real(a, "xmax"), real(a, "ymin"), real(a, "ymax"));
        if (op == "close") return vui::user::close(panel);
        if (op == "activate") return vui::user::activate(panel);
        if (op == "move") return vui::user::move_panel(panel, num(a, "top"), num(a, "left"));
        if (op == "size") return vui::user::size_panel(panel, num(a, "height"), num(a, "width"));
        if (op == "answer") {
            vui::PopupAnswer answer;
            answer.button = num(a, "button", 1);
            answer.response = a.value("response", std::string());
            answer.cancelled = flag(a, "cancelled", false);
            return vui::answer_popup(num(a, "popup"), answer);
        }
    } catch (const std::exception&) {
        return false;
    }
    return false;
}

json list_directory(const std::string& dir, const vui::FilePopupLimits& limits, const std::vector<std::string>& roots)
{
    std::error_code ec;
    auto inside = [&](const fs::path& p) {
        for (const std::string& r : roots) {
            std::error_code rec;
            fs::path root = fs::canonical(r, rec);
            if (rec) continue;
            auto [a, b] = std::mismatch(root.begin(), root.end(), p.begin(), p.end());
            if (a == root.end()) return true;
        }
        return false;
    };
    fs::path folder = fs::canonical(limits.directory.empty() ? fs::current_path(ec) : fs::path(limits.directory), ec);
    fs::path real = limits.restrict_dir ? folder : fs::canonical(dir.empty() ? folder : fs::path(dir), ec);
    if (ec || !fs::is_directory(real, ec) || !inside(real)) return {{"dir", dir}, {"error", "This folder cannot be shown."}};
    auto wanted = [&](const std::string& name) {
        if (limits.extensions.empty()) return true;
        std::string n = name;
        for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (std::string e : limits.extensions) {
            for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (n.size() > e.size() && n.compare(n.size() - e.size(), e.size(), e) == 0) return true;
        }
        return false;
    };
    std::vector<std::pair<bool, std::string>> found;
    for (fs::directory_iterator it(real, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code kind_ec;
        bool is_dir = it->is_directory(kind_ec);
        if (is_dir && limits.restrict_dir) continue;
        if (!is_dir && (limits.dirs_only || !wanted(name))) continue;
        found.emplace_back(!is_dir, name);  // directories sort first
    }
    std::sort(found.begin(), found.end());
    json entries = json::array();
    for (const auto& [is_file, name] : found) entries.push_back({{"name", name}, {"dir", !is_file}});
    std::string parent;
    if (!limits.restrict_dir && real.has_parent_path() && real.parent_path() != real && inside(real.parent_path()))
        parent = real.parent_path().string();
    return {{"dir", real.string()}, {"parent", parent}, {"entries", entries}};
}

}  // namespace vweb
