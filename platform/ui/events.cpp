// The event loop: the posted-work queue, user events and menu picks, timer ticks, modality, blocking popups.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

#include "platform/sys/clock.h"
#include "platform/sys/confine.h"
#include "platform/sys/files.h"
#include "platform/sys/launch.h"
#include "platform/sys/message_box.h"
#include "platform/sys/process.h"
#include "platform/ui/model.h"
#include "platform/ui/notify.h"
#include "platform/ui/ui_loop.h"

namespace vui {

namespace {

struct Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::function<void()>> tasks;
};

Queue& queue()
{
    static Queue q;
    return q;
}

struct LoopState {
    PopupResponder responder;
    std::function<bool()> idle_hook;
    std::function<void()> pump_hook;
    bool quit_requested = false;
    int quit_code = 0;
    int refused = 0;
    // The commit or menu pick the last dispatched task produced, for GetUserEvent.
    bool has_commit = false;
    int commit_type = 0, commit_a = 0, commit_b = 0;
};

LoopState& loop()
{
    static LoopState s;
    return s;
}

bool run_one_task()
{
    std::function<void()> task;
    {
        Queue& q = queue();
        std::lock_guard lock(q.mutex);
        if (q.tasks.empty()) return false;
        task = std::move(q.tasks.front());
        q.tasks.pop_front();
    }
    task();
    return true;
}

std::size_t pending_tasks()
{
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    return q.tasks.size();
}

bool fire_due_timers()
{
    struct Due {
        double when;
        int panel, ctrl;
    };
    std::vector<Due> due;
    double now = vsys::clock_seconds();
    for (auto& [handle, panel] : model().panels) {
        for (auto& c : panel->controls) {
            if (c->style != CTRL_TIMER || !c->callback) continue;
            auto en = c->attrs.find(ATTR_ENABLED);
            if (en != c->attrs.end() && en->second.as_int() == 0) continue;
            if (c->next_due <= now) due.push_back({c->next_due, handle, c->id});
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const Due& a, const Due& b) { return a.when < b.when; });
    bool ran = false;
    for (const Due& d : due) {
        Control* c = find_ctrl(d.panel, d.ctrl);
        if (!c || c->next_due > now) continue;
        auto it = c->attrs.find(ATTR_INTERVAL);
        double interval = it == c->attrs.end() ? 1.0 : it->second.as_double();
        c->next_due += interval;
        if (c->next_due <= now) c->next_due = now + interval;  // missed ticks are not made up
        if (c->running) continue;                             // never re-entered: this tick is dropped
        c->running = true;
        call_ctrl_callback(d.panel, d.ctrl, EVENT_TIMER_TICK, 0, 0);
        if (Control* after = find_ctrl(d.panel, d.ctrl)) after->running = false;
        ran = true;
    }
    return ran;
}

void wait_for_work()
{
    flush_changes();
    Queue& q = queue();
    std::unique_lock lock(q.mutex);
    q.ready.wait_for(lock, std::chrono::milliseconds(10), [&] { return !q.tasks.empty(); });
}

// Whether a user may reach this panel now: shown, not dimmed, and inside the topmost modal popup.
bool reachable(int panel)
{
    Model& m = model();
    if (!m.open_popups.empty()) return false;
    if (!m.popup_stack.empty() && !panel_within(panel, m.popup_stack.back())) return false;
    if (!panel_shown(panel)) return false;
    for (Panel* p = find_panel(panel); p; p = find_panel(p->parent)) {
        auto it = p->attrs.find(ATTR_DIMMED);
        if (it != p->attrs.end() && it->second.as_int() != 0) return false;
    }
    return true;
}

bool ctrl_reachable(const Control& c)
{
    auto dim = c.attrs.find(ATTR_DIMMED);
    auto vis = c.attrs.find(ATTR_VISIBLE);
    return !(dim != c.attrs.end() && dim->second.as_int() != 0) && !(vis != c.attrs.end() && vis->second.as_int() == 0);
}

struct CtrlKeyScope {
    bool previous;
    explicit CtrlKeyScope(bool down) : previous(vsys::ctrl_key_down()) { vsys::set_ctrl_key_down(down); }
    ~CtrlKeyScope() { vsys::set_ctrl_key_down(previous); }
};

}  // namespace

