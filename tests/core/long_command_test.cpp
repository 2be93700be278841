// One long command at a time: a second one is refused while the first runs, with or without a word to the user.
#include <gtest/gtest.h>

#include "core/long_command.h"
#include "platform/ui/headless.h"
#include "tests/core/core_fixture.h"

namespace {

using coretest::CoreTest;

TEST_F(CoreTest, ASecondLongCommandIsRefusedUntilTheFirstEnds)
{
    EXPECT_FALSE(LongCommand::running());
    {
        LongCommand playback("Playback");
        ASSERT_TRUE(playback.held());
        EXPECT_TRUE(LongCommand::running());
        EXPECT_EQ(LongCommand::current(), "Playback");

        ui.answer(1);
        LongCommand print("Printing");
        EXPECT_FALSE(print.held());
        ASSERT_EQ(ui.popups().size(), 1u);
        EXPECT_EQ(ui.popups()[0].title, "Busy");
        EXPECT_EQ(ui.popups()[0].text,
                  "Playback is still running.  Please wait until it ends, or stop it, and try again.");

        // The slideshow's own timer asks quietly.
        LongCommand slideshow("Slideshow", false);
        EXPECT_FALSE(slideshow.held());
        EXPECT_EQ(ui.popups().size(), 1u);
    }
    // A refused command does not release the guard it never held; the first one does.
    EXPECT_FALSE(LongCommand::running());
    LongCommand summary("Test summary");
    EXPECT_TRUE(summary.held());
}

}  // namespace
