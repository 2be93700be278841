// Graphs and strip charts: plots, axes and scaling, strip-chart traces, graph cursors.
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/ui/graph_ops.h"
#include "platform/ui/model.h"
#include "platform/ui/notify.h"
#include "platform/ui/view.h"

using namespace vui;

namespace {

GraphData* graph_of(int panel, int ctrl, int& status, int style = 0)
{
    if (!find_panel(panel)) {
        status = UIE_BAD_HANDLE;
        return nullptr;
    }
    Control* c = find_ctrl(panel, ctrl);
    if (!c) {
        status = UIE_BAD_CTRL;
        return nullptr;
    }
    if (!c->graph || (style && c->style != style)) {
        status = UIE_NOT_ALLOWED;
        return nullptr;
    }
    status = 0;
    return c->graph.get();
}

bool read_array(const void* array, int n, int type, std::vector<double>& out)
{
    out.resize(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        double v = 0.0;
        switch (type) {
        case VAL_DOUBLE: v = static_cast<const double*>(array)[k]; break;
        case VAL_FLOAT: v = static_cast<const float*>(array)[k]; break;
        case VAL_INTEGER: v = static_cast<const int*>(array)[k]; break;
        case VAL_SHORT_INTEGER: v = static_cast<const short*>(array)[k]; break;
        case VAL_CHAR: v = static_cast<const signed char*>(array)[k]; break;
        case VAL_UNSIGNED_INTEGER: v = static_cast<const unsigned*>(array)[k]; break;
        case VAL_UNSIGNED_SHORT_INTEGER: v = static_cast<const unsigned short*>(array)[k]; break;
        case VAL_UNSIGNED_CHAR: v = static_cast<const unsigned char*>(array)[k]; break;
        default: return false;
        }
        out[static_cast<std::size_t>(k)] = v;
    }
    return true;
}

int add_plot(int panel, int ctrl, Plot plot)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    plot.handle = g->next_plot++;
    int h = plot.handle;
    g->plots.push_back(std::move(plot));
    notify_plot_added(panel, ctrl, h);
    notify_graph(panel, ctrl);
    return h;
}

Plot shape(Plot::Kind kind, std::vector<double> x, std::vector<double> y, int color)
{
    Plot p;
    p.kind = kind;
    p.x = std::move(x);
    p.y = std::move(y);
    p.attrs[ATTR_TRACE_COLOR] = Value::of(std::int64_t{color});
    return p;
}

Plot* find_plot(GraphData& g, int handle)
{
    for (auto& p : g.plots)
        if (p.handle == handle) return &p;
    return nullptr;
}

// Autoscaled ranges follow the data of the visible plots (or the strip chart's screen).
void effective_axes(const Control& c, Axis& x, Axis& y)
{
    const GraphData& g = *c.graph;
    x = g.xaxis;
    y = g.yaxis;
    double xmin = std::numeric_limits<double>::infinity(), xmax = -xmin, ymin = xmin, ymax = -xmin;
    if (c.style == CTRL_STRIP_CHART) {
        for (const auto& t : g.traces) {
            if (!t.visible) continue;
            for (double v : t.points) {
                ymin = std::min(ymin, v);
                ymax = std::max(ymax, v);
            }
        }
        if (x.mode == VAL_AUTOSCALE) {
            x.min = static_cast<double>(std::max<std::int64_t>(0, g.scans - g.points_per_screen));
            x.max = x.min + g.points_per_screen - 1;
        }
    } else {
        for (const auto& p : g.plots) {
            if (!p.visible()) continue;
            for (double v : p.x) {
                xmin = std::min(xmin, v);
                xmax = std::max(xmax, v);
            }
            for (double v : p.y) {
                ymin = std::min(ymin, v);
                ymax = std::max(ymax, v);
            }
        }
        if (x.mode == VAL_AUTOSCALE && xmin <= xmax) {
            x.min = xmin;
            x.max = xmax > xmin ? xmax : xmin + 1.0;
        }
    }
    if (y.mode == VAL_AUTOSCALE && ymin <= ymax) {
        y.min = ymin;
        y.max = ymax > ymin ? ymax : ymin + 1.0;
    }
}

