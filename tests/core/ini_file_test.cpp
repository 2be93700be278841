// The INI file: reading and rewriting one key, where the file lives, and settling the working directory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/ini_file.h"
#include "tests/core/core_fixture.h"

namespace {

class Ini : public coretest::CoreTest {
protected:
    std::string read(const char* key, const char* section = "[VANTREL]")
    {
        char value[kIniValueSize];
        std::memset(value, 'z', sizeof value);
        read_rite_ini("VANTREL.INI", 0, section, key, value);
        if (static_cast<unsigned char>(value[0]) == kIniMissing) return "<missing>";
        return value;
    }
    void write(const char* key, const char* v, const char* section = "[VANTREL]")
    {
        char value[kIniValueSize];
        std::strcpy(value, v);
        read_rite_ini("VANTREL.INI", 1, section, key, value);
    }
    std::string file() { return program.read("VANTREL.INI"); }
    void file(const std::string& content) { program.write("VANTREL.INI", content); }
};

TEST_F(Ini, ReadingKeys)
{
    file("; settings\r\n"
         "[OTHER]\r\n"
         "ARCHIVE = /elsewhere\r\n"
         "\r\n"
         "[VANTREL]\r\n"
         "  ; DIR = /commented\r\n"
         "DIR = /data/with blanks=and equals\r\n"
         " ARCHIVE = /indented\r\n"
         "LEGEND_WIDTH==  120\r\n"
         "EMPTY\r\n"
         "\r\n"
         "LEGEND_VISIBLE = 1\r\n");
    struct Case {
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"DIR", "/data/with blanks=and equals"},
        {"ARCHIVE", "<missing>"},  // only in another section, or indented
        {"LEGEND_WIDTH", "120"},
        {"EMPTY", ""},
        {"LEGEND_VISIBLE", "<missing>"},  // after the blank line that ended the section
        {"dir", "<missing>"},
    };
    for (const Case& c : cases) EXPECT_EQ(read(c.key), c.expected) << c.key;
}

TEST_F(Ini, NoFileGetsTheSectionAndTheKey)
{
    EXPECT_EQ(read("DIR"), "<missing>");
    write("DIR", "/srv/vantrel");
    EXPECT_EQ(file(), "\n[VANTREL]\nDIR = /srv/vantrel\n");
    EXPECT_EQ(read("DIR"), "/srv/vantrel");
}

TEST_F(Ini, WritesGoToTheRightPlace)
{
    struct Case {
        std::string before;
        const char* key;
        const char* value;
        std::string after;
    };
    const Case cases[] = {
        // Added to its section before the blank line that ends it.
        {"[OTHER]\nARCHIVE = x\n\n[VANTREL]\nDIR = /d\n\n[LAST]\nA = 1\n", "ARCHIVE", "NA",
         "[OTHER]\nARCHIVE = x\n\n[VANTREL]\nDIR = /d\nARCHIVE = NA\n\n[LAST]\nA = 1\n"},
        // ... or before the next header.
        {"[VANTREL]\nDIR = /d\n[LAST]\n", "ARCHIVE", "NA", "[VANTREL]\nDIR = /d\nARCHIVE = NA\n[LAST]\n"},
        // A section at the end without the key: appended at the end, also after a last line without line end.
        {"[VANTREL]\nDIR = /d", "LEGEND_WIDTH", "90", "[VANTREL]\nDIR = /d\nLEGEND_WIDTH = 90\n"},
        // Replaced in place; comments naming the key are copied unchanged; CR LF lines stay.
        {"[VANTREL]\r\n; DIR = old\r\nDIR=/old\r\nX = 1\r\n", "DIR", "/new", "[VANTREL]\r\n; DIR = old\r\nDIR = /new\nX = 1\r\n"},
        // A file without the section.
        {"[OTHER]\nA = 1\n", "DIR", "/d", "[OTHER]\nA = 1\n\n[VANTREL]\nDIR = /d\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        file(c.before);
        write(c.key, c.value);
        EXPECT_EQ(file(), c.after);
        EXPECT_EQ(read(c.key), c.value);
    }
    EXPECT_FALSE(vsys::file_exists(program.file("TEMP.INI")));
}

TEST_F(Ini, LongLinesAreReadInBoundedPieces)
{
    file("[VANTREL]\nDIR = " + std::string(600, 'a') + "\nARCHIVE = NA\n");
    std::string dir = read("DIR");
    EXPECT_LE(dir.size(), 323u);
    EXPECT_EQ(dir, std::string(dir.size(), 'a'));
    EXPECT_EQ(read("ARCHIVE"), "NA");
}

TEST_F(Ini, UnwritableProgramDirectoryKeepsTheIniInTheConfigDirectory)
{
    vtest::TempDir config;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    vsys::set_project_dir_override("/nonexistent/vantrel-program");
    EXPECT_EQ(ini_directory(), config.path() + "/vantrel");
    write("DIR", "/srv/x");
    EXPECT_EQ(config.read("vantrel/VANTREL.INI"), "\n[VANTREL]\nDIR = /srv/x\n");
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    vsys::set_project_dir_override(program.path());
    EXPECT_EQ(ini_directory(), program.path());
}

TEST_F(Ini, WorkingDirectoryIsCreatedFromTheRootAndEntered)
{
    vtest::TempDir keep_cwd(true);  // restores the current directory afterwards
    const std::string target = dir.path() + "/plant/line 2/tool";
    write("DIR", target.c_str());
    std::string path = "old";
    EXPECT_EQ(get_working_directory(&path), 1);
    EXPECT_EQ(path, target);
    EXPECT_TRUE(vsys::directory_exists(target + "/SC_DATA"));
    EXPECT_TRUE(vsys::directory_exists(target + "/Setup"));
    EXPECT_EQ(std::filesystem::current_path().string(), target);
}

TEST_F(Ini, MissingDirIsTheProgramDirectory)
{
    vtest::TempDir keep_cwd(true);
    std::string path;
    EXPECT_EQ(get_working_directory(&path), 1);
    EXPECT_EQ(path, program.path());
    EXPECT_EQ(read("DIR"), program.path());
    EXPECT_TRUE(vsys::directory_exists(program.file("SC_DATA")));
}

TEST_F(Ini, InvalidWorkingDirectoriesStopTheStart)
{
    vtest::TempDir keep_cwd(true);
    program.write("blocker", "a file where a directory should be");
    struct Case {
        std::string dir;
        const char* message;
    };
    const Case cases[] = {
        {"C:\\VANTREL\\DATA", "Invalid working directory."},
        {"\\\\server\\share", "Invalid working directory."},
        {"relative/dir", "Invalid working directory."},
        {program.file("blocker") + "/sub", "Could not create working directory."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        write("DIR", c.dir.c_str());
        ui.answer(1);
        std::string path = "x";
        EXPECT_EQ(get_working_directory(&path), 0);
        EXPECT_EQ(path, "");
        ASSERT_FALSE(ui.popups().empty());
        EXPECT_EQ(ui.popups().back().title, "Fatal Error");
        EXPECT_EQ(ui.popups().back().text, c.message);
    }
    // An empty value too.
    file("[VANTREL]\nDIR =\n");
    ui.answer(1);
    std::string path;
    EXPECT_EQ(get_working_directory(&path), 0);
    EXPECT_EQ(ui.popups().back().text, "Invalid working directory.");
}

}  // namespace
