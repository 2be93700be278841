// Look-ups by number on tables whose ascending keys are noted outside the data directory: the answers
// are those of a read of the whole field, whatever the order, and a file changed by another writer is
// never taken for the one the note describes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/sql/dbf_table.h"
#include "platform/sql/engine.h"
#include "platform/sql/order_notes.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "tests/sql/sql_fixture.h"

namespace {

using vtest::flat;
using vtest::query;
using vtest::run;

constexpr int kRows = vsql::kOrderNotedFromRows + 904;
// KEYS (K NUMERIC(9,0), NAME CHAR(8)): 32-byte header, two descriptors and the end mark; K follows the flag.
constexpr long kHeaderLength = 32 + 2 * 32 + 1;
constexpr long kRecordLength = 1 + 9 + 8;

using Keys = std::vector<std::optional<int>>;

class OrderNote : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* before = std::getenv("XDG_CACHE_HOME");
        if (before) saved_ = before;
        // A cache folder not made yet, as in a new account.
        ::setenv("XDG_CACHE_HOME", cache_.file("cache").c_str(), 1);
    }
    void TearDown() override
    {
        disconnect();
        if (saved_) ::setenv("XDG_CACHE_HOME", saved_->c_str(), 1);
        else ::unsetenv("XDG_CACHE_HOME");
    }
    // A connection of its own: with it gone, the next one reads the table file afresh.
    int connect()
    {
        disconnect();
        h_ = qeConnect(("DSN=ZID32_Samples; DB=" + dir_.path()).c_str());
        return h_;
    }
    void disconnect()
    {
        if (h_ > 0) qeDisconnect(h_);
        h_ = 0;
    }
    std::string table_path() const { return dir_.file("KEYS.DBF"); }
    void create(const Keys& keys)
    {
        int h = connect();
        ASSERT_EQ(run(h, "CREATE TABLE KEYS (K NUMERIC(9,0), NAME CHAR(8))"), 0) << qeErrMsg();
        std::string batch;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            batch += vsys::strprintf("%s(%s, 'N%zu')", batch.empty() ? "" : ",", keys[i] ? std::to_string(*keys[i]).c_str() : "NULL", i);
            if ((i + 1) % 2000 == 0 || i + 1 == keys.size()) {
                ASSERT_EQ(run(h, "INSERT INTO KEYS VALUES " + batch), 0) << qeErrMsg();
                batch.clear();
            }
        }
        disconnect();
    }
    // Whether the table, opened afresh, knows its keys ascending before reading them.
    bool known_at_open()
    {
        disconnect();
        std::string error;
        auto table = vsql::DbfTable::open(table_path(), error);
        return table && table->known_ascending(0);
    }
    // The names of the rows holding each probed key, in record order, each key asked first on a fresh connection.
    std::string answers(const std::vector<std::string>& probes)
    {
        std::string out;
        for (const std::string& key : probes) {
            const int h = connect();
            out += key + ":" + flat(query(h, "SELECT NAME FROM KEYS WHERE K = " + key).rows) + "\n";
        }
        disconnect();
        return out;
    }
    static std::string expected(const Keys& keys, const std::vector<std::string>& probes)
    {
        std::string out;
        for (const std::string& key : probes) {
            std::string names;
            const double want = std::atof(key.c_str());
            for (std::size_t i = 0; i < keys.size(); ++i)
                if (key != "NULL" && keys[i] && *keys[i] == want) names += (names.empty() ? "N" : ";N") + std::to_string(i);
            out += key + ":" + names + "\n";
        }
        return out;
    }
    // Another program rewrites one record's key in place: the size stays and so does the modification time.
    void rewrite_key_behind_the_note(int row, int key)
    {
        struct stat st {};
        ASSERT_EQ(::stat(table_path().c_str(), &st), 0);
        {
            std::fstream f(table_path(), std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(kHeaderLength + row * kRecordLength + 1);
            const std::string text = vsys::strprintf("%9d", key);
            f.write(text.data(), 9);
        }
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, table_path().c_str(), times, 0), 0);
    }

    vtest::TempDir cache_;
    vtest::TempDir dir_;
    std::optional<std::string> saved_;
    int h_ = 0;
};

Keys ascending_with_duplicates()
{
    Keys keys = {std::nullopt, std::nullopt, std::nullopt};
    for (int i = 0; static_cast<int>(keys.size()) < kRows; ++i) keys.push_back(i / 3 * 2);  // 0,0,0,2,2,2,...
    return keys;
}

const std::vector<std::string> kProbes = {"0", "2", "1", "4", "3000", "-1", "999999", "2.5", "4.0", "NULL",
                                          std::to_string((kRows - 4) / 3 * 2)};

