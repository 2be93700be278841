// The step set-point panel and the step limit summary in the text popup.
#include "spc/compare_setpoints.h"

#include <algorithm>

#include "core/config_store.h"
#include "core/core_seams.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/text_utils.h"
#include "panels/mfc_comd.h"
#include "panels/pop.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "spc/compare_results.h"
#include "spc/limit_table.h"
#include "spc/spc_seams.h"

namespace {

constexpr int kNameParam = 28;
constexpr int kSetpointSubtype = 4;

// The step channel whose values the panel shows: edits go back to it even when the choice changes by keyboard.
int shown_channel = 0;

bool enabled(int c) { return (VantrelChannelStatusBits >> (c - 1) & 1u) != 0; }
bool step_channel(int c) { return channel_type[c] == 1 && enabled(c); }
int steps_of(int c) { return std::clamp<int>(steps_per_process[c], 0, kMaxSteps); }

std::string channel_name(int c)
{
    char name[33] = "";
    get_put_char(hdbc, kNameParam, c, TAGS_READ, name);
    right_text_trim(name);
    return name;
}

void show_channel(int panel, int c)
{
    shown_channel = c;
    if (c < 1 || c > 32) return;
    SetCtrlVal(panel, MFC_COMD_SETPOINT, static_cast<unsigned char>(std::clamp<int>(step_set_channel[c], 0, 32)));
    SetCtrlVal(panel, MFC_COMD_STEPS, static_cast<unsigned char>(steps_of(c)));
}

void store_channel(int panel, int c)
{
    if (c < 1 || c > 32) return;
    unsigned char setpoint = 0, steps = 0;
    GetCtrlVal(panel, MFC_COMD_SETPOINT, &setpoint);
    GetCtrlVal(panel, MFC_COMD_STEPS, &steps);
    step_set_channel[c] = static_cast<signed char>(std::min<int>(setpoint, 32));
    steps_per_process[c] = static_cast<signed char>(std::clamp<int>(steps, 0, kMaxSteps));
}

int listed_channel(int panel)
{
    int c = 0;
    GetCtrlVal(panel, MFC_COMD_STEP_CHANNEL, &c);
    return c;
}

void read_limits(int subtype, int c, int step, double limits[3])
{
    limits[0] = limits[1] = limits[2] = 0.0;
    step_specs(LIMITS_READ, 1, static_cast<short>(subtype), static_cast<short>(c), static_cast<short>(step), limits);
}

}  // namespace

std::vector<std::string> step_summary_lines()
{
    struct Result {
        int subtype;
        const char* name;
    };
    static const Result kResults[] = {{0, "OVERSHOOT AREA"},  {6, "OVERSHOOT MAXIMUM"},
                                      {1, "UNDERSHOOT AREA"}, {5, "UNDERSHOOT MINIMUM"},
                                      {2, "STABILIZATION TIME (sec)"}, {3, "DECAY CONSTANT (sec)"}};
    std::vector<std::string> lines;
    for (int c = 1; c <= 32; ++c) {
        if (!step_channel(c)) continue;
        const std::string name = channel_name(c);
        const int setpoint = step_set_channel[c];
        if (setpoint < 1 || setpoint > 32) {
            lines.push_back(vsys::strprintf("\033fgFF0000%s Trigger Channel is Unknown: \033fg000000No step data will be "
                                            "collected for this channel.",
                                            name.c_str()));
        } else {
            const std::string setpoint_name = channel_name(setpoint);
            const int steps = steps_of(c);
            lines.push_back(vsys::strprintf("%s has %i step(s).", name.c_str(), steps));
            for (int s = 1; s <= steps; ++s) {
                if (steps > 1) lines.push_back(vsys::strprintf("\033p10lStep %i", s));
                double range[3];
                read_limits(kSetpointSubtype, c, s, range);
                if (range[0] == 0.0 && range[1] == 0.0 && range[2] == 0.0) {
                    lines.push_back("\033p20lDeactivated: Stability Test Range = (0,0,0)");
                    continue;
                }
                for (const Result& r : kResults) {
                    double v[3];
                    read_limits(r.subtype, c, s, v);
                    lines.push_back(vsys::strprintf("\033p20l%s: \033p200llcl = %.3f \033p325ltar = %.3f \033p450lucl = %.3f.",
                                                    r.name, v[0], v[1], v[2]));
                }
                if (range[1] < 1e-6) {
                    lines.push_back(vsys::strprintf("\033p20l%s = \033p200l%.1f%% of %s", "LOWER STABILITY LIMIT", range[0],
                                                    setpoint_name.c_str()));
                    lines.push_back(vsys::strprintf("\033p20l%s = \033p200l%.1f%% of %s", "SETPOINT", -range[1],
                                                    setpoint_name.c_str()));
                    lines.push_back(vsys::strprintf("\033p20l%s = \033p200l%.1f%% of %s", "UPPER STABILITY LIMIT", range[2],
                                                    setpoint_name.c_str()));
                } else {
                    lines.push_back(vsys::strprintf("\033p20l%s = \033p200l%.3f", "LOWER STABILITY LIMIT", range[0]));
                    lines.push_back(vsys::strprintf("\033p20l%s = \033p200l%.3f", "SETPOINT", range[1]));
                    lines.push_back(vsys::strprintf("\033p20l%s = \033p200l%.3f", "UPPER STABILITY LIMIT", range[2]));
                }
            }
        }
        lines.push_back(std::string(90, '-'));
    }
    return lines;
}

