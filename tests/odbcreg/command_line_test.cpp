// The odbcreg program as an installation runs it: command lines against unixODBC in a temporary configuration.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "odbcreg/odbcreg.h"
#include "tests/odbcreg/odbc_sandbox.h"

using odbctest::OdbcSandbox;
using odbctest::RunResult;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::string kDbase = "VI/DIZ 32-BIT dBASEFile (*.dbf)";
const std::string kParadox = "VI/DIZ 32-BIT ParadoxFile";
const std::string kAccess = "Microsoft Access Driver (*.mdb)";

const std::vector<std::string> kAllNames = {"Btrieve", "dBase",     "DB2",       "FoxPro",     "Excel",   "Excel5",
                                            "INFORMIX5", "INFORMIX7", "INGRES",  "Oracle7",    "Paradox", "SQLServer",
                                            "SQLServer6", "SQLBase",  "Sybase",  "Textfile"};
const std::vector<std::string> kAllDescriptions = {
    "VI/DIZ 32-BIT Btrieve",       "VI/DIZ 32-BIT dBASEFile (*.dbf)",     "VI/DIZ 32-BIT DB2/2",
    "VI/DIZ 32-BIT FoxPro 3.0",    "VI/DIZ 32-BIT ExcelFile (*.xls)",     "VI/DIZ 32-BIT Excel5Workbook (*.xls)",
    "VI/DIZ 32-BIT INFORMIX5",     "VI/DIZ 32-BIT INFORMIX7",             "VI/DIZ 32-BIT INGRES 6.4/04",
    "VI/DIZ 32-BIT Oracle 7",      "VI/DIZ 32-BIT ParadoxFile",           "VI/DIZ 32-BIT SQLServer",
    "VI/DIZ 32-BIT SQLServer6",    "VI/DIZ 32-BIT SQLBase",               "VI/DIZ 32-BIT Sybase System 10",
    "VI/DIZ 32-BIT Text Files (*.*)"};

std::string listed(const std::string& headline, const std::vector<std::string>& names)
{
    std::string text = headline;
    for (const auto& n : names) text += "\n    " + n;
    return text;
}

const std::string kDbaseDsnInstalled = "The following dBase DSN has been installed:\n    ZID32_Samples\n";
const std::string kDbaseDsnRemoved = "The following dBase DSN has been removed:\n    ZID32_Samples\n";
const std::string kAccessDsnInstalled = "The following Microsoft Access DSN has been installed:\n    ZID32_Samples\n";
const std::string kDsnNotRemoved = "The following DSN either does not exist or was NOT removed:\n    ZID32_Samples\n";
const std::string kDbaseDsnFailed = "Unable to setup the dBase DSN ZID32_Samples\n";

class OdbcregCommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(sandbox.dir().file("data"));
        data = sandbox.dir().file("data");
    }
    RunResult run(const std::vector<std::string>& words) { return sandbox.odbcreg(words); }
    std::vector<std::string> odbcinst_names(const std::string& kind)
    {
        RunResult r = sandbox.odbcinst({"-q", kind});
        return odbctest::listed_names(r.out);
    }
    std::optional<std::string> driver_value(const std::string& driver, const std::string& key)
    {
        const auto sections = sandbox.drivers();
        const auto* s = odbctest::find_section(sections, driver);
        return s ? s->value(key) : std::nullopt;
    }
    std::optional<std::string> source_value(const std::string& key)
    {
        const auto sections = sandbox.data_sources();
        const auto* s = odbctest::find_section(sections, "ZID32_Samples");
        return s ? s->value(key) : std::nullopt;
    }
    OdbcSandbox sandbox;
    std::string data;
};

