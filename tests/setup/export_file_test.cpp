// The setup export file: its exact layout, the process-of-record size limit, round trips, and refused imports.
#include <gtest/gtest.h>

#include <cstring>

#include "panels/s_chart.h"
#include "platform/sys/fault_plan.h"
#include "setup/export_file.h"
#include "setup/setup_files.h"
#include "setup/setup_paths.h"
#include "tests/setup/setup_fixture.h"

using setuptest::SetupTest;

namespace {

std::string le32(std::uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string member(const std::string& bytes) { return le32(static_cast<std::uint32_t>(bytes.size())) + bytes; }
std::string field(const std::string& text, std::size_t width)
{
    std::string s = text;
    s.resize(width, '\0');
    return s;
}

class ExportTest : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        // A known setup: named channels, stored limits and a chart, saved into the process tables.
        char text[33] = "RF FWD";
        get_put_char(hdbc, 28, 1, TAGS_WRITE, text);
        vtest::run(hdbc, "CREATE TABLE 0003LIMI (TYPE NUMERIC(5,0), SUBTYPE NUMERIC(5,0), CHANNEL NUMERIC(5,0), "
                         "STEP_INDEX NUMERIC(5,0), LCL NUMERIC(19,9), TARGET NUMERIC(19,9), UCL NUMERIC(19,9))");
        vtest::run(hdbc, "INSERT INTO 0003LIMI VALUES (1, 4, 2, 1, 90.5, -100, 110)");
    }
    // Gives process 3 a process of record: its header row, trace and interval file.
    void add_por(const std::string& trace)
    {
        dir.write("00000003.POR", trace);
        dir.write("00000003.INT", "1\n20\n10\n1 0 12.500\n");
        char sys[17] = "TOOL7", rec[33] = "Etch main", tr[33] = "TOOL7:2026/03/14 09:30:00", com[65] = "";
        short complete = 0, cassette = 12;
        RunContextKeeper keep;
        num_of_wafers = 4;
        sample_rate_index = 10;
        VantrelChannelStatusBits = 0x3;
        std::strcpy(save_date, "2026/03/14");
        std::strcpy(save_time, "09:30:00");
        info_table({hdbc, -1, 3, sys, tr, rec, com, &complete, &cassette});
    }
    std::string table_bytes(const std::string& table) { return dir.read("0003" + table + ".DBF"); }
    std::string tables_part()
    {
        std::string s = le32(0);
        for (const char* t : {"INST", "ACTC", "LIMI", "TAGS", "NUMB"})
            s += vsys::file_exists(dir.file(std::string("0003") + t + ".DBF")) ? member(table_bytes(t)) : le32(0);
        return s;
    }
};

}  // namespace

TEST_F(ExportTest, WithoutPorTheFileEndsAfterTheNumbMember)
{
    ASSERT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 1, 0), 1);
    std::string file = dir.read("Setup/Alpha.Vantrel");
    EXPECT_EQ(file, tables_part());
    EXPECT_EQ(file.size(), 4 + 5 * 4 + table_bytes("LIMI").size() + table_bytes("TAGS").size() +
                               table_bytes("NUMB").size());
}

TEST_F(ExportTest, ExportWithPorMatchesTheLayoutByteForByte)
{
    add_por(std::string("09:30:00\n") + std::string(420, '\x5A'));
    VantrelChannelStatusBits = 0x1;
    ADCBits = 1;
    run_num = 55;
    ASSERT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 1, 0), 1);
    std::string info = field("TOOL7", 17) + field("Etch main", 33) + field("TOOL7:2026/03/14 09:30:00", 33) +
                       field("Type comments here to describe the Process of Record (POR).", 65) +
                       std::string("\x01\x00\x0c\x00", 4) + field("2026/03/14", 11) + field("09:30:00", 9) + le32(10) +
                       le32(4) + le32(0x3);
    ASSERT_EQ(info.size(), 184u);
    EXPECT_EQ(dir.read("Setup/Alpha.Vantrel"),
              tables_part() + member(dir.read("00000003.POR")) + member(dir.read("00000003.INT")) + info);
    // The header read leaves the run in progress alone.
    EXPECT_EQ(VantrelChannelStatusBits, 0x1u);
    EXPECT_EQ(ADCBits, 1);
    EXPECT_EQ(run_num, 55);
}

