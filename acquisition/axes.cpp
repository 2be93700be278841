// Axis rounding, the shared Y range, the axis dialog, the legend with its width, and trace colours and names.
#include "acquisition/axes.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "acquisition/daq_loop.h"
#include "acquisition/run_model.h"
#include "core/config_store.h"
#include "core/globals.h"
#include "core/ini_file.h"
#include "core/panel_framework.h"
#include "core/text_utils.h"
#include "panels/s_chart.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"

std::uint8_t view_preference = 0;

namespace {

bool near(double a, double b) { return std::fabs(a - b) <= 0.01; }

struct Candidate {
    int index = 12;
    double error = 1e6;
    double lo = 0, hi = 10;
    int n = 10;
};

int label_length(double min, double max, int divisions, int precision)
{
    const double s = (max - min) / divisions;
    int total = 0;
    for (int i = 0; i <= divisions; ++i)
        total += static_cast<int>(vsys::strprintf("%.*lf", precision, min + s * i).size());
    return total;
}

int rate_code() { return sample_rate_index == 0 ? 1 : sample_rate_index; }
int scans() { return sample_rate < 1 ? 1 : sample_rate; }

// Width of the strip chart in seconds from its points per screen.
int width_seconds()
{
    return rate_code() > 0 ? sc_points / scans() : sc_points * std::abs(rate_code());
}

int points_for(double width)
{
    return rate_code() > 0 ? static_cast<int>(width * scans()) : static_cast<int>(width) / std::abs(rate_code());
}

}  // namespace

void auto_axis(double* min, double* max, int* divisions, int* precision)
{
    struct Fixed {
        double lo, hi;
        int n;
    };
    for (const Fixed& f : {Fixed {-21, 21, 21}, Fixed {-11, 11, 22}, Fixed {-1, 11, 12}}) {
        if (near(*min, f.lo) && near(*max, f.hi)) {
            *min = f.lo;
            *max = f.hi;
            *divisions = f.n;
            *precision = 1;
            return;
        }
    }
    if (*max - *min < 1e-9) {
        *min = *min - 1;
        *max = *min + 1;
        *divisions = 10;
        *precision = 1;
        return;
    }
    static const double kMantissa[12] = {10, 5, 2, 4, 3, 2.5, 6, 8, 9, 7.5, 7, 1.5};
    double scale = 1;
    int index = 0, counter = 1;
    bool went_down = false, went_up = false;
    Candidate exact, nearest;
    while (!(went_down && went_up) && scale > 1e-9 && scale < 1e9) {
        const double step = scale * kMantissa[index];
        const double r = (*max - *min) / step;
        const int k = round_to_int(r);
        double lo, hi;
        double n;
        if (std::fabs(r - k) < 1e-9) {
            lo = *min;
            hi = *max;
            n = k;
        } else {
            double mlo = round_to_int(*min / step), mhi = round_to_int(*max / step);
            if (*max - mhi * step > 1e-9) mhi += 1;
            if (*min - mlo * step < -1e-9) mlo -= 1;
            lo = mlo * step;
            hi = mhi * step;
            n = mhi - mlo;
        }
        if (n >= 8 && n <= 20) {
            const double error = std::fabs(*min - lo) + std::fabs(*max - hi);
            if (index < exact.index && error < 1e-9) exact = {index, error, lo, hi, static_cast<int>(n)};
            if (error - nearest.error < 1e-9 && index < nearest.index) nearest = {index, error, lo, hi, static_cast<int>(n)};
            if (index == 0) {
                went_down = went_up = true;
                --counter;
            }
        }
        if (++index == 12) {
            index = 0;
            if (n < 10) {
                scale *= 0.1;
                went_down = true;
                ++counter;
            } else {
                scale *= 10;
                went_up = true;
                --counter;
            }
        }
    }
    int p = counter < 0 ? 0 : counter;
    const Candidate& best = exact.index < 12 ? exact : nearest;
    double lo = best.lo, hi = best.hi;
    int n = best.n;
    // Labels that would crowd the axis: fewer decimals first, then fewer divisions.
    while (label_length(lo, hi, n, p) > 60) {
        if (p > 0) {
            --p;
        } else if (n % 2 == 0 && n >= 2) {
            n /= 2;
        } else if (n % 2 == 1 && n > 2) {
            const double s = (hi - lo) / n;
            n = (n + 1) / 2;
            hi += s;
        } else {
            break;
        }
    }
    *min = lo;
    *max = hi;
    *divisions = n;
    *precision = p;
}

