// Opening and OK of the channel setup dialog; turning off a watched channel switches its trigger off.
#include "setup/channel_setup.h"

#include <string>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/text_utils.h"
#include "panels/card_004.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "setup/setup_files.h"
#include "setup/setup_seams.h"

int channel_setup_panel = -1;

namespace {

int frame_panel = -1;

int name_ctrl(int n) { return SUB_NAME_1 - 1 + n; }
int colour_ctrl(int n) { return SUB_COLOUR_1 - 1 + n; }
int enable_ctrl(int n) { return SUB_ON_1 - 1 + n; }
int kind_ctrl(int n) { return SUB_KIND_1 - 1 + n; }
int slope_ctrl(int n) { return SUB_SLOPE_1 - 1 + n; }
int inter_ctrl(int n) { return SUB_INTERCEPT_1 - 1 + n; }

bool enabled(int channel) { return channel >= 1 && channel <= 32 && (VantrelChannelStatusBits >> (channel - 1)) & 1u; }

void close_dialog()
{
    DiscardMyPanel(&channel_setup_panel);
    DiscardMyPanel(&frame_panel);
    channel_setup_panel = frame_panel = -1;
}

}  // namespace

void display_channel_setup(int, int, void*, int)
{
    if (recipe_num < 3 || recipe_num > 9000) {
        MessagePopup("Setup Error", "This process is write protected.  Before you edit, you must use SAVE AS... to "
                                    "save a new process (see FILE menu).");
        return;
    }
    saveAllAndExport(0);
    if (frame_panel > 0) close_dialog();
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    frame_panel = LoadPanel(0, "card_004.uir", CHAN);
    channel_setup_panel = frame_panel > 0 ? LoadPanel(frame_panel, "card_004.uir", SUB) : -1;
    if (frame_panel <= 0 || channel_setup_panel <= 0) {
        close_dialog();
        SetMouseCursor(VAL_DEFAULT_CURSOR);
        MessagePopup("Setup Error", "The channel setup panel cannot be loaded.");
        return;
    }
    double low = get_put_number(0, 0, NUMBER_T_READ, 0.0);
    double high = get_put_number(1, 0, NUMBER_T_READ, 0.0);
    if (!(low < high)) low = -11.0, high = 11.0;
    SetCtrlVal(frame_panel, CHAN_YMIN, low);
    SetCtrlVal(frame_panel, CHAN_YMAX, high);
    const int p = channel_setup_panel;
    for (int n = 1; n <= 32; ++n) {
        ClearListCtrl(p, kind_ctrl(n));
        InsertListItem(p, kind_ctrl(n), -1, "QL-TC-J", 21);
        InsertListItem(p, kind_ctrl(n), -1, "QL-TC-K", 22);
        InsertListItem(p, kind_ctrl(n), -1, "Valve", 2);
        InsertListItem(p, kind_ctrl(n), -1, "Step", 1);
        InsertListItem(p, kind_ctrl(n), -1, "Static", 0);
        int colour = round_to_int(get_put_number(4, static_cast<short>(n), NUMBER_T_READ, 0.0));
        char name[33];
        get_put_char(hdbc, 28, n, TAGS_READ, name);
        if (std::string(name) == "NA") vsys::format_into(name, sizeof name, "A%i", n);
        SetCtrlVal(p, name_ctrl(n), name);
        SetCtrlAttribute(p, name_ctrl(n), ATTR_TEXT_COLOR, colour & 0xFFFFFF);
        SetCtrlVal(p, colour_ctrl(n), colour);
        SetCtrlVal(p, enable_ctrl(n), enabled(n) ? 1 : 0);
        if (channel_type[n] == 20) channel_type[n] = 0;
        SetCtrlVal(p, kind_ctrl(n), static_cast<int>(channel_type[n]));
        SetCtrlVal(p, slope_ctrl(n), channel_slope[n]);
        SetCtrlVal(p, inter_ctrl(n), channel_inter[n]);
    }
    InstallPopup(frame_panel);
    DisplayPanel(channel_setup_panel);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
}

int get_channel_setup(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    double low = 0.0, high = 0.0;
    GetCtrlVal(panel, CHAN_YMIN, &low);
    GetCtrlVal(panel, CHAN_YMAX, &high);
    if (high - low < 0.000001) {
        MessagePopup("Y Axis Error", "The maximum must be greater than the minimum");
        return 1;
    }
    setup_seams().SetStripChartY(low, high, 0);
    get_put_number(0, 0, NUMBER_T_WRITE, low);
    get_put_number(1, 0, NUMBER_T_WRITE, high);
    const int p = channel_setup_panel;
    for (int n = 1; n <= 32; ++n) {
        int colour = 0;
        GetCtrlAttribute(p, name_ctrl(n), ATTR_TEXT_COLOR, &colour);
        get_put_number(4, static_cast<short>(n), NUMBER_T_WRITE, static_cast<double>(colour | n));
    }
    if (Flags & FLAG_PENDING_CHANGES) {
        VantrelChannelStatusBits = 0;
        saved_channels = 0;
        int last = 0;
        for (int n = 1; n <= 32; ++n) {
            std::string text;
            GetCtrlVal(p, name_ctrl(n), &text);
            text = text.substr(0, text.find('\n'));
            char name[33];
            copy_bounded(name, text.c_str(), 32);
            get_put_char(hdbc, 28, n, TAGS_WRITE, name);
            int on = 0, kind = 0;
            GetCtrlVal(p, enable_ctrl(n), &on);
            GetCtrlVal(p, kind_ctrl(n), &kind);
            channel_type[n] = static_cast<signed char>(kind == 20 ? 0 : kind);
            if (on) {
                ++saved_channels;
                last = n;
                VantrelChannelStatusBits |= 1u << (n - 1);
            }
            GetCtrlVal(p, slope_ctrl(n), &channel_slope[n]);
            GetCtrlVal(p, inter_ctrl(n), &channel_inter[n]);
        }
        channels = static_cast<std::uint8_t>(last);
        if (trigger == 2 && !enabled(trig_ch)) {
            trigger = 0;
            MessagePopup("", "Data Collection Triggers will be turned off because Trigger Channel 1 has been turned off.");
        }
        if (trigger == 2 && !enabled(trig_2_ch)) {
            trigger = 1;
            MessagePopup("", "Data Collection Trigger 2 will be turned off because the trigger channel has been turned off.");
        }
        if (trigger == 1 && !enabled(trig_ch)) {
            trigger = 0;
            MessagePopup("", "Data Collection Trigger 1 will be turned off because the trigger channel has been turned off.");
        }
        if (process_trig_channel > 0 && !enabled(process_trig_channel)) {
            process_trig_channel = 0;
            MessagePopup("", "The Process Trigger will be turned off because the trigger channel has been turned off.");
        }
        setup_seams().update_menu();
        setup_seams().names(-1, 0, 0, 1);
    }
    close_dialog();
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    return 0;
}

int cancel_channel_setup(int, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) close_dialog();
    return 0;
}
