// Panels and controls: creation, display, stacking, attributes and values.
#include <algorithm>
#include <cmath>

#include "platform/sys/clock.h"
#include "platform/ui/model.h"
#include "platform/ui/notify.h"
#include "platform/ui/ui_loop.h"

namespace vui {

namespace {

int attr_int(const std::map<int, Value>& attrs, int attr, int fallback)
{
    auto it = attrs.find(attr);
    return it == attrs.end() ? fallback : static_cast<int>(it->second.as_int());
}

// Size of the area a panel sits in: its parent's client area, or the screen.
void container_size(const Panel& p, int& width, int& height)
{
    if (Panel* parent = find_panel(p.parent)) {
        width = attr_int(parent->attrs, ATTR_WIDTH, 400);
        height = attr_int(parent->attrs, ATTR_HEIGHT, 300);
    } else {
        width = model().screen_width;
        height = model().screen_height;
    }
}

void centre(Panel& p)
{
    int cw = 0, ch = 0;
    container_size(p, cw, ch);
    // A window larger than its area starts at the area's edge: its title bar stays within reach.
    if (attr_int(p.attrs, ATTR_LEFT, 0) == VAL_AUTO_CENTER)
        p.attrs[ATTR_LEFT] = Value::of(std::int64_t{std::max(0, (cw - attr_int(p.attrs, ATTR_WIDTH, 400)) / 2)});
    if (attr_int(p.attrs, ATTR_TOP, 0) == VAL_AUTO_CENTER)
        p.attrs[ATTR_TOP] = Value::of(std::int64_t{std::max(0, (ch - attr_int(p.attrs, ATTR_HEIGHT, 300)) / 2)});
}

bool is_read_only(int attr)
{
    return attr == ATTR_CONSTANT_NAME || attr == ATTR_CALLBACK_NAME || attr == ATTR_PANEL_PARENT ||
           attr == ATTR_DATA_TYPE || attr == ATTR_CTRL_STYLE || attr == ATTR_PANEL_FIRST_CTRL ||
           attr == ATTR_NEXT_CTRL;
}

bool text_attribute(int attr)
{
    return attr == ATTR_TITLE || attr == ATTR_LABEL_TEXT || attr == ATTR_CONSTANT_NAME ||
           attr == ATTR_CALLBACK_NAME || attr == ATTR_IMAGE_FILE || attr == ATTR_ITEM_NAME ||
           attr == ATTR_ON_TEXT || attr == ATTR_OFF_TEXT;
}

bool double_attribute(int attr) { return attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE || attr == ATTR_INTERVAL; }

// Converts a value to the attribute's own type; false when text meets number.
bool coerce_attr(int attr, const Value& in, Value& out)
{
    if (text_attribute(attr)) {
        if (in.kind != Value::Text) return false;
        out = in;
        return true;
    }
    if (!in.is_number()) return false;
    out = double_attribute(attr) ? Value::of(in.as_double()) : Value::of(in.as_int());
    return true;
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    std::size_t start = 0;
    while (true) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            if (start < text.size()) lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

}  // namespace

std::vector<std::string> text_box_lines(const Control& c) { return split_lines(c.value.s); }

int create_panel(int parent)
{
    Model& m = model();
    if (parent != 0 && !find_panel(parent)) return UIE_BAD_HANDLE;
    auto p = std::make_unique<Panel>();
    p->handle = m.next_panel++;
    p->parent = parent;
    int h = p->handle;
    m.panels[h] = std::move(p);
    if (Panel* par = find_panel(parent))
        par->children.push_back(h);
    else
        m.top_level.push_back(h);
    return h;
}

void schedule_timer(Control& c)
{
    auto it = c.attrs.find(ATTR_INTERVAL);
    double interval = it == c.attrs.end() ? 1.0 : it->second.as_double();
    c.next_due = vsys::clock_seconds() + interval;
}

Control* create_ctrl(int panel, int id, int style)
{
    Panel* p = find_panel(panel);
    if (!p || id <= 0 || p->find(id)) return nullptr;
    auto c = std::make_unique<Control>();
    c->id = id;
    c->style = style;
    c->data_type = default_data_type(style);
    c->value = c->data_type == VAL_STRING ? Value::of(std::string()) : c->data_type == VAL_DOUBLE ? Value::of(0.0) : Value::of(std::int64_t{0});
    if (is_graph_style(style)) {
        c->graph = std::make_unique<GraphData>();
        if (style == CTRL_STRIP_CHART) c->graph->traces.resize(1);
    }
    Control* raw = c.get();
    p->controls.push_back(std::move(c));
    p->next_ctrl_id = std::max(p->next_ctrl_id, id + 1);
    if (style == CTRL_TIMER) schedule_timer(*raw);
    return raw;
}

int get_panel_attr_impl(Panel& p, int attr, Value& out)
{
    switch (attr) {
    case ATTR_PANEL_PARENT: out = Value::of(std::int64_t{p.parent}); return 0;
    case ATTR_CALLBACK_NAME: out = Value::of(p.callback_name); return 0;
    case ATTR_PANEL_FIRST_CTRL:
        out = Value::of(std::int64_t{p.controls.empty() ? 0 : p.controls.front()->id});
        return 0;
    case ATTR_ZPLANE_POSITION: {
        Panel* parent = find_panel(p.parent);
        const std::vector<int>& order = parent ? parent->children : model().top_level;
        auto it = std::find(order.begin(), order.end(), p.handle);
        out = Value::of(std::int64_t{it - order.begin()});
        return 0;
    }
    default: break;
    }
    auto it = p.attrs.find(attr);
    if (it != p.attrs.end()) {
        out = it->second;
        return 0;
    }
    auto d = attribute_default(attr, true, 0);
    if (!d) return UIE_BAD_ATTRIBUTE;
    out = *d;
    return 0;
}

}  // namespace vui

using namespace vui;

namespace vui::detail {

int copy_out(const std::string& text, char* buffer, std::size_t size)
{
    if (size == 0) return UIE_TOO_LONG;
    if (text.size() + 1 > size) {
        buffer[0] = '\0';
        return UIE_TOO_LONG;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = '\0';
    return 0;
}

int get_panel_attr(int panel, int attr, Value& out)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    return get_panel_attr_impl(*p, attr, out);
}

int set_panel_attr(int panel, int attr, const Value& in)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    if (is_read_only(attr)) return UIE_BAD_ATTRIBUTE;
    if (attr != ATTR_ZPLANE_POSITION && !attribute_default(attr, true, 0)) return UIE_BAD_ATTRIBUTE;
    Value v;
    if (!coerce_attr(attr, in, v)) return UIE_BAD_TYPE;
    switch (attr) {
    case ATTR_ZPLANE_POSITION: {
        Panel* parent = find_panel(p->parent);
        std::vector<int>& order = parent ? parent->children : model().top_level;
        order.erase(std::remove(order.begin(), order.end(), panel), order.end());
        auto pos = std::clamp<std::int64_t>(v.as_int(), 0, static_cast<std::int64_t>(order.size()));
        order.insert(order.begin() + pos, panel);
        notify_stacking(p->parent);
        break;
    }
    case ATTR_WINDOW_ZOOM:
        p->attrs[attr] = v;
        if (v.as_int() == 2) {
            int w = 0, h = 0;
            container_size(*p, w, h);
            p->attrs[ATTR_LEFT] = Value::of(std::int64_t{0});
            p->attrs[ATTR_TOP] = Value::of(std::int64_t{0});
            p->attrs[ATTR_WIDTH] = Value::of(std::int64_t{w});
            p->attrs[ATTR_HEIGHT] = Value::of(std::int64_t{h});
        }
        break;
    case ATTR_VISIBLE:
        p->attrs[attr] = Value::of(std::int64_t{v.as_int() != 0});
        break;
    default:
        p->attrs[attr] = v;
        if (attr == ATTR_LEFT || attr == ATTR_TOP) centre(*p);
        break;
    }
    notify_panel(panel);
    return 0;
}

int get_ctrl_attr(int panel, int ctrl, int attr, Value& out)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    Control* c = p->find(ctrl);
    if (!c) return UIE_BAD_CTRL;
    switch (attr) {
    case ATTR_CTRL_STYLE: out = Value::of(std::int64_t{c->style}); return 0;
    case ATTR_DATA_TYPE: out = Value::of(std::int64_t{c->data_type}); return 0;
    case ATTR_CALLBACK_NAME: out = Value::of(c->callback_name); return 0;
    case ATTR_NEXT_CTRL: {
        auto it = std::find_if(p->controls.begin(), p->controls.end(), [&](auto& x) { return x.get() == c; });
        ++it;
        out = Value::of(std::int64_t{it == p->controls.end() ? 0 : (*it)->id});
        return 0;
    }
    default: break;
    }
    if (c->graph) {
        GraphData& g = *c->graph;
        switch (attr) {
        case ATTR_POINTS_PER_SCREEN:
            if (c->style != CTRL_STRIP_CHART) return UIE_BAD_ATTRIBUTE;
            out = Value::of(std::int64_t{g.points_per_screen});
            return 0;
        case ATTR_NUM_TRACES:
            if (c->style != CTRL_STRIP_CHART) return UIE_BAD_ATTRIBUTE;
            out = Value::of(static_cast<std::int64_t>(g.traces.size()));
            return 0;
        case ATTR_NUM_CURSORS:
            out = Value::of(static_cast<std::int64_t>(g.cursors.size()));
            return 0;
        case ATTR_ACTIVE_CURSOR:
            out = Value::of(std::int64_t{g.active_cursor});
            return 0;
        default: break;
        }
    }
    auto it = c->attrs.find(attr);
    if (it != c->attrs.end()) {
        out = it->second;
        return 0;
    }
    auto d = attribute_default(attr, false, c->style);
    if (!d) return UIE_BAD_ATTRIBUTE;
    out = *d;
    return 0;
}