bool can_reach(int panel, int ctrl)
{
    if (!find_panel(panel) || !reachable(panel)) return false;
    if (ctrl == 0) return true;
    Control* c = find_ctrl(panel, ctrl);
    return c && ctrl_reachable(*c);
}

void count_refusal() { ++loop().refused; }

void post_task(std::function<void()> task)
{
    Queue& q = queue();
    {
        std::lock_guard lock(q.mutex);
        q.tasks.push_back(std::move(task));
    }
    q.ready.notify_all();
}

void post_user_event(const UserEvent& e)
{
    post_task([e] { deliver_user_event(e); });
}

void install_message_box_hook()
{
    vsys::set_message_box_handler([](const std::string& caption, const std::string& text) {
        post_task([caption, text] { MessagePopup(caption.c_str(), text.c_str()); });
    });
}

void reset_ui()
{
    {
        Queue& q = queue();
        std::lock_guard lock(q.mutex);
        q.tasks.clear();
    }
    LoopState& s = loop();
    s.quit_requested = false;
    s.quit_code = 0;
    s.refused = 0;
    s.has_commit = false;
    reset_model();
    forget_load_errors();
    clear_subscribers();
}

void install_document_hook()
{
    vsys::set_document_launcher([](const std::string& path) { post_task([path] { notify_document(path); }); });
}

void set_popup_responder(PopupResponder responder) { loop().responder = std::move(responder); }
void set_idle_hook(std::function<bool()> hook) { loop().idle_hook = std::move(hook); }
void set_pump_hook(std::function<void()> hook) { loop().pump_hook = std::move(hook); }
int refused_events() { return loop().refused; }

bool quit_requested() { return loop().quit_requested; }

std::optional<double> next_timer_due()
{
    std::optional<double> best;
    for (auto& [handle, panel] : model().panels) {
        for (auto& c : panel->controls) {
            if (c->style != CTRL_TIMER || !c->callback) continue;
            auto en = c->attrs.find(ATTR_ENABLED);
            if (en != c->attrs.end() && en->second.as_int() == 0) continue;
            if (!best || c->next_due < *best) best = c->next_due;
        }
    }
    return best;
}

bool pump_once()
{
    bool ran = false;
    for (std::size_t n = pending_tasks(); n > 0 && run_one_task(); --n) ran = true;
    if (fire_due_timers()) ran = true;
    flush_changes();
    return ran;
}

bool deliver_user_event(const UserEvent& e)
{
    LoopState& s = loop();
    if (!find_panel(e.panel) || !reachable(e.panel)) {
        ++s.refused;
        return false;
    }
    CtrlKeyScope keys(e.ctrl_key);
    if (e.ctrl == 0) {
        call_panel_callback(e.panel, e.event, e.data1, e.data2);
        return true;
    }
    Control* c = find_ctrl(e.panel, e.ctrl);
    if (!c || !ctrl_reachable(*c)) {
        ++s.refused;
        return false;
    }
    call_ctrl_callback(e.panel, e.ctrl, e.event, e.data1, e.data2);
    if (e.event == EVENT_COMMIT) {
        s.has_commit = true;
        s.commit_type = EVENT_COMMIT;
        s.commit_a = e.panel;
        s.commit_b = e.ctrl;
    }
    return true;
}

bool menu_item_enabled(const MenuBar& b, int item)
{
    if (b.dimmed) return false;
    for (int id = item; id != 0; id = b.parent_of(id)) {
        auto it = b.nodes.find(id);
        if (it == b.nodes.end() || it->second.dimmed) return false;
    }
    return true;
}

bool deliver_menu_pick(int menubar, int item, bool ctrl_key)
{
    LoopState& s = loop();
    MenuBar* b = find_menubar(menubar);
    // A bar of no panel is still behind any modal popup.
    bool free = b && (b->panel ? reachable(b->panel) : model().open_popups.empty() && model().popup_stack.empty());
    if (!free || !menu_item_enabled(*b, item)) {
        ++s.refused;
        return false;
    }
    auto it = b->nodes.find(item);
    if (it->second.is_menu) {
        ++s.refused;
        return false;
    }
    CtrlKeyScope keys(ctrl_key);
    call_menu_callback(menubar, item);
    s.has_commit = true;
    s.commit_type = EVENT_MENU_ITEM;
    s.commit_a = menubar;
    s.commit_b = item;
    return true;
}

