// Numbers of the user-interface library: attributes, events, control styles, data types, error codes.
#pragma once

// Attribute numbers, and what each means in this library. "Look" attributes are
// kept, reported to the view and read back, but change no behaviour here.
//
// | number | name                      | applies to        | meaning                                          |
// |--------|---------------------------|-------------------|--------------------------------------------------|
// |  500   | ATTR_DIMMED               | panel, ctrl, menu | 1 = dimmed: user input refused; item 0 = bar     |
// |  501   | ATTR_CONSTANT_NAME        | panel, ctrl       | resource constant name (text, read-only)         |
// |  502   | ATTR_CALLBACK_NAME        | panel, ctrl       | name of the bound callback (text, read-only)     |
// |  503   | ATTR_PANEL_PARENT         | panel             | parent panel handle, 0 for top level (read-only) |
// |  510   | ATTR_DATA_TYPE            | ctrl              | VAL_* data type of the value (read-only)         |
// |  511   | ATTR_MIN_VALUE            | ctrl              | numeric range: values are coerced into it        |
// |  512   | ATTR_MAX_VALUE            | ctrl              |                                                  |
// |  513   | ATTR_MAX_ENTRY_LENGTH     | ctrl              | longest text a user may enter (0 = no limit)     |
// |  514   | ATTR_CHECK_MODE           | list box          | 1 = items carry check marks                      |
// |  520   | ATTR_INTERVAL             | timer             | seconds between ticks (> 0)                      |
// |  521   | ATTR_ENABLED              | timer             | 1 = ticking                                      |
// |  522   | ATTR_VISIBLE_LINES        | list, text box    | lines shown                                      |
// |  530   | ATTR_VISIBLE              | panel, ctrl       | 1 = shown (panels: DisplayPanel/HidePanel)       |
// |  531   | ATTR_LEFT                 | panel, ctrl       | pixels, relative to the parent's client area     |
// |  532   | ATTR_TOP                  | panel, ctrl       |   VAL_AUTO_CENTER centres a panel in its parent  |
// |  533   | ATTR_WIDTH                | panel, ctrl       |                                                  |
// |  540   | ATTR_HEIGHT               | panel, ctrl       |                                                  |
// |  551   | ATTR_SCROLL_BARS          | list, text box    | 0 none, 1 horizontal, 2 vertical, 3 both (look)  |
// |  571   | ATTR_SIZABLE              | panel             | look                                             |
// |  573   | ATTR_TITLE                | panel             | title text                                       |
// |  577   | ATTR_FRAME_STYLE          | panel             | look                                             |
// |  578   | ATTR_FRAME_THICKNESS      | panel             | pixels (look; read by the sizing code)           |
// |  580   | ATTR_HAS_TASKBAR_BUTTON   | panel             | look                                             |
// |  581   | ATTR_MOVABLE              | panel             | look                                             |
// |  588   | ATTR_TITLE_POINT_SIZE     | panel             | look                                             |
// |  597   | ATTR_WINDOW_ZOOM          | panel             | 0 normal; 2 maximised: fills parent or screen    |
// |  599   | ATTR_CAN_MAXIMIZE         | panel             | look                                             |
// |  600   | ATTR_CAN_MINIMIZE         | panel             | look                                             |
// |  605   | ATTR_CLOSE_ITEM_VISIBLE   | panel             | look                                             |
// |  610   | ATTR_ZPLANE_POSITION      | panel             | stacking among siblings, 0 = front; set 0 raises |
// |  611   | ATTR_CTRL_STYLE           | ctrl              | CTRL_* style (read-only)                         |
// |  612   | ATTR_PANEL_FIRST_CTRL     | panel             | first control id in creation order, 0 = none     |
// |  613   | ATTR_NEXT_CTRL            | ctrl              | next control id, 0 after the last                |
// |  618   | ATTR_PANEL_SCROLL_BARS    | panel             | look                                             |
// |  619   | ATTR_MIN_HEIGHT_FOR_SIZE  | panel             | look                                             |
// |  621   | ATTR_MIN_WIDTH_FOR_SIZE   | panel             | look                                             |
// |  641   | ATTR_LABEL_TEXT           | ctrl              | label text                                       |
// |  646   | ATTR_TEXT_POINT_SIZE      | ctrl              | look                                             |
// |  680   | ATTR_TEXT_COLOR           | ctrl              | 0xRRGGBB                                         |
// |  686   | ATTR_LABEL_POINT_SIZE     | ctrl              | look                                             |
// |  710   | ATTR_CTRL_MODE            | ctrl              | 0 normal, 1 indicator: the user cannot change it; |
// |        |                           |                   | 2 hot graph: a cursor move by hand also commits  |
// |  821   | ATTR_TEXT_BOLD            | ctrl              | look                                             |
// |  985   | ATTR_CTRL_COLOR           | ctrl              | 0xRRGGBB, colour of the control's face           |
// | 1020   | ATTR_SHORTCUT_KEY         | ctrl, menu item   | key code (VAL_*_VKEY | modifiers), 0 = none      |
// | 1030   | ATTR_ITEM_NAME            | menu item, menu   | text                                             |
// | 1040   | ATTR_CHECKED              | menu item         | 1 = check mark                                   |
// | 1050   | ATTR_IMAGE_FILE           | ctrl              | picture file name (look)                         |
// | 1081   | ATTR_PLOT_BGCOLOR         | graph, strip      | 0xRRGGBB of the plot area                        |
// | 1086   | ATTR_GRID_COLOR           | graph, strip      | 0xRRGGBB                                         |
// | 1087   | ATTR_XGRID_VISIBLE        | graph, strip      | 1 = shown                                        |
// | 1088   | ATTR_XLABEL_VISIBLE       | graph, strip      | 1 = axis labels shown                            |
// | 1090   | ATTR_XDIVISIONS           | graph, strip      | number of divisions                              |
// | 1091   | ATTR_XPRECISION           | graph, strip      | decimals of the labels                           |
// | 1094   | ATTR_YGRID_VISIBLE        | graph, strip      |                                                  |
// | 1096   | ATTR_YLABEL_VISIBLE       | graph, strip      |                                                  |
// | 1098   | ATTR_YDIVISIONS           | graph, strip      |                                                  |
// | 1099   | ATTR_YPRECISION           | graph, strip      |                                                  |
// | 1100   | ATTR_POINTS_PER_SCREEN    | strip             | 2..10000, else UIE_OUT_OF_RANGE (-14)            |
// | 1101   | ATTR_NUM_TRACES           | strip             | 1..64                                            |
// | 1110   | ATTR_NUM_CURSORS          | graph             | 0..4                                             |
// | 1111   | ATTR_ACTIVE_CURSOR        | graph             | 1-based                                          |
// | 1115   | ATTR_XYLABEL_POINT_SIZE   | graph, strip      | look                                             |
// | 1120   | ATTR_CURSOR_MODE          | graph cursor      | VAL_FREE_FORM or VAL_SNAP_TO_POINT               |
// | 1121   | ATTR_CURSOR_COLOR         | graph cursor      | 0xRRGGBB                                         |
// | 1130   | ATTR_TRACE_COLOR          | plot, trace       | 0xRRGGBB                                         |
// | 1131   | ATTR_TRACE_VISIBLE        | plot, trace       | 1 = drawn                                        |
// | 1132   | ATTR_PLOT_STYLE           | plot              | VAL_THIN_LINE, VAL_SCATTER, ..., VAL_VERTICAL_BAR |
// | 1133   | ATTR_TRACE_POINT_STYLE    | plot              | point style number                               |
// | 1134   | ATTR_LINE_STYLE           | plot              | line style number                                |
// | 1147   | ATTR_REFRESH_GRAPH        | graph, strip      | 0 = the view redraws only on RefreshGraph or 1   |
// | 1172   | ATTR_SMOOTH_UPDATE        | strip             | look                                             |
// | 1201   | ATTR_ON_TEXT              | toggle button     | text shown while on ("" = the label)             |
// | 1202   | ATTR_OFF_TEXT             | toggle button     | text shown while off ("" = the label)            |
// | 1203   | ATTR_SHOW_AS_COLOR        | numeric           | 1 = the value is a 0xRRGGBB colour (look)        |
// | 1204   | ATTR_CLOSE_CTRL           | panel             | control the close box (and a popup's Esc) presses; |
// |        |                           |                   |   0 = EVENT_CLOSE to the panel callback          |

