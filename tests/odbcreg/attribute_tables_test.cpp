// The packed attribute lists of every driver row and of both sample data-source sets, byte for byte.
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

struct DriverCase {
    const char* name;
    std::string bytes;
};

// Written out entry by entry from the driver table, not derived from the code's table.
const std::vector<DriverCase>& expected_drivers()
{
    static const std::vector<DriverCase> cases = {
        {"Btrieve", packed({"VI/DIZ 32-BIT Btrieve", "Driver=CDBTR09.DLL", "Setup=CDBTR09.DLL", "APILevel=1",
                            "ConnectFunctions=YYN", "DriverODBCVer=02.50", "FileUsage=1", "FileExtns=*.dta",
                            "SQLLevel=0"})},
        {"dBase", packed({"VI/DIZ 32-BIT dBASEFile (*.dbf)", "Driver=CDDBF09.DLL", "Setup=CDDBF09.DLL", "APILevel=1",
                          "ConnectFunctions=YYN", "DriverODBCVer=02.50", "FileUsage=1", "FileExtns=*.dbf",
                          "SQLLevel=0"})},
        {"DB2", packed({"VI/DIZ 32-BIT DB2/2", "Driver=CDDB209.DLL", "Setup=CDDB209.DLL", "APILevel=1",
                        "ConnectFunctions=YYN", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=1"})},
        {"FoxPro", packed({"VI/DIZ 32-BIT FoxPro 3.0", "Driver=CDDBF09.DLL", "Setup=CDDBF09.DLL", "APILevel=1",
                           "ConnectFunctions=YYN", "DriverODBCVer=02.50", "FileUsage=2", "SQLLevel=0"})},
        {"Excel", packed({"VI/DIZ 32-BIT ExcelFile (*.xls)", "Driver=CDXLS09.DLL", "Setup=CDXLS09.DLL", "APILevel=1",
                          "ConnectFunctions=YYN", "DriverODBCVer=02.50", "FileUsage=1", "SQLLevel=0",
                          "FileExtns=*.xls"})},
        {"Excel5", packed({"VI/DIZ 32-BIT Excel5Workbook (*.xls)", "Driver=CDXLS509.DLL", "Setup=CDXLS509.DLL",
                           "APILevel=1", "ConnectFunctions=YYN", "DriverODBCVer=02.50", "FileUsage=2", "SQLLevel=0",
                           "FileExtns=*.xls"})},
        {"INFORMIX5", packed({"VI/DIZ 32-BIT INFORMIX5", "Driver=CDINF509.DLL", "Setup=CDINF509.DLL", "APILevel=1",
                              "ConnectFunctions=YYY", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=1"})},
        {"INFORMIX7", packed({"VI/DIZ 32-BIT INFORMIX7", "Driver=CDINF709.DLL", "Setup=CDINF709.DLL", "APILevel=1",
                              "ConnectFunctions=YYY", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=1"})},
        {"INGRES", packed({"VI/DIZ 32-BIT INGRES 6.4/04", "Driver=CDING409.DLL", "Setup=CDING409.DLL", "APILevel=1",
                           "ConnectFunctions=YYY", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=0"})},
        {"Oracle7", packed({"VI/DIZ 32-BIT Oracle 7", "Driver=CDOR709.DLL", "Setup=CDOR709.DLL", "APILevel=1",
                            "ConnectFunctions=YYY", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=1"})},
        {"Paradox", packed({"VI/DIZ 32-BIT ParadoxFile", "Driver=CDIDP09.DLL", "Setup=CDIDP09.DLL", "APILevel=1",
                            "ConnectFunctions=YYN", "DriverODBCVer=02.50", "FileUsage=1", "FileExtns=*.db",
                            "SQLLevel=0"})},
        {"SQLServer", packed({"VI/DIZ 32-BIT SQLServer", "Driver=CDSS09.DLL", "Setup=CDSS09.DLL", "APILevel=1",
                              "ConnectFunctions=YYY", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=1"})},
        {"SQLServer6", packed({"VI/DIZ 32-BIT SQLServer6", "Driver=CDSS609.DLL", "Setup=CDSS609.DLL", "APILevel=1",
                               "ConnectFunctions=YYY", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=1"})},
        {"SQLBase", packed({"VI/DIZ 32-BIT SQLBase", "Driver=CDGUP09.DLL", "Setup=CDGUP09.DLL", "APILevel=1",
                            "ConnectFunctions=YYY", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=1"})},
        {"Sybase", packed({"VI/DIZ 32-BIT Sybase System 10", "Driver=CDSYB09.DLL", "Setup=CDSYB09.DLL", "APILevel=1",
                           "ConnectFunctions=YYY", "DriverODBCVer=02.50", "FileUsage=0", "SQLLevel=0"})},
        {"Textfile", packed({"VI/DIZ 32-BIT Text Files (*.*)", "Driver=CDTXT09.DLL", "Setup=CDTXT09.DLL",
                             "APILevel=1", "ConnectFunctions=YYN", "DriverODBCVer=02.50", "FileUsage=1",
                             "SQLLevel=0", "FileExtns=*.*"})},
    };
    return cases;
}

std::string pack(const AttributeList& list)
{
    std::string bytes;
    int written = pack_attribute_list(list, bytes);
    EXPECT_EQ(written, static_cast<int>(bytes.size()));
    return bytes;
}

TEST(OdbcregDriverTable, EveryRowPacksToItsListInTableOrder)
{
    ASSERT_EQ(expected_drivers().size(), static_cast<std::size_t>(kDriverCount));
    for (int i = 0; i < kDriverCount; ++i) {
        const auto& expected = expected_drivers()[static_cast<std::size_t>(i)];
        SCOPED_TRACE(expected.name);
        EXPECT_EQ(driver_table[static_cast<std::size_t>(i)].name, expected.name);
        EXPECT_EQ(driver_table[static_cast<std::size_t>(i)].builder(), 0);
        EXPECT_EQ(pack(driver_attributes), expected.bytes);
    }
}

// A shorter row after a longer one must not drag the longer one's last entries along.
TEST(OdbcregDriverTable, ShorterRowAfterLongerLeavesNothingBehind)
{
    driver_attribute_builders[0]();  // Btrieve: 9 entries
    driver_attribute_builders[2]();  // DB2: 8 entries
    EXPECT_EQ(pack(driver_attributes), expected_drivers()[2].bytes);
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
