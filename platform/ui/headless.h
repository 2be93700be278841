// The headless driver: tests act as a user on the UI model and read what it shows.
//
// One Headless object per test. It starts from an empty UI, answers blocking
// popups from the answers the test queued (a popup with no answer queued fails
// the test with its title and text, then is cancelled), turns an exception
// escaping a callback into a test failure, and shows vsys::message_box as
// popups. Every action is applied through the event queue and the queue is
// drained before the action returns, so callbacks have run by then.
//
// Acting "between steps" of a long operation: after_pumps(n, action) runs the
// action when the program itself lets events through (GetUserEvent,
// ProcessSystemEvents) for the n-th time from now; the program then sees the
// action's events. When the program blocks waiting for input, the next such
// action runs at once; with none left the test fails and the wait gives up.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/model.h"
#include "platform/ui/ui_loop.h"

namespace vui {

class Headless {
public:
    Headless();
    ~Headless();
    Headless(const Headless&) = delete;
    Headless& operator=(const Headless&) = delete;

    // --- acting (each returns false when a user could not have done it) ---
    bool set(int panel, int ctrl, int value);  // types and commits: events 2, 1
    bool set(int panel, int ctrl, double value);
    bool set(int panel, int ctrl, const std::string& value);
    bool set(int panel, int ctrl, const char* value) { return set(panel, ctrl, std::string(value)); }
    bool change(int panel, int ctrl, const Value& value);  // event 2 only
    bool press(int panel, int ctrl);
    bool click(int panel, int ctrl, int x = 0, int y = 0, bool ctrl_key = false);
    bool double_click(int panel, int ctrl, int x = 0, int y = 0);
    bool right_click(int panel, int ctrl, int x = 0, int y = 0, bool ctrl_key = false);
    bool select(int panel, int ctrl, int index, bool commit = false);
    bool check(int panel, int ctrl, int index, bool checked = true);
    bool key(int panel, int key_code);
    bool pick(int menubar, int item, bool ctrl_key = false);
    bool pick(int menubar, const std::string& item_name);  // the first item of that name
    bool move_cursor(int panel, int ctrl, int cursor, double x, double y, bool commit = true);
    bool zoom(int panel, int ctrl, double xmin, double xmax, double ymin, double ymax);
    bool close(int panel);
    bool move_panel(int panel, int top, int left);
    bool size_panel(int panel, int height, int width);
    bool activate(int panel);
    // Runs what is queued (and due timer ticks) until nothing is left.
    void pump();
    // Moves the simulated clock forward, stopping at every timer tick on the way.
    void advance(double seconds);

    // --- popups: answers are used in the order queued ---
    void answer(int button);  // message: 1; generic: the button's number
    void answer_yes();        // confirm
    void answer_no();
    void answer_text(const std::string& text, int button = 1);  // prompt, or generic with a text entry
    void answer_path(const std::string& path);                   // file or directory selection
    void answer_cancel();                                        // prompt, file or directory selection
    // Leaves the next popup open (as a user who has not answered yet): the
    // program's popup loop keeps running timers and the actions queued with
    // after_pumps, one of which answers it with answer_open.
    void hold_next_popup() { hold_ = true; }
    bool answer_open(const PopupAnswer& answer);
    bool answer_open(int button) { return answer_open(PopupAnswer{button, "", false}); }
    const std::vector<PopupInfo>& popups() const { return shown_; }
    std::size_t answers_left() const { return answers_.size(); }

    // --- between steps ---
    void after_pumps(int n, std::function<void()> action);

    // --- reading ---
    int ival(int panel, int ctrl) const;
    double dval(int panel, int ctrl) const;
    std::string text(int panel, int ctrl) const;
    std::string label(int panel, int ctrl) const;
    bool dimmed(int panel, int ctrl) const;
    bool visible(int panel, int ctrl) const;
    int attribute(int panel, int ctrl, int attr) const;
    bool panel_exists(int panel) const;
    bool panel_visible(int panel) const;  // it and its ancestors shown
    std::string title(int panel) const;
    int panel_attribute(int panel, int attr) const;
    // The first panel with this constant name (or, failing that, title); 0 when none.
    int find_panel(const std::string& name) const;
    int modal_panel() const;  // topmost installed popup, 0 when none
    std::vector<ListItem> items(int panel, int ctrl) const;
    std::vector<std::string> plain_items(int panel, int ctrl) const;  // labels without in-line codes
    int index(int panel, int ctrl) const;
    struct MenuEntry {
        int id = 0;
        std::string name;
        bool checked = false, dimmed = false;
        int shortcut = 0;
        int submenu = 0;
        std::string callback;
        void* callback_data = nullptr;
    };
    // Items of a menu (or submenu) in order.
    std::vector<MenuEntry> menu_items(int menubar, int menu) const;
    std::optional<MenuEntry> menu_item(int menubar, int item) const;
    // The id of the first item or menu with this name; 0 when none.
    int find_menu_item(int menubar, const std::string& name) const;
    std::vector<Plot> plots(int panel, int ctrl) const;
    std::vector<double> trace(int panel, int ctrl, int trace) const;
    int mouse_cursor() const;
    // Documents the program opened (vsys::launch_document), in order.
    std::vector<std::string> documents() const;

private:
    struct Scripted {
        std::vector<std::string> kinds;  // popup kinds the answer suits; empty = any
        PopupAnswer answer;
    };
    struct Later {
        int countdown;
        std::function<void()> action;
    };
    bool act(std::function<bool()> action);
    std::optional<PopupAnswer> respond(const PopupInfo& info);
    void on_pump();
    bool on_idle();

    std::deque<Scripted> answers_;
    std::vector<PopupInfo> shown_;
    std::vector<Later> later_;
    bool in_hook_ = false;
    bool hold_ = false;
    std::shared_ptr<struct DocumentLog> documents_;
};

}  // namespace vui
