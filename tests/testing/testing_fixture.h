// Shared set-up of the trace-testing tests that need the database and the UI: chart catalogue and limit fakes.
#pragma once

#include <map>
#include <tuple>
#include <vector>

#include "core/schema.h"
#include "platform/ui/userint.h"
#include "testing/chart_identity.h"
#include "tests/core/core_fixture.h"
#include "tests/support/seams.h"

namespace ttest {

// A chart catalogue and limit table held in memory: activated charts with their
// rules mask and limits mode, and limit rows.
struct FakeCharts {
    struct Chart {
        int rules = 3;
        short limits_mode = 0;
        std::string trees;
        std::string popup;
    };
    std::map<std::tuple<int, int, int, int>, Chart> charts;
    std::map<std::tuple<int, int, int, int>, std::vector<double>> limits;  // (type, sub, channel, step)
    std::vector<std::string> calls;

    void install()
    {
        TestingSeams h = testing_seams();
        h.chart_preferences = [this](int op, short* ch, short* type, short* sub, short* idx, int* points, int*,
                                     int* rules, short* mode, char* trees, char* popup, int*) -> short {
            auto key = std::make_tuple(int{*ch}, int{*type}, int{*sub}, int{*idx});
            if (op == 5) {
                calls.push_back("deactivate " + std::to_string(*ch) + " " + std::to_string(*type));
                charts.erase(key);
                return 0;
            }
            auto it = charts.find(key);
            if (it == charts.end()) {
                if (rules) *rules = *type == 4 ? 1 : 3;
                if (mode) *mode = 1;
                if (trees) trees[0] = '\0';
                if (popup) popup[0] = '\0';
                return 0;
            }
            if (points) *points = 300;
            if (rules) *rules = it->second.rules;
            if (mode) *mode = it->second.limits_mode;
            if (trees) std::snprintf(trees, 105, "%s", it->second.trees.c_str());
            if (popup) std::snprintf(popup, 255, "%s", it->second.popup.c_str());
            return it->second.limits_mode == 0 ? 1 : 0;
        };
        h.step_specs = [this](short, short type, short sub, short ch, short step, double out[3]) -> short {
            auto it = limits.find({type, sub, ch, step});
            if (it == limits.end()) {
                out[0] = out[1] = out[2] = 0;
                return 0;
            }
            for (int i = 0; i < 3; ++i) out[i] = it->second[static_cast<std::size_t>(i)];
            return 1;
        };
        h.form_chart_title = [](char* title, int ch, int type, int sub, int idx) {
            std::snprintf(title, 80, "Chart %d/%d/%d/%d", ch, type, sub, idx);
        };
        provide_testing_seams(std::move(h));
    }
};

// Makes controls on a panel until the given id exists; returns it.
inline int make_ctrl(int panel, int style, int id)
{
    int c = 0;
    while (c < id) c = NewCtrl(panel, style, "", 10, 10);
    return c;
}

}  // namespace ttest
