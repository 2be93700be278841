// The step set-point panel through the headless UI: which channels it lists, edits kept per channel, the checks
// before a step limit dialog, Cancel and OK, and the summary of every step channel's limits.
#include <string>
#include <vector>

#include "core/config_store.h"
#include "panels/mfc_comd.h"
#include "panels/pop.h"
#include "platform/sys/format.h"
#include "programs/wiring.h"
#include "spc/compare_results.h"
#include "spc/compare_setpoints.h"
#include "spc/limit_table.h"
#include "tests/acquisition/acq_fixture.h"

namespace {

constexpr int kStepSetupItem = 84;

class SetpointPanelTest : public acqtest::AcqTest {
protected:
    void SetUp() override
    {
        AcqTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        // CH1 and CH2 are step channels, CH3 a plain one; CH4 a step channel that is not enabled.
        channel_type[1] = channel_type[2] = channel_type[4] = 1;
        channel_type[3] = 0;
        step_set_channel[1] = 3, steps_per_process[1] = 1;
        step_set_channel[2] = 0, steps_per_process[2] = 3;
        step_set_channel[4] = 1, steps_per_process[4] = 2;
        get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
        get_put_number(0, 0, SAVE_STEP_GROUP, 0.0);
        Flags = 0;
        update_menu();
    }
    void TearDown() override
    {
        for (int c : {1, 2, 3, 4}) channel_type[c] = 0, step_set_channel[c] = 0, steps_per_process[c] = 0;
        AcqTest::TearDown();
    }
    int open_panel()
    {
        EXPECT_TRUE(ui.pick(handle_menu, kStepSetupItem));
        return ui.find_panel("MFC_SPEC");
    }
    void limits(int subtype, int channel, int step, double lcl, double target, double ucl)
    {
        double v[3] = {lcl, target, ucl};
        step_specs(LIMITS_WRITE, 1, static_cast<short>(subtype), static_cast<short>(channel), static_cast<short>(step), v);
    }
};

}  // namespace

TEST_F(SetpointPanelTest, WriteProtectedProcessesAndNoStepChannelAreRefused)
{
    recipe_num = 2;
    ui.answer(1);
    ASSERT_TRUE(ui.pick(handle_menu, kStepSetupItem));
    EXPECT_EQ(ui.popups().back().title, "Setup Error");
    EXPECT_EQ(ui.popups().back().text, "This process is write protected.  Before you edit, you must use SAVE AS... to "
                                       "save a new process (see FILE menu).");
    EXPECT_EQ(ui.find_panel("MFC_SPEC"), 0);
    recipe_num = 3;
    channel_type[1] = channel_type[2] = 0;
    ui.answer(1);
    ASSERT_TRUE(ui.pick(handle_menu, kStepSetupItem));
    EXPECT_EQ(ui.popups().back().title, "Step Control Limit Error");
    EXPECT_EQ(ui.popups().back().text, "No channels have been configured as a step channel.");
    EXPECT_EQ(ui.find_panel("MFC_SPEC"), 0);
}