int set_ctrl_attr(int panel, int ctrl, int attr, const Value& in)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    Control* c = p->find(ctrl);
    if (!c) return UIE_BAD_CTRL;
    if (is_read_only(attr)) return UIE_BAD_ATTRIBUTE;
    bool graph_attr = c->graph && (attr == ATTR_POINTS_PER_SCREEN || attr == ATTR_NUM_TRACES ||
                                   attr == ATTR_NUM_CURSORS || attr == ATTR_ACTIVE_CURSOR);
    if (!graph_attr && !attribute_default(attr, false, c->style)) return UIE_BAD_ATTRIBUTE;
    Value v;
    if (!coerce_attr(attr, in, v)) return UIE_BAD_TYPE;
    if (c->graph) {
        GraphData& g = *c->graph;
        switch (attr) {
        case ATTR_POINTS_PER_SCREEN:
            if (c->style != CTRL_STRIP_CHART) return UIE_BAD_ATTRIBUTE;
            if (v.as_int() < 2 || v.as_int() > 10000) return UIE_OUT_OF_RANGE;
            g.points_per_screen = static_cast<int>(v.as_int());
            for (auto& t : g.traces)
                while (static_cast<int>(t.points.size()) > g.points_per_screen) t.points.pop_front();
            notify_graph(panel, ctrl);
            return 0;
        case ATTR_NUM_TRACES:
            if (c->style != CTRL_STRIP_CHART) return UIE_BAD_ATTRIBUTE;
            if (v.as_int() < 1 || v.as_int() > 64) return UIE_OUT_OF_RANGE;
            g.traces.resize(static_cast<std::size_t>(v.as_int()));
            g.next_trace = 0;
            notify_graph(panel, ctrl);
            return 0;
        case ATTR_NUM_CURSORS: {
            if (c->style != CTRL_GRAPH) return UIE_BAD_ATTRIBUTE;
            if (v.as_int() < 0 || v.as_int() > 4) return UIE_OUT_OF_RANGE;
            std::size_t n = static_cast<std::size_t>(v.as_int());
            while (g.cursors.size() < n) {
                GraphCursor gc;
                gc.x = (g.xaxis.min + g.xaxis.max) / 2;
                gc.y = (g.yaxis.min + g.yaxis.max) / 2;
                g.cursors.push_back(gc);
            }
            g.cursors.resize(n);
            g.active_cursor = std::clamp(g.active_cursor, 1, std::max<int>(1, static_cast<int>(n)));
            notify_graph(panel, ctrl);
            return 0;
        }
        case ATTR_ACTIVE_CURSOR:
            if (v.as_int() < 1 || v.as_int() > static_cast<std::int64_t>(g.cursors.size())) return UIE_BAD_INDEX;
            g.active_cursor = static_cast<int>(v.as_int());
            notify_graph(panel, ctrl);
            return 0;
        default: break;
        }
    }
    if (attr == ATTR_INTERVAL && v.as_double() <= 0.0) return UIE_OUT_OF_RANGE;
    c->attrs[attr] = v;
    if (c->style == CTRL_TIMER && (attr == ATTR_INTERVAL || (attr == ATTR_ENABLED && v.as_int() != 0)))
        schedule_timer(*c);
    if ((attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE) && c->value.is_number()) {
        // A new range coerces the value already there.
        Value lo, hi;
        get_ctrl_attr(panel, ctrl, ATTR_MIN_VALUE, lo);
        get_ctrl_attr(panel, ctrl, ATTR_MAX_VALUE, hi);
        double x = std::clamp(c->value.as_double(), lo.as_double(), std::max(lo.as_double(), hi.as_double()));
        c->value = c->value.kind == Value::Int ? Value::of(static_cast<std::int64_t>(x)) : Value::of(x);
    }
    notify_ctrl(panel, ctrl);
    return 0;
}

