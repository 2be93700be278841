// odbcreg over unixODBC with single installer calls made to fail or to lie: nothing half-written stays, every failure is told.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "odbcreg/installer.h"
#include "odbcreg/odbcreg.h"
#include "tests/odbcreg/odbc_sandbox.h"

namespace {

// unixODBC keeps the configuration paths it first sees for the life of the
// process: one temporary configuration serves every test here.
const vtest::TempDir& process_config()
{
    static vtest::TempDir dir;
    static bool ready = [] {
        std::filesystem::create_directory(dir.file("cfg"));
        std::filesystem::create_directory(dir.file("home"));
        ::setenv("ODBCSYSINI", dir.file("cfg").c_str(), 1);
        ::setenv("ODBCINI", dir.file("home/odbc.ini").c_str(), 1);
        ::setenv("HOME", dir.file("home").c_str(), 1);
        ::unsetenv("ODBCINSTINI");
        return true;
    }();
    (void)ready;
    return dir;
}

// Which call of a kind misbehaves (counting from 1), and how.
struct Fault {
    int at = 0;
    bool lie = false;  // answer success without doing anything
    int seen = 0;
    bool hit()
    {
        ++seen;
        return at != 0 && seen == at;
    }
};
Fault install_fault, write_dsn_fault, write_fault, remove_dsn_fault;
const InstallerCalls real = unixodbc_calls();

InstallerCalls faulty_calls()
{
    InstallerCalls calls{};
    calls.install_driver_ex = [](const char* packed) -> int {
        if (install_fault.hit()) return install_fault.lie ? 1 : 0;
        return real.install_driver_ex(packed);
    };
    calls.write_dsn_to_ini = [](const char* dsn, const char* driver) -> int {
        if (write_dsn_fault.hit()) return write_dsn_fault.lie ? 1 : 0;
        return real.write_dsn_to_ini(dsn, driver);
    };
    calls.write_private_profile_string = [](const char* section, const char* key, const char* value,
                                            const char* file) -> int {
        if (write_fault.hit()) return write_fault.lie ? 1 : 0;
        return real.write_private_profile_string(section, key, value, file);
    };
    calls.remove_dsn_from_ini = [](const char* dsn) -> int {
        if (remove_dsn_fault.hit()) return remove_dsn_fault.lie ? 1 : 0;
        return real.remove_dsn_from_ini(dsn);
    };
    return calls;
}

struct Outcome {
    int exit_code;
    std::string out;
    std::string err;
};

class OdbcregInjectedFailures : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto& dir = process_config();
        ASSERT_STREQ(std::getenv("ODBCSYSINI"), dir.file("cfg").c_str());
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("cfg"))) std::filesystem::remove_all(entry);
        std::filesystem::create_directory(dir.file("data"));
        data = dir.file("data");
        install_fault = write_dsn_fault = write_fault = remove_dsn_fault = Fault{};
    }
    Outcome run(const std::vector<std::string>& words)
    {
        auto installer = make_unixodbc_installer(faulty_calls());
        std::ostringstream out, err;
        int rc = WinMain(words, *installer, out, err);
        // Faults are armed for one run only.
        install_fault = write_dsn_fault = write_fault = remove_dsn_fault = Fault{};
        return {rc, out.str(), err.str()};
    }
    std::vector<std::string> data_sources() const
    {
        return odbctest::section_names(odbctest::read_ini(process_config().file("cfg/odbc.ini")));
    }
    std::vector<std::string> drivers() const
    {
        return odbctest::section_names(odbctest::read_ini(process_config().file("cfg/odbcinst.ini")));
    }
    std::string data;
};

const std::string kDbase = "VI/DIZ 32-BIT dBASEFile (*.dbf)";
const std::string kDsnFailed = "Unable to setup the dBase DSN ZID32_Samples\n";

