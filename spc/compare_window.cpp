// The batch comparison window and the two batch selections it holds.
#include "spc/compare_window.h"

#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "panels/compare.h"
#include "panels/s_chart.h"
#include "panels/wafers.h"
#include "platform/ui/userint.h"
#include "spc/chart_window.h"
#include "testing/window_menu.h"

namespace {

// Checked labels of a batch list from item 1 on; none when "Select All" (item 0) is checked or nothing is.
std::vector<std::string> checked_entries(int dialog, int ctrl, std::size_t width)
{
    std::vector<std::string> out;
    int all = 0;
    IsListItemChecked(dialog, ctrl, 0, &all);
    if (all) return out;
    int n = 0;
    GetNumListItems(dialog, ctrl, &n);
    for (int i = 1; i < n; ++i) {
        int on = 0;
        IsListItemChecked(dialog, ctrl, i, &on);
        if (!on) continue;
        std::string label;
        GetLabelFromIndex(dialog, ctrl, i, &label);
        out.push_back(label.substr(0, width));
    }
    return out;
}

struct Batch {
    int* wafers;
    std::vector<int>* select;
    std::vector<int>* logic;
    int* lots;
    std::vector<std::string>* lot_select;
    int* recipes;
    std::vector<std::string>* recipe_select;
    int* systems;
    std::vector<std::string>* system_select;
};

Batch test_batch()
{
    return {&wafer_restrictions, &wafer_select,  &wafer_logic,         &lot_restrictions,    &lot_select,
            &recipe_restrictions, &recipe_select, &system_restrictions, &system_select};
}

Batch por_batch()
{
    return {&por_wafer_restrictions, &por_wafer_select,  &por_wafer_logic,         &por_lot_restrictions,
            &por_lot_select,         &por_recipe_restrictions, &por_recipe_select, &por_system_restrictions,
            &por_system_select};
}

// Replaces one batch selection with the dialog's checks. The chart points stay: an open chart window keeps its
// series while the batches of a comparison are chosen.
void take_batch(int dialog, const Batch& b)
{
    b.select->clear();
    b.logic->clear();
    int all = 0;
    IsListItemChecked(dialog, WAFERS_WAFER_LIST, 0, &all);
    if (!all) {
        int n = 0;
        GetNumListItems(dialog, WAFERS_WAFER_LIST, &n);
        for (int i = 1; i < n; ++i) {
            int on = 0;
            IsListItemChecked(dialog, WAFERS_WAFER_LIST, i, &on);
            if (!on) continue;
            int value = 0;
            std::string label;
            GetValueFromIndex(dialog, WAFERS_WAFER_LIST, i, &value);
            GetLabelFromIndex(dialog, WAFERS_WAFER_LIST, i, &label);
            int logic = 0;
            if (label.find('<') != std::string::npos) logic = -1;
            if (label.find('>') != std::string::npos) logic = 1;
            b.select->push_back(value);
            b.logic->push_back(logic);
        }
    }
    *b.wafers = static_cast<int>(b.select->size());
    *b.lot_select = checked_entries(dialog, WAFERS_TRACE_LIST, 32);
    *b.lots = static_cast<int>(b.lot_select->size());
    *b.recipe_select = checked_entries(dialog, WAFERS_RECIPE_LIST, 32);
    *b.recipes = static_cast<int>(b.recipe_select->size());
    *b.system_select = checked_entries(dialog, WAFERS_SYSTEM_LIST, 16);
    *b.systems = static_cast<int>(b.system_select->size());
    int panel = dialog;
    DiscardMyPanel(&panel);
}

bool any_run()
{
    DbStatement st(hdbc, "SELECT TRACE_ID FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY SAV_DATE DESC, SAV_TIME DESC");
    if (!st.ok()) {
        ShowError();
        return false;
    }
    char trace[33] = "";
    long status = 0;
    if (DBBindColChar(st.handle(), 1, sizeof trace, trace, &status, "") != 0) ShowError();
    const bool found = DBFetchNext(st.handle()) == 0;
    if (st.close() != 0) ShowError();
    return found;
}

}  // namespace

int compare_batches(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    if (Flags & FLAG_COMPARE) {
        discard_window(MENUBAR_WINDOW_BATCH_COMPARISON);
        discard_window(MENUBAR_WINDOW_SPC_CHART_LIST);
        discard_window(MENUBAR_WINDOW_SPC_CHART);
    } else {
        for (int* handle : {&spc_chart_selections, &spc_panel, &compare_panel}) {
            if (*handle > 0) DiscardMyPanel(handle);
            *handle = -1;
        }
    }
    free_mem();
    por_free_mem();
    shown_chart().release_series();
    if (!(Flags & FLAG_COMPARE)) {
        get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
        get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
        get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
    }
    const bool found = any_run();
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    if (!found) {
        MessagePopup("", "Cannot compare data sets because no data is in the database.");
        return 0;
    }
    compare_panel = LoadPanel(panel > 0 ? panel : 0, "compare.uir", COMPARE);
    if (compare_panel < 0) {
        compare_panel = -1;
        return 0;
    }
    set_panel_attributes(compare_panel, panel > 0 ? panel : 0, 0, 1);
    Flags &= static_cast<std::uint8_t>(~FLAG_COMPARE);
    menu_tile(handle_menu, MENUBAR_WINDOW_TILE, nullptr, parent_panel);
    DisplayPanel(compare_panel);
    return 0;
}

int select_test_batches(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    take_batch(panel, test_batch());
    return 0;
}

int select_por_batches(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    take_batch(panel, por_batch());
    return 0;
}

int stop_compare(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    free_mem();
    por_free_mem();
    shown_chart().release_series();
    discard_window(MENUBAR_WINDOW_BATCH_COMPARISON);
    discard_window(MENUBAR_WINDOW_SPC_CHART_LIST);
    discard_window(MENUBAR_WINDOW_SPC_CHART);
    return 0;
}

void MenuCompare(int menuBar, int, void*, int panel)
{
    if (compare_panel <= 0) {
        compare_batches(parent_panel > 0 ? parent_panel : panel, 0, EVENT_COMMIT, nullptr, 0, 0);
        Flags |= FLAG_COMPARE;
        SetMenuBarAttribute(menuBar, MENUBAR_WINDOW_BATCH_COMPARISON, ATTR_DIMMED, 0);
    }
    spc_sc_toggle(menuBar, MENUBAR_WINDOW_BATCH_COMPARISON, nullptr, sc_handle);
}
