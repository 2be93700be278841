// The File-menu commands of process setups, the save with question, Save As, delete and the copy of a process's file set.
#include "setup/setup_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/trace_file.h"
#include "core/text_utils.h"
#include "panels/s_chart.h"
#include "platform/sys/confine.h"
#include "platform/sys/dir_handle.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/status_line.h"
#include "platform/ui/userint.h"
#include "setup/export_file.h"
#include "setup/setup_paths.h"

namespace {

constexpr const char* kWriteProtected =
    "This process is write protected.  Please select \"Save As...\" from the \"File menu.\"";
constexpr const char* kTooMany =
    "Maximum number of processes exceeded.  You must delete another process before you can save a new one.";

std::string process_name(int number)
{
    char text[33];
    return get_put_char(hdbc, 1, number, CONFIG_READ, text);
}

void make_current(int number, const std::string& name)
{
    char text[33];
    recipe_num = number;
    copy_text(text, name);
    get_put_char(hdbc, 1, number, CONFIG_WRITE, text);
    vsys::format_into(text, sizeof text, "%d", number);
    get_put_char(hdbc, 0, 5, CONFIG_WRITE, text);
}

void default_cursor() { SetMouseCursor(VAL_DEFAULT_CURSOR); }

// Whether the last save wrote the setup file (-1: nothing was saved).
int last_save_written = -1;

// A command that ends without a popup still says how it ended, in the status line.
void say(const std::string& text) { vui::ShowStatusLine(text); }

void open_setup()
{
    saveAllAndExport(0);
    std::string spec = process_name(recipe_num) + ".Vantrel";
    std::string chosen;
    int r = FileSelectPopup(setup_directory().c_str(), spec.c_str(), "*.Vantrel", "Please select a setup file...",
                            VAL_SELECT_BUTTON, 1, 1, 1, 0, &chosen);
    if (r != VAL_EXISTING_FILE_SELECTED) return;
    std::string dir, name;
    StripNameAndPathFromFullname(chosen, &dir, &name);
    int n = getExistingRecipeNumber(hdbc, name.c_str());
    if (n > 0) {
        make_current(n, name);
        LoadSetup();
        say(vsys::strprintf("Process \"%s\" opened.", name.c_str()));
    } else if (ImportRecipe(name.c_str(), dir.c_str()) == 1) {
        say(vsys::strprintf("Process \"%s\" opened.", name.c_str()));
    }
}

// A file "<name>.Vantrel" directly in the Setup folder.
bool is_setup_file(const std::string& folder, const std::string& path)
{
    const std::string extension = ".vantrel";
    if (path.size() <= extension.size()) return false;
    std::string tail = path.substr(path.size() - extension.size());
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return tail == extension && same_file(dir, setup_directory());
}

// Removed through a handle of the folder as it was checked: a link swapped in for the folder
// while the user confirmed leads nowhere else (a link in place of the file goes, not what it names).
vsys::Result delete_in_checked_folder(const std::string& folder, const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    vsys::DirHandle dir(vsys::open_confined_directory(folder));
    if (!dir || ::unlinkat(dir.fd(), name.c_str(), 0) != 0)
        return vsys::Result::failure(vsys::strprintf("cannot delete \"%s\": %s", path.c_str(), std::strerror(errno)));
    return vsys::Result::success();
}

// Nothing is deleted without the user's yes.
bool confirm_delete(const std::string& name)
{
    return ConfirmPopup("Delete", vsys::strprintf("Are you sure you want to delete the process setup \"%s\"?",
                                                  name.c_str())
                                      .c_str()) == 1;
}

// False when the loaded process was chosen: that refusal leaves the cursor as it is.
bool delete_setup()
{
    saveAllAndExport(0);
    char text[33] = "";
    get_put_char(hdbc, 0, 0, EXPORT_PROCESSES, text);
    std::string chosen;
    int r = FileSelectPopup(setup_directory().c_str(), "", "*.Vantrel", "Please Select Setup to Delete...",
                            VAL_SELECT_BUTTON, 1, 1, 1, 0, &chosen);
    if (r != VAL_EXISTING_FILE_SELECTED) return true;
    std::string folder, name;
    StripNameAndPathFromFullname(chosen, &folder, &name);
    // Only a setup file of the Setup folder is ever deleted, whatever the dialog let through.
    if (!is_setup_file(folder, chosen)) {
        MessagePopup("Delete Error", "Only process setups (*.Vantrel) in the Setup folder can be deleted.");
        return true;
    }
    std::string current = process_name(recipe_num);
    if (current == "Not Found" || current == "Default") current.clear();
    if (current == name) {
        MessagePopup("Delete Error", "Cannot delete the currently loaded process.");
        return false;
    }
    int n = getExistingRecipeNumber(hdbc, name.c_str());
    if (n != -1 && (n < 3 || n > 9000)) {
        MessagePopup("Delete Error", "This process is write protected and cannot be deleted.");
        return true;
    }
    if (!confirm_delete(name)) return true;
    if (vsys::Result gone = delete_in_checked_folder(folder, chosen); !gone) {
        MessagePopup("Delete Error", gone.error.c_str());
        return true;
    }
    if (n == -1) return true;
    get_put_char(hdbc, 1, n, CONFIG_DELETE, text);
    vsys::Result all = vsys::Result::success();
    auto remove = [&all](const std::string& path) {
        if (vsys::Result r = vsys::delete_file_if_present(path); !r && all) all = r;
    };
    for (const char* table : {"INST", "ACTC", "LIMI", "NUMB", "TAGS"}) remove(existing_table_file(vt_dir, n, table));
    remove(por_trace_path(vt_dir, n));
    remove(interval_path(vt_dir, n));
    if (!all) MessagePopup("Delete Error", all.error.c_str());
    return true;
}

void import_setup()
{
    saveAllAndExport(0);
    std::string spec = process_name(recipe_num) + ".Vantrel";
    std::string chosen;
    int r = FileSelectPopup(vt_dir.c_str(), spec.c_str(), "*.Vantrel", "Please select a setup file...",
                            VAL_SELECT_BUTTON, 0, 1, 1, 0, &chosen);
    if (r != VAL_EXISTING_FILE_SELECTED) return;
    std::string dir, name;
    StripNameAndPathFromFullname(chosen, &dir, &name);
    if (ImportRecipe(name.c_str(), dir.c_str()) == 1) {
        ExportRecipe(name.c_str(), setup_directory().c_str(), 1, 0);
        say(vsys::strprintf("Process \"%s\" imported.", name.c_str()));
    }
}

void export_setup()
{
    saveAllAndExport(0);
    std::string spec = process_name(recipe_num) + ".Vantrel";
    std::string chosen;
    int r = FileSelectPopup(vt_dir.c_str(), spec.c_str(), "*.Vantrel", "Export setup as...", VAL_SAVE_BUTTON, 0, 1,
                            1, 1, &chosen);
    if (r != VAL_EXISTING_FILE_SELECTED && r != VAL_NEW_FILE_SELECTED) return;
    std::string dir, name;
    StripNameAndPathFromFullname(chosen, &dir, &name);
    if (ExportRecipe(name.c_str(), dir.c_str(), 1, 0) == 1)
        say(vsys::strprintf("Process exported to %s.", chosen.c_str()));
    else
        say(vsys::strprintf("The process could not be exported to %s.", chosen.c_str()));
}

void say_saved()
{
    if (last_save_written < 0) return;
    const std::string name = process_name(recipe_num);
    say(last_save_written ? vsys::strprintf("Process \"%s\" saved.", name.c_str())
                          : vsys::strprintf("Process \"%s\" could not be saved.", name.c_str()));
}

void toggle_record(int menuBar)
{
    int checked = 0;
    GetMenuBarAttribute(menuBar, MENUBAR_FILE_RECORD_DATA, ATTR_CHECKED, &checked);
    SetMenuBarAttribute(menuBar, MENUBAR_FILE_RECORD_DATA, ATTR_CHECKED, checked ? 0 : 1);
}

}  // namespace

