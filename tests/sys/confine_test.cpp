// Typed paths confined to the working, program and archive directories, and opened without following links.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/sys/atomic_file.h"
#include "platform/sys/confine.h"
#include "platform/sys/dir_handle.h"
#include "platform/sys/fault_plan.h"
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

namespace {

TEST_F(ConfineTest, AConfinedAtomicFileWritesThroughItsFolderOnlyInsideTheRoots)
{
    using Where = vsys::AtomicFile::Where;
    work.write("Runs/old.txt", "old");
    {
        vsys::AtomicFile f("Runs/old.txt", Where::confined);
        ASSERT_TRUE(f.is_open()) << f.error();
        ASSERT_TRUE(f.write("new"));
        ASSERT_TRUE(f.commit()) << f.error();
    }
    EXPECT_EQ(work.read("Runs/old.txt"), "new");
    fs::create_directory_symlink(outside.path(), work.path() + "/escape");
    for (const std::string& refused : {outside.file("report.txt"), work.path() + "/escape/report.txt"}) {
        vsys::AtomicFile f(refused, Where::confined);
        EXPECT_FALSE(f.is_open()) << refused;
        EXPECT_FALSE(f.commit()) << refused;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);
}

TEST_F(ConfineTest, AConfinedAtomicFileThatFailsLeavesTheTargetAndNoTemporary)
{
    using Where = vsys::AtomicFile::Where;
    struct Case {
        const char* label;
        vsys::FileFault fault;
    } cases[] = {
        {"disk full while writing", vsys::FileFault::disk_full_after(2)},
        {"flush fails at commit", {vsys::FileOp::flush}},
        {"no temporary", {vsys::FileOp::create}},
        {"close fails", {vsys::FileOp::close}},
        {"rename fails", {vsys::FileOp::rename}},
    };
    for (const auto& c : cases) {
        work.write("Runs/kept.txt", "kept");
        {
            vsys::FaultPlanScope plan(c.fault);
            vsys::AtomicFile f("Runs/kept.txt", Where::confined);
            f.write("replacement");
            EXPECT_FALSE(f.commit()) << c.label;
        }
        EXPECT_EQ(work.read("Runs/kept.txt"), "kept") << c.label;
        EXPECT_EQ(std::distance(fs::directory_iterator(work.path() + "/Runs"), fs::directory_iterator()), 1) << c.label;
    }
    // The folder's sync after the rename: the new content is there, the failure is told.
    {
        vsys::FaultPlanScope plan(vsys::FileFault(vsys::FileOp::sync_directory));
        vsys::AtomicFile f("Runs/kept.txt", Where::confined);
        f.write("synced?");
        EXPECT_FALSE(f.commit());
    }
    EXPECT_EQ(work.read("Runs/kept.txt"), "synced?");
}

}  // namespace

namespace {

// A new folder typed is made inside the roots by handle; its subfolders are made and opened there, a link refused.
TEST_F(ConfineTest, AFolderIsMadeAndHeldByHandleAndItsSubfoldersFollowNoLink)
{
    vsys::DirHandle made(vsys::make_confined_directory(archive.path() + "/share/2026"));
    ASSERT_TRUE(made) << std::strerror(errno);
    EXPECT_TRUE(fs::is_directory(archive.path() + "/share/2026"));
    EXPECT_EQ(vsys::named_paths("in " + made.path() + "/x.DBF"), "in " + fs::canonical(archive.path()).string() + "/share/2026/x.DBF");
    EXPECT_FALSE(vsys::DirHandle(vsys::make_confined_directory(outside.path() + "/new")));
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(fs::exists(outside.path() + "/new"));

    fs::create_directory(archive.path() + "/share/2026/sc_data");
    std::string name;
    vsys::DirHandle traces = made.subdirectory("SC_DATA", &name);
    ASSERT_TRUE(traces);
    EXPECT_EQ(name, "sc_data") << "the folder there in another case is taken";
    EXPECT_TRUE(made.subdirectory("clean"));
    EXPECT_TRUE(fs::is_directory(archive.path() + "/share/2026/clean"));
    fs::create_directory_symlink(outside.path(), archive.path() + "/share/2026/trees");
    EXPECT_FALSE(made.subdirectory("trees"));
    for (const char* refused : {"", "..", "a/b"}) EXPECT_FALSE(made.subdirectory(refused)) << refused;
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(vsys::named_paths("/proc/self/fd/x and /proc/self/fd/"), "/proc/self/fd/x and /proc/self/fd/");
}

}  // namespace
