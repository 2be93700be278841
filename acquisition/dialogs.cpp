// Rate and trigger dialogs: they edit the setup globals, which reach the store with the next save of changes.
#include "acquisition/dialogs.h"

#include "acquisition/acquisition_seams.h"
#include "acquisition/run_model.h"
#include "core/config_store.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "panels/daq_set.h"
#include "panels/vt_setup.h"
#include "platform/ui/userint.h"

namespace {

struct Rate {
    int value;
    const char* label;
};
constexpr Rate kRates[] = {
    {10000, "10,000/sec/ch (Sample Period = 100 usec, screen update every 1.0 sec)"},
    {8000, " 8,000/sec/ch (Sample Period = 125 usec, screen update every 1.0 sec)"},
    {5000, " 5,000/sec/ch (Sample Period = 200 usec, screen update every 1.0 sec)"},
    {4000, " 4,000/sec/ch (Sample Period = 250 usec, screen update every 1.0 sec)"},
    {2000, " 2,000/sec/ch (Sample Period = 500 usec, screen update every 1.0 sec)"},
    {1000, " 1,000/sec/ch (Sample Period = 1 msec, screen update every 1.0 sec)"},
    {500, "   500/sec/ch (Sample Period = 2 msec, screen update every 1.0 sec)"},
    {200, "   200/sec/ch (Sample Period = 5 msec, screen update every 1.0 sec)"},
    {100, "   100/sec/ch (Sample Period = 10 msec, screen update every 1.0 sec)"},
    {50, "    50/sec/ch (Sample Period = 20 msec, screen update every 1.0 sec)"},
    {40, "    40/sec/ch (Sample Period = 25 msec, screen update every 1.0 sec)"},
    {25, "    25/sec/ch (Sample Period = 40 msec, screen update every 1.0 sec)"},
    {20, "    20/sec/ch (Sample Period = 50 msec, screen update every 1.0 sec)"},
    {10, "    10/sec/ch (Sample Period = 100 msec, screen update every 1.0 sec)"},
    {5, "     5/sec/ch (Sample Period = 200 msec, screen update every 1.0 sec)"},
    {4, "     4/sec/ch (Sample Period = 250 msec, screen update every 1.0 sec)"},
    {2, "     2/sec/ch (Sample Period = 500 msec, screen update every 1.0 sec)"},
    {1, "     1/sec/ch (Sample Period = 1000 msec, screen update every 1.0 sec)"},
    {-2, "     1 sample/ch every 2 sec"},
    {-3, "     1 sample/ch every 3 sec"},
    {-5, "     1 sample/ch every 5 sec"},
    {-10, "     1 sample/ch every 10 sec"},
    {-20, "     1 sample/ch every 20 sec"},
    {-30, "     1 sample/ch every 30 sec"},
    {-60, "     1 sample/ch every 60 sec"},
    {-120, "     1 sample/ch every 120 sec"},
    {-300, "     1 sample/ch every 300 sec"},
};

bool write_protected()
{
    if (recipe_num >= 3 && recipe_num <= 9000) return false;
    MessagePopup("Setup Error", "This process is write protected.  Before you edit, you must use SAVE AS... to save a "
                                "new process (see FILE menu).");
    return true;
}

void offer_save()
{
    acquisition_seams().saveAllAndExport(0);
}

// Acquisition records with the rate and triggers it started with: while it runs, OK keeps them.
bool pending() { return (Flags & FLAG_PENDING_CHANGES) != 0 && !acq().active; }

}  // namespace

int acquisition_value_changed(int panel, int control, int event, void* data, int d1, int d2)
{
    if (acq().active) return 0;
    return set_pending_altered_flag(panel, control, event, data, d1, d2);
}

int DisplayConfig(int, int, int, void*, int, int)
{
    if (write_protected()) return 0;
    offer_save();
    int dialog = LoadPanel(0, "daq_set.uir", DAQSET);
    if (dialog <= 0) return 0;
    ClearListCtrl(dialog, DAQSET_RATE);
    for (const Rate& r : kRates) InsertListItem(dialog, DAQSET_RATE, -1, r.label, r.value);
    SetCtrlVal(dialog, DAQSET_RATE, sample_rate_index);
    InstallPopup(dialog);
    return 0;
}

int ConfigureDAQ(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (pending()) {
        GetCtrlVal(panel, DAQSET_RATE, &sample_rate_index);
        sample_rate = sample_rate_index > 0 ? sample_rate_index : 1;
    }
    DiscardMyPanel(&panel);
    return 0;
}

