// File operations: atomic replacement under write failures, copies, case-insensitive lookup, paths.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "platform/sys/atomic_file.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "tests/support/temp_dir.h"

namespace {

using vsys::FileFault;
using vsys::FileOp;

FileFault full_after(std::uint64_t bytes) { return FileFault::disk_full_after(bytes); }

}  // namespace

TEST(AtomicFile, CommitReplacesTheTargetWhole)
{
    vtest::TempDir dir;
    dir.write("VANTREL.INI", "old\n");
    ASSERT_TRUE(vsys::write_file_atomic(dir.file("VANTREL.INI"), "new content\n"));
    EXPECT_EQ(dir.read("VANTREL.INI"), "new content\n");
}

TEST(AtomicFile, FailedWriteLeavesTheOldFileAndNoTemporary)
{
    struct Case {
        const char* name;
        FileFault fault;
    };
    const Case cases[] = {
        {"disk full before anything", full_after(0)},
        {"short write in the middle", full_after(5)},
        {"failure when committing", {FileOp::flush}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vtest::TempDir dir;
        dir.write("data.bin", "precious");
        {
            vsys::FaultPlanScope plan(c.fault);
            vsys::Result r = vsys::write_file_atomic(dir.file("data.bin"), "replacement text");
            EXPECT_FALSE(r.ok);
            EXPECT_NE(r.error.find("data.bin"), std::string::npos) << r.error;
        }
        EXPECT_EQ(dir.read("data.bin"), "precious");
        auto entries = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
        EXPECT_EQ(entries, 1) << "a temporary file was left behind";
    }
}

// A full disk at any byte, or a failing create, flush to disk, close or rename:
// the target keeps its old bytes, nothing temporary stays, the error names the file.
TEST(AtomicFile, AFailureAtEveryPointLeavesTheOldFile)
{
    const std::string content = "replacement text, written in three pieces";
    std::vector<FileFault> faults;
    for (std::uint64_t n = 0; n < content.size(); ++n) faults.push_back(full_after(n));
    for (auto op : {FileOp::create, FileOp::write, FileOp::flush, FileOp::close, FileOp::rename})
        for (int nth = 1; nth <= 3; ++nth) faults.push_back({op, nth});
    for (const auto& fault : faults) {
        SCOPED_TRACE(vsys::strprintf("bytes %d, op %d, call %d", static_cast<int>(fault.bytes.value_or(0)),
                                     static_cast<int>(fault.op), fault.nth));
        vtest::TempDir dir;
        dir.write("data.bin", "precious");
        {
            vsys::FaultPlanScope plan(fault);
            vsys::AtomicFile f(dir.file("data.bin"));
            bool written = f.write(content.substr(0, 10)) && f.write(content.substr(10, 20)) && f.write(content.substr(30));
            vsys::Result r = f.commit();
            if (vsys::fault_plan_strikes() == 0) {
                EXPECT_TRUE(written && r.ok);  // the file's life has no such call: it is replaced
                continue;
            }
            EXPECT_FALSE(written && r.ok);
            if (written) {
                EXPECT_FALSE(r.ok);
                EXPECT_NE(r.error.find("data.bin"), std::string::npos) << r.error;
            } else {
                EXPECT_NE(f.error().find("data.bin"), std::string::npos) << f.error();
            }
        }
        EXPECT_EQ(dir.read("data.bin"), "precious");
        int entries = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
        EXPECT_EQ(entries, 1) << "a temporary file was left behind";
    }
}

TEST(AtomicFile, PreparedFilesChangeNothingUntilCommitted)
{
    vtest::TempDir dir;
    dir.write("a.txt", "old a");
    vsys::AtomicFile a(dir.file("a.txt"));
    ASSERT_TRUE(a.write("new a"));
    ASSERT_TRUE(a.prepare());
    EXPECT_EQ(dir.read("a.txt"), "old a");
    ASSERT_FALSE(a.temp_path().empty());
    EXPECT_EQ(dir.read(std::filesystem::path(a.temp_path()).filename().string()), "new a");
    ASSERT_TRUE(a.commit());
    EXPECT_EQ(dir.read("a.txt"), "new a");
    EXPECT_TRUE(a.temp_path().empty());
}

// The new content is in place but may not survive a power cut: the caller must hear of it.
TEST(AtomicFile, FailedDirectorySyncIsReported)
{
    vtest::TempDir dir;
    dir.write("data.bin", "precious");
    vsys::FaultPlanScope plan(FileFault {FileOp::sync_directory});
    vsys::Result r = vsys::write_file_atomic(dir.file("data.bin"), "replacement text");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("data.bin"), std::string::npos) << r.error;
    EXPECT_EQ(dir.read("data.bin"), "replacement text");
}

TEST(AtomicFile, UncommittedWriterLeavesTargetAlone)
{
    vtest::TempDir dir;
    dir.write("t.txt", "keep");
    {
        vsys::AtomicFile f(dir.file("t.txt"));
        ASSERT_TRUE(f.write("half"));
    }
    EXPECT_EQ(dir.read("t.txt"), "keep");
}

TEST(AtomicFile, MissingDirectoryIsAClearError)
{
    vtest::TempDir dir;
    vsys::Result r = vsys::write_file_atomic(dir.file("no/such/dir/file.txt"), "x");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("file.txt"), std::string::npos);
}

