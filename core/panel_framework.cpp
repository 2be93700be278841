// Panel geometry kept in hidden controls of each prepared panel, tiling of the five main windows, and panel closing.
#include "core/panel_framework.h"

#include <string>

#include "core/config_store.h"
#include "core/control_layout.h"
#include "core/globals.h"
#include "core/core_seams.h"
#include "panels/s_chart.h"
#include "platform/ui/userint.h"

namespace {

constexpr const char* kIcon = "up_down.ico";

// The main windows in the order used everywhere here, with their Window menu items.
struct MainWindow {
    int* handle;
    int item;
};
const MainWindow kMain[] = {{&sc_handle, 57}, {&spc_panel, 59}, {&list_panel, 60}, {&compare_panel, 61},
                            {&spc_chart_selections, 58}};

int attr(int panel, int a)
{
    int v = 0;
    GetPanelAttribute(panel, a, &v);
    return v;
}

void place_button(int panel, int button, int width)
{
    SetCtrlAttribute(panel, button, ATTR_TOP, 2);
    SetCtrlAttribute(panel, button, ATTR_LEFT, width - 18);
    SetCtrlAttribute(panel, button, ATTR_WIDTH, 16);
    SetCtrlAttribute(panel, button, ATTR_HEIGHT, 16);
    SetCtrlAttribute(panel, button, ATTR_IMAGE_FILE, kIcon);
}

int hidden_control(int panel, const char* label, int value)
{
    int c = NewCtrl(panel, CTRL_NUMERIC, label, 10, 10);
    SetCtrlAttribute(panel, c, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, c, ATTR_CTRL_MODE, 1);
    SetCtrlVal(panel, c, value);
    return c;
}

bool prepared(int panel, panel_attributes& rec)
{
    rec = panel_attributes{};
    rec.panel = panel;
    return get_my_attributes(&rec) == 1;
}

// The size of the area a child panel lives in: its parent's client area.
void parent_size(int panel, int& width, int& height)
{
    int parent = attr(panel, ATTR_PANEL_PARENT);
    if (parent <= 0) parent = parent_panel;
    width = attr(parent, ATTR_WIDTH);
    height = attr(parent, ATTR_HEIGHT);
}

void show_buttons_by_count()
{
    int open = open_main_windows();
    for (const MainWindow& w : kMain) {
        panel_attributes rec;
        if (*w.handle > 0 && prepared(*w.handle, rec))
            SetCtrlAttribute(*w.handle, rec.maximize_id, ATTR_VISIBLE, open >= 2 ? 1 : 0);
    }
}

void clamp_attribute(int panel, int ctrl, int a)
{
    int v = 0;
    if (GetCtrlAttribute(panel, ctrl, a, &v) < 0) return;
    if (v < 8) SetCtrlAttribute(panel, ctrl, a, 8);
    if (v > 18) SetCtrlAttribute(panel, ctrl, a, 18);
}

}  // namespace

int open_main_windows()
{
    int n = 0;
    for (const MainWindow& w : kMain)
        if (*w.handle > 0) ++n;
    return n;
}

int get_my_attributes(panel_attributes* r)
{
    if (r->panel < 1) return 0;
    struct Slot {
        const char* label;
        int* id;
        int* value;
    };
    Slot slots[] = {{"TOP_ID", &r->top_id, &r->top},          {"LEFT_ID", &r->left_id, &r->left},
                    {"WIDTH_ID", &r->width_id, &r->width},    {"HEIGHT_ID", &r->height_id, &r->height},
                    {"PARENT_ID", &r->parent_id, &r->parent}, {"MAXIMIZE_ID", &r->maximize_id, &r->maximized}};
    int found = 0;
    int ctrl = 0;
    if (GetPanelAttribute(r->panel, ATTR_PANEL_FIRST_CTRL, &ctrl) < 0) return 0;
    while (ctrl > 0) {
        std::string label;
        if (GetCtrlAttribute(r->panel, ctrl, ATTR_LABEL_TEXT, &label) >= 0) {
            for (Slot& s : slots) {
                if (*s.id == 0 && label == s.label) {
                    *s.id = ctrl;
                    GetCtrlVal(r->panel, ctrl, s.value);
                    ++found;
                }
            }
        }
        int next = 0;
        if (GetCtrlAttribute(r->panel, ctrl, ATTR_NEXT_CTRL, &next) < 0) break;
        ctrl = next;
    }
    return found == 6 ? 1 : 0;
}

