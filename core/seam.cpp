// The reports of a missing seam or part: a popup for the user, or one stderr line where there is no user to tell.
#include "core/seam.h"

#include <cctype>
#include <cstdio>
#include <set>

#include "platform/ui/userint.h"

namespace {
std::set<std::string>& reported()
{
    static std::set<std::string> names;
    return names;
}
std::string& reported_text()
{
    static std::string text;
    return text;
}
}  // namespace

void report_missing_seam(const char* name)
{
    if (!reported().insert(name).second) return;
    reported_text() += std::string(name) + " ";
    std::fprintf(stderr, "Vantrel: %s is not built yet; this step is skipped.\n", name);
}

void show_missing_tasks(const std::vector<std::string>& tasks)
{
    std::string text;
    for (std::size_t i = 0; i < tasks.size(); ++i)
        text += (i == 0 ? "" : i + 1 == tasks.size() ? " and " : ", ") + tasks[i];
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    text += tasks.size() > 1 ? " are" : " is";
    text += " not part of this program yet; the operation was stopped.";
    MessagePopup("Not Available", text.c_str());
}

void show_missing_part(const std::string& part)
{
    std::string text = part;
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    text += " is not part of this program yet.";
    MessagePopup("Not Available", text.c_str());
}

const std::string& missing_seams_reported() { return reported_text(); }

void reset_missing_seams()
{
    reported().clear();
    reported_text().clear();
}
