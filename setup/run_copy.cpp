// The run list of the copy and delete commands, the copy of the ticked runs into another directory, and what it copies per run.
#include "setup/run_copy.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/ini_file.h"
#include "core/panel_framework.h"
#include "core/run_table.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "core/wait_panel.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "panels/wait.h"
#include "platform/sys/confine.h"
#include "platform/sys/dir_handle.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/status_line.h"
#include "platform/ui/userint.h"
#include "setup/run_deletion.h"
#include "setup/run_selection.h"
#include "setup/setup_files.h"
#include "setup/setup_paths.h"

namespace {

// Owns the target connection of a copy.
class TargetConnection {
public:
    explicit TargetConnection(const std::string& directory)
        : handle_(DBConnect(("DSN=ZID32_Samples; DB=" + directory).c_str()))
    {
    }
    ~TargetConnection()
    {
        if (handle_ > 0) DBDisconnect(handle_);
    }
    TargetConnection(const TargetConnection&) = delete;
    TargetConnection& operator=(const TargetConnection&) = delete;
    int& handle() { return handle_; }

private:
    int handle_;
};

struct ResultTable {
    std::string name;
    std::vector<const char*> columns;
    int (*create)(int*, int, int);
    int a, b;
};

int create_step(int* c, int ch, int s) { return create_step_table(c, ch, s); }
int create_stpm(int* c, int ch, int s) { return create_stpm_table(c, ch, s); }
int create_timer(int* c, int t, int) { return create_timer_table(c, t); }
int create_other(int* c, int ch, int) { return create_other_table(c, ch); }
int create_area(int* c, int ch, int) { return create_area_table(c, ch); }

// Copies one result table's rows of the source run; false once an insert failed for good.
bool copy_table(int& target, const ResultTable& t, int newRun)
{
    std::string columns;
    for (const char* c : t.columns) columns += std::string(", ") + c;
    DbStatement s(hdbc, vsys::strprintf("SELECT WAFER%s FROM %s WHERE RUN = %d", columns.c_str(), t.name.c_str(),
                                        run_num));
    if (!s.ok()) return true;  // the source has no such table
    int wafer = 0;
    double values[4] = {0, 0, 0, 0};
    long status[5] = {};
    bool bound = DBBindColInt(s.handle(), 1, &wafer, &status[0]) >= 0;
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        bound = bound && DBBindColDouble(s.handle(), static_cast<int>(i) + 2, &values[i], &status[i + 1]) >= 0;
    if (!bound) {
        ShowError();
        return true;
    }
    bool created = false;
    while (DBFetchNext(s.handle()) == 0) {
        // Nine decimals: every digit the result columns hold.
        std::string insert = vsys::strprintf("INSERT INTO %s VALUES (%d, %d", t.name.c_str(), newRun, wafer);
        for (std::size_t i = 0; i < t.columns.size(); ++i) insert += vsys::strprintf(", %.9f", values[i]);
        insert += ")";
        if (DBImmediateSQL(target, insert.c_str()) == 0) continue;
        // Create the table once and retry once; a second failure is reported and ends this run's rows.
        if (!created) {
            created = true;
            t.create(&target, t.a, t.b);
            if (target > 0 && DBImmediateSQL(target, insert.c_str()) == 0) continue;
        }
        ShowError();
        return false;
    }
    if (s.close() < 0) ShowError();
    return true;
}

bool copy_alarms(int target, int newRun)
{
    DbStatement s(hdbc, vsys::strprintf("SELECT WAFER, CHANNEL, TYPE, SUB_TYPE, INDEX, RULE, CLEARED FROM OOC_ALRM "
                                        "WHERE RUN = %d",
                                        run_num));
    if (!s.ok()) return true;
    int wafer = 0;
    short v[6] = {};
    long st[7] = {};
    bool bound = DBBindColInt(s.handle(), 1, &wafer, &st[0]) >= 0;
    for (int i = 0; i < 6; ++i) bound = bound && DBBindColShort(s.handle(), i + 2, &v[i], &st[i + 1]) >= 0;
    if (!bound) {
        ShowError();
        return true;
    }
    while (DBFetchNext(s.handle()) == 0) {
        std::string insert = vsys::strprintf("INSERT INTO OOC_ALRM VALUES (%d, %d, %d, %d, %d, %d, %d, %d)", newRun,
                                             wafer, v[0], v[1], v[2], v[3], v[4], v[5]);
        if (DBImmediateSQL(target, insert.c_str()) != 0) {
            ShowError();
            return false;
        }
    }
    if (s.close() < 0) ShowError();
    return true;
}

bool wait_cancelled(int waitPanel)
{
    if (waitPanel <= 0) return false;
    ProcessSystemEvents();
    int cancel = 0;
    GetCtrlVal(waitPanel, WAIT_CANCEL, &cancel);
    return cancel != 0;
}

int process_number(int connection, const std::string& name)
{
    char text[33];
    copy_text(text, name);
    get_put_char(connection, 0, 0, PROCESS_BY_NAME, text);
    if (std::strcmp(text, "Not Found") == 0) return -1;
    int n = -1;
    return std::sscanf(text, "%d", &n) == 1 ? n : -1;
}

// Whether the open folder is the directory at `path`.
bool same_directory(const vsys::DirHandle& folder, const std::string& path)
{
    struct stat a {}, b {};
    return ::fstat(folder.fd(), &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string without_trailing_separator(std::string d)
{
    while (d.size() > 1 && (d.back() == '/' || d.back() == '\\')) d.pop_back();
    return d;
}

// The source run row as stored, text for text.
struct SourceRow {
    bool found = false;
    int run = 0, wafers = 0, rate = 0;
    short trace_del = 0, complete = 0, cassette = 0;
    char system[17] = "", recipe[33] = "", trace[33] = "", channels[20] = "", date[11] = "", time[9] = "",
         comment[65] = "";
};

SourceRow read_source_row(int run)
{
    SourceRow r;
    DbStatement s(hdbc, vsys::strprintf("SELECT RUN_NUM, NUM_WAF, RATE, SYSTEM_ID, RECIPE, TRACE_ID, CHANNELS, "
                                        "SAV_DATE, SAV_TIME, COMMENT, TRACE_DEL, COMPLETE, CASSETTE FROM VT_INFO "
                                        "WHERE RUN_NUM = %d",
                                        run));
    if (!s.ok()) return r;
    long st[13] = {};
    const int h = s.handle();
    DBBindColInt(h, 1, &r.run, &st[0]);
    DBBindColInt(h, 2, &r.wafers, &st[1]);
    DBBindColInt(h, 3, &r.rate, &st[2]);
    DBBindColChar(h, 4, 17, r.system, &st[3], "");
    DBBindColChar(h, 5, 33, r.recipe, &st[4], "");
    DBBindColChar(h, 6, 33, r.trace, &st[5], "");
    DBBindColChar(h, 7, 20, r.channels, &st[6], "");
    DBBindColChar(h, 8, 11, r.date, &st[7], "");
    DBBindColChar(h, 9, 9, r.time, &st[8], "");
    DBBindColChar(h, 10, 65, r.comment, &st[9], "");
    DBBindColShort(h, 11, &r.trace_del, &st[10]);
    DBBindColShort(h, 12, &r.complete, &st[11]);
    DBBindColShort(h, 13, &r.cassette, &st[12]);
    r.found = DBFetchNext(h) == 0;
    for (char* t : {r.system, r.recipe, r.trace, r.channels, r.date, r.time, r.comment}) right_text_trim(t);
    return r;
}

// The target's run for a trace id: its run-table row (and whether it has one), else its endpoint entry.
struct TargetRun {
    bool has_row = false;
    int run = 0;
};

TargetRun find_in_target(int target, const std::string& trace)
{
    TargetRun t;
    {
        DbStatement s(target, vsys::strprintf("SELECT RUN_NUM FROM VT_INFO WHERE TRACE_ID = '%s'",
                                              sql_quote(trace.c_str()).c_str()));
        long st = 0;
        if (s.ok() && DBBindColInt(s.handle(), 1, &t.run, &st) >= 0 && DBFetchNext(s.handle()) == 0) t.has_row = true;
    }
    DbStatement e(target, vsys::strprintf("SELECT RUN FROM ENDP_DAT WHERE TRACE_ID = '%s'",
                                          sql_quote(trace.c_str()).c_str()));
    int run = 0;
    long st = 0;
    if (e.ok() && DBBindColInt(e.handle(), 1, &run, &st) >= 0 && DBFetchNext(e.handle()) == 0) t.run = run;
    return t;
}

}  // namespace

int network_stuff(int target, int newRun, short keep, int waitPanel)
{
    if (keep == 0) delete_db_records(target, newRun, '=', 0, -1);
    bool writing = true, cancel = false;
    for (int c = 1; c <= 32 && target > 0; ++c) {
        const bool on = (VantrelChannelStatusBits >> (c - 1)) & 1u;
        std::vector<ResultTable> tables;
        if (on && (channel_type[c] == 0 || channel_type[c] >= 20))
            tables.push_back({vsys::strprintf("OTHER_%.2d", c), {"DATA_MEAN", "DATA_STDEV", "DATA_MAX", "DATA_MIN"},
                              create_other, c, 0});
        if (on && channel_type[c] == 1)
            for (int s = 1; s <= 16 && s <= steps_per_process[c]; ++s) {
                tables.push_back({vsys::strprintf("STEP%.2d%.2d", c, s), {"OVER", "UNDER", "S_TIME", "DECAY"},
                                  create_step, c, s});
                tables.push_back({vsys::strprintf("STPM%.2d%.2d", c, s), {"SMIN", "SMAX"}, create_stpm, c, s});
            }
        if (c <= 16 && ((timer_status_bit >> (c - 1)) & 1))
            tables.push_back({vsys::strprintf("TIMER_%.2d", c), {"VALUE"}, create_timer, c, 0});
        if (on) tables.push_back({vsys::strprintf("AREA_%.2d", c), {"AREA"}, create_area, c, 0});
        for (const auto& t : tables)
            if (writing && target > 0) writing = copy_table(target, t, newRun);
        cancel = wait_cancelled(waitPanel);
        if (waitPanel > 0) SetCtrlVal(waitPanel, WAIT_PROGRESS, c / 33.0);
        if (cancel) break;
    }
    if (cancel) return 1;
    if (writing && target > 0) copy_alarms(target, newRun);
    return 0;
}

int insert_recipe_into_file_map(int source, int target, const char* targetDirectory, const char* sourceDirectory,
                                const char* name, int process, int* newNumber, short ask)
{
    char text[33];
    copy_text(text, name);
    right_text_trim(text);
    int number = process_number(target, text);
    if (number < 0) {
        char free_number[33] = "";
        get_put_char(target, 0, 0, FIRST_FREE_PROCESS, free_number);
        number = std::atoi(free_number);
        if (number < 3 || number > 9000) {
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            MessagePopup("", "Maximum number of processes exceeded.  You must delete another process before you can "
                             "save a new one.");
            *newNumber = -1;
            return -1;
        }
        get_put_char(target, 1, number, CONFIG_WRITE, text);
        if (target != hdbc) {
            char current[33];
            vsys::format_into(current, sizeof current, "%d", number);
            get_put_char(target, 0, 5, CONFIG_WRITE, current);
        }
        *newNumber = number;
        return copy_process_from_to(source, target, process, sourceDirectory, number, targetDirectory);
    }
    if (number < 3 || number > 9000) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        if (number > 9000)
            MessagePopup("", "Maximum number of setup files has been reached.  Please delete setup files and try to "
                             "save again.");
        else
            MessagePopup("", "This setup file is write protected.  Use Save As...");
        *newNumber = -1;
        return -1;
    }
    if (ask != 0) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        const int answer = ConfirmPopup("", vsys::strprintf("Are you sure you want to write over '%s'?", text).c_str());
        if (answer != 1) return answer;
    }
    *newNumber = number;
    if (source == target && number == process) {
        get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
        return 0;
    }
    return copy_process_from_to(source, target, process, sourceDirectory, number, targetDirectory);
}

