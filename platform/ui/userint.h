// The user-interface library the program calls: panels, controls, lists, menus, popups, graphs, event loop.
//
// Threads: every function here belongs to the one UI thread. Other threads post
// work with vui::post_task (ui_loop.h) and never touch the model.
//
// Event loop semantics:
// - RunUserInterface dispatches queued events and timer ticks until
//   QuitUserInterface; a quit requested before the loop starts is latched and
//   makes the next RunUserInterface return at once.
// - GetUserEvent(0, ...) dispatches what is pending and returns the first
//   commit (EVENT_COMMIT) or menu pick (EVENT_MENU_ITEM) it dispatched, or 0;
//   GetUserEvent(1, ...) waits for one. ProcessSystemEvents dispatches what is
//   pending and returns.
// - InstallPopup does not block: it makes the panel modal, and until
//   RemovePopup (or DiscardPanel) user events for panels outside it (and menu
//   picks) are refused. MessagePopup, ConfirmPopup, GenericMessagePopup,
//   PromptPopup, FileSelectPopup and DirSelectPopup block in a nested loop
//   until answered.
// - Timer controls tick in every loop, also during popups and nested pumps;
//   a tick that falls due while the same timer's callback still runs is dropped.
// - An exception escaping a callback is caught there and reported as fatal
//   (vui::set_fatal_error_handler).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>
#include <type_traits>

#include "platform/ui/attributes.h"
#include "platform/ui/value.h"

using CtrlCallbackPtr = std::function<int(int panel, int control, int event, void* callbackData, int eventData1,
                                          int eventData2)>;
using PanelCallbackPtr = std::function<int(int panel, int event, void* callbackData, int eventData1, int eventData2)>;
using MenuCallbackPtr = std::function<void(int menuBar, int menuItem, void* callbackData, int panel)>;

namespace vui::detail {
// Numbers are read into arithmetic outputs; text goes to char arrays or std::string.
template <typename T>
concept NumberOut = std::is_arithmetic_v<T> && !std::is_same_v<T, char>;
template <typename T>
concept Number = std::is_arithmetic_v<T> || std::is_enum_v<T>;
template <Number T>
Value number_value(T v)
{
    if constexpr (std::is_floating_point_v<T>)
        return Value::of(static_cast<double>(v));
    else
        return Value::of(static_cast<std::int64_t>(v));
}

int set_ctrl_val(int panel, int ctrl, const Value& v);
int get_ctrl_val(int panel, int ctrl, Value& out);
int set_ctrl_attr(int panel, int ctrl, int attr, const Value& v);
int get_ctrl_attr(int panel, int ctrl, int attr, Value& out);
int set_panel_attr(int panel, int attr, const Value& v);
int get_panel_attr(int panel, int attr, Value& out);
int set_menu_attr(int menuBar, int id, int attr, const Value& v);
int get_menu_attr(int menuBar, int id, int attr, Value& out);
int insert_list_item(int panel, int ctrl, int index, const std::string& label, const Value& v);
int replace_list_item(int panel, int ctrl, int index, const std::string& label, const Value& v);
int get_value_from_index(int panel, int ctrl, int index, Value& out);
int get_index_from_value(int panel, int ctrl, int* index, const Value& v);
int get_label_from_index(int panel, int ctrl, int index, std::string& out);
int get_text_box_line(int panel, int ctrl, int line, std::string& out);
int set_plot_attr(int panel, int ctrl, int plot, int attr, const Value& v);
int get_plot_attr(int panel, int ctrl, int plot, int attr, Value& out);
int set_trace_attr(int panel, int ctrl, int trace, int attr, const Value& v);
int set_cursor_attr(int panel, int ctrl, int cursor, int attr, const Value& v);
int get_cursor_attr(int panel, int ctrl, int cursor, int attr, Value& out);
int prompt(const char* title, const char* message, std::string& response, int maxLength);
int generic_popup(const char* title, const char* message, const char* b1, const char* b2, const char* b3,
                  std::string* response, int maxLength, int enterButton, int escapeButton);
int file_select(const char* dir, const char* name, const char* types, const char* title, int button,
                int restrictDir, int restrictExt, int allowCancel, int allowMakeDir, std::string& path);
int dir_select(const char* dir, const char* title, int allowCancel, int allowMakeDir, std::string& path);

// Copies text into a caller's fixed buffer; UIE_TOO_LONG (buffer left empty) when it does not fit.
int copy_out(const std::string& text, char* buffer, std::size_t size);
// Stores a number read as a Value into a typed output; UIE_BAD_TYPE for text.
template <typename T>
int number_out(int status, const Value& v, T* out)
{
    if (status < 0) return status;
    if (!v.is_number()) return UIE_BAD_TYPE;
    if constexpr (std::is_floating_point_v<T>)
        *out = static_cast<T>(v.as_double());
    else
        *out = static_cast<T>(v.as_int());
    return status;
}
template <std::size_t N>
int text_out(int status, const std::string& text, char (&buffer)[N])
{
    if (status < 0) return status;
    return copy_out(text, buffer, N);
}
}  // namespace vui::detail