void display_mfc(int, int, void*, int)
{
    if (recipe_num < 3 || recipe_num > 9000) {
        MessagePopup("Setup Error", "This process is write protected.  Before you edit, you must use SAVE AS... to save "
                                    "a new process (see FILE menu).");
        return;
    }
    core_seams().saveAllAndExport(0);
    int panel = LoadPanel(parent_panel > 0 ? parent_panel : 0, "mfc_comd.uir", MFC_COMD);
    if (panel < 0) return;
    ClearListCtrl(panel, MFC_COMD_STEP_CHANNEL);
    ClearListCtrl(panel, MFC_COMD_SETPOINT);
    InsertListItem(panel, MFC_COMD_SETPOINT, 0, "Unknown", static_cast<unsigned char>(0));
    int first = 0;
    for (int c = 1; c <= 32; ++c) {
        const std::string name = channel_name(c);
        if (step_channel(c)) {
            InsertListItem(panel, MFC_COMD_STEP_CHANNEL, -1, name.c_str(), c);
            if (!first) first = c;
        }
        if (enabled(c)) InsertListItem(panel, MFC_COMD_SETPOINT, -1, name.c_str(), static_cast<unsigned char>(c));
    }
    if (!first) {
        DiscardMyPanel(&panel);
        MessagePopup("Step Control Limit Error", "No channels have been configured as a step channel.");
        return;
    }
    show_channel(panel, first);
    InstallPopup(panel);
}

int display_mfc_spec(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_LEFT_CLICK && control == MFC_COMD_STEP_CHANNEL) {
        store_channel(panel, shown_channel > 0 ? shown_channel : listed_channel(panel));
        return 0;
    }
    if (event == EVENT_VAL_CHANGED) {
        if (control == MFC_COMD_STEP_CHANNEL) {
            // The values on screen belong to the channel shown before this change.
            store_channel(panel, shown_channel);
            show_channel(panel, listed_channel(panel));
        }
        GotoEditMode();
        return 0;
    }
    if (event != EVENT_COMMIT) return 0;
    const int c = listed_channel(panel);
    store_channel(panel, c);
    shown_channel = c;
    if (control == MFC_COMD_CANCEL) {
        LoadSetup();
        DiscardMyPanel(&panel);
        return 0;
    }
    if (control == MFC_COMD_OK) {
        DiscardMyPanel(&panel);
        return 0;
    }
    if (control < MFC_COMD_LIMIT7 || control > MFC_COMD_LIMIT13 || c < 1 || c > 32) return 0;
    if (steps_of(c) == 0) {
        MessagePopup("Setup Error", "Cannot specify step limits because this channel has zero steps.");
        SetActiveCtrl(panel, MFC_COMD_STEPS);
        return 0;
    }
    const int setpoint = step_set_channel[c];
    if (setpoint == 0) {
        MessagePopup("Setup Error", "Cannot specify step limits because the channel setpoint is unknown.");
        SetActiveCtrl(panel, MFC_COMD_SETPOINT);
        return 0;
    }
    if (setpoint == c) {
        for (int s = 1; s <= steps_of(c); ++s) {
            double range[3];
            read_limits(kSetpointSubtype, c, s, range);
            if (range[1] < 0) {
                MessagePopup("Setup Warning", "Channel setpoint is the same as the step channel.  Recommend using fixed "
                                              "values for stability limits.");
                break;
            }
        }
    }
    spc_seams().display_specs(-c, -control, nullptr, panel);
    return 0;
}

int mfc_summary(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    const int c = listed_channel(panel);
    store_channel(panel, c);
    shown_channel = c;
    const int popup = load_text_popup(panel);
    if (popup < 0) return 0;
    for (int ctrl : {POP_EXTRA2, POP_EXTRA1, POP_EXTRA3}) SetCtrlAttribute(popup, ctrl, ATTR_VISIBLE, 0);
    SetCtrlVal(popup, POP_HEADING, "Summary for all channels which have the STEP data type.");
    ClearListCtrl(popup, POP_LINES);
    for (const std::string& line : step_summary_lines()) InsertListItem(popup, POP_LINES, -1, line.c_str(), 0);
    InstallPopup(popup);
    return 0;
}
