// Topic numbers of the help file by panel constant name and, for limit dialogs, by title.
#include "core/help_topics.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "helpbridge/tarvex.h"
#include "panels/specs.h"
#include "platform/sys/files.h"
#include "platform/sys/launch.h"
#include "platform/ui/userint.h"

namespace {
struct Topic {
    const char* name;
    int topic;
};
const Topic kByPanel[] = {{"PANEL", 1000},   {"CHAN", 1001}, {"SUB", 1001},    {"MFC_SPEC", 1002},
                          {"PART2", 1004},   {"SPC", 1006},  {"REVIEW", 1007}, {"COMPARE", 1008},
                          {"TRIGGERS", 1009}};
const Topic kByTitle[] = {
    {"Timer Control Limits", 1004},
    {"Control Limits for the Mean", 1003},
    {"Control Limits for the Standard Deviation", 1003},
    {"Control Limits for the Minimum", 1003},
    {"Control Limits for the Maximum", 1003},
    {"Sigma Vector Control Limits (%)", 1005},
    {"Step Decay Limits (Time, in seconds, required to be reduced by 1/e)", 1002},
    {"Step Stabilty Time Control Limits (sec)", 1002},
    {"Step Overshoot Area Control Limits", 1002},
    {"Step Maximum Overshoot Control Limits", 1002},
    {"Step Minimum Undershoot Control Limits", 1002},
    {"Step Undershoot Area Control Limits", 1002},
};
}  // namespace

int help_topic(const char* constant_name, const char* title)
{
    if (std::strcmp(constant_name, "SPEC") == 0) {
        for (const Topic& t : kByTitle)
            if (std::strcmp(title, t.name) == 0) return t.topic;
        return 0;
    }
    for (const Topic& t : kByPanel)
        if (std::strcmp(constant_name, t.name) == 0) return t.topic;
    return 1000;
}

namespace {

// The help library opens the file with xchm on the desktop display, when there are both.
bool help_viewer_available()
{
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool display = (x && *x) || (wayland && *wayland);
    return display && vsys::find_executable("xchm").has_value();
}

}  // namespace

int help_bw(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    std::string path = vsys::project_dir();
    if (path.empty() || path.back() != '/') path += '/';
    path += "Vantrel.chm";
    std::string name, title;
    GetPanelAttribute(panel, ATTR_CONSTANT_NAME, &name);
    if (name == "SPEC") GetCtrlVal(panel, SPEC_TITLE, &title);
    int topic = help_topic(name.c_str(), title.c_str());
    if (topic == 0) return 0;
    if (!help_viewer_available()) {
        MessagePopup("Help", "No help viewer is available: the help file opens with xchm on a desktop display.");
        return 0;
    }
    std::vector<char> file(path.begin(), path.end());
    file.push_back('\0');
    callHtmlHelp(file.data(), topic);
    return 0;
}

int panel_help(int, int, void*, int, int) { return 0; }
