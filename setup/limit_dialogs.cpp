// Opening and storing the control-limit dialogs; a dialog's title is the key of the limit group it stores.
#include "setup/limit_dialogs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "panels/mfc_comd.h"
#include "panels/mfc_set.h"
#include "panels/s_chart.h"
#include "panels/specs.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "setup/setup_files.h"
#include "spc/limit_table.h"

namespace {

constexpr int kRows = 32;

struct Group {
    const char* title;
    short type, subtype;
    int request;  // step page request, 0 for menu groups
};

constexpr Group kGroups[] = {
    {"Control Limits for the Mean", 0, 1, 0},
    {"Control Limits for the Standard Deviation", 0, 2, 0},
    {"Control Limits for the Minimum", 0, 3, 0},
    {"Control Limits for the Maximum", 0, 4, 0},
    {"Timer Control Limits", 5, 0, 0},
    {"Sigma Vector Control Limits (%)", 4, 0, 0},
    {"Step Overshoot Area Control Limits", 1, 0, MFC_COMD_LIMIT7},
    {"Step Undershoot Area Control Limits", 1, 1, MFC_COMD_LIMIT11},
    {"Step Stabilty Time Control Limits (sec)", 1, 2, MFC_COMD_LIMIT10},
    {"Step Decay Limits (Time, in seconds, required to be reduced by 1/e)", 1, 3, MFC_COMD_LIMIT13},
    {"Step Minimum Undershoot Control Limits", 1, 5, MFC_COMD_LIMIT12},
    {"Step Maximum Overshoot Control Limits", 1, 6, MFC_COMD_LIMIT9},
};

const Group* group_for_item(int item)
{
    switch (item) {
    case MENUBAR_CONFIGURE_CONTROL_LIMITS_MEAN: return &kGroups[0];
    case MENUBAR_CONFIGURE_CONTROL_LIMITS_STANDARD_DEVIATION: return &kGroups[1];
    case MENUBAR_CONFIGURE_CONTROL_LIMITS_MINIMUM: return &kGroups[2];
    case MENUBAR_CONFIGURE_CONTROL_LIMITS_MAXIMUM: return &kGroups[3];
    case MENUBAR_CONFIGURE_CONTROL_LIMITS_TIMERS: return &kGroups[4];
    case MENUBAR_CONFIGURE_CONTROL_LIMITS_SIGMA_VECTOR: return &kGroups[5];
    default: return nullptr;
    }
}

const Group* group_for_request(int request)
{
    for (const Group& g : kGroups)
        if (g.request == request) return &g;
    return nullptr;
}

bool enabled(int channel) { return (VantrelChannelStatusBits >> (channel - 1)) & 1u; }
bool statistics_kind(int channel)
{
    const int k = channel_type[channel];
    return k == 0 || k == 20 || k == 21 || k == 22;
}

// The keys a menu group's rows stand for, in row order.
std::vector<int> rows_of(const Group& g)
{
    std::vector<int> keys;
    if (g.type == 0) {
        for (int c = 1; c <= 32; ++c)
            if (enabled(c) && statistics_kind(c)) keys.push_back(c);
    } else if (g.type == 5) {
        for (int t = 1; t <= 16; ++t)
            if ((timer_status_bit >> (t - 1)) & 1) keys.push_back(t);
    } else if (g.type == 4) {
        for (int c = 1; c <= 32; ++c)
            if (enabled(c)) keys.push_back(c);
    }
    return keys;
}

std::string tag(int param, int index)
{
    char text[33] = "";
    get_put_char(hdbc, param, index, TAGS_READ, text);
    return text;
}

void hide_row(int group, int r)
{
    for (int c : {LIMIT_ROWS_ROW_1 - 1 + r, LIMIT_ROWS_LCL_1 - 1 + r, LIMIT_ROWS_TARGET_1 - 1 + r, LIMIT_ROWS_UCL_1 - 1 + r})
        SetCtrlAttribute(group, c, ATTR_VISIBLE, 0);
}

// A step group shows its TARGET as a size (the sign of a stored one marks limits relative to the set-point);
// every other group shows the triple as stored, so that OK writes back what it read.
void fill_row(int group, int r, const std::string& label, const double limits[3], bool step_group)
{
    SetCtrlVal(group, LIMIT_ROWS_ROW_1 - 1 + r, label);
    SetCtrlVal(group, LIMIT_ROWS_LCL_1 - 1 + r, limits[0]);
    SetCtrlVal(group, LIMIT_ROWS_TARGET_1 - 1 + r, step_group ? std::fabs(limits[1]) : limits[1]);
    SetCtrlVal(group, LIMIT_ROWS_UCL_1 - 1 + r, limits[2]);
}

// The interval file's sample-rate code; none when it cannot be read.
bool por_rate(int* rate)
{
    vsys::FilePtr f = vsys::open_file(interval_path(vt_dir, recipe_num), "r");
    if (!f) return false;
    *rate = 0;
    std::fscanf(f.get(), "%*d%*c%*d%*c%d", rate);
    return true;
}

int open_frame_dialog(int parent, const Group& g, int channel, const std::vector<std::string>& labels,
                       const std::vector<std::array<double, 3>>& values, bool sigma)
{
    const int frame = LoadPanel(parent, "specs.uir", SPEC);
    if (frame < 0) return -1;
    const int group = LoadPanel(frame, "specs.uir", LIMIT_ROWS);
    SetCtrlVal(frame, SPEC_TITLE, g.title);
    SetCtrlVal(frame, SPEC_GROUP, group);
    SetCtrlVal(frame, SPEC_CHANNEL, channel);
    if (sigma)
        SetCtrlVal(frame, SPEC_NOTE, "Enter 0 to deactivate the Sigma Vector Test.");
    else
        SetCtrlAttribute(frame, SPEC_NOTE, ATTR_VISIBLE, 0);
    const int used = static_cast<int>(labels.size());
    for (int r = 1; r <= kRows; ++r) {
        if (r > used) {
            hide_row(group, r);
            continue;
        }
        const auto& v = values[static_cast<std::size_t>(r - 1)];
        fill_row(group, r, labels[static_cast<std::size_t>(r - 1)], v.data(), g.type == 1);
        if (sigma) {
            SetCtrlAttribute(group, LIMIT_ROWS_LCL_1 - 1 + r, ATTR_VISIBLE, 0);
            SetCtrlAttribute(group, LIMIT_ROWS_TARGET_1 - 1 + r, ATTR_VISIBLE, 0);
        }
    }
    if (used <= 15 || g.type == 1) SetPanelAttribute(group, ATTR_PANEL_SCROLL_BARS, 0);
    if (g.type == 1) {
        int w = 0;
        GetPanelAttribute(frame, ATTR_WIDTH, &w);
        SetPanelAttribute(group, ATTR_TOP, w * 40 / 700);
        SetPanelAttribute(group, ATTR_HEIGHT, w * 340 / 700);
        SetPanelAttribute(group, ATTR_WIDTH, w * 690 / 700);
    }
    InstallPopup(frame);
    DisplayPanel(group);
    return group;
}

void open_setpoints(int parent, int c)
{
    const int panel = LoadPanel(parent, "mfc_set.uir", MFC_SPEC);
    if (panel < 0) return;
    const std::string name = tag(28, c);
    const int steps = c >= 1 && c <= 32 ? steps_per_process[c] : 0;
    for (int s = 1; s <= 16; ++s) {
        if (s > steps) {
            for (int id : {MFC_SPEC_ROW_1 - 1 + s, MFC_SPEC_FIXED_1 - 1 + s, MFC_SPEC_LCL_1 - 1 + s,
                           MFC_SPEC_TARGET_1 - 1 + s, MFC_SPEC_UCL_1 - 1 + s})
                SetCtrlAttribute(panel, id, ATTR_VISIBLE, 0);
            continue;
        }
        double v[3] = {0, 0, 0};
        step_specs(6, 1, 4, static_cast<short>(c), static_cast<short>(s), v);
        SetCtrlVal(panel, MFC_SPEC_CHANNEL + s, vsys::strprintf("%s Step %i", name.c_str(), s));
        SetCtrlVal(panel, MFC_SPEC_FIXED_1 - 1 + s, v[1] >= 0.000001 ? 1 : 0);
        SetCtrlVal(panel, MFC_SPEC_LCL_1 - 1 + s, v[0]);
        SetCtrlVal(panel, MFC_SPEC_TARGET_1 - 1 + s, std::fabs(v[1]));
        SetCtrlVal(panel, MFC_SPEC_UCL_1 - 1 + s, v[2]);
    }
    SetCtrlVal(panel, MFC_SPEC_CHANNEL, c);
    InstallPopup(panel);
}

}  // namespace

