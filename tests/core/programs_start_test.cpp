// Both programs, as installed beside their help library and panels, start on an empty working directory and end cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/sys/files.h"
#include "platform/sys/launch.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class Installed : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* f : {"Vantrel", "VantrelReview", "libTarvex.so"})
            fs::copy_file(vtest::bin_dir() + "/" + f, program.file(f));
        fs::copy(vtest::bin_dir() + "/panels", program.file("panels"), fs::copy_options::recursive);
    }
    vtest::TempDir program;
    vtest::TempDir data;
};

TEST_F(Installed, BothProgramsStartOnAnEmptyWorkingDirectory)
{
    for (const char* name : {"Vantrel", "VantrelReview"}) {
        SCOPED_TRACE(name);
        const std::string work = data.file(name) + "/work";
        program.write("VANTREL.INI", "[VANTREL]\r\nDIR = " + work + "\r\n");
        EXPECT_EQ(vsys::spawn_and_wait({program.file(name)}), 0);
        for (const char* f : {"VT_INFO.DBF", "OOC_ALRM.DBF", "ENDP_DAT.DBF", "ENDP_PAR.DBF", "CONFIG.DBF"})
            EXPECT_TRUE(vsys::file_exists(work + "/" + f)) << f;
        EXPECT_TRUE(vsys::directory_exists(work + "/SC_DATA"));
        EXPECT_TRUE(vsys::directory_exists(work + "/Setup"));
        // A second start finds everything in place.
        EXPECT_EQ(vsys::spawn_and_wait({program.file(name)}), 0);
    }
}

TEST_F(Installed, WithoutAnIniTheProgramDirectoryIsTheWorkingDirectory)
{
    EXPECT_EQ(vsys::spawn_and_wait({program.file("Vantrel")}), 0);
    EXPECT_EQ(program.read("VANTREL.INI"), "\n[VANTREL]\nDIR = " + program.path() + "\n");
    EXPECT_TRUE(vsys::file_exists(program.file("VT_INFO.DBF")));
}

TEST_F(Installed, AnOldWindowsWorkingDirectoryIsRefused)
{
    program.write("VANTREL.INI", "[VANTREL]\r\nDIR = C:\\VANTREL\\DATA\r\n");
    EXPECT_NE(vsys::spawn_and_wait({program.file("Vantrel")}), 0);
    EXPECT_FALSE(vsys::file_exists(program.file("VT_INFO.DBF")));
}

}  // namespace
