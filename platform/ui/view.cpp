// The change stream: JSON snapshots of the model and the change messages sent to subscribers.
//
// Changes to controls, panels and menu bars are gathered during one turn of the
// event loop and sent once when it ends (flush_changes): a list filled row by row
// goes out as one message, its rows as a splice of what changed; a menu bar as
// the nodes that changed. Any other message sends what is gathered first, so the
// order a view sees stays the model's.
#include "platform/ui/view.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "platform/ui/model.h"
#include "platform/ui/notify.h"
#include "platform/ui/view_json.h"

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
    // Ids first: a subscriber may unsubscribe while being told.
    std::vector<int> ids;
    for (const auto& [id, sub] : subscribers()) ids.push_back(id);
    for (int id : ids) {
        auto it = subscribers().find(id);
        if (it != subscribers().end() && it->second.awake()) it->second.changes(message);
    }
}

// --- what one turn changed -----------------------------------------------------------------

enum class Kind { Panel, Ctrl, MenuBar };
using Key = std::tuple<Kind, int, int>;

// The rows of a list that changed since the last send: all but the first `head`
// and the last `tail` of both the old and the new list.
struct RowChange {
    bool any = false;
    std::size_t head = 0, tail = 0;
};

struct Pending {
    std::vector<Key> order;  // first change first; a panel changed again comes again
    std::set<Key> marked;
    std::map<Key, std::size_t> last;  // where a marked panel's latest change stands in `order`
    std::set<int> sent_panels;         // panels the views know
    std::map<std::pair<int, int>, RowChange> rows;
    // What the views were last sent: list rows per control, menu nodes per bar.
    std::map<std::pair<int, int>, std::size_t> sent_rows;
    std::map<int, std::map<int, json>> sent_menus;
    bool flushing = false;
};

Pending& pending()
{
    static Pending p;
    return p;
}

void mark(const Key& key)
{
    Pending& p = pending();
    if (p.marked.insert(key).second) {
        p.order.push_back(key);
    } else if (std::get<0>(key) == Kind::Panel && p.last[key] + 1 != p.order.size()) {
        // Shown after the controls that changed since: a window never appears before its contents.
        p.order.push_back(key);
    } else {
        return;
    }
    if (std::get<0>(key) == Kind::Panel) p.last[key] = p.order.size() - 1;
}

void unmark(const Key& key) { pending().marked.erase(key); }

void forget_everything()
{
    Pending& p = pending();
    p.order.clear();
    p.marked.clear();
    p.last.clear();
    p.sent_panels.clear();
    p.rows.clear();
    p.sent_rows.clear();
    p.sent_menus.clear();
}

// Node ids start at 1: the bar's own dimming and menu order stand under 0.
constexpr int kBarKey = 0;

// The nodes of a bar by id, as menu_node_flat gives them, and the bar itself.
std::map<int, json> flat_nodes(const MenuBar& b)
{
    std::map<int, json> out;
    for (const auto& [id, n] : b.nodes) out[id] = view_json::menu_node_flat(n);
    out[kBarKey] = {{"dimmed", b.dimmed}, {"menus", b.menus}, {"is_menu", false}, {"id", kBarKey}};
    return out;
}

// A panel made in this turn goes out first as it was made (hidden): its controls need somewhere to go,
// and it is shown only by its own later message, once they are there.
void introduce_panel(int handle)
{
    Pending& p = pending();
    Panel* panel = find_panel(handle);
    if (!panel || p.sent_panels.count(handle)) return;
    json j = view_json::panel(*panel);
    j["attributes"][std::to_string(ATTR_VISIBLE)] = 0;
    send({{"type", "panel"}, {"panel", std::move(j)}});
    p.sent_panels.insert(handle);
}

// The rows a long list goes out with when the view must forget what it held: the first ones, which a
// list shows when it is new.
constexpr std::size_t kWindowRows = 200;

bool windowed(const Control& c, std::size_t rows) { return c.style == CTRL_LIST_BOX && rows > kLongListRows; }

