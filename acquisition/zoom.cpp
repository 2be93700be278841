// The playback graph's tool menu: zoom steps, fit and restore, grids, cursors and their read-out.
#include "acquisition/zoom.h"

#include "acquisition/axes.h"
#include "acquisition/traces.h"
#include "core/config_store.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "panels/right.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/sys/process.h"
#include "platform/ui/userint.h"

namespace {

struct ZoomState {
    int menu = -1;
    double fit_x_min = 0.0, fit_x_max = 10.0, fit_y_min = -1.0, fit_y_max = 11.0;
    double restore_y_min = -1.0, restore_y_max = 11.0;
    int x_div = 10, x_prec = 1, y_div = 12, y_prec = 1;
};
ZoomState& state()
{
    static ZoomState s;
    return s;
}

void close_menu()
{
    if (state().menu > 0) DiscardPanel(state().menu);
    state().menu = -1;
}

// Rounds the given range with auto_axis and sets it as the axis's manual range.
void round_axis(int axis, double lo, double hi)
{
    int n = 10, p = 1;
    auto_axis(&lo, &hi, &n, &p);
    SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, axis, VAL_MANUAL, lo, hi);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, axis == VAL_XAXIS ? ATTR_XDIVISIONS : ATTR_YDIVISIONS, n);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, axis == VAL_XAXIS ? ATTR_XPRECISION : ATTR_YPRECISION, p);
}

void ranges(double* x0, double* x1, double* y0, double* y1)
{
    int xm = 0, ym = 0;
    GetAxisRange(sc_handle, SCHART_PLAYBACK, &xm, x0, x1, &ym, y0, y1);
}

void round_both()
{
    double x0, x1, y0, y1;
    ranges(&x0, &x1, &y0, &y1);
    round_axis(VAL_XAXIS, x0, x1);
    round_axis(VAL_LEFT_YAXIS, y0, y1);
}

int cursors()
{
    int n = 0;
    GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS, &n);
    return n;
}

void place_at_centre(int cursor)
{
    double x0, x1, y0, y1;
    ranges(&x0, &x1, &y0, &y1);
    SetGraphCursor(sc_handle, SCHART_PLAYBACK, cursor, (x0 + x1) / 2, (y0 + y1) / 2);
}

void first_cursor()
{
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS, 1);
    SetCursorAttribute(sc_handle, SCHART_PLAYBACK, 1, ATTR_CURSOR_MODE, VAL_SNAP_TO_POINT);
    place_at_centre(1);
}

struct Tool {
    int value;
    const char* entry;
};
constexpr Tool kTools[] = {{0, "Show/Hide"}, {1, "Zoom In"},     {2, "Zoom In X"},  {3, "Zoom In Y"},
                           {4, "Zoom Out"},  {5, "Zoom Out X"},  {6, "Zoom Out Y"}, {7, "Zoom Fit"},
                           {8, "Zoom Restore"}, {9, "View Pan"}, {10, "X Grid"},    {11, "Y Grid"},
                           {12, "XY Scale"}, {13, "Cursor 1"},   {14, "Cursor 2"},  {15, "Cursor Snap"}};

const char* kZoomIn =
    "To zoom in, press the <Ctrl> key and click the left mouse button over the zoom point (you can release the "
    "<Ctrl> key after you press the mouse button). The resolution in the viewport increases dynamically until the "
    "mouse is released. If you drag the mouse, the zooming continues but does so over the new point under the mouse "
    "cursor. The zooming stops when you release the left mouse button or click on the right mouse button.";
const char* kZoomOut =
    "To zoom out, press the <Ctrl> key and click the right mouse button over the zoom point (you can release the "
    "<Ctrl> key after you press the mouse button). The viewport increases dynamically until the mouse is released. "
    "If you drag the mouse, the zooming continues but does so over the new point under the mouse cursor. The zooming "
    "stops when you release the right mouse button or click on the right mouse button.";
const char* kPan =
    "To pan, press the <Ctrl-Shift> keys and click on the left mouse button over a point on the viewport. Then drag "
    "the mouse to another point. The graph viewport scrolls so that the original point now appears under the new "
    "mouse cursor location. You can drag the mouse anywhere on the screen, even beyond the viewport.";