TEST_F(ExportTest, PorSizeLimit)
{
    struct Case {
        std::size_t size;
        bool member;
    } cases[] = {{99999, true}, {100000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        dir.write("00000003.POR", std::string(c.size, 'p'));
        ExportRecipe("Alpha", setup_directory().c_str(), 1, 0);
        std::size_t expected = tables_part().size() + (c.member ? 4 + c.size + 4 + 0 + 184 : 0);
        EXPECT_EQ(dir.read("Setup/Alpha.Vantrel").size(), expected);
    }
    dir.write("00000003.POR", "");
    ExportRecipe("Alpha", setup_directory().c_str(), 1, 0);
    EXPECT_EQ(dir.read("Setup/Alpha.Vantrel"), tables_part() + le32(0));
}

TEST_F(ExportTest, ByNameAndOverwriteRules)
{
    EXPECT_EQ(ExportRecipe("Nobody", setup_directory().c_str(), 1, 1), 0);
    EXPECT_FALSE(exists("Setup/Nobody.Vantrel"));
    dir.write("Setup/Alpha.Vantrel", "old");
    EXPECT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 0, 1), 0);
    EXPECT_EQ(dir.read("Setup/Alpha.Vantrel"), "old");
    // A failing write leaves the old file whole.
    vsys::set_fault_plan(vsys::FileFault::disk_full_after(10, "Alpha.Vantrel"));
    EXPECT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 1, 1), 0);
    vsys::clear_fault_plan();
    EXPECT_EQ(dir.read("Setup/Alpha.Vantrel"), "old");
}

TEST_F(ExportTest, RoundTripIntoAnotherWorkingDirectory)
{
    add_por(std::string("09:30:00\n") + std::string(420, '\x11'));
    ASSERT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 1, 0), 1);
    const std::string exported = dir.read("Setup/Alpha.Vantrel");
    std::vector<std::string> originals;
    for (const char* f : {"0003LIMI.DBF", "0003TAGS.DBF", "0003NUMB.DBF", "00000003.POR", "00000003.INT"})
        originals.push_back(dir.read(f));

    vtest::TempDir other;
    connect(other.path());
    std::filesystem::create_directory(other.file("Setup"));
    name_process(0, "DEFAULT");
    make_current(3, "Local");
    vtest::TempDir carry;
    carry.write("Alpha.Vantrel", exported);
    ASSERT_EQ(ImportRecipe("Alpha", carry.path().c_str()), 1);
    EXPECT_EQ(recipe_num, 4);
    EXPECT_EQ(config_text(1, 4), "Alpha");
    EXPECT_EQ(config_text(0, 5), "4");
    int i = 0;
    for (const char* f : {"0004LIMI.DBF", "0004TAGS.DBF", "0004NUMB.DBF", "00000004.POR", "00000004.INT"})
        EXPECT_EQ(other.read(f), originals[i++]) << f;
    EXPECT_EQ(rows("SELECT SYSTEM_ID, RECIPE, TRACE_ID, CASSETTE, NUM_WAF, RATE FROM VT_INFO WHERE RUN_NUM = -4"),
              "TOOL7|Etch main|TOOL7:2026/03/14 09:30:00|12|4|10");
    char name[33];
    EXPECT_STREQ(get_put_char(hdbc, 28, 1, TAGS_READ, name), "RF FWD");
    // Exported again, the file is the same byte for byte.
    ASSERT_EQ(ExportRecipe("Alpha", other.file("Setup").c_str(), 1, 0), 1);
    EXPECT_EQ(other.read("Setup/Alpha.Vantrel"), exported);
}

TEST_F(ExportTest, DamagedFilesAreRefusedWithoutChange)
{
    add_por(std::string("09:30:00\n") + std::string(100, '\x22'));
    ASSERT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 1, 0), 1);
    const std::string good = dir.read("Setup/Alpha.Vantrel");
    const std::size_t first = 4 + 4;  // the INST member is empty: ACTC's length comes next
    std::string negative = good;
    negative.replace(first, 4, le32(0xFFFFFFF0u));
    std::string huge = good;
    huge.replace(first, 4, le32(0x7FFFFFF0u));
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"cut inside a member", good.substr(0, 30)},
        {"cut inside a length", good.substr(0, 6)},
        {"cut inside the info block", good.substr(0, good.size() - 10)},
        {"negative length", negative},
        {"length beyond the end", huge},
        {"shorter than the version", "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("Setup/Broken.Vantrel", c.bytes);
        ui.answer(1);
        EXPECT_EQ(ImportRecipe("Broken", setup_directory().c_str()), -1);
        EXPECT_EQ(ui.popups().back().title, "Import Error");
        EXPECT_EQ(recipe_num, 3);
        EXPECT_FALSE(exists("0004NUMB.DBF"));
        EXPECT_FALSE(exists("00000004.POR"));
        EXPECT_EQ(rows("SELECT INDEX FROM CONFIG WHERE PARAM = 1 AND INDEX = 4"), "");
    }
}

