// Tests of the activity report: the preset window, the refusal, and ACTIVITY.TXT from a fixture database.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/callbacks.h"
#include "core/config_store.h"
#include "core/globals.h"
#include "core/schema.h"
#include "panels/log_req.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/headless.h"
#include "platform/ui/userint.h"
#include "reports/activity_report.h"
#include "reports/install.h"
#include "tests/sql/sql_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class ActivityReportTest : public ::testing::Test {
protected:
    vui::Headless ui;
    vtest::SqlDir db;

    void SetUp() override
    {
        vsys::set_project_dir_override(vtest::bin_dir());
        vt_dir = db.dir().path();
        hdbc = db.hdbc();
        check_tables(&hdbc);
        vui::register_callbacks(core_callbacks());
        install_reports();
    }
    void TearDown() override
    {
        vsys::clear_fault_plan();
        hdbc = -1;
        vt_dir.clear();
        vsys::set_project_dir_override("");
    }

    int open_popup()
    {
        request_logfile(0, 0, EVENT_COMMIT, nullptr, 0, 0);
        const int panel = ui.modal_panel();
        EXPECT_GT(panel, 0);
        return panel;
    }
    // Sets one end of the window as a user types it.
    void set_end(int panel, bool start, int y, int mo, int d, int h, int mi, int ampm)
    {
        const int ids[6] = {start ? LOGREQ_START_YEAR : LOGREQ_END_YEAR,  start ? LOGREQ_START_MONTH : LOGREQ_END_MONTH,
                            start ? LOGREQ_START_DAY : LOGREQ_END_DAY,    start ? LOGREQ_START_HOUR : LOGREQ_END_HOUR,
                            start ? LOGREQ_START_MINUTE : LOGREQ_END_MINUTE, start ? LOGREQ_START_AMPM : LOGREQ_END_AMPM};
        const int values[6] = {y, mo, d, h, mi, ampm};
        for (int i = 0; i < 6; ++i) ASSERT_TRUE(ui.set(panel, ids[i], values[i])) << ids[i];
    }
    std::string report() const { return db.dir().read("ACTIVITY.TXT"); }
    void run_row(int run, int wafers, const char* trace, const char* date, const char* time)
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO VT_INFO (RUN_NUM, NUM_WAF, RECIPE, TRACE_ID, SAV_DATE, "
                                                    "SAV_TIME, COMPLETE) VALUES (%d, %d, 'ETCH', '%s', '%s', '%s', 1)",
                                                    run, wafers, trace, date, time)),
                  0);
    }
    void endpoint_row(const char* trace, const char* date, const char* time, int ep, int clean)
    {
        ASSERT_EQ(vtest::run(hdbc, vsys::strprintf("INSERT INTO ENDP_DAT (SYSTEM_ID, TRACE_ID, COMMENT, SAV_DATE, "
                                                    "SAV_TIME, RECIPE, RUN, WAFER, EP_TIME, CLEAN_TIME, MAX_PART) "
                                                    "VALUES ('T', '%s', '', '%s', '%s', 'CLEAN', 0, 0, %d, %d, 0)",
                                                    trace, date, time, ep, clean)),
                  0);
    }
};