void SetStripChartY(double min, double max, char store)
{
    int divisions = 10, precision = 1;
    auto_axis(&min, &max, &divisions, &precision);
    for (int ctrl : {SCHART_PLAYBACK, SCHART_STRIP}) {
        SetAxisScalingMode(sc_handle, ctrl, VAL_LEFT_YAXIS, VAL_MANUAL, min, max);
        SetCtrlAttribute(sc_handle, ctrl, ATTR_YDIVISIONS, divisions);
        SetCtrlAttribute(sc_handle, ctrl, ATTR_YPRECISION, precision);
    }
    if (store) {
        get_put_number(0, 0, NUMBER_T_WRITE, min);
        get_put_number(1, 0, NUMBER_T_WRITE, max);
    }
}

int aok(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || sc_handle <= 0) return 0;
    int x_mode = 0, x_grid = 1, y_grid = 1;
    if (panel > 0) {
        double ymax = 0, ymin = 0;
        GetCtrlVal(panel, AXES_YMAX, &ymax);
        GetCtrlVal(panel, AXES_YMIN, &ymin);
        if (ymax - ymin < 1e-9) {
            MessagePopup("Y Axis Error", "The maximum must be greater than the minimum.");
            return 1;
        }
        GetCtrlVal(panel, AXES_XGRID, &x_grid);
        GetCtrlVal(panel, AXES_YGRID, &y_grid);
        get_put_number(2, 0, NUMBER_T_WRITE, x_grid);
        get_put_number(3, 0, NUMBER_T_WRITE, y_grid);
        int strip_visible = 0;
        GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_VISIBLE, &strip_visible);
        if (strip_visible) {
            SetStripChartY(ymin, ymax, 1);
            int width = 30;
            GetCtrlVal(panel, AXES_WIDTH, &width);
            sc_points = points_for(width);
            get_put_number(10, 0, NUMBER_T_WRITE, width);
            x_mode = 0;
        } else {
            SetStripChartY(ymin, ymax, 0);
            GetCtrlVal(panel, AXES_XMODE, &x_mode);
        }
        if (x_mode == 1) {
            SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_XAXIS, VAL_AUTOSCALE, 0, 0);
        } else if (x_mode == 2) {
            double xmax = 0, xmin = 0;
            GetCtrlVal(panel, AXES_XMAX, &xmax);
            GetCtrlVal(panel, AXES_XMIN, &xmin);
            if (xmin >= xmax) {
                MessagePopup("X Axis Error", "The maximum must be greater than the minimum.");
                return 1;
            }
            int n = 10, p = 1;
            auto_axis(&xmin, &xmax, &n, &p);
            SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_XAXIS, VAL_MANUAL, xmin, xmax);
            SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_XDIVISIONS, n);
            SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_XPRECISION, p);
        }
    } else {
        double ymin = get_put_number(0, 0, NUMBER_T_READ, -11.0);
        double ymax = get_put_number(1, 0, NUMBER_T_READ, 11.0);
        if (ymin >= ymax) {
            ymin = -11;
            ymax = 11;
        }
        SetStripChartY(ymin, ymax, 1);
        x_grid = round_to_int(get_put_number(2, 0, NUMBER_T_READ, 1.0));
        y_grid = round_to_int(get_put_number(3, 0, NUMBER_T_READ, 1.0));
        sc_points = points_for(round_to_int(get_put_number(10, 0, NUMBER_T_READ, 30.0)));
        x_mode = 0;
    }
    for (int ctrl : {SCHART_PLAYBACK, SCHART_STRIP}) {
        SetCtrlAttribute(sc_handle, ctrl, ATTR_XGRID_VISIBLE, x_grid);
        SetCtrlAttribute(sc_handle, ctrl, ATTR_YGRID_VISIBLE, y_grid);
        SetCtrlAttribute(sc_handle, ctrl, ATTR_GRID_COLOR, 0xC0C0C0);
    }
    if (x_mode == 0) {
        double lo = 0, hi = width_seconds();
        int n = 10, p = 1;
        auto_axis(&lo, &hi, &n, &p);
        sc_points = points_for(hi);
        if (sc_points < 2) sc_points = 2;
        if (SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_POINTS_PER_SCREEN, sc_points) == UIE_OUT_OF_RANGE) {
            if (panel > 0)
                MessagePopup("Strip Chart Error",
                             vsys::strprintf("The maximum points per screen has been exceeded on the strip chart.  "
                                             "Display width will be reset to %d",
                                             10000 / scans())
                                 .c_str());
            sc_points = 10000;
            n = 10;
            SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_POINTS_PER_SCREEN, sc_points);
        }
        SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_XDIVISIONS, n);
        SetCtrlVal(sc_handle, SCHART_X_END, vsys::strprintf("%i", width_seconds()).c_str());
        SetCtrlVal(sc_handle, SCHART_X_START, "0");
    }
    if (panel > 0 && control != AXES_APPLY) DiscardMyPanel(&panel);
    return 0;
}