json window_of(const Control& c)
{
    return {{"at", 0}, {"items", view_json::items(c, 0, std::min(kWindowRows, c.items.size()))}};
}

void send_ctrl(int panel, int ctrl)
{
    Pending& p = pending();
    introduce_panel(panel);
    const auto key = std::make_pair(panel, ctrl);
    RowChange rows;
    if (auto it = p.rows.find(key); it != p.rows.end()) {
        rows = it->second;
        p.rows.erase(it);
    }
    Control* c = find_ctrl(panel, ctrl);
    if (!c) return;
    json j = view_json::ctrl(panel, *c, false);
    if (style_has_items(c->style)) {
        const std::size_t n = c->items.size();
        auto sent = p.sent_rows.find(key);
        const std::size_t old = sent == p.sent_rows.end() ? 0 : sent->second;
        const bool is_long = windowed(*c, n), was_long = sent != p.sent_rows.end() && windowed(*c, old);
        const bool whole = sent == p.sent_rows.end() || rows.head + rows.tail > std::min(old, n);
        // A long list takes a splice only where it keeps its rows in place (check marks, a label) or adds
        // rows at its end (a growing log).
        const bool in_place = (old == n || (rows.head == old && rows.tail == 0 && n > old)) &&
                              n - rows.head - rows.tail <= kWindowRows;
        if (whole || (rows.any && (is_long || was_long) && !(is_long && was_long && in_place))) {
            if (is_long) j["window"] = window_of(*c);
            else j["items"] = view_json::items(*c, 0, n);
        } else if (rows.any) {
            j["splice"] = {{"at", rows.head}, {"remove", old - rows.head - rows.tail},
                           {"items", view_json::items(*c, rows.head, n - rows.tail)}};
        }
        p.sent_rows[key] = n;
    }
    send({{"type", "ctrl"}, {"panel", panel}, {"ctrl", std::move(j)}});
}

void send_menubar(int handle)
{
    MenuBar* b = find_menubar(handle);
    if (!b) return;
    Pending& p = pending();
    auto now = flat_nodes(*b);
    auto sent = p.sent_menus.find(handle);
    if (sent == p.sent_menus.end()) {
        send({{"type", "menubar"}, {"menubar", view_json::menubar(*b)}});
    } else {
        json changed = json::array(), gone = json::array();
        bool bar_changed = false;
        for (const auto& [id, node] : now) {
            auto was = sent->second.find(id);
            if (was != sent->second.end() && was->second == node) continue;
            if (id == kBarKey)
                bar_changed = true;
            else
                changed.push_back(node);
        }
        for (const auto& [id, node] : sent->second)
            if (!now.count(id)) gone.push_back(id);
        // A bar set to what it already shows sends nothing.
        if (bar_changed || !changed.empty() || !gone.empty())
            send({{"type", "menu_delta"}, {"handle", handle}, {"panel", b->panel}, {"dimmed", b->dimmed},
                  {"menus", b->menus}, {"nodes", std::move(changed)}, {"gone", std::move(gone)}});
    }
    p.sent_menus[handle] = std::move(now);
}

// Everything gathered goes out before a message that is not gathered.
void flush_before_other() { flush_changes(); }

}  // namespace

void flush_changes()
{
    Pending& p = pending();
    if (p.order.empty() || p.flushing) return;
    p.flushing = true;
    std::vector<Key> order;
    order.swap(p.order);
    std::map<Key, std::size_t> last;
    last.swap(p.last);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Key& key = order[i];
        auto [kind, a, b] = key;
        if (kind == Kind::Panel && last[key] != i) {
            if (p.marked.count(key) && watched()) introduce_panel(a);
            continue;
        }
        if (!p.marked.erase(key)) continue;  // dropped since (its object went away)
        if (!watched()) continue;
        switch (kind) {
        case Kind::Panel:
            if (Panel* panel = find_panel(a)) {
                send({{"type", "panel"}, {"panel", view_json::panel(*panel)}});
                p.sent_panels.insert(a);
            }
            break;
        case Kind::Ctrl: send_ctrl(a, b); break;
        case Kind::MenuBar: send_menubar(a); break;
        }
    }
    p.rows.clear();
    p.flushing = false;
}

