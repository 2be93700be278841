// The real-time limit check: a value beyond the stored limits of an activated chart becomes an alarm row and a line.
#include "testing/realtime_check.h"

#include <set>
#include <string>

#include "core/chart_record.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "panels/realtime.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "testing/testing_seams.h"

namespace {

constexpr double kBreachMargin = 1e-9;

void raise_alarm(const ChartRecord& chart, int run, int wafer, double value, const char* trace_id, int rule,
                 const char* sign, double limit)
{
    status_color = STATUS_YELLOW;
    std::string sql = vsys::strprintf("INSERT INTO OOC_ALRM VALUES (%i, %i, %i, %i, %i, %i, %i, %i)", run, wafer,
                                      chart.channel, chart.type, chart.subtype, chart.step, rule, 0);
    if (DBImmediateSQL(hdbc, sql.c_str()) != 0) ShowError();
    char title[96] = "";
    testing_seams().form_chart_title(title, chart.channel, chart.type, chart.subtype, chart.step);
    std::string line = trace_id && *trace_id
                           ? vsys::strprintf("%s (%.3lf) %s %.3lf on trigger %d of %s", title, value, sign, limit,
                                             wafer, trace_id)
                           : vsys::strprintf("%s (%.3lf) %s %.3lf on trigger %d of Run# %.8d", title, value, sign,
                                             limit, wafer, run);
    // The window is loaded with acquisition; without it the row and the colour stand alone.
    if (realtime_panel <= 0) return;
    InsertListItem(realtime_panel, REALTIME_ALARMS, -1, line.c_str(), 0);
    int count = 0;
    GetNumListItems(realtime_panel, REALTIME_ALARMS, &count);
    if (count > 0) SetCtrlIndex(realtime_panel, REALTIME_ALARMS, count - 1);
    DisplayPanel(realtime_panel);
}

}  // namespace

int realtime_check(ChartRecord& chart, int run, int wafer, double value, const char* trace_id)
{
    const TestingSeams& seams = testing_seams();
    int pager = 0, halt = 0;
    char trees[105] = "";
    char popup[255] = "";
    // The catalogue and limits read are those of the current process, which the record names.
    if (seams.chart_preferences(CHART_READ, &chart.channel, &chart.type, &chart.subtype, &chart.step, &chart.points, &pager,
                                &chart.rules, &chart.natural, trees, popup, &halt) == 0)
        return 0;
    double limits[3] = {0, 0, 0};
    if (seams.step_specs(6, chart.type, chart.subtype, chart.channel, chart.step, limits) == 0) return 0;
    if (chart.natural == 0 && (chart.rules & 2) && limits[0] - value > kBreachMargin)
        raise_alarm(chart, run, wafer, value, trace_id, 1, "<", limits[0]);
    if (chart.natural == 0 && (chart.rules & 1) && value - limits[2] > kBreachMargin)
        raise_alarm(chart, run, wafer, value, trace_id, 0, ">", limits[2]);
    return 0;
}

int DbTestServices::step_specs(int type, int subtype, int channel, int step, double limits[3])
{
    const TestingSeams& seams = testing_seams();
    return seams.step_specs(6, static_cast<short>(type), static_cast<short>(subtype), static_cast<short>(channel),
                            static_cast<short>(step), limits);
}

namespace {

void create_result_table(ResultTable table, int a, int b)
{
    switch (table) {
    case ResultTable::step: create_step_table(&hdbc, a, b); break;
    case ResultTable::stpm: create_stpm_table(&hdbc, a, b); break;
    case ResultTable::area: create_area_table(&hdbc, a); break;
    case ResultTable::timer: create_timer_table(&hdbc, a); break;
    case ResultTable::other: create_other_table(&hdbc, a); break;
    }
}

std::string result_table_file(ResultTable table, int a, int b)
{
    switch (table) {
    case ResultTable::step: return vsys::strprintf("STEP%.2d%.2d.DBF", a, b);
    case ResultTable::stpm: return vsys::strprintf("STPM%.2d%.2d.DBF", a, b);
    case ResultTable::area: return vsys::strprintf("AREA_%.2d.DBF", a);
    case ResultTable::timer: return vsys::strprintf("TIMER_%.2d.DBF", a);
    case ResultTable::other: return vsys::strprintf("OTHER_%.2d.DBF", a);
    }
    return {};
}

}  // namespace

void DbTestServices::insert_row(const std::string& sql, ResultTable table, int a, int b)
{
    // A table with no file yet is created before its first row rather than after that row failed: the
    // same table at the same moment, without reading and refusing the INSERT first. Tables written
    // before are not looked for again; one gone since is created the usual way, after its INSERT failed.
    static std::set<std::string> written;
    const std::string file = vsys::path_join(vt_dir, result_table_file(table, a, b));
    const bool created = !written.count(file) && !vsys::file_exists(file);
    if (created) create_result_table(table, a, b);
    if (DBImmediateSQL(hdbc, sql.c_str()) == 0) {
        written.insert(file);
        return;
    }
    if (!created) {
        create_result_table(table, a, b);
        if (DBImmediateSQL(hdbc, sql.c_str()) == 0) {
            written.insert(file);
            return;
        }
    }
    ShowError();
}

void DbTestServices::realtime_check(int channel, int type, int subtype, int step, int run, int wafer, double value)
{
    ChartRecord chart = chart_of(recipe_num, channel, type, subtype, step);
    ::realtime_check(chart, run, wafer, value, trace_id_.c_str());
}
