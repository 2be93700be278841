// Panel resource files (our JSON format, see panels/FORMAT.md): loading panels and menu bars, binding callbacks by name.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>
#include <type_traits>

#include "platform/sys/files.h"
#include "platform/ui/model.h"
#include "platform/ui/notify.h"
#include "platform/ui/ui_loop.h"

using nlohmann::json;

namespace vui {

namespace {

std::map<std::string, RegisteredCallback>& registry()
{
    static std::map<std::string, RegisteredCallback> r;
    return r;
}

std::string& last_error()
{
    static std::string e;
    return e;
}

struct LoadError : std::runtime_error {
    int code;
    LoadError(int c, const std::string& what) : std::runtime_error(what), code(c) {}
};

const std::map<std::string, int>& kinds()
{
    static const std::map<std::string, int> k = {
        {"numeric", CTRL_NUMERIC},        {"slide", CTRL_SLIDE},
        {"string", CTRL_STRING},          {"ring", CTRL_RING},
        {"text_message", CTRL_TEXT_MSG},  {"text_box", CTRL_TEXT_BOX},
        {"command_button", CTRL_COMMAND_BUTTON}, {"toggle_button", CTRL_TOGGLE_BUTTON},
        {"binary_switch", CTRL_BINARY_SWITCH},   {"check_box", CTRL_CHECK_BOX},
        {"led", CTRL_LED},                {"picture_button", CTRL_PICTURE_BUTTON},
        {"list_box", CTRL_LIST_BOX},      {"graph", CTRL_GRAPH},
        {"strip_chart", CTRL_STRIP_CHART}, {"timer", CTRL_TIMER},
        {"decoration", CTRL_DECORATION},  {"picture", CTRL_PICTURE},
    };
    return k;
}

const std::map<std::string, int>& data_types()
{
    static const std::map<std::string, int> t = {
        {"char", VAL_CHAR},       {"short", VAL_SHORT_INTEGER},         {"int", VAL_INTEGER},
        {"float", VAL_FLOAT},     {"double", VAL_DOUBLE},               {"string", VAL_STRING},
        {"unsigned short", VAL_UNSIGNED_SHORT_INTEGER}, {"unsigned", VAL_UNSIGNED_INTEGER},
        {"unsigned char", VAL_UNSIGNED_CHAR},
    };
    return t;
}

// Where a resource file is: as given when it names a directory, else the program
// directory and then its panels/ folder, matching the name without regard to case.
std::string locate(const std::string& file)
{
    if (file.find('/') != std::string::npos) return vsys::file_exists(file) ? file : std::string();
    std::string dir = vsys::project_dir();
    if (auto f = vsys::find_file_nocase(dir, file)) return *f;
    if (auto f = vsys::find_file_nocase(vsys::path_join(dir, "panels"), file)) return *f;
    return {};
}

json read_json(const std::string& path)
{
    std::ifstream in(path);
    if (!in) throw LoadError(UIE_FILE, "cannot open panel file \"" + path + "\"");
    try {
        return json::parse(in);
    } catch (const json::exception& e) {
        throw LoadError(UIE_FILE, "panel file \"" + path + "\" is not valid: " + e.what());
    }
}

Value to_value(const json& j, const std::string& where)
{
    if (j.is_number_integer()) return Value::of(j.get<std::int64_t>());
    if (j.is_number()) return Value::of(j.get<double>());
    if (j.is_string()) return Value::of(j.get<std::string>());
    if (j.is_boolean()) return Value::of(std::int64_t{j.get<bool>()});
    throw LoadError(UIE_BAD_TYPE, where + ": a value must be a number or a text");
}

void only_keys(const json& j, std::initializer_list<const char*> allowed, const std::string& where)
{
    if (!j.is_object()) throw LoadError(UIE_FILE, where + ": expected an object");
    std::set<std::string> ok(allowed.begin(), allowed.end());
    for (auto it = j.begin(); it != j.end(); ++it)
        if (!ok.count(it.key())) throw LoadError(UIE_FILE, where + ": unknown field \"" + it.key() + "\"");
}

// An integer field holds a number that fits its type: nothing is cast out of range.
template <typename T>
bool fits(const json& v)
{
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        if (v.is_number_unsigned()) return v.get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<T>::max());
        if (v.is_number_integer()) {
            auto i = v.get<std::int64_t>();
            return i >= static_cast<std::int64_t>(std::numeric_limits<T>::min()) &&
                   (i < 0 || static_cast<std::uint64_t>(i) <= static_cast<std::uint64_t>(std::numeric_limits<T>::max()));
        }
        if (v.is_number_float()) {
            double d = v.get<double>();
            return std::isfinite(d) && d > static_cast<double>(std::numeric_limits<T>::min()) - 1.0 &&
                   d < static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
        }
    }
    return true;
}