TEST_F(SetpointPanelTest, EditsStayWithTheirChannelWhicheverWayTheChoiceChanges)
{
    steps_per_process[2] = 40;  // more steps than a channel holds
    const int panel = open_panel();
    ASSERT_GT(panel, 0);
    EXPECT_EQ(ui.plain_items(panel, MFC_COMD_STEP_CHANNEL), (std::vector<std::string>{"CH1", "CH2"}));
    EXPECT_EQ(ui.plain_items(panel, MFC_COMD_SETPOINT), (std::vector<std::string>{"Unknown", "CH1", "CH2", "CH3"}));
    EXPECT_EQ(ui.ival(panel, MFC_COMD_SETPOINT), 3);
    EXPECT_EQ(ui.ival(panel, MFC_COMD_STEPS), 1);
    ASSERT_TRUE(ui.set(panel, MFC_COMD_SETPOINT, 2));
    ASSERT_TRUE(ui.set(panel, MFC_COMD_STEPS, 2));
    EXPECT_TRUE(Flags & FLAG_PENDING_CHANGES);
    // With the mouse: a click, then the new choice.
    ASSERT_TRUE(ui.click(panel, MFC_COMD_STEP_CHANNEL));
    ASSERT_TRUE(ui.select(panel, MFC_COMD_STEP_CHANNEL, 1));
    EXPECT_EQ(step_set_channel[1], 2);
    EXPECT_EQ(steps_per_process[1], 2);
    EXPECT_EQ(ui.ival(panel, MFC_COMD_SETPOINT), 0);
    EXPECT_EQ(ui.ival(panel, MFC_COMD_STEPS), kMaxSteps);
    ASSERT_TRUE(ui.set(panel, MFC_COMD_SETPOINT, 3));
    // With the keyboard: no click before the change.
    ASSERT_TRUE(ui.select(panel, MFC_COMD_STEP_CHANNEL, 0));
    EXPECT_EQ(step_set_channel[2], 3);
    EXPECT_EQ(steps_per_process[2], kMaxSteps);
    EXPECT_EQ(ui.ival(panel, MFC_COMD_SETPOINT), 2);
    // OK keeps the edits as pending setup changes.
    ASSERT_TRUE(ui.press(panel, MFC_COMD_OK));
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_EQ(step_set_channel[1], 2);
    EXPECT_TRUE(Flags & FLAG_PENDING_CHANGES);
}

TEST_F(SetpointPanelTest, CancelDropsEveryPendingChange)
{
    const int panel = open_panel();
    ASSERT_GT(panel, 0);
    ASSERT_TRUE(ui.set(panel, MFC_COMD_SETPOINT, 1));
    ASSERT_TRUE(ui.set(panel, MFC_COMD_STEPS, 5));
    ASSERT_TRUE(ui.press(panel, MFC_COMD_CANCEL));
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_EQ(step_set_channel[1], 3);
    EXPECT_EQ(steps_per_process[1], 1);
    EXPECT_FALSE(Flags & FLAG_PENDING_CHANGES);
}

TEST_F(SetpointPanelTest, ChecksBeforeAStepLimitDialog)
{
    const int panel = open_panel();
    ASSERT_GT(panel, 0);
    ASSERT_TRUE(ui.select(panel, MFC_COMD_STEP_CHANNEL, 1));  // CH2: set-point unknown
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, MFC_COMD_LIMIT7));
    EXPECT_EQ(ui.popups().back().title, "Setup Error");
    EXPECT_EQ(ui.popups().back().text, "Cannot specify step limits because the channel setpoint is unknown.");
    ASSERT_TRUE(ui.set(panel, MFC_COMD_SETPOINT, 1));
    ASSERT_TRUE(ui.set(panel, MFC_COMD_STEPS, 0));
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, MFC_COMD_LIMIT7 + 1));
    EXPECT_EQ(ui.popups().back().text, "Cannot specify step limits because this channel has zero steps.");
    EXPECT_EQ(ui.modal_panel(), panel);
    // Its own set-point channel with a relative range: one warning, then the dialog opens over the panel.
    ASSERT_TRUE(ui.set(panel, MFC_COMD_SETPOINT, 2));
    ASSERT_TRUE(ui.set(panel, MFC_COMD_STEPS, 2));
    limits(4, 2, 1, 90, -100, 110);
    limits(4, 2, 2, 80, -100, 120);
    const auto shown = ui.popups().size();
    ui.answer(1);
    ui.answer_no();  // the limit dialog offers to save the pending edits first
    ASSERT_TRUE(ui.press(panel, MFC_COMD_LIMIT7));
    ASSERT_EQ(ui.popups().size(), shown + 2);
    EXPECT_EQ(ui.popups()[shown].title, "Setup Warning");
    EXPECT_EQ(ui.popups()[shown].text, "Channel setpoint is the same as the step channel.  Recommend using fixed values "
                                       "for stability limits.");
    EXPECT_NE(ui.modal_panel(), panel);
    EXPECT_GT(ui.modal_panel(), 0);
}

