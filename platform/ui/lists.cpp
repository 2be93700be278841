// List boxes and rings (items, current index, check marks) and text boxes (lines).
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "platform/ui/model.h"
#include "platform/ui/notify.h"

using namespace vui;

namespace {

// Finds the control when it is of the wanted kind; sets status to why not otherwise.
Control* checked_ctrl(int panel, int ctrl, int& status, bool (*wanted)(const Control&))
{
    if (!find_panel(panel)) {
        status = UIE_BAD_HANDLE;
        return nullptr;
    }
    Control* c = find_ctrl(panel, ctrl);
    if (!c) {
        status = UIE_BAD_CTRL;
        return nullptr;
    }
    if (!wanted(*c)) {
        status = UIE_NOT_ALLOWED;
        return nullptr;
    }
    status = 0;
    return c;
}

bool holds_items(const Control& c) { return style_has_items(c.style); }
bool is_text_box(const Control& c) { return c.style == CTRL_TEXT_BOX; }

// Runs `act` on a control that holds items (list box, ring), or returns why there is none.
template <typename Act>
int on_list(int panel, int ctrl, Act act)
{
    int status = 0;
    Control* c = checked_ctrl(panel, ctrl, status, holds_items);
    return c ? act(*c) : status;
}

// Runs `act` on a text box, or returns why there is none.
template <typename Act>
int on_text_box(int panel, int ctrl, Act act)
{
    int status = 0;
    Control* c = checked_ctrl(panel, ctrl, status, is_text_box);
    return c ? act(*c) : status;
}

bool valid_index(const Control& c, int index) { return index >= 0 && index < static_cast<int>(c.items.size()); }

// Item values take the control's data type, so a lookup by value compares like with like.
bool item_value(const Control& c, const Value& in, Value& out)
{
    if (c.data_type == VAL_STRING) {
        if (in.kind != Value::Text) return false;
        out = in;
        return true;
    }
    if (!in.is_number()) return false;
    out = (c.data_type == VAL_DOUBLE || c.data_type == VAL_FLOAT) ? Value::of(in.as_double()) : Value::of(in.as_int());
    return true;
}

void set_lines(Control& c, const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) text += '\n';
        text += lines[i];
    }
    c.value = Value::of(std::move(text));
}

}  // namespace

namespace vui::detail {

int insert_list_item(int panel, int ctrl, int index, const std::string& label, const Value& v)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        Value value;
        if (!item_value(c, v, value)) return UIE_BAD_TYPE;
        int n = static_cast<int>(c.items.size());
        if (index < -1 || index > n) return UIE_BAD_INDEX;
        int at = index == -1 ? n : index;
        c.items.insert(c.items.begin() + at, ListItem{label, value, false});
        if (c.index < 0)
            c.index = 0;
        else if (at <= c.index)
            ++c.index;
        notify_list_rows(panel, ctrl, static_cast<std::size_t>(at), 0, 1);
        return 0;
    });
}

int replace_list_item(int panel, int ctrl, int index, const std::string& label, const Value& v)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        if (!valid_index(c, index)) return UIE_BAD_INDEX;
        Value value;
        if (!item_value(c, v, value)) return UIE_BAD_TYPE;
        c.items[static_cast<std::size_t>(index)].label = label;
        c.items[static_cast<std::size_t>(index)].value = value;
        notify_list_rows(panel, ctrl, static_cast<std::size_t>(index), 1, 1);
        return 0;
    });
}

int get_value_from_index(int panel, int ctrl, int index, Value& out)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        if (!valid_index(c, index)) return UIE_BAD_INDEX;
        out = c.items[static_cast<std::size_t>(index)].value;
        return 0;
    });
}

int get_index_from_value(int panel, int ctrl, int* index, const Value& v)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        for (std::size_t i = 0; i < c.items.size(); ++i) {
            if (c.items[i].value == v) {
                *index = static_cast<int>(i);
                return 0;
            }
        }
        *index = -1;
        return UIE_BAD_INDEX;
    });
}

int get_label_from_index(int panel, int ctrl, int index, std::string& out)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        if (!valid_index(c, index)) return UIE_BAD_INDEX;
        out = c.items[static_cast<std::size_t>(index)].label;
        return 0;
    });
}

int get_text_box_line(int panel, int ctrl, int line, std::string& out)
{
    return on_text_box(panel, ctrl, [&](Control& c) -> int {
        auto lines = text_box_lines(c);
        if (line < 0 || line >= static_cast<int>(lines.size())) return UIE_BAD_INDEX;
        out = lines[static_cast<std::size_t>(line)];
        return 0;
    });
}

}  // namespace vui::detail

