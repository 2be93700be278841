// Fuzz target: a setup export file imported into a working directory as File > Import does, over the same process each time.
#include <filesystem>
#include <string>

#include "core/callbacks.h"
#include "core/config_store.h"
#include "core/core_seams.h"
#include "core/globals.h"
#include "core/sql_access.h"
#include "fuzz/fuzz_popups.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/ui_loop.h"
#include "setup/export_file.h"
#include "setup/install.h"
#include "setup/setup_paths.h"
#include "setup/setup_seams.h"

namespace {

void name_process(int n, const char* name)
{
    char text[33];
    vsys::format_into(text, sizeof text, "%s", name);
    get_put_char(hdbc, 1, n, CONFIG_WRITE, text);
}

// A working directory with a current process holding stored tables, as the setup tests make it.
bool set_up()
{
    vfuzz::quiet_popups();
    const std::string program = vfuzz::scratch() + "/program", work = vfuzz::scratch() + "/work";
    std::filesystem::create_directories(work + "/Setup");
    std::filesystem::create_directories(program);
    std::filesystem::copy(VANTREL_PANELS_DIR, program + "/panels", std::filesystem::copy_options::recursive);
    vsys::set_project_dir_override(program);
    vt_dir = work;
    hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + work).c_str());
    if (hdbc <= 0) return false;
    Flags = 0;
    parent_panel = -1;
    sc_handle = -1;
    vui::register_callbacks(core_callbacks());
    install_setup();
    CoreSeams core;
    SetupSeams setup;
    core.update_menu = setup.update_menu = [] {};
    core.names = setup.names = [](int, int, int, int) {};
    core.saveAllAndExport = [](int) {};
    core.ExportRecipe = [](const char*, const char*, char, char) { return 1; };
    provide_core_seams(std::move(core));
    provide_setup_seams(std::move(setup));
    name_process(0, "DEFAULT");
    name_process(3, "Alpha");
    char text[33] = "3";
    get_put_char(hdbc, 0, 5, CONFIG_WRITE, text);
    recipe_num = 3;
    for (int group : {LOAD_CHANNEL_GROUP, LOAD_STEP_GROUP, LOAD_TIMER_GROUP, SAVE_CHANNEL_GROUP, SAVE_STEP_GROUP,
                      SAVE_TIMER_GROUP})
        get_put_number(0, 0, group, 0.0);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = set_up();
    if (!ready) return 0;
    vfuzz::write_file("work/Setup/Fuzz.Vantrel", data, size);
    (void)ImportRecipe("Fuzz", setup_directory().c_str());
    vui::pump_once();
    return 0;
}