void set_panel_attributes(int panel, int parent, char maximize, char center)
{
    if (panel < 1) return;
    SetPanelAttribute(panel, ATTR_PANEL_SCROLL_BARS, 0);
    int top = attr(panel, ATTR_TOP), left = attr(panel, ATTR_LEFT);
    int width = attr(panel, ATTR_WIDTH), height = attr(panel, ATTR_HEIGHT);
    hidden_control(panel, "TOP_ID", top);
    hidden_control(panel, "LEFT_ID", left);
    hidden_control(panel, "WIDTH_ID", width);
    hidden_control(panel, "HEIGHT_ID", height);
    hidden_control(panel, "PARENT_ID", parent);
    panel_attributes parent_rec;
    const bool parent_prepared = parent > 0 && prepared(parent, parent_rec);
    int button = NewCtrl(panel, CTRL_PICTURE_BUTTON, "MAXIMIZE_ID", 2, width - 18);
    place_button(panel, button, width);
    InstallCtrlCallback(panel, button, panel_toggle, nullptr);
    if (maximize) {
        SetCtrlVal(panel, button, 1);
        panel_toggle(panel, button, EVENT_COMMIT, nullptr, 0, 0);
    } else {
        SetCtrlVal(panel, button, 0);
        if (center) {
            SetPanelAttribute(panel, ATTR_TOP, VAL_AUTO_CENTER);
            SetPanelAttribute(panel, ATTR_LEFT, VAL_AUTO_CENTER);
        }
    }
    InstallPanelCallback(panel, panel_handler, nullptr);
    const int look[][2] = {{599, 0}, {600, 1}, {605, 1}, {588, 10}, {619, 300},
                           {621, 300}, {580, 0}, {581, 1}, {610, 0}};
    for (const auto& a : look) SetPanelAttribute(panel, a[0], a[1]);
    if (parent_prepared) {
        SetPanelAttribute(panel, ATTR_FRAME_THICKNESS, 1);
        SetPanelAttribute(panel, ATTR_SIZABLE, 0);
        SetPanelAttribute(panel, ATTR_FRAME_STYLE, 4);
        SetCtrlAttribute(panel, button, ATTR_VISIBLE, 0);
    } else {
        SetPanelAttribute(panel, ATTR_SIZABLE, 1);
        SetPanelAttribute(panel, ATTR_FRAME_STYLE, 6);
        SetPanelAttribute(panel, ATTR_FRAME_THICKNESS, 5);
        if (open_main_windows() < 2) SetCtrlAttribute(panel, button, ATTR_VISIBLE, 0);
    }
}

void sizePanel(panel_attributes* r, int left, int width, int top, int height)
{
    const int panel = r->panel;
    vcore::scale_controls(panel, width, height);
    SetPanelAttribute(panel, ATTR_TOP, top);
    SetPanelAttribute(panel, ATTR_LEFT, left);
    SetPanelAttribute(panel, ATTR_WIDTH, width);
    SetPanelAttribute(panel, ATTR_HEIGHT, height);
}

int panel_toggle(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int value = 0;
    GetCtrlVal(panel, control, &value);
    panel_attributes rec;
    if (!prepared(panel, rec)) return 0;
    if (value == 1) {
        SetCtrlVal(panel, rec.top_id, attr(panel, ATTR_TOP));
        SetCtrlVal(panel, rec.left_id, attr(panel, ATTR_LEFT));
        SetCtrlVal(panel, rec.width_id, attr(panel, ATTR_WIDTH));
        SetCtrlVal(panel, rec.height_id, attr(panel, ATTR_HEIGHT));
        int parent = rec.parent > 0 ? rec.parent : parent_panel;
        sizePanel(&rec, 0, attr(parent, ATTR_WIDTH), 20, attr(parent, ATTR_HEIGHT) - 20);
    } else {
        sizePanel(&rec, rec.left, rec.width, rec.top, rec.height);
    }
    place_button(panel, control, attr(panel, ATTR_WIDTH));
    return 0;
}

int panel_handler(int panel, int event, void*, int, int)
{
    if (event == EVENT_GOT_FOCUS) {
        for (const MainWindow& w : kMain) {
            if (*w.handle > 0 && *w.handle == panel) {
                core_seams().spc_sc_toggle(handle_menu, w.item, nullptr, panel);
                break;
            }
        }
    }
    if (event == EVENT_PANEL_SIZE || event == EVENT_PANEL_MOVE) {
        // Child panels are placed in their parent's client area, so the limits are too.
        int W = 0, H = 0;
        parent_size(panel, W, H);
        const int t = attr(panel, ATTR_TOP), l = attr(panel, ATTR_LEFT), w = attr(panel, ATTR_WIDTH);
        if (t < 20) SetPanelAttribute(panel, ATTR_TOP, 20);
        if (l < -w + 20) SetPanelAttribute(panel, ATTR_LEFT, -w + 20);
        if (l > W - 20) SetPanelAttribute(panel, ATTR_LEFT, W - 20);
        if (t > H - 20) SetPanelAttribute(panel, ATTR_TOP, H - 20);
        panel_attributes rec;
        if (prepared(panel, rec) && rec.maximized == 0) {
            place_button(panel, rec.maximize_id, w);
            SetCtrlVal(panel, rec.maximize_id, 0);
        }
        if (sc_handle > 0 && panel == sc_handle) {
            clamp_attribute(panel, SCHART_X_START, ATTR_LABEL_POINT_SIZE);
            clamp_attribute(panel, SCHART_X_END, ATTR_LABEL_POINT_SIZE);
            clamp_attribute(panel, SCHART_STATUS, ATTR_TEXT_POINT_SIZE);
            clamp_attribute(panel, SCHART_STRIP, ATTR_XYLABEL_POINT_SIZE);
        }
    }
    show_buttons_by_count();
    return 0;
}

