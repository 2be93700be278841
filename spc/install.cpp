// The SPC subsystem's callbacks by name, and the seams it is given.
#include "spc/install.h"

#include "spc/chart_list.h"
#include "spc/chart_window.h"
#include "spc/compare_confidence.h"
#include "spc/compare_results.h"
#include "spc/compare_setpoints.h"
#include "spc/compare_window.h"
#include "spc/rule_dialogs.h"
#include "spc/spc_seams.h"

std::vector<vui::CallbackEntry> spc_callbacks()
{
    return {
        {"show_chart", MenuCallbackPtr(show_chart)},
        {"wafers_in_chart", CtrlCallbackPtr(wafers_in_chart)},
        {"new_chart", CtrlCallbackPtr(new_chart)},
        {"toggle_natural", CtrlCallbackPtr(toggle_natural)},
        {"toggle_spec", CtrlCallbackPtr(toggle_spec)},
        {"exclude_defects", CtrlCallbackPtr(exclude_defects)},
        {"move_cursor", CtrlCallbackPtr(move_cursor)},
        {"snap_cursor", CtrlCallbackPtr(snap_cursor)},
        {"put_com", CtrlCallbackPtr(put_com)},
        {"discard_chart", CtrlCallbackPtr(discard_chart)},
        {"compare_batches", CtrlCallbackPtr(compare_batches)},
        {"stop_compare", CtrlCallbackPtr(stop_compare)},
        {"select_test_batches", CtrlCallbackPtr(select_test_batches)},
        {"select_por_batches", CtrlCallbackPtr(select_por_batches)},
        {"perform_comparison", CtrlCallbackPtr(perform_comparison)},
        {"display_confidence", CtrlCallbackPtr(display_confidence)},
        {"confidence_ok", CtrlCallbackPtr(confidence_ok)},
        {"text_print_save", MenuCallbackPtr(text_print_save)},
        {"MenuCompare", MenuCallbackPtr(MenuCompare)},
        {"display_mfc", MenuCallbackPtr(display_mfc)},
        {"display_mfc_spec", CtrlCallbackPtr(display_mfc_spec)},
        {"mfc_summary", CtrlCallbackPtr(mfc_summary)},
        {"select_rules", CtrlCallbackPtr(select_rules)},
        {"adjust_spec", CtrlCallbackPtr(adjust_spec)},
        {"set_spec_limits", CtrlCallbackPtr(set_spec_limits)},
        {"custom_slots", CtrlCallbackPtr(custom_slots)},
        {"change_process", CtrlCallbackPtr(change_process)},
        {"toggle_check", CtrlCallbackPtr(toggle_check)},
        {"double_click", CtrlCallbackPtr(double_click)},
        {"get_active_charts", CtrlCallbackPtr(get_active_charts)},
    };
}

void install_spc() { vui::register_callbacks(spc_callbacks()); }

namespace {
SpcSeams& given_seams()
{
    static SpcSeams seams;
    return seams;
}
}  // namespace

void provide_spc_seams(SpcSeams seams) { given_seams() = std::move(seams); }
const SpcSeams& spc_seams() { return given_seams(); }