enum : int {
    ATTR_DIMMED = 500,
    ATTR_CONSTANT_NAME = 501,
    ATTR_CALLBACK_NAME = 502,
    ATTR_PANEL_PARENT = 503,
    ATTR_DATA_TYPE = 510,
    ATTR_MIN_VALUE = 511,
    ATTR_MAX_VALUE = 512,
    ATTR_MAX_ENTRY_LENGTH = 513,
    ATTR_CHECK_MODE = 514,
    ATTR_INTERVAL = 520,
    ATTR_ENABLED = 521,
    ATTR_VISIBLE_LINES = 522,
    ATTR_VISIBLE = 530,
    ATTR_LEFT = 531,
    ATTR_TOP = 532,
    ATTR_WIDTH = 533,
    ATTR_HEIGHT = 540,
    ATTR_SCROLL_BARS = 551,
    ATTR_SIZABLE = 571,
    ATTR_TITLE = 573,
    ATTR_FRAME_STYLE = 577,
    ATTR_FRAME_THICKNESS = 578,
    ATTR_HAS_TASKBAR_BUTTON = 580,
    ATTR_MOVABLE = 581,
    ATTR_TITLE_POINT_SIZE = 588,
    ATTR_WINDOW_ZOOM = 597,
    ATTR_CAN_MAXIMIZE = 599,
    ATTR_CAN_MINIMIZE = 600,
    ATTR_CLOSE_ITEM_VISIBLE = 605,
    ATTR_ZPLANE_POSITION = 610,
    ATTR_CTRL_STYLE = 611,
    ATTR_PANEL_FIRST_CTRL = 612,
    ATTR_NEXT_CTRL = 613,
    ATTR_PANEL_SCROLL_BARS = 618,
    ATTR_MIN_HEIGHT_FOR_SIZE = 619,
    ATTR_MIN_WIDTH_FOR_SIZE = 621,
    ATTR_LABEL_TEXT = 641,
    ATTR_TEXT_POINT_SIZE = 646,
    ATTR_TEXT_COLOR = 680,
    ATTR_LABEL_POINT_SIZE = 686,
    ATTR_CTRL_MODE = 710,
    ATTR_TEXT_BOLD = 821,
    ATTR_CTRL_COLOR = 985,
    ATTR_SHORTCUT_KEY = 1020,
    ATTR_ITEM_NAME = 1030,
    ATTR_CHECKED = 1040,
    ATTR_IMAGE_FILE = 1050,
    ATTR_PLOT_BGCOLOR = 1081,
    ATTR_GRID_COLOR = 1086,
    ATTR_XGRID_VISIBLE = 1087,
    ATTR_XLABEL_VISIBLE = 1088,
    ATTR_XDIVISIONS = 1090,
    ATTR_XPRECISION = 1091,
    ATTR_YGRID_VISIBLE = 1094,
    ATTR_YLABEL_VISIBLE = 1096,
    ATTR_YDIVISIONS = 1098,
    ATTR_YPRECISION = 1099,
    ATTR_POINTS_PER_SCREEN = 1100,
    ATTR_NUM_TRACES = 1101,
    ATTR_NUM_CURSORS = 1110,
    ATTR_ACTIVE_CURSOR = 1111,
    ATTR_XYLABEL_POINT_SIZE = 1115,
    ATTR_CURSOR_MODE = 1120,
    ATTR_CURSOR_COLOR = 1121,
    ATTR_TRACE_COLOR = 1130,
    ATTR_TRACE_VISIBLE = 1131,
    ATTR_PLOT_STYLE = 1132,
    ATTR_TRACE_POINT_STYLE = 1133,
    ATTR_LINE_STYLE = 1134,
    ATTR_REFRESH_GRAPH = 1147,
    ATTR_SMOOTH_UPDATE = 1172,
    ATTR_ON_TEXT = 1201,
    ATTR_OFF_TEXT = 1202,
    ATTR_SHOW_AS_COLOR = 1203,
    ATTR_CLOSE_CTRL = 1204,
};