int menu_tile(int, int, void*, int)
{
    static const int rows[6] = {0, 1, 2, 2, 2, 2};
    static const int per_row[6][2] = {{0, 0}, {1, 0}, {1, 1}, {1, 2}, {2, 2}, {2, 3}};
    const int n = open_main_windows();
    if (n == 0) return 0;
    if (n == 1) {
        for (const MainWindow& w : kMain) {
            panel_attributes rec;
            if (*w.handle > 0 && prepared(*w.handle, rec)) {
                SetCtrlVal(*w.handle, rec.maximize_id, 1);
                panel_toggle(*w.handle, rec.maximize_id, EVENT_COMMIT, nullptr, 0, 0);
            }
        }
        // No panel event may follow (a tiled window was just discarded): the lone window's button goes now.
        show_buttons_by_count();
        return 0;
    }
    // The windows are children of the main panel: positions are in its client area.
    const int W = attr(parent_panel, ATTR_WIDTH), H = attr(parent_panel, ATTR_HEIGHT);
    const int r = rows[n];
    int row = 0, column = 0;
    for (const MainWindow& w : kMain) {
        if (*w.handle <= 0) continue;
        const int c = per_row[n][row];
        panel_attributes rec;
        if (prepared(*w.handle, rec)) {
            SetCtrlVal(*w.handle, rec.maximize_id, 0);
            const int top = 20 + row * (H - 20) / r;
            const int left = column * W / c;
            const int width = W / c;
            const int height = (H - 20 - 20 * r) / r;
            sizePanel(&rec, left, width, top, height);
            place_button(*w.handle, rec.maximize_id, width);
        }
        if (++column == c) {
            column = 0;
            ++row;
        }
    }
    return 0;
}

int DiscardMyPanel(int* panel)
{
    if (*panel <= 0) return 0;
    panel_attributes rec;
    if (prepared(*panel, rec) && rec.parent > 0) {
        SetPanelAttribute(rec.parent, ATTR_DIMMED, 0);
        panel_attributes parent_rec;
        if (!prepared(rec.parent, parent_rec)) {
            SetMenuBarAttribute(handle_menu, MENUBAR_HELP_HELP, ATTR_SHORTCUT_KEY, 3840);
            SetMenuBarAttribute(handle_menu, 0, ATTR_DIMMED, 0);
            for (const MainWindow& w : kMain)
                if (*w.handle > 0) SetPanelAttribute(*w.handle, ATTR_DIMMED, 0);
        }
    }
    vcore::forget_controls(*panel);
    int result = DiscardPanel(*panel);
    *panel = -1;
    menu_tile(MENUBAR, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
    return result;
}

int tile_panels(int, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) menu_tile(MENUBAR, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
    return 0;
}

int cancel_this_panel(int panel, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) DiscardMyPanel(&panel);
    return 0;
}

int cancel_uncommitted(int panel, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) {
        LoadSetup();
        DiscardMyPanel(&panel);
    }
    return 0;
}

int set_pending_altered_flag(int, int, int event, void*, int, int)
{
    if (event == EVENT_VAL_CHANGED) GotoEditMode();
    return 0;
}

namespace {
template <typename F>
int for_each_ctrl(int panel, F f)
{
    int ctrl = 0, changed = 0;
    if (GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, &ctrl) < 0) return 0;
    while (ctrl > 0) {
        if (f(ctrl)) ++changed;
        int next = 0;
        if (GetCtrlAttribute(panel, ctrl, ATTR_NEXT_CTRL, &next) < 0) break;
        ctrl = next;
    }
    return changed;
}
}  // namespace

int deactivate_hotkeys(int panel)
{
    return for_each_ctrl(panel, [panel](int ctrl) {
        int key = 0;
        if (GetCtrlAttribute(panel, ctrl, ATTR_SHORTCUT_KEY, &key) < 0 || (key != 768 && key != 1280)) return false;
        SetCtrlAttribute(panel, ctrl, ATTR_SHORTCUT_KEY, key | 0x40000);
        return true;
    });
}

int activate_hotkeys(int panel)
{
    return for_each_ctrl(panel, [panel](int ctrl) {
        int key = 0;
        if (GetCtrlAttribute(panel, ctrl, ATTR_SHORTCUT_KEY, &key) < 0 || (key != 0x40300 && key != 0x40500)) return false;
        SetCtrlAttribute(panel, ctrl, ATTR_SHORTCUT_KEY, key & ~0x40000);
        SetActiveCtrl(panel, ctrl);
        return true;
    });
}