template <typename T>
T field(const json& j, const char* key, T fallback, const std::string& where)
{
    if (!j.is_object() || !j.contains(key)) return fallback;
    try {
        if (!fits<T>(j.at(key))) throw LoadError(UIE_BAD_TYPE, where + ": field \"" + key + "\" is out of range");
        return j.at(key).get<T>();
    } catch (const json::exception&) {
        throw LoadError(UIE_BAD_TYPE, where + ": field \"" + key + "\" has the wrong type");
    }
}

// Looks a callback up and checks its kind: 0 control, 1 panel, 2 menu.
const RegisteredCallback& bound(const std::string& name, std::size_t kind, const std::string& where)
{
    const RegisteredCallback* cb = find_callback(name);
    if (!cb)
        throw LoadError(UIE_UNKNOWN_CALLBACK, where + " names callback \"" + name + "\", which is not registered");
    if (cb->index() != kind) {
        static const char* names[] = {"control", "panel", "menu"};
        throw LoadError(UIE_UNKNOWN_CALLBACK, where + " names callback \"" + name + "\", which is not a " +
                                                  names[kind] + " callback");
    }
    return *cb;
}

const json* find_resource(const json& doc, const char* section, int resource, const std::string& path)
{
    if (!doc.is_object()) throw LoadError(UIE_FILE, "panel file \"" + path + "\" must hold an object");
    if (!doc.contains(section)) return nullptr;
    for (const auto& r : doc.at(section))
        if (r.is_object() && field<int>(r, "resource", -1, path) == resource) return &r;
    return nullptr;
}

void check_attributes(const json& j, const std::string& where)
{
    if (!j.is_object()) throw LoadError(UIE_FILE, where + ": \"attributes\" must be an object");
    for (auto it = j.begin(); it != j.end(); ++it) {
        try {
            std::size_t used = 0;
            std::stoi(it.key(), &used);
            if (used != it.key().size()) throw std::invalid_argument("");
        } catch (const std::exception&) {
            throw LoadError(UIE_BAD_ATTRIBUTE, where + ": attribute \"" + it.key() + "\" is not a number");
        }
        to_value(it.value(), where);
    }
}

// --- panels -------------------------------------------------------------------------

// The items of a list or ring: each value takes the control's data type, as InsertListItem gives them.
std::vector<ListItem> read_items(const json& c, int data_type, const std::string& cw)
{
    std::vector<ListItem> items;
    for (const auto& it : c.value("items", json::array())) {
        only_keys(it, {"label", "value", "checked"}, cw + " item");
        ListItem li;
        li.label = field<std::string>(it, "label", "", cw);
        if (it.contains("value"))
            li.value = to_value(it.at("value"), cw);
        else  // without a value: the label for text lists, else the position
            li.value = data_type == VAL_STRING ? Value::of(li.label) : Value::of(static_cast<std::int64_t>(items.size()));
        li.checked = field<bool>(it, "checked", false, cw);
        if ((data_type == VAL_STRING) != (li.value.kind == Value::Text))
            throw LoadError(UIE_BAD_TYPE, cw + ": item value does not suit the data type");
        if (li.value.is_number())
            li.value = (data_type == VAL_DOUBLE || data_type == VAL_FLOAT) ? Value::of(li.value.as_double()) : Value::of(li.value.as_int());
        items.push_back(std::move(li));
    }
    return items;
}

