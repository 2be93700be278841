// Loading an SPC chart's series and the figures computed from it: statistics, limits, histogram, capability, axes.
#include "spc/chart_data.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/shared_buffers.h"
#include "core/text_utils.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "spc/limit_table.h"

namespace {

const char* other_column(int subtype)
{
    switch (subtype) {
    case 1: return "DATA_MEAN";
    case 2: return "DATA_STDEV";
    case 3: return "DATA_MIN";
    case 4: return "DATA_MAX";
    default: return nullptr;
    }
}

const char* ontime_column(int subtype)
{
    switch (subtype) {
    case 1: return "MEAN";
    case 2: return "STDEV";
    case 3: return "MIN";
    case 4: return "MAX";
    default: return nullptr;
    }
}

std::string base_statement(int type, int subtype, int channel, int step)
{
    switch (type) {
    case 1: {
        const char* table = "STEP";
        const char* column = nullptr;
        switch (subtype) {
        case 0: column = "OVER"; break;
        case 1: column = "UNDER"; break;
        case 2: column = "S_TIME"; break;
        case 3: column = "DECAY"; break;
        case 5: table = "STPM", column = "SMIN"; break;
        case 6: table = "STPM", column = "SMAX"; break;
        default: return {};
        }
        return vsys::strprintf("SELECT RUN_NUM, WAFER, %s FROM %s%.2d%.2d, VT_INFO WHERE RUN = RUN_NUM", column, table,
                               channel, step);
    }
    case 0:
    case 20:
    case 21:
    case 22: {
        const char* column = other_column(subtype);
        if (!column) return {};
        return vsys::strprintf("SELECT RUN_NUM, WAFER, %s FROM OTHER_%02d, VT_INFO WHERE RUN = RUN_NUM", column,
                               channel);
    }
    case 4: return vsys::strprintf("SELECT RUN_NUM, WAFER, AREA FROM AREA_%02d, VT_INFO WHERE RUN = RUN_NUM", channel);
    case 5: return vsys::strprintf("SELECT RUN_NUM, WAFER, VALUE FROM TIMER_%02d, VT_INFO WHERE RUN = RUN_NUM", channel);
    case 17:
        if (subtype == 0) return "SELECT RUN, WAFER, EP_TIME FROM ENDP_DAT WHERE RUN > 0";
        if (subtype == 1) return "SELECT RUN, WAFER, CLEAN_TIME FROM ENDP_DAT WHERE RUN > 0";
        return {};
    case 18: {
        const char* column = ontime_column(subtype);
        if (!column) return {};
        return vsys::strprintf("SELECT I.RUN_NUM, O.WAFER, O.%s FROM ONTIME_%1d O, VT_INFO I WHERE O.RUN = I.RUN_NUM",
                               column, channel);
    }
    default: return {};
    }
}

void append_texts(std::string& sql, const char* head, int count, const std::vector<std::string>& entries)
{
    const int n = std::min<int>(count, static_cast<int>(entries.size()));
    if (n <= 0) return;
    sql += head;
    for (int i = 0; i < n; ++i) {
        if (i) sql += ",";
        sql += "'" + sql_quote(entries[static_cast<std::size_t>(i)].c_str()) + "'";
    }
    sql += ")";
}

// Truncation toward zero of a quotient that may not fit an int; out-of-range and NaN give the bound.
long long trunc_ll(double v)
{
    if (std::isnan(v)) return 0;
    if (v >= 9e18) return 9000000000000000000LL;
    if (v <= -9e18) return -9000000000000000000LL;
    return static_cast<long long>(std::trunc(v));
}

constexpr int kSteps[10] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};

// The first step 10, 20, ..., 100 times a power of ten that cuts the range into 3 to 10 divisions.
void step_search(double range, long long* divisions, int* exponent, double* step)
{
    int k = -1, e = 0;
    long long d = 0;
    while (!(d >= 3 && d <= 10) && e > -9 && e < 9) {
        ++k;
        if (k > 9) {
            k = 0;
            e += d < 3 ? -1 : 1;
        }
        d = trunc_ll(range / (kSteps[k] * ten_to_the(e)));
    }
    if (k < 0) k = 0;
    *divisions = d;
    *exponent = e;
    *step = kSteps[k] * ten_to_the(e);
}

