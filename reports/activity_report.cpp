// The activity report: the time-window popup and "ACTIVITY.TXT" listing runs, precoats and plasma-clean endpoints.
#include "reports/activity_report.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "panels/log_req.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/clock.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/sys/launch.h"
#include "platform/ui/userint.h"

namespace {


struct Split {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

Split split(std::int64_t seconds)
{
    Split s;
    convert_seconds_to_date_n_time(&s.year, &s.month, &s.day, &s.hour, &s.minute, &s.second, seconds);
    return s;
}

// Shows one end of the window on the 12-hour clock with its AM/PM ring.
void show_end(int panel, const Split& s, int year, int month, int day, int hour, int minute, int ring)
{
    SetCtrlVal(panel, year, static_cast<short>(s.year));
    SetCtrlVal(panel, month, static_cast<short>(s.month));
    SetCtrlVal(panel, day, static_cast<short>(s.day));
    int h = s.hour;
    if (h > 11) {
        if (h > 12) h -= 12;
        SetCtrlVal(panel, ring, static_cast<short>(12));
    } else {
        // Morning starts are set as well: a ring left as loaded could read PM and shift the window by 12 hours.
        SetCtrlVal(panel, ring, static_cast<short>(0));
    }
    SetCtrlVal(panel, hour, static_cast<short>(h));
    SetCtrlVal(panel, minute, static_cast<short>(s.minute));
}

struct End {
    std::string date, time;
};

End read_end(int panel, int year, int month, int day, int hour, int minute, int ring)
{
    short y = 0, mo = 0, d = 0, h = 0, mi = 0, r = 0;
    GetCtrlVal(panel, year, &y);
    GetCtrlVal(panel, month, &mo);
    GetCtrlVal(panel, day, &d);
    GetCtrlVal(panel, hour, &h);
    GetCtrlVal(panel, minute, &mi);
    GetCtrlVal(panel, ring, &r);
    if (h != 12) h = static_cast<short>(h + r);
    return {vsys::strprintf("%.4d/%.2d/%.2d", y, mo, d), vsys::strprintf("%.2d:%.2d:00", h, mi)};
}

// The first occurrence of `word` in `id` ends it.
bool ends_with_first(const char* id, const char* word)
{
    const char* at = std::strstr(id, word);
    return at && std::strlen(at) == std::strlen(word);
}

}  // namespace

int request_logfile(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    const int panel = LoadPanel(0, "log_req.uir", LOGREQ);
    if (panel <= 0) return 0;
    SetCtrlVal(panel, LOGREQ_MESSAGE, "");
    const vsys::CivilTime now = vsys::civil_now();
    const std::string date = vsys::strprintf("%04d/%02d/%02d", now.year, now.month, now.day);
    const std::string time = vsys::strprintf("%02d:%02d:%02d", now.hour, now.minute / 5 * 5, now.second);
    const std::int64_t end = date_time_to_seconds(0, date.c_str(), time.c_str()) + 300;
    show_end(panel, split(end), LOGREQ_END_YEAR, LOGREQ_END_MONTH, LOGREQ_END_DAY, LOGREQ_END_HOUR, LOGREQ_END_MINUTE, LOGREQ_END_AMPM);
    show_end(panel, split(end - 3600), LOGREQ_START_YEAR, LOGREQ_START_MONTH, LOGREQ_START_DAY, LOGREQ_START_HOUR, LOGREQ_START_MINUTE, LOGREQ_START_AMPM);
    InstallPopup(panel);
    return 0;
}

int get_logfile(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    const End start = read_end(panel, LOGREQ_START_YEAR, LOGREQ_START_MONTH, LOGREQ_START_DAY, LOGREQ_START_HOUR, LOGREQ_START_MINUTE, LOGREQ_START_AMPM);
    const End end = read_end(panel, LOGREQ_END_YEAR, LOGREQ_END_MONTH, LOGREQ_END_DAY, LOGREQ_END_HOUR, LOGREQ_END_MINUTE, LOGREQ_END_AMPM);
    if (date_time_to_seconds(0, end.date.c_str(), end.time.c_str()) <=
        date_time_to_seconds(0, start.date.c_str(), start.time.c_str())) {
        MessagePopup("", "The end date and time must be greater than the start date and time.");
        return 1;
    }
    int popup = panel;
    DiscardMyPanel(&popup);

    const std::string path = vsys::path_join(vt_dir, "ACTIVITY.TXT");
    (void)vsys::delete_file_if_present(path);  // a stale report must not outlive a failed one
    vsys::AtomicFile file(path);

    char system[33] = "";
    get_put_char(hdbc, 0, 0, CONFIG_READ, system);

    const char* window = "(SAV_DATE > '%s' OR (SAV_DATE = '%s' AND SAV_TIME > '%s')) AND "
                         "(SAV_DATE < '%s' OR (SAV_DATE = '%s' AND SAV_TIME < '%s'))";
    const std::string range = vsys::strprintf(window, start.date.c_str(), start.date.c_str(), start.time.c_str(),
                                              end.date.c_str(), end.date.c_str(), end.time.c_str());
    const std::string sql =
        "SELECT RUN_NUM, RTRIM(TRACE_ID), RTRIM(RECIPE), SAV_DATE, SAV_TIME, NUM_WAF, COMPLETE FROM VT_INFO WHERE "
        "(RUN_NUM > 0 AND " + range + " AND NOT(TRACE_ID LIKE '%No Wafer%')) UNION SELECT RUN, RTRIM(TRACE_ID), "
        "RTRIM(RECIPE), SAV_DATE, SAV_TIME, EP_TIME, CLEAN_TIME FROM ENDP_DAT WHERE " + range +
        " ORDER BY 4 ASC, 5 ASC";
    DbStatement stmt(hdbc, sql);
    if (!stmt.ok()) ShowError();
    int run = 0, col6 = 0, col7 = 0;
    char traceId[33] = "", recipe[33] = "", savDate[11] = "", savTime[9] = "";
    long status[7] = {};
    bool fetched = false;
    if (stmt.ok()) {
        const int h = stmt.handle();
        const int binds[7] = {DBBindColInt(h, 1, &run, &status[0]),
                              DBBindColChar(h, 2, sizeof traceId, traceId, &status[1], ""),
                              DBBindColChar(h, 3, sizeof recipe, recipe, &status[2], ""),
                              DBBindColChar(h, 4, sizeof savDate, savDate, &status[3], ""),
                              DBBindColChar(h, 5, sizeof savTime, savTime, &status[4], ""),
                              DBBindColInt(h, 6, &col6, &status[5]),
                              DBBindColInt(h, 7, &col7, &status[6])};
        for (int result : binds)
            if (result != 0) ShowError();
        fetched = DBFetchNext(h) == 0;
    }
    if (!file.is_open()) {
        MessagePopup("Logfile Error",
                     "Could not open ACTIVITY.TXT.  Please ensure other applications do not have this file open.");
        return 0;
    }
    std::string text = vsys::strprintf("%s Activity From %s %s to %s %s\n\n", system, start.date.c_str(),
                                       start.time.c_str(), end.date.c_str(), end.time.c_str());
    if (!fetched) text += "No activity recorded.";
    while (fetched) {
        // A NULL count reads as none rather than as the previous row's.
        if (status[5] == -2) col6 = 0;
        if (status[6] == -2) col7 = 0;
        if (ends_with_first(traceId, "EP"))
            text += vsys::strprintf("%s %s *Plasma Clean, Endpoint Time = %d, Total Clean Time = %d\n", savDate,
                                    savTime, col6, col7);
        else if (ends_with_first(traceId, "PRECOAT"))
            text += vsys::strprintf("%s %s Precoat\n", savDate, savTime);
        else
            text += vsys::strprintf("%s %s %d Triggered Event%s, Trace ID = %s, %s\n", savDate, savTime, col6,
                                    col6 == 1 ? "" : "s", traceId, recipe);
        traceId[0] = recipe[0] = savDate[0] = savTime[0] = '\0';
        fetched = DBFetchNext(stmt.handle()) == 0;
    }
    stmt.close();
    const vsys::Result written = file.write(text) ? file.commit() : vsys::Result::failure(file.error());
    if (!written.ok) {
        MessagePopup("Logfile Error", vsys::strprintf("Could not write ACTIVITY.TXT (%s).", written.error.c_str()).c_str());
        return 0;
    }
    vsys::launch_document(path);
    return 0;
}
