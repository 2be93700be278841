// Control-limit dialogs: every group saves and reads back through step_specs, keyed by the row's channel or timer; refusals.
#include <gtest/gtest.h>

#include "panels/mfc_set.h"
#include "panels/s_chart.h"
#include "panels/specs.h"
#include "setup/limit_dialogs.h"
#include "spc/limit_table.h"
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
    display_specs(0, 44, nullptr, 0);
    EXPECT_EQ(frame(), 0);
}

TEST_F(LimitDialogsTest, StepGroupsAndSetPoints)
{
    double negative[3] = {1.0, -5.0, 9.0};
    step_specs(7, 1, 0, 2, 1, negative);
    display_specs(-2, -7, nullptr, 0);
    ASSERT_GT(frame(), 0);
    EXPECT_EQ(ui.text(frame(), SPEC_TITLE), "Step Overshoot Area Control Limits");
    EXPECT_DOUBLE_EQ(ui.dval(group(), LIMIT_ROWS_TARGET_1), 5.0);
    EXPECT_FALSE(ui.visible(group(), LIMIT_ROWS_UCL_32 + 3));
    ui.set(group(), LIMIT_ROWS_LCL_1 + 65, 9.0);  // an edit enters edit mode
    ui.press(frame(), SPEC_OK);
    EXPECT_EQ(stored(1, 0, 2, 1), (std::vector<double>{1.0, 5.0, 9.0}));

    Flags = 0;
    display_specs(-2, -8, nullptr, 0);
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