// Converts a value to a control's data type (and range); false for text into numbers and back.
bool to_ctrl_type(const Control& c, const Value& in, Value& out)
{
    if (c.data_type == VAL_STRING) {
        if (in.kind != Value::Text) return false;
        out = in;
        return true;
    }
    if (!in.is_number()) return false;
    double x = in.as_double();
    auto lo = c.attrs.find(ATTR_MIN_VALUE);
    auto hi = c.attrs.find(ATTR_MAX_VALUE);
    if (lo != c.attrs.end() && x < lo->second.as_double()) x = lo->second.as_double();
    if (hi != c.attrs.end() && x > hi->second.as_double()) x = hi->second.as_double();
    switch (c.data_type) {
    case VAL_DOUBLE: out = Value::of(x); break;
    case VAL_FLOAT: out = Value::of(static_cast<double>(static_cast<float>(x))); break;
    case VAL_SHORT_INTEGER: out = Value::of(std::int64_t{static_cast<short>(static_cast<std::int64_t>(x))}); break;
    case VAL_CHAR: out = Value::of(std::int64_t{static_cast<signed char>(static_cast<std::int64_t>(x))}); break;
    case VAL_UNSIGNED_CHAR: out = Value::of(std::int64_t{static_cast<unsigned char>(static_cast<std::int64_t>(x))}); break;
    case VAL_UNSIGNED_SHORT_INTEGER: out = Value::of(std::int64_t{static_cast<unsigned short>(static_cast<std::int64_t>(x))}); break;
    case VAL_UNSIGNED_INTEGER: out = Value::of(std::int64_t{static_cast<unsigned>(static_cast<std::int64_t>(x))}); break;
    default:
        if (in.kind == Value::Int)
            out = Value::of(std::int64_t{static_cast<int>(in.i)});
        else
            out = Value::of(std::int64_t{static_cast<int>(static_cast<std::int64_t>(x))});
        break;
    }
    return true;
}