// Command lines refused before any pass: exit 1, the text on stderr, nothing written.
TEST_F(OdbcregCommandLine, RefusedCommandLinesChangeNothing)
{
    sandbox.dir().write("plain-file", "x");
    const std::string help = help_text() + "\n";
    const std::string dir_message = "Directory for 'SampConfig' parameter missing or does not exist.\n";
    struct Case {
        std::vector<std::string> words;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{}, help},
        {{"?"}, help},
        {{"QUIET"}, help},
        {{"quiet", "?", "UNINSTALL"}, help},
        {{"dBase", "foo"}, "Driver 'foo', is not a known driver.\nThe paramters received were:\n  dBase foo\n"},
        {{"ALL", "dBase2"}, "Driver 'dBase2', is not a known driver.\nThe paramters received were:\n  ALL dBase2\n"},
        {{"dBase", "SampConfig"}, dir_message},
        {{"dBase", "SampConfig", sandbox.dir().file("missing")}, dir_message},
        {{"dBase", "SampConfig", sandbox.dir().file("plain-file")}, dir_message},
        {{"ALL", "AccessSampConfig", sandbox.dir().file("missing")},
         "Directory for 'AccessSampConfig' parameter missing or does not exist.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.words));
        RunResult r = run(c.words);
        EXPECT_EQ(r.exit_code, kExitRefused);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_THAT(odbcinst_names("-d"), IsEmpty());
        EXPECT_THAT(odbcinst_names("-s"), IsEmpty());
    }
}

// Results go to stdout; every registration reads back through odbcinst.
TEST_F(OdbcregCommandLine, RegistersDriversAndTheDbaseDataSource)
{
    RunResult r = run({"dBase", "paradox", "SampConfig", data});
    EXPECT_TRUE(sandbox.user_files_untouched());  // before odbcinst, which makes an empty one
    EXPECT_EQ(r.exit_code, kExitDone);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, listed("The following drivers have been installed:", {"dBase", "Paradox"}) + "\n\n" +
                         kDbaseDsnInstalled);
    EXPECT_THAT(odbcinst_names("-d"), ElementsAre(kDbase, kParadox));
    EXPECT_THAT(odbcinst_names("-s"), ElementsAre("ZID32_Samples"));

    const auto drivers = sandbox.drivers();
    const auto* driver = odbctest::find_section(drivers, kDbase);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->value("Driver"), "CDDBF09.DLL");
    EXPECT_EQ(driver->value("Setup"), "CDDBF09.DLL");
    EXPECT_EQ(driver->value("ConnectFunctions"), "YYN");
    EXPECT_EQ(driver->value("DriverODBCVer"), "02.50");
    EXPECT_EQ(driver->value("FileExtns"), "*.dbf");
    EXPECT_EQ(driver->value("UsageCount"), "1");

    RunResult dsn = sandbox.odbcinst({"-q", "-s", "-n", "ZID32_Samples"});
    EXPECT_EQ(dsn.exit_code, 0);
    const auto sources = sandbox.data_sources();
    const auto* source = odbctest::find_section(sources, "ZID32_Samples");
    ASSERT_NE(source, nullptr);
    using KV = std::pair<std::string, std::string>;
    EXPECT_THAT(source->values,
                ElementsAre(KV{"Driver", kDbase}, KV{"CacheSize", "4"}, KV{"CreateType", "dBASE5"}, KV{"Database", data},
                            KV{"Description", "DSN for VI/DIZ SQL Toolkit Samples"}, KV{"FileOpenCache", "0"},
                            KV{"IntlSort", "0"}, KV{"LockCompatibility", "dBASE"}, KV{"Locking", "NONE"},
                            KV{"UseLongNames", "1"}, KV{"UseLongQualifiers", "1"}));
    EXPECT_NE(dsn.out.find("Database=" + data), std::string::npos);
}

TEST_F(OdbcregCommandLine, AllRegistersSixteenDriversInTableOrder)
{
    RunResult r = run({"ALL"});
    EXPECT_EQ(r.exit_code, kExitDone);
    EXPECT_EQ(r.out, listed("The following drivers have been installed:", kAllNames) + "\n\n");
    EXPECT_THAT(odbcinst_names("-d"), ::testing::ElementsAreArray(kAllDescriptions));
    EXPECT_THAT(odbcinst_names("-s"), IsEmpty());  // ALL names no data source when registering
}

