// The in-process model behind the library: panels, controls, menus, graphs, popups (UI thread only).
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/userint.h"

namespace vui {

struct ListItem {
    std::string label;
    Value value;
    bool checked = false;
};

struct Plot {
    int handle = 0;
    enum Kind { XY, Line, Point, Oval, Rectangle, Text } kind = XY;
    std::vector<double> x, y;  // points; Line/Oval/Rectangle: two corners; Point/Text: one
    std::string text;
    std::map<int, Value> attrs;  // ATTR_TRACE_COLOR, ATTR_TRACE_VISIBLE, styles, fill colour (-1 key)
    bool visible() const;
};

struct Axis {
    int mode = VAL_AUTOSCALE;
    double min = 0.0, max = 10.0;
};

struct GraphCursor {
    double x = 0.0, y = 0.0;
    int mode = VAL_FREE_FORM;
    int color = 0xFFFF00;
    int plot = -1, point = -1;  // where a snapped cursor sits
};

struct StripTrace {
    std::deque<double> points;  // the last points-per-screen values
    int color = 0xFF0000;
    bool visible = true;
};

struct GraphData {
    Axis xaxis, yaxis;
    std::vector<Plot> plots;
    int next_plot = 1;
    std::vector<GraphCursor> cursors;
    int active_cursor = 1;
    // strip chart
    std::vector<StripTrace> traces;
    int points_per_screen = 100;
    std::int64_t scans = 0;  // values appended so far per trace (the x position of the newest)
    int next_trace = 0;      // interleaving carries over between calls
    bool deferred_delete = false;
};

struct Control {
    int id = 0;
    int style = CTRL_NUMERIC;
    int data_type = VAL_DOUBLE;
    std::map<int, Value> attrs;
    Value value;
    std::vector<ListItem> items;
    int index = -1;  // current item of list boxes and rings
    CtrlCallbackPtr callback;
    void* callback_data = nullptr;
    std::string callback_name;
    std::unique_ptr<GraphData> graph;
    // timer controls
    double next_due = 0.0;
    bool running = false;
};

struct Panel {
    int handle = 0;
    int parent = 0;
    std::string file;
    int resource = 0;
    std::map<int, Value> attrs;
    std::vector<std::unique_ptr<Control>> controls;  // creation order
    std::vector<int> children;                       // stacking order, front first
    PanelCallbackPtr callback;
    void* callback_data = nullptr;
    std::string callback_name;
    int active_ctrl = 0;
    int menubar = 0;
    int next_ctrl_id = 1;
    Control* find(int id);
};

struct MenuNode {
    int id = 0;
    bool is_menu = false;  // a menu or submenu (holds items); otherwise an item
    std::string name;
    int shortcut = 0;
    bool checked = false;
    bool dimmed = false;
    int submenu = 0;  // item: id of its submenu, 0 = none
    MenuCallbackPtr callback;
    void* callback_data = nullptr;
    std::string callback_name;
    std::vector<int> children;  // menu: item ids in order
};

struct MenuBar {
    int handle = 0;
    int panel = 0;
    bool dimmed = false;
    std::vector<int> menus;  // top-level menu ids in order
    std::map<int, MenuNode> nodes;
    int next_id = 1;
    int parent_of(int id) const;  // the menu holding an item or submenu, 0 for a top-level menu
};

struct Popup {
    int id = 0;
    std::string kind;  // "message", "confirm", "generic", "prompt", "file", "dir"
    std::string title, text;
    std::vector<std::string> buttons;
    std::string default_path, file_types;
    // File popups: the folder they open in and, when restricted, the only folder and extensions accepted.
    std::string directory;
    bool restrict_dir = false, restrict_ext = false;
    bool allow_make_dir = false;  // file and directory popups: the user may make a new folder
    std::vector<std::string> extensions;  // ".ext", as the program spells them
    int max_length = 0;
    int enter_button = 0, escape_button = 0;
    bool answered = false;
    int button = 0;
    std::string response;
};

struct Model {
    std::map<int, std::unique_ptr<Panel>> panels;
    std::vector<int> top_level;  // stacking order, front first
    std::map<int, std::unique_ptr<MenuBar>> menubars;
    std::vector<int> popup_stack;  // installed popups, last = topmost
    std::vector<Popup*> open_popups;  // blocking popups being shown
    int next_panel = 1;
    int next_menubar = 1;
    int next_popup = 1;
    int active_panel = 0;
    int mouse_cursor = VAL_DEFAULT_CURSOR;
    bool wait_cursor = false;
    int screen_width = 1920, screen_height = 1080;
};

Model& model();
// Forgets every panel, menu bar and popup (tests start from nothing).
void reset_model();
void forget_load_errors();

Panel* find_panel(int handle);
Control* find_ctrl(int panel, int ctrl);
MenuBar* find_menubar(int handle);
// A panel and all its ancestors visible.
bool panel_shown(int handle);
// True when `panel` is `root` or lies inside it.
bool panel_within(int panel, int root);
// Raises a panel and every window it lies in to the front of their siblings (behind any that hold a modal popup).
void raise_panel(int handle);
// Creates an empty hidden panel; returns its handle (UIE_BAD_HANDLE for a bad parent).
int create_panel(int parent);
// Creates a control with the given id and style on a panel (nullptr when the id is taken).
Control* create_ctrl(int panel, int id, int style);
// Lines of a text box (a last empty line after a final newline does not count).
std::vector<std::string> text_box_lines(const Control& c);
// Converts a value to a control's data type and range; false when text meets number.
namespace detail { bool to_ctrl_type(const Control& c, const Value& in, Value& out); }
// Starts a timer control's schedule from now.
void schedule_timer(Control& c);

int default_data_type(int style);
bool style_has_items(int style);
bool is_graph_style(int style);
// Looks an attribute up for panels or controls; its default when never set.
std::optional<Value> attribute_default(int attr, bool panel, int style);

// Runs a control or panel callback on the UI thread, catching whatever escapes it.
int call_ctrl_callback(int panel, int ctrl, int event, int data1, int data2);
int call_panel_callback(int panel, int event, int data1, int data2);
void call_menu_callback(int menubar, int item);
void report_fatal(const std::string& message);

}  // namespace vui
