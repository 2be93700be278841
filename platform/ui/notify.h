// What the model tells the change stream: one call per kind of change (UI thread; cheap when no view listens).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vui {

struct Popup;
struct StripAppend;

bool has_subscribers();
// Sends the control, panel and menu-bar changes gathered since the last call (the event loop calls it
// at the end of each turn and before it waits).
void flush_changes();
void clear_subscribers();
void notify_reset();
void notify_panel(int panel);  // created or any panel attribute changed
void notify_panel_gone(int panel);
void notify_ctrl(int panel, int ctrl);  // created, value or attribute changed
// Rows [at, at + removed) of a list box or ring were replaced by `inserted` rows.
void notify_list_rows(int panel, int ctrl, std::size_t at, std::size_t removed, std::size_t inserted);
void notify_ctrl_gone(int panel, int ctrl);
void notify_graph(int panel, int ctrl);  // axes, cursors, traces of a graph or strip chart
void notify_plot_added(int panel, int ctrl, int plot);
void notify_plots_deleted(int panel, int ctrl, int plot, bool immediate);
void notify_refresh(int panel, int ctrl);
bool strip_watched();  // anyone to tell of strip blocks: without, PlotStripChart copies nothing
void notify_strip_append(const StripAppend& block);
void notify_strip_clear(int panel, int ctrl);
void notify_menubar(int menubar);
void notify_menubar_gone(int menubar);
void notify_popup(const Popup& popup);
void notify_popup_gone(int id);
void notify_popup_refused(int id, const std::string& why);  // an answer the popup does not take
void notify_modal();  // the installed-popup stack changed
void notify_stacking(int parent);  // the order of a panel's children (0: the top-level panels) changed
void notify_active();  // the active panel changed
void notify_mouse_cursor();
void notify_document(const std::string& path);  // the program opens a document (a PDF report, a text file)
void notify_status_line(const std::string& text);  // what a command ended with, for the page's status line

}  // namespace vui