// Text of an error code.
const char* GetUILErrorString(int error);

// --- panels ------------------------------------------------------------------
// Loads resource `resource` of panel file `file` (looked up in the program
// directory, then its panels/ folder, ignoring case) as a child of `parent`
// (0 = top level). Returns the new handle or a negative error.
int LoadPanel(int parent, const char* file, int resource);
int NewPanel(int parent, const char* title, int top, int left, int height, int width);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int InstallPopup(int panel);
// Removes the topmost installed popup (all of them when removeAll is non-zero), hiding it.
int RemovePopup(int removeAll);
int SetActivePanel(int panel);
int GetActivePanel();
int InstallPanelCallback(int panel, PanelCallbackPtr callback, void* callbackData);

template <vui::detail::Number T>
int SetPanelAttribute(int p, int a, T v) { return vui::detail::set_panel_attr(p, a, vui::detail::number_value(v)); }
inline int SetPanelAttribute(int p, int a, const char* v) { return vui::detail::set_panel_attr(p, a, vui::Value::of(std::string(v ? v : ""))); }
inline int SetPanelAttribute(int p, int a, const std::string& v) { return vui::detail::set_panel_attr(p, a, vui::Value::of(v)); }
template <vui::detail::NumberOut T>
int GetPanelAttribute(int p, int a, T* out)
{
    vui::Value v;
    int s = vui::detail::get_panel_attr(p, a, v);
    return vui::detail::number_out(s, v, out);
}
template <std::size_t N>
int GetPanelAttribute(int p, int a, char (&out)[N])
{
    vui::Value v;
    int s = vui::detail::get_panel_attr(p, a, v);
    return vui::detail::text_out(s < 0 ? s : (v.kind == vui::Value::Text ? s : UIE_BAD_TYPE), v.s, out);
}
inline int GetPanelAttribute(int p, int a, std::string* out)
{
    vui::Value v;
    int s = vui::detail::get_panel_attr(p, a, v);
    if (s < 0) return s;
    if (v.kind != vui::Value::Text) return UIE_BAD_TYPE;
    *out = v.s;
    return s;
}

// --- controls ------------------------------------------------------------------
// Creates a control of `style` (CTRL_*) with the next free id; returns the id.
int NewCtrl(int panel, int style, const char* label, int top, int left);
int DiscardCtrl(int panel, int ctrl);
int InstallCtrlCallback(int panel, int ctrl, CtrlCallbackPtr callback, void* callbackData);
int SetActiveCtrl(int panel, int ctrl);
int GetActiveCtrl(int panel);