int InsertListItems(int panel, int ctrl, int index, std::vector<std::string>& labels, const std::vector<int>& values)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        if (labels.size() != values.size()) return UIE_BAD_INDEX;
        const int n = static_cast<int>(c.items.size());
        if (index < -1 || index > n) return UIE_BAD_INDEX;
        if (labels.empty()) return 0;
        std::vector<ListItem> added;
        added.reserve(labels.size());
        for (std::size_t k = 0; k < labels.size(); ++k) {
            Value value;
            if (!item_value(c, Value::of(static_cast<std::int64_t>(values[k])), value)) return UIE_BAD_TYPE;
            added.push_back(ListItem{std::move(labels[k]), std::move(value), false});
        }
        const int at = index == -1 ? n : index;
        c.items.insert(c.items.begin() + at, std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
        // Where single inserts would have left the current item.
        if (c.index < 0)
            c.index = 0;
        else if (at <= c.index)
            c.index += static_cast<int>(added.size());
        notify_list_rows(panel, ctrl, static_cast<std::size_t>(at), 0, added.size());
        return 0;
    });
}

int DeleteListItem(int panel, int ctrl, int index, int count)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        if (!valid_index(c, index)) return UIE_BAD_INDEX;
        int n = static_cast<int>(c.items.size());
        int end = count < 0 ? n : std::min(n, index + count);
        c.items.erase(c.items.begin() + index, c.items.begin() + end);
        if (c.index >= end)
            c.index -= end - index;
        else if (c.index >= index)
            c.index = std::min(index, static_cast<int>(c.items.size()) - 1);
        notify_list_rows(panel, ctrl, static_cast<std::size_t>(index), static_cast<std::size_t>(end - index), 0);
        return 0;
    });
}

int ClearListCtrl(int panel, int ctrl)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        const std::size_t had = c.items.size();
        c.items.clear();
        c.index = -1;
        notify_list_rows(panel, ctrl, 0, had, 0);
        return 0;
    });
}

int GetNumListItems(int panel, int ctrl, int* count)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        *count = static_cast<int>(c.items.size());
        return 0;
    });
}

int GetCtrlIndex(int panel, int ctrl, int* index)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        *index = c.index;
        return 0;
    });
}

int SetCtrlIndex(int panel, int ctrl, int index)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        if (!valid_index(c, index)) return UIE_BAD_INDEX;
        c.index = index;
        notify_ctrl(panel, ctrl);
        return 0;
    });
}

int CheckListItem(int panel, int ctrl, int index, int checked)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        if (!valid_index(c, index)) return UIE_BAD_INDEX;
        auto& item = c.items[static_cast<std::size_t>(index)];
        if (item.checked == (checked != 0)) return 0;
        item.checked = checked != 0;
        notify_list_rows(panel, ctrl, static_cast<std::size_t>(index), 1, 1);
        return 0;
    });
}

int IsListItemChecked(int panel, int ctrl, int index, int* checked)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        if (!valid_index(c, index)) return UIE_BAD_INDEX;
        *checked = c.items[static_cast<std::size_t>(index)].checked ? 1 : 0;
        return 0;
    });
}

int GetNumCheckedItems(int panel, int ctrl, int* count)
{
    return on_list(panel, ctrl, [&](Control& c) -> int {
        *count = static_cast<int>(std::count_if(c.items.begin(), c.items.end(), [](auto& i) { return i.checked; }));
        return 0;
    });
}

int ResetTextBox(int panel, int ctrl, const char* text)
{
    return on_text_box(panel, ctrl, [&](Control& c) -> int {
        c.value = Value::of(std::string(text ? text : ""));
        notify_ctrl(panel, ctrl);
        return 0;
    });
}

int GetNumTextBoxLines(int panel, int ctrl, int* count)
{
    return on_text_box(panel, ctrl, [&](Control& c) -> int {
        *count = static_cast<int>(text_box_lines(c).size());
        return 0;
    });
}

int InsertTextBoxLine(int panel, int ctrl, int line, const char* text)
{
    return on_text_box(panel, ctrl, [&](Control& c) -> int {
        auto lines = text_box_lines(c);
        int n = static_cast<int>(lines.size());
        if (line < -1 || line > n) return UIE_BAD_INDEX;
        lines.insert(lines.begin() + (line == -1 ? n : line), std::string(text ? text : ""));
        set_lines(c, lines);
        notify_ctrl(panel, ctrl);
        return 0;
    });
}

int ReplaceTextBoxLine(int panel, int ctrl, int line, const char* text)
{
    return on_text_box(panel, ctrl, [&](Control& c) -> int {
        auto lines = text_box_lines(c);
        if (line < 0 || line >= static_cast<int>(lines.size())) return UIE_BAD_INDEX;
        lines[static_cast<std::size_t>(line)] = text ? text : "";
        set_lines(c, lines);
        notify_ctrl(panel, ctrl);
        return 0;
    });
}

int DeleteTextBoxLine(int panel, int ctrl, int line)
{
    return on_text_box(panel, ctrl, [&](Control& c) -> int {
        auto lines = text_box_lines(c);
        if (line < 0 || line >= static_cast<int>(lines.size())) return UIE_BAD_INDEX;
        lines.erase(lines.begin() + line);
        set_lines(c, lines);
        notify_ctrl(panel, ctrl);
        return 0;
    });
}
