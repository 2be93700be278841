// The channel setup dialog: what it shows, what OK stores with and without edit mode, and the trigger checks.
#include <gtest/gtest.h>

#include "panels/card_004.h"
#include "panels/s_chart.h"
#include "setup/channel_setup.h"
#include "tests/setup/setup_fixture.h"

namespace {

class ChannelSetupTest : public setuptest::SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        vtest::amend_setup_seams([&](SetupSeams& s) {
            s.SetStripChartY = [this](double lo, double hi, int) {
                calls.push_back("y:" + std::to_string(lo) + "," + std::to_string(hi));
            };
        });
    }
    int frame() const { return ui.find_panel("CHAN"); }
    int table() const { return channel_setup_panel; }
    void open()
    {
        display_channel_setup(0, MENUBAR_CONFIGURE_CHANNEL_SETUP, nullptr, 0);
        ASSERT_GT(frame(), 0);
        ASSERT_GT(table(), 0);
    }
    std::string stored_name(int n)
    {
        char text[33];
        return get_put_char(hdbc, 28, n, TAGS_READ, text);
    }
};

}  // namespace

TEST_F(ChannelSetupTest, ProtectedProcessesOpenNoDialog)
{
    for (int n : {0, 2, 9001}) {
        recipe_num = n;
        ui.answer(1);
        display_channel_setup(0, MENUBAR_CONFIGURE_CHANNEL_SETUP, nullptr, 0);
        EXPECT_EQ(ui.popups().back().title + "|" + ui.popups().back().text,
                  "Setup Error|This process is write protected.  Before you edit, you must use SAVE AS... to save a new "
                  "process (see FILE menu).");
        EXPECT_EQ(frame(), 0);
    }
}

TEST_F(ChannelSetupTest, ShowsTheSetupAndMapsKind20ToStatic)
{
    get_put_number(0, 0, NUMBER_T_WRITE, 5.0);
    get_put_number(1, 0, NUMBER_T_WRITE, 5.0);
    channel_type[3] = 20;
    channel_type[4] = 22;
    channel_slope[4] = 2.5;
    VantrelChannelStatusBits = 0x9;
    char name[33] = "RF FWD";
    get_put_char(hdbc, 28, 1, TAGS_WRITE, name);
    get_put_number(4, 1, NUMBER_T_WRITE, 0xFF0001);
    open();
    EXPECT_EQ(ui.dval(frame(), CHAN_YMIN), -11.0);  // a range of nothing opens as -11 .. 11
    EXPECT_EQ(ui.dval(frame(), CHAN_YMAX), 11.0);
    EXPECT_EQ(ui.text(table(), SUB_NAME_1), "RF FWD");
    EXPECT_EQ(ui.attribute(table(), SUB_NAME_1, ATTR_TEXT_COLOR), 0xFF0001);
    EXPECT_EQ(ui.text(table(), SUB_NAME_2), "A2");
    EXPECT_EQ(ui.ival(table(), SUB_ON_1), 1);
    EXPECT_EQ(ui.ival(table(), SUB_NAME_1 + 65), 0);
    EXPECT_EQ(ui.ival(table(), SUB_NAME_3 + 65), 1);
    EXPECT_EQ(channel_type[3], 0);
    EXPECT_EQ(ui.ival(table(), SUB_NAME_2 + 97), 0);
    EXPECT_EQ(ui.ival(table(), SUB_NAME_3 + 97), 22);
    EXPECT_EQ(ui.dval(table(), SUB_NAME_3 + 129), 2.5);
    EXPECT_EQ(ui.plain_items(table(), SUB_KIND_1), (std::vector<std::string>{"QL-TC-J", "QL-TC-K", "Valve", "Step", "Static"}));
}

TEST_F(ChannelSetupTest, RangeMustBeAtLeastAMillionth)
{
    open();
    ui.set(frame(), CHAN_YMIN, 0.0);
    ui.set(frame(), CHAN_YMAX, 0.0000005);
    ui.answer(1);
    ui.press(frame(), CHAN_OK);
    EXPECT_EQ(ui.popups().back().title + "|" + ui.popups().back().text,
              "Y Axis Error|The maximum must be greater than the minimum");
    EXPECT_GT(frame(), 0);
    ui.set(frame(), CHAN_YMAX, 0.000001);
    ui.press(frame(), CHAN_OK);
    EXPECT_EQ(frame(), 0);
    EXPECT_EQ(get_put_number(1, 0, NUMBER_T_READ, 0.0), 0.000001);
}

