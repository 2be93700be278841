// The run table accessor: new runs, look-ups, channel texts, POR header rows, trace deletion, run numbers and run deletion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/config_store.h"
#include "core/ini_file.h"
#include "core/run_table.h"
#include "core/schema.h"
#include "panels/wait.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "tests/core/core_fixture.h"

namespace {

class RunTable : public coretest::CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        int h = hdbc;
        ASSERT_EQ(check_tables(&h), 0);
        std::filesystem::create_directory(dir.file("SC_DATA"));
    }
    void add_run(int run, int wafers, const char* trace_id = "SYS:2026/03/01 10:00:00", const char* date = "2026/03/01",
                 int rate = 10, const char* channels = "U0000000003 02 10.0")
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO VALUES (%d, %d, %d, 'SYS', 'ETCH', '%s', '%s', "
                                                   "'%s', '10:00:00', 'note', 0, 1, 0)",
                                                   run, wafers, rate, trace_id, channels, date)),
                  0);
    }
    void touch(int run, int wafer) { dir.write(vsys::strprintf("SC_DATA/%.8d.%.3d", run, wafer), "x"); }
    bool exists(int run, int wafer) { return vsys::file_exists(dir.file(vsys::strprintf("SC_DATA/%.8d.%.3d", run, wafer))); }

    char system_id[17] = "", recipe[33] = "", trace_id[33] = "", comment[65] = "";
    short complete = 0, cassette = 0;
    run_info_request request(int code, int run = 0)
    {
        return {hdbc, code, run, system_id, recipe, trace_id, comment, &complete, &cassette};
    }
};

TEST_F(RunTable, RunNumbersFollowBothTablesAndWrapToOne)
{
    struct Case {
        int endp, vt;
        int expected;
    };
    const Case cases[] = {{0, 0, 1}, {50, 40, 51}, {40, 60, 61}, {99999999, 0, 1}, {0, 99999999, 1}};
    for (const Case& c : cases) {
        vtest::run(hdbc, "DELETE FROM ENDP_PAR");
        vtest::run(hdbc, "DELETE FROM VT_INFO");
        if (c.endp) vtest::run(hdbc, vsys::strprintf("INSERT INTO ENDP_PAR (RUN, SWITCHES) VALUES (%d, 'x')", c.endp));
        if (c.vt) add_run(c.vt, 1);
        int run = -5;
        determine_run(hdbc, &run);
        EXPECT_EQ(run, c.expected) << c.endp << "," << c.vt;
    }
}

TEST_F(RunTable, NewRunStoresTheWholeSystemIdAndFormsTheTraceIdFromTwelveCharacters)
{
    vtest::SimulatedClock clock({2026, 3, 14, 9, 30, 5});
    run_num = 17;
    sample_rate_index = -5;
    VantrelChannelStatusBits = 0x80000001u;
    saved_channels = 2;
    std::strcpy(system_id, "ABCDEFGHIJKLMNO");
    std::strcpy(recipe, "O'Neil etch");
    std::strcpy(comment, "first 'quoted' run");
    EXPECT_EQ(info_table(request(1)), -1);
    EXPECT_STREQ(system_id, "ABCDEFGHIJKL");
    EXPECT_STREQ(trace_id, "ABCDEFGHIJKL:2026/03/14 09:30:05");
    EXPECT_STREQ(save_date, "2026/03/14");
    EXPECT_STREQ(save_time, "09:30:05");
    EXPECT_EQ(ADCBits, 0);
    EXPECT_EQ(rows("SELECT * FROM VT_INFO"),
              "17|1|-5|ABCDEFGHIJKLMNO|O'Neil etch|ABCDEFGHIJKL:2026/03/14 09:30:05|U2147483649 02 10.0|2026/03/14|"
              "09:30:05|first 'quoted' run|0|0|0");
}

TEST_F(RunTable, SystemIdLongerThanTheColumnIsCutTo16)
{
    char long_id[40] = "SYSTEM-ID-OF-TWENTY-SIX-CH";
    run_info_request r = request(1);
    r.system_id = long_id;
    info_table(r);
    EXPECT_EQ(rows("SELECT SYSTEM_ID FROM VT_INFO"), "SYSTEM-ID-OF-TWE");
    EXPECT_STREQ(long_id, "SYSTEM-ID-OF");
}

