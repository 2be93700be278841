// User actions on the model: typing, clicking, list picks, keys, menus, cursors, zoom, window operations.
#include "platform/ui/user_actions.h"

#include "platform/ui/graph_ops.h"
#include "platform/ui/model.h"
#include "platform/ui/notify.h"
#include "platform/ui/ui_loop.h"

namespace vui::user {

namespace {

bool refuse()
{
    count_refusal();
    return false;
}

bool indicator(int panel, int ctrl)
{
    Control* c = find_ctrl(panel, ctrl);
    if (!c) return false;
    auto it = c->attrs.find(ATTR_CTRL_MODE);
    return it != c->attrs.end() && it->second.as_int() == 1;
}

// Typing, pressing and picking need a control the user can reach: the panel itself (0) is none.
bool reach_input(int panel, int ctrl) { return ctrl != 0 && can_reach(panel, ctrl) && !indicator(panel, ctrl); }

bool send(int panel, int ctrl, int event, int d1 = 0, int d2 = 0, bool ctrl_key = false)
{
    return deliver_user_event(UserEvent{panel, ctrl, event, d1, d2, ctrl_key});
}

bool is_toggle(int style)
{
    return style == CTRL_TOGGLE_BUTTON || style == CTRL_CHECK_BOX || style == CTRL_BINARY_SWITCH ||
           style == CTRL_PICTURE_BUTTON || style == CTRL_LED;
}

}  // namespace

bool set_value(int panel, int ctrl, const Value& v, bool commit)
{
    if (!reach_input(panel, ctrl)) return refuse();
    Control* c = find_ctrl(panel, ctrl);
    if (c->style == CTRL_TEXT_BOX) {
        // A user edits the whole text, not an appended piece.
        if (v.kind != Value::Text) return false;
        c->value = v;
        notify_ctrl(panel, ctrl);
    } else if (detail::set_ctrl_val(panel, ctrl, v) < 0) {
        return false;
    }
    send(panel, ctrl, EVENT_VAL_CHANGED);
    if (commit) send(panel, ctrl, EVENT_COMMIT);
    return true;
}

bool press(int panel, int ctrl)
{
    if (!reach_input(panel, ctrl)) return refuse();
    Control* c = find_ctrl(panel, ctrl);
    if (is_toggle(c->style)) {
        c->value = Value::of(std::int64_t{c->value.as_int() == 0});
        notify_ctrl(panel, ctrl);
        send(panel, ctrl, EVENT_VAL_CHANGED);
    }
    return send(panel, ctrl, EVENT_COMMIT);
}

// Mouse events carry the vertical position in event data 1 and the horizontal one in event data 2.
bool click(int panel, int ctrl, int x, int y, bool ctrl_key) { return send(panel, ctrl, EVENT_LEFT_CLICK, y, x, ctrl_key); }
bool double_click(int panel, int ctrl, int x, int y) { return send(panel, ctrl, EVENT_LEFT_DOUBLE_CLICK, y, x); }
bool right_click(int panel, int ctrl, int x, int y, bool ctrl_key) { return send(panel, ctrl, EVENT_RIGHT_CLICK, y, x, ctrl_key); }

bool select_item(int panel, int ctrl, int index, bool commit)
{
    if (!reach_input(panel, ctrl)) return refuse();
    if (SetCtrlIndex(panel, ctrl, index) < 0) return false;
    send(panel, ctrl, EVENT_VAL_CHANGED, index);
    if (commit) send(panel, ctrl, EVENT_COMMIT, index);
    return true;
}

bool check_item(int panel, int ctrl, int index, bool checked)
{
    if (!reach_input(panel, ctrl)) return refuse();
    if (SetCtrlIndex(panel, ctrl, index) < 0) return false;
    CheckListItem(panel, ctrl, index, checked ? 1 : 0);
    send(panel, ctrl, EVENT_VAL_CHANGED, index);
    send(panel, ctrl, EVENT_COMMIT, index);
    return true;
}

bool key(int panel, int key_code)
{
    if (!can_reach(panel, 0)) return refuse();
    // The menu bar of the panel (or of the nearest ancestor that has one) comes first, unless a modal
    // popup keeps it out of reach: then the popup's own controls take the key.
    for (Panel* p = find_panel(panel); p; p = find_panel(p->parent)) {
        if (!p->menubar) continue;
        if (!can_reach(p->handle, 0)) break;
        MenuBar* b = find_menubar(p->menubar);
        for (auto& [id, n] : b->nodes)
            if (!n.is_menu && n.shortcut == key_code && n.shortcut != 0) return deliver_menu_pick(b->handle, id);
        break;
    }
    // Inside a modal popup the keys of the popup's controls work from its child panels too.
    const auto& stack = model().popup_stack;
    const int popup = stack.empty() ? 0 : stack.back();
    for (Panel* q = find_panel(panel); q; q = find_panel(q->parent)) {
        for (auto& c : q->controls) {
            auto it = c->attrs.find(ATTR_SHORTCUT_KEY);
            if (it != c->attrs.end() && it->second.as_int() == key_code && key_code != 0) return press(q->handle, c->id);
        }
        if (popup == 0 || q->handle == popup || !panel_within(panel, popup)) break;
    }
    Panel* p = find_panel(panel);
    // Esc that no control takes is the topmost popup's close box.
    const auto& popups = model().popup_stack;
    if (key_code == VAL_ESC_VKEY && !popups.empty() && popups.back() == panel) return close(panel);
    if (p->active_ctrl) return send(panel, p->active_ctrl, EVENT_KEYPRESS, key_code);
    return false;
}

bool pick_menu(int menubar, int item, bool ctrl_key) { return deliver_menu_pick(menubar, item, ctrl_key); }

bool move_cursor(int panel, int ctrl, int cursor, double x, double y, bool commit)
{
    if (!can_reach(panel, ctrl)) return refuse();
    if (move_graph_cursor(panel, ctrl, cursor, x, y) < 0) return false;
    Control* c = find_ctrl(panel, ctrl);
    auto mode = c->attrs.find(ATTR_CTRL_MODE);
    const bool hot = mode != c->attrs.end() && mode->second.as_int() == VAL_HOT;
    // A hot graph reports where the user left the cursor.
    if (!send(panel, ctrl, EVENT_VAL_CHANGED)) return false;
    return !hot || !commit || send(panel, ctrl, EVENT_COMMIT);
}

bool zoom(int panel, int ctrl, double xmin, double xmax, double ymin, double ymax)
{
    if (!can_reach(panel, ctrl)) return refuse();
    if (zoom_graph(panel, ctrl, xmin, xmax, ymin, ymax) < 0) return false;
    return send(panel, ctrl, EVENT_LEFT_CLICK, 0, 0, true);
}

bool close(int panel)
{
    // A panel that names its close control (its Cancel, say) has it pressed, as its callbacks expect.
    Panel* p = find_panel(panel);
    auto it = p ? p->attrs.find(ATTR_CLOSE_CTRL) : decltype(p->attrs.end()){};
    if (p && it != p->attrs.end() && it->second.as_int() > 0 && find_ctrl(panel, static_cast<int>(it->second.as_int())))
        return press(panel, static_cast<int>(it->second.as_int()));
    return send(panel, 0, EVENT_CLOSE);
}

bool move_panel(int panel, int top, int left)
{
    if (!can_reach(panel, 0)) return refuse();
    Panel* p = find_panel(panel);
    p->attrs[ATTR_TOP] = Value::of(std::int64_t{top});
    p->attrs[ATTR_LEFT] = Value::of(std::int64_t{left});
    notify_panel(panel);
    return send(panel, 0, EVENT_PANEL_MOVE);
}

bool size_panel(int panel, int height, int width)
{
    if (!can_reach(panel, 0)) return refuse();
    Panel* p = find_panel(panel);
    p->attrs[ATTR_HEIGHT] = Value::of(std::int64_t{height});
    p->attrs[ATTR_WIDTH] = Value::of(std::int64_t{width});
    notify_panel(panel);
    return send(panel, 0, EVENT_PANEL_SIZE);
}

bool activate(int panel)
{
    if (!can_reach(panel, 0)) return refuse();
    return SetActivePanel(panel) == 0;
}

}  // namespace vui::user
