// Control-limit dialogs: every group saves and reads back through step_specs, keyed by the row's channel or timer; refusals.
#include <gtest/gtest.h>

#include "panels/mfc_comd.h"
#include "panels/mfc_set.h"
#include "panels/s_chart.h"
#include "panels/specs.h"
#include "setup/limit_dialogs.h"
#include "spc/chart_window.h"
#include "spc/limit_table.h"
#include "spc/rule_dialogs.h"
#include "tests/setup/setup_fixture.h"

namespace {

class LimitDialogsTest : public setuptest::SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        VantrelChannelStatusBits = 0x7;  // channels 1..3
        channel_type[1] = 0;
        channel_type[2] = 1;  // a step channel between them
        channel_type[3] = 21;
        steps_per_process[2] = 2;
        timer_status_bit = 0x5;  // timers 1 and 3
    }
    int frame() { return ui.find_panel("SPEC"); }
    int group() { return ui.find_panel("LIMIT_ROWS"); }
    // The control of a panel built in code that carries the label.
    static int labelled(int panel, const std::string& label)
    {
        int c = 0;
        GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, &c);
        for (; c > 0; GetCtrlAttribute(panel, c, ATTR_NEXT_CTRL, &c)) {
            std::string text;
            GetCtrlAttribute(panel, c, ATTR_LABEL_TEXT, &text);
            if (text == label) return c;
        }
        return 0;
    }
    std::vector<double> stored(short type, short sub, short key, short step)
    {
        double v[3] = {0, 0, 0};
        step_specs(6, type, sub, key, step, v);
        return {v[0], v[1], v[2]};
    }
};

}  // namespace

