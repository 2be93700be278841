// What core calls above itself: the legend and menus of the main window, the Window menu, alarm review, chart list, setup files and run copies.
#pragma once

#include "core/seam.h"

struct CoreSeams {
    // Main window: redraw of the legend, rebuild of the chart menus.
    Seam<void(int, int, int, int)> names{"names", "the strip-chart legend"};
    Seam<void()> update_menu{"update_menu", "the menu bar of the main window"};
    // Window-menu manager: a main window that gets the focus is checked in the Window menu.
    Seam<int(int menuBar, int item, void* data, int panel)> spc_sc_toggle{"spc_sc_toggle", "the Window menu"};
    // Alarm review: the Clear command opens it on the uncleared alarms.
    Seam<int(int panel, int control, int event, void* data, int d1, int d2)> show_errors{
        "show_errors", "reviewing and clearing alarms", SeamKind::stores};
    // SPC chart list: the chart buttons of the panels open it.
    Seam<int(int menuBar, int item, void* data, int panel)> act_deact_charts{"act_deact_charts", "the SPC chart list"};
    // The Charts menu's slideshow of the activated charts.
    Seam<void(int menuBar, int item, void* data, int panel)> start_next{"start_next", "the chart slideshow"};
    // Process setup files: a new process name is saved and exported, every process exported.
    Seam<void(int force)> saveAllAndExport{"saveAllAndExport", "saving the process setup",
                                                SeamKind::stores};
    Seam<int(const char* name, const char* directory, char overwrite, char byName)> ExportRecipe{
        "ExportRecipe", "exporting a process setup", SeamKind::stores};
    // Run archive: result and alarm rows, wafer traces and the process setup of each archived run.
    Seam<int(int target, int newRun, short keep, int waitPanel)> network_stuff{
        "network_stuff", "copying result and alarm rows of a run", SeamKind::stores};
    Seam<int(const char* source, const char* destination, short* count)> multi_copy{
        "multi_copy", "copying the wafer traces of a run", SeamKind::stores};
    // Stores a source process's setup under its name in the target (source, target, target directory, source
    // directory, name, process, new number out, confirm).
    Seam<int(int source, int target, const char* targetDirectory, const char* sourceDirectory, const char* name,
             int process, int* newNumber, short confirm)>
        insert_recipe_into_file_map{"insert_recipe_into_file_map",
                                                       "copying a process setup to another directory",
                                                       SeamKind::stores};

    template <typename Visit>
    void for_each(Visit&& visit) const
    {
        visit(names);
        visit(update_menu);
        visit(spc_sc_toggle);
        visit(show_errors);
        visit(act_deact_charts);
        visit(start_next);
        visit(saveAllAndExport);
        visit(ExportRecipe);
        visit(network_stuff);
        visit(multi_copy);
        visit(insert_recipe_into_file_map);
    }
};

// Core is given its seams once by the programs' wiring (tests give fakes); until
// then every seam is missing.
void provide_core_seams(CoreSeams seams);
const CoreSeams& core_seams();
