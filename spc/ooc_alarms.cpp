// Rule alarms of a loaded chart: one OOC_ALRM row per broken run rule of a point in a range of runs.
#include "spc/ooc_alarms.h"

#include <algorithm>

#include "core/errors.h"
#include "core/globals.h"
#include "core/sql_access.h"
#include "platform/sys/format.h"
#include "spc/run_rules.h"

void record_ooc_alarms(const ChartRecord& chart, int firstRun, int lastRun)
{
    const RuleSeries series = rule_series(chart);
    const int n = std::min({series.n, static_cast<int>(chart.runs.size()), static_cast<int>(chart.wafers.size())});
    const std::vector<std::uint16_t> broken = broken_rule_masks(series, chart.rules);
    for (int i = 0; i < n; ++i) {
        const int run = chart.runs[static_cast<std::size_t>(i)];
        if (run < firstRun || run > lastRun) continue;
        for (int rule = 0; rule < kRuleCount; ++rule) {
            if (!(chart.rules >> rule & 1)) continue;
            // Points beyond 3 sigma are alarmed by the test at acquisition, except on endpoint charts.
            if (rule <= 1 && chart.type != 17) continue;
            if (!(broken[static_cast<std::size_t>(i)] >> rule & 1)) continue;
            const std::string sql = vsys::strprintf("INSERT INTO OOC_ALRM VALUES (%i, %i, %i, %i, %i, %i, %i, %i)", run,
                                                    chart.wafers[static_cast<std::size_t>(i)], chart.channel,
                                                    chart.type, chart.subtype, chart.step, rule, 0);
            if (DBImmediateSQL(hdbc, sql.c_str()) != 0) ShowError();
            status_color = STATUS_YELLOW;
        }
    }
}