nlohmann::json snapshot()
{
    flush_changes();
    Model& m = model();
    Pending& pend = pending();
    forget_everything();
    json panels = json::array();
    for (const auto& [h, p] : m.panels) {
        pend.sent_panels.insert(h);
        json pj = view_json::panel(*p);
        json ctrls = json::array();
        for (const auto& c : p->controls) {
            json cj = view_json::ctrl(h, *c, true);
            if (windowed(*c, c->items.size())) {
                cj["window"] = window_of(*c);
                pend.sent_rows[{h, c->id}] = c->items.size();
            } else if (style_has_items(c->style)) {
                cj["items"] = view_json::items(*c, 0, c->items.size());
                pend.sent_rows[{h, c->id}] = c->items.size();
            }
            ctrls.push_back(std::move(cj));
        }
        pj["controls"] = std::move(ctrls);
        panels.push_back(std::move(pj));
    }
    json bars = json::array();
    for (const auto& [h, b] : m.menubars) {
        bars.push_back(view_json::menubar(*b));
        pend.sent_menus[h] = flat_nodes(*b);
    }
    json popups = json::array();
    for (const Popup* p : m.open_popups) popups.push_back(view_json::popup(*p));
    return {{"type", "snapshot"}, {"panels", std::move(panels)}, {"top_level", m.top_level}, {"menubars", std::move(bars)},
            {"popups", std::move(popups)}, {"modal", m.popup_stack}, {"active_panel", m.active_panel},
            {"mouse_cursor", m.mouse_cursor}, {"wait_cursor", m.wait_cursor},
            {"screen", {{"width", m.screen_width}, {"height", m.screen_height}}}};
}

nlohmann::json list_rows(int panel, int ctrl, std::size_t from, std::size_t to)
{
    flush_changes();
    Control* c = find_ctrl(panel, ctrl);
    if (!c || !style_has_items(c->style)) return nullptr;
    const std::size_t n = c->items.size();
    from = std::min(from, n);
    to = std::clamp(to, from, std::min(n, from + kLongListRows));
    return {{"type", "rows"}, {"panel", panel}, {"ctrl", ctrl}, {"count", n}, {"at", from}, {"items", view_json::items(*c, from, to)}};
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
void clear_subscribers()
{
    subscribers().clear();
    forget_everything();
}

void notify_reset()
{
    forget_everything();
    if (watched()) send({{"type", "reset"}});
}

void notify_panel(int panel)
{
    if (watched()) mark({Kind::Panel, panel, 0});
}

void notify_panel_gone(int panel)
{
    Pending& p = pending();
    unmark({Kind::Panel, panel, 0});
    p.sent_panels.erase(panel);
    for (auto it = p.marked.begin(); it != p.marked.end();)
        it = std::get<0>(*it) == Kind::Ctrl && std::get<1>(*it) == panel ? p.marked.erase(it) : std::next(it);
    for (auto it = p.sent_rows.begin(); it != p.sent_rows.end();)
        it = it->first.first == panel ? p.sent_rows.erase(it) : std::next(it);
    if (!watched()) return;
    flush_before_other();
    send({{"type", "panel_gone"}, {"handle", panel}});
}

void notify_ctrl(int panel, int ctrl)
{
    if (watched()) mark({Kind::Ctrl, panel, ctrl});
}

void notify_list_rows(int panel, int ctrl, std::size_t at, std::size_t removed, std::size_t inserted)
{
    if (!watched()) return;
    Control* c = find_ctrl(panel, ctrl);
    if (!c) return;
    const std::size_t before = c->items.size() + removed - inserted;
    const std::size_t tail = before >= at + removed ? before - at - removed : 0;
    RowChange& r = pending().rows[{panel, ctrl}];
    if (!r.any) {
        r = {true, at, tail};
    } else {
        r.head = std::min(r.head, at);
        r.tail = std::min(r.tail, tail);
    }
    mark({Kind::Ctrl, panel, ctrl});
}

void notify_ctrl_gone(int panel, int ctrl)
{
    unmark({Kind::Ctrl, panel, ctrl});
    pending().sent_rows.erase({panel, ctrl});
    if (!watched()) return;
    flush_before_other();
    send({{"type", "ctrl_gone"}, {"panel", panel}, {"id", ctrl}});
}

void notify_graph(int panel, int ctrl)
{
    if (!watched()) return;
    flush_before_other();
    Control* c = find_ctrl(panel, ctrl);
    if (c && c->graph) send({{"type", "graph"}, {"panel", panel}, {"id", ctrl}, {"graph", view_json::graph(panel, *c)}});
}

void notify_plot_added(int panel, int ctrl, int plot)
{
    if (!watched()) return;
    flush_before_other();
    Control* c = find_ctrl(panel, ctrl);
    if (!c || !c->graph) return;
    for (const auto& p : c->graph->plots)
        if (p.handle == plot) send({{"type", "plot"}, {"panel", panel}, {"id", ctrl}, {"plot", view_json::plot(p)}});
}

void notify_plots_deleted(int panel, int ctrl, int plot, bool immediate)
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "plots_deleted"}, {"panel", panel}, {"id", ctrl}, {"plot", plot}, {"immediate", immediate}});
}