TEST_F(OrderNote, AnswersAreThoseOfAWholeReadWhateverTheOrder)
{
    struct Case {
        const char* label;
        Keys keys;
        bool ascending;
    };
    Keys descending, shuffled, last_out_of_place = ascending_with_duplicates();
    for (int i = 0; i < kRows; ++i) descending.push_back(kRows - i);
    for (int i = 0; i < kRows; ++i) shuffled.push_back((i * 7919) % kRows);
    last_out_of_place.back() = 1;
    const Case cases[] = {
        {"ascending, duplicates, empty keys first", ascending_with_duplicates(), true},
        {"descending", descending, false},
        {"shuffled", shuffled, false},
        {"ascending but the last row", last_out_of_place, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove(table_path());
        create(c.keys);
        EXPECT_FALSE(known_at_open()) << "nothing read whole yet";
        const std::string want = expected(c.keys, kProbes);
        // The first answers read the field whole and note it; the later ones may use the note.
        EXPECT_EQ(answers(kProbes), want);
        EXPECT_EQ(known_at_open(), c.ascending);
        EXPECT_EQ(answers(kProbes), want);
    }
    // The data directory holds the tables only.
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) files.push_back(e.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"KEYS.DBF"});
}

TEST_F(OrderNote, AFileChangedBehindTheNoteIsReadWhole)
{
    Keys keys = ascending_with_duplicates();
    create(keys);
    answers({"2"});
    ASSERT_TRUE(known_at_open());
    // Row 10 (key 4) now holds 90000: out of order, and a binary search would miss it.
    rewrite_key_behind_the_note(10, 90000);
    keys[10] = 90000;
    EXPECT_FALSE(known_at_open());
    EXPECT_EQ(answers({"90000", "4", "6"}), expected(keys, {"90000", "4", "6"}));
    EXPECT_FALSE(known_at_open()) << "found out of order, so not noted";
}

TEST_F(OrderNote, ThisProgramsWritesCarryTheNoteOnlyWhileTheOrderHolds)
{
    Keys keys = ascending_with_duplicates();
    create(keys);
    answers({"2"});
    struct Step {
        const char* label;
        std::string sql;
        int row;  // the row it writes, -1 for a new one
        int key;
        bool still_ascending;
    };
    const int last = *keys.back();
    const Step steps[] = {
        {"append the same key as the last", vsys::strprintf("INSERT INTO KEYS VALUES (%d, 'N%d')", last, kRows), -1, last, true},
        {"append a higher key", vsys::strprintf("INSERT INTO KEYS VALUES (%d, 'N%d')", last + 10, kRows + 1), -1, last + 10, true},
        {"change a key within its neighbours", "UPDATE KEYS SET K = 3 WHERE NAME = 'N8'", 8, 3, true},
        {"append a lower key", vsys::strprintf("INSERT INTO KEYS VALUES (5, 'N%d')", kRows + 2), -1, 5, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        const int h = connect();
        ASSERT_EQ(run(h, s.sql), 0) << qeErrMsg();
        disconnect();
        if (s.row < 0) keys.push_back(s.key);
        else keys[static_cast<std::size_t>(s.row)] = s.key;
        EXPECT_EQ(known_at_open(), s.still_ascending);
        const std::vector<std::string> probes = {"2", "3", "4", "5", std::to_string(last), std::to_string(last + 10)};
        EXPECT_EQ(answers(probes), expected(keys, probes));
    }
}

TEST_F(OrderNote, NotesOfTablesThatAreGoneAreClearedByTheNextNote)
{
    auto notes = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(cache_.path()))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        return names;
    };
    const Keys keys = ascending_with_duplicates();
    create(keys);
    answers({"2"});
    const std::vector<std::string> first = notes();
    ASSERT_EQ(first.size(), 1u);
    // The table goes and another comes under a new name: only the new table's note is left.
    std::filesystem::remove(table_path());
    create(keys);
    std::filesystem::rename(table_path(), dir_.file("OTHER.DBF"));
    const int h = connect();
    EXPECT_EQ(flat(query(h, "SELECT NAME FROM OTHER WHERE K = 0").rows), "N3;N4;N5");
    disconnect();
    const std::vector<std::string> second = notes();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second, first);
}

TEST_F(OrderNote, ANoteThatCannotBeWrittenCostsOnlyTheNextRead)
{
    const Keys keys = ascending_with_duplicates();
    create(keys);
    for (vsys::FileOp op : {vsys::FileOp::create, vsys::FileOp::write, vsys::FileOp::close, vsys::FileOp::rename}) {
        SCOPED_TRACE(static_cast<int>(op));
        for (const auto& e : std::filesystem::directory_iterator(cache_.path())) std::filesystem::remove_all(e.path());
        {
            vsys::FaultPlanScope plan(vsys::FileFault(op, 1, true, "order-"));
            EXPECT_EQ(answers(kProbes), expected(keys, kProbes));
        }
        EXPECT_FALSE(known_at_open());
        std::size_t left = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(cache_.path())) left += e.is_regular_file();
        EXPECT_EQ(left, 0u) << "no note and no temporary left";
    }
}

}  // namespace