// --- blocking popups --------------------------------------------------------------------

namespace {

PopupInfo info_of(const Popup& p) { return PopupInfo{p.id, p.kind, p.title, p.text, p.buttons}; }

void apply(Popup& p, const PopupAnswer& a)
{
    p.answered = true;
    p.button = a.button;
    p.response = a.cancelled ? std::string() : a.response;
    if (a.cancelled) p.button = -1;
}

// Shows a popup and runs a nested loop until it is answered.
void run_popup(Popup& p)
{
    Model& m = model();
    LoopState& s = loop();
    p.id = m.next_popup++;
    m.open_popups.push_back(&p);
    notify_popup(p);
    if (s.responder) {
        if (auto a = s.responder(info_of(p))) apply(p, *a);
    }
    if (!p.answered && !s.responder && !has_subscribers()) {
        std::fprintf(stderr, "Popup with no one to answer it: %s: %s\n", p.title.c_str(), p.text.c_str());
        apply(p, PopupAnswer{0, "", true});
    }
    while (!p.answered) {
        // A stop request (QuitUserInterface) ends the popup too; the quit stays latched for the outer loop.
        if (s.quit_requested) {
            apply(p, PopupAnswer{0, "", true});
            break;
        }
        if (!pump_once()) {
            if (s.idle_hook && !s.idle_hook()) {
                apply(p, PopupAnswer{0, "", true});
                break;
            }
            wait_for_work();
        }
    }
    m.open_popups.erase(std::remove(m.open_popups.begin(), m.open_popups.end(), &p), m.open_popups.end());
    notify_popup_gone(p.id);
}

std::string str(const char* s) { return s ? s : ""; }

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The extensions a file popup stands for: that of its default name or pattern, else those of its type list
// ("*.txt;*.csv"); "*" and "*.*" stand for any.
std::vector<std::string> file_extensions(const std::string& spec, const std::string& types)
{
    auto ext_of = [](const std::string& pattern) -> std::string {
        std::string base = pattern.substr(pattern.find_last_of('/') + 1);
        auto dot = base.find_last_of('.');
        if (dot == std::string::npos || dot + 1 == base.size()) return {};
        std::string ext = base.substr(dot);
        return ext.find_first_of("*?") == std::string::npos ? ext : std::string();
    };
    if (std::string e = ext_of(spec); !e.empty()) return {e};
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= types.size()) {
        std::size_t end = types.find(';', start);
        if (end == std::string::npos) end = types.size();
        std::string one = types.substr(start, end - start);
        while (!one.empty() && one.front() == ' ') one.erase(one.begin());
        while (!one.empty() && one.back() == ' ') one.pop_back();
        if (std::string e = ext_of(one); !e.empty()) out.push_back(e);
        start = end + 1;
    }
    return out;
}

std::string chosen_path(const Popup& p, const std::string& response)
{
    return response.find('/') == std::string::npos ? vsys::path_join(p.directory, response) : response;
}

bool within_limits(const Popup& p, const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (p.restrict_dir) {
        fs::path folder = fs::weakly_canonical(fs::absolute(p.directory, ec), ec);
        fs::path file = fs::weakly_canonical(fs::absolute(path, ec), ec);
        if (ec || file.parent_path() != folder) return false;
    }
    if (p.restrict_ext && !p.extensions.empty()) {
        std::string name = lower(fs::path(path).filename().string());
        bool ok = false;
        for (const std::string& e : p.extensions) {
            std::string ext = lower(e);
            ok = ok || (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0);
        }
        if (!ok) return false;
    }
    return true;
}

}  // namespace