void open_menu(int top, int left)
{
    const int menu = LoadPanel(sc_handle, "right.uir", TOOLS);
    if (menu <= 0) return;
    state().menu = menu;
    SetPanelAttribute(menu, ATTR_TOP, top);
    SetPanelAttribute(menu, ATTR_LEFT, left);
    const int n = cursors();
    int count = 0;
    for (const Tool& t : kTools) {
        if (t.value >= 14 && n < 1) continue;
        InsertListItem(menu, TOOLS_TOOLS, -1, t.entry, t.value);
        ++count;
    }
    for (; count < 24; ++count) InsertListItem(menu, TOOLS_TOOLS, -1, "     ", -1);
    SetCtrlIndex(menu, TOOLS_TOOLS, 22);
    auto check = [menu](int value, bool on) {
        int index = -1;
        if (GetIndexFromValue(menu, TOOLS_TOOLS, &index, value) >= 0 && index >= 0) CheckListItem(menu, TOOLS_TOOLS, index, on ? 1 : 0);
    };
    check(13, n >= 1);
    check(14, n >= 2);
    if (n >= 1) {
        int mode = 0;
        GetCursorAttribute(sc_handle, SCHART_PLAYBACK, 1, ATTR_CURSOR_MODE, &mode);
        check(15, mode == VAL_SNAP_TO_POINT);
    }
    int xg = 0, yg = 0;
    GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_XGRID_VISIBLE, &xg);
    GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_YGRID_VISIBLE, &yg);
    check(10, xg != 0);
    check(11, yg != 0);
    DisplayPanel(menu);
}

void switch_grid(int attr, short param)
{
    int on = 0;
    GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, attr, &on);
    on = !on;
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, attr, on);
    SetCtrlAttribute(sc_handle, SCHART_STRIP, attr, on);
    get_put_number(param, 0, NUMBER_T_WRITE, on);
}

}  // namespace

void setPlaybackLimits(double fit_x_min, double fit_x_max, double fit_y_min, double fit_y_max)
{
    ZoomState& s = state();
    s.fit_x_min = fit_x_min;
    s.fit_x_max = fit_x_max;
    s.fit_y_min = fit_y_min;
    s.fit_y_max = fit_y_max;
}

void setRestoreLimits(double y_min, double y_max)
{
    state().restore_y_min = y_min;
    state().restore_y_max = y_max;
}

void setRestoreSteps(int x_divisions, int x_precision, int y_divisions, int y_precision)
{
    ZoomState& s = state();
    s.x_div = x_divisions;
    s.x_prec = x_precision;
    s.y_div = y_divisions;
    s.y_prec = y_precision;
}

void SetCursorText()
{
    if (sc_handle <= 0) return;
    const int n = cursors();
    if (n < 1) return;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    GetGraphCursor(sc_handle, SCHART_PLAYBACK, 1, &x1, &y1);
    std::string text;
    if (n >= 2) {
        GetGraphCursor(sc_handle, SCHART_PLAYBACK, 2, &x2, &y2);
        text = vsys::strprintf("X1=%.4lf Y1=%.4lf X2=%.4lf Y2=%.4lf dX=%.4lf dY=%.4lf", x1, y1, x2, y2, x1 - x2, y1 - y2);
    } else {
        text = vsys::strprintf("X = %.4lf Y = %.4lf", x1, y1);
    }
    SetCtrlVal(sc_handle, SCHART_CURSORS, text.c_str());
    SetCtrlAttribute(sc_handle, SCHART_CURSORS, ATTR_VISIBLE, 1);
    int plot1 = -1, point1 = -1, plot2 = 0, point2 = 0, mode = 0;
    GetGraphCursorIndex(sc_handle, SCHART_PLAYBACK, 1, &plot1, &point1);
    if (n >= 2) GetGraphCursorIndex(sc_handle, SCHART_PLAYBACK, 2, &plot2, &point2);
    GetCursorAttribute(sc_handle, SCHART_PLAYBACK, 1, ATTR_CURSOR_MODE, &mode);
    if ((plot1 > 0 && plot2 >= 0) || mode == VAL_FREE_FORM)
        Flags &= static_cast<std::uint8_t>(~FLAG_CURSOR_READOUT);
    else
        Flags |= FLAG_CURSOR_READOUT;
}

int chartCallback(int, int, int event, void*, int d1, int d2)
{
    close_menu();
    if (sc_handle <= 0) return 0;
    if (event == EVENT_VAL_CHANGED) {
        SetCursorText();
    } else if (event == EVENT_LEFT_CLICK) {
        if (vsys::ctrl_key_down()) {
            round_both();
        } else {
            if (cursors() == 0) first_cursor();
            SetCursorText();
        }
    } else if (event == EVENT_RIGHT_CLICK) {
        round_both();
        if (!vsys::ctrl_key_down()) open_menu(d1, d2);
    }
    return 0;
}