void notify_refresh(int panel, int ctrl)
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "refresh"}, {"panel", panel}, {"id", ctrl}});
}

bool strip_watched() { return watched(); }

void notify_strip_append(const StripAppend& block)
{
    flush_before_other();
    std::vector<int> ids;
    for (const auto& [id, sub] : subscribers()) ids.push_back(id);
    json message;  // built once, for subscribers that take JSON
    for (int id : ids) {
        auto it = subscribers().find(id);
        if (it == subscribers().end() || !it->second.awake()) continue;
        Subscriber& sub = it->second;
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
    if (!watched()) return;
    flush_before_other();
    send({{"type", "strip_clear"}, {"panel", panel}, {"id", ctrl}});
}

void notify_menubar(int menubar)
{
    if (watched()) mark({Kind::MenuBar, menubar, 0});
}

void notify_menubar_gone(int menubar)
{
    unmark({Kind::MenuBar, menubar, 0});
    pending().sent_menus.erase(menubar);
    if (!watched()) return;
    flush_before_other();
    send({{"type", "menubar_gone"}, {"handle", menubar}});
}

void notify_popup(const Popup& popup)
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "popup"}, {"popup", view_json::popup(popup)}});
}

void notify_popup_gone(int id)
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "popup_gone"}, {"id", id}});
}

void notify_popup_refused(int id, const std::string& why)
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "popup_refused"}, {"id", id}, {"text", why}});
}

void notify_modal()
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "modal"}, {"stack", model().popup_stack}});
}

void notify_stacking(int parent)
{
    if (!watched()) return;
    flush_before_other();
    if (parent == 0) {
        send({{"type", "stacking"}, {"parent", 0}, {"order", model().top_level}});
    } else if (Panel* p = find_panel(parent)) {
        send({{"type", "stacking"}, {"parent", parent}, {"order", p->children}});
    }
}

void notify_active()
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "active"}, {"panel", model().active_panel}});
}

void notify_mouse_cursor()
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "mouse_cursor"}, {"cursor", model().mouse_cursor}, {"wait", model().wait_cursor}});
}

void notify_document(const std::string& path)
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "document"}, {"path", path}});
}

void notify_status_line(const std::string& text)
{
    if (!watched()) return;
    flush_before_other();
    send({{"type", "status_line"}, {"text", text}});
}

}  // namespace vui
