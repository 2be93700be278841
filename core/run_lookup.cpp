// Reading one run row into a local record for the callers that only read a run: playback, summaries, prints, chart read-outs, exports.
#include "core/run_lookup.h"

#include "core/db_statement.h"
#include "core/run_row.h"
#include "core/text_utils.h"
#include "platform/sys/format.h"

namespace {

RunRecord look_up(int connection, const std::string& sql)
{
    RunRecord record;
    DbStatement st(connection, sql);
    // A missing run table holds no run: nothing is created for a reader.
    if (!st.ok()) return record;
    RunRow row;
    row.bind(st.handle());
    if (DBFetchNext(st.handle()) != 0) return record;
    row.trim();
    record.found = true;
    record.run = row.run;
    record.wafers = row.num_waf > 999 ? 999 : row.num_waf;
    record.rate_index = row.rate == 0 ? 10 : row.rate;
    record.rate = record.rate_index > 0 ? record.rate_index : 1;
    record.channels = parse_channel_text(row.channels);
    record.system_id = row.system_id;
    record.recipe = row.recipe;
    record.trace_id = row.trace_id;
    record.comment = row.comment;
    record.date = row.sav_date;
    record.time = row.sav_time;
    record.trace_deleted = row.trace_del;
    record.complete = row.complete;
    record.cassette = row.cassette;
    return record;
}

}  // namespace

RunRecord look_up_run(int connection, int run)
{
    return look_up(connection, vsys::strprintf("SELECT * FROM VT_INFO WHERE RUN_NUM = %i", run));
}

RunRecord look_up_trace_id(int connection, const std::string& trace_id)
{
    return look_up(connection, vsys::strprintf("SELECT * FROM VT_INFO WHERE TRACE_ID = '%s'",
                                               sql_quote(trace_id.c_str()).c_str()));
}
