// Alarm display popup, alarm review entry, and the SPC chart list commands.
#include "core/module_services.h"

#include <cstdint>

#include "core/errors.h"
#include "core/core_seams.h"
#include "panels/apop.h"
#include "panels/s_chart.h"
#include "platform/ui/userint.h"

int a_display(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int popup = LoadPanel(0, "apop.uir", APOP);
    if (popup <= 0) return 0;
    if (panel == -1) {
        if (control == MENUBAR_ALARMS_ALARM_LIST) SetCtrlAttribute(popup, APOP_PARETO, ATTR_VISIBLE, 0);
        if (control == MENUBAR_ALARMS_ALARM_PARETO) SetCtrlAttribute(popup, APOP_LIST, ATTR_VISIBLE, 0);
    }
    InstallPopup(popup);
    return 0;
}

void alarm_list_pareto(int, int item, void*, int) { a_display(-1, item, EVENT_COMMIT, nullptr, 0, 0); }

void menu_clear_alarms(int, int, void*, int) { clear_errors(1, 1, EVENT_COMMIT, nullptr, 0, 0); }

int clear_errors(int panel, int control, int event, void* data, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (!check_password(&panel, &control, clear_errors, static_cast<int>(reinterpret_cast<std::intptr_t>(data))))
        return 0;
    core_seams().show_errors(-1, -100, 1, nullptr, 0, 0);
    return 0;
}

namespace {
int open_chart_list(int event)
{
    if (event != EVENT_COMMIT) return 0;
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    core_seams().act_deact_charts(-2, -1, nullptr, -1);
    SetMouseCursor(-1);
    return 0;
}
}  // namespace

int dual_spc_charts(int, int, int event, void*, int, int) { return open_chart_list(event); }
int spc_charts(int, int, int event, void*, int, int) { return open_chart_list(event); }
