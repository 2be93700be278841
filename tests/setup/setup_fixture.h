// Shared set-up of the setup tests: a working directory with its Setup folder, an open connection, the UI driver and the seams to the main window.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/callbacks.h"
#include "core/config_store.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/sql_access.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/headless.h"
#include "setup/export_file.h"
#include "setup/install.h"
#include "setup/setup_files.h"
#include "tests/sql/sql_fixture.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

namespace setuptest {

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::copy(vtest::bin_dir() + "/panels", program.file("panels"),
                              std::filesystem::copy_options::recursive);
        vsys::set_project_dir_override(program.path());
        connect(dir.path());
        std::filesystem::create_directory(dir.file("Setup"));
        Flags = 0;
        parent_panel = -1;
        sc_handle = -1;
        vui::register_callbacks(core_callbacks());
        install_setup();
        // Core (loading a setup) and the setups themselves redraw the main window.
        CoreSeams core;
        SetupSeams setup;
        core.saveAllAndExport = [](int force) { saveAllAndExport(static_cast<char>(force)); };
        core.ExportRecipe = ExportRecipe;
        core.update_menu = setup.update_menu = [this] { calls.push_back("update_menu"); };
        core.names = setup.names = [this](int, int, int, int) { calls.push_back("names"); };
        provide_core_seams(std::move(core));
        provide_setup_seams(std::move(setup));
        name_process(0, "DEFAULT");
        name_process(1, "FACTORY A");
        name_process(2, "FACTORY B");
        make_current(3, "Alpha");
    }
    void TearDown() override
    {
        if (hdbc > 0) DBDisconnect(hdbc);
        hdbc = -1;
        provide_core_seams({});
        provide_setup_seams({});
        vt_dir.clear();
        vsys::set_project_dir_override("");
    }
    void connect(const std::string& directory)
    {
        if (hdbc > 0) DBDisconnect(hdbc);
        vt_dir = directory;
        hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + directory).c_str());
        ASSERT_GT(hdbc, 0);
    }
    void name_process(int n, const std::string& name)
    {
        char text[33];
        vsys::format_into(text, sizeof text, "%s", name.c_str());
        get_put_char(hdbc, 1, n, CONFIG_WRITE, text);
    }
    // Names process n, makes it current and gives it stored tables.
    void make_current(int n, const std::string& name)
    {
        name_process(n, name);
        char text[33];
        vsys::format_into(text, sizeof text, "%d", n);
        get_put_char(hdbc, 0, 5, CONFIG_WRITE, text);
        recipe_num = n;
        get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
        get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
        get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
        get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
        get_put_number(0, 0, SAVE_STEP_GROUP, 0.0);
        get_put_number(0, 0, SAVE_TIMER_GROUP, 0.0);
    }
    std::string config_text(int param, int index)
    {
        char text[33];
        return get_put_char(hdbc, param, index, CONFIG_READ, text);
    }
    std::string rows(const std::string& sql) { return vtest::flat(vtest::query(hdbc, sql).rows); }
    std::string file(const std::string& name) const { return dir.file(name); }
    bool exists(const std::string& name) const { return vsys::file_exists(dir.file(name)); }
    std::string last_popup() const { return ui.popups().empty() ? "" : ui.popups().back().title + "|" + ui.popups().back().text; }

    vtest::TempDir program;
    vtest::TempDir dir;
    vui::Headless ui;
    std::vector<std::string> calls;
};

}  // namespace setuptest