TEST_F(ActivityReportTest, ThePopupIsPresetToTheLastHourOnTheTwelveHourClock)
{
    struct Case {
        vsys::CivilTime now;
        int end[6];    // year, month, day, hour, minute, ring
        int start[6];
    };
    const std::vector<Case> cases = {
        {{2009, 5, 4, 10, 13, 27}, {2009, 5, 4, 10, 15, 0}, {2009, 5, 4, 9, 15, 0}},
        {{2009, 5, 4, 12, 2, 0}, {2009, 5, 4, 12, 5, 12}, {2009, 5, 4, 11, 5, 0}},
        {{2009, 5, 4, 13, 40, 0}, {2009, 5, 4, 1, 45, 12}, {2009, 5, 4, 12, 45, 12}},
        {{2009, 5, 4, 23, 57, 10}, {2009, 5, 5, 0, 0, 0}, {2009, 5, 4, 11, 0, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now.hour * 100 + c.now.minute);
        vtest::SimulatedClock clock(c.now);
        const int panel = open_popup();
        const int endIds[6] = {LOGREQ_END_YEAR, LOGREQ_END_MONTH, LOGREQ_END_DAY, LOGREQ_END_HOUR, LOGREQ_END_MINUTE, LOGREQ_END_AMPM};
        const int startIds[6] = {LOGREQ_START_YEAR, LOGREQ_START_MONTH, LOGREQ_START_DAY, LOGREQ_START_HOUR, LOGREQ_START_MINUTE, LOGREQ_START_AMPM};
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(ui.ival(panel, endIds[i]), c.end[i]) << "end field " << i;
            EXPECT_EQ(ui.ival(panel, startIds[i]), c.start[i]) << "start field " << i;
        }
        DiscardPanel(panel);
    }
}

TEST_F(ActivityReportTest, ListsRunsPrecoatsAndEndpointsInsideTheWindowWithBothEndsExclusive)
{
    char name[33] = "TOOL_A";
    get_put_char(hdbc, 0, 0, CONFIG_WRITE, name);
    run_row(1, 3, "AT START", "2026/03/14", "08:00:00");       // on the start: left out
    run_row(2, 1, "LOT-2", "2026/03/14", "08:00:01");          // one second later: listed
    run_row(3, 0, "LOT-3", "2026/03/14", "08:30:00");
    run_row(4, 2, "SYS PRECOAT", "2026/03/14", "08:40:00");
    run_row(5, 2, "EPI-LOT", "2026/03/14", "08:41:00");        // "EP" not at the end: a run
    run_row(6, 5, "No Wafer", "2026/03/14", "08:42:00");       // never listed
    run_row(-3, 1, "POR", "2026/03/14", "08:43:00");           // a process of record: never listed
    run_row(7, 1, "AT END", "2026/03/14", "09:00:00");         // on the end: left out
    endpoint_row("CHAMBER EP", "2026/03/14", "08:20:00", 42, 95);
    endpoint_row("CHAMBER", "2026/03/14", "08:50:00", 7, 9);   // not ending in EP: written as a run line
    vtest::SimulatedClock clock({2026, 3, 14, 9, 30, 0});
    const int panel = open_popup();
    set_end(panel, true, 2026, 3, 14, 8, 0, 0);
    set_end(panel, false, 2026, 3, 14, 9, 0, 0);
    ASSERT_TRUE(ui.press(panel, LOGREQ_OK));
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_EQ(report(),
              "TOOL_A Activity From 2026/03/14 08:00:00 to 2026/03/14 09:00:00\n\n"
              "2026/03/14 08:00:01 1 Triggered Event, Trace ID = LOT-2, ETCH\n"
              "2026/03/14 08:20:00 *Plasma Clean, Endpoint Time = 42, Total Clean Time = 95\n"
              "2026/03/14 08:30:00 0 Triggered Events, Trace ID = LOT-3, ETCH\n"
              "2026/03/14 08:40:00 Precoat\n"
              "2026/03/14 08:41:00 2 Triggered Events, Trace ID = EPI-LOT, ETCH\n"
              "2026/03/14 08:50:00 7 Triggered Events, Trace ID = CHAMBER, CLEAN\n");
    EXPECT_EQ(ui.documents(), std::vector<std::string>{db.dir().file("ACTIVITY.TXT")});
}