int display_axes(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || sc_handle <= 0) return 0;
    int dialog = LoadPanel(0, "s_chart.uir", AXES);
    if (dialog <= 0) return 0;
    int xm = 0, ym = 0, x_grid = 1, y_grid = 1;
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    int playback = 0;
    GetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_VISIBLE, &playback);
    const int graph = playback ? SCHART_PLAYBACK : SCHART_STRIP;
    GetAxisRange(sc_handle, graph, &xm, &xmin, &xmax, &ym, &ymin, &ymax);
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_XGRID_VISIBLE, &x_grid);
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_YGRID_VISIBLE, &y_grid);
    SetCtrlVal(dialog, AXES_YMAX, ymax);
    SetCtrlVal(dialog, AXES_YMIN, ymin);
    if (playback) {
        SetCtrlVal(dialog, AXES_XMAX, xmax);
        SetCtrlVal(dialog, AXES_XMIN, xmin);
        for (int ctrl : {AXES_WIDTH_NOTE, AXES_WIDTH_LABEL, AXES_WIDTH})
            SetCtrlAttribute(dialog, ctrl, ATTR_VISIBLE, 0);
        const bool manual = xm == VAL_MANUAL;
        SetCtrlVal(dialog, AXES_XMODE, manual ? 2 : 1);
        SetCtrlAttribute(dialog, AXES_XMAX, ATTR_VISIBLE, manual ? 1 : 0);
        SetCtrlAttribute(dialog, AXES_XMIN, ATTR_VISIBLE, manual ? 1 : 0);
    } else {
        SetCtrlAttribute(dialog, AXES_WIDTH, ATTR_MAX_VALUE, rate_code() > 0 ? 10000 / rate_code() : 1000);
        SetCtrlVal(dialog, AXES_WIDTH, width_seconds());
        SetCtrlAttribute(dialog, AXES_XMODE, ATTR_VISIBLE, 0);
        SetCtrlAttribute(dialog, AXES_WIDTH, ATTR_VISIBLE, 1);
        SetCtrlAttribute(dialog, AXES_XMAX, ATTR_VISIBLE, 0);
        SetCtrlAttribute(dialog, AXES_XMIN, ATTR_VISIBLE, 0);
    }
    SetCtrlVal(dialog, AXES_XGRID, x_grid);
    SetCtrlVal(dialog, AXES_YGRID, y_grid);
    InstallPopup(dialog);
    return 0;
}

int change_x_type(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    int mode = 0;
    GetCtrlVal(panel, AXES_XMODE, &mode);
    if (mode == 1) {
        SetCtrlAttribute(panel, AXES_XMAX, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, AXES_XMIN, ATTR_VISIBLE, 0);
    } else if (mode == 2) {
        SetCtrlAttribute(panel, AXES_XMAX, ATTR_VISIBLE, 1);
        SetCtrlAttribute(panel, AXES_XMIN, ATTR_VISIBLE, 1);
        SetCtrlVal(panel, AXES_XMIN, 0.0);
        SetCtrlVal(panel, AXES_XMAX, 30.0);
    }
    return 0;
}

