// Channel instructions: opened by a right click on a channel's name, created table, empty, five lines, 254 cut, unchanged text.
#include <gtest/gtest.h>

#include "panels/card_004.h"
#include "panels/s_chart.h"
#include "panels/instruct.h"
#include "setup/channel_setup.h"
#include "tests/setup/setup_fixture.h"

namespace {

class InstructionsTest : public setuptest::SetupTest {
protected:
    int open(int channel)
    {
        display_channel_setup(0, MENUBAR_CONFIGURE_CHANNEL_SETUP, nullptr, 0);
        EXPECT_GT(channel_setup_panel, 0);
        ui.right_click(channel_setup_panel, channel + 1);
        return ui.find_panel("INSTRUCT");
    }
    void type(int dialog, const std::string& text) { ui.set(dialog, INSTRUCT_TEXT, text); }
    std::string stored(int channel)
    {
        return rows(vsys::strprintf("SELECT S_TEXT FROM 0003INST WHERE CHANNEL = %d", channel));
    }
};

}  // namespace

TEST_F(InstructionsTest, FirstRightClickCreatesTheTableAndOffersTheSuggestion)
{
    int dialog = open(4);
    ASSERT_GT(dialog, 0);
    EXPECT_TRUE(exists("0003INST.DBF") || vsys::find_file_nocase(dir.path(), "0003INST.DBF").has_value());
    EXPECT_EQ(ui.text(dialog, INSTRUCT_SUGGESTION), "Connect signal to A4");
    EXPECT_EQ(ui.text(dialog, INSTRUCT_TEXT), "No setup information is available for this channel.");
    EXPECT_EQ(ui.ival(dialog, INSTRUCT_CHANNEL), 4);
    // OK without typing still asks, and yes stores the sentence shown.
    ui.answer_yes();
    ui.press(dialog, INSTRUCT_OK);
    EXPECT_EQ(ui.popups().back().text, "Would you like to save the new setup instructions?");
    EXPECT_EQ(stored(4), "No setup information is available for this channel.");
    EXPECT_FALSE(ui.panel_exists(dialog));
}

TEST_F(InstructionsTest, TextsAreStoredAsTheyShouldBe)
{
    struct Case {
        const char* what;
        std::string typed, want;
    } cases[] = {
        {"emptied box", "", "None."},
        {"five lines of six", "a\nb\nc\nd\ne\nf", "abcde"},
        {"cut at 254", std::string(300, 'x'), std::string(254, 'x')},
    };
    int channel = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int dialog = open(channel);
        ASSERT_GT(dialog, 0);
        ResetTextBox(dialog, INSTRUCT_TEXT, c.typed.c_str());
        ui.answer_yes();
        ui.press(dialog, INSTRUCT_OK);
        EXPECT_EQ(stored(channel), c.want);
        ui.press(ui.find_panel("CHAN"), CHAN_CANCEL);
        ++channel;
    }
    // Unchanged text on a channel with a row asks nothing and stores nothing more.
    int dialog = open(2);
    EXPECT_EQ(ui.text(dialog, INSTRUCT_TEXT), "abcde");
    const std::size_t popups = ui.popups().size();
    ui.press(dialog, INSTRUCT_OK);
    EXPECT_EQ(ui.popups().size(), popups);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003INST WHERE CHANNEL = 2"), "1");
}