TEST_F(RunTable, ReadingARunSetsTheRunGlobals)
{
    add_run(5, 1500, "SYS:A", "2026/03/01", 0, "U0000000013 07 10.0");
    num_of_wafers = 0;
    EXPECT_EQ(info_table(request(3, 5)), 0);
    EXPECT_EQ(run_num, 5);
    EXPECT_EQ(num_of_wafers, 999);
    EXPECT_EQ(sample_rate_index, 10);
    EXPECT_EQ(sample_rate, 10);
    EXPECT_STREQ(recipe, "ETCH");
    EXPECT_STREQ(trace_id, "SYS:A");
    EXPECT_STREQ(comment, "note");
    EXPECT_STREQ(save_date, "2026/03/01");
    EXPECT_EQ(complete, 1);
    EXPECT_EQ(VantrelChannelStatusBits, 13u);
    EXPECT_EQ(saved_channels, 3);
    EXPECT_EQ(channels, 8);
    // The same run by its trace id.
    run_num = 0;
    EXPECT_EQ(info_table(request(4)), 0);
    EXPECT_EQ(run_num, 5);
}

TEST_F(RunTable, MissingRunGivesNaTexts)
{
    run_num = 44;
    complete = 7;
    EXPECT_NE(info_table(request(3, 12345)), 0);
    EXPECT_EQ(num_of_wafers, 0);
    for (const char* t : {system_id, recipe, trace_id, comment, save_date, save_time}) EXPECT_STREQ(t, "NA");
    EXPECT_EQ(run_num, 44);
    EXPECT_EQ(complete, 7);
}

TEST_F(RunTable, TraceIdWithQuotesIsLookedUpSafely)
{
    add_run(8, 1, "O''Brien:2026/03/01 10:00:00");
    std::strcpy(trace_id, "O'Brien:2026/03/01 10:00:00");
    EXPECT_EQ(info_table(request(4)), 0);
    EXPECT_EQ(run_num, 8);
}

TEST_F(RunTable, ChannelTextForms)
{
    struct Case {
        std::string text;
        unsigned mask;
        int channels, saved, adc;
    };
    const Case cases[] = {
        {"U0000000013 07 10.0", 13, 8, 3, 0},
        {"U0000065536 01 10.0", 65536, 24, 1, 0},
        {"R2147483648 01 10.0", 0x80000000u, 32, 1, 1},
        {std::string("C0000000768") + char(5), 768, 16, 5, 1},
        {std::string("N255") + char(24), 255, 24, 24, 1},
        {"0" "1010000000000000" "1", 0x5, 16, 16, 1},
        {"U0000000000 00 10.0", 0, 4, 0, 0},  // no channel: the count stays
        // A digit form shorter than its 18 places, or no text at all: the places past its end count as 0.
        {"01", 0x1, 8, 8, 1},
        {"", 0, 8, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        channels = 4;
        read_channel_text(c.text.c_str());
        EXPECT_EQ(VantrelChannelStatusBits, c.mask);
        EXPECT_EQ(channels, c.channels);
        EXPECT_EQ(saved_channels, c.saved);
        EXPECT_EQ(ADCBits, c.adc);
    }
}

TEST_F(RunTable, PorHeaderRowIsWrittenOnceAndOverwritten)
{
    VantrelChannelStatusBits = 7;
    num_of_wafers = 1;
    std::strcpy(save_date, "2026/03/01");
    std::strcpy(save_time, "10:00:00");
    cassette = 3;
    for (const char* process_name : {"ETCH", "ASH"}) {
        std::strcpy(system_id, "SYS");
        std::strcpy(recipe, process_name);
        std::strcpy(trace_id, "SYS:2026/03/01 10:00:00");
        complete = 0;
        EXPECT_EQ(info_table(request(-1, 4)), -1);
        EXPECT_EQ(complete, 1);
    }
    EXPECT_EQ(rows("SELECT RUN_NUM, TRACE_ID, RECIPE, CHANNELS, COMMENT, TRACE_DEL, COMPLETE, CASSETTE FROM VT_INFO"),
              "-4|ASH|SYS:2026/03/01 10:00:00|U0000000007 03 10.0|"
              "Type comments here to describe the Process of Record (POR).|1|1|3");
}

TEST_F(RunTable, MissingRunTableIsCreatedWithItsPlaceholderAndTriedOnce)
{
    vtest::run(hdbc, "DROP TABLE VT_INFO");
    std::filesystem::remove(dir.file("VT_INFO.DBF"));
    EXPECT_NE(info_table(request(3, 1)), 0) << "still no run 1 after the retry";
    EXPECT_EQ(rows("SELECT RUN_NUM, SYSTEM_ID FROM VT_INFO"), "0|b");
    // A second failure does not add a second placeholder.
    run_num = 9;
    std::strcpy(system_id, "SYS");
    info_table(request(1));
    EXPECT_EQ(rows("SELECT RUN_NUM FROM VT_INFO ORDER BY RUN_NUM"), "0;9");
}

TEST_F(RunTable, FailedRetryIsReportedNotFound)
{
    // A connection that cannot run anything: the retry fails too and the look-up says so.
    int h = hdbc;
    hdbc = 30000;
    run_info_request r = request(3, 1);
    r.hdbc = 30000;
    EXPECT_NE(info_table(r), 0);
    hdbc = h;
}

TEST_F(RunTable, UnknownCodeIsRefused)
{
    ui.answer(1);
    EXPECT_EQ(info_table(request(7)), -1);
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "Info Table Error");
    EXPECT_EQ(ui.popups()[0].text, "Undefined Select Operation");
}

