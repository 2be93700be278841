// The table files themselves: readable by an independent dBase reader, and files of other writers readable here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <cstring>
#include <fstream>

#include <shapefil.h>

#include "platform/sql/engine.h"
#include "tests/sql/sql_fixture.h"

namespace {

using vtest::flat;
using vtest::query;
using vtest::run;

struct OutsideField {
    const char* name;
    char type;
    int width;
    int decimals;
};

// Writes a dBase III file as another program would: its own header layout,
// NUL-padded names, and text fields filled with NULs instead of blanks.
std::string outside_file(const std::vector<OutsideField>& fields, const std::vector<std::vector<std::string>>& rows,
                         bool nul_padding)
{
    int reclen = 1;
    for (const auto& f : fields) reclen += f.width;
    int header = 32 + 32 * static_cast<int>(fields.size()) + 1;
    std::string out(32, '\0');
    out[0] = 0x03;
    out[1] = 125;
    out[2] = 6;
    out[3] = 30;
    std::uint32_t n = static_cast<std::uint32_t>(rows.size());
    std::memcpy(&out[4], &n, 4);
    out[8] = static_cast<char>(header & 0xFF);
    out[9] = static_cast<char>(header >> 8);
    out[10] = static_cast<char>(reclen & 0xFF);
    out[11] = static_cast<char>(reclen >> 8);
    for (const auto& f : fields) {
        std::string d(32, '\0');
        std::memcpy(&d[0], f.name, std::strlen(f.name));
        d[11] = f.type;
        d[16] = static_cast<char>(f.width);
        d[17] = static_cast<char>(f.decimals);
        out += d;
    }
    out += '\r';
    for (const auto& row : rows) {
        out += ' ';
        for (std::size_t i = 0; i < fields.size(); ++i) {
            std::string v = row[i];
            int w = fields[i].width;
            if (fields[i].type == 'N') v = std::string(w - v.size(), ' ') + v;
            else v.resize(w, nul_padding ? '\0' : ' ');
            out += v;
        }
    }
    out += '\x1A';
    return out;
}

const std::vector<OutsideField> kOntime = {
    {"RUN", 'N', 9, 0}, {"WAFER", 'N', 9, 0}, {"MEAN", 'N', 19, 9}, {"STDEV", 'N', 19, 9}, {"MAX", 'N', 19, 9}, {"MIN", 'N', 19, 9}};

TEST(DbfFiles, WrittenFilesOpenInAnIndependentReader)
{
    vtest::SqlDir db;
    int h = db.hdbc();
    ASSERT_EQ(run(h, "CREATE TABLE 0003LIMI (TYPE NUMERIC(5,0), SUBTYPE NUMERIC(5,0), CHANNEL NUMERIC(5,0), "
                     "STEP_INDEX NUMERIC(5,0), LCL NUMERIC(19,9), TARGET NUMERIC(19,9), UCL NUMERIC(19,9))"),
              0);
    ASSERT_EQ(run(h, "INSERT INTO 0003LIMI VALUES (5, 0, 16, 0, 0.0, 15.0, 1000000000)"), 0);
    ASSERT_EQ(run(h, "INSERT INTO 0003LIMI VALUES (1, 4, 2, 3, -2.5, 0.125, 30)"), 0);
    ASSERT_EQ(run(h, "INSERT INTO 0003LIMI VALUES (9, 9, 9, 9, 1, 2, 3)"), 0);
    ASSERT_EQ(run(h, "CREATE TABLE CONFIG (PARAM NUMERIC(5,0), INDEX NUMERIC(5,0), VAL_TEXT CHAR(32) NOT NULL)"), 0);
    ASSERT_EQ(run(h, "INSERT INTO CONFIG VALUES (1, 0, ' lead blank, it''s')"), 0);
    ASSERT_EQ(run(h, "INSERT INTO CONFIG VALUES (2, 7, '')"), 0);
    ASSERT_EQ(run(h, "DELETE FROM 0003LIMI WHERE TYPE = 9"), 0);
    EXPECT_EQ(vtest::read_with_dbfread(db.file("0003LIMI.DBF")), "5|0|16|0|0|15|1000000000;1|4|2|3|-2.5|0.125|30");
    EXPECT_EQ(vtest::read_with_dbfread(db.file("CONFIG.DBF")), "1|0| lead blank, it's;2|7|");
    // The engine reads back the leading blank too.
    EXPECT_EQ(flat(query(h, "SELECT RTRIM(VAL_TEXT) FROM CONFIG WHERE PARAM = 1").rows), " lead blank, it's");
}

TEST(DbfFiles, FilesOfOtherWritersOpenHereWhateverTheNameCase)
{
    vtest::SqlDir db;
    int h = db.hdbc();
    db.dir().write("ontime_2.dbf", outside_file(kOntime, {{"12", "1", "4.500000000", "0.25", "9", "1"},
                                                         {"12", "2", "", "", "", ""}},
                                                true));
    db.dir().write("Endp_Dat.Dbf",
                   outside_file({{"SYSTEM_ID", 'C', 16, 0}, {"TRACE_ID", 'C', 32, 0}, {"RUN", 'N', 9, 0}},
                                {{"TOOL", "TOOL:2026/03/01 10:00:00", "12"}}, true));
    EXPECT_EQ(flat(query(h, "SELECT RUN, WAFER, MEAN, MAX FROM ONTIME_2 ORDER BY WAFER").rows),
              "12|1|4.500000000|9.000000000;12|2|NULL|NULL");
    EXPECT_EQ(flat(query(h, "SELECT SYSTEM_ID, RUN FROM ENDP_DAT WHERE TRACE_ID = 'TOOL:2026/03/01 10:00:00'").rows),
              "TOOL|12");
    // NUL padding reads as blanks, so text comes back blank-padded.
    EXPECT_EQ(flat(query(h, "SELECT SYSTEM_ID FROM ENDP_DAT", true).rows), "TOOL            ");
    // And we write into them.
    EXPECT_EQ(run(h, "INSERT INTO ONTIME_2 VALUES (13, 1, 1.5, 0, 2, 1)"), 0) << qeErrMsg();
    EXPECT_EQ(run(h, "PACK ONTIME_2"), 0) << qeErrMsg();
    EXPECT_EQ(vtest::read_with_dbfread(db.file("ontime_2.dbf")), "12|1|4.5|0.25|9|1;12|2|NULL|NULL|NULL|NULL;13|1|1.5|0|2|1");
}

TEST(DbfFiles, RowsAppendedByAnotherProgramAreSeen)
{
    vtest::SqlDir db;
    int h = db.hdbc();
    std::string path = db.file("ONTIME_1.DBF");
    db.dir().write("ONTIME_1.DBF", outside_file(kOntime, {{"1", "1", "1", "1", "1", "1"}}, false));
    EXPECT_EQ(flat(query(h, "SELECT COUNT(*) FROM ONTIME_1 WHERE RUN = 1").rows), "1");
    // Another program appends a record in place: new record, new count, EOF mark.
    std::string rows = outside_file(kOntime, {{"1", "1", "1", "1", "1", "1"}, {"1", "2", "2", "2", "2", "2"}}, false);
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.write(rows.data(), static_cast<std::streamsize>(rows.size()));
    }
    EXPECT_EQ(flat(query(h, "SELECT COUNT(*) FROM ONTIME_1 WHERE RUN = 1").rows), "2");
    EXPECT_EQ(flat(query(h, "SELECT MAX(WAFER) FROM ONTIME_1").rows), "2");
}