// Seventeen selections and more are all handled; a repeated driver is registered and listed again.
TEST_F(OdbcregCommandLine, RepeatedSelectionsAreAllHandled)
{
    RunResult r = run({"dBase", "ALL", "ALL", "DBASE"});
    EXPECT_EQ(r.exit_code, kExitDone);
    std::vector<std::string> names = {"dBase"};
    names.insert(names.end(), kAllNames.begin(), kAllNames.end());
    names.insert(names.end(), kAllNames.begin(), kAllNames.end());
    names.push_back("dBase");
    EXPECT_EQ(r.out, listed("The following drivers have been installed:", names) + "\n\n");
    EXPECT_EQ(driver_value(kDbase, "UsageCount"), "4");
    EXPECT_EQ(driver_value(kParadox, "UsageCount"), "2");
}

// The installer only lowers a usage count; odbcreg takes the driver away whole.
TEST_F(OdbcregCommandLine, InstallTwiceThenUninstallOnceRemovesTheDriver)
{
    ASSERT_EQ(run({"dBase", "Paradox"}).exit_code, kExitDone);
    ASSERT_EQ(run({"dbase"}).exit_code, kExitDone);
    EXPECT_EQ(driver_value(kDbase, "UsageCount"), "2");

    RunResult r = run({"UNINSTALL", "dBase"});
    // No data source was there to remove: said on stderr, and the run is not all done.
    EXPECT_EQ(r.exit_code, kExitNotDone);
    EXPECT_EQ(r.err, kDsnNotRemoved);
    EXPECT_EQ(r.out, listed("The following drivers have been removed:", {"dBase"}) + "\n\n");
    EXPECT_THAT(odbcinst_names("-d"), ElementsAre(kParadox));
}

// The data source goes first, then its driver; no directory is needed to remove it.
TEST_F(OdbcregCommandLine, UninstallRemovesTheDataSourceBeforeTheDriver)
{
    ASSERT_EQ(run({"ALL", "SampConfig", data}).exit_code, kExitDone);
    sandbox.dir().write("cfg/odbc.ini", sandbox.dir().read("cfg/odbc.ini") + "[Other]\nDriver=Elsewhere\n");

    RunResult r = run({"uninstall", "dBase"});
    EXPECT_EQ(r.exit_code, kExitDone);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kDbaseDsnRemoved + listed("The following drivers have been removed:", {"dBase"}) + "\n\n");
    EXPECT_THAT(odbcinst_names("-s"), ElementsAre("Other"));
    EXPECT_EQ(odbcinst_names("-d").size(), 15u);

    RunResult all = run({"ALL", "UNINSTALL"});
    EXPECT_EQ(all.exit_code, kExitNotDone);  // the data source is already gone
    EXPECT_EQ(all.err, kDsnNotRemoved);
    EXPECT_EQ(all.out, listed("The following drivers have been removed:", kAllNames) + "\n\n");
    EXPECT_THAT(odbcinst_names("-d"), IsEmpty());
    EXPECT_THAT(odbcinst_names("-s"), ElementsAre("Other"));
}

TEST_F(OdbcregCommandLine, BothDataSourcesTakeTheLaterDirectoryAndTheAccessSetStays)
{
    std::filesystem::create_directory(sandbox.dir().file("with blank"));
    const std::string later = sandbox.dir().file("with blank");
    RunResult r = run({"SampConfig", data, "AccessSampConfig", later});
    EXPECT_EQ(r.exit_code, kExitDone);
    EXPECT_EQ(r.out, kDbaseDsnInstalled + kAccessDsnInstalled);
    const auto sources = sandbox.data_sources();
    ASSERT_EQ(sources.size(), 1u);
    using KV = std::pair<std::string, std::string>;
    EXPECT_THAT(sources[0].values,
                ElementsAre(KV{"Driver", kAccess}, KV{"FIL", "MS Access"}, KV{"DBQ", later + "/samples.mdb"},
                            KV{"DefaultDir", later}, KV{"Description", "DSN for VI/DIZ SQL Toolkit Samples"},
                            KV{"PWD", ""}, KV{"UID", "admin"}));
    EXPECT_THAT(odbcinst_names("-d"), IsEmpty());  // the Access driver is only named
}

TEST_F(OdbcregCommandLine, WordAfterSampConfigIsAlwaysTheDirectory)
{
    std::filesystem::create_directory(sandbox.dir().file("QUIET"));
    RunResult r = run({"SampConfig", "QUIET"});  // relative to the current directory, kept as typed
    EXPECT_EQ(r.exit_code, kExitDone);
    EXPECT_EQ(r.out, kDbaseDsnInstalled);
    EXPECT_EQ(source_value("Database"), "QUIET");
}

