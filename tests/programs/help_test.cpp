// Help from the dialogs the user is in, by their Help button and by F1, although they are modal; and from the windows by the Help menu.
#include <string>

#include "panels/apop.h"
#include "panels/card_004.h"
#include "panels/mfc_comd.h"
#include "panels/mfc_set.h"
#include "panels/part2.h"
#include "panels/s_chart.h"
#include "panels/specs.h"
#include "panels/vt_setup.h"
#include "programs/wiring.h"
#include "tests/acquisition/acq_fixture.h"
#include "tests/support/fake_help_viewer.h"

namespace {

class HelpTest : public acqtest::AcqTest {
protected:
    void SetUp() override
    {
        AcqTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        // Channel 2 is a one-step channel set by channel 1; a process-of-record trace lets the timer editor open.
        channel_type[2] = 1;
        steps_per_process[2] = 1;
        step_set_channel[2] = 1;
        get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
        get_put_number(0, 0, SAVE_STEP_GROUP, 0.0);
        timer_status_bit = 1;
        timer_start_channel[1] = 1;
        timer_end_channel[1] = 2;
        get_put_number(0, 0, SAVE_TIMER_GROUP, 0.0);
        // One uncleared alarm for the alarm window.
        ASSERT_EQ(vtest::run(hdbc, "INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SAV_DATE, SAV_TIME, "
                                   "COMPLETE) VALUES (10, 1, 'ETCH', 'LOT-10', '2026/03/01', '08:00:00', 1)"),
                  0);
        ASSERT_EQ(vtest::run(hdbc, "INSERT INTO OOC_ALRM VALUES (10, 1, 2, 0, 1, 0, 0, 0)"), 0);
        ASSERT_EQ(vtest::run(hdbc, "INSERT INTO VT_INFO VALUES (-3, 1, 10, 'TOOL_A', 'ETCH', 'POR', "
                                   "'U0000000007 03 10.0', '2026/03/14', '09:30:00', '', 0, 1, 0)"),
                  0);
        dir.write("00000003.POR", "09:30:00\n" + std::string(600, '\0'));
        dir.write("00000003.INT", "0\n0\n10\n");
        update_menu();
    }
    void TearDown() override
    {
        if (list_panel > 0) DiscardPanel(list_panel);
        list_panel = -1;
        AcqTest::TearDown();
    }
    // The topic the viewer was started with by `act`.
    std::string topic_after(const std::string& label, const std::function<bool()>& act)
    {
        const std::string record = viewer.record_to(label + std::to_string(++asked));
        if (!act()) return "refused";
        auto args = vtest::read_recorded_args(record);
        if (args.size() != 3u) return "no viewer";
        EXPECT_EQ(args[2], program.path() + "/Vantrel.chm");
        return args[1];
    }
    vtest::FakeHelpViewer viewer{dir};
    int asked = 0;
};

struct DialogCase {
    const char* label;
    int item;
    const char* panel;  // the panel that holds the Help button
    const char* key_panel;  // where the user presses F1 (a child panel of the dialog, or the dialog)
    int help, cancel;
    const char* topic;
    int notices = 0;  // messages the dialog shows as it opens
};

TEST_F(HelpTest, EveryDialogWithATopicOpensItByItsButtonAndByF1)
{
    const DialogCase cases[] = {
        {"triggers", MENUBAR_CONFIGURE_TRIGGERS, "TRIGGERS", "TRIGGERS", TRIGGERS_HELP, TRIGGERS_CANCEL, "--contextid=1009"},
        {"channel setup", MENUBAR_CONFIGURE_CHANNEL_SETUP, "CHAN", "SUB", CHAN_HELP, CHAN_CANCEL, "--contextid=1001"},
        {"mean limits", MENUBAR_CONFIGURE_CONTROL_LIMITS_MEAN, "SPEC", "LIMIT_ROWS", SPEC_HELP, SPEC_CANCEL, "--contextid=1003"},
        {"timer limits", MENUBAR_CONFIGURE_CONTROL_LIMITS_TIMERS, "SPEC", "SPEC", SPEC_HELP, SPEC_CANCEL, "--contextid=1004"},
        {"sigma limits", MENUBAR_CONFIGURE_CONTROL_LIMITS_SIGMA_VECTOR, "SPEC", "LIMIT_ROWS", SPEC_HELP, SPEC_CANCEL, "--contextid=1005"},
        {"step channel setup", MENUBAR_CONFIGURE_STEP_CHANNEL_SETUP, "MFC_SPEC", "MFC_SPEC", MFC_COMD_HELP, MFC_COMD_CANCEL,
         "--contextid=1002"},
        // The trace holds no timer event: the editor says so for both ends.
        {"timers", MENUBAR_CONFIGURE_TIMERS, "PART2", "PART2", PART2_HELP, PART2_CANCEL, "--contextid=1004", 2},
    };
    for (const DialogCase& c : cases) {
        SCOPED_TRACE(c.label);
        for (int i = 0; i < c.notices; ++i) ui.answer(1);
        ASSERT_TRUE(ui.pick(handle_menu, c.item));
        const int dialog = ui.find_panel(c.panel);
        ASSERT_GT(dialog, 0);
        ASSERT_GT(ui.modal_panel(), 0) << "the dialog is modal";
        const int keys = ui.find_panel(c.key_panel);
        // The Help menu cannot be reached behind the dialog; its own button and F1 can.
        EXPECT_FALSE(ui.pick(handle_menu, MENUBAR_HELP_HELP));
        EXPECT_EQ(topic_after(c.label, [&] { return ui.press(dialog, c.help); }), c.topic);
        EXPECT_EQ(topic_after(c.label, [&] { return ui.key(keys, VAL_F1_VKEY); }), c.topic);
        ASSERT_TRUE(ui.press(dialog, c.cancel));
        EXPECT_EQ(ui.find_panel(c.panel), 0);
        EXPECT_EQ(ui.answers_left(), 0u);
    }
}

// The set-point limits open from the step channel page, a dialog on a dialog.
TEST_F(HelpTest, SetPointLimitsOpenTheStepTopic)
{
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_STEP_CHANNEL_SETUP));
    const int page = ui.find_panel("MFC_SPEC");
    ASSERT_GT(page, 0);
    ASSERT_TRUE(ui.press(page, MFC_COMD_LIMIT8));
    const int dialog = ui.modal_panel();
    ASSERT_GT(dialog, 0);
    ASSERT_NE(dialog, page);
    EXPECT_EQ(ui.title(dialog), "Set-Point Control Limits");
    EXPECT_EQ(topic_after("setpoints", [&] { return ui.press(dialog, MFC_SPEC_HELP); }), "--contextid=1002");
    EXPECT_EQ(topic_after("setpoints", [&] { return ui.key(dialog, VAL_F1_VKEY); }), "--contextid=1002");
    ASSERT_TRUE(ui.press(dialog, MFC_SPEC_CANCEL));
    ASSERT_TRUE(ui.press(page, MFC_COMD_CANCEL));
}

// Windows that are not modal take Help from the menu bar and F1 for the window in front.
TEST_F(HelpTest, TheAlarmWindowOpensTheReviewTopic)
{
    ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_ALARMS_ALARM_LIST));
    const int popup = ui.modal_panel();
    ASSERT_GT(popup, 0);
    ASSERT_TRUE(ui.press(popup, APOP_LIST));
    ASSERT_GT(list_panel, 0);
    EXPECT_EQ(ui.find_panel("REVIEW"), list_panel);
    ASSERT_TRUE(ui.activate(list_panel));
    EXPECT_EQ(topic_after("alarms", [&] { return ui.pick(handle_menu, MENUBAR_HELP_HELP); }), "--contextid=1007");
    EXPECT_EQ(topic_after("alarms", [&] { return ui.key(list_panel, VAL_F1_VKEY); }), "--contextid=1007");
    ASSERT_TRUE(ui.activate(sc_handle));
    EXPECT_EQ(topic_after("strip chart", [&] { return ui.key(sc_handle, VAL_F1_VKEY); }), "--contextid=1000");
}

}  // namespace