TEST_F(ChannelSetupTest, OkWithoutEditModeStoresColoursAndRangeOnly)
{
    open();
    Flags = 0;
    ui.change(table(), SUB_NAME_4 + 97, vui::Value::of(std::int64_t{1}));  // the user picks Step ...
    Flags = 0;  // ... but edit mode is not on
    SetCtrlAttribute(table(), SUB_NAME_2 + 1, ATTR_TEXT_COLOR, 0xFF0000);
    SetCtrlAttribute(table(), SUB_NAME_31 + 1, ATTR_TEXT_COLOR, 0x00FF00);
    ui.press(frame(), CHAN_OK);
    EXPECT_EQ(channel_type[5], 0);
    EXPECT_EQ(get_put_number(4, 3, NUMBER_T_READ, 0.0), double(0xFF0003));
    EXPECT_EQ(get_put_number(4, 32, NUMBER_T_READ, 0.0), double(0x00FF20));
    EXPECT_EQ(calls.front(), "y:-11.000000,11.000000");
    // The same dialog stored twice stores the same colours.
    open();
    ui.press(frame(), CHAN_OK);
    EXPECT_EQ(get_put_number(4, 3, NUMBER_T_READ, 0.0), double(0xFF0003));
}

TEST_F(ChannelSetupTest, OkInEditModeStoresNamesKindsEnablesAndScaling)
{
    open();
    ui.set(table(), SUB_NAME_1 + 1, "Pressure");
    EXPECT_NE(Flags & FLAG_PENDING_CHANGES, 0);
    ui.set(table(), SUB_ON_1, 0);
    ui.set(table(), SUB_NAME_1 + 65, 1);
    ui.set(table(), SUB_NAME_6 + 65, 1);
    ui.set(table(), SUB_NAME_6 + 97, 21);
    ui.set(table(), SUB_NAME_6 + 129, 100.0);
    ui.set(table(), SUB_NAME_6 + 161, -3.5);
    ui.press(frame(), CHAN_OK);
    EXPECT_EQ(stored_name(2), "Pressure");
    EXPECT_EQ(VantrelChannelStatusBits, 0x42u);
    EXPECT_EQ(saved_channels, 2);
    EXPECT_EQ(channels, 7);
    EXPECT_EQ(channel_type[7], 21);
    EXPECT_EQ(channel_slope[7], 100.0);
    EXPECT_EQ(channel_inter[7], -3.5);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "update_menu"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "names"), calls.end());
    EXPECT_EQ(table(), -1);
}

TEST_F(ChannelSetupTest, TurningOffAWatchedChannelTurnsItsTriggerOff)
{
    struct Case {
        short trigger, ch1, ch2, process;
        std::uint32_t on;  // channels left on
        short trigger_after, process_after;
        std::vector<std::string> messages;
    } cases[] = {
        {2, 1, 2, 0, 0x1, 1, 0,
         {"Data Collection Trigger 2 will be turned off because the trigger channel has been turned off."}},
        {2, 1, 2, 0, 0x0, 0, 0,
         {"Data Collection Triggers will be turned off because Trigger Channel 1 has been turned off."}},
        {1, 2, 1, 3, 0x1, 0, 0,
         {"Data Collection Trigger 1 will be turned off because the trigger channel has been turned off.",
          "The Process Trigger will be turned off because the trigger channel has been turned off."}},
        {2, 1, 2, 1, 0x3, 2, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messages.size());
        VantrelChannelStatusBits = 0x7;
        Flags = 0;
        trigger = c.trigger, trig_ch = c.ch1, trig_2_ch = c.ch2, process_trig_channel = c.process;
        open();
        Flags |= FLAG_PENDING_CHANGES;
        for (int n = 1; n <= 3; ++n) SetCtrlVal(table(), n + 65, (c.on >> (n - 1)) & 1u ? 1 : 0);
        std::size_t before = ui.popups().size();
        for (std::size_t i = 0; i < c.messages.size(); ++i) ui.answer(1);
        ui.press(frame(), CHAN_OK);
        std::vector<std::string> seen;
        for (std::size_t i = before; i < ui.popups().size(); ++i) seen.push_back(ui.popups()[i].text);
        EXPECT_EQ(seen, c.messages);
        EXPECT_EQ(trigger, c.trigger_after);
        EXPECT_EQ(process_trig_channel, c.process_after);
    }
}

TEST_F(ChannelSetupTest, CancelStoresNothing)
{
    open();
    ui.set(table(), SUB_NAME_1, "Changed");
    ui.press(frame(), CHAN_CANCEL);
    EXPECT_EQ(frame(), 0);
    EXPECT_EQ(stored_name(1), "A1");
}

TEST_F(ChannelSetupTest, PanelFileNamesOnlyRegisteredCallbacks)
{
    auto r = vui::check_panel_file(vtest::bin_dir() + "/panels/card_004.uir");
    EXPECT_TRUE(r) << r.error;
}