// Event codes passed to callbacks.
enum : int {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_LEFT_DOUBLE_CLICK = 4,
    EVENT_RIGHT_CLICK = 5,
    EVENT_KEYPRESS = 7,
    EVENT_GOT_FOCUS = 8,
    EVENT_LOST_FOCUS = 9,
    EVENT_IDLE = 10,
    EVENT_CLOSE = 11,
    EVENT_PANEL_SIZE = 12,
    EVENT_PANEL_MOVE = 13,
    EVENT_DISCARD = 14,
    EVENT_TIMER_TICK = 15,
    EVENT_MENU_ITEM = 16,  // returned by GetUserEvent for a menu pick
};

// Control styles (attribute 611). Styles 160 and 170 are the one-line controls
// that keep their height when a panel is scaled.
enum : int {
    CTRL_NUMERIC = 100,
    CTRL_SLIDE = 110,
    CTRL_STRING = 160,
    CTRL_RING = 170,
    CTRL_TEXT_MSG = 180,
    CTRL_TEXT_BOX = 190,
    CTRL_COMMAND_BUTTON = 200,
    CTRL_TOGGLE_BUTTON = 210,
    CTRL_BINARY_SWITCH = 215,
    CTRL_CHECK_BOX = 220,
    CTRL_LED = 230,
    CTRL_PICTURE_BUTTON = 235,
    CTRL_LIST_BOX = 250,
    CTRL_GRAPH = 300,
    CTRL_STRIP_CHART = 310,
    CTRL_TIMER = 320,
    CTRL_DECORATION = 330,
    CTRL_PICTURE = 340,
};

