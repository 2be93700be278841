// Seams to the subsystems built after core: each later subsystem fills its hook at start; tests fill them with fakes.
#pragma once

#include <functional>
#include <string>

// A hook left unset is never silently skipped: calling it says on stderr (once
// per hook) that the part behind it is not built yet, and the call does nothing.
struct CoreHooks {
    // Main window (built by the main-window subsystem).
    std::function<int()> sc_main;
    std::function<void(int, int, int, int)> names;
    std::function<void()> update_menu;
    // Window-menu manager and alarm review (trace-testing subsystem).
    std::function<int(int menuBar, int item, void* data, int panel)> spc_sc_toggle;
    std::function<int(int panel, int control, int event, void* data, int d1, int d2)> show_errors;
    // Process setup and run administration.
    std::function<void(int force)> saveAllAndExport;
    std::function<int(const char* name, const char* directory, char overwrite, char byName)> ExportRecipe;
    std::function<int(int target, int newRun, short keep, int waitPanel)> network_stuff;
    std::function<int(const char* source, const char* destination, short* count)> multi_copy;
    std::function<int(int target)> insert_recipe_into_file_map;
};

CoreHooks& core_hooks();

// Reports (once per name) that a hook is missing; returns false so callers can write
// `if (!hook_ready(h.names, "names")) return;`.
void report_missing_hook(const char* name);
template <typename F>
bool hook_ready(const F& hook, const char* name)
{
    if (hook) return true;
    report_missing_hook(name);
    return false;
}
// Names of the hooks reported missing so far (for tests and diagnostics).
const std::string& missing_hooks_reported();
void reset_missing_hooks();
