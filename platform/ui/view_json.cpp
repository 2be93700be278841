// JSON forms of panels, controls, graphs, menu bars and popups for the change stream.
#include "platform/ui/view_json.h"

#include <vector>

using nlohmann::json;

namespace vui::view_json {

namespace {

json value_json(const Value& v)
{
    switch (v.kind) {
    case Value::Int: return v.i;
    case Value::Double: return v.d;
    default: return v.s;
    }
}

json menu_node_json(const MenuBar& b, int id)
{
    const MenuNode& n = b.nodes.at(id);
    json j = {{"id", n.id}, {"name", n.name}, {"dimmed", n.dimmed}};
    if (n.is_menu) {
        json list = json::array();
        for (int c : n.children) list.push_back(menu_node_json(b, c));
        j["items"] = std::move(list);
    } else {
        j["checked"] = n.checked;
        j["shortcut"] = n.shortcut;
        if (n.submenu) j["submenu"] = menu_node_json(b, n.submenu);
    }
    return j;
}

}  // namespace

json attrs(const std::map<int, Value>& attrs)
{
    json a = json::object();
    for (const auto& [k, v] : attrs)
        if (k >= 0) a[std::to_string(k)] = value_json(v);
    return a;
}

json plot(const Plot& p)
{
    static const char* kinds[] = {"xy", "line", "point", "oval", "rectangle", "text"};
    json j = {{"handle", p.handle}, {"kind", kinds[p.kind]}, {"x", p.x}, {"y", p.y}, {"attributes", attrs(p.attrs)}};
    auto fill = p.attrs.find(-1);
    if (fill != p.attrs.end()) j["fill"] = fill->second.as_int();
    if (p.kind == Plot::Text) j["text"] = p.text;
    return j;
}

json graph(int panel, const Control& c)
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

json ctrl(int panel, const Control& c, bool with_data)
{
    json j = {{"id", c.id}, {"style", c.style}, {"data_type", c.data_type}, {"attributes", attrs(c.attrs)},
              {"callback", c.callback_name}};
    if (!c.graph && c.style != CTRL_TIMER) j["value"] = value_json(c.value);
    if (style_has_items(c.style)) {
        j["index"] = c.index;
        j["count"] = c.items.size();
    }
    if (c.graph) {
        j["graph"] = graph(panel, c);
        if (with_data) {
            json plots = json::array();
            for (const auto& p : c.graph->plots) plots.push_back(plot(p));
            j["plots"] = std::move(plots);
            json traces = json::array();
            for (const auto& t : c.graph->traces) traces.push_back(json(std::vector<double>(t.points.begin(), t.points.end())));
            j["trace_points"] = std::move(traces);
        }
    }
    return j;
}

json items(const Control& c, std::size_t from, std::size_t to)
{
    json out = json::array();
    auto& list = out.get_ref<json::array_t&>();
    list.reserve(to > from ? to - from : 0);
    for (std::size_t k = from; k < to && k < c.items.size(); ++k) {
        const ListItem& i = c.items[k];
        list.push_back(json::array({i.label, value_json(i.value), i.checked}));
    }
    return out;
}

json panel(const Panel& p)
{
    return {{"handle", p.handle}, {"parent", p.parent}, {"file", p.file}, {"resource", p.resource},
            {"attributes", attrs(p.attrs)}, {"children", p.children}, {"active_ctrl", p.active_ctrl},
            {"menubar", p.menubar}, {"callback", p.callback_name}};
}

json menubar(const MenuBar& b)
{
    json menus = json::array();
    for (int m : b.menus) menus.push_back(menu_node_json(b, m));
    return {{"handle", b.handle}, {"panel", b.panel}, {"dimmed", b.dimmed}, {"menus", menus}};
}

json menu_node_flat(const MenuNode& n)
{
    json j = {{"id", n.id}, {"name", n.name}, {"dimmed", n.dimmed}, {"is_menu", n.is_menu}};
    if (n.is_menu) {
        j["items"] = n.children;
    } else {
        j["checked"] = n.checked;
        j["shortcut"] = n.shortcut;
        j["submenu"] = n.submenu;
    }
    return j;
}

json popup(const Popup& p)
{
    return {{"id", p.id}, {"kind", p.kind}, {"title", p.title}, {"text", p.text}, {"buttons", p.buttons},
            {"default_path", p.default_path}, {"file_types", p.file_types}, {"max_length", p.max_length},
            {"enter_button", p.enter_button}, {"escape_button", p.escape_button}, {"directory", p.directory},
            {"restrict_dir", p.restrict_dir}, {"restrict_ext", p.restrict_ext}, {"extensions", p.extensions},
            {"allow_make_dir", p.allow_make_dir}};
}

}  // namespace vui::view_json