TEST_F(RunTable, OldTracesAreDeletedUpToWafer999)
{
    add_run(3, 2, "A", "2026/01/01");
    add_run(4, 1500, "B", "2026/02/01");
    add_run(6, 1, "C", "2026/03/20");
    for (auto [run, wafer] : {std::pair{3, 1}, {3, 2}, {4, 1}, {4, 999}, {4, 1000}, {6, 1}}) touch(run, wafer);
    std::strcpy(save_date, "2026/03/01");
    EXPECT_EQ(info_table(request(2)), 5);
    EXPECT_FALSE(exists(3, 1));
    EXPECT_FALSE(exists(3, 2));
    EXPECT_FALSE(exists(4, 999));
    EXPECT_TRUE(exists(4, 1000));
    EXPECT_TRUE(exists(6, 1));
    EXPECT_EQ(rows("SELECT RUN_NUM, TRACE_DEL FROM VT_INFO ORDER BY RUN_NUM"), "3|1;4|1;6|0");
    EXPECT_EQ(ui.find_panel("WAIT"), 0) << "the wait panel is closed";
    std::strcpy(save_date, "2025/01/01");
    EXPECT_EQ(info_table(request(2)), -1) << "no run older than the date";
}

// A trace that cannot be removed (here a folder in its place) keeps its run unmarked, so a later pass tries again.
TEST_F(RunTable, ARunWhoseTraceStaysIsNotMarkedDeleted)
{
    add_run(3, 2, "A", "2026/01/01");
    add_run(4, 1, "B", "2026/02/01");
    touch(3, 1);
    std::filesystem::create_directories(dir.file("SC_DATA/00000003.002/keep"));
    touch(4, 1);
    std::strcpy(save_date, "2026/03/01");
    EXPECT_EQ(info_table(request(2)), 5);
    EXPECT_FALSE(exists(3, 1));
    EXPECT_FALSE(exists(4, 1));
    EXPECT_EQ(rows("SELECT RUN_NUM, TRACE_DEL FROM VT_INFO ORDER BY RUN_NUM"), "3|0;4|1");
}

TEST_F(RunTable, CancelStopsTheTraceDeletionAfterTheCurrentRun)
{
    for (int run = 1; run <= 4; ++run) {
        add_run(run, 1, vsys::strprintf("T%d", run).c_str(), "2026/01/01");
        touch(run, 1);
    }
    ui.after_pumps(1, [this] { ui.press(ui.find_panel("WAIT"), WAIT_CANCEL); });
    std::strcpy(save_date, "2026/03/01");
    EXPECT_EQ(info_table(request(2)), 0);
    EXPECT_FALSE(exists(1, 1));
    EXPECT_TRUE(exists(2, 1));
    EXPECT_EQ(ui.find_panel("WAIT"), 0);
}