// Values convert to the control's data type; list boxes and rings select the
// item with that value; a text box appends the text.
template <vui::detail::Number T>
int SetCtrlVal(int p, int c, T v) { return vui::detail::set_ctrl_val(p, c, vui::detail::number_value(v)); }
inline int SetCtrlVal(int p, int c, const char* v) { return vui::detail::set_ctrl_val(p, c, vui::Value::of(std::string(v ? v : ""))); }
inline int SetCtrlVal(int p, int c, const std::string& v) { return vui::detail::set_ctrl_val(p, c, vui::Value::of(v)); }
template <vui::detail::NumberOut T>
int GetCtrlVal(int p, int c, T* out)
{
    vui::Value v;
    int s = vui::detail::get_ctrl_val(p, c, v);
    return vui::detail::number_out(s, v, out);
}
template <std::size_t N>
int GetCtrlVal(int p, int c, char (&out)[N])
{
    vui::Value v;
    int s = vui::detail::get_ctrl_val(p, c, v);
    return vui::detail::text_out(s < 0 ? s : (v.kind == vui::Value::Text ? s : UIE_BAD_TYPE), v.s, out);
}
inline int GetCtrlVal(int p, int c, std::string* out)
{
    vui::Value v;
    int s = vui::detail::get_ctrl_val(p, c, v);
    if (s < 0) return s;
    if (v.kind != vui::Value::Text) return UIE_BAD_TYPE;
    *out = v.s;
    return s;
}

template <vui::detail::Number T>
int SetCtrlAttribute(int p, int c, int a, T v) { return vui::detail::set_ctrl_attr(p, c, a, vui::detail::number_value(v)); }
inline int SetCtrlAttribute(int p, int c, int a, const char* v) { return vui::detail::set_ctrl_attr(p, c, a, vui::Value::of(std::string(v ? v : ""))); }
inline int SetCtrlAttribute(int p, int c, int a, const std::string& v) { return vui::detail::set_ctrl_attr(p, c, a, vui::Value::of(v)); }
template <vui::detail::NumberOut T>
int GetCtrlAttribute(int p, int c, int a, T* out)
{
    vui::Value v;
    int s = vui::detail::get_ctrl_attr(p, c, a, v);
    return vui::detail::number_out(s, v, out);
}
template <std::size_t N>
int GetCtrlAttribute(int p, int c, int a, char (&out)[N])
{
    vui::Value v;
    int s = vui::detail::get_ctrl_attr(p, c, a, v);
    return vui::detail::text_out(s < 0 ? s : (v.kind == vui::Value::Text ? s : UIE_BAD_TYPE), v.s, out);
}
inline int GetCtrlAttribute(int p, int c, int a, std::string* out)
{
    vui::Value v;
    int s = vui::detail::get_ctrl_attr(p, c, a, v);
    if (s < 0) return s;
    if (v.kind != vui::Value::Text) return UIE_BAD_TYPE;
    *out = v.s;
    return s;
}

