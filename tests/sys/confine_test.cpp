// Typed paths confined to the working, program and archive directories, and opened without following links.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sys/confine.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class ConfineTest : public ::testing::Test {
protected:
    ConfineTest()
    {
        outside.write("secret.txt", "keep");
        fs::create_directories(work.path() + "/Runs");
        vsys::set_archive_reader([this] { return archive.path(); });
    }
    ~ConfineTest() override { vsys::set_archive_reader(nullptr); }

    vtest::TempDir work{true}, archive, outside;
};

TEST_F(ConfineTest, PathsInsideTheRootsAreTakenResolvedAndOthersRefused)
{
    EXPECT_EQ(vsys::confined_path("Runs/a.txt"), fs::canonical(work.path()).string() + "/Runs/a.txt");
    EXPECT_TRUE(vsys::confined_path(archive.path() + "/new/b.txt"));
    EXPECT_TRUE(vsys::confined_path(vsys::project_dir() + "/x.txt"));
    fs::create_directory_symlink(outside.path(), work.path() + "/escape");
    for (const std::string& refused : {outside.file("secret.txt"), std::string("../x.txt"), std::string("/etc/passwd"),
                                       work.path() + "/escape/secret.txt", work.path() + "/Runs/../../x.txt",
                                       std::string(), std::string("a\0b", 3)})
        EXPECT_FALSE(vsys::confined_path(refused)) << refused;
    vsys::set_archive_reader([] { return std::string("NA"); });
    EXPECT_FALSE(vsys::confined_path(archive.path() + "/b.txt"));
}

TEST_F(ConfineTest, OpeningWalksFromTheRootAndFollowsNoLink)
{
    {
        auto f = vsys::open_confined("Runs/a.txt", "w");
        ASSERT_TRUE(f);
        std::fputs("run 12\n", f.get());
    }
    EXPECT_EQ(work.read("Runs/a.txt"), "run 12\n");
    auto back = vsys::open_confined(work.path() + "/Runs/a.txt", "r");
    ASSERT_TRUE(back);
    // A link in the last place, or a folder swapped for a link, leads nowhere.
    fs::create_symlink(outside.file("secret.txt"), work.path() + "/Runs/link.txt");
    EXPECT_FALSE(vsys::open_confined("Runs/link.txt", "w"));
    fs::rename(work.path() + "/Runs", work.path() + "/Runs.old");
    fs::create_directory_symlink(outside.path(), work.path() + "/Runs");
    EXPECT_FALSE(vsys::open_confined("Runs/secret.txt", "w"));
    EXPECT_EQ(outside.read("secret.txt"), "keep");
    EXPECT_FALSE(vsys::open_confined(outside.file("secret.txt"), "r"));
    EXPECT_FALSE(vsys::open_confined("Runs.old/a.txt", "x"));
}

}  // namespace
