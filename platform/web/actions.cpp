// Page actions applied through vui::user, and directory listings for the file popups.
#include "platform/web/actions.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "platform/sys/dir_handle.h"
#include "platform/ui/screen_size.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/user_actions.h"
#include "platform/ui/userint.h"
#include "platform/web/access.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace vweb {

namespace {

// A number that fits an int: huge or infinite values are refused, never converted.
bool fits_int(const json& v)
{
    if (v.is_number_integer()) {
        if (v.is_number_unsigned()) return v.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT_MAX);
        auto i = v.get<std::int64_t>();
        return i >= INT_MIN && i <= INT_MAX;
    }
    if (!v.is_number_float()) return false;
    double d = v.get<double>();
    return std::isfinite(d) && d > static_cast<double>(INT_MIN) - 1.0 && d < static_cast<double>(INT_MAX) + 1.0;
}

bool finite_number(const json& v) { return v.is_number() && (!v.is_number_float() || std::isfinite(v.get<double>())); }

int num(const json& a, const char* key, int fallback = 0)
{
    auto it = a.find(key);
    if (it == a.end()) return fallback;
    if (!fits_int(*it)) throw std::invalid_argument(key);
    return it->is_number_float() ? static_cast<int>(it->get<double>()) : static_cast<int>(it->get<std::int64_t>());
}

double real(const json& a, const char* key)
{
    auto it = a.find(key);
    if (it == a.end() || !finite_number(*it)) throw std::invalid_argument(key);
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
    if (finite_number(v)) return vui::Value::of(v.get<double>());
    if (v.is_boolean()) return vui::Value::of(std::int64_t{v.get<bool>() ? 1 : 0});
    throw std::invalid_argument("value");
}

const std::set<std::string>& actions()
{
    static const std::set<std::string> ops = {"set",   "press", "click", "dblclick", "rclick", "select", "check",
                                              "key",   "menu",  "cursor", "zoom",    "close",  "activate",
                                              "move",  "size",  "answer", "screen"};
    return ops;
}

// The fields each message may carry; any other field is ignored.
enum class Kind { integer, real, flag, text, value };
struct Field {
    const char* name;
    Kind kind;
    bool required;
};

const std::map<std::string, std::vector<Field>>& message_fields()
{
    static const Field panel{"panel", Kind::integer, true}, ctrl{"ctrl", Kind::integer, true};
    static const Field x{"x", Kind::integer, false}, y{"y", Kind::integer, false};
    static const Field ctrl_key{"ctrl_key", Kind::flag, false}, commit{"commit", Kind::flag, false};
    // The page's viewport in panel coordinates, which windows are kept inside.
    static const Field view_width{"view_width", Kind::integer, false}, view_height{"view_height", Kind::integer, false};
    static const std::map<std::string, std::vector<Field>> fields = {
        {"set", {panel, ctrl, {"value", Kind::value, true}, commit}},
        {"press", {panel, ctrl}},
        {"click", {panel, ctrl, x, y, ctrl_key}},
        {"dblclick", {panel, ctrl, x, y}},
        {"rclick", {panel, ctrl, x, y, ctrl_key}},
        {"select", {panel, ctrl, {"index", Kind::integer, true}, commit}},
        {"check", {panel, ctrl, {"index", Kind::integer, true}, {"checked", Kind::flag, false}}},
        {"key", {panel, {"key", Kind::integer, true}}},
        {"menu", {{"menubar", Kind::integer, true}, {"item", Kind::integer, true}, ctrl_key}},
        {"cursor",
         {panel, ctrl, {"cursor", Kind::integer, false}, {"x", Kind::real, true}, {"y", Kind::real, true}, commit}},
        {"zoom",
         {panel, ctrl, {"xmin", Kind::real, true}, {"xmax", Kind::real, true}, {"ymin", Kind::real, true},
          {"ymax", Kind::real, true}}},
        {"close", {panel}},
        {"screen", {{"width", Kind::integer, true}, {"height", Kind::integer, true}}},
        {"activate", {panel}},
        {"move", {panel, {"top", Kind::integer, true}, {"left", Kind::integer, true}, view_width, view_height}},
        {"size", {panel, {"height", Kind::integer, true}, {"width", Kind::integer, true}, view_width, view_height}},
        {"answer",
         {{"popup", Kind::integer, true}, {"button", Kind::integer, false}, {"response", Kind::text, false},
          {"cancelled", Kind::flag, false}}},
        {"list_dir", {{"dir", Kind::text, false}, {"popup", Kind::integer, false}, {"req", Kind::integer, false}}},
        // The page drew the strip data it was sent and takes the next frame.
        {"frame", {}},
        {"make_dir",
         {{"dir", Kind::text, false}, {"name", Kind::text, true}, {"popup", Kind::integer, true},
          {"req", Kind::integer, false}}},
        {"ping", {}},
        // Rows of a long list the page shows (see vui::list_rows).
        {"rows", {panel, ctrl, {"from", Kind::integer, true}, {"to", Kind::integer, true}}},
    };
    return fields;
}

bool of_kind(const json& v, Kind kind)
{
    switch (kind) {
    case Kind::integer: return fits_int(v);
    case Kind::real: return finite_number(v);
    case Kind::flag: return v.is_boolean() || finite_number(v);
    case Kind::text: return v.is_string();
    case Kind::value: return v.is_string() || v.is_boolean() || finite_number(v);
    }
    return false;
}

// How deeply the text nests and how many values it holds, counted before parsing so that no deep or
// sprawling value is ever built: every value but the first opens a container or follows a comma.
struct Shape {
    int depth = 0;
    std::size_t values = 1;
};

