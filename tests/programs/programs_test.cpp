// Both programs as installed: beside their help library, panels and board files they start on an empty
// working directory, serve their window and end cleanly on SIGTERM; without the help library neither starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/sys/files.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Installed : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(vtest::bin_dir(), program.path(), fs::copy_options::recursive); }

    // Starts an edition on a free port of the loopback address.
    // Each start writes a log of its own, so a sign of life is never an earlier run's.
    std::unique_ptr<vtest::RunningProgram> start(const std::string& name)
    {
        ++runs;
        return std::make_unique<vtest::RunningProgram>(
            std::vector<std::string>{program.file(name), "--http", "127.0.0.1:0"}, log());
    }
    std::string log() const { return data.file("program" + std::to_string(runs) + ".log"); }
    bool serving() const { return read_text(log()).find("Open http://127.0.0.1:") != std::string::npos; }

    vtest::TempDir program;
    vtest::TempDir data;
    int runs = 0;
};

TEST_F(Installed, BothProgramsStartOnAnEmptyWorkingDirectoryAndStopOnRequest)
{
    for (const char* name : {"Vantrel", "VantrelReview"}) {
        SCOPED_TRACE(name);
        const std::string work = data.file(name) + "/work";
        program.write("VANTREL.INI", "[VANTREL]\r\nDIR = " + work + "\r\n");
        for (int run = 0; run < 2; ++run) {  // the second start finds everything in place
            auto p = start(name);
            ASSERT_TRUE(p->started());
            // Serving is the sign of life for both editions; the review edition then
            // waits at its start-up popup, which the stop request ends.
            EXPECT_TRUE(p->wait_for([&] { return serving(); })) << read_text(log());
            EXPECT_EQ(p->stop(), 0) << read_text(log());
        }
        for (const char* f : {"VT_INFO.DBF", "OOC_ALRM.DBF", "ENDP_DAT.DBF", "ENDP_PAR.DBF", "CONFIG.DBF"})
            EXPECT_TRUE(vsys::file_exists(work + "/" + f)) << f;
        EXPECT_TRUE(vsys::directory_exists(work + "/SC_DATA"));
        EXPECT_TRUE(vsys::directory_exists(work + "/Setup"));
    }
}

TEST_F(Installed, WithoutAnIniTheProgramDirectoryIsTheWorkingDirectory)
{
    fs::remove(program.file("VANTREL.INI"));
    auto p = start("Vantrel");
    EXPECT_TRUE(p->wait_for([&] { return vsys::file_exists(program.file("CONFIG.DBF")); }));
    EXPECT_EQ(p->stop(), 0);
    EXPECT_EQ(program.read("VANTREL.INI"), "\n[VANTREL]\nDIR = " + program.path() + "\n");
    EXPECT_TRUE(vsys::file_exists(program.file("VT_INFO.DBF")));
}

TEST_F(Installed, AnOldWindowsWorkingDirectoryIsRefused)
{
    program.write("VANTREL.INI", "[VANTREL]\r\nDIR = C:\\VANTREL\\DATA\r\n");
    auto p = start("Vantrel");
    // The fatal error waits at its popup for a page to acknowledge it; a stop
    // request ends it, and start-up reports the failure (main returns -1).
    EXPECT_TRUE(p->wait_for([&] { return serving(); }));
    EXPECT_EQ(p->stop(), 255);
    EXPECT_FALSE(vsys::file_exists(program.file("VT_INFO.DBF")));
}

TEST_F(Installed, AnAddressOffLoopbackWithoutTokenIsRefused)
{
    program.write("VANTREL.INI", "[VANTREL]\nDIR = " + data.file("work") + "\n");
    vtest::RunningProgram p({program.file("Vantrel"), "--http", "0.0.0.0:0"}, log());
    EXPECT_NE(p.wait(), 0);
}

TEST_F(Installed, WithoutTheHelpLibraryNeitherStarts)
{
    program.write("VANTREL.INI", "[VANTREL]\nDIR = " + data.file("work") + "\n");
    fs::remove(program.file("libTarvex.so"));
    for (const char* name : {"Vantrel", "VantrelReview"}) {
        SCOPED_TRACE(name);
        vtest::RunningProgram p({program.file(name), "--http", "127.0.0.1:0"}, log());
        // The loader refuses the program before main() runs: nothing is created.
        EXPECT_NE(p.wait(), 0);
        EXPECT_FALSE(vsys::file_exists(data.file("work/CONFIG.DBF")));
    }
}

}  // namespace
