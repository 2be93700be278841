// A table file under a failing disk: every failed read, write, seek or flush fails its statement and leaves the file as it was before it; every row reported written stays, readable by an independent reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "platform/sql/dbf_table.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "tests/sql/sql_fixture.h"

namespace {

using vsys::FileOp;
using vtest::run;

// N -> NAME as a reader sees the table; none when the reader cannot read it.
std::optional<std::map<int, std::string>> parse_rows(const std::string& flat)
{
    std::map<int, std::string> rows;
    if (flat == "<dbfread failed>") return std::nullopt;
    std::stringstream all(flat);
    std::string row;
    while (std::getline(all, row, ';')) {
        const std::size_t bar = row.find('|');
        if (bar == std::string::npos) return std::nullopt;
        if (!rows.emplace(std::stoi(row.substr(0, bar)), row.substr(bar + 1)).second) return std::nullopt;
    }
    return rows;
}

struct Statement {
    std::string sql;
    int row;            // the N it writes
    std::string name;   // the NAME it leaves
};

const Statement kStatements[] = {
    {"INSERT INTO T VALUES (10, 'new 10')", 10, "new 10"},
    {"UPDATE T SET NAME = 'upd 1' WHERE N = 1", 1, "upd 1"},
    {"INSERT INTO T VALUES (11, 'new 11')", 11, "new 11"},
    {"INSERT INTO T VALUES (12, 'new 12')", 12, "new 12"},
    {"UPDATE T SET NAME = 'upd 2' WHERE N = 2", 2, "upd 2"},
    {"DELETE FROM T WHERE N = 3", 3, ""},
    {"INSERT INTO T VALUES (13, 'new 13')", 13, "new 13"},
};

struct Outcome {
    bool fault_hit = false;
};

// A row of a statement reported done holds what it wrote; a failed one may hold either.
void check_rows(const std::map<int, std::string>& seen, const std::map<int, std::string>& before,
                std::map<int, bool>& succeeded)
{
    for (const Statement& s : kStatements) {
        auto it = seen.find(s.row);
        const bool deleted = s.name.empty();
        auto was = before.find(s.row);
        if (succeeded[s.row]) {
            if (deleted)
                EXPECT_EQ(it, seen.end()) << "row " << s.row;
            else
                EXPECT_TRUE(it != seen.end() && it->second == s.name) << "row " << s.row;
        } else if (was == before.end()) {
            EXPECT_EQ(it, seen.end()) << "row " << s.row << " of a failed insert is in the file";
        } else {
            EXPECT_TRUE(it != seen.end() && it->second == was->second) << "row " << s.row << " was changed or lost";
        }
    }
}

// Runs the statements with the nth call of `op` failing and checks what the file holds.
Outcome run_with_fault(FileOp op, int nth)
{
    Outcome outcome;
    vtest::SqlDir db;
    const int h = db.hdbc();
    EXPECT_EQ(run(h, "CREATE TABLE T (N NUMERIC(9,0), NAME CHAR(20))"), 0);
    EXPECT_EQ(run(h, "INSERT INTO T VALUES (1, 'one'), (2, 'two'), (3, 'three')"), 0);
    std::map<int, std::string> before = {{1, "one"}, {2, "two"}, {3, "three"}};
    std::map<int, bool> succeeded;
    vsys::set_fault_plan({op, nth, false, "T.DBF"});
    for (const Statement& s : kStatements) {
        const std::string file_before = vtest::file_bytes(db.file("T.DBF"));
        succeeded[s.row] = run(h, s.sql) == 0;
        if (!succeeded[s.row]) {
            EXPECT_EQ(vtest::file_bytes(db.file("T.DBF")), file_before) << s.sql;
        }
    }
    outcome.fault_hit = vsys::fault_plan_strikes() > 0;
    vsys::clear_fault_plan();

    // What a reader sees right after the failure, and after the disk works again and the table took one more row.
    const auto seen = parse_rows(vtest::read_with_dbfread(db.file("T.DBF")));
    EXPECT_TRUE(seen) << "the file cannot be read";
    if (seen) check_rows(*seen, before, succeeded);
    EXPECT_EQ(run(h, "INSERT INTO T VALUES (99, 'after')"), 0);
    const std::string reader = vtest::read_with_dbfread(db.file("T.DBF"));
    const auto after = parse_rows(reader);
    EXPECT_TRUE(after && after->count(99)) << reader;
    if (!after) return outcome;
    check_rows(*after, before, succeeded);
    // The engine reads what the reader reads.
    EXPECT_EQ(vtest::flat(vtest::query(h, "SELECT COUNT(*) FROM T").rows), std::to_string(after->size()));
    return outcome;
}

TEST(DbfFaults, EveryFailingCallFailsItsStatementAndLosesNoReportedRow)
{
    for (FileOp op : {FileOp::write, FileOp::seek, FileOp::flush, FileOp::read}) {
        int nth = 1;
        for (; nth < 200; ++nth) {
            SCOPED_TRACE(vsys::strprintf("op %d, call %d", static_cast<int>(op), nth));
            if (!run_with_fault(op, nth).fault_hit) break;
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(nth, 1) << "no call of op " << static_cast<int>(op) << " was made";
    }
}

}  // namespace

namespace {

// A statement of several rows that fails on a later one takes back the rows it wrote before.
TEST(DbfFaults, AStatementFailingOnALaterRowLeavesTheFileAsBefore)
{
    vtest::SqlDir db;
    const int h = db.hdbc();
    ASSERT_EQ(run(h, "CREATE TABLE T (N NUMERIC(3,0), NAME CHAR(20))"), 0);
    ASSERT_EQ(run(h, "INSERT INTO T VALUES (1, 'one'), (2, 'two')"), 0);
    const std::string before = vtest::file_bytes(db.file("T.DBF"));
    EXPECT_NE(run(h, "INSERT INTO T VALUES (3, 'three'), (4, 'four'), (12345, 'too wide')"), 0);
    EXPECT_NE(run(h, "UPDATE T SET N = N * 1000 + 1 WHERE N >= 1"), 0);
    EXPECT_EQ(vtest::file_bytes(db.file("T.DBF")), before);
    EXPECT_EQ(vtest::read_with_dbfread(db.file("T.DBF")), "1|one;2|two");
    EXPECT_EQ(vtest::flat(vtest::query(h, "SELECT N, NAME FROM T").rows), "1|one;2|two");
}

}  // namespace

namespace {

// A table that cannot be written whole is not created: no file of it or of its making stays behind.
TEST(DbfFaults, ACreateThatFailsLeavesNoFile)
{
    for (FileOp op : {FileOp::write, FileOp::flush}) {
        SCOPED_TRACE(static_cast<int>(op));
        vtest::SqlDir db;
        {
            vsys::FaultPlanScope plan {vsys::FileFault(op)};
            EXPECT_NE(run(db.hdbc(), "CREATE TABLE T (N NUMERIC(9,0), NAME CHAR(20))"), 0);
            EXPECT_GT(vsys::fault_plan_strikes(), 0);
        }
        std::size_t files = 0;
        for (const auto& e : std::filesystem::directory_iterator(db.dir().path())) {
            ADD_FAILURE() << e.path();
            ++files;
        }
        EXPECT_EQ(files, 0u);
        EXPECT_EQ(run(db.hdbc(), "CREATE TABLE T (N NUMERIC(9,0), NAME CHAR(20))"), 0);
        EXPECT_EQ(vtest::fields_with_dbfread(db.file("T.DBF")), "N N 9 0,NAME C 20 0");
    }
}

}  // namespace

namespace {

// The result tables' way: an INSERT that finds no table, the table created, the INSERT again. Whichever
// call fails, a table either is not there or holds exactly what the statements reported written.
TEST(DbfFaults, ATableCreatedForItsFirstRowHoldsWhatWasReported)
{
    const std::string kInsert = "INSERT INTO T VALUES (1, 'one')";
    for (FileOp op : {FileOp::write, FileOp::seek, FileOp::flush, FileOp::read}) {
        int nth = 1;
        for (; nth < 50; ++nth) {
            SCOPED_TRACE(vsys::strprintf("op %d, call %d", static_cast<int>(op), nth));
            vtest::SqlDir db;
            const int h = db.hdbc();
            bool created = false, inserted = false;
            std::string after_create;
            {
                vsys::FaultPlanScope plan {vsys::FileFault(op, nth)};
                EXPECT_NE(run(h, kInsert), 0);
                created = run(h, "CREATE TABLE T (N NUMERIC(9,0), NAME CHAR(20))") == 0;
                if (created) after_create = vtest::file_bytes(db.file("T.DBF"));
                inserted = created && run(h, kInsert) == 0;
                if (vsys::fault_plan_strikes() == 0) {
                    EXPECT_TRUE(inserted);
                    break;
                }
            }
            EXPECT_EQ(std::filesystem::exists(db.file("T.DBF")), created);
            if (!created) continue;
            if (!inserted) {
                EXPECT_EQ(vtest::file_bytes(db.file("T.DBF")), after_create);
            }
            EXPECT_EQ(vtest::read_with_dbfread(db.file("T.DBF")), inserted ? "1|one" : "");
            // With the disk working again the table takes its rows, and the engine reads what a reader reads.
            EXPECT_EQ(run(h, "INSERT INTO T VALUES (2, 'two')"), 0);
            const std::string want = inserted ? "1|one;2|two" : "2|two";
            EXPECT_EQ(vtest::read_with_dbfread(db.file("T.DBF")), want);
            EXPECT_EQ(vtest::flat(vtest::query(h, "SELECT N, NAME FROM T").rows), want);
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(nth, 1) << "no call of op " << static_cast<int>(op) << " was made";
    }
}

}  // namespace
