// List boxes and rings (items, current index, check marks) and text boxes (lines).
#include <algorithm>

#include "platform/ui/model.h"
#include "platform/ui/notify.h"

using namespace vui;

namespace {

// Finds a control that holds items; sets status to the error otherwise.
Control* list_ctrl(int panel, int ctrl, int& status)
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
    if (!style_has_items(c->style)) {
        status = UIE_NOT_ALLOWED;
        return nullptr;
    }
    status = 0;
    return c;
}

Control* text_box(int panel, int ctrl, int& status)
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
    if (c->style != CTRL_TEXT_BOX) {
        status = UIE_NOT_ALLOWED;
        return nullptr;
    }
    status = 0;
    return c;
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
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    Value value;
    if (!item_value(*c, v, value)) return UIE_BAD_TYPE;
    int n = static_cast<int>(c->items.size());
    if (index < -1 || index > n) return UIE_BAD_INDEX;
    int at = index == -1 ? n : index;
    c->items.insert(c->items.begin() + at, ListItem{label, value, false});
    if (c->index < 0)
        c->index = 0;
    else if (at <= c->index)
        ++c->index;
    notify_ctrl(panel, ctrl);
    return 0;
}

int replace_list_item(int panel, int ctrl, int index, const std::string& label, const Value& v)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (!valid_index(*c, index)) return UIE_BAD_INDEX;
    Value value;
    if (!item_value(*c, v, value)) return UIE_BAD_TYPE;
    c->items[static_cast<std::size_t>(index)].label = label;
    c->items[static_cast<std::size_t>(index)].value = value;
    notify_ctrl(panel, ctrl);
    return 0;
}

int get_value_from_index(int panel, int ctrl, int index, Value& out)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (!valid_index(*c, index)) return UIE_BAD_INDEX;
    out = c->items[static_cast<std::size_t>(index)].value;
    return 0;
}

int get_index_from_value(int panel, int ctrl, int* index, const Value& v)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    for (std::size_t i = 0; i < c->items.size(); ++i) {
        if (c->items[i].value == v) {
            *index = static_cast<int>(i);
            return 0;
        }
    }
    *index = -1;
    return UIE_BAD_INDEX;
}

int get_label_from_index(int panel, int ctrl, int index, std::string& out)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (!valid_index(*c, index)) return UIE_BAD_INDEX;
    out = c->items[static_cast<std::size_t>(index)].label;
    return 0;
}

int get_text_box_line(int panel, int ctrl, int line, std::string& out)
{
    int status = 0;
    Control* c = text_box(panel, ctrl, status);
    if (!c) return status;
    auto lines = text_box_lines(*c);
    if (line < 0 || line >= static_cast<int>(lines.size())) return UIE_BAD_INDEX;
    out = lines[static_cast<std::size_t>(line)];
    return 0;
}

}  // namespace vui::detail

int DeleteListItem(int panel, int ctrl, int index, int count)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (!valid_index(*c, index)) return UIE_BAD_INDEX;
    int n = static_cast<int>(c->items.size());
    int end = count < 0 ? n : std::min(n, index + count);
    c->items.erase(c->items.begin() + index, c->items.begin() + end);
    if (c->index >= end)
        c->index -= end - index;
    else if (c->index >= index)
        c->index = std::min(index, static_cast<int>(c->items.size()) - 1);
    notify_ctrl(panel, ctrl);
    return 0;
}

int ClearListCtrl(int panel, int ctrl)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    c->items.clear();
    c->index = -1;
    notify_ctrl(panel, ctrl);
    return 0;
}

int GetNumListItems(int panel, int ctrl, int* count)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    *count = static_cast<int>(c->items.size());
    return 0;
}

int GetCtrlIndex(int panel, int ctrl, int* index)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    *index = c->index;
    return 0;
}

int SetCtrlIndex(int panel, int ctrl, int index)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (!valid_index(*c, index)) return UIE_BAD_INDEX;
    c->index = index;
    notify_ctrl(panel, ctrl);
    return 0;
}

int CheckListItem(int panel, int ctrl, int index, int checked)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (!valid_index(*c, index)) return UIE_BAD_INDEX;
    c->items[static_cast<std::size_t>(index)].checked = checked != 0;
    notify_ctrl(panel, ctrl);
    return 0;
}

int IsListItemChecked(int panel, int ctrl, int index, int* checked)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    if (!valid_index(*c, index)) return UIE_BAD_INDEX;
    *checked = c->items[static_cast<std::size_t>(index)].checked ? 1 : 0;
    return 0;
}

int GetNumCheckedItems(int panel, int ctrl, int* count)
{
    int status = 0;
    Control* c = list_ctrl(panel, ctrl, status);
    if (!c) return status;
    *count = static_cast<int>(std::count_if(c->items.begin(), c->items.end(), [](auto& i) { return i.checked; }));
    return 0;
}

int ResetTextBox(int panel, int ctrl, const char* text)
{
    int status = 0;
    Control* c = text_box(panel, ctrl, status);
    if (!c) return status;
    c->value = Value::of(std::string(text ? text : ""));
    notify_ctrl(panel, ctrl);
    return 0;
}

int GetNumTextBoxLines(int panel, int ctrl, int* count)
{
    int status = 0;
    Control* c = text_box(panel, ctrl, status);
    if (!c) return status;
    *count = static_cast<int>(text_box_lines(*c).size());
    return 0;
}

int InsertTextBoxLine(int panel, int ctrl, int line, const char* text)
{
    int status = 0;
    Control* c = text_box(panel, ctrl, status);
    if (!c) return status;
    auto lines = text_box_lines(*c);
    int n = static_cast<int>(lines.size());
    if (line < -1 || line > n) return UIE_BAD_INDEX;
    lines.insert(lines.begin() + (line == -1 ? n : line), std::string(text ? text : ""));
    set_lines(*c, lines);
    notify_ctrl(panel, ctrl);
    return 0;
}

int ReplaceTextBoxLine(int panel, int ctrl, int line, const char* text)
{
    int status = 0;
    Control* c = text_box(panel, ctrl, status);
    if (!c) return status;
    auto lines = text_box_lines(*c);
    if (line < 0 || line >= static_cast<int>(lines.size())) return UIE_BAD_INDEX;
    lines[static_cast<std::size_t>(line)] = text ? text : "";
    set_lines(*c, lines);
    notify_ctrl(panel, ctrl);
    return 0;
}

int DeleteTextBoxLine(int panel, int ctrl, int line)
{
    int status = 0;
    Control* c = text_box(panel, ctrl, status);
    if (!c) return status;
    auto lines = text_box_lines(*c);
    if (line < 0 || line >= static_cast<int>(lines.size())) return UIE_BAD_INDEX;
    lines.erase(lines.begin() + line);
    set_lines(*c, lines);
    notify_ctrl(panel, ctrl);
    return 0;
}
