// The event loop: quit latch, GetUserEvent, modal popups, nested popups, wait panel, timers during popups, fatal errors.
#include <gtest/gtest-spi.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <thread>

#include "platform/sys/format.h"
#include "platform/sys/launch.h"
#include "platform/sys/message_box.h"
#include "platform/sys/process.h"
#include "tests/ui/demo_fixture.h"

namespace uitest {
namespace {

using LoopTest = DemoTest;

TEST_F(LoopTest, QuitBeforeTheLoopStartsIsLatched)
{
    QuitUserInterface(3);
    EXPECT_EQ(RunUserInterface(), 3);
    // The latch is spent; a quit posted from another thread ends the next loop.
    std::thread worker([] { vui::post_task([] { QuitUserInterface(7); }); });
    worker.join();
    EXPECT_EQ(RunUserInterface(), 7);
}

TEST_F(LoopTest, GetUserEventReturnsCommitsOnlyAndDoesNotWaitWhenAskedNotTo)
{
    int p = load_demo();
    int panel = -1, ctrl = -1;
    EXPECT_EQ(GetUserEvent(0, &panel, &ctrl), 0);
    // Events posted by another thread (the view) reach the UI thread's queue.
    std::thread view([p] {
        vui::post_user_event({p, DEMO_RUN, EVENT_VAL_CHANGED, 0, 0, false});
        vui::post_user_event({p, DEMO_RUN, EVENT_COMMIT, 0, 0, false});
    });
    view.join();
    EXPECT_EQ(GetUserEvent(0, &panel, &ctrl), EVENT_COMMIT);
    EXPECT_EQ(panel, p);
    EXPECT_EQ(ctrl, DEMO_RUN);
    EXPECT_EQ(h.calls, (std::vector<std::string>{"demo_value:2", "demo_value:1"}));
    int bar = LoadMenuBar(p, "demo.uir", MENUBAR);
    vui::post_task([bar] { vui::deliver_menu_pick(bar, MENUBAR_CHARTS_NEXT_CHART); });
    EXPECT_EQ(GetUserEvent(0, &panel, &ctrl), EVENT_MENU_ITEM);
    EXPECT_EQ(panel, bar);
    EXPECT_EQ(ctrl, MENUBAR_CHARTS_NEXT_CHART);
}

TEST_F(LoopTest, CtrlKeyStateIsThatOfTheEventBeingHandled)
{
    int p = load_demo();
    std::vector<bool> seen;
    h.graph = [&](int, int, int, void*) {
        seen.push_back(vsys::ctrl_key_down());
        return 0;
    };
    ui.click(p, DEMO_GRAPH, 10, 10, true);
    ui.click(p, DEMO_GRAPH, 10, 10, false);
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
    EXPECT_FALSE(vsys::ctrl_key_down());
}

TEST_F(LoopTest, WaitingForAnEventLetsTheTestActAndReturnsTheCommit)
{
    int p = load_demo();
    std::string typed;
    h.ask = [&](int, int, int event, void*) {
        if (event != EVENT_COMMIT) return 0;
        int d = LoadPanel(0, "demo.uir", DIALOG);
        InstallPopup(d);
        int panel = 0, ctrl = 0;
        while (!(GetUserEvent(1, &panel, &ctrl) == EVENT_COMMIT && panel == d && ctrl == DIALOG_OK)) {
        }
        GetCtrlVal(d, DIALOG_TEXT, &typed);
        DiscardPanel(d);
        return 0;
    };
    ui.after_pumps(1, [&] {
        int d = ui.find_panel("DIALOG");
        ui.set(d, DIALOG_TEXT, "typed");
        ui.press(d, DIALOG_OK);
    });
    EXPECT_TRUE(ui.press(p, DEMO_ASK));
    EXPECT_EQ(typed, "typed");
    EXPECT_EQ(ui.modal_panel(), 0);
}

TEST_F(LoopTest, WaitingWithNothingComingFailsTheTestInsteadOfHanging)
{
    int panel = 0, ctrl = 0;
    int result = -1;
    EXPECT_NONFATAL_FAILURE(result = GetUserEvent(1, &panel, &ctrl), "never gives");
    EXPECT_EQ(result, 0);
}

TEST_F(LoopTest, InstalledPopupIsModal)
{
    int p = load_demo();
    int bar = LoadMenuBar(p, "demo.uir", MENUBAR);
    int d = LoadPanel(0, "demo.uir", DIALOG);
    ASSERT_EQ(InstallPopup(d), 0);
    EXPECT_TRUE(ui.panel_visible(d));
    EXPECT_EQ(ui.modal_panel(), d);
    EXPECT_FALSE(ui.set(p, DEMO_VALUE, 7));
    EXPECT_FALSE(ui.pick(bar, MENUBAR_FILE_OPEN));
    EXPECT_FALSE(ui.close(p));
    EXPECT_EQ(ui.ival(p, DEMO_VALUE), 5);
    int loose = NewMenuBar(0);
    int item = NewMenuItem(loose, NewMenu(loose, "Tools", -1), "Tile", -1, 0, nullptr, nullptr);
    EXPECT_FALSE(ui.pick(loose, item));
    EXPECT_TRUE(ui.set(d, DIALOG_TEXT, "inside"));
    // A panel inside the popup is part of it; a second popup takes over.
    int inner = LoadPanel(d, "demo.uir", DIALOG);
    DisplayPanel(inner);
    EXPECT_TRUE(ui.press(inner, DIALOG_OK));
    int second = LoadPanel(0, "demo.uir", DIALOG);
    InstallPopup(second);
    EXPECT_FALSE(ui.set(d, DIALOG_TEXT, "refused"));
    EXPECT_TRUE(ui.set(second, DIALOG_TEXT, "top"));
    DiscardPanel(second);
    EXPECT_TRUE(ui.set(d, DIALOG_TEXT, "again"));
    RemovePopup(0);
    EXPECT_FALSE(ui.panel_visible(d));
    EXPECT_TRUE(ui.set(p, DEMO_VALUE, 7));
    EXPECT_EQ(ui.ival(p, DEMO_VALUE), 7);
}

TEST_F(LoopTest, NestedPopupsAreAnsweredInOrder)
{
    int p = load_demo();
    std::string name;
    h.ask = [&](int, int, int event, void*) {
        if (event != EVENT_COMMIT) return 0;
        if (ConfirmPopup("", "Changes are pending.  Do you want to save changes?") != 1) return 0;
        char text[33];
        if (PromptPopup("Save As", "Process name:", text, 32) == 0) name = text;
        char file[260];
        int chosen = FileSelectPopup("/tmp", "Chart.pdf", "*.pdf", "Please enter a file name...", VAL_SAVE_BUTTON, 0, 1, 1, 1, file);
        MessagePopup("Saved", vsys::strprintf("%s %d %s", name.c_str(), chosen, file).c_str());
        return 0;
    };
    ui.answer_yes();
    ui.answer_text("ETCH-7");
    ui.answer_path("/nonexistent/dir/Chart.pdf");
    ui.answer(1);
    EXPECT_TRUE(ui.press(p, DEMO_ASK));
    ASSERT_EQ(ui.popups().size(), 4u);
    EXPECT_EQ(ui.popups()[0].kind, "confirm");
    EXPECT_EQ(ui.popups()[1].title, "Save As");
    EXPECT_EQ(ui.popups()[2].kind, "file");
    EXPECT_EQ(ui.popups()[3].text, "ETCH-7 2 /nonexistent/dir/Chart.pdf");
}

TEST_F(LoopTest, PopupAnswersAreBoundedAndCancellable)
{
    ui.answer_text("a much longer name than allowed");
    char text[8];
    EXPECT_EQ(PromptPopup("T", "M", text, 5), 0);
    EXPECT_STREQ(text, "a muc");
    ui.answer_cancel();
    EXPECT_EQ(PromptPopup("T", "M", text, 5), -1);
    ui.answer_text("Timer A", 2);
    char response[33] = "";
    EXPECT_EQ(GenericMessagePopup("Add Timer", "Please enter a name for the new timer.", "Cancel", "Ok", nullptr,
                                  response, 32, 2, 1), 2);
    EXPECT_STREQ(response, "Timer A");
    ui.answer_cancel();
    char dir[16];
    EXPECT_EQ(DirSelectPopup("/tmp", "Copy to", 1, 1, dir), VAL_NO_DIRECTORY_SELECTED);
    // A path longer than the caller's buffer is no selection, never a cut path.
    ui.answer_path("/a/directory/name/that/is/too/long");
    EXPECT_EQ(DirSelectPopup("/tmp", "Copy to", 1, 1, dir), VAL_NO_DIRECTORY_SELECTED);
    vtest::TempDir tmp;
    std::string existing = tmp.write("old.txt", "x");
    ui.answer_path("old.txt");
    std::string chosen;
    EXPECT_EQ(FileSelectPopup(tmp.path().c_str(), "", "*.TXT", "Save", VAL_SAVE_BUTTON, 0, 0, 1, 1, &chosen), VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(chosen, existing);
}

TEST_F(LoopTest, UnansweredPopupFailsWithItsTitleAndText)
{
    EXPECT_NONFATAL_FAILURE(MessagePopup("Setup Error", "This process is write protected."),
                            "\"Setup Error\": \"This process is write protected.\"");
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(ConfirmPopup("Delete", "Sure?"), 0), "\"Delete\"");
}

TEST_F(LoopTest, WaitPanelCancelIsSeenBetweenSteps)
{
    int p = load_demo();
    int steps = 0;
    double progress = 0;
    h.long_op = [&](int, int, int event, void*) {
        if (event != EVENT_COMMIT) return 0;
        int wait = LoadPanel(0, "demo.uir", WAIT);
        InstallPopup(wait);
        SetCtrlVal(wait, WAIT_MESSAGE, "Working...");
        while (steps < 10) {
            ++steps;
            SetCtrlVal(wait, WAIT_PROGRESS, steps / 10.0);
            int panel = 0, ctrl = 0;
            GetUserEvent(0, &panel, &ctrl);
            int cancel = 0;
            GetCtrlVal(wait, WAIT_CANCEL, &cancel);
            if (cancel) break;
        }
        GetCtrlVal(wait, WAIT_PROGRESS, &progress);
        DiscardPanel(wait);
        return 0;
    };
    ui.after_pumps(3, [&] {
        int wait = ui.find_panel("WAIT");
        EXPECT_EQ(ui.text(wait, WAIT_MESSAGE), "Working...");
        EXPECT_FALSE(ui.set(p, DEMO_VALUE, 1));  // the main window is behind the modal wait panel
        ui.press(wait, WAIT_CANCEL);
    });
    EXPECT_TRUE(ui.press(p, DEMO_LONG));
    EXPECT_EQ(steps, 3);
    EXPECT_DOUBLE_EQ(progress, 0.3);
    EXPECT_EQ(ui.find_panel("WAIT"), 0);
    EXPECT_EQ(ui.modal_panel(), 0);
}

TEST_F(LoopTest, TimersTickDuringPopupsButAreNeverReentered)
{
    int p = load_demo();
    int fast = NewCtrl(p, CTRL_TIMER, "", 0, 0);
    SetCtrlAttribute(p, fast, ATTR_INTERVAL, 0.5);
    int fast_ticks = 0, during = -1;
    InstallCtrlCallback(p, fast, [&](int, int, int event, void*, int, int) {
        fast_ticks += event == EVENT_TIMER_TICK;
        return 0;
    }, nullptr);
    int ticks = 0;
    h.tick = [&](int, int, int event, void*) {
        if (event == EVENT_TIMER_TICK && ++ticks == 1) {
            int before = fast_ticks;
            MessagePopup("DAQ Error", "held open");
            during = fast_ticks - before;
        }
        return 0;
    };
    ui.hold_next_popup();
    ui.after_pumps(1, [&] {
        ui.advance(3.0);  // the popup stays open for three seconds
        EXPECT_EQ(ticks, 1);
        ui.answer_open(1);
    });
    ui.advance(1.0);
    EXPECT_EQ(ticks, 1);
    EXPECT_GE(during, 6);
    // Once the callback has returned the timer ticks again, once per interval.
    ui.advance(2.0);
    EXPECT_EQ(ticks, 3);
    SetCtrlAttribute(p, DEMO_CLOCK, ATTR_ENABLED, 0);
    ui.advance(5.0);
    EXPECT_EQ(ticks, 3);
}

TEST_F(LoopTest, AStopRequestEndsAnOpenPopupAndThenTheLoop)
{
    // A stop posted while a popup waits for its answer (SIGTERM at a start-up
    // popup) must not leave the program waiting for ever.
    ui.hold_next_popup();
    ui.after_pumps(1, [] { vui::post_task([] { QuitUserInterface(5); }); });
    int answer = MessagePopup("Vantrel Review", "Version 6.96");
    EXPECT_LE(answer, 0);
    EXPECT_EQ(RunUserInterface(), 5);
}

TEST_F(LoopTest, ExceptionEscapingACallbackIsReportedAsFatal)
{
    int p = load_demo();
    h.value = [](int, int, int, void*) -> int { throw std::runtime_error("boom in the callback"); };
    EXPECT_NONFATAL_FAILURE(ui.click(p, DEMO_VALUE), "boom in the callback");
    // The loop goes on after the report.
    h.value = nullptr;
    EXPECT_TRUE(ui.set(p, DEMO_VALUE, 1));
}

TEST_F(LoopTest, MessageBoxOfAnotherThreadIsPostedWithoutBlockingIt)
{
    std::thread transfer([] { vsys::message_box("USB Error", "Bulk read failed."); });
    transfer.join();  // returned at once: nobody had answered yet
    EXPECT_TRUE(ui.popups().empty());
    ui.answer(1);
    ui.pump();
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "USB Error");
    EXPECT_EQ(ui.popups()[0].text, "Bulk read failed.");
}

TEST_F(LoopTest, PanelEventsFocusCloseMoveAndSize)
{
    int a = load_demo();
    int b = load_demo();
    SetActivePanel(a);
    ui.pump();
    h.calls.clear();
    SetActivePanel(b);
    ui.pump();
    EXPECT_EQ(h.calls, (std::vector<std::string>{"demo_panel:9", "demo_panel:8"}));
    EXPECT_EQ(GetActivePanel(), b);
    h.calls.clear();
    EXPECT_TRUE(ui.close(a));
    EXPECT_TRUE(ui.move_panel(b, 5, 6));
    EXPECT_TRUE(ui.size_panel(b, 300, 500));
    EXPECT_EQ(h.calls, (std::vector<std::string>{"demo_panel:11", "demo_panel:13", "demo_panel:12"}));
    EXPECT_EQ(ui.panel_attribute(b, ATTR_WIDTH), 500);
}

// Panels whose callbacks take the focus back when they get it (the main window's do, through the Window menu):
// two quick changes must settle on the last one, not trade the focus between the two forever.
TEST_F(LoopTest, AFocusChangeOvertakenByAnotherIsNotDelivered)
{
    int a = load_demo();
    int b = load_demo();
    SetActivePanel(a);
    ui.pump();
    int got = 0;
    h.panel = [&](int panel, int event) {
        if (event == EVENT_GOT_FOCUS) {
            ++got;
            SetActivePanel(panel);
        }
        return 0;
    };
    SetActivePanel(b);
    SetActivePanel(a);
    int rounds = 0;
    while (vui::pump_once() && rounds < 100) ++rounds;
    EXPECT_LT(rounds, 100) << "the focus never settled";
    EXPECT_EQ(GetActivePanel(), a);
    EXPECT_EQ(got, 1);
}

TEST_F(LoopTest, ACallbackMayDiscardItsOwnPanel)
{
    int d = LoadPanel(0, "demo.uir", DIALOG);
    InstallPopup(d);
    h.ok = [&](int panel, int, int event, void*) {
        if (event == EVENT_COMMIT) DiscardPanel(panel);
        return 0;
    };
    EXPECT_TRUE(ui.press(d, DIALOG_OK));
    EXPECT_FALSE(ui.panel_exists(d));
    EXPECT_EQ(ui.modal_panel(), 0);
    EXPECT_FALSE(ui.press(d, DIALOG_OK));
}

// The close box presses the panel's close control when it names one, else raises EVENT_CLOSE; Esc that no
// control takes does the same for the topmost installed popup only.
TEST_F(LoopTest, CloseBoxAndEscOfPopups)
{
    int d = LoadPanel(0, "demo.uir", DIALOG);
    InstallPopup(d);
    int closes = 0;
    InstallPanelCallback(d, [](int, int event, void* n, int, int) {
        if (event == EVENT_CLOSE) ++*static_cast<int*>(n);
        return 0;
    }, &closes);
    EXPECT_TRUE(ui.close(d));
    EXPECT_TRUE(ui.key(d, VAL_ESC_VKEY));
    EXPECT_EQ(closes, 2);
    EXPECT_TRUE(h.calls.empty());
    ASSERT_EQ(SetPanelAttribute(d, ATTR_CLOSE_CTRL, 2), 0);
    EXPECT_TRUE(ui.close(d));
    EXPECT_TRUE(ui.key(d, VAL_ESC_VKEY));
    EXPECT_EQ(h.calls, (std::vector<std::string>{"demo_ok:1", "demo_ok:1"}));
    EXPECT_EQ(closes, 2);
    // A window that is not the topmost popup keeps Esc as an ordinary key.
    RemovePopup(0);
    h.calls.clear();
    int p = load_demo();
    EXPECT_FALSE(ui.key(p, VAL_ESC_VKEY));
    EXPECT_EQ(h.calls, std::vector<std::string>{});
    DiscardPanel(d);
}

// A toggle's on and off texts, and a numeric shown as a colour, are kept with the control for the view.
TEST_F(LoopTest, ToggleTextsAndColourLook)
{
    int p = NewPanel(0, "P", 0, 0, 100, 100);
    int t = NewCtrl(p, CTRL_TOGGLE_BUTTON, "Start", 10, 10);
    ASSERT_EQ(SetCtrlAttribute(p, t, ATTR_ON_TEXT, "STOP"), 0);
    ASSERT_EQ(SetCtrlAttribute(p, t, ATTR_OFF_TEXT, "START"), 0);
    char text[16] = "";
    ASSERT_EQ(GetCtrlAttribute(p, t, ATTR_ON_TEXT, text), 0);
    EXPECT_STREQ(text, "STOP");
    EXPECT_LT(SetCtrlAttribute(p, t, ATTR_ON_TEXT, 5), 0);
    int n = NewCtrl(p, CTRL_NUMERIC, "Colour", 40, 10);
    int look = -1;
    ASSERT_EQ(GetCtrlAttribute(p, n, ATTR_SHOW_AS_COLOR, &look), 0);
    EXPECT_EQ(look, 0);
    EXPECT_LT(SetPanelAttribute(p, ATTR_ON_TEXT, "x"), 0);
    DiscardPanel(p);
}

// A file popup without a folder opens in the working directory; a pattern is a filter, not a name.
TEST_F(LoopTest, FilePopupFolderAndPattern)
{
    vtest::TempDir here(true);
    here.write("a.color", "x");
    std::optional<vui::FilePopupLimits> limits;
    vui::set_popup_responder([&](const vui::PopupInfo& info) -> std::optional<vui::PopupAnswer> {
        limits = vui::file_popup_limits(info.id);
        return vui::PopupAnswer{1, "a.color", false};
    });
    std::string chosen;
    EXPECT_EQ(FileSelectPopup("", "*.color", "*.color", "Color save file", VAL_LOAD_BUTTON, 0, 1, 1, 1, &chosen),
              VAL_EXISTING_FILE_SELECTED);
    ASSERT_TRUE(limits.has_value());
    EXPECT_EQ(std::filesystem::canonical(limits->directory), std::filesystem::canonical(here.path()));
    EXPECT_FALSE(limits->restrict_dir);
    EXPECT_EQ(limits->extensions, std::vector<std::string>{".color"});
    EXPECT_EQ(std::filesystem::canonical(chosen), std::filesystem::canonical(here.path() + "/a.color"));
    vui::set_popup_responder(nullptr);
}

TEST_F(LoopTest, MousePositionIsVerticalThenHorizontal)
{
    int p = load_demo();
    int d1 = -1, d2 = -1;
    vui::find_ctrl(p, DEMO_CHANNELS)->callback = [&](int, int, int, void*, int a, int b) {
        d1 = a;
        d2 = b;
        return 0;
    };
    ui.double_click(p, DEMO_CHANNELS, 120, 30);
    EXPECT_EQ(d1, 30);
    EXPECT_EQ(d2, 120);
}

TEST_F(LoopTest, DocumentsTheProgramOpensAreRecorded)
{
    std::thread report([] { vsys::launch_document("/work/printPDF/Chart.pdf"); });
    report.join();
    EXPECT_EQ(ui.documents(), (std::vector<std::string>{"/work/printPDF/Chart.pdf"}));
}

TEST_F(LoopTest, MouseCursorAndWaitCursor)
{
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    int c = 0;
    GetMouseCursor(&c);
    EXPECT_EQ(c, VAL_HOUR_GLASS_CURSOR);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    SetWaitCursor(1);
    EXPECT_EQ(ui.mouse_cursor(), VAL_HOUR_GLASS_CURSOR);
    SetWaitCursor(0);
    EXPECT_EQ(ui.mouse_cursor(), VAL_DEFAULT_CURSOR);
}

}  // namespace
}  // namespace uitest