void display_specs(int menuBar, int item, void*, int panel)
{
    const bool from_step_page = menuBar < 0 && item < 0;
    const Group* g = from_step_page ? group_for_request(-item) : group_for_item(item);
    if (!g && !(from_step_page && item == -MFC_COMD_LIMIT8)) return;
    saveAllAndExport(0);
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    if (from_step_page) {
        const int c = -menuBar;
        if (item == -MFC_COMD_LIMIT8) {
            open_setpoints(panel, c);
        } else {
            std::vector<std::string> labels;
            std::vector<std::array<double, 3>> values;
            const std::string name = tag(28, c);
            const int steps = c >= 1 && c <= 32 ? std::min<int>(steps_per_process[c], kRows) : 0;
            for (int s = 1; s <= steps; ++s) {
                std::array<double, 3> v{};
                step_specs(6, 1, g->subtype, static_cast<short>(c), static_cast<short>(s), v.data());
                labels.push_back(vsys::strprintf("%s Step %i", name.c_str(), s));
                values.push_back(v);
            }
            open_frame_dialog(panel, *g, c, labels, values, false);
        }
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        return;
    }
    const std::vector<int> keys = rows_of(*g);
    if (g->type == 0 && keys.empty()) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        MessagePopup("", "No active channels have been configured with the OTHER data type.");
        return;
    }
    if (g->type == 5 && keys.empty()) {
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        MessagePopup("", "Timers must be configured first.");
        return;
    }
    if (g->type == 4) {
        if (!vsys::file_size(por_trace_path(vt_dir, recipe_num))) {
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            MessagePopup("Sigma Vector Error", "The PROCESS OF RECORD must be selected before these limits can be "
                                               "changed. (See the Save Menu)");
            return;
        }
        int rate = 0;
        if (!por_rate(&rate)) {
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            return;
        }
        if (rate != sample_rate_index) {
            SetMouseCursor(VAL_DEFAULT_CURSOR);
            MessagePopup("Sigma Vector Error", "The recorded PROCESS OF RECORD was sampled at a different sample "
                                               "rate.  Either choose a new POR (File menu) or change the sample rate.");
            return;
        }
    }
    std::vector<std::string> labels;
    std::vector<std::array<double, 3>> values;
    for (int key : keys) {
        std::array<double, 3> v{};
        step_specs(6, g->type, g->subtype, static_cast<short>(key), 0, v.data());
        labels.push_back(tag(g->type == 5 ? 29 : 28, key));
        values.push_back(v);
    }
    const int group = open_frame_dialog(sc_handle > 0 ? sc_handle : 0, *g, 0, labels, values, g->type == 4);
    if (group > 0 && g->type != 5)
        for (std::size_t r = 0; r < keys.size() && r < kRows; ++r)
            SetCtrlAttribute(group, LIMIT_ROWS_ROW_1 + static_cast<int>(r), ATTR_TEXT_COLOR,
                             round_to_int(get_put_number(4, static_cast<short>(keys[r]), NUMBER_T_READ, 0.0)));
    SetMouseCursor(VAL_DEFAULT_CURSOR);
}

