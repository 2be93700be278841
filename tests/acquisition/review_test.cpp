// The review edition: the same main window without the start/stop toggle, and no acquisition.
#include "panels/s_chart.h"
#include "panels/vt_setup.h"
#include "tests/acquisition/acq_fixture.h"

namespace {

using acqtest::AcqTest;

TEST_F(AcqTest, ReviewHasNoAcquisition)
{
    EXPECT_FALSE(ui.visible(sc_handle, SCHART_START));
    EXPECT_EQ(start_stop(sc_handle, SCHART_START, EVENT_COMMIT, nullptr, 0, 0), 1);
    EXPECT_EQ(pause(sc_handle, SCHART_PAUSE, EVENT_COMMIT, nullptr, 0, 0), 0);
    EXPECT_EQ(Start(), 1);
    EXPECT_FALSE(acq().active);
    EXPECT_EQ(vsys::path_filename(playback_list_path()), "review.tmp");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0"), "0");
}

// The menu bar is built as in Vantrel: the commands that only acquire stay, in the same states, and the
// trigger settings that re-testing and the sigma vector read can be opened.
TEST_F(AcqTest, ReviewMenuBarIsVantrels)
{
    for (const char* item : {"Record Data", "Acquisition Rate...", "Triggers...", "Real-Time Testing"}) {
        const int id = ui.find_menu_item(handle_menu, item);
        ASSERT_GT(id, 0) << item;
        EXPECT_FALSE(ui.menu_item(handle_menu, id)->dimmed) << item;
    }
    EXPECT_TRUE(ui.menu_item(handle_menu, ui.find_menu_item(handle_menu, "Record Data"))->checked);
    ASSERT_TRUE(ui.pick(handle_menu, "Triggers..."));
    const int dialog = ui.find_panel("TRIGGERS");
    ASSERT_GT(dialog, 0);
    EXPECT_EQ(ui.modal_panel(), dialog);
    ASSERT_TRUE(ui.press(dialog, TRIGGERS_CANCEL));
    EXPECT_EQ(ui.find_panel("TRIGGERS"), 0);
    // Pressing the (hidden) start toggle's callback still acquires nothing.
    EXPECT_EQ(start_stop(sc_handle, SCHART_START, EVENT_COMMIT, nullptr, 0, 0), 1);
    EXPECT_FALSE(acq().active);
}

}  // namespace