void network_upload(int, int item, void*, int)
{
    saveAllAndExport(0);
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    const int panel = LoadPanel(parent_panel > 0 ? parent_panel : 0, "sc_sel.uir", SC_SEL);
    if (panel < 0) return;
    SetCtrlVal(panel, SC_SEL_MODE, static_cast<short>(SEL_COPY));
    SetCtrlAttribute(panel, SC_SEL_WAFERS, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, SC_SEL_RUNS, ATTR_WIDTH, 375);
    std::string sql, title;
    const char* instruction = "Please check the runs that you would like to copy.";
    CtrlCallbackPtr ok = upload_ok;
    switch (item) {
    case MENUBAR_FILE_COPY_TRACES_TO:
        sql = "SELECT RUN_NUM, TRACE_ID, SAV_DATE, SAV_TIME FROM VT_INFO WHERE TRACE_DEL = 0 AND RUN_NUM > 0 UNION "
              "SELECT RUN, TRACE_ID, SAV_DATE, SAV_TIME FROM ENDP_DAT WHERE RUN > 0 ORDER BY 3 DESC, 4 DESC";
        title = "Copy TRACE Data To ...";
        break;
    case MENUBAR_FILE_COPY_SPC_DATA_TO:
    case MENUBAR_FILE_COPY_TRACES_AND_SPC_DATA_TO:
        sql = "SELECT RUN_NUM, TRACE_ID, SAV_DATE, SAV_TIME FROM VT_INFO WHERE RUN_NUM > 0 UNION SELECT RUN, "
              "TRACE_ID, SAV_DATE, SAV_TIME FROM ENDP_DAT WHERE RUN > 0 ORDER BY 3 DESC, 4 DESC";
        title = item == MENUBAR_FILE_COPY_SPC_DATA_TO ? "Copy SPC Data To ..." : "Copy TRACE and SPC Data To ...";
        break;
    default: {
        int next = 1;
        determine_run(hdbc, &next);
        sql = vsys::strprintf("SELECT RUN_NUM, TRACE_ID, SAV_DATE, SAV_TIME FROM VT_INFO WHERE RUN_NUM > 0 AND "
                              "RUN_NUM < %d UNION SELECT RUN, TRACE_ID, SAV_DATE, SAV_TIME FROM ENDP_DAT WHERE RUN > 0 "
                              "AND RUN < %d ORDER BY 3 DESC, 4 DESC",
                              next, next);
        title = "Delete";
        instruction = "Please check the runs which you would like to delete.";
        ok = delete_ok;
    }
    }
    SetPanelAttribute(panel, ATTR_TITLE, title);
    SetCtrlVal(panel, SC_SEL_INSTRUCT, instruction);
    InstallCtrlCallback(panel, SC_SEL_OK, ok, nullptr);
    DbStatement s(hdbc, sql);
    if (!s.ok()) ShowError();
    int run = 0;
    char trace[33] = "", date[11] = "", time[9] = "";
    long st[4] = {};
    if (s.ok() && (DBBindColInt(s.handle(), 1, &run, &st[0]) < 0 ||
                   DBBindColChar(s.handle(), 2, 33, trace, &st[1], "") < 0 ||
                   DBBindColChar(s.handle(), 3, 11, date, &st[2], "") < 0 ||
                   DBBindColChar(s.handle(), 4, 9, time, &st[3], "") < 0))
        ShowError();
    if (!s.ok() || DBFetchNext(s.handle()) != 0) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        MessagePopup("", "No data files have been saved yet.");
        if (sc_handle > 0) SetCtrlVal(sc_handle, SCHART_PLAY, 0);
        int handle = panel;
        DiscardMyPanel(&handle);
        return;
    }
    ClearListCtrl(panel, SC_SEL_RUNS);
    for (int c : {SC_SEL_OPTION_A, SC_SEL_OPTION_B, SC_SEL_DESTINATION, SC_SEL_HIDDEN}) SetCtrlAttribute(panel, c, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, SC_SEL_RUNS, ATTR_CHECK_MODE, 1);
    do {
        InsertListItem(panel, SC_SEL_RUNS, -1, trace, run);
    } while (DBFetchNext(s.handle()) == 0);
    if (s.close() < 0) ShowError();
    InstallCtrlCallback(panel, SC_SEL_CANCEL, cancel_this_panel, nullptr);
    get_run_info(panel, -1, EVENT_COMMIT, nullptr, 0, 0);
    InstallPopup(panel);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
}

