// The configuration stores: keys, defaults, create on demand, the setup groups and LoadSetup.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/config_store.h"
#include "platform/ui/userint.h"
#include "tests/core/core_fixture.h"

namespace {

using coretest::CoreTest;

std::string text(int param, int index, short op, const char* in = "")
{
    char value[64] = {};
    std::strncpy(value, in, sizeof value - 1);
    return get_put_char(hdbc, param, index, op, value);
}

void put(int param, int index, const char* v, short op = CONFIG_WRITE)
{
    char value[64] = {};
    std::strncpy(value, v, sizeof value - 1);
    get_put_char(hdbc, param, index, op, value);
}

TEST_F(CoreTest, WithoutConfigTheProcessNumberIsStoredAndLoadSetupTitlesTheMainPanel)
{
    parent_panel = NewPanel(0, "", 0, 0, 600, 800);
    LoadSetup();
    EXPECT_EQ(recipe_num, 3);
    EXPECT_EQ(ui.title(parent_panel), "System=W1, Setup1");
    EXPECT_EQ(rows("SELECT PARAM, INDEX, VAL_TEXT FROM CONFIG ORDER BY PARAM, INDEX"), "0|0|W1;0|5|3;1|3|Setup1");
    // The menu rebuild, then the forced save of the new default name; no strip chart, so no names().
    EXPECT_EQ(calls, (std::vector<std::string>{"update_menu", "saveAllAndExport:1"}));
    DiscardPanel(parent_panel);
    parent_panel = -1;
}

TEST_F(CoreTest, ConfigDefaultsAreStoredOnlyWhereTheKeyTableSaysSo)
{
    struct Case {
        int param, index;
        const char* expected;
        bool stored;
    };
    const Case cases[] = {
        {0, 0, "W1", true}, {0, 1, "W2", true}, {0, 5, "3", true},  {0, 8, "NA", false},
        {0, 13, "NA", false}, {0, 21, "NA", false}, {2, 4, "NA", false}, {1, 7, "Setup5", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.param) + "," + std::to_string(c.index));
        EXPECT_EQ(text(c.param, c.index, CONFIG_READ), c.expected);
        std::string stored = rows("SELECT VAL_TEXT FROM CONFIG WHERE PARAM = " + std::to_string(c.param) + " AND INDEX = " + std::to_string(c.index));
        EXPECT_EQ(stored, c.stored ? std::string(c.expected) : "");
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"saveAllAndExport:1"}));
}

TEST_F(CoreTest, TagDefaultsAreNotStoredAndTextsAreCutTo32)
{
    EXPECT_EQ(text(28, 5, TAGS_READ), "A5");
    EXPECT_EQ(text(29, 16, TAGS_READ), "T16");
    EXPECT_EQ(text(30, 1, TAGS_READ), "NA");
    put(28, 5, "Chamber pressure, the long name of it", TAGS_WRITE);
    EXPECT_EQ(text(28, 5, TAGS_READ), "Chamber pressure, the long name") << "cut to 32, trailing blank trimmed";
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"0003TAGS\""), "1");
    put(28, 5, "Pressure", TAGS_WRITE);  // updated in place, never a second row
    EXPECT_EQ(text(28, 5, TAGS_READ), "Pressure");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"0003TAGS\""), "1");
}

TEST_F(CoreTest, ProcessByNameLooksOnlyAtProcessNamesAndQuotesTheName)
{
    put(0, 0, "ETCH");         // a system named like a process
    put(1, 4, "ETCH");
    put(1, 6, "O'Brien's");
    put(1, 8, "NA");           // a process really named NA
    EXPECT_EQ(text(0, 0, PROCESS_BY_NAME, "ETCH"), "4");
    EXPECT_EQ(text(0, 0, PROCESS_BY_NAME, "O'Brien's"), "6");
    EXPECT_EQ(text(0, 0, PROCESS_BY_NAME, "x' OR '1'='1"), "Not Found");
    EXPECT_EQ(text(1, 8, CONFIG_READ), "NA");
    EXPECT_EQ(calls, std::vector<std::string>{}) << "a stored name NA is no missing name";
}