// Snap: the nearest point of a visible XY plot, distances measured in axis units scaled to the ranges.
void snap(const Control& c, GraphCursor& cur)
{
    cur.plot = -1;
    cur.point = -1;
    if (cur.mode != VAL_SNAP_TO_POINT) return;
    Axis x, y;
    effective_axes(c, x, y);
    double sx = std::abs(x.max - x.min) > 0 ? std::abs(x.max - x.min) : 1.0;
    double sy = std::abs(y.max - y.min) > 0 ? std::abs(y.max - y.min) : 1.0;
    double best = std::numeric_limits<double>::infinity();
    for (const auto& p : c.graph->plots) {
        if (!p.visible() || p.kind != Plot::XY) continue;
        for (std::size_t k = 0; k < p.x.size(); ++k) {
            double dx = (p.x[k] - cur.x) / sx, dy = (p.y[k] - cur.y) / sy;
            double d = dx * dx + dy * dy;
            if (d < best) {
                best = d;
                cur.plot = p.handle;
                cur.point = static_cast<int>(k);
            }
        }
    }
    if (cur.plot > 0) {
        for (const auto& p : c.graph->plots) {
            if (p.handle != cur.plot) continue;
            cur.x = p.x[static_cast<std::size_t>(cur.point)];
            cur.y = p.y[static_cast<std::size_t>(cur.point)];
        }
    }
}

void resnap_all(Control& c)
{
    for (auto& cur : c.graph->cursors) snap(c, cur);
}

}  // namespace

namespace vui {

int move_graph_cursor(int panel, int ctrl, int cursor, double x, double y)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    if (cursor < 1 || cursor > static_cast<int>(g->cursors.size())) return UIE_BAD_INDEX;
    GraphCursor& cur = g->cursors[static_cast<std::size_t>(cursor - 1)];
    cur.x = x;
    cur.y = y;
    snap(*find_ctrl(panel, ctrl), cur);
    notify_graph(panel, ctrl);
    return 0;
}

int zoom_graph(int panel, int ctrl, double xmin, double xmax, double ymin, double ymax)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status);
    if (!g) return status;
    if (!(xmin < xmax) || !(ymin < ymax)) return UIE_OUT_OF_RANGE;
    g->xaxis = Axis{VAL_MANUAL, xmin, xmax};
    g->yaxis = Axis{VAL_MANUAL, ymin, ymax};
    notify_graph(panel, ctrl);
    return 0;
}

}  // namespace vui

int PlotXY(int panel, int ctrl, const void* xArray, const void* yArray, int numberOfPoints, int xDataType,
           int yDataType, int plotStyle, int pointStyle, int lineStyle, int /*pointFrequency*/, int color)
{
    if (numberOfPoints < 0 || (numberOfPoints > 0 && (!xArray || !yArray))) return UIE_BAD_INDEX;
    std::vector<double> x, y;
    if (!read_array(xArray, numberOfPoints, xDataType, x) || !read_array(yArray, numberOfPoints, yDataType, y))
        return UIE_BAD_TYPE;
    Plot p = shape(Plot::XY, std::move(x), std::move(y), color);
    p.attrs[ATTR_PLOT_STYLE] = Value::of(std::int64_t{plotStyle});
    p.attrs[ATTR_TRACE_POINT_STYLE] = Value::of(std::int64_t{pointStyle});
    p.attrs[ATTR_LINE_STYLE] = Value::of(std::int64_t{lineStyle});
    return add_plot(panel, ctrl, std::move(p));
}

int PlotY(int panel, int ctrl, const void* yArray, int numberOfPoints, int yDataType, int plotStyle, int pointStyle,
          int lineStyle, int pointFrequency, int color)
{
    if (numberOfPoints < 0 || (numberOfPoints > 0 && !yArray)) return UIE_BAD_INDEX;
    std::vector<double> x(static_cast<std::size_t>(numberOfPoints));
    for (int k = 0; k < numberOfPoints; ++k) x[static_cast<std::size_t>(k)] = k;
    return PlotXY(panel, ctrl, x.data(), yArray, numberOfPoints, VAL_DOUBLE, yDataType, plotStyle, pointStyle,
                  lineStyle, pointFrequency, color);
}

int PlotLine(int panel, int ctrl, double x1, double y1, double x2, double y2, int color)
{
    return add_plot(panel, ctrl, shape(Plot::Line, {x1, x2}, {y1, y2}, color));
}

int PlotPoint(int panel, int ctrl, double x, double y, int pointStyle, int color)
{
    Plot p = shape(Plot::Point, {x}, {y}, color);
    p.attrs[ATTR_TRACE_POINT_STYLE] = Value::of(std::int64_t{pointStyle});
    return add_plot(panel, ctrl, std::move(p));
}