std::optional<FilePopupLimits> file_popup_limits(int popup_id)
{
    for (const Popup* p : model().open_popups) {
        if (p->id != popup_id || p->answered) continue;
        if (p->kind == "dir") return FilePopupLimits{p->default_path, false, true, {}, p->allow_make_dir};
        if (p->kind != "file") return std::nullopt;
        return FilePopupLimits{p->directory, p->restrict_dir, false,
                               p->restrict_ext ? p->extensions : std::vector<std::string>{},
                               p->allow_make_dir && !p->restrict_dir};
    }
    return std::nullopt;
}

bool answer_popup(int popup_id, const PopupAnswer& answer)
{
    for (Popup* p : model().open_popups) {
        if (p->id == popup_id && !p->answered) {
            // Whatever a page sends, a restricted file popup takes only a file of its folder and extensions;
            // it stays open and says why. (The headless driver answers as a dialog that lets anything
            // through, so the programs' own checks stay testable.)
            if (p->kind == "file" && !answer.cancelled && answer.button >= 1 && !answer.response.empty() &&
                !within_limits(*p, chosen_path(*p, answer.response))) {
                std::string why = p->restrict_dir ? "Choose a file in " + p->directory : std::string("Choose a file");
                if (p->restrict_ext && !p->extensions.empty()) {
                    why += " of type";
                    for (const std::string& e : p->extensions) why += " *" + e;
                }
                notify_popup_refused(p->id, why + ".");
                return false;
            }
            // A typed path leads only where a listed one could: the working, program and archive directories.
            // The program gets it resolved, with no link left in it to swap.
            PopupAnswer taken = answer;
            if ((p->kind == "file" || p->kind == "dir") && !answer.cancelled && answer.button >= 1 &&
                !answer.response.empty()) {
                auto confined = vsys::confined_path(chosen_path(*p, answer.response));
                if (!confined) {
                    notify_popup_refused(p->id, "Choose a place in the working, program or archive directory.");
                    return false;
                }
                taken.response = *confined;
            }
            apply(*p, taken);
            return true;
        }
    }
    return false;
}