// --- list boxes and rings -------------------------------------------------------
// Labels may hold in-line codes: ESC "fg" RRGGBB colours the rest of the line,
// ESC "p" N "l" moves to pixel column N (see list_text.h).
template <vui::detail::Number T>
int InsertListItem(int p, int c, int index, const char* label, T v) { return vui::detail::insert_list_item(p, c, index, label ? label : "", vui::detail::number_value(v)); }
inline int InsertListItem(int p, int c, int index, const char* label, const char* v) { return vui::detail::insert_list_item(p, c, index, label ? label : "", vui::Value::of(std::string(v ? v : ""))); }
// Items labels[k] with values[k] at index + k (index -1: at the end), as InsertListItem one after the other
// would put them, in one change: a list of a year of runs is filled at once. The labels are taken.
int InsertListItems(int panel, int ctrl, int index, std::vector<std::string>& labels, const std::vector<int>& values);
template <vui::detail::Number T>
int ReplaceListItem(int p, int c, int index, const char* label, T v) { return vui::detail::replace_list_item(p, c, index, label ? label : "", vui::detail::number_value(v)); }
inline int ReplaceListItem(int p, int c, int index, const char* label, const char* v) { return vui::detail::replace_list_item(p, c, index, label ? label : "", vui::Value::of(std::string(v ? v : ""))); }
// Deletes `count` items from `index` (-1: all from index on).
int DeleteListItem(int panel, int ctrl, int index, int count);
int ClearListCtrl(int panel, int ctrl);
int GetNumListItems(int panel, int ctrl, int* count);
int GetCtrlIndex(int panel, int ctrl, int* index);
int SetCtrlIndex(int panel, int ctrl, int index);
template <vui::detail::NumberOut T>
int GetValueFromIndex(int p, int c, int index, T* out)
{
    vui::Value v;
    int s = vui::detail::get_value_from_index(p, c, index, v);
    return vui::detail::number_out(s, v, out);
}
template <vui::detail::Number T>
int GetIndexFromValue(int p, int c, int* index, T v) { return vui::detail::get_index_from_value(p, c, index, vui::detail::number_value(v)); }
inline int GetIndexFromValue(int p, int c, int* index, const char* v) { return vui::detail::get_index_from_value(p, c, index, vui::Value::of(std::string(v ? v : ""))); }
template <std::size_t N>
int GetValueFromIndex(int p, int c, int index, char (&out)[N])
{
    vui::Value v;
    int s = vui::detail::get_value_from_index(p, c, index, v);
    return vui::detail::text_out(s < 0 ? s : (v.kind == vui::Value::Text ? s : UIE_BAD_TYPE), v.s, out);
}
template <std::size_t N>
int GetLabelFromIndex(int p, int c, int index, char (&out)[N])
{
    std::string s;
    int r = vui::detail::get_label_from_index(p, c, index, s);
    return vui::detail::text_out(r, s, out);
}
inline int GetLabelFromIndex(int p, int c, int index, std::string* out) { return vui::detail::get_label_from_index(p, c, index, *out); }
int CheckListItem(int panel, int ctrl, int index, int checked);
int IsListItemChecked(int panel, int ctrl, int index, int* checked);
int GetNumCheckedItems(int panel, int ctrl, int* count);

// --- text boxes -------------------------------------------------------------------
int ResetTextBox(int panel, int ctrl, const char* text);
int GetNumTextBoxLines(int panel, int ctrl, int* count);
template <std::size_t N>
int GetTextBoxLine(int p, int c, int line, char (&out)[N])
{
    std::string s;
    int r = vui::detail::get_text_box_line(p, c, line, s);
    return vui::detail::text_out(r, s, out);
}
inline int GetTextBoxLine(int p, int c, int line, std::string* out) { return vui::detail::get_text_box_line(p, c, line, *out); }
// Inserts a line before `line` (-1: appends).
int InsertTextBoxLine(int panel, int ctrl, int line, const char* text);
int ReplaceTextBoxLine(int panel, int ctrl, int line, const char* text);
int DeleteTextBoxLine(int panel, int ctrl, int line);

// --- menu bars ------------------------------------------------------------------------
// Menus, submenus and items of one bar share one id space; item 0 in
// Get/SetMenuBarAttribute means the whole bar.
int LoadMenuBar(int panel, const char* file, int resource);
int NewMenuBar(int panel);
int DiscardMenuBar(int menuBar);
int GetPanelMenuBar(int panel);
int NewMenu(int menuBar, const char* menuName, int beforeMenuId);
int NewSubMenu(int menuBar, int itemId);
// Returns the new item's id. beforeItemId -1 appends.
int NewMenuItem(int menuBar, int menuId, const char* itemName, int beforeItemId, int shortcutKey,
                MenuCallbackPtr callback, void* callbackData);
int DiscardMenuItem(int menuBar, int itemId);
int DiscardMenu(int menuBar, int menuId);
int InstallMenuCallback(int menuBar, int itemId, MenuCallbackPtr callback, void* callbackData);
inline int SetMenuBarAttribute(int m, int id, int a, int v) { return vui::detail::set_menu_attr(m, id, a, vui::Value::of(std::int64_t{v})); }
inline int SetMenuBarAttribute(int m, int id, int a, const char* v) { return vui::detail::set_menu_attr(m, id, a, vui::Value::of(std::string(v ? v : ""))); }
template <vui::detail::NumberOut T>
int GetMenuBarAttribute(int m, int id, int a, T* out)
{
    vui::Value v;
    int s = vui::detail::get_menu_attr(m, id, a, v);
    return vui::detail::number_out(s, v, out);
}
template <std::size_t N>
int GetMenuBarAttribute(int m, int id, int a, char (&out)[N])
{
    vui::Value v;
    int s = vui::detail::get_menu_attr(m, id, a, v);
    return vui::detail::text_out(s < 0 ? s : (v.kind == vui::Value::Text ? s : UIE_BAD_TYPE), v.s, out);
}