TEST(DbfFiles, HeaderCountBeyondTheFileReadsTheWholeRecords)
{
    vtest::SqlDir db;
    std::string file = outside_file(kOntime, {{"1", "1", "1", "1", "1", "1"}, {"1", "2", "2", "2", "2", "2"}}, false);
    file[4] = 40;                           // the header claims 40 records
    file.resize(file.size() - 1 - 40);      // and the second record is cut short
    db.dir().write("ONTIME_3.DBF", file);
    EXPECT_EQ(flat(query(db.hdbc(), "SELECT RUN, WAFER FROM ONTIME_3").rows), "1|1");
}

}  // namespace

namespace {

std::string bytes_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A delete changes the file in the deletion flags of its rows and nothing else, however the rows lie
// (runs, scattered rows, rows across the engine's read blocks, a row updated in the same session).
TEST(DbfFiles, ADeleteChangesOnlyTheFlagsOfItsRows)
{
    vtest::SqlDir db;
    const int h = db.hdbc();
    ASSERT_EQ(run(h, "CREATE TABLE T (N NUMERIC(9,0), NAME CHAR(200))"), 0);
    std::string insert = "INSERT INTO T VALUES ";
    for (int i = 0; i < 1000; ++i) insert += (i ? ", (" : "(") + std::to_string(i) + ", 'row " + std::to_string(i) + "')";
    ASSERT_EQ(run(h, insert), 0);
    ASSERT_EQ(run(h, "UPDATE T SET NAME = 'changed' WHERE N = 7"), 0);
    const std::string before = bytes_of(db.file("T.DBF"));
    const std::size_t header = static_cast<unsigned char>(before[8]) | static_cast<std::size_t>(static_cast<unsigned char>(before[9])) << 8;
    const std::size_t reclen = static_cast<unsigned char>(before[10]) | static_cast<std::size_t>(static_cast<unsigned char>(before[11])) << 8;
    ASSERT_EQ(run(h, "DELETE FROM T WHERE N % 10 >= 5 OR N = 7 OR N BETWEEN 300 AND 700"), 0);
    std::string expected = before;
    int left = 0;
    for (int i = 0; i < 1000; ++i) {
        if (i % 10 >= 5 || i == 7 || (i >= 300 && i <= 700)) expected[header + static_cast<std::size_t>(i) * reclen] = '*';
        else ++left;
    }
    const std::string after = bytes_of(db.file("T.DBF"));
    ASSERT_EQ(after.size(), expected.size());
    // The header's date may move on at midnight; everything else is as expected.
    EXPECT_TRUE(after.compare(4, std::string::npos, expected, 4, std::string::npos) == 0);
    EXPECT_EQ(flat(query(h, "SELECT COUNT(*) FROM T").rows), std::to_string(left));
    const std::string reader = vtest::read_with_dbfread(db.file("T.DBF"));
    EXPECT_EQ(std::count(reader.begin(), reader.end(), ';') + 1, left);
}

}  // namespace

