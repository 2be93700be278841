// Shared set-up of the playback tests: runs recorded on the simulated board, the wired program and the run selection.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/long_command.h"
#include "core/shared_buffers.h"
#include "panels/s_chart.h"
#include "panels/sc_sel.h"
#include "platform/sys/atomic_file.h"
#include "programs/wiring.h"
#include "playback/pacing.h"
#include "playback/playback.h"
#include "playback/playback_list.h"
#include "setup/run_selection.h"
#include "tests/acquisition/acq_fixture.h"

namespace pbtest {

class PlaybackTest : public acqtest::AcqTest {
protected:
    void SetUp() override
    {
        AcqTest::SetUp();
        if (HasFatalFailure()) return;
        wire_subsystems();
        update_menu();
        // The process's stored setup is the one a playback reloads at its end.
        char number[33] = "3";
        get_put_char(hdbc, 0, 5, CONFIG_WRITE, number);
        get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
        get_put_number(0, 0, SAVE_STEP_GROUP, 0.0);
        get_put_number(0, 0, SAVE_TIMER_GROUP, 0.0);
    }
    void TearDown() override
    {
        GraphInfo.clear();
        GraphInfoEntries = 0;
        AcqTest::TearDown();
    }
    // Run 1 of two wafers (6 and 7 blocks) at 10 scans a second on channels 1..3.
    void record_two_wafer_run()
    {
        source->ch1 = "00110001100000000000";
        start();
        tick(20);
        stop();
        ASSERT_EQ(rows("SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0"), "1|2");
    }
    // A second run of one wafer after the first.
    void record_one_wafer_run()
    {
        source->ch1 = "0011000000000";
        start();
        tick(13);
        stop();
    }
    // Opens the run selection through the Play toggle; the panel.
    int open_selection()
    {
        EXPECT_TRUE(ui.press(sc_handle, SCHART_PLAY));
        const int panel = ui.find_panel("SC_SEL");
        EXPECT_GT(panel, 0);
        return panel;
    }
    // Picks the destination by its ring label.
    void destination(int panel, const std::string& label)
    {
        const auto items = ui.plain_items(panel, SC_SEL_DESTINATION);
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i] == label) {
                ASSERT_TRUE(ui.select(panel, SC_SEL_DESTINATION, static_cast<int>(i), true));
                return;
            }
        FAIL() << "no destination " << label;
    }
    std::string list_file() const { return dir.file("playback.tmp"); }
    static std::string bytes_of(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The raw blocks of a trace file after its header line (10 scans of 3 channels and a trailer each).
    static std::vector<std::vector<std::int16_t>> blocks_of(const std::string& path, int rate = 10, int saved = 3)
    {
        const std::string b = bytes_of(path);
        std::size_t at = b.find('\n') + 1;
        std::vector<std::vector<std::int16_t>> out;
        const std::size_t size = static_cast<std::size_t>(rate * saved) * 2;
        while (at + size + 20 <= b.size()) {
            std::vector<std::int16_t> block(static_cast<std::size_t>(rate * saved));
            std::memcpy(block.data(), b.data() + at, size);
            out.push_back(block);
            at += size + 20;
        }
        return out;
    }
};

}  // namespace pbtest