bool process_name_acceptable(const std::string& name)
{
    if (name.size() > 32) {
        MessagePopup("Save Error", "File name exceeds 32 char.  Please try again.");
        return false;
    }
    if (name.empty()) {
        MessagePopup("Save Error", "Invalid file name.  Please try again.");
        return false;
    }
    return true;
}

void save_read(int menuBar, int item, void*, int)
{
    switch (item) {
    case MENUBAR_FILE_OPEN: open_setup(); break;
    case MENUBAR_FILE_SAVE:
        last_save_written = -1;
        saveAllAndExport(1);
        say_saved();
        return;
    case MENUBAR_FILE_SAVE_AS:
        last_save_written = -1;
        SaveSetupAs();
        say_saved();
        break;
    case MENUBAR_FILE_DELETE:
        if (!delete_setup()) return;
        break;
    case MENUBAR_FILE_IMPORT: import_setup(); break;
    case MENUBAR_FILE_EXPORT: export_setup(); break;
    case MENUBAR_FILE_RECORD_DATA: toggle_record(menuBar); break;
    default: break;
    }
    default_cursor();
}

void saveAllAndExport(char force)
{
    if (recipe_num >= 0 && recipe_num <= 2) {
        MessagePopup("Save Error", kWriteProtected);
        return;
    }
    std::string name = process_name(recipe_num);
    if ((Flags & FLAG_PENDING_CHANGES) || force) {
        bool yes = force || ConfirmPopup("", "Changes are pending.  Do you want to save changes?") == 1;
        if (yes) {
            get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
            get_put_number(0, 0, SAVE_STEP_GROUP, 0.0);
            get_put_number(0, 0, SAVE_TIMER_GROUP, 0.0);
            last_save_written = ExportRecipe(name.c_str(), setup_directory().c_str(), 1, 0);
            Flags &= static_cast<std::uint8_t>(~FLAG_PENDING_CHANGES);
        }
    }
    char system[33];
    get_put_char(hdbc, 0, 0, CONFIG_READ, system);
    if (parent_panel > 0)
        SetPanelAttribute(parent_panel, ATTR_TITLE, vsys::strprintf("System=%s, %s", system, name.c_str()));
}

