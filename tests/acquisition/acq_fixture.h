// Shared set-up of the acquisition tests: working directory, database, simulated board and clock, the main window.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/axes.h"
#include "acquisition/daq_loop.h"
#include "acquisition/install.h"
#include "acquisition/main_window.h"
#include "acquisition/run_model.h"
#include "acquisition/start_stop.h"
#include "board/board_api.h"
#include "board/transfer.h"
#include "board/usb_transport.h"
#include "core/callbacks.h"
#include "core/config_store.h"
#include "core/globals.h"
#include "core/run_table.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "panels/s_chart.h"
#include "platform/sys/files.h"
#include "platform/sys/message_box.h"
#include "platform/ui/headless.h"
#include "platform/usb/sim_board.h"
#include "playback/playback.h"
#include "reports/install.h"
#include "setup/install.h"
#include "spc/install.h"
#include "testing/install.h"
#include "tests/sql/sql_fixture.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

namespace acqtest {

// Levels per block (one character a second): '1' 3.75 V, '0' 0 V, '=' exactly the 2.5 V trigger level.
class PatternSource : public vusb::SignalSource {
public:
    std::string ch1, ch2;
    int scans_per_block = 10;
    void sample(double, std::uint64_t scan, double volts[32]) override
    {
        const std::uint64_t block = scan / static_cast<std::uint64_t>(scans_per_block);
        for (int c = 0; c < 32; ++c) volts[c] = 0.0;
        volts[0] = level(ch1, block);
        volts[1] = level(ch2, block);
        volts[2] = 0.625;  // exactly 1024 counts
    }
    static double level(const std::string& p, std::uint64_t block)
    {
        if (block >= p.size()) return 0.0;
        return p[block] == '1' ? 3.75 : p[block] == '=' ? 2.5 : 0.0;  // 6144 and 4096 counts
    }
};

class AcqTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        fs::copy(vtest::bin_dir() + "/panels", program.file("panels"), fs::copy_options::recursive);
        for (const char* f : {"qlx4usb.hex", "qlx4hiusb.hex", "cal_read.hex", "default.scenario"})
            fs::copy_file(vtest::bin_dir() + "/" + f, program.file(f));
        vsys::set_project_dir_override(program.path());
        vt_dir = dir.path();
        ASSERT_TRUE(vsys::make_directory(dir.file("SC_DATA")));
        hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir.path()).c_str());
        ASSERT_GT(hdbc, 0);
        check_tables(&hdbc);
        Flags = 0;
        recipe_num = 3;
        current_file_index = -1;
        status_color = STATUS_WHITE;
        for (int* h : {&parent_panel, &handle_menu, &sc_handle, &spc_panel, &list_panel, &compare_panel,
                       &spc_chart_selections, &legend_panel, &realtime_panel})
            *h = -1;
        // Core redraws the legend and rebuilds the menu bar of the main window.
        CoreSeams core;
        core.names = names;
        core.update_menu = update_menu;
        provide_core_seams(std::move(core));
        AcquisitionSeams seams;
        seams.saveAllAndExport = [this](int force) { calls.push_back("saveAllAndExport:" + std::to_string(force)); };
        provide_acquisition_seams(std::move(seams));
        vui::register_callbacks(core_callbacks());
        // The menu bar and the print button name the setup, alarm and report subsystems' callbacks; their seams stay unfilled here.
        vui::register_callbacks(setup_callbacks());
        vui::register_callbacks(testing_callbacks());
        vui::register_callbacks(spc_callbacks());
        vui::register_callbacks(playback_callbacks());
        vui::register_callbacks(reports_callbacks());
        install_acquisition();
        source = std::make_shared<PatternSource>();
        vusb::SimBoardConfig config;
        config.signals = source;
        board = std::make_shared<vusb::SimBoard>(config);
        vusb::set_backend(board);
        VantrelStatus = 1;
        setup_three_channels(10);
        char text[33] = "TOOL_A";
        get_put_char(hdbc, 0, 0, CONFIG_WRITE, text);
        char process[33] = "ETCH";
        get_put_char(hdbc, 1, 3, CONFIG_WRITE, process);
        for (int c = 1; c <= 3; ++c) {
            char name[33];
            std::snprintf(name, sizeof name, "CH%d", c);
            get_put_char(hdbc, 28, c, TAGS_WRITE, name);
        }
        sc_main();
        ASSERT_GT(sc_handle, 0);
        // The tests take each block through the loop themselves, once the board has delivered it.
        SetCtrlAttribute(sc_handle, SCHART_TIMER, ATTR_ENABLED, 0);
    }

    void TearDown() override
    {
        if (acq().active) {
            SetCtrlVal(sc_handle, SCHART_START, 0);
            start_stop(sc_handle, SCHART_START, EVENT_COMMIT, nullptr, 0, 0);
        }
        VantrelKillBufferedAnalogIn();
        close_usb_handle();
        vusb::set_backend(nullptr);
        data_file.reset();
        pPlayback.reset();
        if (hdbc > 0) DBDisconnect(hdbc);
        hdbc = -1;
        provide_core_seams({});
        provide_acquisition_seams({});
        vt_dir.clear();
        vsys::set_project_dir_override("");
    }

    void setup_three_channels(int rate)
    {
        channels = 3;
        VantrelChannelStatusBits = 0x7;
        sample_rate_index = rate;
        sample_rate = rate > 0 ? rate : 1;
        source->scans_per_block = sample_rate;
        for (int c = 0; c <= 32; ++c) {
            channel_type[c] = 0;
            channel_slope[c] = 1.0;
            channel_inter[c] = 0.0;
        }
        trigger = 1;
        trig_type = 0;
        trig_ch = 1;
        trig_2_ch = 0;
        trig_log = 1;
        trig_2_log = 1;
        trig_val = 2.5;
        trig_2_val = 2.5;
        delay = 5;
        minimum_trig_width = 2;
        precoat_minimum = 1000;
    }

    // Presses start; a trigger notice is answered when one is due.
    void start()
    {
        if (trigger > 0) ui.answer(1);
        ASSERT_TRUE(ui.set(sc_handle, SCHART_START, 1));
        // The board's block clock starts when its transfer thread has it running.
        wait_real([this] { return !acq().active || board->stats().running; });
    }
    void stop() { ASSERT_TRUE(ui.set(sc_handle, SCHART_START, 0)); }

    // Polls (in real time, at most `patience` seconds) for what the transfer thread does.
    template <typename Done>
    static bool wait_real(Done done, double patience = 5.0)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(patience);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        return true;
    }

    // One second: the board completes a block and the timer takes it.
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            vsys::advance_clock(1.0);
            wait_real([] { return vboard::block_queue().ready_count() > 0 || VantrelStatus.load() == 200; });
            DaqLoop(sc_handle, SCHART_TIMER, EVENT_TIMER_TICK, nullptr, 0, 0);
        }
    }

    std::string rows(const std::string& sql) { return vtest::flat(vtest::query(hdbc, sql).rows); }
    std::string trace_file(int run, int wafer) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "SC_DATA/%.8d.%.3d", run, wafer);
        return dir.file(name);
    }
    static std::string bytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> popup_titles() const
    {
        std::vector<std::string> t;
        for (const auto& p : ui.popups()) t.push_back(p.title);
        return t;
    }

    vtest::SimulatedClock clock;
    vtest::TempDir program;
    vtest::TempDir dir;
    vui::Headless ui;
    std::shared_ptr<PatternSource> source;
    std::shared_ptr<vusb::SimBoard> board;
    std::vector<std::string> calls;
};

}  // namespace acqtest