// The normal table in ten-thousandths: area between 0 and z = k / 10. Kept as integers so a tail of
// 0.5 - 0.4998 is 200 parts per million, not the 199 a binary fraction would leave after truncation.
constexpr int kNormalArea[36] = {
    0,    398,  793,  1179, 1554, 1915, 2257, 2580, 2881, 3159, 3413, 3643,
    3849, 4032, 4192, 4332, 4452, 4554, 4641, 4713, 4772, 4821, 4861, 4893,
    4918, 4938, 4953, 4965, 4974, 4981, 4987, 4990, 4993, 4995, 4997, 4998,
};

int tail_ppm(double z10)
{
    if (std::isnan(z10)) return 0;
    double k = std::trunc(z10);
    if (k < 0) return 500000;
    if (k > 35) return 0;
    return 100 * (5000 - kNormalArea[static_cast<int>(k)]);
}

}  // namespace

std::string load_statement(const ChartRecord& chart, short set, int run_limit)
{
    std::string sql = base_statement(chart.type, chart.subtype, chart.channel, chart.step);
    if (sql.empty()) return sql;
    const bool por = set == POR_SET;
    const int wafers = por ? por_wafer_restrictions : wafer_restrictions;
    const auto& select = por ? por_wafer_select : wafer_select;
    const auto& logic = por ? por_wafer_logic : wafer_logic;
    const bool endpoint = chart.type == 17;
    if (run_limit > 0) sql += vsys::strprintf(endpoint ? " AND RUN <= %i" : " AND RUN_NUM <= %i", run_limit);
    const int n = std::min({wafers, static_cast<int>(select.size()), static_cast<int>(logic.size())});
    if (n > 0) {
        sql += " AND (";
        for (int i = 0; i < n; ++i) {
            const int l = logic[static_cast<std::size_t>(i)];
            sql += vsys::strprintf("%sWAFER %s %i", i ? " OR " : "", l < 0 ? "<" : l > 0 ? ">" : "=",
                                   select[static_cast<std::size_t>(i)]);
        }
        sql += ")";
    }
    append_texts(sql, " AND TRACE_ID IN(", por ? por_lot_restrictions : lot_restrictions,
                 por ? por_lot_select : lot_select);
    if (!endpoint)
        append_texts(sql, " AND RECIPE IN(", por ? por_recipe_restrictions : recipe_restrictions,
                     por ? por_recipe_select : recipe_select);
    append_texts(sql, " AND SYSTEM_ID IN(", por ? por_system_restrictions : system_restrictions,
                 por ? por_system_select : system_select);
    // The result table's own run and wafer (equal to the run table's by the join): the engine reads that
    // table in this order and stops after the points asked for, instead of sorting every run.
    sql += " ORDER BY RUN DESC, WAFER DESC";
    return sql;
}

void series_statistics(const double* values, int n, double* mean, double* stdev)
{
    *mean = 0.0;
    *stdev = 0.0;
    if (n < 1) return;
    double sum = 0.0, lo = values[0], hi = values[0];
    for (int i = 0; i < n; ++i) {
        sum += values[i];
        lo = std::min(lo, values[i]);
        hi = std::max(hi, values[i]);
    }
    // Equal values are their own mean exactly, so no run rule sees them off the centre line.
    if (lo == hi) {
        *mean = lo;
        return;
    }
    const double m = sum / n;
    *mean = m;
    if (n < 2) return;
    double squares = 0.0;
    for (int i = 0; i < n; ++i) squares += (values[i] - m) * (values[i] - m);
    const double variance = squares / (n - 1);
    *stdev = variance > 0.0 ? std::sqrt(variance) : 0.0;
}