// The optional fields of a control that only set its attributes and graph sizes.
void apply_control_fields(Control* ctrl, const json& c, const std::string& cw)
{
    ctrl->attrs[ATTR_CONSTANT_NAME] = Value::of(field<std::string>(c, "constant", "", cw));
    ctrl->attrs[ATTR_LABEL_TEXT] = Value::of(field<std::string>(c, "label", "", cw));
    for (auto [key, attr] : {std::pair{"left", ATTR_LEFT}, {"top", ATTR_TOP}, {"width", ATTR_WIDTH}, {"height", ATTR_HEIGHT}})
        if (c.contains(key)) ctrl->attrs[attr] = Value::of(std::int64_t{field<int>(c, key, 0, cw)});
    if (c.contains("min")) ctrl->attrs[ATTR_MIN_VALUE] = Value::of(field<double>(c, "min", 0, cw));
    if (c.contains("max")) ctrl->attrs[ATTR_MAX_VALUE] = Value::of(field<double>(c, "max", 0, cw));
    if (c.contains("check_mode")) ctrl->attrs[ATTR_CHECK_MODE] = Value::of(std::int64_t{field<bool>(c, "check_mode", false, cw)});
    if (c.contains("interval")) ctrl->attrs[ATTR_INTERVAL] = Value::of(field<double>(c, "interval", 1.0, cw));
    if (c.contains("enabled")) ctrl->attrs[ATTR_ENABLED] = Value::of(std::int64_t{field<bool>(c, "enabled", true, cw)});
    if (c.contains("attributes"))
        for (auto it = c.at("attributes").begin(); it != c.at("attributes").end(); ++it)
            ctrl->attrs[std::stoi(it.key())] = to_value(it.value(), cw);
    if (ctrl->graph) {
        if (c.contains("traces")) ctrl->graph->traces.resize(static_cast<std::size_t>(std::clamp(field<int>(c, "traces", 1, cw), 1, 64)));
        if (c.contains("points_per_screen")) ctrl->graph->points_per_screen = std::clamp(field<int>(c, "points_per_screen", 100, cw), 2, 10000);
    }
}

// One control: everything is checked first; it is created only on a real panel (not 0, the check pass).
void build_control(const json& c, const std::string& where, int panel, std::set<int>& ids)
{
    std::string cw = where + " control " + (c.contains("id") ? c.at("id").dump() : std::string("?"));
    only_keys(c, {"id", "constant", "kind", "label", "left", "top", "width", "height", "data_type", "value",
                  "min", "max", "items", "callback", "interval", "enabled", "traces", "points_per_screen",
                  "check_mode", "attributes"}, cw);
    int id = field<int>(c, "id", 0, cw);
    if (id <= 0 || !ids.insert(id).second) throw LoadError(UIE_BAD_CTRL, cw + ": id missing, not above 0 or repeated");
    std::string kind = field<std::string>(c, "kind", "", cw);
    auto k = kinds().find(kind);
    if (k == kinds().end()) throw LoadError(UIE_FILE, cw + ": unknown kind \"" + kind + "\"");
    int data_type = default_data_type(k->second);
    if (c.contains("data_type")) {
        auto t = data_types().find(field<std::string>(c, "data_type", "", cw));
        if (t == data_types().end()) throw LoadError(UIE_FILE, cw + ": unknown data_type");
        data_type = t->second;
    }
    const CtrlCallbackPtr* callback = nullptr;
    std::string cb_name;
    if (c.contains("callback")) {
        cb_name = field<std::string>(c, "callback", "", cw);
        callback = &std::get<CtrlCallbackPtr>(bound(cb_name, 0, cw));
    }
    if (c.contains("attributes")) check_attributes(c.at("attributes"), cw);
    std::vector<ListItem> items = read_items(c, data_type, cw);
    if (!items.empty() && !style_has_items(k->second)) throw LoadError(UIE_NOT_ALLOWED, cw + ": only lists and rings have items");
    if (panel == 0) {
        // Every typed field is read as it would be applied, so that nothing fails half-built.
        Control scratch;
        apply_control_fields(&scratch, c, cw);
        (void)field<int>(c, "traces", 1, cw);
        (void)field<int>(c, "points_per_screen", 100, cw);
        if (c.contains("value")) to_value(c.at("value"), cw);
        return;
    }
    Control* ctrl = create_ctrl(panel, id, k->second);
    ctrl->data_type = data_type;
    ctrl->value = data_type == VAL_STRING ? Value::of(std::string()) : (data_type == VAL_DOUBLE || data_type == VAL_FLOAT) ? Value::of(0.0) : Value::of(std::int64_t{0});
    apply_control_fields(ctrl, c, cw);
    ctrl->items = std::move(items);
    if (!ctrl->items.empty()) ctrl->index = 0;
    if (c.contains("value")) {
        if (detail::set_ctrl_val(panel, id, to_value(c.at("value"), cw)) < 0)
            throw LoadError(UIE_BAD_TYPE, cw + ": initial value does not suit the control");
    }
    if (callback) {
        ctrl->callback = *callback;
        ctrl->callback_name = cb_name;
    }
    if (ctrl->style == CTRL_TIMER) schedule_timer(*ctrl);
}