TEST_F(CoreTest, FirstFreeProcessNumber)
{
    EXPECT_EQ(text(0, 0, FIRST_FREE_PROCESS), "3") << "no CONFIG table: it is created";
    EXPECT_EQ(text(0, 0, FIRST_FREE_PROCESS), "3");
    put(1, 3, "A");
    put(1, 4, "B");
    EXPECT_EQ(text(0, 0, FIRST_FREE_PROCESS), "5");
    put(1, 6, "C");
    EXPECT_EQ(text(0, 0, FIRST_FREE_PROCESS), "5");
    put(1, 5, "D");
    EXPECT_EQ(text(0, 0, FIRST_FREE_PROCESS), "7");
}

TEST_F(CoreTest, ProcessListSkipsProtectedProcessesUnlessAllAndNeverListsPlasmaClean)
{
    put(1, 0, "DEFAULT");
    put(1, 1, "FACTORY");
    put(1, 3, "ZETA");
    put(1, 4, "PLASMA CLEAN");
    put(1, 5, "ALPHA");
    int panel = NewPanel(0, "", 0, 0, 100, 100);
    int list = NewCtrl(panel, CTRL_LIST_BOX, "", 0, 0);
    put(panel, list, "", LIST_PROCESSES);
    EXPECT_EQ(ui.plain_items(panel, list), (std::vector<std::string>{"ALPHA", "ZETA"}));
    ClearListCtrl(panel, list);
    put(panel, list, "ALL", LIST_PROCESSES);
    EXPECT_EQ(ui.plain_items(panel, list), (std::vector<std::string>{"ALPHA", "DEFAULT", "FACTORY", "ZETA"}));
    int value = 0;
    GetValueFromIndex(panel, list, 0, &value);
    EXPECT_EQ(value, 5);
    DiscardPanel(panel);
}

TEST_F(CoreTest, ExportGoesToTheSetupFolderForEachListedProcess)
{
    put(1, 2, "FACTORY");
    put(1, 3, "ETCH");
    std::vector<std::string> exported;
    vtest::amend_core_seams([&](CoreSeams& s) {
        s.ExportRecipe = [&](const char* name, const char* directory, char overwrite, char by_name) {
            exported.push_back(std::string(name) + "@" + directory + ":" + std::to_string(overwrite) + std::to_string(by_name));
            return 0;
        };
    });
    put(0, 0, "", EXPORT_PROCESSES);
    EXPECT_EQ(exported, (std::vector<std::string>{"ETCH@" + dir.path() + "/Setup:01"}));
}

TEST_F(CoreTest, DeleteRemovesOneConfigRow)
{
    put(0, 13, "2");
    put(0, 15, "x", CONFIG_DELETE);
    put(0, 13, "x", CONFIG_DELETE);
    EXPECT_EQ(text(0, 13, CONFIG_READ), "NA");
}