TEST_F(RunTable, TracesBelowARunAndThreshold)
{
    for (int run : {1, 2, 30}) {
        add_run(run, 1, vsys::strprintf("T%d", run).c_str());
        touch(run, 1);
    }
    EXPECT_EQ(info_table(request(6, 30)), 0);
    EXPECT_FALSE(exists(1, 1));
    EXPECT_FALSE(exists(2, 1));
    EXPECT_TRUE(exists(30, 1));
    EXPECT_EQ(info_table(request(-10)), 3);  // 1 + (30 - 1) / 10
    vtest::run(hdbc, "DELETE FROM VT_INFO WHERE RUN_NUM = 30");
    EXPECT_EQ(info_table(request(-10)), 2);  // min + 0 equals min: one more
}

TEST_F(RunTable, FreeingSpaceDeletesTheOldestTracesUntilTheLimit)
{
    for (int run : {1, 2, 3}) {
        add_run(run, 1, vsys::strprintf("T%d", run).c_str());
        dir.write(vsys::strprintf("SC_DATA/%.8d.001", run), std::string(600000, 'x'));
    }
    EXPECT_EQ(info_table(request(5, 1)), 0) << "one megabyte reached after two runs";
    EXPECT_FALSE(exists(1, 1));
    EXPECT_FALSE(exists(2, 1));
    EXPECT_TRUE(exists(3, 1));
}

class Deletion : public RunTable {
protected:
    void SetUp() override
    {
        RunTable::SetUp();
        for (int c : {1, 2}) {
            create_step_table(&hdbc, c, 1);
            create_stpm_table(&hdbc, c, 1);
            create_other_table(&hdbc, c);
            create_area_table(&hdbc, c);
            for (int run : {5, 6})
                for (const char* t : {"STEP%.2d01", "STPM%.2d01", "OTHER_%.2d", "AREA_%.2d"}) {
                    std::string table = vsys::strprintf(t, c);
                    vtest::run(hdbc, vsys::strprintf("INSERT INTO %s (RUN, WAFER) VALUES (%d, 1)", table.c_str(), run));
                    vtest::run(hdbc, vsys::strprintf("INSERT INTO %s (RUN, WAFER) VALUES (%d, 2)", table.c_str(), run));
                }
        }
        create_timer_table(&hdbc, 1);
        vtest::run(hdbc, "INSERT INTO TIMER_01 (RUN, WAFER) VALUES (5, 1)");
        vtest::run(hdbc, "INSERT INTO OOC_ALRM (RUN, WAFER, CLEARED) VALUES (5, 1, 0)");
        vtest::run(hdbc, "INSERT INTO ENDP_PAR (RUN, SWITCHES) VALUES (5, 'x')");
        add_run(5, 2);
        add_run(6, 2);
    }
    std::string count(const std::string& table, int run)
    {
        return rows(vsys::strprintf("SELECT COUNT(*) FROM %s WHERE RUN%s = %d", table.c_str(),
                                    table == "VT_INFO" ? "_NUM" : "", run));
    }
};

TEST_F(Deletion, OneRunWithEverything)
{
    EXPECT_EQ(delete_db_records(hdbc, 5, '=', 4, -1), 0);
    for (const char* t : {"STEP0101", "STPM0201", "OTHER_01", "AREA_02", "TIMER_01", "OOC_ALRM", "ENDP_PAR", "VT_INFO"})
        EXPECT_EQ(count(t, 5), "0") << t;
    EXPECT_EQ(count("STEP0101", 6), "2");
    EXPECT_EQ(count("VT_INFO", 6), "1");
}

TEST_F(Deletion, OnlyTheTablesOfTheSetupAndOneWafer)
{
    channel_type[1] = 1;  // a step channel with one step
    channel_type[2] = 0;
    get_put_number(26, 1, NUMB_WRITE, 1.0);
    timer_status_bit = 0;
    EXPECT_EQ(delete_db_records(hdbc, 5, '=', 2, 2), 0);
    EXPECT_EQ(count("STEP0101", 5), "1");
    EXPECT_EQ(count("STEP0201", 5), "2") << "channel 2 is no step channel";
    EXPECT_EQ(count("OTHER_01", 5), "2") << "channel 1 is no static channel";
    EXPECT_EQ(count("OTHER_02", 5), "1");
    EXPECT_EQ(count("AREA_01", 5), "1");
    EXPECT_EQ(count("TIMER_01", 5), "1") << "timer 1 is not defined";
    EXPECT_EQ(count("VT_INFO", 5), "1");
    channel_type[1] = 0;
}