int PlotOval(int panel, int ctrl, double x1, double y1, double x2, double y2, int color, int fillColor)
{
    Plot p = shape(Plot::Oval, {x1, x2}, {y1, y2}, color);
    p.attrs[-1] = Value::of(std::int64_t{fillColor});
    return add_plot(panel, ctrl, std::move(p));
}

int PlotRectangle(int panel, int ctrl, double x1, double y1, double x2, double y2, int color, int fillColor)
{
    Plot p = shape(Plot::Rectangle, {x1, x2}, {y1, y2}, color);
    p.attrs[-1] = Value::of(std::int64_t{fillColor});
    return add_plot(panel, ctrl, std::move(p));
}

int PlotText(int panel, int ctrl, double x, double y, const char* text, int color, int backgroundColor)
{
    Plot p = shape(Plot::Text, {x}, {y}, color);
    p.text = text ? text : "";
    p.attrs[-1] = Value::of(std::int64_t{backgroundColor});
    return add_plot(panel, ctrl, std::move(p));
}

int DeleteGraphPlot(int panel, int ctrl, int plotHandle, int refresh)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    if (plotHandle == -1) {
        g->plots.clear();
    } else {
        auto it = std::find_if(g->plots.begin(), g->plots.end(), [&](auto& p) { return p.handle == plotHandle; });
        if (it == g->plots.end()) return UIE_BAD_INDEX;
        g->plots.erase(it);
    }
    g->deferred_delete = refresh != VAL_IMMEDIATE_DRAW;
    resnap_all(*find_ctrl(panel, ctrl));
    notify_plots_deleted(panel, ctrl, plotHandle, refresh == VAL_IMMEDIATE_DRAW);
    notify_graph(panel, ctrl);
    return 0;
}

int RefreshGraph(int panel, int ctrl)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status);
    if (!g) return status;
    g->deferred_delete = false;
    notify_refresh(panel, ctrl);
    return 0;
}

int GetAxisRange(int panel, int ctrl, int* xMode, double* xMin, double* xMax, int* yMode, double* yMin, double* yMax)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status);
    if (!g) return status;
    Axis x, y;
    effective_axes(*find_ctrl(panel, ctrl), x, y);
    if (xMode) *xMode = x.mode;
    if (xMin) *xMin = x.min;
    if (xMax) *xMax = x.max;
    if (yMode) *yMode = y.mode;
    if (yMin) *yMin = y.min;
    if (yMax) *yMax = y.max;
    return 0;
}

int SetAxisRange(int panel, int ctrl, int xMode, double xMin, double xMax, int yMode, double yMin, double yMax)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status);
    if (!g) return status;
    if ((xMode == VAL_MANUAL && !(xMin < xMax)) || (yMode == VAL_MANUAL && !(yMin < yMax))) return UIE_OUT_OF_RANGE;
    if (xMode != VAL_NO_CHANGE) g->xaxis = Axis{xMode, xMode == VAL_MANUAL ? xMin : g->xaxis.min, xMode == VAL_MANUAL ? xMax : g->xaxis.max};
    if (yMode != VAL_NO_CHANGE) g->yaxis = Axis{yMode, yMode == VAL_MANUAL ? yMin : g->yaxis.min, yMode == VAL_MANUAL ? yMax : g->yaxis.max};
    notify_graph(panel, ctrl);
    return 0;
}

int SetAxisScalingMode(int panel, int ctrl, int axis, int mode, double min, double max)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status);
    if (!g) return status;
    if (axis != VAL_XAXIS && axis != VAL_LEFT_YAXIS) return UIE_BAD_INDEX;
    if (mode != VAL_MANUAL && mode != VAL_AUTOSCALE) return UIE_OUT_OF_RANGE;
    if (mode == VAL_MANUAL && !(min < max)) return UIE_OUT_OF_RANGE;
    Axis& a = axis == VAL_XAXIS ? g->xaxis : g->yaxis;
    a.mode = mode;
    if (mode == VAL_MANUAL) {
        a.min = min;
        a.max = max;
    }
    notify_graph(panel, ctrl);
    return 0;
}

int GetAxisScalingMode(int panel, int ctrl, int axis, int* mode, double* min, double* max)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status);
    if (!g) return status;
    if (axis != VAL_XAXIS && axis != VAL_LEFT_YAXIS) return UIE_BAD_INDEX;
    Axis x, y;
    effective_axes(*find_ctrl(panel, ctrl), x, y);
    const Axis& a = axis == VAL_XAXIS ? x : y;
    if (mode) *mode = a.mode;
    if (min) *min = a.min;
    if (max) *max = a.max;
    return 0;
}

