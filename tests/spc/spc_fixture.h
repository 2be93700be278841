// Shared set-up of the chart-table tests: a working directory with an open connection and the UI driver.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/globals.h"
#include "tests/support/seams.h"
#include "core/sql_access.h"
#include "platform/ui/headless.h"
#include "tests/sql/sql_fixture.h"
#include "tests/support/temp_dir.h"

namespace spctest {

class SpcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vt_dir = dir.path();
        hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
        ASSERT_GT(hdbc, 0);
        recipe_num = 3;
        provide_core_seams({});
    }
    void TearDown() override
    {
        if (hdbc > 0) DBDisconnect(hdbc);
        hdbc = -1;
        vt_dir.clear();
    }
    std::string rows(const std::string& sql) { return vtest::flat(vtest::query(hdbc, sql).rows); }

    vtest::TempDir dir;
    vui::Headless ui;
};

}  // namespace spctest
