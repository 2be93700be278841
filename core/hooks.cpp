// The hook table and the visible report of a hook that is not there yet.
#include "core/hooks.h"

#include <cstdio>
#include <set>

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

CoreHooks& core_hooks()
{
    static CoreHooks hooks;
    return hooks;
}

void report_missing_hook(const char* name)
{
    if (!reported().insert(name).second) return;
    reported_text() += std::string(name) + " ";
    std::fprintf(stderr, "Vantrel: %s is not built yet; this step is skipped.\n", name);
}

const std::string& missing_hooks_reported() { return reported_text(); }
void reset_missing_hooks()
{
    reported().clear();
    reported_text().clear();
}
