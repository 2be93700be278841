// Leaving the program with its checks, naming the system, and switching real-time testing.
#include "acquisition/commands.h"

#include <string>

#include "acquisition/acquisition_seams.h"
#include "acquisition/run_model.h"
#include "core/config_store.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/ini_file.h"
#include "core/long_command.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "panels/SystemName.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"

int Shutdown(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (!check_password(&panel, &control, Shutdown, 0)) return 0;
    int running = 0;
    if (sc_handle > 0) GetCtrlVal(sc_handle, SCHART_START, &running);
    if (running) {
        MessagePopup("", "Data collection is in progress.  Please stop data collection, by pressing the STOP button, "
                         "before exiting.");
        SetCtrlVal(sc_handle, SCHART_EXIT, 0);
        return 0;
    }
    // A replay, summary or slideshow runs inside this very event loop: leaving now would take its windows and
    // buffers from under it.
    if (LongCommand::running()) {
        LongCommand refused("Exit");
        if (sc_handle > 0) SetCtrlVal(sc_handle, SCHART_EXIT, 0);
        return 0;
    }
    acquisition_seams().saveAllAndExport(0);
    if (!ConfirmPopup("", "Are sure you want to exit Vantrel?")) {
        if (sc_handle > 0) SetCtrlVal(sc_handle, SCHART_EXIT, 0);
        return 0;
    }
    if (legend_panel > 0) {
        int width = 0, visible = 0;
        GetPanelAttribute(legend_panel, ATTR_WIDTH, &width);
        GetPanelAttribute(legend_panel, ATTR_VISIBLE, &visible);
        char value[kIniValueSize];
        vsys::format_into(value, sizeof value, "%d", width);
        read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "LEGEND_WIDTH", value);
        vsys::format_into(value, sizeof value, "%d", visible ? 1 : 0);
        read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "LEGEND_VISIBLE", value);
    }
    for (int* p : {&realtime_panel, &legend_panel, &spc_panel, &list_panel, &spc_chart_selections, &compare_panel})
        if (*p > 0) DiscardMyPanel(p);
    DiscardMyPanel(&sc_handle);
    DiscardMyPanel(&parent_panel);
    sc_handle = -1;
    handle_menu = -1;
    free_mem();
    por_free_mem();
    QuitUserInterface(0);
    return 0;
}

void return_to(int, int, void*, int)
{
    if (sc_handle <= 0) return;
    SetCtrlVal(sc_handle, SCHART_EXIT, 1);
    Shutdown(sc_handle, SCHART_EXIT, EVENT_COMMIT, nullptr, 0, 0);
}

int panel_shutdown(int panel, int event, void*, int, int)
{
    if (event == EVENT_CLOSE) Shutdown(panel, SCHART_EXIT, EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

void toggle_realtime(int menuBar, int item, void*, int)
{
    int checked = 0;
    GetMenuBarAttribute(menuBar, item, ATTR_CHECKED, &checked);
    char value[33];
    if (checked) {
        current_file_index = -1;
        SetMenuBarAttribute(menuBar, item, ATTR_CHECKED, 0);
        vsys::format_into(value, sizeof value, "%s", "0 0");
    } else {
        current_file_index = 0;
        SetMenuBarAttribute(menuBar, item, ATTR_CHECKED, 1);
        vsys::format_into(value, sizeof value, "%s", "0 1");
    }
    get_put_char(hdbc, 0, 8, CONFIG_WRITE, value);
}

void system_name(int, int, void*, int)
{
    int dialog = LoadPanel(0, "SystemName.uir", SYSNAME);
    if (dialog <= 0) return;
    char name[33];
    get_put_char(hdbc, 0, 0, CONFIG_READ, name);
    SetCtrlAttribute(dialog, SYSNAME_NAME, ATTR_MAX_ENTRY_LENGTH, 32);
    SetCtrlVal(dialog, SYSNAME_NAME, name);
    InstallPopup(dialog);
    int p = 0, c = 0;
    for (;;) {
        if (GetUserEvent(1, &p, &c) == 0) {
            c = SYSNAME_CANCEL;  // nobody can answer any more: as Cancel
            break;
        }
        if (p == dialog && (c == SYSNAME_OK || c == SYSNAME_CANCEL)) break;
    }
    // The runs being recorded keep the system name they started with.
    if (c == SYSNAME_OK && !acq().active) {
        std::string text;
        GetCtrlVal(dialog, SYSNAME_NAME, &text);
        if (!text.empty()) {
            char value[33];
            vsys::format_into(value, sizeof value, "%s", text.c_str());
            get_put_char(hdbc, 0, 0, CONFIG_WRITE, value);
            char process[33];
            get_put_char(hdbc, 1, recipe_num, CONFIG_READ, process);
            if (parent_panel > 0)
                SetPanelAttribute(parent_panel, ATTR_TITLE, vsys::strprintf("System=%s, %s", value, process).c_str());
        }
    }
    DiscardPanel(dialog);
}

void ViewLog(int, int, void*, int) { acquisition_seams().request_logfile(0, 0, EVENT_COMMIT, nullptr, 0, 0); }