// --- popups ------------------------------------------------------------------------------
int MessagePopup(const char* title, const char* message);
// 1 = yes, 0 = no.
int ConfirmPopup(const char* title, const char* message);
// Buttons 1..3 (null or empty = absent); returns the number of the button
// pressed. With a response buffer the popup has a text entry of at most
// maxResponseLength characters.
int GenericMessagePopup(const char* title, const char* message, const char* button1, const char* button2,
                        const char* button3, char* response, int maxResponseLength, int enterButton,
                        int escapeButton);
// 0 when a text was entered (at most maxLength characters, cut there), -1 when cancelled.
template <std::size_t N>
int PromptPopup(const char* title, const char* message, char (&response)[N], int maxLength)
{
    std::string s;
    int limit = maxLength < static_cast<int>(N) - 1 ? maxLength : static_cast<int>(N) - 1;
    int r = vui::detail::prompt(title, message, s, limit);
    if (r < 0) return r;
    return vui::detail::copy_out(s, response, N);
}
inline int PromptPopup(const char* title, const char* message, std::string* response, int maxLength)
{
    return vui::detail::prompt(title, message, *response, maxLength);
}
// VAL_NO_FILE_SELECTED, VAL_EXISTING_FILE_SELECTED or VAL_NEW_FILE_SELECTED.
// A chosen path longer than the buffer counts as no selection.
template <std::size_t N>
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec, const char* fileTypeList,
                    const char* title, int buttonLabel, int restrictDirectory, int restrictExtension,
                    int allowCancel, int allowMakeDirectory, char (&pathName)[N])
{
    std::string s;
    int r = vui::detail::file_select(defaultDirectory, defaultFileSpec, fileTypeList, title, buttonLabel,
                                     restrictDirectory, restrictExtension, allowCancel, allowMakeDirectory, s);
    if (r <= 0) return r;
    return vui::detail::copy_out(s, pathName, N) < 0 ? VAL_NO_FILE_SELECTED : r;
}
inline int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec, const char* fileTypeList,
                           const char* title, int buttonLabel, int restrictDirectory, int restrictExtension,
                           int allowCancel, int allowMakeDirectory, std::string* pathName)
{
    return vui::detail::file_select(defaultDirectory, defaultFileSpec, fileTypeList, title, buttonLabel,
                                    restrictDirectory, restrictExtension, allowCancel, allowMakeDirectory,
                                    *pathName);
}
template <std::size_t N>
int DirSelectPopup(const char* defaultDirectory, const char* title, int allowCancel, int allowMakeDirectory,
                   char (&pathName)[N])
{
    std::string s;
    int r = vui::detail::dir_select(defaultDirectory, title, allowCancel, allowMakeDirectory, s);
    if (r <= 0) return r;
    return vui::detail::copy_out(s, pathName, N) < 0 ? VAL_NO_DIRECTORY_SELECTED : r;
}
inline int DirSelectPopup(const char* defaultDirectory, const char* title, int allowCancel, int allowMakeDirectory,
                          std::string* pathName)
{
    return vui::detail::dir_select(defaultDirectory, title, allowCancel, allowMakeDirectory, *pathName);
}

// --- mouse cursor, screen ------------------------------------------------------------
int SetMouseCursor(int cursor);
int GetMouseCursor(int* cursor);
int SetWaitCursor(int on);
int GetScreenSize(int* height, int* width);

// --- event loop -----------------------------------------------------------------------
int RunUserInterface();
int QuitUserInterface(int returnCode);
int GetUserEvent(int wait, int* panelOrMenuBar, int* controlOrMenuItem);
int ProcessSystemEvents();