void names(int mode, int, int, int)
{
    if (sc_handle <= 0) return;
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_XLABEL_VISIBLE, 1);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_YLABEL_VISIBLE, 1);
    double ymin = get_put_number(0, 0, NUMBER_T_READ, -11.0);
    double ymax = get_put_number(1, 0, NUMBER_T_READ, 11.0);
    if (ymin >= ymax) {
        ymin = -11;
        ymax = 11;
    }
    SetAxisScalingMode(sc_handle, SCHART_PLAYBACK, VAL_LEFT_YAXIS, VAL_MANUAL, ymin, ymax);
    const bool playback = mode == -2;
    SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_VISIBLE, playback ? 0 : 1);
    SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_VISIBLE, playback ? 1 : 0);
    SetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_VISIBLE, playback ? 0 : 1);
    if (!playback) SetCtrlAttribute(sc_handle, SCHART_CURSORS, ATTR_VISIBLE, 0);
    view_preference = 0;
    if (wafer_file_open()) {
        SetCtrlAttribute(sc_handle, SCHART_TRACE_ID, ATTR_VISIBLE, 1);
        SetCtrlAttribute(sc_handle, SCHART_WAFER, ATTR_VISIBLE, 1);
        SetCtrlAttribute(sc_handle, SCHART_PLAY_RUN, ATTR_VISIBLE, 0);
        SetCtrlAttribute(sc_handle, SCHART_PLAY_WAFER, ATTR_VISIBLE, 0);
    } else if (legend_panel > 0) {
        SetCtrlAttribute(legend_panel, LEGEND_CHANNELS, ATTR_VISIBLE, 1);
        SetCtrlAttribute(legend_panel, LEGEND_SHOWN, ATTR_VISIBLE, 0);
        ClearListCtrl(legend_panel, LEGEND_CHANNELS);
        int enabled = 0;
        const int count = channels > 32 ? 32 : channels;
        for (int ch = 1; ch <= count; ++ch)
            if (VantrelChannelStatusBits & (1u << (ch - 1))) ++enabled;
        if (enabled > 0) SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_NUM_TRACES, enabled);
        int k = 0;
        for (int ch = 1; ch <= count; ++ch) {
            if (!(VantrelChannelStatusBits & (1u << (ch - 1)))) continue;
            ++k;
            const int colour = round_to_int(get_put_number(4, static_cast<short>(ch), NUMBER_T_READ,
                                                           get_default_color(static_cast<short>(ch))));
            char name[33];
            get_put_char(hdbc, 28, ch, TAGS_READ, name);
            InsertListItem(legend_panel, LEGEND_CHANNELS, -1, vsys::strprintf("\033fg%.6X%s", colour & 0xFFFFFF, name).c_str(), ch);
            const int trace = enabled - k + 1;
            SetTraceAttribute(sc_handle, SCHART_STRIP, trace, ATTR_TRACE_VISIBLE, 1);
            SetTraceAttribute(sc_handle, SCHART_STRIP, trace, ATTR_TRACE_COLOR, colour & 0xFFFFFF);
        }
        int lines = 0;
        GetNumListItems(legend_panel, LEGEND_CHANNELS, &lines);
        SetCtrlAttribute(legend_panel, LEGEND_CHANNELS, ATTR_VISIBLE_LINES, lines < 1 ? 1 : lines);
        int height = 0;
        GetCtrlAttribute(legend_panel, LEGEND_CHANNELS, ATTR_HEIGHT, &height);
        if (height > 0) SetPanelAttribute(legend_panel, ATTR_HEIGHT, height);
    }
    char system[33], process[33];
    get_put_char(hdbc, 0, 0, CONFIG_READ, system);
    get_put_char(hdbc, 1, recipe_num, CONFIG_READ, process);
    if (parent_panel > 0)
        SetPanelAttribute(parent_panel, ATTR_TITLE, vsys::strprintf("System=%s, %s", system, process).c_str());
}

namespace {

int clamp_width(int width, int panel_width)
{
    if (width < 20) width = 20;
    if (width > panel_width - 200) width = panel_width - 200;
    return width;
}

// The clock stays readable left of the legend column, however wide the legend is made.
void keep_clock_left_of(int legend_left)
{
    for (int ctrl : {SCHART_CLOCK_TIME, SCHART_CLOCK_DATE}) {
        int left = 0, width = 0;
        GetCtrlAttribute(sc_handle, ctrl, ATTR_LEFT, &left);
        GetCtrlAttribute(sc_handle, ctrl, ATTR_WIDTH, &width);
        const int room = legend_left - 10 - width;
        if (left > room) SetCtrlAttribute(sc_handle, ctrl, ATTR_LEFT, room > 0 ? room : 0);
    }
}

void place_beside_legend(int panel_width, int width)
{
    SetPanelAttribute(legend_panel, ATTR_LEFT, panel_width - width - 10);
    keep_clock_left_of(panel_width - width - 10);
    // The graphs end left of the legend (their own left edge counted): the legend covered the newest points.
    for (int graph : {SCHART_STRIP, SCHART_PLAYBACK}) {
        int left = 0;
        GetCtrlAttribute(sc_handle, graph, ATTR_LEFT, &left);
        const int room = panel_width - width - 10 - 5 - left;
        SetCtrlAttribute(sc_handle, graph, ATTR_WIDTH, room > 1 ? room : 1);
    }
    int label = 0;
    GetCtrlAttribute(sc_handle, SCHART_X_END, ATTR_WIDTH, &label);
    SetCtrlAttribute(sc_handle, SCHART_X_END, ATTR_LEFT, panel_width - width - label - 20);
}

}  // namespace

