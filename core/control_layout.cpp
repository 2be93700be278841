// Scaling from each control's own geometry: truncating at every tile and restore shrank controls for good.
#include "core/control_layout.h"

#include <algorithm>
#include <map>
#include <vector>

#include "platform/ui/userint.h"

namespace vcore {

namespace {

// Below this the controls' text no longer fits them: the rows of buttons and read-outs overprint each other.
constexpr double kLeastScale = 0.9;
constexpr int kBothScrollBars = 3;

struct Box {
    int top = 0, left = 0, width = 0, height = 0;
};

struct Kept {
    int id = 0;
    Box own;     // at the panel's own size
    Box placed;  // as last placed here
};

struct Layout {
    int width = 0, height = 0;  // the client at the panel's own size
    std::vector<Kept> controls;
};

std::map<int, Layout>& layouts()
{
    static std::map<int, Layout> all;
    return all;
}

Box box_of(int panel, int ctrl)
{
    Box b;
    GetCtrlAttribute(panel, ctrl, ATTR_TOP, &b.top);
    GetCtrlAttribute(panel, ctrl, ATTR_LEFT, &b.left);
    GetCtrlAttribute(panel, ctrl, ATTR_WIDTH, &b.width);
    GetCtrlAttribute(panel, ctrl, ATTR_HEIGHT, &b.height);
    return b;
}

std::vector<int> controls_of(int panel)
{
    std::vector<int> ids;
    int ctrl = 0;
    GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, &ctrl);
    while (ctrl > 0) {
        ids.push_back(ctrl);
        int next = 0;
        if (GetCtrlAttribute(panel, ctrl, ATTR_NEXT_CTRL, &next) < 0) break;
        ctrl = next;
    }
    return ids;
}

int scaled(int v, double k) { return static_cast<int>(v * k); }

bool same(const Box& a, const Box& b)
{
    return a.top == b.top && a.left == b.left && a.width == b.width && a.height == b.height;
}

}  // namespace

void scale_controls(int panel, int width, int height)
{
    int old_width = 0, old_height = 0, f = 0;
    GetPanelAttribute(panel, ATTR_WIDTH, &old_width);
    GetPanelAttribute(panel, ATTR_HEIGHT, &old_height);
    GetPanelAttribute(panel, ATTR_FRAME_THICKNESS, &f);
    const int cw = old_width - 2 * f, ch = old_height - 2 * f;
    auto found = layouts().find(panel);
    if (found == layouts().end()) {
        // A panel with no room inside its frame has nothing to scale from.
        if (cw <= 0 || ch <= 0) return;
        found = layouts().emplace(panel, Layout{cw, ch, {}}).first;
    }
    Layout& layout = found->second;
    // Not one control where it was last placed: the handle belongs to another panel now.
    const std::vector<int> ids = controls_of(panel);
    bool any_in_place = false;
    for (const Kept& k : layout.controls)
        for (int id : ids)
            if (id == k.id && same(box_of(panel, id), k.placed)) any_in_place = true;
    if (!layout.controls.empty() && !any_in_place) {
        if (cw <= 0 || ch <= 0) return;
        layout = Layout{cw, ch, {}};
    }
    // Factors from the client as it is now back to the panel's own size.
    const double back_x = cw > 0 ? static_cast<double>(layout.width) / cw : 1.0;
    const double back_y = ch > 0 ? static_cast<double>(layout.height) / ch : 1.0;
    // Controls shrink with their window only so far that their text still fits; a window made smaller than that
    // (tiled on a small screen) scrolls instead of overprinting its labels and buttons.
    const double want_x = static_cast<double>(width - 2 * f) / layout.width;
    const double want_y = static_cast<double>(height - 2 * f) / layout.height;
    const double x = std::max(want_x, kLeastScale);
    const double y = std::max(want_y, kLeastScale);
    SetPanelAttribute(panel, ATTR_PANEL_SCROLL_BARS, x > want_x || y > want_y ? kBothScrollBars : 0);
    std::vector<Kept> now;
    for (int id : ids) {
        const Box current = box_of(panel, id);
        Kept k{id, current, current};
        bool known = false;
        for (const Kept& old : layout.controls)
            if (old.id == id) {
                k = old;
                known = true;
                break;
            }
        // A control new here, or a side the program has set since: its own geometry comes from where it is.
        if (!known) {
            k.own = {scaled(current.top, back_y), scaled(current.left, back_x), scaled(current.width, back_x),
                     scaled(current.height, back_y)};
        } else {
            if (current.top != k.placed.top) k.own.top = scaled(current.top, back_y);
            if (current.left != k.placed.left) k.own.left = scaled(current.left, back_x);
            if (current.width != k.placed.width) k.own.width = scaled(current.width, back_x);
            if (current.height != k.placed.height) k.own.height = scaled(current.height, back_y);
        }
        int style = 0;
        GetCtrlAttribute(panel, id, ATTR_CTRL_STYLE, &style);
        const bool one_line = style == CTRL_STRING || style == CTRL_RING;
        Box b{scaled(k.own.top, y), scaled(k.own.left, x), scaled(k.own.width, x),
              one_line ? current.height : scaled(k.own.height, y)};
        SetCtrlAttribute(panel, id, ATTR_TOP, b.top);
        SetCtrlAttribute(panel, id, ATTR_LEFT, b.left);
        SetCtrlAttribute(panel, id, ATTR_WIDTH, b.width);
        if (!one_line) SetCtrlAttribute(panel, id, ATTR_HEIGHT, b.height);
        k.placed = box_of(panel, id);
        now.push_back(k);
    }
    layout.controls = std::move(now);
}

void forget_controls(int panel) { layouts().erase(panel); }

}  // namespace vcore