int clickAction(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    int value = -1;
    GetCtrlVal(panel, control, &value);
    close_menu();
    if (value < 0 || value > 15 || sc_handle <= 0) return 0;
    double x0, x1, y0, y1;
    ranges(&x0, &x1, &y0, &y1);
    const double cx = (x0 + x1) / 2, rx = x1 - x0, cy = (y0 + y1) / 2, ry = y1 - y0;
    ZoomState& s = state();
    switch (value) {
    case 0: display_toggle(sc_handle, 0, EVENT_COMMIT, nullptr, 0, 0); break;
    case 1: MessagePopup("Zoom In", kZoomIn); break;
    case 2: round_axis(VAL_XAXIS, cx - rx / 4, cx + rx / 4); break;
    case 3: round_axis(VAL_LEFT_YAXIS, cy - ry / 4, cy + ry / 4); break;
    case 4: MessagePopup("Zoom Out", kZoomOut); break;
    case 5: round_axis(VAL_XAXIS, cx - rx, cx + rx); break;
    case 6: round_axis(VAL_LEFT_YAXIS, cy - ry, cy + ry); break;
    case 7:
    case 8:
        SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_XAXIS, VAL_MANUAL, s.fit_x_min, s.fit_x_max);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_XDIVISIONS, s.x_div);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_XPRECISION, s.x_prec);
        if (value == 7) {
            round_axis(VAL_LEFT_YAXIS, s.fit_y_min, s.fit_y_max);
        } else {
            SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_LEFT_YAXIS, VAL_MANUAL, s.restore_y_min, s.restore_y_max);
            SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_YDIVISIONS, s.y_div);
            SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_YPRECISION, s.y_prec);
        }
        break;
    case 9: MessagePopup("View Pan", kPan); break;
    case 10: switch_grid(ATTR_XGRID_VISIBLE, 2); break;
    case 11: switch_grid(ATTR_YGRID_VISIBLE, 3); break;
    case 12: display_axes(sc_handle, 0, EVENT_COMMIT, nullptr, 0, 0); break;
    case 13:
        if (cursors() == 0) {
            first_cursor();
            SetCtrlAttribute(sc_handle, SCHART_CURSORS, ATTR_VISIBLE, 1);
            chartCallback(sc_handle, SCHART_PLAYBACK, EVENT_VAL_CHANGED, nullptr, 0, 0);
        } else {
            SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS, 0);
            SetCtrlAttribute(sc_handle, SCHART_CURSORS, ATTR_VISIBLE, 0);
        }
        break;
    case 14:
        if (cursors() >= 2) {
            SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS, 1);
        } else {
            int mode = VAL_SNAP_TO_POINT;
            GetCursorAttribute(sc_handle, SCHART_PLAYBACK, 1, ATTR_CURSOR_MODE, &mode);
            SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_NUM_CURSORS, 2);
            SetCursorAttribute(sc_handle, SCHART_PLAYBACK, 2, ATTR_CURSOR_COLOR, 0x00FF00);
            SetCursorAttribute(sc_handle, SCHART_PLAYBACK, 2, ATTR_CURSOR_MODE, mode);
            place_at_centre(2);
            SetActiveGraphCursor(sc_handle, SCHART_PLAYBACK, 2);
        }
        chartCallback(sc_handle, SCHART_PLAYBACK, EVENT_VAL_CHANGED, nullptr, 0, 0);
        break;
    case 15: {
        int mode = 0;
        GetCursorAttribute(sc_handle, SCHART_PLAYBACK, 1, ATTR_CURSOR_MODE, &mode);
        mode = mode == VAL_SNAP_TO_POINT ? VAL_FREE_FORM : VAL_SNAP_TO_POINT;
        SetCursorAttribute(sc_handle, SCHART_PLAYBACK, 1, ATTR_CURSOR_MODE, mode);
        if (cursors() >= 2) SetCursorAttribute(sc_handle, SCHART_PLAYBACK, 2, ATTR_CURSOR_MODE, mode);
        break;
    }
    default: break;
    }
    return 0;
}

int cancel_panel(int panel, int event, void*, int, int)
{
    if (event == EVENT_CLOSE) DiscardMyPanel(&panel);
    return 0;
}
