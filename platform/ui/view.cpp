// The change stream: JSON snapshots of the model and the change messages sent to subscribers.
#include "platform/ui/view.h"

#include <algorithm>
#include <map>

#include "platform/ui/model.h"
#include "platform/ui/notify.h"

using nlohmann::json;

namespace vui {

namespace {

struct Subscriber {
    std::function<void(const json&)> changes;
    std::function<void(const StripAppend&)> strips;  // empty: strip blocks come as JSON
    std::function<bool()> watching;                  // empty: always
    bool awake() const { return !watching || watching(); }
};

std::map<int, Subscriber>& subscribers()
{
    static std::map<int, Subscriber> s;
    return s;
}
int next_subscriber = 1;

// Whether any subscriber wants changes now: an idle view costs no JSON.
bool watched()
{
    for (const auto& [id, sub] : subscribers())
        if (sub.awake()) return true;
    return false;
}

void send(const json& message)
{
    // Copy: a subscriber may unsubscribe while being told.
    auto subs = subscribers();
    for (auto& [id, sub] : subs)
        if (sub.awake()) sub.changes(message);
}

json value_json(const Value& v)
{
    switch (v.kind) {
    case Value::Int: return v.i;
    case Value::Double: return v.d;
    default: return v.s;
    }
}

json attrs_json(const std::map<int, Value>& attrs)
{
    json a = json::object();
    for (const auto& [k, v] : attrs)
        if (k >= 0) a[std::to_string(k)] = value_json(v);
    return a;
}

json plot_json(const Plot& p)
{
    static const char* kinds[] = {"xy", "line", "point", "oval", "rectangle", "text"};
    json j = {{"handle", p.handle}, {"kind", kinds[p.kind]}, {"x", p.x}, {"y", p.y}, {"attributes", attrs_json(p.attrs)}};
    auto fill = p.attrs.find(-1);
    if (fill != p.attrs.end()) j["fill"] = fill->second.as_int();
    if (p.kind == Plot::Text) j["text"] = p.text;
    return j;
}

json graph_json(int panel, const Control& c)
{
    const GraphData& g = *c.graph;
    // The ranges shown: autoscaled axes follow the data.
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    GetAxisRange(panel, c.id, nullptr, &xmin, &xmax, nullptr, &ymin, &ymax);
    json cursors = json::array();
    for (const auto& cur : g.cursors)
        cursors.push_back({{"x", cur.x}, {"y", cur.y}, {"mode", cur.mode}, {"color", cur.color}, {"plot", cur.plot}, {"point", cur.point}});
    json traces = json::array();
    for (const auto& t : g.traces) traces.push_back({{"color", t.color}, {"visible", t.visible}});
    return {{"x_axis", {{"mode", g.xaxis.mode}, {"min", g.xaxis.min}, {"max", g.xaxis.max}}},
            {"y_axis", {{"mode", g.yaxis.mode}, {"min", g.yaxis.min}, {"max", g.yaxis.max}}},
            {"x_shown", {xmin, xmax}},
            {"y_shown", {ymin, ymax}},
            {"cursors", cursors},
            {"active_cursor", g.active_cursor},
            {"traces", traces},
            {"points_per_screen", g.points_per_screen},
            {"scans", g.scans}};
}

json ctrl_json(int panel, const Control& c, bool with_data)
{
    json j = {{"id", c.id}, {"style", c.style}, {"data_type", c.data_type}, {"attributes", attrs_json(c.attrs)},
              {"callback", c.callback_name}};
    if (!c.graph && c.style != CTRL_TIMER) j["value"] = value_json(c.value);
    if (style_has_items(c.style)) {
        json items = json::array();
        for (const auto& i : c.items) items.push_back({{"label", i.label}, {"value", value_json(i.value)}, {"checked", i.checked}});
        j["items"] = items;
        j["index"] = c.index;
    }
    if (c.graph) {
        j["graph"] = graph_json(panel, c);
        if (with_data) {
            json plots = json::array();
            for (const auto& p : c.graph->plots) plots.push_back(plot_json(p));
            j["plots"] = plots;
            json traces = json::array();
            for (const auto& t : c.graph->traces) traces.push_back(json(std::vector<double>(t.points.begin(), t.points.end())));
            j["trace_points"] = traces;
        }
    }
    return j;
}

json panel_json(const Panel& p)
{
    return {{"handle", p.handle}, {"parent", p.parent}, {"file", p.file}, {"resource", p.resource},
            {"attributes", attrs_json(p.attrs)}, {"children", p.children}, {"active_ctrl", p.active_ctrl},
            {"menubar", p.menubar}, {"callback", p.callback_name}};
}

json menu_node_json(const MenuBar& b, int id)
{
    const MenuNode& n = b.nodes.at(id);
    json j = {{"id", n.id}, {"name", n.name}, {"dimmed", n.dimmed}};
    if (n.is_menu) {
        json items = json::array();
        for (int c : n.children) items.push_back(menu_node_json(b, c));
        j["items"] = items;
    } else {
        j["checked"] = n.checked;
        j["shortcut"] = n.shortcut;
        if (n.submenu) j["submenu"] = menu_node_json(b, n.submenu);
    }
    return j;
}

json menubar_json(const MenuBar& b)
{
    json menus = json::array();
    for (int m : b.menus) menus.push_back(menu_node_json(b, m));
    return {{"handle", b.handle}, {"panel", b.panel}, {"dimmed", b.dimmed}, {"menus", menus}};
}

json popup_json(const Popup& p)
{
    return {{"id", p.id}, {"kind", p.kind}, {"title", p.title}, {"text", p.text}, {"buttons", p.buttons},
            {"default_path", p.default_path}, {"file_types", p.file_types}, {"max_length", p.max_length},
            {"enter_button", p.enter_button}, {"escape_button", p.escape_button}, {"directory", p.directory},
            {"restrict_dir", p.restrict_dir}, {"restrict_ext", p.restrict_ext}, {"extensions", p.extensions},
            {"allow_make_dir", p.allow_make_dir}};
}

}  // namespace

nlohmann::json snapshot()
{
    Model& m = model();
    json panels = json::array();
    for (const auto& [h, p] : m.panels) {
        json pj = panel_json(*p);
        json ctrls = json::array();
        for (const auto& c : p->controls) ctrls.push_back(ctrl_json(h, *c, true));
        pj["controls"] = ctrls;
        panels.push_back(pj);
    }
    json bars = json::array();
    for (const auto& [h, b] : m.menubars) bars.push_back(menubar_json(*b));
    json popups = json::array();
    for (const Popup* p : m.open_popups) popups.push_back(popup_json(*p));
    return {{"type", "snapshot"}, {"panels", panels}, {"top_level", m.top_level}, {"menubars", bars},
            {"popups", popups}, {"modal", m.popup_stack}, {"active_panel", m.active_panel},
            {"mouse_cursor", m.mouse_cursor}, {"wait_cursor", m.wait_cursor},
            {"screen", {{"width", m.screen_width}, {"height", m.screen_height}}}};
}

int subscribe(std::function<void(const nlohmann::json&)> subscriber)
{
    return subscribe_view(std::move(subscriber), nullptr, nullptr);
}

int subscribe_view(std::function<void(const nlohmann::json&)> changes, std::function<void(const StripAppend&)> strips,
                   std::function<bool()> watching)
{
    int id = next_subscriber++;
    subscribers()[id] = Subscriber{std::move(changes), std::move(strips), std::move(watching)};
    return id;
}

void unsubscribe(int id) { subscribers().erase(id); }

bool has_subscribers() { return !subscribers().empty(); }
void clear_subscribers() { subscribers().clear(); }

void notify_reset()
{
    if (watched()) send({{"type", "reset"}});
}

void notify_panel(int panel)
{
    if (!watched()) return;
    if (Panel* p = find_panel(panel)) send({{"type", "panel"}, {"panel", panel_json(*p)}});
}

void notify_panel_gone(int panel)
{
    if (watched()) send({{"type", "panel_gone"}, {"handle", panel}});
}

void notify_ctrl(int panel, int ctrl)
{
    if (!watched()) return;
    if (Control* c = find_ctrl(panel, ctrl)) send({{"type", "ctrl"}, {"panel", panel}, {"ctrl", ctrl_json(panel, *c, false)}});
}

void notify_ctrl_gone(int panel, int ctrl)
{
    if (watched()) send({{"type", "ctrl_gone"}, {"panel", panel}, {"id", ctrl}});
}

void notify_graph(int panel, int ctrl)
{
    if (!watched()) return;
    Control* c = find_ctrl(panel, ctrl);
    if (c && c->graph) send({{"type", "graph"}, {"panel", panel}, {"id", ctrl}, {"graph", graph_json(panel, *c)}});
}

void notify_plot_added(int panel, int ctrl, int plot)
{
    if (!watched()) return;
    Control* c = find_ctrl(panel, ctrl);
    if (!c || !c->graph) return;
    for (const auto& p : c->graph->plots)
        if (p.handle == plot) send({{"type", "plot"}, {"panel", panel}, {"id", ctrl}, {"plot", plot_json(p)}});
}

void notify_plots_deleted(int panel, int ctrl, int plot, bool immediate)
{
    if (watched())
        send({{"type", "plots_deleted"}, {"panel", panel}, {"id", ctrl}, {"plot", plot}, {"immediate", immediate}});
}

void notify_refresh(int panel, int ctrl)
{
    if (watched()) send({{"type", "refresh"}, {"panel", panel}, {"id", ctrl}});
}

bool strip_watched() { return watched(); }

void notify_strip_append(const StripAppend& block)
{
    auto subs = subscribers();
    json message;  // built once, for subscribers that take JSON
    for (auto& [id, sub] : subs) {
        if (!sub.awake()) continue;
        if (sub.strips) {
            sub.strips(block);
            continue;
        }
        if (message.is_null()) {
            // Trace t's k-th value counted from the block's first scan, as the JSON form has always had it.
            std::vector<std::vector<double>> values(static_cast<std::size_t>(std::max(block.traces, 1)));
            for (std::size_t k = 0; k < block.count; ++k)
                values[(static_cast<std::size_t>(block.first_trace) + k) % values.size()].push_back(block.at(k));
            message = {{"type", "strip"}, {"panel", block.panel}, {"id", block.ctrl}, {"first_scan", block.first_scan}, {"traces", values}};
        }
        sub.changes(message);
    }
}

void notify_strip_clear(int panel, int ctrl)
{
    if (watched()) send({{"type", "strip_clear"}, {"panel", panel}, {"id", ctrl}});
}

void notify_menubar(int menubar)
{
    if (!watched()) return;
    if (MenuBar* b = find_menubar(menubar)) send({{"type", "menubar"}, {"menubar", menubar_json(*b)}});
}

void notify_menubar_gone(int menubar)
{
    if (watched()) send({{"type", "menubar_gone"}, {"handle", menubar}});
}

void notify_popup(const Popup& popup)
{
    if (watched()) send({{"type", "popup"}, {"popup", popup_json(popup)}});
}

void notify_popup_gone(int id)
{
    if (watched()) send({{"type", "popup_gone"}, {"id", id}});
}

void notify_popup_refused(int id, const std::string& why)
{
    if (watched()) send({{"type", "popup_refused"}, {"id", id}, {"text", why}});
}

void notify_modal()
{
    if (watched()) send({{"type", "modal"}, {"stack", model().popup_stack}});
}

void notify_stacking(int parent)
{
    if (!watched()) return;
    if (parent == 0) {
        send({{"type", "stacking"}, {"parent", 0}, {"order", model().top_level}});
    } else if (Panel* p = find_panel(parent)) {
        send({{"type", "stacking"}, {"parent", parent}, {"order", p->children}});
    }
}

void notify_active()
{
    if (watched()) send({{"type", "active"}, {"panel", model().active_panel}});
}

void notify_mouse_cursor()
{
    if (watched())
        send({{"type", "mouse_cursor"}, {"cursor", model().mouse_cursor}, {"wait", model().wait_cursor}});
}

void notify_document(const std::string& path)
{
    if (watched()) send({{"type", "document"}, {"path", path}});
}

}  // namespace vui