// Adding again replaces the data source; it does not pile up keywords.
TEST_F(OdbcregCommandLine, AddingTwiceReplacesTheDataSource)
{
    std::filesystem::create_directory(sandbox.dir().file("second"));
    ASSERT_EQ(run({"AccessSampConfig", data}).exit_code, kExitDone);
    ASSERT_EQ(run({"SampConfig", sandbox.dir().file("second")}).exit_code, kExitDone);
    const auto sources = sandbox.data_sources();
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].value("Driver"), kDbase);
    EXPECT_EQ(sources[0].value("Database"), sandbox.dir().file("second"));
    EXPECT_EQ(sources[0].value("DBQ"), std::nullopt);
}

TEST_F(OdbcregCommandLine, QuietHidesResultsOnly)
{
    RunResult r = run({"QUIET", "ALL", "SampConfig", data});
    EXPECT_EQ(r.exit_code, kExitDone);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(odbcinst_names("-d").size(), 16u);
    EXPECT_THAT(odbcinst_names("-s"), ElementsAre("ZID32_Samples"));

    RunResult removed = run({"UNINSTALL", "ALL", "QUIET"});
    EXPECT_EQ(removed.exit_code, kExitDone);
    EXPECT_EQ(removed.out + removed.err, "");
    EXPECT_THAT(odbcinst_names("-d"), IsEmpty());
    EXPECT_THAT(odbcinst_names("-s"), IsEmpty());
}

// The drivers file is wherever unixODBC looks for it, ODBCINSTINI included.
TEST_F(OdbcregCommandLine, DriversGoWhereUnixOdbcLooks)
{
    sandbox.set_drivers_file_name("drivers.ini");
    ASSERT_EQ(run({"Sybase"}).exit_code, kExitDone);
    EXPECT_TRUE(std::filesystem::exists(sandbox.config_dir() + "/drivers.ini"));
    EXPECT_FALSE(std::filesystem::exists(sandbox.config_dir() + "/odbcinst.ini"));
    EXPECT_THAT(odbcinst_names("-d"), ElementsAre("VI/DIZ 32-BIT Sybase System 10"));
    ASSERT_EQ(run({"UNINSTALL", "Sybase"}).exit_code, kExitDone);
    EXPECT_THAT(odbcinst_names("-d"), IsEmpty());
}

// A directory of exactly this length under `base`, made on disk.
std::string directory_of_length(const std::string& base, std::size_t length, char fill)
{
    std::string path = base;
    while (path.size() < length) {
        std::size_t part = std::min<std::size_t>(200, length - path.size() - 1);
        if (part == 0) part = 1, path.pop_back();  // no room for "/x": lengthen the last part instead
        path += "/" + std::string(part, fill);
    }
    std::filesystem::create_directories(path);
    return path;
}

// "Database=" and the directory fill one ini line of at most 999 characters;
// a longer one is refused before unixODBC sees it (it would overrun its buffers).
TEST_F(OdbcregCommandLine, LongDirectoriesAreWrittenWholeOrNotAtAll)
{
    const std::string longest = directory_of_length(data, 990, 'a');
    ASSERT_EQ(longest.size(), 990u);
    RunResult ok = run({"SampConfig", longest});
    EXPECT_EQ(ok.exit_code, kExitDone);
    EXPECT_EQ(ok.err, "");
    EXPECT_EQ(source_value("Database"), longest);

    for (std::size_t length : {991u, 2500u}) {
        SCOPED_TRACE(length);
        const std::string too_long = directory_of_length(data, length, 'b');
        ASSERT_EQ(too_long.size(), length);
        RunResult refused = run({"QUIET", "dBase", "SampConfig", too_long});
        EXPECT_EQ(refused.exit_code, kExitNotDone);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err, kDbaseDsnFailed);
        // Refused before anything is written: the data source already there stays as it was.
        EXPECT_THAT(odbcinst_names("-s"), ElementsAre("ZID32_Samples"));
        EXPECT_EQ(source_value("Database"), longest);
        EXPECT_THAT(odbcinst_names("-d"), ElementsAre(kDbase));
    }
    // The Access set puts "/samples.mdb" behind the directory: the longest fitting one is shorter.
    RunResult access = run({"AccessSampConfig", longest});
    EXPECT_EQ(access.exit_code, kExitNotDone);
    EXPECT_EQ(access.err, "Unable to setup the Microsoft Access DSN ZID32_Samples\n");
}