int upload_ok(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int ticked = 0;
    GetNumCheckedItems(panel, SC_SEL_RUNS, &ticked);
    if (ticked <= 0) {
        MessagePopup("", "No Strip Chart Data checked.");
        return 1;
    }
    int handle = panel;
    char start[261] = "";
    read_rite_ini("VANTREL.INI", 0, "[VANTREL]", "ARCHIVE", start);
    std::string chosen;
    // No archive set (a missing key reads as one 0xFF byte, or "NA"): the popup starts in the working directory.
    const bool noArchive = start[0] == '\0' || static_cast<unsigned char>(start[0]) == kIniMissing ||
                           std::strcmp(start, "NA") == 0;
    if (DirSelectPopup(noArchive ? vt_dir.c_str() : start, "Please select a location for the data.",
                       1, 1, &chosen) <= 0) {
        DiscardMyPanel(&handle);
        return 1;
    }
    const std::string directory = without_trailing_separator(chosen);
    // Everything is written through handles of the folder checked now (a new folder typed is made here)
    // and of its trace folder: a link put in place of either afterwards cannot lead the copy elsewhere.
    const vsys::DirHandle folder(vsys::make_confined_directory(directory));
    int why = folder ? 0 : errno;
    // Copying runs onto themselves would duplicate every row and overwrite the traces being read.
    if (folder ? same_directory(folder, vt_dir) : same_file(directory, vt_dir)) {
        MessagePopup("Copy Error", "The chosen directory is the working directory.  Please choose another directory.");
        return 1;
    }
    HidePanel(panel);
    // The trace folder under the name the programs look for (or the one there in any case): a lower-case one
    // would leave the copied traces unseen when the target is opened as a working directory.
    std::string trace_name = "SC_DATA";
    vsys::DirHandle traces_folder;
    if (folder) {
        traces_folder = folder.subdirectory(trace_name, &trace_name);
        if (!traces_folder) why = errno;
    }
    if (why != 0) {
        MessagePopup("Network Error",
                     vsys::strprintf("Could not open the data in %s: %s",
                                     (folder ? vsys::path_join(directory, trace_name) : directory).c_str(),
                                     std::strerror(why))
                         .c_str());
        DiscardMyPanel(&handle);
        return 1;
    }
    TargetConnection target(folder.path());
    if (target.handle() <= 0) {
        MessagePopup("Network Error",
                     vsys::strprintf("Could not open the data in %s: %s", directory.c_str(), DBErrorMessage()).c_str());
        DiscardMyPanel(&handle);
        return 1;
    }
    char title_text[256] = "";
    GetPanelAttribute(panel, ATTR_TITLE, title_text);
    const std::string title = title_text;
    const bool traces = title.find("TRACE") != std::string::npos;
    const bool spc = title.find("SPC") != std::string::npos;
    bool failed = false;
    int copied = 0;
    {
        RunContextKeeper keep_run;
        WaitPanel wait("Transfering Files ...");
        check_tables(&target.handle());
        int next = 1;
        determine_run(target.handle(), &next);
        for (const char* sub : {"clean", "trees"}) (void)folder.subdirectory(sub);
        int count = 0, done = 0;
        GetNumListItems(panel, SC_SEL_RUNS, &count);
        std::string last_recipe;
        bool first = true;
        for (int i = count - 1; i >= 0 && !failed && target.handle() > 0; --i) {
            int on = 0;
            IsListItemChecked(panel, SC_SEL_RUNS, i, &on);
            if (!on) continue;
            int run = 0;
            GetValueFromIndex(panel, SC_SEL_RUNS, i, &run);
            const SourceRow row = read_source_row(run);
            if (row.found) {
                const TargetRun existing = find_in_target(target.handle(), row.trace);
                const int new_run = existing.run > 0 ? existing.run : next++;
                run_num = run;
                num_of_wafers = std::min(row.wafers, 999);
                read_channel_text(row.channels);
                // The run's own process decides which result tables it has.
                const int process = process_number(hdbc, row.recipe);
                if (process >= 0) {
                    recipe_num = process;
                    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
                    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
                    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
                    read_channel_text(row.channels);
                }
                bool cancelled = false;
                if (spc)
                    cancelled = network_stuff(target.handle(), new_run, existing.has_row ? 0 : 1, wait.handle()) != 0;
                if (!existing.has_row) {
                    const std::string insert = vsys::strprintf(
                        "INSERT INTO VT_INFO VALUES (%d, %d, %d, '%s', '%s', '%s', '%s', '%s', '%s', '%s', %d, %d, %d)",
                        new_run, row.wafers, row.rate, sql_quote(row.system).c_str(), sql_quote(row.recipe).c_str(),
                        sql_quote(row.trace).c_str(), sql_quote(row.channels).c_str(), sql_quote(row.date).c_str(),
                        sql_quote(row.time).c_str(), sql_quote(row.comment).c_str(), traces ? 0 : 1, row.complete,
                        row.cassette);
                    if (DBImmediateSQL(target.handle(), insert.c_str()) != 0) {
                        ShowError();
                        failed = true;
                    }
                } else if (traces) {
                    if (DBImmediateSQL(target.handle(),
                                       vsys::strprintf("UPDATE VT_INFO SET TRACE_DEL = 0 WHERE RUN_NUM = %d", new_run)
                                           .c_str()) != 0)
                        failed = true;
                }
                if (traces) {
                    short n = static_cast<short>(std::min(row.wafers, 999));
                    const std::string from = wafer_trace_base(vt_dir, run);
                    const std::string to = vsys::path_join(traces_folder.path(), vsys::strprintf("%.8d.", new_run));
                    multi_copy(from.c_str(), to.c_str(), &n);
                }
                // A setup goes along only for a process the source knows, once per process new to the target.
                if (first || last_recipe != row.recipe) {
                    first = false;
                    last_recipe = row.recipe;
                    if (process >= 0 && process_number(target.handle(), row.recipe) < 0) {
                        int stored = 0;
                        insert_recipe_into_file_map(hdbc, target.handle(), folder.path().c_str(), vt_dir.c_str(),
                                                    row.recipe, process, &stored, 0);
                    }
                }
                if (cancelled) break;
            }
            ++done;
            if (wait.cancelled()) break;
            wait.progress(static_cast<double>(done) / ticked);
        }
        if (target.handle() <= 0) failed = true;
        if (sc_handle > 0) SetCtrlAttribute(sc_handle, SCHART_PLAY_INFO, ATTR_VISIBLE, 0);
        copied = done;
    }
    reload_process_setup();
    if (failed)
        MessagePopup("Network Error", "Could not complete upload.  Make sure you are authorized to write to the "
                                      "network drive and try again.");
    else
        vui::ShowStatusLine(copied == ticked ? vsys::strprintf("%d %s copied to %s.", copied, copied == 1 ? "run" : "runs",
                                                               directory.c_str())
                                             : vsys::strprintf("Copy stopped: %d of %d runs copied to %s.", copied,
                                                               ticked, directory.c_str()));
    DiscardMyPanel(&handle);
    return 1;
}