// A data source that lost some keywords is taken away whole (the one it replaced is
// gone already); other data sources stay.
TEST_F(OdbcregInjectedFailures, DataSourceWriteFailuresLeaveNoPartialDataSource)
{
    struct Case {
        const char* what;
        Fault* fault;
        Fault how;
    };
    const std::vector<Case> cases = {
        {"the data source header refused", &write_dsn_fault, {1, false}},
        {"the first keyword refused", &write_fault, {1, false}},
        {"the fourth keyword (Database) refused", &write_fault, {3, false}},
        {"the last keyword refused", &write_fault, {10, false}},
        {"the Database keyword reported written but never written", &write_fault, {3, true}},
        {"the header reported written but never written", &write_dsn_fault, {1, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // An Access data source before: a header that was never replaced shows in its driver.
        ASSERT_EQ(run({"QUIET", "AccessSampConfig", data}).exit_code, kExitDone);
        std::ofstream(process_config().file("cfg/odbc.ini"), std::ios::app) << "[Other]\nDriver=Elsewhere\n";
        *c.fault = c.how;
        Outcome o = run({"QUIET", "SampConfig", data});
        EXPECT_EQ(o.exit_code, kExitNotDone);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, kDsnFailed);
        EXPECT_THAT(data_sources(), ::testing::ElementsAre("Other"));
        std::filesystem::remove(process_config().file("cfg/odbc.ini"));
    }
}

TEST_F(OdbcregInjectedFailures, OneRefusedDriverDoesNotStopTheOthers)
{
    install_fault = {2, false};
    Outcome o = run({"dBase", "Paradox", "Excel"});
    EXPECT_EQ(o.exit_code, kExitNotDone);
    EXPECT_EQ(o.out, "The following drivers have been installed:\n    dBase\n    Excel\n\n");
    EXPECT_EQ(o.err, "The following drivers were NOT installed:\n    Paradox\n");
    EXPECT_THAT(drivers(), ::testing::ElementsAre(kDbase, "VI/DIZ 32-BIT ExcelFile (*.xls)"));
}

// A success answer is not taken on trust: the driver is read back.
TEST_F(OdbcregInjectedFailures, DriverReportedInstalledButMissingIsNotInstalled)
{
    install_fault = {1, true};
    Outcome o = run({"QUIET", "Sybase"});
    EXPECT_EQ(o.exit_code, kExitNotDone);
    EXPECT_EQ(o.err, "The following drivers were NOT installed:\n    Sybase\n");
    EXPECT_THAT(drivers(), ::testing::IsEmpty());
}

TEST_F(OdbcregInjectedFailures, RemovalFailuresKeepWhatWasThere)
{
    ASSERT_EQ(run({"QUIET", "dBase", "SampConfig", data}).exit_code, kExitDone);

    remove_dsn_fault = {1, false};
    Outcome dsn = run({"UNINSTALL", "SampConfig", data});
    EXPECT_EQ(dsn.exit_code, kExitNotDone);
    EXPECT_EQ(dsn.err, "The following DSN either does not exist or was NOT removed:\n    ZID32_Samples\n");
    EXPECT_THAT(data_sources(), ::testing::ElementsAre("ZID32_Samples"));

    remove_dsn_fault = {1, true};
    EXPECT_EQ(run({"UNINSTALL", "SampConfig", data}).exit_code, kExitNotDone);
    EXPECT_THAT(data_sources(), ::testing::ElementsAre("ZID32_Samples"));

    write_fault = {1, false};  // the driver section's removal
    Outcome driver = run({"UNINSTALL", "dBase"});
    EXPECT_EQ(driver.exit_code, kExitNotDone);
    EXPECT_EQ(driver.out, "The following dBase DSN has been removed:\n    ZID32_Samples\n");
    EXPECT_EQ(driver.err, "The following drivers were NOT removed:\n    dBase\n");
    EXPECT_THAT(drivers(), ::testing::ElementsAre(kDbase));
    EXPECT_THAT(data_sources(), ::testing::IsEmpty());

    write_fault = {1, true};  // reported removed, still there
    EXPECT_EQ(run({"QUIET", "UNINSTALL", "dBase"}).err,
              "The following DSN either does not exist or was NOT removed:\n    ZID32_Samples\n"
              "The following drivers were NOT removed:\n    dBase\n");
    EXPECT_THAT(drivers(), ::testing::ElementsAre(kDbase));
}

}  // namespace