TEST_F(LimitDialogsTest, EveryMenuGroupStoresUnderTheKeyItsRowShowed)
{
    struct Case {
        int item;
        const char* title;
        short type, sub;
        std::vector<short> keys;
    } cases[] = {
        {MENUBAR_CONFIGURE_CONTROL_LIMITS_MEAN, "Control Limits for the Mean", 0, 1, {1, 3}},
        {MENUBAR_CONFIGURE_CONTROL_LIMITS_STANDARD_DEVIATION, "Control Limits for the Standard Deviation", 0, 2, {1, 3}},
        {MENUBAR_CONFIGURE_CONTROL_LIMITS_MINIMUM, "Control Limits for the Minimum", 0, 3, {1, 3}},
        {MENUBAR_CONFIGURE_CONTROL_LIMITS_MAXIMUM, "Control Limits for the Maximum", 0, 4, {1, 3}},
        {MENUBAR_CONFIGURE_CONTROL_LIMITS_TIMERS, "Timer Control Limits", 5, 0, {1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        Flags = 0;  // the earlier group's edit saved
        display_specs(0, c.item, nullptr, 0);
        ASSERT_GT(frame(), 0);
        EXPECT_EQ(ui.text(frame(), SPEC_TITLE), c.title);
        EXPECT_FALSE(ui.visible(group(), LIMIT_ROWS_UCL_32 + 3));  // third row unused
        ui.set(group(), LIMIT_ROWS_LCL_1 + 1, 1.0);  // row 2 LCL
        ui.set(group(), LIMIT_ROWS_LCL_1 + 33, 2.0);
        ui.set(group(), LIMIT_ROWS_LCL_1 + 65, 3.0);
        ui.press(frame(), SPEC_OK);
        EXPECT_EQ(frame(), 0);
        EXPECT_EQ(stored(c.type, c.sub, c.keys[1], 0), (std::vector<double>{1.0, 2.0, 3.0}));
    }
    display_specs(0, MENUBAR_CONFIGURE_CONTROL_LIMITS_STEPS, nullptr, 0);  // opens the step page, no limits dialog
    EXPECT_EQ(frame(), 0);
}

TEST_F(LimitDialogsTest, StepGroupsAndSetPoints)
{
    double negative[3] = {1.0, -5.0, 9.0};
    step_specs(7, 1, 0, 2, 1, negative);
    display_specs(-2, -MFC_COMD_LIMIT7, nullptr, 0);
    ASSERT_GT(frame(), 0);
    EXPECT_EQ(ui.text(frame(), SPEC_TITLE), "Step Overshoot Area Control Limits");
    EXPECT_DOUBLE_EQ(ui.dval(group(), LIMIT_ROWS_TARGET_1), 5.0);
    EXPECT_FALSE(ui.visible(group(), LIMIT_ROWS_UCL_32 + 3));
    ui.set(group(), LIMIT_ROWS_LCL_1 + 65, 9.0);  // an edit enters edit mode
    ui.press(frame(), SPEC_OK);
    EXPECT_EQ(stored(1, 0, 2, 1), (std::vector<double>{1.0, 5.0, 9.0}));

    Flags = 0;
    display_specs(-2, -MFC_COMD_LIMIT8, nullptr, 0);
    int sp = ui.find_panel("MFC_SPEC");
    ASSERT_GT(sp, 0);
    EXPECT_FALSE(ui.visible(sp, MFC_SPEC_CHANNEL + 3));
    ui.set(sp, MFC_SPEC_FIXED_1, 0);
    ui.set(sp, MFC_SPEC_TARGET_1, 100.0);
    ui.set(sp, MFC_SPEC_FIXED_1 + 1, 1);
    ui.set(sp, MFC_SPEC_FIXED_1 + 33, 100.0);
    ui.press(sp, MFC_SPEC_OK);
    EXPECT_EQ(stored(1, 4, 2, 1)[1], -100.0);
    EXPECT_EQ(stored(1, 4, 2, 2)[1], 100.0);
}

TEST_F(LimitDialogsTest, RefusalsAndWriteProtection)
{
    timer_status_bit = 0;
    ui.answer(1);
    display_specs(0, MENUBAR_CONFIGURE_CONTROL_LIMITS_TIMERS, nullptr, 0);
    EXPECT_EQ(last_popup(), "|Timers must be configured first.");
    ui.answer(1);
    display_specs(0, MENUBAR_CONFIGURE_CONTROL_LIMITS_SIGMA_VECTOR, nullptr, 0);
    EXPECT_EQ(ui.popups().back().title, "Sigma Vector Error");
    dir.write("00000003.POR", "x");
    dir.write("00000003.INT", "0\n0\n5\n");
    sample_rate_index = 10;
    ui.answer(1);
    display_specs(0, MENUBAR_CONFIGURE_CONTROL_LIMITS_SIGMA_VECTOR, nullptr, 0);
    EXPECT_NE(ui.popups().back().text.find("different sample rate"), std::string::npos);
    sample_rate_index = 5;
    display_specs(0, MENUBAR_CONFIGURE_CONTROL_LIMITS_SIGMA_VECTOR, nullptr, 0);
    ASSERT_GT(frame(), 0);
    EXPECT_EQ(ui.text(frame(), SPEC_NOTE), "Enter 0 to deactivate the Sigma Vector Test.");
    EXPECT_FALSE(ui.visible(group(), LIMIT_ROWS_LCL_1));
    ui.set(group(), LIMIT_ROWS_UCL_1, 7.0);
    ui.press(frame(), SPEC_OK);
    EXPECT_EQ(stored(4, 0, 1, 0), (std::vector<double>{0.0, 0.0, 7.0}));

    // Without edit mode the dialog shows the limits and stores nothing.
    Flags &= static_cast<std::uint8_t>(~FLAG_PENDING_CHANGES);
    recipe_num = 1;
    ui.answer(1);  // the write-protection message when the dialog opens
    display_specs(0, MENUBAR_CONFIGURE_CONTROL_LIMITS_MEAN, nullptr, 0);
    ASSERT_GT(frame(), 0);
    ui.answer(1);  // the write-protection message of a changed value
    ui.set(group(), LIMIT_ROWS_UCL_1, 4.0);
    ui.press(frame(), SPEC_OK);
    EXPECT_EQ(stored(0, 1, 1, 0), (std::vector<double>{0.0, 0.0, 0.0}));
}

// Every group: open, change one value of the last row, OK. Every row reads back as stored, sign included; only
// the step groups show and store TARGET as a size, and the set-point dialog takes its sign from the switch. Edit
// Limits then takes the untouched first row as it is.
TEST_F(LimitDialogsTest, EveryGroupRoundTripsItsRows)
{
    dir.write("00000003.POR", "x");
    dir.write("00000003.INT", "0\n0\n10\n");
    sample_rate_index = 10;
    using Triple = std::vector<double>;
    struct Case {
        const char* label;
        int menu_bar, item;  // as display_specs is called: menu item, or minus the step channel and request
        short type, sub;
        std::vector<short> keys;         // rows' channel or timer (step groups: channel 2, steps 1 and 2)
        std::vector<Triple> stored, read_back;
        bool charted;  // the first row is a chart's, with Edit Limits (a set-point is no chart)
    };
    const Triple negative{-300.0, -250.0, -200.0}, mixed{-1.5, 0.25, 2.0};
    const Triple step_one{1.0, -5.0, 9.0}, step_two{2.0, 6.0, 10.0};
    const Triple step_one_positive{1.0, 5.0, 9.0};
    const Case cases[] = {
        {"mean", 0, MENUBAR_CONFIGURE_CONTROL_LIMITS_MEAN, 0, 1, {1, 3}, {negative, mixed}, {negative, mixed}, true},
        {"standard deviation", 0, MENUBAR_CONFIGURE_CONTROL_LIMITS_STANDARD_DEVIATION, 0, 2, {1, 3}, {negative, mixed}, {negative, mixed}, true},
        {"minimum", 0, MENUBAR_CONFIGURE_CONTROL_LIMITS_MINIMUM, 0, 3, {1, 3}, {negative, mixed}, {negative, mixed}, true},
        {"maximum", 0, MENUBAR_CONFIGURE_CONTROL_LIMITS_MAXIMUM, 0, 4, {1, 3}, {negative, mixed}, {negative, mixed}, true},
        {"timers", 0, MENUBAR_CONFIGURE_CONTROL_LIMITS_TIMERS, 5, 0, {1, 3}, {negative, mixed}, {negative, mixed}, true},
        {"sigma vector", 0, MENUBAR_CONFIGURE_CONTROL_LIMITS_SIGMA_VECTOR, 4, 0, {1, 2, 3}, {{0, 0, 12.5}, {0, 0, 7.25}, {0, 0, 3.0}},
         {{0, 0, 12.5}, {0, 0, 7.25}, {0, 0, 3.0}}, true},
        {"step overshoot area", -2, -MFC_COMD_LIMIT7, 1, 0, {1, 2}, {step_one, step_two}, {step_one_positive, step_two}, true},
        {"step undershoot area", -2, -MFC_COMD_LIMIT11, 1, 1, {1, 2}, {step_one, step_two}, {step_one_positive, step_two}, true},
        {"step stability time", -2, -MFC_COMD_LIMIT10, 1, 2, {1, 2}, {step_one, step_two}, {step_one_positive, step_two}, true},
        {"step decay", -2, -MFC_COMD_LIMIT13, 1, 3, {1, 2}, {step_one, step_two}, {step_one_positive, step_two}, true},
        {"step minimum undershoot", -2, -MFC_COMD_LIMIT12, 1, 5, {1, 2}, {step_one, step_two}, {step_one_positive, step_two}, true},
        {"step maximum overshoot", -2, -MFC_COMD_LIMIT9, 1, 6, {1, 2}, {step_one, step_two}, {step_one_positive, step_two}, true},
        {"set-point", -2, -MFC_COMD_LIMIT8, 1, 4, {1, 2}, {step_one, step_two}, {step_one, step_two}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Flags = 0;
        const bool step = c.type == 1;
        auto key_of = [&](std::size_t r) { return step ? std::pair<short, short>{2, c.keys[r]} : std::pair<short, short>{c.keys[r], 0}; };
        for (std::size_t r = 0; r < c.keys.size(); ++r) {
            Triple v = c.stored[r];
            step_specs(LIMITS_WRITE, c.type, c.sub, key_of(r).first, key_of(r).second, v.data());
        }
        display_specs(c.menu_bar, c.item, nullptr, 0);
        const bool set_point = c.sub == 4 && step;
        const int panel = set_point ? ui.find_panel("MFC_SPEC") : group();
        ASSERT_GT(panel, 0);
        // The last row's UCL is changed by as little as a user types.
        const int last = static_cast<int>(c.keys.size());
        const int ucl = set_point ? MFC_SPEC_UCL_1 - 1 + last : LIMIT_ROWS_UCL_1 - 1 + last;
        const double new_ucl = c.read_back.back()[2] + 1.0;
        ASSERT_TRUE(ui.set(panel, ucl, new_ucl));
        if (set_point) {
            EXPECT_EQ(ui.ival(panel, MFC_SPEC_FIXED_1), 0);  // a negative TARGET: relative to the set-point
            EXPECT_DOUBLE_EQ(ui.dval(panel, MFC_SPEC_TARGET_1), 5.0);
            ASSERT_TRUE(ui.press(panel, MFC_SPEC_OK));
        } else {
            ASSERT_TRUE(ui.press(frame(), SPEC_OK));
        }
        EXPECT_EQ(frame(), 0);
        for (std::size_t r = 0; r < c.keys.size(); ++r) {
            Triple expected = c.read_back[r];
            if (static_cast<int>(r) + 1 == last) expected[2] = new_ucl;
            EXPECT_EQ(stored(c.type, c.sub, key_of(r).first, key_of(r).second), expected) << "row " << r + 1;
        }
        if (!c.charted) continue;
        // The untouched first row, opened in its chart's Edit Limits with the stored limits chosen, then OK. A row
        // stored back with its TARGET's sign lost (-300, 250, -200) is refused there with a message (which no
        // queued answer expects) and the dialog stays open.
        shown_chart() = chart_of(recipe_num, key_of(0).first, c.type, c.sub, key_of(0).second);
        shown_chart().points = 300;
        ASSERT_NE(Flags & FLAG_PENDING_CHANGES, 0);  // the OK stores only in edit mode, as after the edit above
        const std::size_t shown = ui.popups().size();
        ASSERT_EQ(adjust_spec(0, 0, EVENT_COMMIT, nullptr, 0, 0), 0);
        const int dialog = ui.modal_panel();
        ASSERT_GT(dialog, 0);
        ASSERT_EQ(ui.title(dialog), "Edit Limits");
        const int ok = labelled(dialog, "OK"), the_switch = labelled(dialog, "Use 3 Sigma Limits");
        ASSERT_GT(ok, 0);
        ASSERT_GT(the_switch, 0);
        ASSERT_TRUE(ui.set(dialog, the_switch, 0));  // the stored limits, not the chart's 3 sigma
        ASSERT_TRUE(ui.press(dialog, ok));
        EXPECT_FALSE(ui.panel_exists(dialog));
        if (ui.panel_exists(dialog)) DiscardPanel(dialog);
        EXPECT_EQ(ui.popups().size(), shown);
        EXPECT_EQ(stored(c.type, c.sub, key_of(0).first, key_of(0).second), c.read_back[0]);
    }
}