TEST_F(CoreTest, NumberTDefaultsAndIndexRange)
{
    struct Case {
        short param, index;
        double expected;
    };
    const Case cases[] = {{0, 0, -11.0}, {1, 0, 11.0},   {0, 1, -11.0},   {1, 1, 11.0}, {2, 0, 1.0},
                          {3, 0, 1.0},   {4, 1, 0.0},    {4, 2, 0xFF0000}, {4, 8, 0x9400D3}, {4, 9, 0.0},
                          {4, 40, 0.0},  {6, 0, 0.0},    {10, 0, 30.0},   {5, 0, 0.0},  {11, 0, 0.0}, {-1, 0, 0.0}};
    for (const Case& c : cases) EXPECT_EQ(get_put_number(c.param, c.index, NUMBER_T_READ, 0), c.expected) << c.param << "," << c.index;
    EXPECT_EQ(get_put_number(10, 0, NUMBER_T_WRITE, 45.5), 45.5);
    EXPECT_EQ(get_put_number(10, 0, NUMBER_T_READ, 0), 45.5);
    get_put_number(4, 40, NUMBER_T_WRITE, 0x123456);
    EXPECT_EQ(get_put_number(4, 40, NUMBER_T_READ, 0), 0.0) << "a row with an index above 32 is not used";
    get_put_number(10, 0, NUMBER_T_WRITE, 20.0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM NUMBER_T WHERE PARAM = 10"), "1");
}

TEST_F(CoreTest, EmptySetupTableLeavesDefaultsButNoChannel)
{
    ASSERT_EQ(vtest::run(hdbc, "CREATE TABLE 0003NUMB (PARAM NUMERIC(5,0), INDEX NUMERIC(5,0), NUM_VAL NUMERIC(19,9))"), 0);
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0);
    EXPECT_EQ(VantrelChannelStatusBits, 0u);
    EXPECT_EQ(saved_channels, 0);
    EXPECT_EQ(sample_rate_index, 100);
    EXPECT_EQ(delay, 11);
    EXPECT_EQ(precoat_minimum, 250);
    EXPECT_EQ(channel_slope[32], 1.0);
}

TEST_F(CoreTest, LoadedValuesAreRoundedAndClamped)
{
    struct Case {
        short param, index;
        double stored;
        const char* what;
    };
    get_put_number(4, 0, NUMB_WRITE, 0);
    get_put_number(13, 0, NUMB_WRITE, 0);
    get_put_number(27, 0, NUMB_WRITE, -3);
    get_put_number(8, 2, NUMB_WRITE, 5);
    get_put_number(10, 2, NUMB_WRITE, 1.000);
    get_put_number(11, 7, NUMB_WRITE, 1.004);  // any index counts for the process trigger high level
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0);
    EXPECT_EQ(sample_rate_index, 10);
    EXPECT_EQ(sample_rate, 10);
    EXPECT_EQ(precoat_minimum, 1000000000);
    EXPECT_EQ(minimum_trig_width, 0);
    EXPECT_EQ(process_trig_high, 1.004);
    EXPECT_EQ(process_trig_channel, 0);
    get_put_number(4, 0, NUMB_WRITE, -5);
    get_put_number(11, 2, NUMB_WRITE, 3.0);
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0);
    EXPECT_EQ(sample_rate_index, -5);
    EXPECT_EQ(sample_rate, 1);
    EXPECT_EQ(process_trig_channel, 5);
    EXPECT_EQ(get_put_number(11, 7, NUMB_READ, 0), 1.004);
    EXPECT_EQ(get_put_number(11, 40, NUMB_READ, 0), 0.0);
}

