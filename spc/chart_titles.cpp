// form_chart_title: one place names every chart to the user.
#include "spc/chart_titles.h"

#include "core/config_store.h"
#include "core/globals.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"

void form_chart_title(char* title, int channel, int type, int subtype, int index)
{
    const short ch = static_cast<short>(channel), ty = static_cast<short>(type), sub = static_cast<short>(subtype),
                step = static_cast<short>(index);
    if ((ch < 1 || ch > 32) && ty != 17) {
        MessagePopup("Title Error", "Invalid name index.");
        return;
    }
    char text[33];
    auto name = [&](int param) { return get_put_char(hdbc, param, ch, TAGS_READ, text); };
    const char* fmt = nullptr;
    switch (ty) {
    case 0:
    case 20:
    case 21:
    case 22: {
        static const char* const forms[] = {nullptr, "%s Mean", "%s Std Dev", "%s Minimum", "%s Maximum"};
        if (sub >= 1 && sub <= 4) vsys::format_into(title, kChartTitleSize, forms[sub], name(28));
        return;
    }
    case 1:
        switch (sub) {
        case 0: fmt = "%s Step Overshoot Area %i"; break;
        case 1: fmt = "%s Step Undershoot Area %i"; break;
        case 2: fmt = "%s Stability Time Step %i"; break;
        case 3: fmt = "%s Decay Constant Step %i"; break;
        case 5: fmt = "%s Step Undershoot Minimum %i"; break;
        case 6: fmt = "%s Step Overshoot Maximum %i"; break;
        default: return;
        }
        vsys::format_into(title, kChartTitleSize, fmt, name(28), step);
        return;
    case 4: vsys::format_into(title, kChartTitleSize, "%s Sigma (%% of POR)", name(28)); return;
    case 5: vsys::format_into(title, kChartTitleSize, "%s", name(29)); return;
    case 17: {
        static const char* const forms[] = {"Endpoint Time", "Total Clean Time", "Endpoint Max(Particles)"};
        if (sub >= 0 && sub <= 2) vsys::format_into(title, kChartTitleSize, "%s", forms[sub]);
        return;
    }
    case 18: {
        static const char* const forms[] = {nullptr, "Pedestal %i Mean", "Pedestal %i Standard Deviation",
                                            "Pedestal %i Minimum", "Pedestal %i Maximum"};
        if (sub >= 1 && sub <= 4) vsys::format_into(title, kChartTitleSize, forms[sub], ch);
        return;
    }
    default: return;
    }
}