namespace {

// A created table is byte for byte what shapelib writes for the same columns.
TEST(DbfFiles, CreatedTablesAreWhatShapelibWrites)
{
    vtest::SqlDir db;
    ASSERT_EQ(run(db.hdbc(), "CREATE TABLE RESULTS (RUN NUMERIC(9,0), WAFER NUMERIC(5,0), OVER NUMERIC(19,9), "
                             "SYSTEM_ID CHAR(16), comment CHAR(254))"),
              0);
    const std::string ours = vtest::file_bytes(db.file("RESULTS.DBF"));
    ASSERT_GT(ours.size(), 4u);

    const std::string theirs_path = db.file("theirs.dbf");
    DBFHandle h = DBFCreateEx(theirs_path.c_str(), "LDID/87");
    ASSERT_NE(h, nullptr);
    DBFAddField(h, "RUN", FTDouble, 9, 0);
    DBFAddField(h, "WAFER", FTDouble, 5, 0);
    DBFAddField(h, "OVER", FTDouble, 19, 9);
    DBFAddField(h, "SYSTEM_ID", FTString, 16, 0);
    DBFAddField(h, "COMMENT", FTString, 254, 0);
    DBFSetLastModifiedDate(h, static_cast<unsigned char>(ours[1]), static_cast<unsigned char>(ours[2]),
                           static_cast<unsigned char>(ours[3]));
    DBFClose(h);
    EXPECT_EQ(ours, vtest::file_bytes(theirs_path));
    EXPECT_EQ(vtest::fields_with_dbfread(db.file("RESULTS.DBF")),
              "RUN N 9 0,WAFER N 5 0,OVER N 19 9,SYSTEM_ID C 16 0,COMMENT C 254 0");
}

}  // namespace

namespace {

// Names are read from the directory once, but a table another program puts there in between is seen.
TEST(DbfFiles, ATableAnotherProgramAddsBetweenCreatesIsFound)
{
    vtest::SqlDir db;
    ASSERT_EQ(run(db.hdbc(), "CREATE TABLE FIRST (N NUMERIC(5,0))"), 0);
    ASSERT_EQ(run(db.hdbc(), "CREATE TABLE SECOND (N NUMERIC(5,0))"), 0);
    {
        std::ifstream in(db.file("FIRST.DBF"), std::ios::binary);
        std::ofstream out(db.file("third.dbf"), std::ios::binary);
        out << in.rdbuf();
    }
    EXPECT_EQ(run(db.hdbc(), "CREATE TABLE THIRD (N NUMERIC(5,0))"), vsql::kTableExists);
    EXPECT_EQ(run(db.hdbc(), "CREATE TABLE second (N NUMERIC(5,0))"), vsql::kTableExists);
    EXPECT_EQ(flat(query(db.hdbc(), "SELECT COUNT(*) FROM Third").rows), "0");
}

}  // namespace