TEST_F(CoreTest, EveryGroupSurvivesASaveAndALoad)
{
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0);
    channel_type[3] = 21;
    channel_slope[3] = 2.5;
    channel_inter[32] = -0.125;
    VantrelChannelStatusBits = 0x80000005u;
    channels = 32;
    sample_rate_index = 1000;
    trig_type = 1;
    trigger = 2;
    trig_ch = 3;
    trig_2_ch = 32;
    trig_log = -1;
    trig_val = 1.5;
    trig_2_val = -2.25;
    process_trig_channel = 4;
    process_trig_low = 0.5;
    process_trig_high = 4.5;
    delay = 7;
    minimum_trig_width = 3;
    precoat_minimum = 1000000000;  // no precoat
    step_set_channel[3] = 9;
    steps_per_process[3] = 16;
    timer_status_bit = 0x8001;
    timer_start_channel[1] = 3;
    timer_end_channel[16] = 255;
    timer_start_logic_bit = 0x8000;
    timer_end_logic_bit = 1;
    timer_start_val[1] = 0.75;
    timer_end_val[16] = 9.5;
    timer_start_gun[1] = 200;
    timer_end_gun[16] = -3;
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0);
    get_put_number(0, 0, SAVE_STEP_GROUP, 0);
    get_put_number(0, 0, SAVE_TIMER_GROUP, 0);
    // Saving twice keeps one row per key.
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0);
    get_put_number(0, 0, SAVE_TIMER_GROUP, 0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"0003NUMB\""), std::to_string(32 * 4 + 17 + 64 + 16 * 9));

    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0);
    channel_type[3] = 0;
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0);
    EXPECT_EQ(channel_type[3], 21);
    EXPECT_EQ(channel_slope[3], 2.5);
    EXPECT_EQ(channel_inter[32], -0.125);
    EXPECT_EQ(VantrelChannelStatusBits, 0x80000005u);
    EXPECT_EQ(channels, 32);
    EXPECT_EQ(saved_channels, 3);
    EXPECT_EQ(sample_rate_index, 1000);
    EXPECT_EQ(trig_type, 1);
    EXPECT_EQ(trigger, 2);
    EXPECT_EQ(trig_ch, 3);
    EXPECT_EQ(trig_2_ch, 32);
    EXPECT_EQ(trig_log, -1);
    EXPECT_EQ(trig_val, 1.5);
    EXPECT_EQ(trig_2_val, -2.25);
    EXPECT_EQ(process_trig_channel, 4);
    EXPECT_EQ(process_trig_high, 4.5);
    EXPECT_EQ(delay, 7);
    EXPECT_EQ(minimum_trig_width, 3);
    EXPECT_EQ(precoat_minimum, 1000000000);
    EXPECT_EQ(step_set_channel[3], 9);
    EXPECT_EQ(steps_per_process[3], 16);
    EXPECT_EQ(timer_status_bit, 0x8001);
    EXPECT_EQ(timer_start_channel[1], 3);
    EXPECT_EQ(timer_end_channel[16], 255);
    EXPECT_EQ(timer_start_logic_bit, 0x8000);
    EXPECT_EQ(timer_end_logic_bit, 1);
    EXPECT_EQ(timer_start_val[1], 0.75);
    EXPECT_EQ(timer_end_val[16], 9.5);
    EXPECT_EQ(timer_start_gun[1], 200) << "event numbers load as 32-bit values";
    EXPECT_EQ(timer_end_gun[16], -3);
    EXPECT_EQ(rows("SELECT NUM_VAL FROM \"0003NUMB\" WHERE PARAM = 17 AND INDEX = 16"), "-1.000000000");
}

TEST_F(CoreTest, ClosedConnectionGivesNeutralResults)
{
    int open = hdbc;
    hdbc = -1;
    EXPECT_EQ(get_put_number(10, 0, NUMBER_T_READ, 0), 0.0);
    EXPECT_EQ(get_put_number(10, 0, NUMBER_T_WRITE, 5), 0.0);
    EXPECT_EQ(text(28, 3, TAGS_READ), "A3");
    EXPECT_EQ(text(0, 0, CONFIG_READ), "NA");
    hdbc = open;
    EXPECT_EQ(rows("SELECT COUNT(*) FROM NUMBER_T"), "");
}

TEST_F(CoreTest, EditModeIsRefusedForProtectedProcesses)
{
    for (int process : {0, 1, 2}) {
        recipe_num = process;
        ui.answer(1);
        EXPECT_EQ(GotoEditMode(), 0);
        EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, 0);
        ASSERT_FALSE(ui.popups().empty());
        EXPECT_EQ(ui.popups().back().title, "Save Error");
        EXPECT_EQ(ui.popups().back().text,
                  "This process is write protected.  Please select \"Save As...\" from the \"File menu.\"");
    }
    recipe_num = 3;
    EXPECT_EQ(GotoEditMode(), 1);
    EXPECT_EQ(Flags & FLAG_PENDING_CHANGES, FLAG_PENDING_CHANGES);
}

}  // namespace
