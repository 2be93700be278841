// Recording on a failing disk or over a damaged run table: acquisition refuses or stops with one message, and no trace is written over or left empty.
#include "tests/acquisition/acq_fixture.h"

#include <algorithm>
#include <filesystem>

#include "core/trace_file.h"
#include "panels/s_chart.h"
#include "platform/sql/dbf_table.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"

namespace {

using acqtest::AcqTest;

// Two wafers of one run, then the run ends and the next one waits.
constexpr const char* kTwoWafers = "001110001110000000";
constexpr std::uint64_t kBlockBytes = 3 * 10 * 2 + 20;  // three channels at 10 samples a second

class RecordingFaults : public AcqTest {
protected:
    void TearDown() override
    {
        vsys::clear_fault_plan();
        AcqTest::TearDown();
    }

    // Presses start with an answer queued for a message that may come (the trigger notice comes first).
    void press_start()
    {
        ui.answer(1);
        ui.answer(1);
        ASSERT_TRUE(ui.set(sc_handle, SCHART_START, 1));
        wait_real([this] { return !acq().active || board->stats().running; });
    }

    // Ticks while acquisition runs, with one answer ready for a message that may come.
    void run_pattern(int ticks)
    {
        for (int i = 0; i < ticks && acq().active; ++i) {
            if (ui.answers_left() == 0) ui.answer(1);
            tick();
        }
    }

    // Takes back the answer no message came to use.
    void settle_answers()
    {
        while (ui.answers_left() > 0) MessagePopup("", "(end of case)");
    }

    // The titled popups since the case began (the trigger notice has no title).
    std::vector<vui::PopupInfo> errors() const
    {
        std::vector<vui::PopupInfo> out;
        for (std::size_t i = first_popup; i < ui.popups().size(); ++i)
            if (ui.popups()[i].title != "") out.push_back(ui.popups()[i]);
        return out;
    }

    // A new case on the same program: no traces, no run rows, no popups counted.
    void new_case()
    {
        if (acq().active) stop();
        for (const auto& e : std::filesystem::directory_iterator(dir.file("SC_DATA"))) std::filesystem::remove(e.path());
        ASSERT_EQ(DBImmediateSQL(hdbc, "DELETE FROM VT_INFO WHERE RUN_NUM > 0"), 0);
        ASSERT_EQ(DBImmediateSQL(hdbc, "PACK VT_INFO"), 0);
        first_popup = ui.popups().size();
        Flags = 0;
    }
    std::size_t first_popup = 0;

    // Every trace file holds its header and whole blocks, at least one.
    void expect_whole_traces()
    {
        for (const auto& e : std::filesystem::directory_iterator(dir.file("SC_DATA"))) {
            const std::uint64_t size = std::filesystem::file_size(e.path());
            EXPECT_GE(size, 20u + kBlockBytes) << e.path();
            EXPECT_EQ((size - 20) % kBlockBytes, 0u) << e.path() << " has a part block";
        }
    }

    void expect_readable(const char* table)
    {
        const std::string read = vtest::read_with_dbfread(dir.file(table));
        EXPECT_NE(read, "<dbfread failed>") << table;
    }
};

// The state a full disk left behind: a header claiming a header of 4 bytes and records of 0.
void damage_run_table(const std::string& path)
{
    std::string header(32, '\0');
    header[0] = 0x03;
    header[4] = 12;  // records
    header[8] = 4;   // header length
    std::ofstream(path, std::ios::binary | std::ios::trunc) << header;
}

TEST_F(RecordingFaults, AnUnreadableRunTableRefusesTheStartWithOneMessage)
{
    source->ch1 = kTwoWafers;
    dir.write("SC_DATA/00000001.001", "an old wafer");
    damage_run_table(dir.file("VT_INFO.DBF"));
    ui.answer(1);
    ASSERT_TRUE(ui.set(sc_handle, SCHART_START, 1));
    EXPECT_FALSE(acq().active);
    EXPECT_EQ(ui.ival(sc_handle, SCHART_START), 0);
    const auto shown = errors();
    ASSERT_EQ(shown.size(), 1u) << shown.back().text;
    EXPECT_EQ(shown[0].title, "DAQ Error");
    EXPECT_NE(shown[0].text.find("VT_INFO cannot be read"), std::string::npos) << shown[0].text;
    EXPECT_EQ(bytes(trace_file(1, 1)), "an old wafer");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("SC_DATA")), {}), 1);
}

TEST_F(RecordingFaults, AMissingRunTableIsCreatedAndRecordingGoesOn)
{
    source->ch1 = kTwoWafers;
    dir.write("SC_DATA/00000002.001", "an old wafer");
    std::filesystem::remove(dir.file("VT_INFO.DBF"));
    start();
    tick(10);
    stop();
    EXPECT_EQ(bytes(trace_file(2, 1)), "an old wafer");
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0"), "3|2");
}

