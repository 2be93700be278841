// Shared set-up of the UI tests: the demo panel file, its callbacks by name, the driver and the simulated clock.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sys/files.h"
#include "platform/ui/headless.h"
#include "platform/ui/userint.h"
#include "tests/fixtures/ui/demo_panel.h"
#include "tests/support/temp_dir.h"

namespace uitest {

using namespace demo_panel;

// What the demo callbacks do in one test; each records its calls.
struct Hooks {
    std::vector<std::string> calls;  // "name:event" per call
    std::function<int(int panel, int ctrl, int event, void* data)> value, list, long_op, graph, tick, ask, ok;
    std::function<int(int panel, int event)> panel;
    std::function<void(int bar, int item, void* data, int panel)> menu;
};

inline Hooks*& hooks()
{
    static Hooks* h = nullptr;
    return h;
}

inline CtrlCallbackPtr forward(const char* name, std::function<int(int, int, int, void*)> Hooks::*member)
{
    return [name, member](int panel, int ctrl, int event, void* data, int, int) {
        Hooks* h = hooks();
        h->calls.push_back(std::string(name) + ":" + std::to_string(event));
        return (h->*member) ? (h->*member)(panel, ctrl, event, data) : 0;
    };
}

inline void register_demo_callbacks()
{
    vui::clear_callback_registry();
    vui::register_callbacks({
        {"demo_value", forward("demo_value", &Hooks::value)},
        {"demo_list", forward("demo_list", &Hooks::list)},
        {"demo_long", forward("demo_long", &Hooks::long_op)},
        {"demo_graph", forward("demo_graph", &Hooks::graph)},
        {"demo_tick", forward("demo_tick", &Hooks::tick)},
        {"demo_ask", forward("demo_ask", &Hooks::ask)},
        {"demo_ok", forward("demo_ok", &Hooks::ok)},
        {"demo_panel", PanelCallbackPtr([](int panel, int event, void*, int, int) {
             Hooks* h = hooks();
             h->calls.push_back("demo_panel:" + std::to_string(event));
             return h->panel ? h->panel(panel, event) : 0;
         })},
        {"demo_menu", MenuCallbackPtr([](int bar, int item, void* data, int panel) {
             Hooks* h = hooks();
             h->calls.push_back("demo_menu:" + std::to_string(item));
             if (h->menu) h->menu(bar, item, data, panel);
         })},
    });
}

class DemoTest : public ::testing::Test {
protected:
    DemoTest()
    {
        hooks() = &h;
        register_demo_callbacks();
        vsys::set_project_dir_override(UI_FIXTURE_DIR);
    }
    ~DemoTest() override
    {
        vsys::set_project_dir_override("");
        vui::clear_callback_registry();
        hooks() = nullptr;
    }
    int load_demo()
    {
        int p = LoadPanel(0, "demo.uir", DEMO);
        EXPECT_GT(p, 0) << vui::last_load_error();
        DisplayPanel(p);
        return p;
    }
    int count(const std::string& call) const
    {
        int n = 0;
        for (const auto& c : h.calls) n += c == call;
        return n;
    }

    vtest::SimulatedClock clock;
    Hooks h;
    vui::Headless ui;
};

}  // namespace uitest