// A line break in a directory would start lines of its own in odbc.ini.
TEST_F(OdbcregCommandLine, DirectoryWithLineBreakIsRefusedWithoutTrace)
{
    const std::string odd = sandbox.dir().file("odd\n[Injected]\nDriver=x");
    std::filesystem::create_directory(odd);
    RunResult r = run({"SampConfig", odd});
    EXPECT_EQ(r.exit_code, kExitNotDone);
    EXPECT_EQ(r.err, kDbaseDsnFailed);
    EXPECT_THAT(odbcinst_names("-s"), IsEmpty());
}

// Failing writes: each failed selection is named on stderr, also under QUIET, with its own exit code.
TEST_F(OdbcregCommandLine, FailingInstallerFilesAreReported)
{
    struct Case {
        const char* what;
        std::vector<std::string> words;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"missing configuration directory", {"dBase", "Paradox", "SampConfig", "DATA"}, "",
         listed("The following drivers were NOT installed:", {"dBase", "Paradox"}) + "\n" + kDbaseDsnFailed},
        {"missing configuration directory, quiet", {"QUIET", "Excel", "AccessSampConfig", "DATA"}, "",
         listed("The following drivers were NOT installed:", {"Excel"}) + "\n" +
             "Unable to setup the Microsoft Access DSN ZID32_Samples\n"},
        {"missing configuration directory, removal", {"UNINSTALL", "Paradox"}, "",
         listed("The following drivers were NOT removed:", {"Paradox"}) + "\n"},
    };
    sandbox.set_system_dir(sandbox.dir().file("no-such-dir"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> words = c.words;
        for (auto& w : words)
            if (w == "DATA") w = data;
        RunResult r = run(words);
        EXPECT_EQ(r.exit_code, kExitNotDone);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_FALSE(std::filesystem::exists(sandbox.dir().file("no-such-dir")));
}

// Drivers written, data source not: the results and the failure each go their own way.
TEST_F(OdbcregCommandLine, UnwritableDataSourceFileKeepsTheDrivers)
{
    std::filesystem::create_directory(sandbox.dir().file("cfg/odbc.ini"));
    RunResult r = run({"dBase", "SampConfig", data});
    EXPECT_EQ(r.exit_code, kExitNotDone);
    EXPECT_EQ(r.out, listed("The following drivers have been installed:", {"dBase"}) + "\n\n");
    EXPECT_EQ(r.err, kDbaseDsnFailed);
    EXPECT_THAT(odbcinst_names("-d"), ElementsAre(kDbase));

    RunResult removal = run({"UNINSTALL", "dBase"});
    EXPECT_EQ(removal.exit_code, kExitNotDone);
    EXPECT_EQ(removal.err, kDsnNotRemoved);
    EXPECT_EQ(removal.out, listed("The following drivers have been removed:", {"dBase"}) + "\n\n");
}

TEST_F(OdbcregCommandLine, UnwritableDriversFileListsEveryDriverAsNotDone)
{
    std::filesystem::create_directory(sandbox.dir().file("cfg/odbcinst.ini"));
    RunResult r = run({"Btrieve", "DB2", "SampConfig", data});
    EXPECT_EQ(r.exit_code, kExitNotDone);
    EXPECT_EQ(r.out, kDbaseDsnInstalled);
    EXPECT_EQ(r.err, listed("The following drivers were NOT installed:", {"Btrieve", "DB2"}) + "\n");

    RunResult removal = run({"UNINSTALL", "DB2"});
    EXPECT_EQ(removal.exit_code, kExitNotDone);
    EXPECT_EQ(removal.err, listed("The following drivers were NOT removed:", {"DB2"}) + "\n");
}

}  // namespace
