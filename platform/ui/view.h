// The change stream a view (the browser front end) mirrors the model from: a full snapshot, then changes.
//
// Every message is a JSON object with "type":
//   "reset"                              the model was emptied
//   "panel"        {panel}               a panel (created or changed), without its controls
//   "panel_gone"   {handle}
//   "ctrl"         {panel, ctrl}         a control with value and attributes, without plot data; a list box or
//                                        ring also has "index" and "count", and its rows ([label, value,
//                                        checked] each) either whole ("items")
//                                        or as "splice" {at, remove, items}: rows [at, at + remove) of what the
//                                        view holds replaced by items; neither when no row changed.
//                                        A long list box (more than kLongListRows) is sent by windows: its
//                                        changes come as "window" {at, items} (forget every row held: the
//                                        list has "count" rows, these are rows [at, at + items)) or as a
//                                        splice of the same number of rows; the view asks for the other rows
//                                        it shows with the "rows" message below
//   "ctrl_gone"    {panel, id}
//   "graph"        {panel, id, graph}    axes (with the ranges shown), cursors and traces (no points)
//   "plot"         {panel, id, plot}     one plot with its points
//   "plots_deleted"{panel, id, plot (-1 all), immediate}
//   "refresh"      {panel, id}           draw what was deferred
//   "strip"        {panel, id, first_scan, traces: [[values of trace 1], ...]}
//   "strip_clear"  {panel, id}
//   "menubar"      {menubar}             the whole bar (when a view first meets it);  "menubar_gone" {handle}
//   "menu_delta"   {handle, panel, dimmed, menus, nodes, gone}
//                                        the nodes that changed (flat: a menu lists its items' ids, an item
//                                        names its submenu's id or 0), the ids that went, the menus' order
//   "popup"        {popup}               a blocking popup is open;  "popup_gone" {id}
//   "modal"        {stack}               installed popups, topmost last
//   "stacking"     {parent, order}       children of a panel (0: top level), front first
//   "active"       {panel}               the active panel
//   "mouse_cursor" {cursor, wait}
//   "document"     {path}                the program opens a file: show it (new browser tab)
//   "status_line"  {text}                how a command ended, shown in the page's status line
// Control, panel and menu-bar changes are gathered during one turn of the event loop and go out together
// when it ends (see flush_changes in notify.h), each object once; every other message first sends what is
// gathered, so a view sees the changes in the model's order.
// The snapshot is {"type": "snapshot", panels: [...with controls and plots...],
// menubars: [...], popups: [...], modal: [...], mouse_cursor, screen}.
//
// User input goes back the other way: post a task that calls vui::user::...
// (user_actions.h), or vui::answer_popup for an open popup (ui_loop.h).
//
// Subscribing, the snapshot and all callbacks happen on the UI thread: a view
// on another thread posts a task (vui::post_task) that takes the snapshot and
// subscribes in one go, so no change falls between them. Subscribers must not
// block; they hand the message over to their own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>

namespace vui {

nlohmann::json snapshot();

// A list box longer than this goes to the views a window of rows at a time.
constexpr std::size_t kLongListRows = 1000;
// Rows [from, to) of a list, at most kLongListRows of them, for a view that shows them:
//   {"type": "rows", panel, ctrl, count, at, items}
// (the changes gathered so far are sent first, so the rows are never older than what the view was told).
// Nothing (null) when there is no such list.
nlohmann::json list_rows(int panel, int ctrl, std::size_t from, std::size_t to);
int subscribe(std::function<void(const nlohmann::json&)> subscriber);
void unsubscribe(int id);

// Values appended to a strip chart, as the program passed them: value k goes to
// trace (first_trace + k) % traces of scan first_scan + (first_trace + k) / traces.
struct StripAppend {
    int panel = 0;
    int ctrl = 0;
    std::int64_t first_scan = 0;
    int first_trace = 0;
    int traces = 1;
    const double* values = nullptr;
    std::size_t count = 0;
    std::size_t step = 1;  // distance between two values in `values`
    double at(std::size_t k) const { return values[k * step]; }
};

// A view that may be idle (no page open): changes are built only while
// `watching` says yes, and strip blocks reach `strips` as raw values, never as
// JSON. Both are asked and called on the UI thread.
int subscribe_view(std::function<void(const nlohmann::json&)> changes, std::function<void(const StripAppend&)> strips,
                   std::function<bool()> watching);

}  // namespace vui