// --- graphs and strip charts ----------------------------------------------------------
// Plot functions return a plot handle above 0, or a negative error.
int PlotXY(int panel, int ctrl, const void* xArray, const void* yArray, int numberOfPoints, int xDataType,
           int yDataType, int plotStyle, int pointStyle, int lineStyle, int pointFrequency, int color);
int PlotY(int panel, int ctrl, const void* yArray, int numberOfPoints, int yDataType, int plotStyle,
          int pointStyle, int lineStyle, int pointFrequency, int color);
int PlotLine(int panel, int ctrl, double x1, double y1, double x2, double y2, int color);
int PlotPoint(int panel, int ctrl, double x, double y, int pointStyle, int color);
int PlotOval(int panel, int ctrl, double x1, double y1, double x2, double y2, int color, int fillColor);
int PlotRectangle(int panel, int ctrl, double x1, double y1, double x2, double y2, int color, int fillColor);
int PlotText(int panel, int ctrl, double x, double y, const char* text, int color, int backgroundColor);
// plotHandle -1 deletes every plot; refresh is VAL_IMMEDIATE_DRAW or VAL_DELAYED_DRAW.
int DeleteGraphPlot(int panel, int ctrl, int plotHandle, int refresh);
int RefreshGraph(int panel, int ctrl);
int GetAxisRange(int panel, int ctrl, int* xMode, double* xMin, double* xMax, int* yMode, double* yMin, double* yMax);
int SetAxisRange(int panel, int ctrl, int xMode, double xMin, double xMax, int yMode, double yMin, double yMax);
int SetAxisScalingMode(int panel, int ctrl, int axis, int mode, double min, double max);
int GetAxisScalingMode(int panel, int ctrl, int axis, int* mode, double* min, double* max);
template <vui::detail::NumberOut T>
int GetPlotAttribute(int p, int c, int plot, int a, T* out)
{
    vui::Value v;
    int s = vui::detail::get_plot_attr(p, c, plot, a, v);
    return vui::detail::number_out(s, v, out);
}
inline int SetPlotAttribute(int p, int c, int plot, int a, int v) { return vui::detail::set_plot_attr(p, c, plot, a, vui::Value::of(std::int64_t{v})); }
inline int SetPlotAttribute(int p, int c, int plot, int a, double v) { return vui::detail::set_plot_attr(p, c, plot, a, vui::Value::of(v)); }
// Traces of a strip chart are numbered from 1.
inline int SetTraceAttribute(int p, int c, int trace, int a, int v) { return vui::detail::set_trace_attr(p, c, trace, a, vui::Value::of(std::int64_t{v})); }
// Appends numberOfPoints values (taken from startingIndex, then every
// skipCount + 1) interleaved over the traces: value k goes to the next trace in
// turn, so a block of scans of all traces is appended in one call.
int PlotStripChart(int panel, int ctrl, const void* array, int numberOfPoints, int startingIndex, int skipCount,
                   int dataType);
int ClearStripChart(int panel, int ctrl);
// Graph cursors are numbered from 1. In snap mode a cursor sits on the nearest
// point of a visible plot.
int SetGraphCursor(int panel, int ctrl, int cursor, double x, double y);
int GetGraphCursor(int panel, int ctrl, int cursor, double* x, double* y);
// The plot and point index a snapped cursor sits on; plot -1 and index -1 when free.
int GetGraphCursorIndex(int panel, int ctrl, int cursor, int* plotHandle, int* pointIndex);
int SetActiveGraphCursor(int panel, int ctrl, int cursor);
inline int SetCursorAttribute(int p, int c, int cursor, int a, int v) { return vui::detail::set_cursor_attr(p, c, cursor, a, vui::Value::of(std::int64_t{v})); }
template <vui::detail::NumberOut T>
int GetCursorAttribute(int p, int c, int cursor, int a, T* out)
{
    vui::Value v;
    int s = vui::detail::get_cursor_attr(p, c, cursor, a, v);
    return vui::detail::number_out(s, v, out);
}
