// Tables read block by block and looked up through field indexes: the rows must be those a full scan finds.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/sql/engine.h"
#include "platform/sys/files.h"
#include "tests/sql/sql_fixture.h"

namespace {

using vtest::flat;
using vtest::query;
using vtest::run;

const char* kRuns = "CREATE TABLE RUNS (RUN_NUM NUMERIC(9,0), WAFERS NUMERIC(5,0), TRACE_ID CHAR(12), RATE NUMERIC(9,3))";

// Enough rows for many blocks of the table (about 64 KB each).
constexpr int kMany = 6000;

// Fills RUNS with runs 1..n in a shuffled order; every 7th has no WAFERS, every 11th no RUN_NUM.
void fill(int h, int n)
{
    ASSERT_EQ(run(h, kRuns), 0) << qeErrMsg();
    std::string batch;
    for (int i = 0; i < n; ++i) {
        int r = (i * 7919) % n + 1;  // 7919 is prime to n: each run once
        char row[128];
        std::snprintf(row, sizeof row, "(%s, %s, 'T%d', %d.5)", r % 11 == 0 ? "NULL" : std::to_string(r).c_str(),
                      r % 7 == 0 ? "NULL" : std::to_string(r % 25).c_str(), r, r % 100);
        batch += batch.empty() ? std::string("INSERT INTO RUNS VALUES ") + row : std::string(",") + row;
        if (batch.size() > 20000 || i + 1 == n) {
            ASSERT_EQ(run(h, batch), 0) << qeErrMsg();
            batch.clear();
        }
    }
}

std::string one(int h, const std::string& sql)
{
    vtest::QueryResult r = query(h, sql);
    EXPECT_GT(r.handle, 0) << sql << ": " << r.message;
    return flat(r.rows);
}

// The file as another program writes it in place: bytes of one record, and a new modification time.
void patch_record(const std::string& path, int row, int offset, const std::string& bytes)
{
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(f);
    unsigned char head[12];
    f.read(reinterpret_cast<char*>(head), sizeof head);
    const int header = head[8] | head[9] << 8, reclen = head[10] | head[11] << 8;
    f.seekp(header + static_cast<std::streamoff>(row) * reclen + offset);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    // Writes within one clock tick would otherwise keep the time.
    struct timespec times[2] = {{1000000000, 0}, {1000000000, static_cast<long>(row) + 1}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class LazyRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        h = db.hdbc();
        ASSERT_GT(h, 0);
    }
    // A fresh connection: the table is opened again, as by a newly started program.
    void reconnect()
    {
        ASSERT_EQ(qeDisconnect(h), 0);
        h = qeConnect(("DSN=ZID32_Samples; DB=" + db.dir().path()).c_str());
        ASSERT_GT(h, 0);
    }
    void TearDown() override
    {
        if (h != db.hdbc()) qeDisconnect(h);
    }
    vtest::SqlDir db;
    int h = 0;
};

TEST_F(LazyRead, LookupsOrderAndMaxAgreeWithAFullScan)
{
    fill(h, kMany);
    ASSERT_EQ(run(h, "DELETE FROM RUNS WHERE RUN_NUM = 5999 OR RUN_NUM = 3 OR RUN_NUM = 1000"), 0);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "opened again" : "indexes kept");
        if (pass == 0) reconnect();
        // "+ 0" keeps SQLite from using the field index: a plain scan and sort.
        for (const char* key : {"1", "3", "11", "1000", "2750", "5999", "6000", "0", "-1", "2.5", "NULL"}) {
            SCOPED_TRACE(key);
            EXPECT_EQ(one(h, std::string("SELECT * FROM RUNS WHERE RUN_NUM = ") + key),
                      one(h, std::string("SELECT * FROM RUNS WHERE RUN_NUM + 0 = ") + key));
            EXPECT_EQ(one(h, std::string("SELECT RUN_NUM FROM RUNS WHERE WAFERS = ") + key + " ORDER BY RUN_NUM"),
                      one(h, std::string("SELECT RUN_NUM FROM RUNS WHERE WAFERS + 0 = ") + key + " ORDER BY RUN_NUM + 0"));
        }
        EXPECT_EQ(one(h, "SELECT * FROM RUNS WHERE RUN_NUM = '12'"), "12|12|T12|12.500");
        EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE TRACE_ID = 'T17'"), "17");
        EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE TRACE_ID = 'T5999'"), "");
        EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM), MIN(RUN_NUM), COUNT(RUN_NUM), COUNT(*) FROM RUNS"), "6000|1|5452|5997");
        EXPECT_EQ(one(h, "SELECT MIN(WAFERS), MAX(WAFERS) FROM RUNS"), "0|24");
        EXPECT_EQ(one(h, "SELECT MAX(RATE) FROM RUNS"), "99.5");
        EXPECT_EQ(one(h, "SELECT RUN_NUM, WAFERS FROM RUNS ORDER BY WAFERS DESC, RUN_NUM"),
                  one(h, "SELECT RUN_NUM, WAFERS FROM RUNS ORDER BY WAFERS + 0 DESC, RUN_NUM + 0"));
        EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE RUN_NUM > 5990 ORDER BY RUN_NUM DESC"), "6000;5998;5997;5996;5994;5993;5992;5991");
        EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS ORDER BY RUN_NUM LIMIT 3"), "NULL;NULL;NULL");
        EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE RUN_NUM IS NOT NULL ORDER BY RUN_NUM LIMIT 3"), "1;2;4");
    }
}