namespace {

// A control that holds a value (not a graph, timer, decoration or picture); null with the reason in status.
Control* value_ctrl(int panel, int ctrl, int& status)
{
    Panel* p = find_panel(panel);
    Control* c = p ? p->find(ctrl) : nullptr;
    status = !p ? UIE_BAD_HANDLE : !c ? UIE_BAD_CTRL : 0;
    if (c && (is_graph_style(c->style) || c->style == CTRL_TIMER || c->style == CTRL_DECORATION ||
              c->style == CTRL_PICTURE)) {
        status = UIE_NOT_ALLOWED;
        c = nullptr;
    }
    return c;
}

}  // namespace

int set_ctrl_val(int panel, int ctrl, const Value& in)
{
    int status = 0;
    Control* c = value_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (style_has_items(c->style)) {
        for (std::size_t i = 0; i < c->items.size(); ++i) {
            if (c->items[i].value == in) {
                c->index = static_cast<int>(i);
                notify_ctrl(panel, ctrl);
                return 0;
            }
        }
        return UIE_BAD_INDEX;
    }
    Value v;
    if (!to_ctrl_type(*c, in, v)) return UIE_BAD_TYPE;
    if (c->style == CTRL_TEXT_BOX)
        c->value.s += v.s;  // a text box appends
    else
        c->value = v;
    notify_ctrl(panel, ctrl);
    return 0;
}

