// The packed attribute lists: driver rows one after another, both sample data-source sets, the packing itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "odbcreg/attribute_tables.h"
#include "odbcreg/odbcreg.h"

namespace {

std::string packed(std::initializer_list<const char*> entries)
{
    std::string bytes;
    for (const char* e : entries) {
        bytes += e;
        bytes += '\0';
    }
    bytes += '\0';
    return bytes;
}

std::string pack(const AttributeList& list)
{
    std::string bytes;
    int written = pack_attribute_list(list, bytes);
    EXPECT_EQ(written, static_cast<int>(bytes.size()));
    return bytes;
}

// A shorter row after a longer one must not drag the longer one's last entries along.
TEST(OdbcregDriverTable, ShorterRowAfterLongerLeavesNothingBehind)
{
    driver_attribute_builders[2]();  // DB2: 8 entries
    const std::string alone = pack(driver_attributes);
    driver_attribute_builders[0]();  // Btrieve: 9 entries
    driver_attribute_builders[2]();
    EXPECT_EQ(pack(driver_attributes), alone);
    EXPECT_EQ(driver_attributes.entries[0], "VI/DIZ 32-BIT DB2/2");
}

TEST(OdbcregDataSourceSets, DbaseSetPacksWithTheDirectory)
{
    EXPECT_EQ(build_dbase_dsn_attributes("/srv/vantrel data"), 0);
    EXPECT_EQ(pack(data_source_attributes),
              packed({"DSN=ZID32_Samples", "CacheSize=4", "CreateType=dBASE5", "Database=/srv/vantrel data",
                      "Description=DSN for VI/DIZ SQL Toolkit Samples", "FileOpenCache=0", "IntlSort=0",
                      "LockCompatibility=dBASE", "Locking=NONE", "UseLongNames=1", "UseLongQualifiers=1"}));
    EXPECT_EQ(dbase_driver_description(), "VI/DIZ 32-BIT dBASEFile (*.dbf)");
}

TEST(OdbcregDataSourceSets, AccessSetAfterDbaseSetHasExactlyItsSevenEntries)
{
    build_dbase_dsn_attributes("/data");
    EXPECT_EQ(build_access_dsn_attributes("/data"), 0);
    EXPECT_EQ(pack(data_source_attributes),
              packed({"DSN=ZID32_Samples", "FIL=MS Access", "DBQ=/data/samples.mdb", "DefaultDir=/data",
                      "Description=DSN for VI/DIZ SQL Toolkit Samples", "PWD=", "UID=admin"}));
}

// No entry length is cut short: a long directory comes through whole.
TEST(OdbcregDataSourceSets, LongDirectoryIsKeptWhole)
{
    std::string directory = "/" + std::string(3000, 'd');
    build_dbase_dsn_attributes(directory);
    EXPECT_EQ(data_source_attributes.entries[3], "Database=" + directory);
    build_access_dsn_attributes(directory);
    EXPECT_EQ(data_source_attributes.entries[2], "DBQ=" + directory + "/samples.mdb");
}

TEST(OdbcregPacking, StopsAtTheFirstEmptyEntry)
{
    struct Case {
        std::vector<std::string> entries;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {{}, std::string(1, '\0')},
        {{"", "Driver=x"}, std::string(1, '\0')},
        {{"A", "B=1", "", "C=2"}, packed({"A", "B=1"})},
        {{"PWD="}, packed({"PWD="})},
    };
    for (const auto& c : cases) {
        AttributeList list{c.entries};
        std::string bytes = "stale";
        EXPECT_EQ(pack_attribute_list(list, bytes), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(bytes, c.bytes);
    }
}

}  // namespace

namespace {

// The help text's shape: 27 lines, blanks where they belong, no line feed at the end.
TEST(OdbcregHelpText, HasItsTwentySevenLines)
{
    std::vector<std::string> lines;
    std::string text = help_text();
    std::size_t at = 0;
    for (;;) {
        std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 27u);
    EXPECT_EQ(lines[0], "This program registers database drivers in the ODBC ");
    EXPECT_EQ(lines[6], "This program can have the following arguments: ");
    for (std::size_t empty : {5u, 7u, 12u, 15u, 19u, 22u, 24u}) EXPECT_EQ(lines[empty], "") << empty;
    EXPECT_EQ(lines[9], "      Btrieve, dBase, DB2, Excel, Excel5, FoxPro,");
    EXPECT_EQ(lines[16], "  To configure the 'ZID_Samples' data source:");
    EXPECT_EQ(lines[23], "    (Note, the DSN will not be removed if its driver does not exist.)");
    EXPECT_EQ(lines[26], "      QUIET");
}

}  // namespace
