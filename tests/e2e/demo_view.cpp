// The program the browser tests drive: the demo panel with recording callbacks, a running strip chart, the UI loop and the server.
//
// Every callback writes one line on stdout ("CALL name event", "VALUE ctrl v",
// "AXIS xmin xmax ymin ymax", "ANSWER n", "MENU_DATA n", "FILE status path") that the test reads.
// It quits by itself after --seconds S (default 60); --rate N sets the scans per second of the
// 32-trace chart (default 10000, the board's fastest).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/sys/atomic_file.h"
#include "platform/sys/launch.h"
#include "platform/sys/timing.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "platform/web/start.h"
#include "tests/fixtures/ui/demo_panel.h"

using namespace demo_panel;

namespace {

int g_panel = 0, g_bar = 0, g_load_strip = 0, g_dynamic_item = 0, g_charts = 0;
double g_quit_at = 60.0;
int g_scans_per_tick = 500;  // ticks come every 50 ms
std::int64_t g_scan = 0;

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

CtrlCallbackPtr recorder(const char* name)
{
    return [name](int panel, int ctrl, int event, void*, int, int) {
        say(std::string("CALL ") + name + " " + std::to_string(event));
        if (event == EVENT_COMMIT && std::string(name) == "demo_value") {
            double v = 0;
            GetCtrlVal(panel, ctrl, &v);
            say("VALUE " + std::to_string(ctrl) + " " + std::to_string(v));
        }
        if (event == EVENT_LEFT_CLICK && std::string(name) == "demo_graph") {
            int xm = 0, ym = 0;
            double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
            GetAxisRange(panel, ctrl, &xm, &x0, &x1, &ym, &y0, &y1);
            say("AXIS " + std::to_string(x0) + " " + std::to_string(x1) + " " + std::to_string(y0) + " " + std::to_string(y1));
        }
        if (event == EVENT_COMMIT && std::string(name) == "demo_long") {
            std::string path;
            std::string here = std::filesystem::current_path().string();
            int r = FileSelectPopup(here.c_str(), "*.txt", "*.txt", "Load report", VAL_LOAD_BUTTON, 0, 0, 1, 0, &path);
            say("FILE " + std::to_string(r) + " " + path);
        }
        if (event == EVENT_COMMIT && std::string(name) == "demo_ask")
            say("ANSWER " + std::to_string(ConfirmPopup("Ask", "Proceed with the next wafer?")));
        return 0;
    };
}

// Appends one tick's worth of scans of 32 traces on the load chart.
int tick(int panel, int ctrl, int event, void*, int, int)
{
    (void)ctrl;
    if (event != EVENT_TIMER_TICK) return 0;
    if (Timer() >= g_quit_at) QuitUserInterface(0);
    constexpr int kMaxScans = 5000, kTraces = 32;
    static double block[kMaxScans * kTraces];
    const int kScans = g_scans_per_tick;
    for (int s = 0; s < kScans; ++s)
        for (int t = 0; t < kTraces; ++t)
            block[s * kTraces + t] = t * 2.0 + std::sin(static_cast<double>(g_scan + s) * 0.002 * (1 + t % 5));
    PlotStripChart(panel, g_load_strip, block, kScans * kTraces, 0, 0, VAL_DOUBLE);
    static std::int64_t small = 0;
    double two[10];
    for (int s = 0; s < 5; ++s, ++small) {
        two[2 * s] = std::sin(static_cast<double>(small) * 0.2);
        two[2 * s + 1] = std::cos(static_cast<double>(small) * 0.2);
    }
    PlotStripChart(panel, DEMO_STRIP, two, 10, 0, 0, VAL_DOUBLE);
    g_scan += kScans;
    return 0;
}

void rebuilt_item(int, int, void* data, int) { say("MENU_DATA " + std::to_string(reinterpret_cast<std::intptr_t>(data))); }

void menu(int bar, int item, void*, int)
{
    say("CALL demo_menu " + std::to_string(item));
    if (item == MENUBAR_FILE_OPEN) {
        if (vsys::write_file_atomic("report.txt", "Wafer report\n")) vsys::launch_document("report.txt");
    }
    if (item == MENUBAR_FILE_SHOW_NOTICE) {
        // A window the program brings up by itself, over the main one, without making it the active one.
        static int notice = 0;
        if (notice <= 0) notice = LoadPanel(0, "demo.uir", WAIT);
        SetPanelAttribute(notice, ATTR_LEFT, 300);
        SetPanelAttribute(notice, ATTR_TOP, 150);
        DisplayPanel(notice);
    }
    if (item == MENUBAR_CHARTS_NEXT_CHART) {
        // The chart list is rebuilt at run time; each item carries its chart number as callback data.
        if (g_dynamic_item) DiscardMenuItem(bar, g_dynamic_item);
        ++g_charts;
        g_dynamic_item = NewMenuItem(bar, MENUBAR_CHARTS, ("Chart " + std::to_string(g_charts)).c_str(), -1, 0,
                                     rebuilt_item, reinterpret_cast<void*>(static_cast<std::intptr_t>(g_charts)));
    }
}

void place(int ctrl, int top, int left, int width, int height = 0)
{
    SetCtrlAttribute(g_panel, ctrl, ATTR_TOP, top);
    SetCtrlAttribute(g_panel, ctrl, ATTR_LEFT, left);
    SetCtrlAttribute(g_panel, ctrl, ATTR_WIDTH, width);
    if (height) SetCtrlAttribute(g_panel, ctrl, ATTR_HEIGHT, height);
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i)
    {
        if (std::string(argv[i]) == "--seconds") g_quit_at = std::atof(argv[i + 1]);
        if (std::string(argv[i]) == "--rate") g_scans_per_tick = std::clamp(std::atoi(argv[i + 1]) / 20, 1, 5000);
    }
    std::vector<vui::CallbackEntry> callbacks;
    for (const char* name : {"demo_value", "demo_list", "demo_long", "demo_graph", "demo_ask", "demo_ok"})
        callbacks.push_back({name, recorder(name)});
    callbacks.push_back({"demo_tick", CtrlCallbackPtr(tick)});
    callbacks.push_back({"demo_panel", PanelCallbackPtr([](int, int event, void*, int, int) {
                             say("CALL demo_panel " + std::to_string(event));
                             return 0;
                         })});
    callbacks.push_back({"demo_menu", MenuCallbackPtr(menu)});
    vui::register_callbacks(callbacks);

