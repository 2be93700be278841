// Sustained acquisition on the simulated board at the top rate with 32 channels, on a sped-up clock.
#include <benchmark/benchmark.h>

#include <memory>

#include "board/board_api.h"
#include "board/board_setup.h"
#include "platform/sys/clock.h"
#include "platform/sys/files.h"
#include "platform/sys/message_box.h"
#include "platform/usb/chamber_model.h"
#include "platform/usb/sim_board.h"

namespace {

// Args: clock speed-up factor, simulated seconds to run.
void BM_SustainedTopRate(benchmark::State& state)
{
    const double speed = static_cast<double>(state.range(0));
    const double duration = static_cast<double>(state.range(1));
    vsys::set_message_box_handler([](const std::string& caption, const std::string& text) {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    });
    // The scenario and firmware images sit in the build's program directory, not beside the bench.
    vsys::set_project_dir_override(VANTREL_BIN_DIR);
    vusb::Scenario scenario;
    vsys::Result loaded = vusb::load_scenario(vsys::path_join(vsys::project_dir(), "default.scenario"), scenario);
    if (!loaded) {
        state.SkipWithError(loaded.error.c_str());
        return;
    }
    for (auto _ : state) {
        vsys::use_real_clock();
        vsys::set_clock_speed(speed);
        vusb::SimBoardConfig config;
        config.signals = std::make_shared<vusb::ChamberModel>(scenario, vsys::clock_seconds());
        auto board = std::make_shared<vusb::SimBoard>(config);
        vusb::set_backend(board);
        auto& setup = vboard::board_setup();
        setup.channels = 32;
        setup.channel_status_bits = 0xFFFFFFFF;
        setup.sample_rate = 10000;

        std::uint64_t delivered = 0;
        if (VantrelStartBufferedAnalogIn(10000) != 0) {
            state.SkipWithError("buffered input did not start");
            return;
        }
        const double start = vsys::clock_seconds();
        while (vsys::clock_seconds() - start < duration && VantrelStatus.load() == 0) {
            int full = 0;
            while (VantrelCheckBufferedAnalogIn(&full) == 0 && full) {
                void* buffer = nullptr;
                char fill = 0;
                VantrelGetBufferedAnalogInBinary(&buffer, &fill);
                benchmark::DoNotOptimize(buffer);
                ++delivered;
            }
            vsys::sleep_seconds(0.25);
        }
        const double simulated = vsys::clock_seconds() - start;
        const std::uint64_t queue_dropped = vboard::block_queue().dropped();
        VantrelKillBufferedAnalogIn();
        const vusb::SimStats stats = board->stats();
        state.counters["sim_seconds"] = simulated;
        state.counters["blocks_delivered"] = static_cast<double>(delivered);
        state.counters["blocks_dropped_queue"] = static_cast<double>(queue_dropped);
        state.counters["blocks_dropped_board"] = static_cast<double>(stats.blocks_dropped);
        state.counters["transfer_cpu_ms_per_sim_s"] = 1000.0 * vboard::transfer_thread_cpu_seconds() / simulated;
        state.counters["status"] = VantrelStatus.load();
    }
    vusb::set_backend(nullptr);
    vsys::use_real_clock();
}

// A simulated hour at 60 times real time (one minute), and a short run at 10 times.
BENCHMARK(BM_SustainedTopRate)->Args({60, 3600})->Args({10, 120})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