TEST_F(Deletion, CancelLeavesTheRemainingTablesAlone)
{
    ui.after_pumps(1, [this] { ui.press(ui.find_panel("WAIT"), WAIT_CANCEL); });
    EXPECT_EQ(delete_db_records(hdbc, 5, '<', 4, -1), 1);
    EXPECT_EQ(ui.find_panel("WAIT"), 0);
    EXPECT_EQ(count("ENDP_PAR", 5), "1");
    EXPECT_EQ(count("VT_INFO", 5), "1");
}

// An archive directory "OLD" beside the working directory with two runs to archive; returns its connection.
class Archive : public RunTable {
protected:
    int prepare()
    {
        char value[kIniValueSize];
        std::strcpy(value, archive_dir.path().c_str());
        read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "ARCHIVE", value);
        char t[33];
        get_put_char(hdbc, 0, 13, CONFIG_WRITE, std::strcpy(t, "1"));
        get_put_char(hdbc, 2, 1, CONFIG_WRITE, std::strcpy(t, "OLD"));
        get_put_char(hdbc, 1, 3, CONFIG_WRITE, std::strcpy(t, "ETCH"));
        add_run(7, 2, "O''Hara:1");
        add_run(8, 1, "SYS:2");
        int target = DBConnect(("DSN=ZID32_Samples; DB=" + archive_dir.path()).c_str());
        check_tables(&target);
        vtest::run(target, "INSERT INTO ENDP_PAR (RUN, SWITCHES) VALUES (40, 'x')");
        run_num = 7;
        return target;
    }
    std::string archived(int target)
    {
        return vtest::flat(
            vtest::query(target, "SELECT RUN_NUM, TRACE_ID FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM").rows);
    }
    vtest::TempDir archive_dir;
};

TEST_F(Archive, CopiesRunsUnderNewNumbers)
{
    int target = prepare();
    ASSERT_GT(target, 0);
    std::vector<std::string> log;
    vtest::amend_core_seams([&](CoreSeams& s) {
        s.network_stuff = [&](int, int n, short keep, int) {
            log.push_back(vsys::strprintf("network:%d,%d", n, keep));
            return 0;
        };
        s.multi_copy = [&](const char* from, const char* to, short* count) {
            log.push_back(std::string(from) + ">" + to + ":" + std::to_string(*count));
            *count = 0;
            return 0;
        };
        s.insert_recipe_into_file_map = [&](int, int, const char*, const char*, const char*, int process, int*,
                                            short) {
            log.push_back("recipe:" + std::to_string(process));
            return 0;
        };
    });
    EXPECT_EQ(info_table(request(20, target)), 0);
    EXPECT_EQ(archived(target), "41|O'Hara:1;42|SYS:2");
    const std::string from = dir.path() + "/SC_DATA/", to = archive_dir.path() + "/OLD/SC_DATA/";
    EXPECT_EQ(log, (std::vector<std::string>{"network:41,1", from + "00000007.>" + to + "00000041.:2", "recipe:3",
                                             "network:42,1", from + "00000008.>" + to + "00000042.:1"}));
    DBDisconnect(target);
}

// A program that cannot copy results, traces or setups archives nothing rather than run rows alone.
TEST_F(Archive, WithoutItsCopyStepsNothingIsArchivedAndTheUserIsTold)
{
    int target = prepare();
    ASSERT_GT(target, 0);
    vtest::amend_core_seams([](CoreSeams& s) {
        s.network_stuff = [](int, int, short, int) { return 0; };
        s.insert_recipe_into_file_map = nullptr;
        s.multi_copy = nullptr;
    });
    ui.answer(1);
    EXPECT_EQ(info_table(request(20, target)), 1);
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "Not Available");
    EXPECT_EQ(ui.popups()[0].text, "Copying the wafer traces of a run and copying a process setup to another "
                                   "directory are not part of this program yet; the operation was stopped.");
    EXPECT_EQ(archived(target), "");
    EXPECT_EQ(run_num, 7);
    DBDisconnect(target);
}

}  // namespace
