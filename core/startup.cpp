// Start-up: initial globals, working directory, connection, tables, setup, start record and alarm status; close-down.
#include "core/startup.h"

#include <cstdio>
#include <string>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/ini_file.h"
#include "core/schema.h"
#include "core/shared_buffers.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "platform/sys/format.h"
#include "platform/sys/timing.h"
#include "platform/ui/userint.h"

void initial_state()
{
    Flags &= static_cast<std::uint8_t>(~FLAG_PENDING_CHANGES);
    Flags |= FLAG_COMPARE;
    wafer_restrictions = por_wafer_restrictions = lot_restrictions = por_lot_restrictions = 0;
    recipe_restrictions = por_recipe_restrictions = system_restrictions = por_system_restrictions = 0;
    por_chart_points = 0;
    confidence_level = 4;
}

void closed_state()
{
    status_color = STATUS_WHITE;
    for (int* h : {&list_panel, &handle_menu, &sc_handle, &spc_panel, &spc_chart_selections, &legend_panel,
                   &compare_panel, &realtime_panel, &hdbc, &ndbc})
        *h = -1;
    GraphInfo.clear();
    GraphInfoEntries = 0;
    vt_dir.clear();
}

void close_down()
{
    GraphInfo.clear();
    GraphInfoEntries = 0;
    if (hdbc > 0) {
        DBDisconnect(hdbc);
        hdbc = -1;
    }
    if (ndbc > 0) {
        DBDisconnect(ndbc);
        ndbc = -1;
    }
    vt_dir.clear();
    // What is still open in the SQL layer (a connection marked closed after a table failure) ends here.
    DBRunStateCallback(DB_RUN_STATE_STOP);
}

int ReadGlobalSetup()
{
    // A fatal working-directory error has been shown once: no second popup, no connect.
    if (!get_working_directory(&vt_dir)) return 0;
    if (hdbc < 1) {
        int height = 0, width = 0;
        GetScreenSize(&height, &width);
        if (height < 500) {
            SetMouseCursor(-1);
            MessagePopup("Warning", "Display resolution should be at least 600x800.  Some windows may not display correctly.");
        }
        std::string connect = vsys::strprintf("DSN=ZID32_Samples; DB=%s", vt_dir.c_str());
        hdbc = DBConnect(connect.c_str());
        if (hdbc < 1) {
            EXIT_NOW(connect.c_str());
            return 0;
        }
    }
    char text[33];
    get_put_char(hdbc, 0, 8, CONFIG_READ, text);
    int on = 0;
    current_file_index = std::sscanf(text, "%*d %d", &on) == 1 && on != 0 ? 0 : -1;
    check_tables(&hdbc);
    LoadSetup();
    get_converted_date(save_date);
    copy_bounded(save_time, TimeStr().c_str(), 8);
    vsys::format_into(text, sizeof text, "%s %s", save_date, save_time);
    get_put_char(hdbc, 0, 21, CONFIG_WRITE, text);
    vsys::format_into(text, sizeof text, "%s", "DEFAULT");
    get_put_char(hdbc, 1, 0, CONFIG_WRITE, text);
    int handle = DBActivateSQL(hdbc, "SELECT RUN FROM OOC_ALRM WHERE CLEARED = 0");
    bool uncleared = false;
    if (handle > 0) {
        int run = 0;
        long status = 0;
        DBBindColInt(handle, 1, &run, &status);
        uncleared = DBFetchNext(handle) == 0;
    }
    status_color = uncleared ? STATUS_YELLOW : STATUS_WHITE;
    DBDeactivateSQL(handle);
    return 1;
}