TEST_F(ActivityReportTest, TwelveOClockAndTheRingsGiveTheTwentyFourHourWindow)
{
    // 12 AM and 12 PM both mean noon, 0 PM means noon too, 0 AM midnight.
    run_row(1, 1, "MORNING", "2026/03/14", "00:30:00");
    run_row(2, 1, "NOON", "2026/03/14", "12:10:00");
    struct Case {
        int startHour, startRing, endHour, endRing;
        bool morning, noon;
    };
    for (const Case& c : {Case{0, 0, 12, 0, true, true}, Case{12, 12, 0, 12, false, true},
                          Case{12, 0, 1, 12, false, true}, Case{0, 0, 0, 0, false, false}}) {  // the last ends on MORNING: left out
        SCOPED_TRACE(testing::Message() << c.startHour << "/" << c.startRing << " " << c.endHour << "/" << c.endRing);
        const int panel = open_popup();
        set_end(panel, true, 2026, 3, 14, c.startHour, 0, c.startRing);
        set_end(panel, false, 2026, 3, 14, c.endHour, 30, c.endRing);
        ASSERT_TRUE(ui.press(panel, LOGREQ_OK));
        EXPECT_EQ(report().find("MORNING") != std::string::npos, c.morning) << report();
        EXPECT_EQ(report().find("NOON") != std::string::npos, c.noon) << report();
    }
}

TEST_F(ActivityReportTest, AnEndNotLaterThanTheStartIsRefusedAndThePopupStays)
{
    const int panel = open_popup();
    set_end(panel, true, 2026, 3, 14, 8, 0, 0);
    set_end(panel, false, 2026, 3, 14, 8, 0, 0);
    ui.answer(1);
    ASSERT_TRUE(ui.press(panel, LOGREQ_OK));
    ASSERT_EQ(ui.popups().size(), 1u);
    EXPECT_EQ(ui.popups()[0].title, "");
    EXPECT_EQ(ui.popups()[0].text, "The end date and time must be greater than the start date and time.");
    EXPECT_TRUE(ui.panel_exists(panel));
    EXPECT_EQ(ui.ival(panel, LOGREQ_START_HOUR), 8);
    EXPECT_FALSE(vsys::file_exists(db.dir().file("ACTIVITY.TXT")));
    EXPECT_TRUE(ui.documents().empty());
}

TEST_F(ActivityReportTest, CancelLeavesWithoutAReport)
{
    const int panel = open_popup();
    ASSERT_TRUE(ui.press(panel, LOGREQ_CANCEL));
    EXPECT_FALSE(ui.panel_exists(panel));
    EXPECT_FALSE(vsys::file_exists(db.dir().file("ACTIVITY.TXT")));
    EXPECT_TRUE(ui.documents().empty());
}

TEST_F(ActivityReportTest, AnEmptyWindowSaysSoWithoutAFinalLineEnd)
{
    const int panel = open_popup();
    set_end(panel, true, 2026, 3, 14, 1, 0, 0);
    set_end(panel, false, 2026, 3, 14, 2, 0, 0);
    ASSERT_TRUE(ui.press(panel, LOGREQ_OK));
    EXPECT_EQ(report(), "W1 Activity From 2026/03/14 01:00:00 to 2026/03/14 02:00:00\n\nNo activity recorded.");
}

TEST_F(ActivityReportTest, AFailedWriteReportsTheLogfileErrorKeepsNoReportAndOpensNothing)
{
    run_row(2, 1, "LOT-2", "2026/03/14", "08:10:00");
    db.dir().write("ACTIVITY.TXT", "an old report");
    for (const vsys::FileFault& fault : {vsys::FileFault::disk_full_after(0, "ACTIVITY"),
                                         vsys::FileFault::disk_full_after(20, "ACTIVITY"),
                                         vsys::FileFault {vsys::FileOp::flush, 1, false, "ACTIVITY"}}) {
        const int panel = open_popup();
        set_end(panel, true, 2026, 3, 14, 8, 0, 0);
        set_end(panel, false, 2026, 3, 14, 9, 0, 0);
        vsys::set_fault_plan(fault);
        ui.answer(1);
        ASSERT_TRUE(ui.press(panel, LOGREQ_OK));
        vsys::clear_fault_plan();
        ASSERT_FALSE(ui.popups().empty());
        EXPECT_EQ(ui.popups().back().title, "Logfile Error");
        EXPECT_FALSE(vsys::file_exists(db.dir().file("ACTIVITY.TXT")));
        EXPECT_TRUE(ui.documents().empty());
    }
}

}  // namespace