// Builds (or, with panel 0, only checks) one panel resource.
void build_panel(const json& r, const std::string& where, int panel)
{
    only_keys(r, {"resource", "constant", "names", "title", "left", "top", "width", "height", "callback", "attributes", "controls"},
              where);
    (void)field<std::string>(r, "names", "", where);  // only the build's header reads it
    Panel* p = panel ? find_panel(panel) : nullptr;
    auto set = [&](int attr, Value v) {
        if (p) p->attrs[attr] = std::move(v);
    };
    set(ATTR_CONSTANT_NAME, Value::of(field<std::string>(r, "constant", "", where)));
    set(ATTR_TITLE, Value::of(field<std::string>(r, "title", "", where)));
    set(ATTR_LEFT, Value::of(std::int64_t{field<int>(r, "left", VAL_AUTO_CENTER, where)}));
    set(ATTR_TOP, Value::of(std::int64_t{field<int>(r, "top", VAL_AUTO_CENTER, where)}));
    set(ATTR_WIDTH, Value::of(std::int64_t{field<int>(r, "width", 400, where)}));
    set(ATTR_HEIGHT, Value::of(std::int64_t{field<int>(r, "height", 300, where)}));
    if (r.contains("callback")) {
        std::string name = field<std::string>(r, "callback", "", where);
        const auto& cb = bound(name, 1, where);
        if (p) {
            p->callback = std::get<PanelCallbackPtr>(cb);
            p->callback_name = name;
        }
    }
    if (r.contains("attributes")) {
        check_attributes(r.at("attributes"), where);
        for (auto it = r.at("attributes").begin(); p && it != r.at("attributes").end(); ++it)
            p->attrs[std::stoi(it.key())] = to_value(it.value(), where);
    }
    std::set<int> ids;
    for (const auto& c : r.value("controls", json::array())) build_control(c, where, p ? panel : 0, ids);
}

// --- menu bars ------------------------------------------------------------------------

void build_items(MenuBar* bar, int menu_id, const json& items, const std::string& where, std::set<int>& ids);

int take_id(const json& j, const std::string& where, std::set<int>& ids)
{
    int id = field<int>(j, "id", 0, where);
    if (id <= 0 || !ids.insert(id).second) throw LoadError(UIE_BAD_CTRL, where + ": id missing, not above 0 or repeated");
    return id;
}

