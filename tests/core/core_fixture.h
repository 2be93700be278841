// Shared set-up of the core tests: a scratch working directory with an open connection, the UI driver and seam fakes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/sql_access.h"
#include "platform/sys/files.h"
#include "platform/ui/headless.h"
#include "tests/sql/sql_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/seams.h"

namespace coretest {

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A program directory of our own: the INI file lands there, panels come from the build.
        std::filesystem::copy(vtest::bin_dir() + "/panels", program.file("panels"),
                              std::filesystem::copy_options::recursive);
        vsys::set_project_dir_override(program.path());
        vt_dir = dir.path();
        hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
        ASSERT_GT(hdbc, 0);
        recipe_num = 3;
        Flags = 0;
        CoreSeams seams;
        seams.saveAllAndExport = [this](int force) { calls.push_back("saveAllAndExport:" + std::to_string(force)); };
        seams.update_menu = [this] { calls.push_back("update_menu"); };
        seams.names = [this](int a, int b, int c, int d) {
            calls.push_back("names:" + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," +
                            std::to_string(d));
        };
        provide_core_seams(std::move(seams));
    }
    void TearDown() override
    {
        if (hdbc > 0) DBDisconnect(hdbc);
        hdbc = -1;
        provide_core_seams({});
        vt_dir.clear();
        vsys::set_project_dir_override("");
    }
    std::string rows(const std::string& sql) { return vtest::flat(vtest::query(hdbc, sql).rows); }

    vtest::TempDir program;
    vtest::TempDir dir;
    vui::Headless ui;
    std::vector<std::string> calls;
};

}  // namespace coretest