TEST_F(RecordingFaults, RunNumbersGoAboveTheTracesOfRowsThatWereLost)
{
    source->ch1 = kTwoWafers;
    dir.write("SC_DATA/00000001.001", "an old wafer");
    dir.write("SC_DATA/00000003.002", "another old wafer");
    dir.write("SC_DATA/notes.txt", "not a trace");
    start();
    tick(10);
    stop();
    EXPECT_EQ(bytes(trace_file(1, 1)), "an old wafer");
    EXPECT_EQ(bytes(trace_file(3, 2)), "another old wafer");
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0"), "4|2");
    const std::uint64_t size = vsys::file_size(trace_file(4, 1)).value_or(0);
    EXPECT_TRUE(size > 20 && (size - 20) % kBlockBytes == 0) << size;
}

TEST_F(RecordingFaults, AnExistingTraceIsNeverOpenedForWriting)
{
    vtest::TempDir here;
    here.write("00000001.001", "kept");
    std::string why;
    EXPECT_FALSE(create_trace_file(here.file("00000001.001"), why));
    EXPECT_EQ(why, "the file exists already");
    EXPECT_EQ(bytes(here.file("00000001.001")), "kept");
    EXPECT_TRUE(create_trace_file(here.file("00000001.002"), why));
    EXPECT_EQ(highest_trace_run(here.path()), 0);  // no SC_DATA there
    EXPECT_EQ(highest_trace_run(dir.path()), 0);
    dir.write("SC_DATA/00000012.001", "");
    dir.write("SC_DATA/00000099.1", "");
    EXPECT_EQ(highest_trace_run(dir.path()), 12);
}

// Every failing write, flush or seek of the trace writer, at each point of a recording.
TEST_F(RecordingFaults, TheFirstTraceWriteFailureStopsAcquisitionWithOneMessage)
{
    for (vsys::FileOp op : {vsys::FileOp::write, vsys::FileOp::flush, vsys::FileOp::seek}) {
        int nth = 1;
        for (;; ++nth) {
            SCOPED_TRACE(vsys::strprintf("op %d, call %d", static_cast<int>(op), nth));
            new_case();
            source->ch1 = kTwoWafers;
            vsys::set_fault_plan({op, nth, false, "/SC_DATA/"});
            press_start();
            run_pattern(static_cast<int>(std::string(kTwoWafers).size()));
            const bool hit = vsys::fault_plan_strikes() > 0;
            vsys::clear_fault_plan();
            if (acq().active) stop();
            settle_answers();
            const auto shown = errors();
            if (!hit) {
                EXPECT_TRUE(shown.empty());
                break;
            }
            ASSERT_EQ(shown.size(), 1u) << shown.back().text;
            EXPECT_EQ(shown[0].title, "DAQ Error");
            EXPECT_NE(shown[0].text.find("Cannot write the wafer trace file"), std::string::npos) << shown[0].text;
            EXPECT_NE(shown[0].text.find("No space left on device"), std::string::npos) << shown[0].text;
            EXPECT_EQ(ui.ival(sc_handle, SCHART_START), 0);
            expect_whole_traces();
            // Every row names wafers whose files are there.
            for (const auto& r : vtest::query(hdbc, "SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0").rows)
                for (int w = 1; w <= std::stoi(r[1]); ++w)
                    EXPECT_TRUE(vsys::file_exists(trace_file(std::stoi(r[0]), w))) << r[0] << "." << w;
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(nth, 3) << "too few calls of op " << static_cast<int>(op);
    }
}

// Every failing write, flush or seek of the run table during a recording.
TEST_F(RecordingFaults, TheFirstRunTableFailureStopsAcquisitionWithOneMessage)
{
    for (vsys::FileOp op : {vsys::FileOp::write, vsys::FileOp::flush, vsys::FileOp::seek}) {
        int nth = 1;
        for (;; ++nth) {
            SCOPED_TRACE(vsys::strprintf("op %d, call %d", static_cast<int>(op), nth));
            new_case();
            source->ch1 = kTwoWafers;
            press_start();
            vsys::set_fault_plan({op, nth, false, "VT_INFO"});
            run_pattern(static_cast<int>(std::string(kTwoWafers).size()));
            const bool hit = vsys::fault_plan_strikes() > 0;
            vsys::clear_fault_plan();
            if (acq().active) stop();
            settle_answers();
            const auto shown = errors();
            if (!hit) {
                EXPECT_TRUE(shown.empty());
                break;
            }
            ASSERT_EQ(shown.size(), 1u) << shown.back().text;
            EXPECT_EQ(shown[0].title, "DAQ Error");
            EXPECT_NE(shown[0].text.find("VT_INFO"), std::string::npos) << shown[0].text;
            EXPECT_FALSE(acq().active);
            expect_whole_traces();
            expect_readable("VT_INFO.DBF");
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(nth, 1) << "no call of op " << static_cast<int>(op);
    }
}

TEST_F(RecordingFaults, AWaferFileThatCannotBeCreatedStopsAcquisition)
{
    std::filesystem::remove_all(dir.file("SC_DATA"));
    dir.write("SC_DATA", "not a directory");
    source->ch1 = "0011100000";
    press_start();
    run_pattern(6);
    settle_answers();
    EXPECT_FALSE(acq().active);
    const auto shown = errors();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].text.find("Cannot create the wafer trace file"), std::string::npos) << shown[0].text;
    EXPECT_EQ(rows("SELECT COUNT(*) FROM VT_INFO WHERE RUN_NUM > 0"), "0");
}

}  // namespace
