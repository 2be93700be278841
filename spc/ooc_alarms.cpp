// Rule alarms of the loaded chart: one OOC_ALRM row per broken run rule of a point in a range of runs.
#include "spc/ooc_alarms.h"

#include <algorithm>

#include "core/errors.h"
#include "core/globals.h"
#include "core/shared_buffers.h"
#include "core/sql_access.h"
#include "platform/sys/format.h"
#include "spc/run_rules.h"
#include "testing/chart_identity.h"

void record_ooc_alarms(int firstRun, int lastRun)
{
    const RuleSeries series = current_rule_series();
    const int n = std::min({series.n, static_cast<int>(run_index.size()), static_cast<int>(wafer_index.size())});
    const std::vector<std::uint16_t> broken = broken_rule_masks(series, nelson_rules);
    for (int i = 0; i < n; ++i) {
        const int run = run_index[static_cast<std::size_t>(i)];
        if (run < firstRun || run > lastRun) continue;
        for (int rule = 0; rule < kRuleCount; ++rule) {
            if (!(nelson_rules >> rule & 1)) continue;
            // Points beyond 3 sigma are alarmed by the test at acquisition, except on endpoint charts.
            if (rule <= 1 && chart_type != 17) continue;
            if (!(broken[static_cast<std::size_t>(i)] >> rule & 1)) continue;
            const std::string sql = vsys::strprintf("INSERT INTO OOC_ALRM VALUES (%i, %i, %i, %i, %i, %i, %i, %i)", run,
                                                    wafer_index[static_cast<std::size_t>(i)], spc_channel, chart_type,
                                                    type_subparameter, spc_index, rule, 0);
            if (DBImmediateSQL(hdbc, sql.c_str()) != 0) ShowError();
            status_color = STATUS_YELLOW;
        }
    }
}