void build_items(MenuBar* bar, int menu_id, const json& items, const std::string& where, std::set<int>& ids)
{
    for (const auto& it : items) {
        std::string iw = where + " item " + (it.contains("id") ? it.at("id").dump() : std::string("?"));
        only_keys(it, {"id", "constant", "name", "shortcut", "callback", "checked", "dimmed", "submenu"}, iw);
        int id = take_id(it, iw, ids);
        (void)field<std::string>(it, "constant", "", iw);  // only the build's header reads it
        MenuNode n;
        n.id = id;
        n.name = field<std::string>(it, "name", "", iw);
        n.shortcut = field<int>(it, "shortcut", 0, iw);
        n.checked = field<bool>(it, "checked", false, iw);
        n.dimmed = field<bool>(it, "dimmed", false, iw);
        if (it.contains("callback")) {
            n.callback_name = field<std::string>(it, "callback", "", iw);
            n.callback = std::get<MenuCallbackPtr>(bound(n.callback_name, 2, iw));
        }
        int sub = 0;
        if (it.contains("submenu")) {
            const json& s = it.at("submenu");
            only_keys(s, {"id", "items"}, iw + " submenu");
            sub = take_id(s, iw + " submenu", ids);
            n.submenu = sub;
        }
        if (bar) {
            bar->nodes[id] = n;
            bar->nodes[menu_id].children.push_back(id);
        }
        if (sub) {
            if (bar) {
                MenuNode m;
                m.id = sub;
                m.is_menu = true;
                m.name = n.name;
                bar->nodes[sub] = m;
            }
            build_items(bar, sub, it.at("submenu").value("items", json::array()), iw + " submenu", ids);
        }
    }
}

void build_menubar(const json& r, const std::string& where, MenuBar* bar)
{
    only_keys(r, {"resource", "constant", "menus"}, where);
    (void)field<std::string>(r, "constant", "", where);
    std::set<int> ids;
    for (const auto& m : r.value("menus", json::array())) {
        std::string mw = where + " menu " + (m.contains("id") ? m.at("id").dump() : std::string("?"));
        only_keys(m, {"id", "constant", "name", "dimmed", "items"}, mw);
        int id = take_id(m, mw, ids);
        (void)field<std::string>(m, "constant", "", mw);
        if (bar) {
            MenuNode n;
            n.id = id;
            n.is_menu = true;
            n.name = field<std::string>(m, "name", "", mw);
            n.dimmed = field<bool>(m, "dimmed", false, mw);
            bar->nodes[id] = n;
            bar->menus.push_back(id);
        }
        build_items(bar, id, m.value("items", json::array()), mw, ids);
    }
    if (bar) bar->next_id = ids.empty() ? 1 : *ids.rbegin() + 1;
}

constexpr std::size_t kKeptLoadErrors = 20;

std::vector<std::string>& failed_loads()
{
    static std::vector<std::string> kept;
    return kept;
}

std::function<void(const std::string&)>& load_error_listener()
{
    static std::function<void(const std::string&)> listener;
    return listener;
}

int fail(const LoadError& e)
{
    last_error() = e.what();
    std::fprintf(stderr, "%s\n", e.what());
    auto& kept = failed_loads();
    if (kept.size() == kKeptLoadErrors) kept.erase(kept.begin());
    kept.push_back(e.what());
    if (load_error_listener()) load_error_listener()(e.what());
    return e.code;
}

}  // namespace

void register_callbacks(const std::vector<CallbackEntry>& entries)
{
    for (const auto& e : entries) registry()[e.name] = e.function;
}

const RegisteredCallback* find_callback(const std::string& name)
{
    auto it = registry().find(name);
    return it == registry().end() ? nullptr : &it->second;
}

void clear_callback_registry() { registry().clear(); }

std::string last_load_error() { return last_error(); }

std::vector<std::string> load_errors() { return failed_loads(); }

void set_load_error_listener(std::function<void(const std::string&)> listener)
{
    load_error_listener() = std::move(listener);
}

void forget_load_errors() { failed_loads().clear(); }