TEST_F(ExportTest, ImportOfAFileThatCannotBeOpenedChangesNothing)
{
    ui.answer(1);
    EXPECT_EQ(ImportRecipe("Missing", setup_directory().c_str()), -1);
    EXPECT_EQ(ui.popups().back().title, "Import Error");
    EXPECT_EQ(recipe_num, 3);
    EXPECT_EQ(rows("SELECT INDEX FROM CONFIG WHERE PARAM = 1 AND INDEX = 4"), "");
}

TEST_F(ExportTest, ImportOverAnExistingNameAsksFirst)
{
    ASSERT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 1, 0), 1);
    make_current(4, "Beta");
    ui.answer_no();
    EXPECT_EQ(ImportRecipe("Alpha", setup_directory().c_str()), -1);
    EXPECT_EQ(ui.popups().back().text,
              "Import file already exist in Vantrel Setup directory.  Are you sure you want to write over existing setup?");
    EXPECT_EQ(recipe_num, 4);
    ui.answer_yes();
    EXPECT_EQ(ImportRecipe("Alpha", setup_directory().c_str()), 1);
    EXPECT_EQ(recipe_num, 3);
}

TEST_F(ExportTest, ImportedNamesFollowTheSaveAsRules)
{
    const std::string longName(33, 'n');
    dir.write("Setup/" + longName + ".Vantrel", dir.read("0003NUMB.DBF"));
    ui.answer(1);
    EXPECT_EQ(ImportRecipe(longName.c_str(), setup_directory().c_str()), -1);
    EXPECT_EQ(ui.popups().back().text, "File name exceeds 32 char.  Please try again.");
}

TEST_F(ExportTest, FileMenuImportStoresAndReexportsIntoSetup)
{
    ASSERT_EQ(ExportRecipe("Carried", dir.path().c_str(), 1, 0), 1);
    ui.answer_path(file("Carried.Vantrel"));
    save_read(0, MENUBAR_FILE_IMPORT, nullptr, 0);
    EXPECT_EQ(recipe_num, 4);
    EXPECT_EQ(dir.read("Setup/Carried.Vantrel"), dir.read("Carried.Vantrel"));
}

