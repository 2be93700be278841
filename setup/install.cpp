// The setup subsystem's callback table.
#include "setup/install.h"

#include "setup/channel_instructions.h"
#include "setup/channel_setup.h"
#include "setup/export_file.h"
#include "setup/limit_dialogs.h"
#include "setup/por_trace.h"
#include "setup/run_copy.h"
#include "setup/run_deletion.h"
#include "setup/run_selection.h"
#include "setup/setup_files.h"
#include "setup/timer_editor.h"

std::vector<vui::CallbackEntry> setup_callbacks()
{
    return {
        {"save_read", MenuCallbackPtr(save_read)},
        {"display_channel_setup", MenuCallbackPtr(display_channel_setup)},
        {"get_channel_setup", CtrlCallbackPtr(get_channel_setup)},
        {"cancel_channel_setup", CtrlCallbackPtr(cancel_channel_setup)},
        {"new_por", CtrlCallbackPtr(new_por)},
        {"pick_por", MenuCallbackPtr(pick_por)},
        {"get_run_info", CtrlCallbackPtr(get_run_info)},
        {"cancel_replay", CtrlCallbackPtr(cancel_replay)},
        {"select_channels", CtrlCallbackPtr(select_channels)},
        {"channel_ok", CtrlCallbackPtr(channel_ok)},
        {"delete_old", MenuCallbackPtr(delete_old)},
        {"delete_old_ok", CtrlCallbackPtr(delete_old_ok)},
        {"delete_ok", CtrlCallbackPtr(delete_ok)},
        {"pack_db", MenuCallbackPtr(pack_db)},
        {"display_specs", MenuCallbackPtr(display_specs)},
        {"save_specs", CtrlCallbackPtr(save_specs)},
        {"save_step_setpoint_specs", CtrlCallbackPtr(save_step_setpoint_specs)},
        {"timer_setup_part2", MenuCallbackPtr(timer_setup_part2)},
        {"select_timer", CtrlCallbackPtr(select_timer)},
        {"timer_add", CtrlCallbackPtr(timer_add)},
        {"timer_delete", CtrlCallbackPtr(static_cast<int (*)(int, int, int, void*, int, int)>(timer_delete))},
        {"exit_timer_setup", CtrlCallbackPtr(exit_timer_setup)},
        {"close_timer_panel", PanelCallbackPtr(close_timer_panel)},
        {"timer_altered", CtrlCallbackPtr(timer_altered)},
        {"update_timer_chart", CtrlCallbackPtr(update_timer_chart)},
        {"update_timer_start", CtrlCallbackPtr(update_timer_start)},
        {"update_timer_end", CtrlCallbackPtr(update_timer_end)},
        {"setup_instructions", CtrlCallbackPtr(setup_instructions)},
        {"instructions_ok", CtrlCallbackPtr(instructions_ok)},
        {"network_upload", MenuCallbackPtr(network_upload)},
        {"upload_ok", CtrlCallbackPtr(upload_ok)},
    };
}

void install_setup() { vui::register_callbacks(setup_callbacks()); }