namespace vui::detail {

int set_plot_attr(int panel, int ctrl, int plot, int attr, const Value& v)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    Plot* p = find_plot(*g, plot);
    if (!p) return UIE_BAD_INDEX;
    if (attr != ATTR_TRACE_COLOR && attr != ATTR_TRACE_VISIBLE && attr != ATTR_PLOT_STYLE &&
        attr != ATTR_TRACE_POINT_STYLE && attr != ATTR_LINE_STYLE)
        return UIE_BAD_ATTRIBUTE;
    if (!v.is_number()) return UIE_BAD_TYPE;
    p->attrs[attr] = Value::of(v.as_int());
    if (attr == ATTR_TRACE_VISIBLE) resnap_all(*find_ctrl(panel, ctrl));
    notify_plot_added(panel, ctrl, plot);
    return 0;
}

int get_plot_attr(int panel, int ctrl, int plot, int attr, Value& out)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    Plot* p = find_plot(*g, plot);
    if (!p) return UIE_BAD_INDEX;
    if (attr == ATTR_TRACE_VISIBLE) {
        out = Value::of(std::int64_t{p->visible()});
        return 0;
    }
    auto it = p->attrs.find(attr);
    if (it == p->attrs.end() || attr < 0) return UIE_BAD_ATTRIBUTE;
    out = it->second;
    return 0;
}

int set_trace_attr(int panel, int ctrl, int trace, int attr, const Value& v)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_STRIP_CHART);
    if (!g) return status;
    if (trace < 1 || trace > static_cast<int>(g->traces.size())) return UIE_BAD_INDEX;
    if (!v.is_number()) return UIE_BAD_TYPE;
    StripTrace& t = g->traces[static_cast<std::size_t>(trace - 1)];
    if (attr == ATTR_TRACE_COLOR)
        t.color = static_cast<int>(v.as_int());
    else if (attr == ATTR_TRACE_VISIBLE)
        t.visible = v.as_int() != 0;
    else
        return UIE_BAD_ATTRIBUTE;
    notify_graph(panel, ctrl);
    return 0;
}

int set_cursor_attr(int panel, int ctrl, int cursor, int attr, const Value& v)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    if (cursor < 1 || cursor > static_cast<int>(g->cursors.size())) return UIE_BAD_INDEX;
    if (!v.is_number()) return UIE_BAD_TYPE;
    GraphCursor& c = g->cursors[static_cast<std::size_t>(cursor - 1)];
    if (attr == ATTR_CURSOR_MODE) {
        c.mode = v.as_int() == VAL_SNAP_TO_POINT ? VAL_SNAP_TO_POINT : VAL_FREE_FORM;
        snap(*find_ctrl(panel, ctrl), c);
    } else if (attr == ATTR_CURSOR_COLOR) {
        c.color = static_cast<int>(v.as_int());
    } else {
        return UIE_BAD_ATTRIBUTE;
    }
    notify_graph(panel, ctrl);
    return 0;
}

int get_cursor_attr(int panel, int ctrl, int cursor, int attr, Value& out)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    if (cursor < 1 || cursor > static_cast<int>(g->cursors.size())) return UIE_BAD_INDEX;
    const GraphCursor& c = g->cursors[static_cast<std::size_t>(cursor - 1)];
    if (attr == ATTR_CURSOR_MODE)
        out = Value::of(std::int64_t{c.mode});
    else if (attr == ATTR_CURSOR_COLOR)
        out = Value::of(std::int64_t{c.color});
    else
        return UIE_BAD_ATTRIBUTE;
    return 0;
}

}  // namespace vui::detail

