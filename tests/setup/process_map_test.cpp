// Storing a named process setup into a database: a new name, a name already there, its refusals and saving in place.
// (A name stored above 9000 is never found by name, so its refusal cannot be reached from here.)
#include <gtest/gtest.h>

#include "setup/run_copy.h"
#include "tests/setup/setup_fixture.h"

namespace {

class ProcessMapTest : public setuptest::SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        other = DBConnect(("DSN=ZID32_Samples; DB=" + target.path()).c_str());
        ASSERT_GT(other, 0);
        channel_slope[1] = 2.5;
        get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    }
    void TearDown() override
    {
        if (other > 0) DBDisconnect(other);
        SetupTest::TearDown();
    }
    void name_in_target(int n, const char* name)
    {
        char text[33];
        vsys::format_into(text, sizeof text, "%s", name);
        get_put_char(other, 1, n, CONFIG_WRITE, text);
    }
    std::string target_config(int param, int index)
    {
        char text[33];
        return get_put_char(other, param, index, CONFIG_READ, text);
    }
    std::string target_rows(const std::string& sql) { return vtest::flat(vtest::query(other, sql).rows); }
    int store(const char* name, short ask, int* number)
    {
        return insert_recipe_into_file_map(hdbc, other, target.path().c_str(), dir.path().c_str(), name, 3, number, ask);
    }

    vtest::TempDir target;
    int other = -1;
};

}  // namespace

TEST_F(ProcessMapTest, ANewNameTakesTheLowestFreeNumberAndBecomesTheTargetsCurrentProcess)
{
    name_in_target(3, "Beta");
    name_in_target(4, "Gamma");
    int number = 0;
    EXPECT_EQ(store("Alpha", 0, &number), 0);
    EXPECT_EQ(number, 5);
    EXPECT_EQ(target_config(1, 5), "Alpha");
    EXPECT_EQ(target_config(0, 5), "5");
    EXPECT_EQ(target_rows("SELECT NUM_VAL FROM 0005NUMB WHERE PARAM = 1 AND INDEX = 1"), "2.500000000");
    EXPECT_TRUE(ui.popups().empty());
}

TEST_F(ProcessMapTest, ANameFoundInTheTargetIsWrittenOverUnderItsNumberWithoutMovingTheCurrentProcess)
{
    name_in_target(3, "Beta");
    name_in_target(7, "Alpha");
    char current[33] = "3";
    get_put_char(other, 0, 5, CONFIG_WRITE, current);
    int number = 0;
    EXPECT_EQ(store("Alpha", 0, &number), 0);
    EXPECT_EQ(number, 7);
    EXPECT_EQ(target_config(0, 5), "3") << "a name already there leaves the target's current process alone";
    EXPECT_EQ(target_rows("SELECT NUM_VAL FROM 0007NUMB WHERE PARAM = 1 AND INDEX = 1"), "2.500000000");
    EXPECT_EQ(target_rows("SELECT COUNT(*) FROM CONFIG WHERE PARAM = 1 AND VAL_TEXT = 'Alpha'"), "1");
}

TEST_F(ProcessMapTest, AskingBeforeWritingOverOnlyAYesWrites)
{
    name_in_target(7, "Alpha");
    int number = 0;
    ui.answer_no();
    EXPECT_EQ(store("Alpha", 1, &number), 0);
    EXPECT_EQ(number, 0) << "a declined overwrite leaves the caller's number as it was";
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].text, "Are you sure you want to write over 'Alpha'?");
    EXPECT_FALSE(vsys::file_exists(target.file("0007NUMB.DBF")));

    ui.answer_yes();
    EXPECT_EQ(store("Alpha", 1, &number), 0);
    EXPECT_EQ(number, 7);
    EXPECT_EQ(target_rows("SELECT NUM_VAL FROM 0007NUMB WHERE PARAM = 1 AND INDEX = 1"), "2.500000000");
}

TEST_F(ProcessMapTest, SavingAProcessOntoItselfRewritesOnlyItsNumericSetup)
{
    channel_slope[1] = 4.0;
    const std::string tags_before = rows("SELECT COUNT(*) FROM 0003TAGS");
    int number = 0;
    EXPECT_EQ(insert_recipe_into_file_map(hdbc, hdbc, dir.path().c_str(), dir.path().c_str(), "Alpha", 3, &number, 0), 0);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(rows("SELECT NUM_VAL FROM 0003NUMB WHERE PARAM = 1 AND INDEX = 1"), "4.000000000");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003TAGS"), tags_before);
    EXPECT_EQ(config_text(0, 5), "3");
}

TEST_F(ProcessMapTest, RefusalsLeaveTheTargetUntouched)
{
    struct Case {
        const char* label;
        int stored_as;  // 0: every number 3..9000 is taken and the name is new
        const char* message;
    };
    const Case cases[] = {
        {"protected number", 1, "This setup file is write protected.  Use Save As..."},
        {"no free number", 0, "Maximum number of processes exceeded.  You must delete another process before you can "
                              "save a new one."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        vtest::run(other, "DELETE FROM CONFIG");
        if (c.stored_as) {
            name_in_target(c.stored_as, "Alpha");
        } else {
            for (int i = 3; i <= 9000; ++i)
                ASSERT_EQ(vtest::run(other, vsys::strprintf("INSERT INTO CONFIG VALUES (1, %d, 'P%d')", i, i)), 0);
        }
        SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
        int number = 0;
        ui.answer(1);
        store("Alpha", 1, &number);
        EXPECT_EQ(number, -1);
        ASSERT_FALSE(ui.popups().empty());
        EXPECT_EQ(ui.popups().back().title, "");
        EXPECT_EQ(ui.popups().back().text, c.message);
        EXPECT_EQ(ui.mouse_cursor(), VAL_DEFAULT_CURSOR);
        EXPECT_EQ(target_rows("SELECT COUNT(*) FROM CONFIG WHERE PARAM = 0"), "0");
    }
    EXPECT_FALSE(vsys::file_exists(target.file("0001NUMB.DBF")));
}