int save_specs(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int group = 0, channel = 0;
    std::string title;
    GetCtrlVal(panel, SPEC_GROUP, &group);
    GetCtrlVal(panel, SPEC_CHANNEL, &channel);
    GetCtrlVal(panel, SPEC_TITLE, &title);
    int width = 0;
    if (group <= 0 || GetPanelAttribute(group, ATTR_WIDTH, &width) < 0) return -1;
    if (Flags & FLAG_PENDING_CHANGES) {
        for (const Group& g : kGroups) {
            if (title != g.title) continue;
            auto read_row = [&](int r, double v[3]) {
                GetCtrlVal(group, LIMIT_ROWS_LCL_1 - 1 + r, &v[0]);
                GetCtrlVal(group, LIMIT_ROWS_TARGET_1 - 1 + r, &v[1]);
                GetCtrlVal(group, LIMIT_ROWS_UCL_1 - 1 + r, &v[2]);
            };
            if (g.type == 1) {
                const int steps = channel >= 1 && channel <= 32 ? std::min<int>(steps_per_process[channel], kRows) : 0;
                for (int s = 1; s <= steps; ++s) {
                    double v[3];
                    read_row(s, v);
                    step_specs(7, 1, g.subtype, static_cast<short>(channel), static_cast<short>(s), v);
                }
            } else {
                const std::vector<int> keys = rows_of(g);
                for (std::size_t k = 0; k < keys.size() && k < kRows; ++k) {
                    double v[3];
                    read_row(static_cast<int>(k) + 1, v);
                    if (g.type == 4) v[0] = v[1] = 0.0;
                    step_specs(7, g.type, g.subtype, static_cast<short>(keys[k]), 0, v);
                }
            }
            break;
        }
    }
    DiscardMyPanel(&group);
    int frame = panel;
    DiscardMyPanel(&frame);
    return 0;
}

int save_step_setpoint_specs(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (Flags & FLAG_PENDING_CHANGES) {
        int c = 0;
        GetCtrlVal(panel, MFC_SPEC_CHANNEL, &c);
        const int steps = c >= 1 && c <= 32 ? std::min<int>(steps_per_process[c], 16) : 0;
        for (int s = 1; s <= steps; ++s) {
            int fixed = 0;
            double v[3];
            GetCtrlVal(panel, MFC_SPEC_FIXED_1 - 1 + s, &fixed);
            GetCtrlVal(panel, MFC_SPEC_LCL_1 - 1 + s, &v[0]);
            GetCtrlVal(panel, MFC_SPEC_TARGET_1 - 1 + s, &v[1]);
            GetCtrlVal(panel, MFC_SPEC_UCL_1 - 1 + s, &v[2]);
            if (fixed == 0) v[1] *= -1.0;
            step_specs(7, 1, 4, static_cast<short>(c), static_cast<short>(s), v);
        }
    }
    int handle = panel;
    DiscardMyPanel(&handle);
    return 0;
}