TEST_F(LazyRead, MaxAndMinSkipEmptyAndDeletedKeys)
{
    ASSERT_EQ(run(h, kRuns), 0);
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM), MIN(RUN_NUM) FROM RUNS"), "NULL|NULL");
    ASSERT_EQ(run(h, "INSERT INTO RUNS VALUES (NULL, 1, 'A', 0), (NULL, 1, 'B', 0)"), 0);
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM), MIN(RUN_NUM) FROM RUNS"), "NULL|NULL");
    ASSERT_EQ(run(h, "INSERT INTO RUNS VALUES (7, 1, 'C', 0), (-2, 1, 'D', 0), (9, 1, 'E', 0)"), 0);
    EXPECT_EQ(one(h, "SELECT MIN(RUN_NUM) FROM RUNS"), "-2");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "9");
    ASSERT_EQ(run(h, "DELETE FROM RUNS WHERE RUN_NUM = 9 OR RUN_NUM = -2"), 0);
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM), MIN(RUN_NUM) FROM RUNS"), "7|7");
    reconnect();
    EXPECT_EQ(one(h, "SELECT MIN(RUN_NUM) FROM RUNS"), "7");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "7");
}

TEST_F(LazyRead, IndexesFollowUpdatesInsertsAndDeletes)
{
    fill(h, 300);
    // Several look-ups first, so that the kept order is in use.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(one(h, "SELECT TRACE_ID FROM RUNS WHERE RUN_NUM = 150"), "T150");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "300");
    ASSERT_EQ(run(h, "UPDATE RUNS SET RUN_NUM = 1500 WHERE RUN_NUM = 150"), 0);
    EXPECT_EQ(one(h, "SELECT TRACE_ID FROM RUNS WHERE RUN_NUM = 150"), "");
    EXPECT_EQ(one(h, "SELECT TRACE_ID FROM RUNS WHERE RUN_NUM = 1500"), "T150");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "1500");
    ASSERT_EQ(run(h, "UPDATE RUNS SET RUN_NUM = NULL WHERE RUN_NUM = 1500"), 0);
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "300");
    ASSERT_EQ(run(h, "INSERT INTO RUNS VALUES (0.0, 1, 'ZERO', 0), (2000, 1, 'TOP', 0), (150, 1, 'AGAIN', 0)"), 0);
    EXPECT_EQ(one(h, "SELECT RTRIM(TRACE_ID) FROM RUNS WHERE RUN_NUM = 150"), "AGAIN");
    EXPECT_EQ(one(h, "SELECT RTRIM(TRACE_ID) FROM RUNS WHERE RUN_NUM = -0.0"), "ZERO");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "2000");
    EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE RUN_NUM >= 298 ORDER BY RUN_NUM"), "298;299;300;2000");
    ASSERT_EQ(run(h, "DELETE FROM RUNS WHERE RUN_NUM = 2000"), 0);
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "300");
    EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE TRACE_ID = 'TOP'"), "");
    ASSERT_EQ(run(h, "UPDATE RUNS SET TRACE_ID = 'T150B' WHERE TRACE_ID = 'AGAIN'"), 0);
    EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE TRACE_ID = 'T150B'"), "150");
    EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE TRACE_ID = 'AGAIN'"), "");
    // Positioned writes keep them too.
    int s = qeExecSQL(h, "SELECT RUN_NUM FROM RUNS WHERE RUN_NUM = 299");
    ASSERT_GT(s, 0);
    int value = 0;
    long status = 4;
    ASSERT_EQ(qeBindColLong(s, 1, &value, &status), 0);
    ASSERT_EQ(qeFetchNext(s), 0);
    value = 4000;
    ASSERT_EQ(qePutUsingBindColumns(s), 0);
    ASSERT_EQ(qeRecUpdate(s), 0);
    qeEndSQL(s);
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "4000");
    EXPECT_EQ(one(h, "SELECT RTRIM(TRACE_ID) FROM RUNS WHERE RUN_NUM = 4000"), "T299");
}

