// Graphs and strip charts: blocks appended across traces, points per screen, plots, axes, cursors, zoom.
#include <set>

#include "platform/sys/process.h"
#include "tests/ui/demo_fixture.h"

namespace uitest {
namespace {

using GraphTest = DemoTest;

TEST_F(GraphTest, StripChartReceivesInterleavedBlocks)
{
    int p = load_demo();
    // Ten scans of two traces, as one acquisition block.
    std::vector<short> block;
    for (short k = 0; k < 10; ++k) {
        block.push_back(k);
        block.push_back(static_cast<short>(100 + k));
    }
    ASSERT_EQ(PlotStripChart(p, DEMO_STRIP, block.data(), 20, 0, 0, VAL_SHORT_INTEGER), 0);
    EXPECT_EQ(ui.trace(p, DEMO_STRIP, 1), (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(ui.trace(p, DEMO_STRIP, 2).back(), 109);
    // A block ending mid-scan goes on with the next trace in the next call.
    double odd[3] = {10, 110, 11};
    PlotStripChart(p, DEMO_STRIP, odd, 3, 0, 0, VAL_DOUBLE);
    double rest[1] = {111};
    PlotStripChart(p, DEMO_STRIP, rest, 1, 0, 0, VAL_DOUBLE);
    EXPECT_EQ(ui.trace(p, DEMO_STRIP, 1).back(), 11);
    EXPECT_EQ(ui.trace(p, DEMO_STRIP, 2).back(), 111);
    // Start index and skip count pick values out of a wider array.
    int wide[6] = {-1, 12, -1, 112, -1, -1};
    PlotStripChart(p, DEMO_STRIP, wide, 2, 1, 1, VAL_INTEGER);
    EXPECT_EQ(ui.trace(p, DEMO_STRIP, 1).back(), 12);
    EXPECT_EQ(ui.trace(p, DEMO_STRIP, 2).back(), 112);
    // Only a screen's worth is kept.
    std::vector<double> many(200, 1.0);
    PlotStripChart(p, DEMO_STRIP, many.data(), 200, 0, 0, VAL_DOUBLE);
    EXPECT_EQ(ui.trace(p, DEMO_STRIP, 1).size(), 50u);
    double xmin = 0, xmax = 0;
    GetAxisRange(p, DEMO_STRIP, nullptr, &xmin, &xmax, nullptr, nullptr, nullptr);
    EXPECT_EQ(xmax - xmin, 49);
    EXPECT_EQ(xmax, 112);  // 113 scans so far, numbered from 0
    ClearStripChart(p, DEMO_STRIP);
    EXPECT_TRUE(ui.trace(p, DEMO_STRIP, 1).empty());
    EXPECT_EQ(PlotStripChart(p, DEMO_STRIP, many.data(), 2, 0, 0, 77), UIE_BAD_TYPE);
    EXPECT_EQ(PlotStripChart(p, DEMO_GRAPH, many.data(), 2, 0, 0, VAL_DOUBLE), UIE_NOT_ALLOWED);
}

// Blocks shorter than a scan, ending mid-scan, exactly a screen, and longer than a screen, one after another:
// each trace always holds the newest points-per-screen values it was given, whatever the block sizes.
TEST_F(GraphTest, EachTraceKeepsItsNewestScreenWhateverTheBlockSizes)
{
    int p = load_demo();
    constexpr int kTraces = 3;
    constexpr int kScreen = 7;
    ASSERT_EQ(SetCtrlAttribute(p, DEMO_STRIP, ATTR_NUM_TRACES, kTraces), 0);
    ASSERT_EQ(SetCtrlAttribute(p, DEMO_STRIP, ATTR_POINTS_PER_SCREEN, kScreen), 0);
    struct Block {
        const char* label;
        int values;
        int skip;
    };
    const Block blocks[] = {
        {"one value", 1, 0},           {"rest of the scan and a bit", 4, 0}, {"exactly a screen", kTraces * kScreen, 0},
        {"a screen and one", kTraces * kScreen + 1, 0}, {"two values", 2, 0}, {"several screens", 5 * kTraces * kScreen + 2, 0},
        {"every other value", 10, 1}, {"a screen less one", kTraces * kScreen - 1, 0},
    };
    std::vector<std::vector<double>> given(kTraces);
    int next_trace = 0;
    double counter = 0;
    for (const Block& b : blocks) {
        SCOPED_TRACE(b.label);
        std::vector<double> array(static_cast<std::size_t>(b.values * (b.skip + 1)), -1.0);
        for (int k = 0; k < b.values; ++k) {
            array[static_cast<std::size_t>(k * (b.skip + 1))] = ++counter;
            given[static_cast<std::size_t>(next_trace)].push_back(counter);
            next_trace = (next_trace + 1) % kTraces;
        }
        ASSERT_EQ(PlotStripChart(p, DEMO_STRIP, array.data(), b.values, 0, b.skip, VAL_DOUBLE), 0);
        for (int t = 0; t < kTraces; ++t) {
            const auto& all = given[static_cast<std::size_t>(t)];
            const auto first = all.size() > kScreen ? all.end() - kScreen : all.begin();
            EXPECT_EQ(ui.trace(p, DEMO_STRIP, t + 1), std::vector<double>(first, all.end())) << "trace " << t + 1;
        }
    }
    // The scans counted go on across the blocks: the next value lands on the trace after the last one.
    double next = ++counter;
    ASSERT_EQ(PlotStripChart(p, DEMO_STRIP, &next, 1, 0, 0, VAL_DOUBLE), 0);
    EXPECT_EQ(ui.trace(p, DEMO_STRIP, next_trace + 1).back(), next);
}

TEST_F(GraphTest, PointsPerScreenAndTraces)
{
    int p = load_demo();
    EXPECT_EQ(SetCtrlAttribute(p, DEMO_STRIP, ATTR_POINTS_PER_SCREEN, 10001), UIE_OUT_OF_RANGE);
    EXPECT_EQ(SetCtrlAttribute(p, DEMO_STRIP, ATTR_POINTS_PER_SCREEN, 1), UIE_OUT_OF_RANGE);
    EXPECT_EQ(SetCtrlAttribute(p, DEMO_STRIP, ATTR_POINTS_PER_SCREEN, 10000), 0);
    EXPECT_EQ(ui.attribute(p, DEMO_STRIP, ATTR_POINTS_PER_SCREEN), 10000);
    ASSERT_EQ(SetCtrlAttribute(p, DEMO_STRIP, ATTR_NUM_TRACES, 4), 0);
    EXPECT_EQ(SetTraceAttribute(p, DEMO_STRIP, 4, ATTR_TRACE_COLOR, 0x00FF00), 0);
    EXPECT_EQ(SetTraceAttribute(p, DEMO_STRIP, 4, ATTR_TRACE_VISIBLE, 0), 0);
    EXPECT_FALSE(vui::find_ctrl(p, DEMO_STRIP)->graph->traces[3].visible);
    EXPECT_EQ(SetTraceAttribute(p, DEMO_STRIP, 5, ATTR_TRACE_COLOR, 0), UIE_BAD_INDEX);
    EXPECT_EQ(SetCtrlAttribute(p, DEMO_STRIP, ATTR_NUM_TRACES, 65), UIE_OUT_OF_RANGE);
    SetCtrlAttribute(p, DEMO_STRIP, ATTR_PLOT_BGCOLOR, 0xFFFF00);
    EXPECT_EQ(ui.attribute(p, DEMO_STRIP, ATTR_PLOT_BGCOLOR), 0xFFFF00);
}

TEST_F(GraphTest, PlotsAxesAndDeletion)
{
    int p = load_demo();
    double x[3] = {1, 2, 3}, y[3] = {-5, 0, 15};
    int a = PlotXY(p, DEMO_GRAPH, x, y, 3, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, 0xFF0000);
    float fy[4] = {1, 2, 3, 4};
    int b = PlotY(p, DEMO_GRAPH, fy, 4, VAL_FLOAT, VAL_SCATTER, 12, 0, 1, 0x00FF00);
    int line = PlotLine(p, DEMO_GRAPH, -10, 0, -9, 1, 0x0000FF);
    int oval = PlotOval(p, DEMO_GRAPH, -9, 1, -11, -1, 0xFF0000, VAL_TRANSPARENT);
    int text = PlotText(p, DEMO_GRAPH, 0, 0, "# 3", 0, VAL_TRANSPARENT);
    ASSERT_GT(a, 0);
    EXPECT_EQ(std::set<int>({a, b, line, oval, text}).size(), 5u);
    auto plots = ui.plots(p, DEMO_GRAPH);
    ASSERT_EQ(plots.size(), 5u);
    EXPECT_EQ(plots[1].x, (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(plots[4].text, "# 3");
    // Autoscale spans every visible plot.
    int ymode = -1;
    double xmin, xmax, ymin, ymax;
    GetAxisRange(p, DEMO_GRAPH, nullptr, &xmin, &xmax, &ymode, &ymin, &ymax);
    EXPECT_EQ(ymode, VAL_AUTOSCALE);
    EXPECT_EQ(xmin, -11);
    EXPECT_EQ(ymax, 15);
    SetPlotAttribute(p, DEMO_GRAPH, a, ATTR_TRACE_VISIBLE, 0);
    GetAxisRange(p, DEMO_GRAPH, nullptr, &xmin, &xmax, nullptr, &ymin, &ymax);
    EXPECT_EQ(ymax, 4);
    int color = 0;
    GetPlotAttribute(p, DEMO_GRAPH, b, ATTR_TRACE_COLOR, &color);
    EXPECT_EQ(color, 0x00FF00);
    // Manual ranges hold; an empty range is refused.
    EXPECT_EQ(SetAxisScalingMode(p, DEMO_GRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, -11, 11), 0);
    EXPECT_EQ(SetAxisScalingMode(p, DEMO_GRAPH, VAL_XAXIS, VAL_MANUAL, 5, 5), UIE_OUT_OF_RANGE);
    int mode = -1;
    GetAxisScalingMode(p, DEMO_GRAPH, VAL_LEFT_YAXIS, &mode, &ymin, &ymax);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(ymin, -11);
    SetAxisRange(p, DEMO_GRAPH, VAL_MANUAL, 0, 30, VAL_NO_CHANGE, 0, 0);
    GetAxisRange(p, DEMO_GRAPH, nullptr, &xmin, &xmax, nullptr, &ymin, &ymax);
    EXPECT_EQ(xmax, 30);
    EXPECT_EQ(ymax, 11);
    EXPECT_EQ(DeleteGraphPlot(p, DEMO_GRAPH, b, VAL_IMMEDIATE_DRAW), 0);
    EXPECT_EQ(DeleteGraphPlot(p, DEMO_GRAPH, b, VAL_IMMEDIATE_DRAW), UIE_BAD_INDEX);
    EXPECT_EQ(ui.plots(p, DEMO_GRAPH).size(), 4u);
    EXPECT_EQ(DeleteGraphPlot(p, DEMO_GRAPH, -1, VAL_DELAYED_DRAW), 0);
    EXPECT_TRUE(ui.plots(p, DEMO_GRAPH).empty());
    EXPECT_EQ(RefreshGraph(p, DEMO_GRAPH), 0);
    // Plot handles are not reused, so a stale handle never names a new plot.
    EXPECT_GT(PlotPoint(p, DEMO_GRAPH, 1, 1, 9, 0), text);
}

TEST_F(GraphTest, TwoCursorsInSnapMode)
{
    int p = load_demo();
    double x[5] = {0, 1, 2, 3, 4}, y1[5] = {0, 10, 20, 30, 40}, y2[5] = {40, 30, 20, 10, 0};
    int a = PlotXY(p, DEMO_GRAPH, x, y1, 5, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, 0xFF0000);
    int b = PlotXY(p, DEMO_GRAPH, x, y2, 5, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, 0x00FF00);
    ASSERT_EQ(SetCtrlAttribute(p, DEMO_GRAPH, ATTR_NUM_CURSORS, 2), 0);
    SetCursorAttribute(p, DEMO_GRAPH, 1, ATTR_CURSOR_MODE, VAL_SNAP_TO_POINT);
    SetCursorAttribute(p, DEMO_GRAPH, 2, ATTR_CURSOR_MODE, VAL_SNAP_TO_POINT);
    SetCursorAttribute(p, DEMO_GRAPH, 2, ATTR_CURSOR_COLOR, 0x00FF00);
    SetActiveGraphCursor(p, DEMO_GRAPH, 2);
    EXPECT_EQ(ui.attribute(p, DEMO_GRAPH, ATTR_ACTIVE_CURSOR), 2);
    ASSERT_EQ(SetGraphCursor(p, DEMO_GRAPH, 1, 1.1, 11), 0);
    double cx = 0, cy = 0;
    GetGraphCursor(p, DEMO_GRAPH, 1, &cx, &cy);
    EXPECT_EQ(cx, 1);
    EXPECT_EQ(cy, 10);
    int plot = 0, point = 0;
    GetGraphCursorIndex(p, DEMO_GRAPH, 1, &plot, &point);
    EXPECT_EQ(plot, a);
    EXPECT_EQ(point, 1);
    // The user drags cursor 2; the graph's callback hears a value change.
    EXPECT_TRUE(ui.move_cursor(p, DEMO_GRAPH, 2, 3.2, 9));
    EXPECT_EQ(h.calls.back(), "demo_graph:2");
    GetGraphCursorIndex(p, DEMO_GRAPH, 2, &plot, &point);
    EXPECT_EQ(plot, b);
    EXPECT_EQ(point, 3);
    // Hiding the plot under a cursor moves it to the nearest visible point.
    SetPlotAttribute(p, DEMO_GRAPH, b, ATTR_TRACE_VISIBLE, 0);
    GetGraphCursorIndex(p, DEMO_GRAPH, 2, &plot, &point);
    EXPECT_EQ(plot, a);
    // Free mode stays where it is put, on no plot.
    SetCursorAttribute(p, DEMO_GRAPH, 1, ATTR_CURSOR_MODE, VAL_FREE_FORM);
    SetGraphCursor(p, DEMO_GRAPH, 1, 2.5, 7.5);
    GetGraphCursor(p, DEMO_GRAPH, 1, &cx, &cy);
    EXPECT_EQ(cx, 2.5);
    GetGraphCursorIndex(p, DEMO_GRAPH, 1, &plot, &point);
    EXPECT_EQ(plot, -1);
    EXPECT_EQ(point, -1);
    int mode = -1;
    GetCursorAttribute(p, DEMO_GRAPH, 1, ATTR_CURSOR_MODE, &mode);
    EXPECT_EQ(mode, VAL_FREE_FORM);
    EXPECT_EQ(SetGraphCursor(p, DEMO_GRAPH, 3, 0, 0), UIE_BAD_INDEX);
    SetCtrlAttribute(p, DEMO_GRAPH, ATTR_NUM_CURSORS, 0);
    EXPECT_EQ(ui.attribute(p, DEMO_GRAPH, ATTR_NUM_CURSORS), 0);
}

TEST_F(GraphTest, ZoomByTheGraphItselfReachesTheCallbackAfterTheZoom)
{
    int p = load_demo();
    double x[2] = {0, 10}, y[2] = {0, 10};
    PlotXY(p, DEMO_GRAPH, x, y, 2, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, 0);
    double seen_xmin = -1, seen_xmax = -1;
    bool ctrl_held = false;
    h.graph = [&](int panel, int ctrl, int event, void*) {
        if (event == EVENT_LEFT_CLICK) {
            GetAxisRange(panel, ctrl, nullptr, &seen_xmin, &seen_xmax, nullptr, nullptr, nullptr);
            ctrl_held = vsys::ctrl_key_down();
        }
        return 0;
    };
    EXPECT_TRUE(ui.zoom(p, DEMO_GRAPH, 2.5, 7.5, 1, 4));
    EXPECT_EQ(seen_xmin, 2.5);
    EXPECT_EQ(seen_xmax, 7.5);
    EXPECT_TRUE(ctrl_held);
    int xmode = -1;
    double ymin = 0, ymax = 0;
    GetAxisRange(p, DEMO_GRAPH, &xmode, nullptr, nullptr, nullptr, &ymin, &ymax);
    EXPECT_EQ(xmode, VAL_MANUAL);
    EXPECT_EQ(ymax, 4);
    EXPECT_FALSE(ui.zoom(p, DEMO_GRAPH, 5, 5, 1, 4));
}

}  // namespace
}  // namespace uitest