    g_panel = LoadPanel(0, "demo.uir", DEMO);
    if (g_panel <= 0) {
        std::fprintf(stderr, "%s\n", vui::last_load_error().c_str());
        return 1;
    }
    g_bar = LoadMenuBar(g_panel, "demo.uir", MENUBAR);
    SetPanelAttribute(g_panel, ATTR_WIDTH, 1000);
    SetPanelAttribute(g_panel, ATTR_HEIGHT, 560);
    SetPanelAttribute(g_panel, ATTR_LEFT, 10);
    SetPanelAttribute(g_panel, ATTR_TOP, 10);
    place(DEMO_VALUE, 22, 10, 90);
    place(DEMO_NAME, 22, 120, 120);
    place(DEMO_RATE, 22, 260, 100);
    place(DEMO_RUN, 20, 380, 70, 26);
    place(DEMO_ASK, 20, 470, 70, 26);
    place(DEMO_LONG, 20, 560, 70, 26);
    place(DEMO_RATIO, 22, 650, 90);
    place(DEMO_CHANNELS, 60, 10, 220, 110);
    place(DEMO_NOTES, 190, 10, 220, 90);
    place(DEMO_GRAPH, 60, 250, 520, 220);
    place(DEMO_STRIP, 300, 10, 360, 220);
    g_load_strip = NewCtrl(g_panel, CTRL_STRIP_CHART, "Load", 300, 380);
    SetCtrlAttribute(g_panel, g_load_strip, ATTR_NUM_TRACES, 32);
    SetCtrlAttribute(g_panel, g_load_strip, ATTR_POINTS_PER_SCREEN, 10000);
    place(g_load_strip, 300, 380, 600, 220);
    SetCtrlAttribute(g_panel, DEMO_CLOCK, ATTR_INTERVAL, 0.05);
    static const int palette[] = {0xFF4040, 0x40FF40, 0x4080FF, 0xFFFF40, 0xFF40FF, 0x40FFFF, 0xFFA040, 0xFFFFFF};
    for (int t = 1; t <= 32; ++t) SetTraceAttribute(g_panel, g_load_strip, t, ATTR_TRACE_COLOR, palette[(t - 1) % 8]);
    SetTraceAttribute(g_panel, DEMO_STRIP, 2, ATTR_TRACE_COLOR, 0x40FFFF);

    double x[200], y[200];
    for (int k = 0; k < 200; ++k) {
        x[k] = k * 0.5;
        y[k] = std::sin(k * 0.05) * 10.0;
    }
    PlotXY(g_panel, DEMO_GRAPH, x, y, 200, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, 0x00FF00);
    SetCtrlAttribute(g_panel, DEMO_GRAPH, ATTR_NUM_CURSORS, 2);
    SetCursorAttribute(g_panel, DEMO_GRAPH, 1, ATTR_CURSOR_MODE, VAL_SNAP_TO_POINT);
    SetGraphCursor(g_panel, DEMO_GRAPH, 1, 20.0, 0.0);
    SetGraphCursor(g_panel, DEMO_GRAPH, 2, 70.0, 0.0);
    DisplayPanel(g_panel);
    // A child window inside the main panel, as the main windows are.
    int child = LoadPanel(g_panel, "demo.uir", DIALOG);
    SetPanelAttribute(child, ATTR_LEFT, 785);
    SetPanelAttribute(child, ATTR_TOP, 60);
    DisplayPanel(child);

    auto server = vweb::start_from_command_line(argc, argv);
    if (!server) return 1;
    int rc = RunUserInterface();
    server.reset();
    DiscardPanel(g_panel);
    return rc;
}