int display_trig(int, int, int, void*, int, int)
{
    if (write_protected()) return 0;
    offer_save();
    int dialog = LoadPanel(parent_panel > 0 ? parent_panel : 0, "vt_setup.uir", TRIGGERS);
    if (dialog <= 0) return 0;
    InsertListItem(dialog, TRIGGERS_CH1, -1, "Disabled", 0);
    InsertListItem(dialog, TRIGGERS_CH2, -1, "Disabled", 0);
    const int count = channels > 32 ? 32 : channels;
    for (int n = 1; n <= count; ++n) {
        if (!(VantrelChannelStatusBits & (1u << (n - 1)))) continue;
        char name[33];
        get_put_char(hdbc, 28, n, TAGS_READ, name);
        if (name[0] == '\0') continue;
        InsertListItem(dialog, TRIGGERS_CH1, -1, name, n);
        InsertListItem(dialog, TRIGGERS_CH2, -1, name, n);
    }
    SetCtrlVal(dialog, TRIGGERS_CH1, trig_ch);
    SetCtrlVal(dialog, TRIGGERS_CH2, trig_2_ch);
    SetCtrlVal(dialog, TRIGGERS_DELAY, delay);
    SetCtrlVal(dialog, TRIGGERS_WIDTH, minimum_trig_width);
    SetCtrlVal(dialog, TRIGGERS_MODE, trig_type);
    SetCtrlVal(dialog, TRIGGERS_PRECOAT, precoat_minimum);
    SetCtrlVal(dialog, TRIGGERS_LOG1, trig_log);
    SetCtrlVal(dialog, TRIGGERS_VAL1, trig_val);
    SetCtrlVal(dialog, TRIGGERS_LOG2, trig_2_log);
    SetCtrlVal(dialog, TRIGGERS_VAL2, trig_2_val);
    alter_trigger_info(dialog, -1, EVENT_VAL_CHANGED, nullptr, 0, 0);
    trigger_check(dialog, -1, EVENT_VAL_CHANGED, nullptr, 0, 0);
    InstallPopup(dialog);
    return 0;
}

int alter_trigger_info(int panel, int control, int event, void* data, int d1, int d2)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    if (control > 0) acquisition_value_changed(panel, control, event, data, d1, d2);
    int mode = 0;
    GetCtrlVal(panel, TRIGGERS_MODE, &mode);
    if (mode != 0 && mode != 1) return 0;
    SetCtrlVal(panel, TRIGGERS_HINT,
               mode == 0 ? "Use Data Delay to continue to collect data after a trigger becomes false."
                         : "Use Data Delay to continue to collect data after a trigger is detected.");
    for (int ctrl : {TRIGGERS_PRECOAT, TRIGGERS_PRECOAT_NOTE, TRIGGERS_PRECOAT_BOX, TRIGGERS_PRECOAT_TITLE})
        SetCtrlAttribute(panel, ctrl, ATTR_VISIBLE, mode == 0 ? 1 : 0);
    return 0;
}

int trigger_check(int panel, int control, int event, void* data, int d1, int d2)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    if (control > 0) acquisition_value_changed(panel, control, event, data, d1, d2);
    int first = 0;
    GetCtrlVal(panel, TRIGGERS_CH1, &first);
    if (first == 0) {
        SetCtrlVal(panel, TRIGGERS_CH2, 0);
        SetCtrlAttribute(panel, TRIGGERS_CH2, ATTR_DIMMED, 1);
    } else {
        SetCtrlAttribute(panel, TRIGGERS_CH2, ATTR_DIMMED, 0);
    }
    return 0;
}

int trigger_ok(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    if (!pending()) {
        DiscardMyPanel(&panel);
        return 0;
    }
    int new_delay = 0, width = 0;
    GetCtrlVal(panel, TRIGGERS_DELAY, &new_delay);
    GetCtrlVal(panel, TRIGGERS_WIDTH, &width);
    if (width > new_delay) {
        MessagePopup("Trigger Error", "The Minimum Trigger Width must be <= to the Trigger Delay.");
        return -1;
    }
    delay = new_delay;
    minimum_trig_width = width;
    short one = 0, two = 0;
    GetCtrlVal(panel, TRIGGERS_CH1, &one);
    GetCtrlVal(panel, TRIGGERS_CH2, &two);
    trigger = static_cast<short>((one != 0) + (two != 0));
    trig_ch = one;
    trig_2_ch = two;
    GetCtrlVal(panel, TRIGGERS_MODE, &trig_type);
    if (trig_type == 0) {
        GetCtrlVal(panel, TRIGGERS_PRECOAT, &precoat_minimum);
    } else {
        precoat_minimum = 1000000000;
        SetCtrlVal(panel, TRIGGERS_PRECOAT, precoat_minimum);
    }
    GetCtrlVal(panel, TRIGGERS_LOG1, &trig_log);
    GetCtrlVal(panel, TRIGGERS_VAL1, &trig_val);
    GetCtrlVal(panel, TRIGGERS_LOG2, &trig_2_log);
    GetCtrlVal(panel, TRIGGERS_VAL2, &trig_2_val);
    DiscardMyPanel(&panel);
    return 0;
}
