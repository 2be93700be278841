// End to end through libusb: minutes of the default chamber, acquired and tested through the emulated board, store what the simulated board stores.
#include <cstdlib>
#include <filesystem>
#include <map>

#include "panels/s_chart.h"
#include "platform/usb/chamber_model.h"
#include "programs/wiring.h"
#include "tests/acquisition/scenario_schedule.h"
#include "tools/demo_process.h"
#include "tests/usb_emul/emulated_board.h"

namespace {

struct Stored {
    std::string runs;
    std::string alarms;
    std::map<std::string, std::string> traces;  // file name -> bytes
};

// One acquisition of the demo process in a fresh working directory, on the board VANTREL_BOARD names.
class Acquisition : public acqtest::ChamberTest {
public:
    explicit Acquisition(bool libusb) : libusb_(libusb) {}
    using acqtest::ChamberTest::SetUp;
    using acqtest::ChamberTest::TearDown;
    void TestBody() override {}

    void run(int seconds, Stored& out)
    {
        wire_subsystems();
        vdemo::DemoSetup setup;
        std::string error;
        ASSERT_TRUE(vdemo::read_demo_setup(std::string(VANTREL_SOURCE_DIR) + "/sim/default_setup.txt", setup, &error))
            << error;
        ASSERT_TRUE(vdemo::seed_demo_process(setup, &error)) << error;
        ASSERT_TRUE(ui.pick(handle_menu, MENUBAR_CONFIGURE_REAL_TIME_TESTING));  // real-time testing on
        if (libusb_) {
            // The chamber of the default scenario, behind the fake device node, from the same start.
            vusb::Scenario scenario;
            ASSERT_TRUE(vusb::load_scenario(program.file("default.scenario"), scenario).ok);
            vusb::SimBoardConfig config;
            config.signals = std::make_shared<vusb::ChamberModel>(std::move(scenario), vsys::clock_seconds());
            board = std::make_shared<vusb::SimBoard>(config);
            device_ = std::make_unique<vtest::EmulatedBoard>(board, config);
            setenv("VANTREL_BOARD", "libusb", 1);
            const bool installed = install_board();
            unsetenv("VANTREL_BOARD");
            ASSERT_TRUE(installed);
        } else {
            ASSERT_TRUE(install_board());
            board = std::dynamic_pointer_cast<vusb::SimBoard>(vusb::backend());
            ASSERT_NE(board, nullptr);
        }
        start();
        ASSERT_TRUE(acq().active);
        tick(seconds);
        stop();
        out.runs = rows("SELECT RUN_NUM, NUM_WAF, RECIPE, COMPLETE FROM VT_INFO ORDER BY RUN_NUM");
        out.alarms = rows("SELECT RUN, WAFER, CHANNEL, TYPE, SUB_TYPE, INDEX, RULE FROM OOC_ALRM ORDER BY RUN, WAFER");
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("SC_DATA")))
            out.traces[entry.path().filename().string()] = bytes(entry.path().string());
    }

    void finish()
    {
        TearDown();
        device_.reset();
    }

private:
    bool libusb_;
    std::unique_ptr<vtest::EmulatedBoard> device_;
};

void acquire(bool libusb, int seconds, Stored& out)
{
    Acquisition a(libusb);
    a.SetUp();
    if (!::testing::Test::HasFatalFailure()) a.run(seconds, out);
    a.finish();
}

TEST(LibusbAcquisition, MinutesOfTheChamberStoreAndTestWhatTheSimulatedBoardDoes)
{
    if (!vtest::EmulatedBoard::available()) GTEST_SKIP() << "needs LD_PRELOAD=libumockdev-preload.so.0";
    // One anomaly period of the chamber's schedule, so the tested wafers raise alarms.
    const int seconds = 400;
    Stored sim, usb;
    ASSERT_NO_FATAL_FAILURE(acquire(false, seconds, sim));
    ASSERT_NO_FATAL_FAILURE(acquire(true, seconds, usb));
    ASSERT_GE(sim.traces.size(), 3u);
    ASSERT_FALSE(sim.alarms.empty());
    EXPECT_EQ(usb.runs, sim.runs);
    EXPECT_EQ(usb.alarms, sim.alarms);
    ASSERT_EQ(usb.traces.size(), sim.traces.size());
    for (const auto& [name, content] : sim.traces) {
        auto it = usb.traces.find(name);
        ASSERT_NE(it, usb.traces.end()) << name;
        EXPECT_TRUE(it->second == content) << name << ": " << it->second.size() << " bytes, " << content.size()
                                           << " through the simulated board";
    }
}

}  // namespace