TEST_F(LazyRead, AFileChangedBetweenStatementsIsReadAgain)
{
    fill(h, kMany);
    const std::string path = db.file("RUNS.DBF");
    EXPECT_EQ(one(h, "SELECT RTRIM(TRACE_ID) FROM RUNS WHERE RUN_NUM = 4321"), "T4321");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "6000");
    // Row 0 holds run 1, in the first block; the last row is in the last block.
    EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE TRACE_ID = 'T1'"), "1");
    patch_record(path, 0, 1, "     7777");
    EXPECT_EQ(one(h, "SELECT RTRIM(TRACE_ID) FROM RUNS WHERE RUN_NUM = 7777"), "T1");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "7777");
    EXPECT_EQ(one(h, "SELECT COUNT(*) FROM RUNS WHERE RUN_NUM = 1"), "0");
    patch_record(path, kMany - 1, 0, "*");
    EXPECT_EQ(one(h, "SELECT COUNT(*) FROM RUNS"), std::to_string(kMany - 1));
    // Another program packs it: a shorter file with a new header count.
    vtest::SqlDir other;
    ASSERT_EQ(run(other.hdbc(), kRuns), 0);
    ASSERT_EQ(run(other.hdbc(), "INSERT INTO RUNS VALUES (42, 1, 'ONLY', 1)"), 0);
    ASSERT_TRUE(vsys::copy_file(other.file("RUNS.DBF"), path));
    EXPECT_EQ(one(h, "SELECT RTRIM(TRACE_ID) FROM RUNS WHERE RUN_NUM = 42"), "ONLY");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM), COUNT(*) FROM RUNS"), "42|1");
    EXPECT_EQ(one(h, "SELECT RUN_NUM FROM RUNS WHERE RUN_NUM = 7777"), "");
}

