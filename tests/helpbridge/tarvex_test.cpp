// callHtmlHelp hands exactly the caller's path and topic to the CHM viewer and never waits for it.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "helpbridge/tarvex.h"
#include "platform/sys/files.h"
#include "tests/support/temp_dir.h"

namespace {

// Puts a recording "xchm" on PATH and sets the display for one test.
class FakeViewer {
public:
    explicit FakeViewer(const vtest::TempDir& dir) : dir_(dir)
    {
        std::filesystem::create_directory(dir.file("bin"));
        std::filesystem::copy_file(vtest::record_args_tool(), dir.file("bin/xchm"));
        save("PATH");
        save("DISPLAY");
        save("WAYLAND_DISPLAY");
        save("RECORD_ARGS_TO");
        ::setenv("PATH", dir.file("bin").c_str(), 1);
        ::setenv("DISPLAY", ":42", 1);
        ::unsetenv("WAYLAND_DISPLAY");
    }
    ~FakeViewer()
    {
        for (auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    void record_to(const std::string& name) { ::setenv("RECORD_ARGS_TO", dir_.file(name).c_str(), 1); }

private:
    void save(const char* name)
    {
        const char* v = std::getenv(name);
        saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    const vtest::TempDir& dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace

TEST(Tarvex, PassesExactlyThePathAndTopic)
{
    vtest::TempDir dir;
    FakeViewer viewer(dir);
    struct Case {
        std::string file;
        int topic;
    };
    const Case cases[] = {
        {"/opt/vantrel/Vantrel.chm", 1000},
        {dir.file("dir with spaces;and semicolons/Vantrel.chm"), 1009},
        {"/missing/Vantrel.chm", -7},  // unmapped topics and missing files are passed on as they are
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string record = "args" + std::to_string(n++);
        viewer.record_to(record);
        std::vector<char> path(c.file.begin(), c.file.end());
        path.push_back('\0');
        callHtmlHelp(path.data(), c.topic);
        EXPECT_EQ(std::string(path.data()), c.file) << "the caller's text was changed";
        auto args = vtest::read_recorded_args(dir.file(record));
        ASSERT_EQ(args.size(), 3u);
        EXPECT_EQ(args[0], dir.file("bin/xchm"));
        EXPECT_EQ(args[1], "--contextid=" + std::to_string(c.topic));
        EXPECT_EQ(args[2], c.file);
    }
}

TEST(Tarvex, WithoutDisplayOrViewerNothingIsStarted)
{
    vtest::TempDir dir;
    FakeViewer viewer(dir);
    char file[] = "/opt/vantrel/Vantrel.chm";

    ::unsetenv("DISPLAY");
    viewer.record_to("no-display");
    callHtmlHelp(file, 1001);

    ::setenv("DISPLAY", ":42", 1);
    ::setenv("PATH", dir.file("empty").c_str(), 1);
    viewer.record_to("no-viewer");
    callHtmlHelp(file, 1002);
    callHtmlHelp(nullptr, 1002);

    // A call that does start the viewer, recorded after the two above.
    ::setenv("PATH", dir.file("bin").c_str(), 1);
    viewer.record_to("started");
    callHtmlHelp(file, 1003);
    ASSERT_EQ(vtest::read_recorded_args(dir.file("started")).size(), 3u);
    EXPECT_FALSE(vsys::file_exists(dir.file("no-display")));
    EXPECT_FALSE(vsys::file_exists(dir.file("no-viewer")));
}

TEST(Tarvex, ReturnsWithoutWaitingForTheViewer)
{
    // A viewer that never exits on its own must not hold the caller: it notes its process and sleeps.
    vtest::TempDir dir;
    FakeViewer viewer(dir);
    const std::string pid_file = dir.file("viewer.pid");
    std::filesystem::remove(dir.file("bin/xchm"));
    {
        std::ofstream script(dir.file("bin/xchm"));
        script << "#!/bin/sh\necho $$ > '" << pid_file << ".tmp' && /bin/mv '" << pid_file << ".tmp' '" << pid_file
               << "'\nexec /bin/sleep 3600\n";
    }
    std::filesystem::permissions(dir.file("bin/xchm"), std::filesystem::perms::owner_all);
    char file[] = "/opt/vantrel/Vantrel.chm";
    callHtmlHelp(file, 0);
    // Back here while the viewer still runs.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!vsys::file_exists(pid_file) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(pid_file);
    pid_t pid = 0;
    ASSERT_TRUE(in >> pid) << "the viewer never started";
    EXPECT_EQ(::kill(pid, 0), 0) << "the viewer had already ended";
    ::kill(pid, SIGTERM);
}