// Members that are no tables of their kind, and information blocks a header row cannot hold: each is refused
// with its reason before any file is replaced.
TEST_F(ExportTest, MembersThatAreNotTablesOfTheirKindAreRefusedWithoutChange)
{
    add_por(std::string("09:30:00\n") + std::string(100, '\x22'));
    ASSERT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 1, 0), 1);
    const std::string good = dir.read("Setup/Alpha.Vantrel");
    // Where each table member's bytes begin in the exported file.
    std::size_t at[5];
    for (std::size_t i = 0, pos = 4; i < 5; ++i) {
        std::uint32_t n = 0;
        std::memcpy(&n, good.data() + pos, 4);
        at[i] = pos + 4;
        pos += 4 + n;
    }
    const std::string limi = table_bytes("LIMI"), tags = table_bytes("TAGS"), numb = table_bytes("NUMB");
    const std::size_t limi_at = at[2], tags_at = at[3];
    const std::size_t info_at = good.size() - 184;
    auto with_member = [&](std::size_t at, std::size_t old_size, const std::string& bytes) {
        return good.substr(0, at - 4) + member(bytes) + good.substr(at + old_size);
    };
    auto with_info = [&](std::size_t offset, const std::string& bytes) {
        std::string s = good;
        s.replace(info_at + offset, bytes.size(), bytes);
        return s;
    };
    std::string random(120, '\0');
    for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 89 + 17) % 251);
    std::string short_count = limi;
    short_count[4] = static_cast<char>(short_count[4] + 3);  // more records declared than the file holds
    std::string bad_record_length = limi;
    bad_record_length[10] = static_cast<char>(bad_record_length[10] + 1);
    struct Case {
        const char* what;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"random bytes for a table", with_member(limi_at, limi.size(), random), "LIMI member is not a dBase table"},
        {"a header only", with_member(limi_at, limi.size(), limi.substr(0, 40)), "LIMI member is not a dBase table"},
        {"records the file does not hold", with_member(limi_at, limi.size(), short_count), "LIMI member is not a dBase table"},
        {"a record length off its fields", with_member(limi_at, limi.size(), bad_record_length),
         "LIMI member is not a dBase table"},
        {"a NUMB table as TAGS", with_member(tags_at, tags.size(), numb), "TAGS member does not have the columns"},
        {"rate code -301", with_info(17 + 33 + 33 + 65 + 4 + 20, le32(static_cast<std::uint32_t>(-301))), "out of range"},
        {"rate code far beyond", with_info(17 + 33 + 33 + 65 + 4 + 20, le32(0x7FFFFFFF)), "out of range"},
        {"wafer count 5000", with_info(17 + 33 + 33 + 65 + 4 + 20 + 4, le32(5000)), "out of range"},
        {"completion 7", with_info(17 + 33 + 33 + 65, std::string("\x07\x00", 2)), "out of range"},
        {"a control character in the recipe", with_info(17, "A\x01"), "out of range"},
    };
    const std::string before_tags = dir.read("0003TAGS.DBF");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("Setup/Broken.Vantrel", c.bytes);
        ui.answer(1);
        EXPECT_EQ(ImportRecipe("Broken", setup_directory().c_str()), -1);
        EXPECT_EQ(ui.popups().back().title, "Import Error");
        EXPECT_NE(ui.popups().back().text.find(c.reason), std::string::npos) << ui.popups().back().text;
        EXPECT_NE(ui.popups().back().text.find("nothing was changed"), std::string::npos);
        EXPECT_EQ(recipe_num, 3);
        for (const char* f : {"0004LIMI.DBF", "0004TAGS.DBF", "0004NUMB.DBF", "00000004.POR", "00000004.INT"})
            EXPECT_FALSE(exists(f)) << f;
        EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM = -4"), "0");
        EXPECT_EQ(rows("SELECT INDEX FROM CONFIG WHERE PARAM = 1 AND INDEX = 4"), "");
        std::size_t others = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string()[0] == '.') ++others;
        EXPECT_EQ(others, 0u) << "a staged file stayed behind";
    }
    // Over an existing process the same refusals leave its tables as they were.
    ui.answer_yes();
    ui.answer(1);
    dir.write("Setup/Alpha.Vantrel", with_member(tags_at, tags.size(), numb));
    EXPECT_EQ(ImportRecipe("Alpha", setup_directory().c_str()), -1);
    EXPECT_EQ(dir.read("0003TAGS.DBF"), before_tags);
    // The file as exported still imports.
    dir.write("Setup/Whole.Vantrel", good);
    EXPECT_EQ(ImportRecipe("Whole", setup_directory().c_str()), 1);
    EXPECT_EQ(dir.read("0004LIMI.DBF"), limi);
}

// A failing disk while the members are staged or put in place: the import fails and the target keeps its files.
TEST_F(ExportTest, AFailingDiskDuringImportChangesNothing)
{
    ASSERT_EQ(ExportRecipe("Alpha", setup_directory().c_str(), 1, 0), 1);
    const std::string before = dir.read("0003LIMI.DBF");
    using vsys::FileFault;
    using vsys::FileOp;
    for (const FileFault& fault : {FileFault::disk_full_after(0), FileFault::disk_full_after(300),
                                   FileFault {FileOp::create}, FileFault {FileOp::flush}, FileFault {FileOp::close}}) {
        SCOPED_TRACE(static_cast<int>(fault.op));
        ui.answer_yes();
        ui.answer(1);
        vsys::set_fault_plan(fault);
        EXPECT_EQ(ImportRecipe("Alpha", setup_directory().c_str()), -1);
        vsys::clear_fault_plan();
        EXPECT_EQ(ui.popups().back().title, "Import Error");
        EXPECT_EQ(dir.read("0003LIMI.DBF"), before);
    }
}