namespace detail {

int prompt(const char* title, const char* message, std::string& response, int maxLength)
{
    Popup p;
    p.kind = "prompt";
    p.title = str(title);
    p.text = str(message);
    p.buttons = {"OK", "Cancel"};
    p.max_length = maxLength;
    run_popup(p);
    if (p.button < 0) return -1;
    response = p.response.substr(0, static_cast<std::size_t>(std::max(0, maxLength)));
    return 0;
}

int generic_popup(const char* title, const char* message, const char* b1, const char* b2, const char* b3,
                  std::string* response, int maxLength, int enterButton, int escapeButton)
{
    Popup p;
    p.kind = "generic";
    p.title = str(title);
    p.text = str(message);
    for (const char* b : {b1, b2, b3})
        if (b && *b) p.buttons.push_back(b);
    p.max_length = response ? maxLength : 0;
    p.enter_button = enterButton;
    p.escape_button = escapeButton;
    run_popup(p);
    int n = static_cast<int>(p.buttons.size());
    int button = p.button;
    if (button < 1 || button > n) button = escapeButton >= 1 && escapeButton <= n ? escapeButton : n;
    if (response) *response = p.response.substr(0, static_cast<std::size_t>(std::max(0, maxLength)));
    return button;
}

int file_select(const char* dir, const char* name, const char* types, const char* title, int button,
                int restrictDir, int restrictExt, int /*allowCancel*/, int allowMakeDir, std::string& path)
{
    Popup p;
    p.kind = "file";
    p.title = str(title);
    // No folder given: the working directory, as the page must know where to look.
    std::error_code ec;
    p.directory = dir && *dir ? str(dir) : std::filesystem::current_path(ec).string();
    // A pattern such as "*.color" is a filter, not a name to offer.
    std::string spec = str(name);
    p.default_path = spec.empty() || spec.find_first_of("*?") != std::string::npos ? p.directory + "/"
                                                                                   : vsys::path_join(p.directory, spec);
    p.file_types = str(types);
    p.restrict_dir = restrictDir != 0;
    p.restrict_ext = restrictExt != 0;
    p.allow_make_dir = allowMakeDir != 0 && !p.restrict_dir;
    p.extensions = file_extensions(spec, p.file_types);
    p.buttons = {button == VAL_SAVE_BUTTON ? "Save" : button == VAL_LOAD_BUTTON ? "Load" : button == VAL_SELECT_BUTTON ? "Select" : "OK", "Cancel"};
    run_popup(p);
    if (p.button < 0 || p.response.empty()) return VAL_NO_FILE_SELECTED;
    path = chosen_path(p, p.response);
    return vsys::file_exists(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

int dir_select(const char* dir, const char* title, int /*allowCancel*/, int allowMakeDir, std::string& path)
{
    Popup p;
    p.kind = "dir";
    p.allow_make_dir = allowMakeDir != 0;
    p.title = str(title);
    p.default_path = str(dir);
    p.buttons = {"Select", "Cancel"};
    run_popup(p);
    if (p.button < 0 || p.response.empty()) return VAL_NO_DIRECTORY_SELECTED;
    path = p.response;
    return VAL_DIRECTORY_SELECTED;
}

}  // namespace detail

}  // namespace vui

using namespace vui;

int MessagePopup(const char* title, const char* message)
{
    Popup p;
    p.kind = "message";
    p.title = title ? title : "";
    p.text = message ? message : "";
    p.buttons = {"OK"};
    run_popup(p);
    return 0;
}

int ConfirmPopup(const char* title, const char* message)
{
    Popup p;
    p.kind = "confirm";
    p.title = title ? title : "";
    p.text = message ? message : "";
    p.buttons = {"Yes", "No"};
    run_popup(p);
    return p.button == 1 ? 1 : 0;
}

int GenericMessagePopup(const char* title, const char* message, const char* button1, const char* button2,
                        const char* button3, char* response, int maxResponseLength, int enterButton,
                        int escapeButton)
{
    std::string text;
    int r = vui::detail::generic_popup(title, message, button1, button2, button3, response ? &text : nullptr,
                                       maxResponseLength, enterButton, escapeButton);
    // The caller's buffer holds maxResponseLength characters and the terminator.
    if (response && maxResponseLength >= 0)
        vui::detail::copy_out(text, response, static_cast<std::size_t>(maxResponseLength) + 1);
    return r;
}

int RunUserInterface()
{
    LoopState& s = loop();
    while (true) {
        if (s.quit_requested) {
            s.quit_requested = false;
            return s.quit_code;
        }
        if (pump_once()) continue;
        if (s.quit_requested) continue;
        if (s.idle_hook && !s.idle_hook()) return -1;
        wait_for_work();
    }
}

int QuitUserInterface(int returnCode)
{
    loop().quit_requested = true;
    loop().quit_code = returnCode;
    return 0;
}

int GetUserEvent(int wait, int* panelOrMenuBar, int* controlOrMenuItem)
{
    LoopState& s = loop();
    auto took_commit = [&] {
        if (!s.has_commit) return false;
        s.has_commit = false;
        if (panelOrMenuBar) *panelOrMenuBar = s.commit_a;
        if (controlOrMenuItem) *controlOrMenuItem = s.commit_b;
        return true;
    };
    // What the program changed so far reaches the views while it polls.
    flush_changes();
    // A driver acting between steps dispatches its events inside the hooks.
    s.has_commit = false;
    if (s.pump_hook) s.pump_hook();
    if (took_commit()) return s.commit_type;
    while (true) {
        for (std::size_t n = pending_tasks(); n > 0; --n) {
            s.has_commit = false;
            if (!run_one_task()) break;
            if (s.has_commit) {
                s.has_commit = false;
                if (panelOrMenuBar) *panelOrMenuBar = s.commit_a;
                if (controlOrMenuItem) *controlOrMenuItem = s.commit_b;
                return s.commit_type;
            }
        }
        fire_due_timers();
        if (!wait) return 0;
        if (pending_tasks() > 0) continue;
        if (s.idle_hook) {
            s.has_commit = false;
            if (!s.idle_hook()) return 0;
            if (took_commit()) return s.commit_type;
            continue;
        }
        wait_for_work();
    }
}

int ProcessSystemEvents()
{
    LoopState& s = loop();
    if (s.pump_hook) s.pump_hook();
    pump_once();
    return 0;
}