int load_data(ChartRecord& chart, short set, int run_limit)
{
    const int wanted = chart.points;
    chart.release_series();
    if (wanted < 1) {
        MessagePopup("Data Load Error", "Zero points requested.");
        return 0;
    }
    if (set != TEST_SET && set != POR_SET) {
        MessagePopup("Unsupported Operation", "load_data");
        return 0;
    }
    chart.plot_low[0] = 1e11;
    chart.plot_high[0] = -1e11;
    chart.data_mean = 0.0;
    chart.data_stdev = 0.0;
    const std::string sql = load_statement(chart, set, run_limit);
    if (sql.empty()) return -1;
    int n = 0;
    {
        DbStatement st(hdbc, sql);
        if (st.ok()) {
            int run = 0, wafer = 0;
            double value = 0.0;
            long status[3] = {};
            if (DBBindColInt(st.handle(), 1, &run, &status[0]) != 0) ShowError();
            if (DBBindColInt(st.handle(), 2, &wafer, &status[1]) != 0) ShowError();
            if (DBBindColDouble(st.handle(), 3, &value, &status[2]) != 0) ShowError();
            chart.values.reserve(static_cast<std::size_t>(std::min(wanted, 100000)));
            while (n < wanted && DBFetchNext(st.handle()) == 0) {
                if (status[2] == -2 || !std::isfinite(value)) continue;  // an empty value is no point
                chart.values.push_back(value);
                chart.plot_low[0] = std::min(chart.plot_low[0], value);
                chart.plot_high[0] = std::max(chart.plot_high[0], value);
                chart.runs.push_back(run);
                chart.wafers.push_back(wafer);
                ++n;
            }
        }
    }
    if (n == 0) {
        chart.release_series();
        return 0;
    }
    chart.points = n;
    series_statistics(chart.values.data(), n, &chart.data_mean, &chart.data_stdev);
    compute_chart_limits(chart, chart.data_mean, chart.data_stdev);
    chart.values.shrink_to_fit();
    return n;
}

void compute_chart_limits(ChartRecord& chart, double mean, double stdev)
{
    if (chart.natural == 0) {
        double limits[3] = {0.0, 0.0, 0.0};
        step_specs_of(chart.process, LIMITS_READ, chart.type, chart.subtype, chart.channel, chart.step, limits);
        if (chart.type == 4) {
            chart.rule_mean = limits[2] / 2;
            chart.rule_stdev = limits[2] / 6;
        } else {
            chart.rule_mean = (limits[0] + limits[2]) / 2;
            chart.rule_stdev = (limits[2] - limits[0]) / 6;
        }
    } else {
        chart.rule_mean = mean;
        chart.rule_stdev = stdev;
    }
    double* low = chart.plot_low;
    double* high = chart.plot_high;
    low[1] = std::min(low[0], mean - 3 * stdev);
    high[1] = std::max(high[0], mean + 3 * stdev);
    low[2] = std::min(low[0], chart.rule_mean - 3 * chart.rule_stdev);
    high[2] = std::max(high[0], chart.rule_mean + 3 * chart.rule_stdev);
    low[3] = std::min(low[1], low[2]);
    high[3] = std::max(high[1], high[2]);
}

void GenerateHistogram(const double* values, int count, double minimum, double maximum, std::vector<double>& centres,
                       int* bins, std::vector<int>& counts)
{
    centres.clear();
    counts.clear();
    *bins = 0;
    if (count < 1 || !values) return;
    int n = static_cast<int>(std::trunc(3.3 * std::log10(static_cast<double>(count)) + 1.0));
    const double width = (maximum - minimum) / n;
    if (!(width > 0.0)) n = 1;
    try {
        centres.assign(static_cast<std::size_t>(n), 0.0);
        counts.assign(static_cast<std::size_t>(n), 0);
    } catch (const std::bad_alloc&) {
        EXIT_NOW("NULL pointer returned");
        return;
    }
    *bins = n;
    if (!(width > 0.0)) {
        centres[0] = minimum;
        for (int i = 0; i < count; ++i) counts[0] += values[i] == minimum ? 1 : 0;
        return;
    }
    for (int i = 0; i < n; ++i) centres[static_cast<std::size_t>(i)] = minimum + width / 2.0 + i * width;
    for (int i = 0; i < count; ++i) {
        const double index = std::trunc((values[i] - minimum) / width);
        if (index >= 0 && index <= n - 1) ++counts[static_cast<std::size_t>(index)];
    }
}

