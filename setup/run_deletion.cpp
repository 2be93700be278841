// Deleting old or checked runs (rows and files, in-process), packing every table, and copying a run's wafer traces.
#include "setup/run_deletion.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/run_table.h"
#include "core/sql_access.h"
#include "core/wait_panel.h"
#include "panels/del_old.h"
#include "panels/sc_sel.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/status_line.h"
#include "platform/ui/userint.h"
#include "setup/run_selection.h"

namespace {

// The runs that an old-run deletion selects, read before it marks them.
std::vector<int> runs_saved_before(const char* date)
{
    std::vector<int> runs;
    DbStatement s(hdbc, vsys::strprintf("SELECT RUN_NUM FROM VT_INFO WHERE SAV_DATE < '%s' AND RUN_NUM > 0 ORDER BY "
                                        "RUN_NUM ASC",
                                        sql_quote(date).c_str()));
    if (!s.ok()) return runs;
    int run = 0;
    long status = 0;
    if (DBBindColInt(s.handle(), 1, &run, &status) < 0) return runs;
    while (DBFetchNext(s.handle()) == 0) runs.push_back(run);
    return runs;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

bool remove_run_files(const std::string& directory, int run, bool endpoint)
{
    namespace fs = std::filesystem;
    if (endpoint) return static_cast<bool>(vsys::delete_file_if_present(
        vsys::path_join(vsys::path_join(directory, "CLEAN"), vsys::strprintf("%d.ENP", run))));
    const std::string stem = vsys::strprintf("%.8d.", run);
    bool all = true;
    std::error_code ec;
    auto sc_data = vsys::find_file_nocase(directory, "SC_DATA");
    if (!sc_data) return true;
    std::vector<std::string> doomed;
    for (fs::directory_iterator it(*sc_data, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > stem.size() && name.compare(0, stem.size(), stem) == 0) doomed.push_back(it->path().string());
    }
    for (const auto& path : doomed)
        if (!vsys::delete_file_if_present(path)) all = false;
    return all;
}

void delete_old(int, int, void*, int)
{
    int panel = LoadPanel(0, "del_old.uir", DEL_OLD);
    if (panel < 0) return;
    InstallPopup(panel);
}

int delete_old_ok(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    short year = 0, month = 0, day = 0;
    GetCtrlVal(panel, DEL_OLD_YEAR, &year);
    GetCtrlVal(panel, DEL_OLD_MONTH, &month);
    GetCtrlVal(panel, DEL_OLD_DAY, &day);
    int handle = panel;
    DiscardMyPanel(&handle);
    vsys::format_into(save_date, sizeof save_date, "%04d/%02d/%02d", year % 10000, month % 100, day % 100);
    // The rows removed are exactly those of the runs this date selects: a lower run number saved later stays.
    const std::vector<int> selected = runs_saved_before(save_date);
    char system[17] = "", recipe[33] = "", trace[33] = "", comment[65] = "";
    short complete = 0, cassette = 0;
    const int next = info_table({hdbc, 2, 0, system, recipe, trace, comment, &complete, &cassette});
    if (next > 0) {
        for (int run : selected) {
            if (run >= next) break;
            remove_run_files(vt_dir, run, false);
            delete_db_records(hdbc, run, '=', 4, -1);
        }
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        MessagePopup("", "If finished deleting runs, you should pack the database (File menu bar).");
    }
    reload_process_setup();
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 1;
}

int delete_ok(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int checked = 0;
    GetNumCheckedItems(panel, SC_SEL_RUNS, &checked);
    if (checked <= 0) {
        MessagePopup("", "No checked runs to delete.");
        return 1;
    }
    int handled = 0;
    {
        WaitPanel wait("Deleting Traces ...");
        int count = 0;
        GetNumListItems(panel, SC_SEL_RUNS, &count);
        bool cancel = false;
        for (int i = 0; i < count && !cancel; ++i) {
            int on = 0;
            IsListItemChecked(panel, SC_SEL_RUNS, i, &on);
            if (!on) continue;
            int run = 0;
            std::string label;
            GetValueFromIndex(panel, SC_SEL_RUNS, i, &run);
            GetLabelFromIndex(panel, SC_SEL_RUNS, i, &label);
            label = trimmed(label);
            // Rows first, then the files, each run before the next: a cancel leaves no run half deleted.
            delete_db_records(hdbc, run, '=', 4, -1);
            remove_run_files(vt_dir, run, is_endpoint_label(label.c_str()));
            ++handled;
            cancel = wait.cancelled();
            wait.progress(static_cast<double>(handled) / checked);
        }
    }
    reload_process_setup();
    int handle = panel;
    DiscardMyPanel(&handle);
    vui::ShowStatusLine(handled == checked
                            ? vsys::strprintf("%d %s deleted.", handled, handled == 1 ? "run" : "runs")
                            : vsys::strprintf("Deletion stopped: %d of %d runs deleted.", handled, checked));
    return 1;
}

namespace {
// A table that is not there is passed over; any other failed PACK leaves the database not packed.
bool packed(const std::string& sql)
{
    const int result = DBImmediateSQL(hdbc, sql.c_str());
    return result == 0 || result == DB_NO_SUCH_TABLE;
}
}  // namespace

void pack_db(int, int, void*, int)
{
    WaitPanel wait("Packing Database ...");
    constexpr double kSteps = 37.0;
    bool cancel = false;
    bool stopped = false;
    int failed = 0;
    for (int c = 1; c <= 32 && !cancel; ++c) {
        for (int s = 1; s <= 16; ++s) {
            if (!packed(vsys::strprintf("PACK STEP%.2d%.2d", c, s))) ++failed;
            if (!packed(vsys::strprintf("PACK STPM%.2d%.2d", c, s))) ++failed;
        }
        for (const char* table : {"AREA_", "OTHER_", "TIMER_"})
            if (!packed(vsys::strprintf("PACK %s%.2d", table, c))) ++failed;
        cancel = wait.cancelled();
        wait.progress(c / kSteps);
    }
    for (int i = 1; i <= 5; ++i)
        if (!packed(vsys::strprintf("PACK ONTIME_%d", i))) ++failed;
    int step = 32;
    for (const char* table : {"OOC_ALRM", "VT_INFO", "ENDP_PAR", "ENDP_DAT", "CONFIG"}) {
        if (wait.cancelled()) {
            stopped = true;
            break;
        }
        if (step < 36) wait.progress(++step / kSteps);
        if (!packed(std::string("PACK ") + table)) ++failed;
    }
    wait.progress(1.0);
    if (cancel || stopped)
        vui::ShowStatusLine("Packing stopped before every table was packed.");
    else if (failed > 0)
        vui::ShowStatusLine(vsys::strprintf("Packing failed for %d %s: the database is not fully packed.", failed,
                                            failed == 1 ? "table" : "tables"));
    else
        vui::ShowStatusLine("Database packed.");
}

int multi_copy(const char* sourceBase, const char* destinationBase, short* count)
{
    short failed = 0;
    for (int i = 1; i <= *count && i <= 999; ++i) {
        const std::string suffix = vsys::strprintf("%03d", i);
        if (!vsys::copy_file(std::string(sourceBase) + suffix, std::string(destinationBase) + suffix)) ++failed;
    }
    *count = failed;
    return 0;
}
