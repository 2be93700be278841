// Every writer of a file the operator names refuses a place outside the working, program and archive directories:
// the chosen path reaches it as typed (the headless file popup takes any), nothing is written there and the
// operator is told.
#include "tests/playback/playback_fixture.h"

#include <filesystem>
#include <functional>
#include <string>

#include "panels/pop.h"
#include "panels/s_chart.h"
#include "platform/ui/status_line.h"
#include "spc/compare_results.h"
#include "tests/support/temp_dir.h"

namespace {

using pbtest::PlaybackTest;

TEST_F(PlaybackTest, EveryWriterOfATypedPathRefusesOneOutsideTheAllowedFolders)
{
    namespace fs = std::filesystem;
    record_two_wafer_run();
    vtest::TempDir outside;
    struct Case {
        const char* label;
        std::string typed;    // what the operator gives
        std::string written;  // the (first) file it would have made
        std::function<void()> act;
        int messages;          // message popups on the way; none: the status line tells
        std::string expected;  // what the operator is told last
    };
    const std::string out = outside.path();
    Case cases[] = {
        // Printed first: a run played to text leaves nothing on the chart to print.
        {"the strip chart printed", out + "/Run 1.pdf", out + "/Run 1.pdf",
         [&] { ASSERT_TRUE(ui.press(sc_handle, SCHART_PRINT)); }, 1,
         "PDF Error|Could not open " + out +
             "/Run 1.pdf.  Please make sure all other applications close this file before attempting to write to "
             "this file."},
        {"export of the process", out + "/ETCH.Vantrel", out + "/ETCH.Vantrel",
         [&] { ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_FILE_EXPORT)); },
         0, "The process could not be exported to " + out + "/ETCH.Vantrel."},
        {"the comparison's text saved", out + "/RESULTS.TXT", out + "/RESULTS.TXT",
         [&] {
             const int popup = load_text_popup(0);
             ASSERT_GT(popup, 0);
             InsertListItem(popup, POP_LINES, -1, "POR mean - TEST mean PASS", 0);
             InstallPopup(popup);
             ASSERT_TRUE(ui.pick(GetPanelMenuBar(popup), POPMENU_FILE_SAVE));
             DiscardPanel(popup);
         },
         1, out + "/RESULTS.TXT|Unable to open file"},
        {"a run played to text", out + "/lot", out + "/lot.001",
         [&] {
             const int panel = open_selection();
             ASSERT_NO_FATAL_FAILURE(destination(panel, "Text File (traces only)"));
             ASSERT_TRUE(ui.check(panel, SC_SEL_RUNS, 0));
             ASSERT_TRUE(ui.press(panel, SC_SEL_OK));
         },
         2, "Text File Error|Cannot open " + out + "/lot.002"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ui.answer_path(c.typed);
        for (int i = 0; i < c.messages; ++i) ui.answer(1);  // the messages that say so
        ASSERT_NO_FATAL_FAILURE(c.act());
        EXPECT_EQ(c.messages == 0 ? vui::status_line() : ui.popups().back().title + "|" + ui.popups().back().text,
                  c.expected);
        EXPECT_FALSE(fs::exists(c.written));
        EXPECT_TRUE(fs::is_empty(out)) << "nothing at all is left outside";
    }
}

}  // namespace