// Data types of control values and plotted arrays.
enum : int {
    VAL_CHAR = 1,
    VAL_SHORT_INTEGER = 2,
    VAL_INTEGER = 3,
    VAL_FLOAT = 4,
    VAL_DOUBLE = 5,
    VAL_STRING = 6,
    VAL_UNSIGNED_SHORT_INTEGER = 7,
    VAL_UNSIGNED_INTEGER = 8,
    VAL_UNSIGNED_CHAR = 9,
};

// Positions, axes, scaling, cursors, plots, keys, popups and mouse cursors.
enum : int {
    VAL_AUTO_CENTER = static_cast<int>(0x80000000u),
    VAL_XAXIS = 0,
    VAL_LEFT_YAXIS = 1,
    VAL_MANUAL = 0,
    VAL_AUTOSCALE = 1,
    VAL_NO_CHANGE = -1,
    VAL_FREE_FORM = 0,
    VAL_SNAP_TO_POINT = 1,
    VAL_IMMEDIATE_DRAW = 1,
    VAL_DELAYED_DRAW = 0,
    VAL_THIN_LINE = 0,
    VAL_SCATTER = 1,
    VAL_CONNECTED_POINTS = 2,
    VAL_VERTICAL_BAR = 3,
    VAL_HORIZONTAL_BAR = 4,  // bars from the y axis to each x value (a histogram on its side)
    // Point styles of plots (distinct shapes in the view).
    VAL_SOLID_CIRCLE = 1,
    VAL_SOLID_SQUARE = 2,
    VAL_SMALL_SOLID_SQUARE = 3,
    VAL_NO_POINT = 24,
    // Line styles.
    VAL_SOLID = 0,
    VAL_DOT = 2,
    VAL_DASH = 3,
    // Control modes.
    VAL_NORMAL = 0,
    VAL_INDICATOR = 1,
    VAL_HOT = 2,
    VAL_TRANSPARENT = 0x1000000,
    // Key codes: a virtual key in bits 8..15, a character in bits 0..7, modifiers above.
    VAL_ESC_VKEY = 0x300,
    VAL_ENTER_VKEY = 0x500,
    VAL_F1_VKEY = 0xF00,
    VAL_SHIFT_MODIFIER = 0x20000,
    VAL_MENUKEY_MODIFIER = 0x40000,  // the Ctrl key
    // File selection.
    VAL_OK_BUTTON = 0,
    VAL_SAVE_BUTTON = 1,
    VAL_SELECT_BUTTON = 2,
    VAL_LOAD_BUTTON = 3,
    VAL_NO_FILE_SELECTED = 0,
    VAL_EXISTING_FILE_SELECTED = 1,
    VAL_NEW_FILE_SELECTED = 2,
    VAL_NO_DIRECTORY_SELECTED = 0,
    VAL_DIRECTORY_SELECTED = 1,
    // Mouse cursors.
    VAL_DEFAULT_CURSOR = 0,
    VAL_HOUR_GLASS_CURSOR = 17,
};

// Results of the library's functions: 0 or a handle on success, negative on failure.
enum : int {
    UIE_NO_ERROR = 0,
    UIE_BAD_HANDLE = -1,       // no such panel or menu bar
    UIE_BAD_CTRL = -2,         // no such control, menu or menu item
    UIE_BAD_ATTRIBUTE = -3,    // attribute unknown or not valid for this object
    UIE_BAD_TYPE = -4,         // value of the wrong type (text for a number, ...)
    UIE_FILE = -5,             // panel file missing or unreadable
    UIE_NO_RESOURCE = -6,      // resource number not in the file
    UIE_UNKNOWN_CALLBACK = -7, // a callback name not registered
    UIE_BAD_INDEX = -8,        // list, text-box line, trace, plot or cursor index
    UIE_NOT_ALLOWED = -9,      // operation not valid for this kind of control
    UIE_TOO_LONG = -10,        // result does not fit the caller's buffer
    UIE_OUT_OF_RANGE = -14,    // value outside the attribute's range
};