void ppm_defects(double upper, double lower, double mean, double sigma, int* result)
{
    *result = 0;
    if (upper - lower < 1e-9 || sigma < 1e-9) return;
    *result = tail_ppm((upper - mean) / sigma * 10) + tail_ppm((mean - lower) / sigma * 10);
}

Capability chart_capability(double ruleMean, double ruleStdev, double dataMean, double dataStdev)
{
    Capability c;
    if (ruleStdev <= 0 || dataStdev <= 0) return c;
    c.cp = ruleStdev / dataStdev;
    const double upper = (ruleMean + 3 * ruleStdev - dataMean) / (3 * dataStdev);
    const double lower = (dataMean - (ruleMean - 3 * ruleStdev)) / (3 * dataStdev);
    c.cpk = std::min(upper, lower);
    ppm_defects(ruleMean + 3 * ruleStdev, ruleMean - 3 * ruleStdev, dataMean, dataStdev, &c.defects);
    return c;
}

AxisPlan plan_x_axis(int low, int high)
{
    AxisPlan p;
    if (static_cast<long long>(high) - low <= 4) {
        if (low == high) --low;
        p.low = low;
        p.high = high;
        p.divisions = high - low;
        return p;
    }
    long long d = 0;
    int e = 0;
    double step = 10.0;
    step_search(static_cast<double>(high) - low, &d, &e, &step);
    double start = std::trunc(low / step) * step;
    if (low < 0 && start - low > 1e-6 * ten_to_the(e)) start -= step;
    const double lo = std::trunc(start);
    double end = lo + static_cast<double>(d) * step;
    while (end < high) end = lo + static_cast<double>(++d) * step;
    p.low = lo;
    p.high = std::trunc(end);
    p.divisions = static_cast<int>(d);
    return p;
}

AxisPlan plan_y_axis(double low, double high)
{
    AxisPlan p;
    if (!std::isfinite(low) || !std::isfinite(high)) {
        p.low = 0.0, p.high = 1.0, p.divisions = 1, p.precision = 0;
        return p;
    }
    // A range too narrow to divide widens to whole numbers; floor keeps negative values on the axis.
    if (high - low < 0.0001) {
        low = std::floor(low);
        high = std::floor(high) + 1;
    }
    long long d = 0;
    int e = 0;
    double step = 10.0;
    step_search(high - low, &d, &e, &step);
    double start = std::trunc(low / step) * step;
    if (low < 0 && start - low > 1e-6 * ten_to_the(e)) start -= step;
    ++d;
    if (low - start < step / 10) start -= step;
    p.low = start;
    double end = p.low + static_cast<double>(d) * step;
    while (end - high < step / 10 && e != -9 && e != 9) end = p.low + static_cast<double>(++d) * step;
    p.high = end;
    p.divisions = static_cast<int>(d);
    p.precision = e < 0 ? -e - 1 : 0;
    return p;
}

int scale_spc_axes(int xLow, int xHigh, double* yLow, double* yHigh, int panel, int graph)
{
    const AxisPlan x = plan_x_axis(xLow, xHigh);
    SetAxisRange(panel, graph, VAL_MANUAL, x.low, x.high, VAL_NO_CHANGE, 0.0, 0.0);
    SetCtrlAttribute(panel, graph, ATTR_XDIVISIONS, x.divisions);
    const AxisPlan y = plan_y_axis(*yLow, *yHigh);
    SetCtrlAttribute(panel, graph, ATTR_YPRECISION, y.precision);
    SetAxisRange(panel, graph, VAL_NO_CHANGE, 0.0, 0.0, VAL_MANUAL, y.low, y.high);
    SetCtrlAttribute(panel, graph, ATTR_YDIVISIONS, y.divisions);
    *yLow = y.low;
    *yHigh = y.high;
    return static_cast<int>(x.high - x.low);
}