Shape shape_of(std::string_view text)
{
    Shape shape;
    int depth = 0;
    bool in_string = false, escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            shape.depth = std::max(shape.depth, ++depth);
            ++shape.values;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ',') {
            ++shape.values;
        }
    }
    return shape;
}

// The area a panel is moved and sized within: its parent panel, or for a window
// of its own the page's viewport (bounded, and a usual screen when not given).
struct Area {
    int width, height;
};

Area area_of(const json& a, int panel)
{
    constexpr int kMinView = 200, kMaxView = 8192;
    int parent = 0;
    GetPanelAttribute(panel, ATTR_PANEL_PARENT, &parent);
    if (parent > 0) {
        Area area{0, 0};
        GetPanelAttribute(parent, ATTR_WIDTH, &area.width);
        GetPanelAttribute(parent, ATTR_HEIGHT, &area.height);
        return area;
    }
    return {std::clamp(num(a, "view_width", 1920), kMinView, kMaxView), std::clamp(num(a, "view_height", 1080), kMinView, kMaxView)};
}

// A window keeps its title bar reachable: a corner inside the area, with room to grab it.
bool move_within_view(const json& a, int panel)
{
    constexpr int kGrip = 40, kTitle = 20;
    Area area = area_of(a, panel);
    int top = std::clamp(num(a, "top"), 0, std::max(0, area.height - kTitle));
    int left = std::clamp(num(a, "left"), 0, std::max(0, area.width - kGrip));
    return vui::user::move_panel(panel, top, left);
}

bool size_within_view(const json& a, int panel)
{
    constexpr int kMinWidth = 50, kMinHeight = 30;
    Area area = area_of(a, panel);
    int height = std::clamp(num(a, "height"), kMinHeight, std::max(kMinHeight, area.height));
    int width = std::clamp(num(a, "width"), kMinWidth, std::max(kMinWidth, area.width));
    return vui::user::size_panel(panel, height, width);
}

}  // namespace

bool is_action(const std::string& op) { return actions().count(op) != 0; }

std::optional<json> read_message(std::string_view text, std::string& error)
{
    if (text.size() > kMaxMessageBytes) {
        error = "The message is too long.";
        return std::nullopt;
    }
    const Shape shape = shape_of(text);
    if (shape.depth > kMaxMessageDepth) {
        error = "The message nests too deeply.";
        return std::nullopt;
    }
    if (shape.values > kMaxMessageValues) {
        error = "The message holds too many values.";
        return std::nullopt;
    }
    json m = json::parse(text.begin(), text.end(), nullptr, false);
    if (m.is_discarded() || !m.is_object()) {
        error = "The message is not a JSON object.";
        return std::nullopt;
    }
    auto op = m.find("op");
    if (op == m.end() || !op->is_string()) {
        error = "The message has no op.";
        return std::nullopt;
    }
    auto fields = message_fields().find(op->get<std::string>());
    if (fields == message_fields().end()) {
        error = "Unknown op.";
        return std::nullopt;
    }
    // Only the fields the message may carry are kept: what waits for the UI thread is no larger than its text.
    json kept = {{"op", *op}};
    for (const Field& f : fields->second) {
        auto it = m.find(f.name);
        if (it == m.end() ? f.required : !of_kind(*it, f.kind)) {
            error = fields->first + ": field \"" + f.name + "\" is missing or of the wrong type.";
            return std::nullopt;
        }
        if (it != m.end()) kept[f.name] = std::move(*it);
    }
    return kept;
}

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
        if (op == "cursor") return vui::user::move_cursor(panel, ctrl, num(a, "cursor", 1), real(a, "x"), real(a, "y"),
                                                             flag(a, "commit", true));
        if (op == "zoom")
            return vui::user::zoom(panel, ctrl, real(a, "xmin"), real(a, "xmax"), real(a, "ymin"), real(a, "ymax"));
        if (op == "close") return vui::user::close(panel);
        if (op == "activate") return vui::user::activate(panel);
        if (op == "move") return move_within_view(a, panel);
        if (op == "size") return size_within_view(a, panel);
        if (op == "screen") return vui::user::set_screen(num(a, "width"), num(a, "height"));
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

json make_directory(const std::string& dir, const std::string& name, const vui::FilePopupLimits& limits,
                    const std::vector<std::string>& roots)
{
    if (!limits.allow_make_dir || limits.restrict_dir) return {{"dir", dir}, {"error", "No new folder can be made here."}};
    // One visible path component of printable characters: nothing that climbs, nests or hides.
    const bool plain = !name.empty() && name.size() <= 255 && name[0] != '.' && name.front() != ' ' &&
                       name.back() != ' ' &&
                       std::none_of(name.begin(), name.end(), [](char c) {
                           return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
                       });
    if (!plain) return {{"dir", dir}, {"error", "Enter a folder name without /, \\ or a leading dot."}};
    // Only inside a folder this popup may list.
    const json parent = list_directory(dir, limits, roots);
    if (parent.contains("error")) return parent;
    const fs::path made = fs::path(parent["dir"].get<std::string>()) / name;
    // Made through the folder as it was checked: a link swapped in for it meanwhile leads nowhere.
    const vsys::DirHandle in(open_checked_directory(parent["dir"].get<std::string>(), roots));
    struct stat st {};
    if (in && ::fstatat(in.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return {{"dir", dir}, {"error", "\"" + name + "\" exists already."}};
    if (!in || ::mkdirat(in.fd(), name.c_str(), 0777) != 0)
        return {{"dir", dir}, {"error", "The folder could not be made: " + std::string(std::strerror(errno)) + "."}};
    json listing = list_directory(made.string(), limits, roots);
    listing["made"] = made.string();
    return listing;
}

}  // namespace vweb