TEST_F(LazyRead, FilesNamedInAnyCaseAndRowsOfOtherWriters)
{
    fill(h, 500);
    ASSERT_EQ(run(h, "DELETE FROM RUNS WHERE RUN_NUM = 500"), 0);
    reconnect();
    ASSERT_TRUE(vsys::rename_replace(db.file("RUNS.DBF"), db.file("runs.dbf")));
    EXPECT_EQ(one(h, "SELECT RTRIM(TRACE_ID) FROM Runs WHERE RUN_NUM = 250"), "T250");
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM runs"), "499");
    // A blank field written by another program reads as NULL, never as 0.
    patch_record(db.file("runs.dbf"), 1, 10, "     ");
    EXPECT_EQ(one(h, "SELECT COUNT(*) FROM RUNS WHERE WAFERS IS NULL"), one(h, "SELECT COUNT(*) FROM RUNS WHERE WAFERS + 0 IS NULL"));
    EXPECT_EQ(one(h, "SELECT COUNT(*) FROM RUNS WHERE WAFERS = 0"), one(h, "SELECT COUNT(*) FROM RUNS WHERE WAFERS + 0 = 0"));
    ASSERT_EQ(run(h, "INSERT INTO RUNS VALUES (501, 1, 'NEW', 0)"), 0);
    EXPECT_EQ(one(h, "SELECT MAX(RUN_NUM) FROM RUNS"), "501");
    EXPECT_TRUE(vsys::file_exists(db.file("runs.dbf")));
    EXPECT_FALSE(vsys::file_exists(db.file("RUNS.DBF")));
}

TEST_F(LazyRead, PackOfATableReadInPartsKeepsEveryLiveRecord)
{
    fill(h, kMany);
    reconnect();
    // Some blocks read and written, most never read before the pack.
    ASSERT_EQ(run(h, "UPDATE RUNS SET TRACE_ID = 'CHANGED' WHERE RUN_NUM = 17"), 0);
    ASSERT_EQ(run(h, "DELETE FROM RUNS WHERE RUN_NUM = 18"), 0);
    const std::string before = one(h, "SELECT * FROM RUNS");
    ASSERT_EQ(run(h, "DELETE FROM RUNS WHERE WAFERS > 20"), 0);
    const std::string kept = one(h, "SELECT * FROM RUNS");
    ASSERT_EQ(run(h, "PACK RUNS"), 0) << qeErrMsg();
    EXPECT_EQ(one(h, "SELECT * FROM RUNS"), kept);
    EXPECT_NE(kept, before);
    EXPECT_EQ(one(h, "SELECT RTRIM(TRACE_ID) FROM RUNS WHERE RUN_NUM = 17"), "CHANGED");
    const std::string reader = vtest::read_with_dbfread(db.file("RUNS.DBF"));
    EXPECT_EQ(std::count(reader.begin(), reader.end(), ';') + 1, std::stol(one(h, "SELECT COUNT(*) FROM RUNS")));
}