int get_ctrl_val(int panel, int ctrl, Value& out)
{
    int status = 0;
    Control* c = value_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (style_has_items(c->style)) {
        if (c->index < 0 || c->index >= static_cast<int>(c->items.size())) return UIE_BAD_INDEX;
        out = c->items[static_cast<std::size_t>(c->index)].value;
        return 0;
    }
    out = c->value;
    return 0;
}

}  // namespace vui::detail

int NewPanel(int parent, const char* title, int top, int left, int height, int width)
{
    int h = create_panel(parent);
    if (h < 0) return h;
    Panel* p = find_panel(h);
    p->attrs[ATTR_TITLE] = Value::of(std::string(title ? title : ""));
    p->attrs[ATTR_WIDTH] = Value::of(std::int64_t{width});
    p->attrs[ATTR_HEIGHT] = Value::of(std::int64_t{height});
    p->attrs[ATTR_TOP] = Value::of(std::int64_t{top});
    p->attrs[ATTR_LEFT] = Value::of(std::int64_t{left});
    centre(*p);
    notify_panel(h);
    return h;
}

int DisplayPanel(int panel)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    p->attrs[ATTR_VISIBLE] = Value::of(std::int64_t{1});
    raise_panel(panel);
    notify_panel(panel);
    return 0;
}

int HidePanel(int panel)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    p->attrs[ATTR_VISIBLE] = Value::of(std::int64_t{0});
    notify_panel(panel);
    // A popup that is hidden no longer holds the user: the windows under it can be reached again.
    Model& m = model();
    const auto before = m.popup_stack.size();
    m.popup_stack.erase(std::remove(m.popup_stack.begin(), m.popup_stack.end(), panel), m.popup_stack.end());
    if (m.popup_stack.size() != before) notify_modal();
    return 0;
}

namespace {
void discard_tree(int panel)
{
    Model& m = model();
    Panel* p = find_panel(panel);
    if (!p) return;
    std::vector<int> children = p->children;
    for (int child : children) discard_tree(child);
    if (p->menubar) {
        int bar = p->menubar;
        m.menubars.erase(bar);
        notify_menubar_gone(bar);
    }
    bool was_modal = std::find(m.popup_stack.begin(), m.popup_stack.end(), panel) != m.popup_stack.end();
    m.popup_stack.erase(std::remove(m.popup_stack.begin(), m.popup_stack.end(), panel), m.popup_stack.end());
    if (Panel* parent = find_panel(p->parent))
        parent->children.erase(std::remove(parent->children.begin(), parent->children.end(), panel), parent->children.end());
    m.top_level.erase(std::remove(m.top_level.begin(), m.top_level.end(), panel), m.top_level.end());
    if (m.active_panel == panel) m.active_panel = 0;
    m.panels.erase(panel);
    notify_panel_gone(panel);
    if (was_modal) notify_modal();
}
}  // namespace

int DiscardPanel(int panel)
{
    if (!find_panel(panel)) return UIE_BAD_HANDLE;
    discard_tree(panel);
    return 0;
}