TEST(Files, CopyFailureKeepsTheDestination)
{
    vtest::TempDir dir;
    dir.write("src.DBF", std::string(200000, 'a'));
    dir.write("dst.DBF", "old");
    {
        vsys::FaultPlanScope plan(full_after(70000));
        EXPECT_FALSE(vsys::copy_file(dir.file("src.DBF"), dir.file("dst.DBF")).ok);
    }
    EXPECT_EQ(dir.read("dst.DBF"), "old");
    ASSERT_TRUE(vsys::copy_file(dir.file("src.DBF"), dir.file("dst.DBF")));
    EXPECT_EQ(dir.read("dst.DBF"), std::string(200000, 'a'));
    EXPECT_FALSE(vsys::copy_file(dir.file("missing"), dir.file("dst.DBF")).ok);
}

TEST(Files, FindFileIgnoringCase)
{
    vtest::TempDir dir;
    dir.write("VT_INFO.DBF", "");
    dir.write("0003tags.dbf", "");
    dir.write("Mixed.Dbf", "");
    dir.write("mixed.dbf", "");
    struct Case {
        const char* wanted;
        const char* found;  // nullptr: not found
    };
    const Case cases[] = {
        {"VT_INFO.DBF", "VT_INFO.DBF"}, {"vt_info.dbf", "VT_INFO.DBF"}, {"0003TAGS.DBF", "0003tags.dbf"},
        {"mixed.dbf", "mixed.dbf"},  // the exact spelling wins over another case
        {"MIXED.DBF", nullptr},      // either of the two is acceptable: checked below
        {"OOC_ALRM.DBF", nullptr},   {"VT_INFO", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        auto found = vsys::find_file_nocase(dir.path(), c.wanted);
        if (std::string(c.wanted) == "MIXED.DBF") {
            ASSERT_TRUE(found.has_value());
            EXPECT_TRUE(*found == dir.file("Mixed.Dbf") || *found == dir.file("mixed.dbf"));
        } else if (c.found) {
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(*found, dir.file(c.found));
        } else {
            EXPECT_FALSE(found.has_value());
        }
    }
    EXPECT_FALSE(vsys::find_file_nocase(dir.file("nowhere"), "x").has_value());
}

TEST(Files, RenameReplacesAndDirectoriesAndSizes)
{
    vtest::TempDir dir;
    dir.write("a", "12345");
    dir.write("b", "x");
    ASSERT_TRUE(vsys::rename_replace(dir.file("a"), dir.file("b")));
    EXPECT_FALSE(vsys::file_exists(dir.file("a")));
    EXPECT_EQ(vsys::file_size(dir.file("b")), 5u);
    EXPECT_FALSE(vsys::file_size(dir.file("a")).has_value());
    EXPECT_FALSE(vsys::rename_replace(dir.file("a"), dir.file("c")).ok);

    EXPECT_EQ(MakeDir(dir.file("SC_DATA").c_str()), 0);
    EXPECT_EQ(MakeDir(dir.file("SC_DATA").c_str()), -9);
    EXPECT_EQ(MakeDir(dir.file("x/y").c_str()), -1);
    EXPECT_TRUE(vsys::directory_exists(dir.file("SC_DATA")));
    EXPECT_FALSE(vsys::file_exists(dir.file("SC_DATA")));

    ASSERT_TRUE(vsys::free_disk_space(dir.path()).has_value());
    EXPECT_GT(*vsys::free_disk_space(dir.path()), 0u);
    EXPECT_FALSE(vsys::free_disk_space(dir.file("missing")).has_value());

    EXPECT_TRUE(vsys::delete_file(dir.file("b")));
    EXPECT_FALSE(vsys::delete_file(dir.file("b")).ok);
}

TEST(Files, PathHelpers)
{
    EXPECT_EQ(vsys::path_join("/data/work", "SC_DATA"), "/data/work/SC_DATA");
    EXPECT_EQ(vsys::path_join("/data/work/", "/SC_DATA"), "/data/work/SC_DATA");
    EXPECT_EQ(vsys::path_join("", "x"), "x");
    // A dot in a directory name is not an extension.
    EXPECT_EQ(vsys::path_directory("/data/v1.2/recipe"), "/data/v1.2");
    EXPECT_EQ(vsys::path_filename("/data/v1.2/recipe"), "recipe");
    EXPECT_EQ(vsys::path_directory("/x"), "/");
    EXPECT_EQ(vsys::path_directory("x"), "");
}

TEST(Files, ProjectDirIsTheExecutableDirectoryUnchanged)
{
    char buffer[4096];
    ASSERT_EQ(GetProjectDir(buffer, sizeof buffer), 0);
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(std::string(buffer), exe.substr(0, exe.find_last_of('/')));
    char tiny[2];
    EXPECT_EQ(GetProjectDir(tiny, sizeof tiny), -1);
    EXPECT_EQ(tiny[0], '\0');
    vsys::set_project_dir_override("/opt/Some/Mixed/Case");
    EXPECT_EQ(vsys::project_dir(), "/opt/Some/Mixed/Case");
    vsys::set_project_dir_override("");
}

TEST(Format, BoundedFormattingNeverOverruns)
{
    char buffer[13];
    EXPECT_TRUE(vsys::format_into(buffer, sizeof buffer, "%.8d.%.3d", 42, 7));
    EXPECT_STREQ(buffer, "00000042.007");
    EXPECT_FALSE(vsys::format_into(buffer, sizeof buffer, "%s/SC_DATA", "/a/long/working/dir"));
    EXPECT_EQ(std::string(buffer).size(), 12u);
    EXPECT_EQ(vsys::strprintf("%.3lf|%s", 2.0005, std::string(300, 'x').c_str()).size(), 306u);
}
