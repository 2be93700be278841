// The review build's start: its version popup comes first, before anything is opened.
#include <gtest/gtest.h>

#include <cstring>

#include "core/ini_file.h"
#include "programs/program_shell.h"
#include "tests/core/core_fixture.h"

namespace {

using coretest::CoreTest;

TEST_F(CoreTest, ReviewBuildShowsItsVersionFirst)
{
    DBDisconnect(hdbc);
    hdbc = -1;
    vtest::TempDir keep_cwd(true);
    char value[kIniValueSize];
    std::strcpy(value, "C:\\OLD");  // start-up fails at once, after the version popup
    read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "DIR", value);
    ui.answer(1);
    ui.answer(1);
    char* argv[] = {nullptr};
    EXPECT_EQ(vantrel_main(0, argv, nullptr), -1);
    ASSERT_EQ(ui.popups().size(), 2u);
    EXPECT_EQ(ui.popups()[0].title, "Vantrel Review");
    EXPECT_EQ(ui.popups()[0].text, "Version 6.96");
    EXPECT_EQ(ui.popups()[1].text, "Invalid working directory.");
}

}  // namespace
