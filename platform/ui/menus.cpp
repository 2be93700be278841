// Menu bars: menus, submenus and items with names, check marks, dimming, shortcut keys and callbacks.
#include <algorithm>

#include "platform/ui/model.h"
#include "platform/ui/notify.h"

using namespace vui;

namespace {

MenuNode* node(MenuBar& b, int id)
{
    auto it = b.nodes.find(id);
    return it == b.nodes.end() ? nullptr : &it->second;
}

// Removes a node and everything under it.
void erase_node(MenuBar& b, int id)
{
    MenuNode* n = node(b, id);
    if (!n) return;
    std::vector<int> below = n->children;
    int submenu = n->submenu;
    for (int child : below) erase_node(b, child);
    if (submenu) erase_node(b, submenu);
    int parent = b.parent_of(id);
    if (MenuNode* p = node(b, parent)) {
        p->children.erase(std::remove(p->children.begin(), p->children.end(), id), p->children.end());
        if (!p->is_menu && p->submenu == id) p->submenu = 0;
    }
    b.menus.erase(std::remove(b.menus.begin(), b.menus.end(), id), b.menus.end());
    b.nodes.erase(id);
}

}  // namespace

int NewMenuBar(int panel)
{
    Model& m = model();
    Panel* p = nullptr;
    if (panel != 0) {
        p = find_panel(panel);
        if (!p) return UIE_BAD_HANDLE;
    }
    auto bar = std::make_unique<MenuBar>();
    bar->handle = m.next_menubar++;
    bar->panel = panel;
    int h = bar->handle;
    m.menubars[h] = std::move(bar);
    if (p) {
        if (p->menubar) DiscardMenuBar(p->menubar);
        p->menubar = h;
    }
    notify_menubar(h);
    return h;
}

int DiscardMenuBar(int menuBar)
{
    Model& m = model();
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    if (Panel* p = find_panel(b->panel))
        if (p->menubar == menuBar) p->menubar = 0;
    m.menubars.erase(menuBar);
    notify_menubar_gone(menuBar);
    return 0;
}

int GetPanelMenuBar(int panel)
{
    Panel* p = find_panel(panel);
    if (!p) return UIE_BAD_HANDLE;
    return p->menubar;
}

int NewMenu(int menuBar, const char* menuName, int beforeMenuId)
{
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    MenuNode n;
    n.id = b->next_id++;
    n.is_menu = true;
    n.name = menuName ? menuName : "";
    int id = n.id;
    b->nodes[id] = n;
    auto at = std::find(b->menus.begin(), b->menus.end(), beforeMenuId);
    b->menus.insert(at, id);
    notify_menubar(menuBar);
    return id;
}

int NewSubMenu(int menuBar, int itemId)
{
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    MenuNode* item = node(*b, itemId);
    if (!item || item->is_menu) return UIE_BAD_CTRL;
    if (item->submenu) return item->submenu;
    MenuNode n;
    n.id = b->next_id++;
    n.is_menu = true;
    n.name = item->name;
    int id = n.id;
    item->submenu = id;
    b->nodes[id] = n;
    notify_menubar(menuBar);
    return id;
}

int NewMenuItem(int menuBar, int menuId, const char* itemName, int beforeItemId, int shortcutKey,
                MenuCallbackPtr callback, void* callbackData)
{
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    MenuNode* menu = node(*b, menuId);
    if (!menu || !menu->is_menu) return UIE_BAD_CTRL;
    MenuNode n;
    n.id = b->next_id++;
    n.name = itemName ? itemName : "";
    n.shortcut = shortcutKey;
    n.callback = std::move(callback);
    n.callback_data = callbackData;
    int id = n.id;
    auto at = std::find(menu->children.begin(), menu->children.end(), beforeItemId);
    menu->children.insert(at, id);
    b->nodes[id] = std::move(n);
    notify_menubar(menuBar);
    return id;
}

int DiscardMenuItem(int menuBar, int itemId)
{
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    MenuNode* n = node(*b, itemId);
    if (!n || n->is_menu) return UIE_BAD_CTRL;
    erase_node(*b, itemId);
    notify_menubar(menuBar);
    return 0;
}

int DiscardMenu(int menuBar, int menuId)
{
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    MenuNode* n = node(*b, menuId);
    if (!n || !n->is_menu) return UIE_BAD_CTRL;
    erase_node(*b, menuId);
    notify_menubar(menuBar);
    return 0;
}

int InstallMenuCallback(int menuBar, int itemId, MenuCallbackPtr callback, void* callbackData)
{
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    MenuNode* n = node(*b, itemId);
    if (!n || n->is_menu) return UIE_BAD_CTRL;
    n->callback = std::move(callback);
    n->callback_data = callbackData;
    n->callback_name.clear();
    return 0;
}

namespace vui::detail {

int set_menu_attr(int menuBar, int id, int attr, const Value& v)
{
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    if (id == 0) {
        if (attr != ATTR_DIMMED) return UIE_BAD_ATTRIBUTE;
        if (!v.is_number()) return UIE_BAD_TYPE;
        b->dimmed = v.as_int() != 0;
        notify_menubar(menuBar);
        return 0;
    }
    MenuNode* n = node(*b, id);
    if (!n) return UIE_BAD_CTRL;
    switch (attr) {
    case ATTR_DIMMED:
        if (!v.is_number()) return UIE_BAD_TYPE;
        n->dimmed = v.as_int() != 0;
        break;
    case ATTR_CHECKED:
        if (!v.is_number()) return UIE_BAD_TYPE;
        if (n->is_menu) return UIE_BAD_ATTRIBUTE;
        n->checked = v.as_int() != 0;
        break;
    case ATTR_SHORTCUT_KEY:
        if (!v.is_number()) return UIE_BAD_TYPE;
        if (n->is_menu) return UIE_BAD_ATTRIBUTE;
        n->shortcut = static_cast<int>(v.as_int());
        break;
    case ATTR_ITEM_NAME:
        if (v.kind != Value::Text) return UIE_BAD_TYPE;
        n->name = v.s;
        break;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
    notify_menubar(menuBar);
    return 0;
}

int get_menu_attr(int menuBar, int id, int attr, Value& out)
{
    MenuBar* b = find_menubar(menuBar);
    if (!b) return UIE_BAD_HANDLE;
    if (id == 0) {
        if (attr != ATTR_DIMMED) return UIE_BAD_ATTRIBUTE;
        out = Value::of(std::int64_t{b->dimmed});
        return 0;
    }
    MenuNode* n = node(*b, id);
    if (!n) return UIE_BAD_CTRL;
    switch (attr) {
    case ATTR_DIMMED: out = Value::of(std::int64_t{n->dimmed}); return 0;
    case ATTR_CHECKED:
        if (n->is_menu) return UIE_BAD_ATTRIBUTE;
        out = Value::of(std::int64_t{n->checked});
        return 0;
    case ATTR_SHORTCUT_KEY:
        if (n->is_menu) return UIE_BAD_ATTRIBUTE;
        out = Value::of(std::int64_t{n->shortcut});
        return 0;
    case ATTR_ITEM_NAME: out = Value::of(n->name); return 0;
    case ATTR_CALLBACK_NAME: out = Value::of(n->callback_name); return 0;
    default: return UIE_BAD_ATTRIBUTE;
    }
}

}  // namespace vui::detail
