// The headless driver: user actions through the queue, scripted popup answers, timer stepping, read-outs.
#include "platform/ui/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "platform/sys/clock.h"
#include "platform/sys/launch.h"
#include "platform/sys/message_box.h"
#include "platform/ui/list_text.h"
#include "platform/ui/status_line.h"
#include "platform/ui/user_actions.h"

namespace vui {

// Documents may be opened from any thread.
struct DocumentLog {
    std::mutex mutex;
    std::vector<std::string> paths;
};

Headless::Headless() : documents_(std::make_shared<DocumentLog>())
{
    reset_ui();
    clear_status_line();
    install_message_box_hook();
    vsys::set_document_launcher([log = documents_](const std::string& path) {
        std::lock_guard lock(log->mutex);
        log->paths.push_back(path);
    });
    set_popup_responder([this](const PopupInfo& info) { return respond(info); });
    set_fatal_error_handler([](const std::string& message) { ADD_FAILURE() << "Fatal error in the UI: " << message; });
    set_idle_hook([this] { return on_idle(); });
    set_pump_hook([this] { on_pump(); });
}

Headless::~Headless()
{
    if (!answers_.empty()) ADD_FAILURE() << answers_.size() << " popup answer(s) queued but no popup came to use them";
    if (!later_.empty()) ADD_FAILURE() << later_.size() << " action(s) between steps never ran";
    set_pump_hook(nullptr);
    set_idle_hook(nullptr);
    set_fatal_error_handler(nullptr);
    set_popup_responder(nullptr);
    vsys::set_message_box_handler(nullptr);
    vsys::set_document_launcher(nullptr);
    reset_ui();
}

bool Headless::act(std::function<bool()> action)
{
    // Between steps the program is inside its own pump: act at once, as the
    // events a user makes then are what that pump dispatches.
    if (in_hook_) return action();
    auto result = std::make_shared<bool>(false);
    post_task([action, result] { *result = action(); });
    pump();
    return *result;
}

void Headless::pump()
{
    for (int guard = 0; guard < 100000 && pump_once(); ++guard) {
    }
}

void Headless::advance(double seconds)
{
    if (!vsys::clock_is_simulated()) {
        ADD_FAILURE() << "Headless::advance needs the simulated clock (vtest::SimulatedClock)";
        return;
    }
    double target = vsys::clock_seconds() + seconds;
    for (int guard = 0; guard < 1000000; ++guard) {
        pump();
        auto due = next_timer_due();
        double now = vsys::clock_seconds();
        if (!due || *due > target) break;
        if (*due > now) vsys::advance_clock(*due - now);
    }
    double now = vsys::clock_seconds();
    if (target > now) vsys::advance_clock(target - now);
    pump();
}

bool Headless::set(int panel, int ctrl, int value)
{
    return act([=] { return user::set_value(panel, ctrl, Value::of(std::int64_t{value}), true); });
}
bool Headless::set(int panel, int ctrl, double value)
{
    return act([=] { return user::set_value(panel, ctrl, Value::of(value), true); });
}
bool Headless::set(int panel, int ctrl, const std::string& value)
{
    return act([=] { return user::set_value(panel, ctrl, Value::of(value), true); });
}
bool Headless::change(int panel, int ctrl, const Value& value)
{
    return act([=] { return user::set_value(panel, ctrl, value, false); });
}
bool Headless::press(int panel, int ctrl) { return act([=] { return user::press(panel, ctrl); }); }
bool Headless::click(int panel, int ctrl, int x, int y, bool ctrl_key)
{
    return act([=] { return user::click(panel, ctrl, x, y, ctrl_key); });
}
bool Headless::double_click(int panel, int ctrl, int x, int y)
{
    return act([=] { return user::double_click(panel, ctrl, x, y); });
}
bool Headless::right_click(int panel, int ctrl, int x, int y, bool ctrl_key)
{
    return act([=] { return user::right_click(panel, ctrl, x, y, ctrl_key); });
}
bool Headless::select(int panel, int ctrl, int index, bool commit)
{
    return act([=] { return user::select_item(panel, ctrl, index, commit); });
}
bool Headless::check(int panel, int ctrl, int index, bool checked)
{
    return act([=] { return user::check_item(panel, ctrl, index, checked); });
}
bool Headless::key(int panel, int key_code) { return act([=] { return user::key(panel, key_code); }); }
bool Headless::pick(int menubar, int item, bool ctrl_key)
{
    return act([=] { return user::pick_menu(menubar, item, ctrl_key); });
}
bool Headless::pick(int menubar, const std::string& item_name)
{
    int item = find_menu_item(menubar, item_name);
    if (item == 0) {
        ADD_FAILURE() << "no menu item \"" << item_name << "\" on menu bar " << menubar;
        return false;
    }
    return pick(menubar, item);
}

bool Headless::move_cursor(int panel, int ctrl, int cursor, double x, double y, bool commit)
{
    return act([=] { return user::move_cursor(panel, ctrl, cursor, x, y, commit); });
}
bool Headless::zoom(int panel, int ctrl, double xmin, double xmax, double ymin, double ymax)
{
    return act([=] { return user::zoom(panel, ctrl, xmin, xmax, ymin, ymax); });
}
bool Headless::close(int panel) { return act([=] { return user::close(panel); }); }
bool Headless::move_panel(int panel, int top, int left) { return act([=] { return user::move_panel(panel, top, left); }); }
bool Headless::size_panel(int panel, int height, int width)
{
    return act([=] { return user::size_panel(panel, height, width); });
}
bool Headless::activate(int panel) { return act([=] { return user::activate(panel); }); }

// --- popups ----------------------------------------------------------------------------

void Headless::answer(int button) { answers_.push_back({{}, PopupAnswer{button, "", false}}); }
void Headless::answer_yes() { answers_.push_back({{"confirm"}, PopupAnswer{1, "", false}}); }
void Headless::answer_no() { answers_.push_back({{"confirm"}, PopupAnswer{0, "", false}}); }
void Headless::answer_text(const std::string& text, int button)
{
    answers_.push_back({{"prompt", "generic"}, PopupAnswer{button, text, false}});
}
void Headless::answer_path(const std::string& path) { answers_.push_back({{"file", "dir"}, PopupAnswer{1, path, false}}); }
void Headless::answer_cancel() { answers_.push_back({{"prompt", "file", "dir"}, PopupAnswer{2, "", true}}); }

std::optional<PopupAnswer> Headless::respond(const PopupInfo& info)
{
    shown_.push_back(info);
    if (hold_) {
        hold_ = false;
        return std::nullopt;
    }
    if (answers_.empty()) {
        ADD_FAILURE() << "Popup that the test did not answer (" << info.kind << ") \"" << info.title << "\": \""
                      << info.text << "\"";
        return PopupAnswer{0, "", true};
    }
    Scripted s = answers_.front();
    answers_.pop_front();
    if (!s.kinds.empty() && std::find(s.kinds.begin(), s.kinds.end(), info.kind) == s.kinds.end())
        ADD_FAILURE() << "The answer queued for a " << s.kinds.front() << " popup met a " << info.kind << " popup \""
                      << info.title << "\": \"" << info.text << "\"";
    return s.answer;
}

bool Headless::answer_open(const PopupAnswer& answer)
{
    const auto& open = model().open_popups;
    if (open.empty()) {
        ADD_FAILURE() << "answer_open: no popup is open";
        return false;
    }
    return answer_popup(open.back()->id, answer);
}

// --- between steps -------------------------------------------------------------------------

void Headless::after_pumps(int n, std::function<void()> action) { later_.push_back({std::max(1, n), std::move(action)}); }

void Headless::on_pump()
{
    if (in_hook_ || later_.empty()) return;
    in_hook_ = true;
    for (auto& l : later_) --l.countdown;
    std::vector<std::function<void()>> due;
    for (auto it = later_.begin(); it != later_.end();) {
        if (it->countdown <= 0) {
            due.push_back(std::move(it->action));
            it = later_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& a : due) a();
    in_hook_ = false;
}

bool Headless::on_idle()
{
    if (later_.empty()) {
        ADD_FAILURE() << "The program waits for user input that the test never gives";
        return false;
    }
    in_hook_ = true;
    auto action = std::move(later_.front().action);
    later_.erase(later_.begin());
    action();
    in_hook_ = false;
    return true;
}

// --- reading ---------------------------------------------------------------------------------

int Headless::ival(int panel, int ctrl) const
{
    Value v;
    EXPECT_EQ(detail::get_ctrl_val(panel, ctrl, v), 0) << "no value for panel " << panel << " control " << ctrl;
    return static_cast<int>(v.as_int());
}

double Headless::dval(int panel, int ctrl) const
{
    Value v;
    EXPECT_EQ(detail::get_ctrl_val(panel, ctrl, v), 0) << "no value for panel " << panel << " control " << ctrl;
    return v.as_double();
}

std::string Headless::text(int panel, int ctrl) const
{
    Value v;
    EXPECT_EQ(detail::get_ctrl_val(panel, ctrl, v), 0) << "no value for panel " << panel << " control " << ctrl;
    return v.s;
}

std::string Headless::label(int panel, int ctrl) const
{
    Value v;
    EXPECT_EQ(detail::get_ctrl_attr(panel, ctrl, ATTR_LABEL_TEXT, v), 0);
    return v.s;
}

int Headless::attribute(int panel, int ctrl, int attr) const
{
    Value v;
    EXPECT_EQ(detail::get_ctrl_attr(panel, ctrl, attr, v), 0) << "attribute " << attr;
    return static_cast<int>(v.as_int());
}

bool Headless::dimmed(int panel, int ctrl) const { return attribute(panel, ctrl, ATTR_DIMMED) != 0; }
bool Headless::visible(int panel, int ctrl) const { return attribute(panel, ctrl, ATTR_VISIBLE) != 0; }
bool Headless::panel_exists(int panel) const { return vui::find_panel(panel) != nullptr; }
bool Headless::panel_visible(int panel) const { return panel_shown(panel); }

std::string Headless::title(int panel) const
{
    Value v;
    EXPECT_EQ(detail::get_panel_attr(panel, ATTR_TITLE, v), 0);
    return v.s;
}

int Headless::panel_attribute(int panel, int attr) const
{
    Value v;
    EXPECT_EQ(detail::get_panel_attr(panel, attr, v), 0) << "attribute " << attr;
    return static_cast<int>(v.as_int());
}

int Headless::find_panel(const std::string& name) const
{
    for (auto& [h, p] : model().panels) {
        auto it = p->attrs.find(ATTR_CONSTANT_NAME);
        if (it != p->attrs.end() && it->second.s == name) return h;
    }
    for (auto& [h, p] : model().panels) {
        auto it = p->attrs.find(ATTR_TITLE);
        if (it != p->attrs.end() && it->second.s == name) return h;
    }
    return 0;
}

int Headless::modal_panel() const { return model().popup_stack.empty() ? 0 : model().popup_stack.back(); }

std::vector<ListItem> Headless::items(int panel, int ctrl) const
{
    Control* c = find_ctrl(panel, ctrl);
    EXPECT_TRUE(c) << "no control " << ctrl << " on panel " << panel;
    return c ? c->items : std::vector<ListItem>{};
}

std::vector<std::string> Headless::plain_items(int panel, int ctrl) const
{
    std::vector<std::string> out;
    for (const auto& i : items(panel, ctrl)) out.push_back(plain_list_text(i.label));
    return out;
}

int Headless::index(int panel, int ctrl) const
{
    int i = -1;
    EXPECT_EQ(GetCtrlIndex(panel, ctrl, &i), 0);
    return i;
}

namespace {
Headless::MenuEntry entry_of(const MenuNode& n)
{
    return Headless::MenuEntry{n.id, n.name, n.checked, n.dimmed, n.shortcut, n.submenu, n.callback_name, n.callback_data};
}
}  // namespace

std::vector<Headless::MenuEntry> Headless::menu_items(int menubar, int menu) const
{
    std::vector<MenuEntry> out;
    MenuBar* b = find_menubar(menubar);
    EXPECT_TRUE(b) << "no menu bar " << menubar;
    if (!b) return out;
    auto it = b->nodes.find(menu);
    EXPECT_TRUE(it != b->nodes.end() && it->second.is_menu) << "no menu " << menu;
    if (it == b->nodes.end()) return out;
    for (int id : it->second.children) out.push_back(entry_of(b->nodes.at(id)));
    return out;
}

std::optional<Headless::MenuEntry> Headless::menu_item(int menubar, int item) const
{
    MenuBar* b = find_menubar(menubar);
    if (!b) return std::nullopt;
    auto it = b->nodes.find(item);
    if (it == b->nodes.end()) return std::nullopt;
    return entry_of(it->second);
}

int Headless::find_menu_item(int menubar, const std::string& name) const
{
    MenuBar* b = find_menubar(menubar);
    if (!b) return 0;
    for (auto& [id, n] : b->nodes)
        if (n.name == name) return id;
    return 0;
}

std::vector<Plot> Headless::plots(int panel, int ctrl) const
{
    Control* c = find_ctrl(panel, ctrl);
    EXPECT_TRUE(c && c->graph) << "no graph " << ctrl << " on panel " << panel;
    return c && c->graph ? c->graph->plots : std::vector<Plot>{};
}

std::vector<double> Headless::trace(int panel, int ctrl, int trace) const
{
    Control* c = find_ctrl(panel, ctrl);
    EXPECT_TRUE(c && c->graph && trace >= 1 && trace <= static_cast<int>(c->graph->traces.size()))
        << "no trace " << trace << " of strip chart " << ctrl;
    if (!c || !c->graph || trace < 1 || trace > static_cast<int>(c->graph->traces.size())) return {};
    const auto& pts = c->graph->traces[static_cast<std::size_t>(trace - 1)].points;
    return {pts.begin(), pts.end()};
}

std::vector<std::string> Headless::documents() const
{
    std::lock_guard lock(documents_->mutex);
    return documents_->paths;
}

int Headless::mouse_cursor() const { return model().wait_cursor ? VAL_HOUR_GLASS_CURSOR : model().mouse_cursor; }

}  // namespace vui