TEST_F(SetpointPanelTest, SummaryOfEveryStepChannel)
{
    step_set_channel[2] = 1;
    limits(4, 1, 1, 90, -100, 110);
    const int subtypes[] = {0, 6, 1, 5, 2, 3};
    for (int k = 0; k < 6; ++k) limits(subtypes[k], 1, 1, k, k + 0.5, k + 1.25);
    limits(4, 2, 1, 45, 50, 55);
    // A step whose stability test is switched off holds zeros (a write of zeros would remove the row).
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO 0003LIMI VALUES (1, 4, 2, 2, 0.0, 0.0, 0.0)"), 0);
    limits(4, 2, 3, 1, 2, 3);
    step_set_channel[3] = 0;
    const int panel = open_panel();
    ASSERT_GT(panel, 0);
    ASSERT_TRUE(ui.press(panel, MFC_COMD_SUMMARY));
    const int popup = ui.find_panel("POP");
    ASSERT_GT(popup, 0);
    EXPECT_EQ(ui.text(popup, POP_HEADING), "Summary for all channels which have the STEP data type.");
    const auto lines = ui.plain_items(popup, POP_LINES);
    const std::string rule(90, '-');
    std::vector<std::string> expected = {"CH1 has 1 step(s)."};
    const char* names[] = {"OVERSHOOT AREA", "OVERSHOOT MAXIMUM", "UNDERSHOOT AREA", "UNDERSHOOT MINIMUM",
                           "STABILIZATION TIME (sec)", "DECAY CONSTANT (sec)"};
    for (int k = 0; k < 6; ++k)
        expected.push_back(vsys::strprintf("%s: lcl = %.3f tar = %.3f ucl = %.3f.", names[k], k * 1.0, k + 0.5, k + 1.25));
    expected.push_back("LOWER STABILITY LIMIT = 90.0% of CH3");
    expected.push_back("SETPOINT = 100.0% of CH3");
    expected.push_back("UPPER STABILITY LIMIT = 110.0% of CH3");
    expected.push_back(rule);
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(expected.size())), expected);
    // CH2: three steps, the second switched off.
    std::size_t i = expected.size();
    ASSERT_EQ(lines.size(), i + 1 + 10 + 2 + 10 + 1);
    EXPECT_EQ(lines[i], "CH2 has 3 step(s).");
    EXPECT_EQ(lines[i + 1], "Step 1");
    EXPECT_EQ(lines[i + 8], "LOWER STABILITY LIMIT = 45.000");
    EXPECT_EQ(lines[i + 9], "SETPOINT = 50.000");
    EXPECT_EQ(lines[i + 11], "Step 2");
    EXPECT_EQ(lines[i + 12], "Deactivated: Stability Test Range = (0,0,0)");
    EXPECT_EQ(lines[i + 13], "Step 3");
    EXPECT_EQ(lines.back(), rule);
    // The summary prints like the comparison's results; closing it leaves the panel and its edits.
    ASSERT_TRUE(ui.pick(GetPanelMenuBar(popup), POPMENU_FILE_PRINT));
    ASSERT_EQ(ui.documents().size(), 1u);
    ASSERT_TRUE(ui.press(popup, POP_CLOSE));
    EXPECT_FALSE(ui.panel_exists(popup));
    EXPECT_TRUE(ui.panel_exists(panel));
    EXPECT_EQ(ui.modal_panel(), panel);
}

TEST_F(SetpointPanelTest, UnknownSetpointGivesTheRedLineOnly)
{
    channel_type[1] = 0;
    const auto lines = step_summary_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\033fgFF0000CH2 Trigger Channel is Unknown: \033fg000000No step data will be collected for this "
                        "channel.");
    EXPECT_EQ(lines[1], std::string(90, '-'));
}
