// The texts of the alarm window: list and detail lines of one alarm row, Pareto lines of one kind.
#include "testing/alarm_lines.h"

#include "core/config_store.h"
#include "core/globals.h"
#include "platform/sys/format.h"
#include "testing/chart_code.h"

namespace {

std::string channel_name(int channel)
{
    char name[33];
    get_put_char(hdbc, 28, channel, TAGS_READ, name);
    return name;
}

std::string timer_name(int timer)
{
    char name[33];
    get_put_char(hdbc, 29, timer, TAGS_READ, name);
    return name;
}

std::string label_of(int rule)
{
    char label[3] = "";
    get_text_from_alarm_num(static_cast<short>(rule), label);
    return label;
}

bool statistics_type(int type) { return type == 0 || type == 20 || type == 21 || type == 22; }

}  // namespace

int AlarmRow::code() const { return chart_code(channel, type, subtype, index, rule); }

const char* step_metric_name(int subtype)
{
    switch (subtype) {
    case 0: return "Overshoot Area";
    case 1: return "Undershoot Area";
    case 2: return "Stability Time";
    case 3: return "Decay Constant";
    case 5: return "Undershoot Minimum";
    case 6: return "Overshoot Maximum";
    default: return "";
    }
}

const char* statistic_name(int subtype)
{
    switch (subtype) {
    case 1: return "Mean";
    case 2: return "Std Dev";
    case 3: return "Minimum";
    case 4: return "Maximum";
    default: return "";
    }
}

std::string alarm_header_line(const AlarmRow& row)
{
    if (row.type == 17) return vsys::strprintf("\033fgFF0000 Plasma Clean, %s, #%i", row.trace_id, row.wafer);
    return vsys::strprintf("\033fgFF0000 %s, %s, #%i", row.recipe, row.trace_id, row.wafer);
}

std::string alarm_detail_line(const AlarmRow& row)
{
    const std::string label = label_of(row.rule);
    const char* l = label.c_str();
    if (statistics_type(row.type))
        return vsys::strprintf("\033p50l%s %s %s %s Rule %s", row.date, row.time, channel_name(row.channel).c_str(),
                               statistic_name(row.subtype), l);
    switch (row.type) {
    case 1:
        return vsys::strprintf("\033p50l%s %s %s %s Step %.2i Rule %s", row.date, row.time,
                               channel_name(row.channel).c_str(), step_metric_name(row.subtype), row.index, l);
    case 4:
        return vsys::strprintf("\033p50l%s %s %s Sigma Vector Rule %s", row.date, row.time,
                               channel_name(row.channel).c_str(), l);
    case 5:
        return vsys::strprintf("\033p50l%s %s %s Rule %s", row.date, row.time, timer_name(row.channel).c_str(), l);
    case 17:
        if (row.subtype == 0) return vsys::strprintf("\033p50l%s %s Endpoint Time Rule %s", row.date, row.time, l);
        if (row.subtype == 1) return vsys::strprintf("\033p50l%s %s Clean Time Rule %s", row.date, row.time, l);
        if (row.subtype == 2)
            return vsys::strprintf("\033p50l%s %s Endpoint Max(Particles) Rule %s", row.date, row.time, l);
        return "";
    case 18:
        return vsys::strprintf("\033p50l%s %s Ped %.1i %s Rule %s", row.date, row.time, row.channel,
                               statistic_name(row.subtype), l);
    default: return "";
    }
}

std::string pareto_line(int n, int count, const char* process, int code)
{
    char text[16];
    vsys::format_into(text, sizeof text, "%.9d", code);
    short channel, type, subtype, step, rule;
    get_info_from_code(text, &channel, &type, &subtype, &step, &rule);
    const std::string label = label_of(rule);
    const char* l = label.c_str();
    if (statistics_type(type))
        return vsys::strprintf("%i\033p35l%i\033p75l %s,Rule %s %s %s", n, count, process, l,
                               channel_name(channel).c_str(), statistic_name(subtype));
    switch (type) {
    case 1:
        return vsys::strprintf("%i\033p35l%i\033p75l %s,Rule %s %s %s Step%.2i", n, count, process, l,
                               channel_name(channel).c_str(), step_metric_name(subtype), step);
    case 4:
        return vsys::strprintf("%i\033p35l%i\033p75l %s,Rule %s %s Sigma Vector", n, count, process, l,
                               channel_name(channel).c_str());
    case 5:
        return vsys::strprintf("%i\033p35l%i\033p75l %s,Rule %s %s", n, count, process, l, timer_name(channel).c_str());
    case 17:
        if (subtype == 0) return vsys::strprintf("%i\033p35l%i\033p75l Plasma Clean,Rule %s Endpoint Time", n, count, l);
        if (subtype == 1) return vsys::strprintf("%i\033p35l%i\033p75l Plasma Clean,Rule %s Clean Time", n, count, l);
        if (subtype == 2)
            return vsys::strprintf("%i\033p35l%i\033p75l Plasma Clean,Rule %s Endpoint Max(Particles)", n, count, l);
        return "";
    case 18:
        return vsys::strprintf("%i\033p35l%i\033p75l %s,Rule %s PED%.1i %s", n, count, process, l, channel,
                               statistic_name(subtype));
    default: return "";
    }
}
