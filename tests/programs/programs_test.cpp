// The programs load the help library at start and refuse to start without it.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sys/launch.h"
#include "tests/support/temp_dir.h"

TEST(Programs, WithoutTheHelpLibraryNeitherStarts)
{
    vtest::TempDir dir;
    for (const char* program : {"Vantrel", "VantrelReview"}) {
        SCOPED_TRACE(program);
        std::filesystem::copy_file(vtest::bin_dir() + "/" + program, dir.file(program));
        dir.write("VANTREL.INI", "[VANTREL]\nDIR = " + dir.file("work") + "\n");
        // The copy finds no libTarvex.so beside it: the loader must refuse it.
        int rc = vsys::spawn_and_wait({dir.file(program)});
        EXPECT_NE(rc, 0);
        std::filesystem::copy_file(vtest::bin_dir() + "/libTarvex.so", dir.file("libTarvex.so"),
                                   std::filesystem::copy_options::overwrite_existing);
        EXPECT_EQ(vsys::spawn_and_wait({dir.file(program)}), 0);
        std::filesystem::remove(dir.file("libTarvex.so"));
    }
}