vsys::Result check_panel_file(const std::string& path)
{
    try {
        json doc = read_json(path);
        only_keys(doc, {"panels", "menubars"}, path);
        std::set<int> seen;
        for (const auto& r : doc.value("panels", json::array())) {
            int res = field<int>(r, "resource", 0, path);
            if (!seen.insert(res).second) throw LoadError(UIE_FILE, path + ": panel resource repeated");
            build_panel(r, path + " panel " + std::to_string(res), 0);
        }
        seen.clear();
        for (const auto& r : doc.value("menubars", json::array())) {
            int res = field<int>(r, "resource", 0, path);
            if (!seen.insert(res).second) throw LoadError(UIE_FILE, path + ": menu bar resource repeated");
            build_menubar(r, path + " menu bar " + std::to_string(res), nullptr);
        }
    } catch (const LoadError& e) {
        return vsys::Result::failure(e.what());
    } catch (const std::exception& e) {
        return vsys::Result::failure(path + " is not a valid panel file: " + e.what());
    }
    return vsys::Result::success();
}

std::vector<std::string> check_panel_folder(const std::string& directory)
{
    std::vector<std::string> faults;
    std::error_code ec;
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        std::string name = entry.path().filename().string();
        std::string lower = name;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (entry.is_regular_file() && lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".uir") == 0)
            files.push_back(entry.path().string());
    }
    if (ec) faults.push_back("cannot list panel folder \"" + directory + "\": " + ec.message());
    std::sort(files.begin(), files.end());
    for (const auto& f : files)
        if (auto r = check_panel_file(f); !r) faults.push_back(r.error);
    return faults;
}

}  // namespace vui

using namespace vui;

int LoadPanel(int parent, const char* file, int resource)
{
    std::string name = file ? file : "";
    try {
        if (parent != 0 && !find_panel(parent)) throw LoadError(UIE_BAD_HANDLE, "LoadPanel: no parent panel " + std::to_string(parent));
        std::string path = locate(name);
        if (path.empty()) throw LoadError(UIE_FILE, "panel file \"" + name + "\" not found in the program directory");
        json doc = read_json(path);
        const json* r = find_resource(doc, "panels", resource, path);
        if (!r) throw LoadError(UIE_NO_RESOURCE, "panel file \"" + name + "\" has no panel " + std::to_string(resource));
        std::string where = name + " panel " + std::to_string(resource);
        build_panel(*r, where, 0);  // check everything before creating anything
        int h = create_panel(parent);
        Panel* p = find_panel(h);
        p->file = name;
        p->resource = resource;
        build_panel(*r, where, h);
        int l = static_cast<int>(p->attrs[ATTR_LEFT].as_int()), t = static_cast<int>(p->attrs[ATTR_TOP].as_int());
        if (l == VAL_AUTO_CENTER || t == VAL_AUTO_CENTER) detail::set_panel_attr(h, ATTR_LEFT, Value::of(std::int64_t{l}));
        notify_panel(h);
        for (auto& c : p->controls) notify_ctrl(h, c->id);
        return h;
    } catch (const LoadError& e) {
        return fail(e);
    } catch (const std::exception& e) {
        // A damaged file noticed deeper in the reader is a load error too, never the program's end.
        return fail(LoadError(UIE_FILE, "panel file \"" + name + "\" is not valid: " + e.what()));
    }
}

int LoadMenuBar(int panel, const char* file, int resource)
{
    std::string name = file ? file : "";
    try {
        if (panel != 0 && !find_panel(panel)) throw LoadError(UIE_BAD_HANDLE, "LoadMenuBar: no panel " + std::to_string(panel));
        std::string path = locate(name);
        if (path.empty()) throw LoadError(UIE_FILE, "panel file \"" + name + "\" not found in the program directory");
        json doc = read_json(path);
        const json* r = find_resource(doc, "menubars", resource, path);
        if (!r) throw LoadError(UIE_NO_RESOURCE, "panel file \"" + name + "\" has no menu bar " + std::to_string(resource));
        std::string where = name + " menu bar " + std::to_string(resource);
        build_menubar(*r, where, nullptr);
        int h = NewMenuBar(panel);
        build_menubar(*r, where, find_menubar(h));
        notify_menubar(h);
        return h;
    } catch (const LoadError& e) {
        return fail(e);
    } catch (const std::exception& e) {
        // A damaged file noticed deeper in the reader is a load error too, never the program's end.
        return fail(LoadError(UIE_FILE, "panel file \"" + name + "\" is not valid: " + e.what()));
    }
}