namespace {

// Each trace keeps its newest points-per-screen values. A block is taken trace by trace, and values that a
// later value of their own trace would push off the screen are never stored: a block of 32 channels at
// 10 kS/s is 320,000 values, and a value at a time through the deque cost more than all the rest of the
// acquisition's work on it.
void append_strip_values(GraphData& g, const StripAppend& block)
{
    const std::size_t traces = g.traces.size();
    const std::size_t keep = static_cast<std::size_t>(std::max(g.points_per_screen, 0));
    const std::size_t first_trace = static_cast<std::size_t>(g.next_trace);
    const std::size_t skipped = block.count > keep * traces ? block.count - keep * traces : 0;
    for (std::size_t j = 0; j < traces && skipped + j < block.count; ++j) {
        auto& pts = g.traces[(first_trace + skipped + j) % traces].points;
        const std::size_t from = skipped + j;
        const std::size_t added = (block.count - from + traces - 1) / traces;
        const std::size_t kept_old = std::min(pts.size(), keep > added ? keep - added : 0);
        if (kept_old == 0) {
            // The whole screen is new: the deque's blocks are written over, none freed or allocated.
            pts.resize(added);
            auto out = pts.begin();
            for (std::size_t k = from; k < block.count; k += traces) *out++ = block.at(k);
        } else {
            pts.erase(pts.begin(), pts.begin() + static_cast<std::ptrdiff_t>(pts.size() - kept_old));
            for (std::size_t k = from; k < block.count; k += traces) pts.push_back(block.at(k));
        }
        while (pts.size() > keep) pts.pop_front();
    }
    const std::size_t positions = first_trace + block.count;
    g.next_trace = static_cast<int>(positions % traces);
    g.scans += static_cast<std::int64_t>(positions / traces);
}

}  // namespace

int PlotStripChart(int panel, int ctrl, const void* array, int numberOfPoints, int startingIndex, int skipCount,
                   int dataType)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_STRIP_CHART);
    if (!g) return status;
    if (numberOfPoints < 0 || startingIndex < 0 || skipCount < 0 || (numberOfPoints > 0 && !array))
        return UIE_BAD_INDEX;
    std::int64_t span = numberOfPoints == 0 ? 0 : startingIndex + std::int64_t{numberOfPoints - 1} * (std::int64_t{skipCount} + 1) + 1;
    if (span > std::numeric_limits<int>::max()) return UIE_BAD_INDEX;
    // Doubles are read where they are: a block of 32 channels at 10 kS/s is 2.5 MB that a copy
    // would allocate, zero and fault in afresh each time.
    std::vector<double> converted;
    const double* raw = static_cast<const double*>(array);
    if (dataType != VAL_DOUBLE) {
        if (!read_array(array, static_cast<int>(span), dataType, converted)) return UIE_BAD_TYPE;
        raw = converted.data();
    }
    std::size_t traces = g->traces.size();
    StripAppend block;
    block.panel = panel;
    block.ctrl = ctrl;
    block.first_scan = g->scans;
    block.first_trace = g->next_trace;
    block.traces = static_cast<int>(traces);
    block.values = raw ? raw + startingIndex : nullptr;
    block.count = static_cast<std::size_t>(numberOfPoints);
    block.step = static_cast<std::size_t>(skipCount) + 1;
    if (traces > 0 && numberOfPoints > 0) append_strip_values(*g, block);
    // The view reads the values where they are: nothing is copied for it.
    if (numberOfPoints > 0 && strip_watched()) notify_strip_append(block);
    return 0;
}

int ClearStripChart(int panel, int ctrl)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_STRIP_CHART);
    if (!g) return status;
    for (auto& t : g->traces) t.points.clear();
    g->scans = 0;
    g->next_trace = 0;
    notify_strip_clear(panel, ctrl);
    return 0;
}

int SetGraphCursor(int panel, int ctrl, int cursor, double x, double y)
{
    return move_graph_cursor(panel, ctrl, cursor, x, y);
}

int GetGraphCursor(int panel, int ctrl, int cursor, double* x, double* y)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    if (cursor < 1 || cursor > static_cast<int>(g->cursors.size())) return UIE_BAD_INDEX;
    *x = g->cursors[static_cast<std::size_t>(cursor - 1)].x;
    *y = g->cursors[static_cast<std::size_t>(cursor - 1)].y;
    return 0;
}

int GetGraphCursorIndex(int panel, int ctrl, int cursor, int* plotHandle, int* pointIndex)
{
    int status = 0;
    GraphData* g = graph_of(panel, ctrl, status, CTRL_GRAPH);
    if (!g) return status;
    if (cursor < 1 || cursor > static_cast<int>(g->cursors.size())) return UIE_BAD_INDEX;
    *plotHandle = g->cursors[static_cast<std::size_t>(cursor - 1)].plot;
    *pointIndex = g->cursors[static_cast<std::size_t>(cursor - 1)].point;
    return 0;
}

int SetActiveGraphCursor(int panel, int ctrl, int cursor)
{
    return vui::detail::set_ctrl_attr(panel, ctrl, ATTR_ACTIVE_CURSOR, Value::of(std::int64_t{cursor}));
}