int resize_legend(int, int event, void*, int d1, int)
{
    if (event != EVENT_PANEL_SIZE || legend_panel <= 0 || sc_handle <= 0) return 0;
    int checked = 1;
    if (GetMenuBarAttribute(handle_menu, MENUBAR_VIEW_LEGEND, ATTR_CHECKED, &checked) >= 0 && !checked) return 0;
    int top15 = 0, height15 = 0, top24 = 0, panel_width = 0;
    GetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_TOP, &top15);
    GetCtrlAttribute(sc_handle, SCHART_STATUS, ATTR_HEIGHT, &height15);
    GetCtrlAttribute(sc_handle, SCHART_X_END, ATTR_TOP, &top24);
    GetPanelAttribute(sc_handle, ATTR_WIDTH, &panel_width);
    const int top = top15 + height15 + 3;
    SetPanelAttribute(legend_panel, ATTR_TOP, top);
    SetPanelAttribute(legend_panel, ATTR_HEIGHT, top24 - top - 3 > 1 ? top24 - top - 3 : 1);
    int width = 100;
    if (d1 == 1) {
        char value[kIniValueSize];
        read_rite_ini("VANTREL.INI", 0, "[VANTREL]", "LEGEND_WIDTH", value);
        if (static_cast<unsigned char>(value[0]) != kIniMissing) width = std::atoi(value);
        width = clamp_width(width, panel_width);
        SetPanelAttribute(legend_panel, ATTR_WIDTH, width);
        read_rite_ini("VANTREL.INI", 0, "[VANTREL]", "LEGEND_VISIBLE", value);
        if (static_cast<unsigned char>(value[0]) != kIniMissing && std::atoi(value) == 0) {
            SetMenuBarAttribute(handle_menu, MENUBAR_VIEW_LEGEND, ATTR_CHECKED, 1);
            toggle_legend(handle_menu, MENUBAR_VIEW_LEGEND, nullptr, sc_handle);
            SetPanelAttribute(legend_panel, ATTR_LEFT, panel_width - width - 10);
            return 0;
        }
    } else {
        GetPanelAttribute(legend_panel, ATTR_WIDTH, &width);
        const int clamped = clamp_width(width, panel_width);
        if (clamped != width) SetPanelAttribute(legend_panel, ATTR_WIDTH, clamped);
        width = clamped;
    }
    place_beside_legend(panel_width, width);
    int legend_height = 0;
    GetPanelAttribute(legend_panel, ATTR_HEIGHT, &legend_height);
    for (int list : {LEGEND_SHOWN, LEGEND_CHANNELS}) {
        SetCtrlAttribute(legend_panel, list, ATTR_WIDTH, width + 10);
        SetCtrlAttribute(legend_panel, list, ATTR_HEIGHT, legend_height + 10);
    }
    if (d1 == 1) DisplayPanel(legend_panel);
    return 0;
}

void toggle_legend(int menuBar, int item, void*, int)
{
    int checked = 0;
    GetMenuBarAttribute(menuBar, item, ATTR_CHECKED, &checked);
    checked = !checked;
    SetMenuBarAttribute(menuBar, item, ATTR_CHECKED, checked);
    if (sc_handle <= 0 || legend_panel <= 0) return;
    int panel_width = 0, label = 0;
    GetPanelAttribute(sc_handle, ATTR_WIDTH, &panel_width);
    if (!checked) {
        HidePanel(legend_panel);
        SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_WIDTH, panel_width - 5);
        SetCtrlAttribute(sc_handle, SCHART_PLAYBACK, ATTR_WIDTH, panel_width - 5);
        GetCtrlAttribute(sc_handle, SCHART_X_END, ATTR_WIDTH, &label);
        SetCtrlAttribute(sc_handle, SCHART_X_END, ATTR_LEFT, panel_width - label - 20);
    } else {
        DisplayPanel(legend_panel);
        resize_legend(legend_panel, EVENT_PANEL_SIZE, nullptr, 0, 0);
    }
}

int hide_realtime(int, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT && realtime_panel > 0) HidePanel(realtime_panel);
    return 0;
}