void SaveSetupAs()
{
    std::string name = process_name(recipe_num);
    const std::string dir = setup_directory();
    int n = -1;
    for (;;) {
        std::string spec = name + ".Vantrel";
        std::string chosen;
        int r = FileSelectPopup(dir.c_str(), spec.c_str(), "*.Vantrel", "Save Setup As...", VAL_SAVE_BUTTON, 1, 1, 1,
                                0, &chosen);
        if (r != VAL_EXISTING_FILE_SELECTED && r != VAL_NEW_FILE_SELECTED) return;
        StripNameAndPathFromFullname(chosen, nullptr, &name);
        if (!process_name_acceptable(name)) continue;
        n = getRecipeNumber(hdbc, name.c_str());
        break;
    }
    if (n == -1) return;
    copy_process_from_to(hdbc, hdbc, recipe_num, vt_dir.c_str(), n, vt_dir.c_str());
    make_current(n, name);
    saveAllAndExport(1);
}

int copy_process_from_to(int fromConnection, int toConnection, int fromProcess, const char* fromDirectory,
                         int toProcess, const char* toDirectory)
{
    const std::string from = fromDirectory, to = toDirectory;
    if (same_file(process_table_file(from, fromProcess, "INST"), process_table_file(to, toProcess, "INST"))) return 0;
    // Every step is tried; the first failure is shown once at the end and the copy answers -1.
    vsys::Result all = vsys::Result::success();
    auto note = [&all](vsys::Result r) {
        if (!r && all) all = std::move(r);
    };
    for (const char* table : kProcessTables) {
        const std::string source = existing_table_file(from, fromProcess, table);
        const std::string target = existing_table_file(to, toProcess, table);
        // The copy lands in a temporary file renamed over the target, so a failed copy leaves the target whole.
        if (vsys::file_exists(source)) {
            if (target != process_table_file(to, toProcess, table)) note(vsys::delete_file_if_present(target));
            note(vsys::copy_file(source, process_table_file(to, toProcess, table)));
        } else {
            note(vsys::delete_file_if_present(target));
        }
    }
    note(vsys::delete_file_if_present(por_trace_path(to, toProcess)));
    note(vsys::delete_file_if_present(interval_path(to, toProcess)));

    RunContextKeeper keep;
    char system[17] = "", recipe[33] = "", trace[33] = "", comment[65] = "";
    short complete = 0, cassette = 0;
    int found = info_table({fromConnection, 3, -fromProcess, system, recipe, trace, comment, &complete, &cassette});
    char trimmed[33];
    std::memcpy(trimmed, recipe, sizeof trimmed);
    right_text_trim(trimmed);
    if (found == 0 && std::strcmp(trimmed, "NA") != 0) {
        info_table({toConnection, -1, toProcess, system, trace, recipe, comment, &complete, &cassette});
        // A header without its files copies as nothing: the target lacks them too.
        for (auto path : {por_trace_path, interval_path})
            if (vsys::file_exists(path(from, fromProcess))) note(vsys::copy_file(path(from, fromProcess), path(to, toProcess)));
    }
    if (!all) {
        MessagePopup("Copy Error", vsys::named_paths(all.error).c_str());
        return -1;
    }
    return 0;
}

int StripNameAndPathFromFullname(const std::string& fullName, std::string* path, std::string* name)
{
    if (!path && !name) return 1;
    const std::size_t slash = fullName.find_last_of("/\\");
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = fullName.find_last_of('.');
    // A dot in a directory name is no extension; the first character of a name is never one either.
    if (dot != std::string::npos && (dot < start || dot == 0)) dot = std::string::npos;
    if (path) *path = slash == std::string::npos ? "" : fullName.substr(0, slash + 1);
    if (name) *name = fullName.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    return 1;
}

int getRecipeNumber(int connection, const char* name)
{
    char text[33];
    copy_bounded(text, name, 32);
    get_put_char(connection, 0, 0, PROCESS_BY_NAME, text);
    if (std::strcmp(text, "Not Found") == 0) get_put_char(connection, 0, 0, FIRST_FREE_PROCESS, text);
    int n = std::atoi(text);
    if (n > 9000) {
        default_cursor();
        MessagePopup("", kTooMany);
        return -1;
    }
    if (n <= 2) {
        MessagePopup("", "This setup file is write protected.  Please select Save As... from the File menu.");
        return -1;
    }
    return n;
}

int getExistingRecipeNumber(int connection, const char* name)
{
    // No process bears a name over 32 characters; cut short it could match another one.
    if (std::strlen(name) > 32) return -1;
    char text[33];
    copy_bounded(text, name, 32);
    get_put_char(connection, 0, 0, PROCESS_BY_NAME, text);
    if (std::strcmp(text, "Not Found") == 0) return -1;
    return std::atoi(text);
}