int InstallPopup(int panel)
{
    Model& m = model();
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    m.popup_stack.erase(std::remove(m.popup_stack.begin(), m.popup_stack.end(), panel), m.popup_stack.end());
    m.popup_stack.push_back(panel);
    p->attrs[ATTR_VISIBLE] = Value::of(std::int64_t{1});
    raise_panel(panel);
    m.active_panel = panel;
    notify_panel(panel);
    notify_active();
    notify_modal();
    return 0;
}

int RemovePopup(int removeAll)
{
    Model& m = model();
    if (m.popup_stack.empty()) return 0;
    do {
        int panel = m.popup_stack.back();
        m.popup_stack.pop_back();
        if (Panel* p = find_panel(panel)) {
            p->attrs[ATTR_VISIBLE] = Value::of(std::int64_t{0});
            notify_panel(panel);
        }
    } while (removeAll && !m.popup_stack.empty());
    notify_modal();
    return 0;
}

int SetActivePanel(int panel)
{
    Model& m = model();
    if (!find_panel(panel)) return UIE_BAD_HANDLE;
    int previous = m.active_panel;
    m.active_panel = panel;
    raise_panel(panel);
    notify_active();
    if (previous != panel) {
        // Focus changes reach panel callbacks through the queue, as a user's click would. A change overtaken by a
        // later one is not delivered: two callbacks that each take the focus back would otherwise trade it forever.
        if (previous > 0)
            post_task([previous] {
                if (model().active_panel != previous) call_panel_callback(previous, EVENT_LOST_FOCUS, 0, 0);
            });
        post_task([panel] {
            if (model().active_panel == panel) call_panel_callback(panel, EVENT_GOT_FOCUS, 0, 0);
        });
    }
    return 0;
}

int GetActivePanel() { return model().active_panel; }

int InstallPanelCallback(int panel, PanelCallbackPtr callback, void* callbackData)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    p->callback = std::move(callback);
    p->callback_data = callbackData;
    p->callback_name.clear();
    return 0;
}

int NewCtrl(int panel, int style, const char* label, int top, int left)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    Control* c = create_ctrl(panel, p->next_ctrl_id, style);
    if (!c) return UIE_BAD_CTRL;
    c->attrs[ATTR_LABEL_TEXT] = Value::of(std::string(label ? label : ""));
    c->attrs[ATTR_TOP] = Value::of(std::int64_t{top});
    c->attrs[ATTR_LEFT] = Value::of(std::int64_t{left});
    notify_ctrl(panel, c->id);
    return c->id;
}

int DiscardCtrl(int panel, int ctrl)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    auto it = std::find_if(p->controls.begin(), p->controls.end(), [&](auto& c) { return c->id == ctrl; });
    if (it == p->controls.end()) return UIE_BAD_CTRL;
    p->controls.erase(it);
    if (p->active_ctrl == ctrl) p->active_ctrl = 0;
    notify_ctrl_gone(panel, ctrl);
    return 0;
}

int InstallCtrlCallback(int panel, int ctrl, CtrlCallbackPtr callback, void* callbackData)
{
    Control* c = find_ctrl(panel, ctrl);
    if (!c) return find_panel(panel) ? UIE_BAD_CTRL : UIE_BAD_HANDLE;
    c->callback = std::move(callback);
    c->callback_data = callbackData;
    c->callback_name.clear();
    return 0;
}

int SetActiveCtrl(int panel, int ctrl)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    if (!p->find(ctrl)) return UIE_BAD_CTRL;
    p->active_ctrl = ctrl;
    notify_panel(panel);
    return 0;
}

int GetActiveCtrl(int panel)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    return p->active_ctrl;
}

int SetMouseCursor(int cursor)
{
    model().mouse_cursor = cursor;
    notify_mouse_cursor();
    return 0;
}

int GetMouseCursor(int* cursor)
{
    *cursor = model().mouse_cursor;
    return 0;
}

int SetWaitCursor(int on)
{
    model().wait_cursor = on != 0;
    notify_mouse_cursor();
    return 0;
}

int GetScreenSize(int* height, int* width)
{
    *height = model().screen_height;
    *width = model().screen_width;
    return 0;
}
