// Hooks around the event loop: posting from other threads, callback registry, fatal errors, popups answered by a driver or view.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/sys/files.h"
#include "platform/ui/userint.h"

namespace vui {

// --- any thread ---------------------------------------------------------------------
// Runs `task` on the UI thread at its next pump; never blocks the caller.
void post_task(std::function<void()> task);

// A user action from a view (browser), applied on the UI thread.
struct UserEvent {
    int panel = 0;
    int ctrl = 0;  // 0: a panel event
    int event = EVENT_NONE;
    int data1 = 0, data2 = 0;
    bool ctrl_key = false;  // modifiers of the input event
};
void post_user_event(const UserEvent& e);

// Makes vsys::message_box show a message popup on the UI thread (posted, so a
// worker thread calling it never blocks).
void install_message_box_hook();
// Makes vsys::launch_document hand documents to the view through the change
// stream (posted, so any thread may open one).
void install_document_hook();

// --- callback registry (filled by each subsystem at start) ---------------------------
using RegisteredCallback = std::variant<CtrlCallbackPtr, PanelCallbackPtr, MenuCallbackPtr>;
struct CallbackEntry {
    std::string name;
    RegisteredCallback function;
};
void register_callbacks(const std::vector<CallbackEntry>& entries);
const RegisteredCallback* find_callback(const std::string& name);
void clear_callback_registry();

// Loads every resource of a panel file without creating anything: checks the
// format and that every callback it names is registered with the right kind.
vsys::Result check_panel_file(const std::string& path);
// Checks every "*.uir" file of a folder; one message per faulty file (empty when all load).
std::vector<std::string> check_panel_folder(const std::string& directory);
// The message of the last failed LoadPanel or LoadMenuBar.
std::string last_load_error();
// The messages of the failed loads so far (the latest few), and who hears of the next ones
// (the browser view, so that a window missing for a damaged file is not just a blank page).
std::vector<std::string> load_errors();
void set_load_error_listener(std::function<void(const std::string&)> listener);

// Forgets every panel, menu bar, popup, queued task, subscriber and latched quit (tests start from nothing).
void reset_ui();

// --- hooks for the driver and the view (UI thread) -------------------------------------
// Called for an exception escaping a callback. Default: message on stderr, then abort.
void set_fatal_error_handler(std::function<void(const std::string&)> handler);

struct PopupAnswer {
    int button = 1;          // message: 1; confirm: 1 yes / 0 no; generic: button number
    std::string response;    // prompt text, file or directory path ("" = cancelled)
    bool cancelled = false;  // prompt, file and directory selection
};
struct PopupInfo {
    int id = 0;
    std::string kind;  // "message", "confirm", "generic", "prompt", "file", "dir"
    std::string title, text;
    std::vector<std::string> buttons;
};
// Answers a blocking popup at once (the headless driver). Returning nothing
// leaves the popup open for a view to answer through answer_popup; with no
// responder and no view subscribed the popup is written to stderr and
// cancelled, so a program without any front end never hangs.
using PopupResponder = std::function<std::optional<PopupAnswer>(const PopupInfo&)>;
void set_popup_responder(PopupResponder responder);
// Answers an open popup (the view posts this as a task).
bool answer_popup(int popup_id, const PopupAnswer& answer);

// What an open file or directory popup may show: its folder, whether the user is
// kept in it, the extensions it is limited to (empty: any), and whether it lets the user make a folder. Nothing when the
// popup is not open or is of another kind.
struct FilePopupLimits {
    std::string directory;
    bool restrict_dir = false;
    bool dirs_only = false;
    std::vector<std::string> extensions;
    bool allow_make_dir = false;
};
std::optional<FilePopupLimits> file_popup_limits(int popup_id);

// Called when a loop would block with nothing queued (GetUserEvent(1) or a
// popup waiting). Returns false to give up waiting (GetUserEvent then returns 0).
// Without an idle hook the loop waits for posted work.
void set_idle_hook(std::function<bool()> hook);

// Called whenever the program itself lets events through (GetUserEvent,
// ProcessSystemEvents, a popup's loop): the driver's chance to act "between
// steps" of a long operation.
void set_pump_hook(std::function<void()> hook);

// Time of the next timer tick (clock seconds), if any timer is running.
std::optional<double> next_timer_due();
// Dispatches pending events and due timer ticks once; true when anything ran.
bool pump_once();
// Events refused because a modal popup was up (counted for the driver).
int refused_events();
// Whether QuitUserInterface was asked and the outer loop has not ended yet: a nested loop of the program's own
// (one waiting for a toggle) ends on it.
bool quit_requested();

// Whether a user can reach a panel (and control, unless 0) now.
bool can_reach(int panel, int ctrl);
void count_refusal();

// Applies a user event on the UI thread now (what post_user_event does later).
// Returns false when it was refused (modal popup, dimmed, hidden or gone).
bool deliver_user_event(const UserEvent& e);
// Applies a menu pick on the UI thread now; false when refused.
bool deliver_menu_pick(int menubar, int item, bool ctrl_key = false);

}  // namespace vui
