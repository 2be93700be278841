// The review edition: the same main window without the start/stop toggle, and no acquisition.
#include "panels/s_chart.h"
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
    // Its menus offer no acquisition command; the rest of the bar stays.
    for (const char* item : {"Record Data", "Acquisition Rate...", "Triggers...", "Real-Time Testing"})
        EXPECT_EQ(ui.find_menu_item(handle_menu, item), 0) << item;
    EXPECT_GT(ui.find_menu_item(handle_menu, "Channel Setup..."), 0);
}

}  // namespace
