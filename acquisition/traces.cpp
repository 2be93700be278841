// Trace visibility: the check list of channels, the legend list of the shown ones, and the plots they govern.
#include "acquisition/traces.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "core/config_store.h"
#include "core/wait_panel.h"
#include "panels/playback.h"
#include "panels/s_chart.h"
#include "platform/sys/timing.h"
#include "platform/ui/userint.h"

namespace {

bool visible(int panel, int ctrl)
{
    int v = 0;
    GetCtrlAttribute(panel, ctrl, ATTR_VISIBLE, &v);
    return v != 0;
}

}  // namespace

int display_toggle(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || sc_handle <= 0 || legend_panel <= 0) return 0;
    int running = 0;
    GetCtrlVal(sc_handle, SCHART_START, &running);
    if (!running && visible(sc_handle, SCHART_STRIP)) {
        MessagePopup("Hide/Display Trace Error",
                     "This feature only affects strip charts when new data is being collected.  Playback existing "
                     "data with auto or manual scale if you would like to Hide/Display traces.");
        return 0;
    }
    const int dialog = LoadPanel(0, "playback.uir", TRACES);
    if (dialog <= 0) return 0;
    InsertListItem(dialog, TRACES_CHANNELS, -1, "All", 0);
    const bool subset = visible(legend_panel, LEGEND_SHOWN);
    int mask = subset ? 0 : -1;
    if (!subset) CheckListItem(dialog, TRACES_CHANNELS, 0, 1);
    int count = 0;
    GetNumListItems(legend_panel, LEGEND_CHANNELS, &count);
    for (int i = 0; i < count; ++i) {
        std::string label;
        int value = 0;
        GetLabelFromIndex(legend_panel, LEGEND_CHANNELS, i, &label);
        GetValueFromIndex(legend_panel, LEGEND_CHANNELS, i, &value);
        InsertListItem(dialog, TRACES_CHANNELS, -1, label.c_str(), value);
        int shown = -1;
        if (subset && GetIndexFromValue(legend_panel, LEGEND_SHOWN, &shown, value) >= 0 && shown >= 0) {
            CheckListItem(dialog, TRACES_CHANNELS, i + 1, 1);
            if (i < 32) mask |= 1 << i;
        }
    }
    SetCtrlVal(dialog, TRACES_MASK, mask);
    InstallPopup(dialog);
    return 0;
}

void view_hide_trace(int panel)
{
    if (sc_handle <= 0 || legend_panel <= 0) return;
    int all = 0;
    IsListItemChecked(panel, TRACES_CHANNELS, 0, &all);
    std::array<bool, 33> shown {};
    shown.fill(all != 0);
    if (all) {
        SetCtrlAttribute(legend_panel, LEGEND_CHANNELS, ATTR_VISIBLE, 1);
        SetCtrlAttribute(legend_panel, LEGEND_SHOWN, ATTR_VISIBLE, 0);
    } else {
        int count = 0;
        GetNumListItems(panel, TRACES_CHANNELS, &count);
        std::array<std::string, 33> labels;
        for (int i = 1; i < count; ++i) {
            int ch = 0, checked = 0;
            GetValueFromIndex(panel, TRACES_CHANNELS, i, &ch);
            IsListItemChecked(panel, TRACES_CHANNELS, i, &checked);
            if (ch < 1 || ch > 32) continue;
            shown[ch] = checked != 0;
            GetLabelFromIndex(panel, TRACES_CHANNELS, i, &labels[ch]);
        }
        ClearListCtrl(legend_panel, LEGEND_SHOWN);
        for (int ch = 1; ch <= 32; ++ch)
            if (shown[ch]) InsertListItem(legend_panel, LEGEND_SHOWN, -1, labels[ch].c_str(), ch);
        SetCtrlAttribute(legend_panel, LEGEND_CHANNELS, ATTR_VISIBLE, 0);
        SetCtrlAttribute(legend_panel, LEGEND_SHOWN, ATTR_VISIBLE, 1);
    }
    if (visible(sc_handle, SCHART_STRIP)) {
        int enabled = 0;
        const int n = channels > 32 ? 32 : channels;
        for (int ch = 1; ch <= n; ++ch)
            if (VantrelChannelStatusBits & (1u << (ch - 1))) ++enabled;
        int k = 0;
        for (int ch = 1; ch <= n; ++ch) {
            if (!(VantrelChannelStatusBits & (1u << (ch - 1)))) continue;
            ++k;
            SetTraceAttribute(sc_handle, SCHART_STRIP, enabled - k + 1, ATTR_TRACE_VISIBLE, shown[ch] ? 1 : 0);
        }
    }
    if (visible(sc_handle, SCHART_PLAYBACK) && GraphInfoEntries > 0 && !GraphInfo.empty()) {
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_REFRESH_GRAPH, 0);
        WaitPanel wait("Toggling trace attribute...");
        double reference = Timer();
        const std::size_t records = std::min(GraphInfo.size(), static_cast<std::size_t>(GraphInfoEntries));
        for (std::size_t r = 0; r < records; ++r) {
            const GraphRecord& g = GraphInfo[r];
            if (all)
                SetPlotAttribute(sc_handle, SCHART_PLAYBACK, g.plot, ATTR_TRACE_VISIBLE, 1);
            else if (g.channel >= 1 && g.channel <= 32)
                SetPlotAttribute(sc_handle, SCHART_PLAYBACK, g.plot, ATTR_TRACE_VISIBLE, shown[g.channel] ? 1 : 0);
            if ((r + 1) % 100 == 0) {
                double elapsed = Timer() - reference;
                if (elapsed > 1.0) {
                    reference = Timer();
                    elapsed = 0.0;
                }
                wait.progress(elapsed);
                // Cancel is read only after the events waiting for us have been let through.
                if (wait.cancelled()) break;
            }
        }
        wait.progress(1.0);
        RefreshGraph(sc_handle, SCHART_PLAYBACK);
    }
}

int toggle_trace(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    view_hide_trace(panel);
    DiscardMyPanel(&panel);
    return 0;
}

int cancel_toggle(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int mask = 0, count = 0;
    GetCtrlVal(panel, TRACES_MASK, &mask);
    GetNumListItems(panel, TRACES_CHANNELS, &count);
    for (int k = 1; k < count; ++k) CheckListItem(panel, TRACES_CHANNELS, k, k <= 32 && (mask & (1 << (k - 1))) ? 1 : 0);
    CheckListItem(panel, TRACES_CHANNELS, 0, mask == -1 ? 1 : 0);
    view_hide_trace(panel);
    DiscardMyPanel(&panel);
    return 0;
}
