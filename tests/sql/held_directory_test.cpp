// A database directory given by its handle: the tables stay in the directory opened, links there are refused, messages name it.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <filesystem>

#include "platform/sql/engine.h"
#include "platform/sys/dir_handle.h"
#include "tests/sql/sql_fixture.h"

namespace {

namespace fs = std::filesystem;

class HeldDirectoryTest : public ::testing::Test {
protected:
    HeldDirectoryTest()
    {
        fs::create_directory(db);
        outside.write("keep.txt", "outside");
    }
    ~HeldDirectoryTest() override
    {
        for (int h : {held, plain})
            if (h > 0) qeDisconnect(h);
    }
    // Connects through a handle of `db` that is closed again at once: the connection keeps its own.
    int connect_held()
    {
        vsys::DirHandle dir(::open(db.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        return held = qeConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
    }
    vtest::TempDir root, outside;
    const std::string db = root.file("db");
    int held = 0, plain = 0;
};

TEST_F(HeldDirectoryTest, TablesStayInTheDirectoryOpenedWhenALinkTakesItsPlace)
{
    ASSERT_GT(connect_held(), 0);
    fs::rename(db, db + ".moved");
    fs::create_directory_symlink(outside.path(), db);
    ASSERT_EQ(vtest::run(held, "CREATE TABLE RUNS (RUN NUMERIC(9,0))"), 0);
    ASSERT_EQ(vtest::run(held, "INSERT INTO RUNS VALUES (7)"), 0);
    EXPECT_EQ(vtest::flat(vtest::query(held, "SELECT RUN FROM RUNS").rows), "7");
    EXPECT_TRUE(fs::exists(db + ".moved/RUNS.DBF"));
    EXPECT_FALSE(fs::exists(outside.file("RUNS.DBF")));
    EXPECT_EQ(vtest::flat(vtest::query(held, "SELECT RUN FROM RUNS").rows), "7");
}

TEST_F(HeldDirectoryTest, ATableThatIsALinkIsRefusedAndTheMessageNamesTheDirectory)
{
    plain = qeConnect(("DSN=ZID32_Samples; DB=" + outside.path()).c_str());
    ASSERT_GT(plain, 0);
    ASSERT_EQ(vtest::run(plain, "CREATE TABLE RUNS (RUN NUMERIC(9,0))"), 0);
    const std::string before = vtest::file_bytes(outside.file("RUNS.DBF"));
    fs::create_symlink(outside.file("RUNS.DBF"), db + "/RUNS.DBF");
    ASSERT_GT(connect_held(), 0);
    EXPECT_NE(vtest::run(held, "INSERT INTO RUNS VALUES (7)"), 0);
    const std::string why = qeErrMsg();
    EXPECT_NE(why.find(fs::canonical(db).string() + "/RUNS.DBF"), std::string::npos) << why;
    EXPECT_EQ(why.find("/proc/"), std::string::npos) << why;
    EXPECT_EQ(vtest::file_bytes(outside.file("RUNS.DBF")), before);
    EXPECT_EQ(vtest::flat(vtest::query(plain, "SELECT COUNT(*) FROM RUNS").rows), "0");
}

TEST_F(HeldDirectoryTest, AHandleThatIsNoDirectoryIsNoDatabase)
{
    vsys::DirHandle file(::open(outside.file("keep.txt").c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(qeConnect(("DSN=ZID32_Samples; DB=" + file.path()).c_str()), vsql::kErrConnect);
    EXPECT_EQ(qeConnect("DSN=ZID32_Samples; DB=/proc/self/fd/99999"), vsql::kErrConnect);
}

}  // namespace
