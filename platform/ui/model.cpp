// Model storage, look-ups, attribute defaults and the guarded calls into callbacks.
#include "platform/ui/model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "platform/ui/ui_loop.h"
#include "platform/ui/notify.h"

namespace vui {

namespace {
std::function<void(const std::string&)>& fatal_handler()
{
    static std::function<void(const std::string&)> handler;
    return handler;
}
}  // namespace

Model& model()
{
    static Model m;
    return m;
}

void reset_model()
{
    Model& m = model();
    m = Model{};
    notify_reset();
}

bool Plot::visible() const
{
    auto it = attrs.find(ATTR_TRACE_VISIBLE);
    return it == attrs.end() || it->second.as_int() != 0;
}

Control* Panel::find(int id)
{
    for (auto& c : controls)
        if (c->id == id) return c.get();
    return nullptr;
}

int MenuBar::parent_of(int id) const
{
    for (const auto& [nid, node] : nodes) {
        if (!node.is_menu) continue;
        if (std::find(node.children.begin(), node.children.end(), id) != node.children.end()) return nid;
    }
    for (const auto& [nid, node] : nodes)
        if (!node.is_menu && node.submenu == id) return nid;
    return 0;
}

Panel* find_panel(int handle)
{
    auto& panels = model().panels;
    auto it = panels.find(handle);
    return it == panels.end() ? nullptr : it->second.get();
}

Control* find_ctrl(int panel, int ctrl)
{
    Panel* p = find_panel(panel);
    return p ? p->find(ctrl) : nullptr;
}

MenuBar* find_menubar(int handle)
{
    auto& bars = model().menubars;
    auto it = bars.find(handle);
    return it == bars.end() ? nullptr : it->second.get();
}

bool panel_shown(int handle)
{
    for (Panel* p = find_panel(handle); p; p = find_panel(p->parent)) {
        auto it = p->attrs.find(ATTR_VISIBLE);
        if (it == p->attrs.end() || it->second.as_int() == 0) return false;
        if (p->parent == 0) return true;
    }
    return false;
}

bool panel_within(int panel, int root)
{
    for (Panel* p = find_panel(panel); p; p = find_panel(p->parent))
        if (p->handle == root) return true;
    return false;
}

namespace {
// Whether the panel is an installed popup or holds one.
bool holds_popup(int handle)
{
    for (int popup : model().popup_stack)
        if (panel_within(popup, handle)) return true;
    return false;
}
}  // namespace

void raise_panel(int handle)
{
    // The panel comes in front within every window it lies in, or a window shown in a covered one stays hidden.
    // A panel that is no popup stays behind the siblings that hold one: a modal popup is never covered.
    for (Panel* p = find_panel(handle); p; p = find_panel(p->parent)) {
        Panel* parent = find_panel(p->parent);
        std::vector<int>& order = parent ? parent->children : model().top_level;
        order.erase(std::remove(order.begin(), order.end(), p->handle), order.end());
        auto at = order.begin();
        if (!holds_popup(p->handle))
            while (at != order.end() && holds_popup(*at)) ++at;
        order.insert(at, p->handle);
        notify_stacking(p->parent);
    }
}

int default_data_type(int style)
{
    switch (style) {
    case CTRL_STRING:
    case CTRL_TEXT_MSG:
    case CTRL_TEXT_BOX:
        return VAL_STRING;
    case CTRL_NUMERIC:
    case CTRL_SLIDE:
        return VAL_DOUBLE;
    default:
        return VAL_INTEGER;
    }
}

bool style_has_items(int style) { return style == CTRL_RING || style == CTRL_LIST_BOX; }
bool is_graph_style(int style) { return style == CTRL_GRAPH || style == CTRL_STRIP_CHART; }

std::optional<Value> attribute_default(int attr, bool panel, int style)
{
    auto i = [](std::int64_t v) { return std::optional<Value>(Value::of(v)); };
    auto t = [](const char* s) { return std::optional<Value>(Value::of(std::string(s))); };
    switch (attr) {
    case ATTR_DIMMED: return i(0);
    case ATTR_CONSTANT_NAME: return t("");
    case ATTR_CALLBACK_NAME: return t("");
    case ATTR_VISIBLE: return i(panel ? 0 : 1);
    case ATTR_LEFT: case ATTR_TOP: return i(panel ? VAL_AUTO_CENTER : 0);
    case ATTR_WIDTH: return i(panel ? 400 : (is_graph_style(style) ? 300 : 100));
    case ATTR_HEIGHT: return i(panel ? 300 : (is_graph_style(style) ? 200 : (style == CTRL_TEXT_BOX || style == CTRL_LIST_BOX ? 100 : 20)));
    case ATTR_SCROLL_BARS: return i(0);
    case ATTR_TEXT_POINT_SIZE: case ATTR_LABEL_POINT_SIZE: case ATTR_XYLABEL_POINT_SIZE: return i(12);
    case ATTR_TEXT_COLOR: return i(0x000000);
    case ATTR_CTRL_COLOR: return i(0xC0C0C0);
    case ATTR_CTRL_MODE: return i(0);
    case ATTR_TEXT_BOLD: return i(0);
    case ATTR_SHORTCUT_KEY: return i(0);
    case ATTR_IMAGE_FILE: return t("");
    case ATTR_LABEL_TEXT: return t("");
    case ATTR_ON_TEXT: case ATTR_OFF_TEXT: return panel ? std::nullopt : t("");
    case ATTR_SHOW_AS_COLOR: return panel ? std::nullopt : i(0);
    case ATTR_MAX_ENTRY_LENGTH: return i(0);
    case ATTR_VISIBLE_LINES: return i(5);
    default: break;
    }
    if (panel) {
        switch (attr) {
        case ATTR_TITLE: return t("");
        case ATTR_SIZABLE: case ATTR_MOVABLE: case ATTR_CAN_MAXIMIZE: case ATTR_CAN_MINIMIZE:
        case ATTR_CLOSE_ITEM_VISIBLE: case ATTR_HAS_TASKBAR_BUTTON: return i(1);
        case ATTR_CLOSE_CTRL: return i(0);
        case ATTR_FRAME_STYLE: return i(0);
        case ATTR_FRAME_THICKNESS: return i(2);
        case ATTR_TITLE_POINT_SIZE: return i(12);
        case ATTR_WINDOW_ZOOM: return i(0);
        case ATTR_PANEL_SCROLL_BARS: return i(0);
        case ATTR_MIN_HEIGHT_FOR_SIZE: case ATTR_MIN_WIDTH_FOR_SIZE: return i(0);
        default: return std::nullopt;
        }
    }
    switch (attr) {
    case ATTR_MIN_VALUE: case ATTR_MAX_VALUE:
        if (style == CTRL_NUMERIC || style == CTRL_SLIDE) return std::optional<Value>(Value::of(attr == ATTR_MIN_VALUE ? -1e300 : 1e300));
        return std::nullopt;
    case ATTR_CHECK_MODE: return style == CTRL_LIST_BOX ? i(0) : std::nullopt;
    case ATTR_INTERVAL: return style == CTRL_TIMER ? std::optional<Value>(Value::of(1.0)) : std::nullopt;
    case ATTR_ENABLED: return style == CTRL_TIMER ? i(1) : std::nullopt;
    case ATTR_ON_TEXT: case ATTR_OFF_TEXT: return style == CTRL_TOGGLE_BUTTON ? t("") : std::nullopt;
    default: break;
    }
    if (is_graph_style(style)) {
        switch (attr) {
        case ATTR_PLOT_BGCOLOR: return i(0x000000);
        case ATTR_GRID_COLOR: return i(0x808080);
        case ATTR_XGRID_VISIBLE: case ATTR_YGRID_VISIBLE: case ATTR_XLABEL_VISIBLE: case ATTR_YLABEL_VISIBLE: return i(1);
        case ATTR_XDIVISIONS: case ATTR_YDIVISIONS: return i(10);
        case ATTR_XPRECISION: case ATTR_YPRECISION: return i(1);
        case ATTR_REFRESH_GRAPH: return i(1);
        case ATTR_SMOOTH_UPDATE: return i(0);
        default: break;
        }
    }
    return std::nullopt;
}

void set_fatal_error_handler(std::function<void(const std::string&)> handler) { fatal_handler() = std::move(handler); }

void report_fatal(const std::string& message)
{
    if (fatal_handler()) {
        fatal_handler()(message);
        return;
    }
    std::fprintf(stderr, "Fatal error: %s\n", message.c_str());
    std::abort();
}

namespace {
template <typename F>
int guarded(const std::string& what, F&& f)
{
    try {
        return f();
    } catch (const std::exception& e) {
        report_fatal("exception in " + what + ": " + e.what());
    } catch (...) {
        report_fatal("unknown exception in " + what);
    }
    return 0;
}
}  // namespace

int call_ctrl_callback(int panel, int ctrl, int event, int data1, int data2)
{
    Control* c = find_ctrl(panel, ctrl);
    if (!c || !c->callback) return 0;
    // Copies: the callback may discard its own panel.
    CtrlCallbackPtr fn = c->callback;
    void* data = c->callback_data;
    std::string name = c->callback_name.empty() ? "control callback" : "callback " + c->callback_name;
    return guarded(name, [&] { return fn(panel, ctrl, event, data, data1, data2); });
}

int call_panel_callback(int panel, int event, int data1, int data2)
{
    Panel* p = find_panel(panel);
    if (!p || !p->callback) return 0;
    PanelCallbackPtr fn = p->callback;
    void* data = p->callback_data;
    std::string name = p->callback_name.empty() ? "panel callback" : "callback " + p->callback_name;
    return guarded(name, [&] { return fn(panel, event, data, data1, data2); });
}

void call_menu_callback(int menubar, int item)
{
    MenuBar* b = find_menubar(menubar);
    if (!b) return;
    auto it = b->nodes.find(item);
    if (it == b->nodes.end() || !it->second.callback) return;
    MenuCallbackPtr fn = it->second.callback;
    void* data = it->second.callback_data;
    int panel = b->panel;
    std::string name = it->second.callback_name.empty() ? "menu callback" : "callback " + it->second.callback_name;
    guarded(name, [&] {
        fn(menubar, item, data, panel);
        return 0;
    });
}

}  // namespace vui

const char* GetUILErrorString(int error)
{
    switch (error) {
    case UIE_NO_ERROR: return "No error.";
    case UIE_BAD_HANDLE: return "The panel or menu bar handle is invalid.";
    case UIE_BAD_CTRL: return "The control, menu or menu item id is invalid.";
    case UIE_BAD_ATTRIBUTE: return "The attribute is not valid for this object.";
    case UIE_BAD_TYPE: return "The value has the wrong type.";
    case UIE_FILE: return "The panel file cannot be read.";
    case UIE_NO_RESOURCE: return "The resource is not in the panel file.";
    case UIE_UNKNOWN_CALLBACK: return "A callback named in the panel file is not registered.";
    case UIE_BAD_INDEX: return "The index is out of range.";
    case UIE_NOT_ALLOWED: return "The operation is not valid for this control.";
    case UIE_TOO_LONG: return "The text does not fit the buffer.";
    case UIE_OUT_OF_RANGE: return "The value is out of range.";
    default: return "Unknown error.";
    }
}