// Numbers as another program may write them: each must read as strtod reads the field's text (blanks
// taken out), to the last bit, and a text strtod refuses must read as NULL.
TEST_F(LazyRead, DecimalFieldsReadAsStrtodReadsThem)
{
    const std::vector<std::string> texts = {
        "1.5", "-0.1", "0.3", "+2.5", ".5", "5.", "-.25", "-0.000", "0.000", "123456789.123456", "-99999999.999999",
        "1234567890.123456", "0.1234567890123456", "1e3", "2.5x", "1 2.5", "-", ".", "3.14159", "  7.000001",
        "999999999999999.", "0.000000000000001", "42", "-17", "9007199254740993"};
    ASSERT_EQ(run(h, "CREATE TABLE NUMS (X NUMERIC(20,6))"), 0);
    for (std::size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(run(h, "INSERT INTO NUMS VALUES (NULL)"), 0);
    for (std::size_t i = 0; i < texts.size(); ++i)
        patch_record(db.file("NUMS.DBF"), static_cast<int>(i), 1, std::string(20 - texts[i].size(), ' ') + texts[i]);
    // Twice: parsed from the records, then from the field's kept numbers.
    for (int pass = 0; pass < 2; ++pass) {
        int s = qeExecSQL(h, "SELECT X FROM NUMS");
        ASSERT_GT(s, 0) << qeErrMsg();
        double value = 0;
        long status = 8;
        ASSERT_EQ(qeBindColDouble(s, 1, &value, &status), 0);
        for (const std::string& text : texts) {
            SCOPED_TRACE(text);
            ASSERT_EQ(qeFetchNext(s), 0);
            std::string compact;
            for (char c : text)
                if (c != ' ') compact += c;
            char* end = nullptr;
            const double expected = std::strtod(compact.c_str(), &end);
            if (compact.empty() || *end != '\0' || !std::isfinite(expected)) {
                EXPECT_EQ(status, -2);
                continue;
            }
            EXPECT_NE(status, -2);
            EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << value << " != " << expected;
        }
        EXPECT_NE(qeFetchNext(s), 0);
        qeEndSQL(s);
        for (int i = 0; i < 1100 / static_cast<int>(texts.size()) + 1; ++i) one(h, "SELECT SUM(X) FROM NUMS");
    }
}

// A field read again and again keeps its numbers beside the records: they must follow every write.
TEST_F(LazyRead, NumbersKeptForOftenReadFieldsFollowWrites)
{
    constexpr int n = 1500;
    fill(h, n);
    std::map<std::string, std::pair<long, int>> model;  // trace -> wafers (-1: NULL), rate * 4
    for (int r = 1; r <= n; ++r) model["T" + std::to_string(r)] = {r % 7 == 0 ? -1 : r % 25, (r % 100) * 4 + 2};
    auto expected = [&] {
        long wafers = 0, rates = 0;
        for (const auto& [trace, v] : model) {
            if (v.first >= 0) wafers += v.first;
            rates += v.second;
        }
        return std::to_string(wafers) + "|" + std::to_string(rates);
    };
    const char* sums = "SELECT SUM(WAFERS), CAST(SUM(RATE) * 4 AS INTEGER) FROM RUNS";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(one(h, sums), expected());
    struct Step {
        const char* sql;  // or null: another program writes run 1's WAFERS
        std::string trace;
        std::pair<long, int> after;  // -2: the row is gone
    };
    const Step steps[] = {
        {"UPDATE RUNS SET WAFERS = 1000, RATE = 0.25 WHERE TRACE_ID = 'T10'", "T10", {1000, 1}},
        {"UPDATE RUNS SET WAFERS = NULL WHERE TRACE_ID = 'T11'", "T11", {-1, (11 % 100) * 4 + 2}},
        {"INSERT INTO RUNS VALUES (2000, 7, 'NEW', 1.75)", "NEW", {7, 7}},
        {"DELETE FROM RUNS WHERE TRACE_ID = 'T12'", "T12", {-2, 0}},
        {nullptr, "T1", {500, (1 % 100) * 4 + 2}},
        {"UPDATE RUNS SET WAFERS = 3 WHERE TRACE_ID = 'T1'", "T1", {3, (1 % 100) * 4 + 2}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.sql ? step.sql : "another writer");
        if (step.sql) ASSERT_EQ(run(h, step.sql), 0) << qeErrMsg();
        else patch_record(db.file("RUNS.DBF"), 0, 10, "  500");
        if (step.after.first == -2) model.erase(step.trace);
        else model[step.trace] = step.after;
        EXPECT_EQ(one(h, sums), expected());
        const auto it = model.find(step.trace);
        EXPECT_EQ(one(h, "SELECT WAFERS FROM RUNS WHERE TRACE_ID = '" + step.trace + "'"),
                  it == model.end() ? "" : it->second.first < 0 ? "NULL" : std::to_string(it->second.first));
        EXPECT_EQ(one(h, "SELECT RUN_NUM, WAFERS FROM RUNS ORDER BY WAFERS DESC, RUN_NUM"),
                  one(h, "SELECT RUN_NUM, WAFERS FROM RUNS ORDER BY WAFERS + 0 DESC, RUN_NUM + 0"));
    }
}

}  // namespace
