// The acquisition's strip-chart path on the UI thread (scaling a block, plotting it) with the view detached, with the browser server idle, and with a page open.
#include <benchmark/benchmark.h>
#include <civetweb.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/sys/clock.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "platform/web/access.h"
#include "platform/web/server.h"
#include "platform/web/thinning.h"

namespace {

constexpr int kChannels = 32;

// A page that takes every message, counts the bytes and, as a browser's animation frames do, asks for the
// next strip data at most 60 times a second.
class Page {
public:
    explicit Page(int port)
    {
        char error[256] = "";
        conn_ = mg_connect_websocket_client("127.0.0.1", port, 0, error, sizeof error, "/ws", nullptr, &Page::on_data,
                                            nullptr, this);
        if (conn_) frames_ = std::thread([this] {
            static const std::string ask = R"({"op":"frame"})";
            while (!stop_.load()) {
                vsys::sleep_seconds(1.0 / 60);
                if (drawn_.exchange(false))
                    mg_websocket_client_write(conn_, MG_WEBSOCKET_OPCODE_TEXT, ask.data(), ask.size());
            }
        });
    }
    ~Page()
    {
        stop_ = true;
        if (frames_.joinable()) frames_.join();
        if (conn_) mg_close_connection(conn_);
    }
    bool connected() const { return conn_ != nullptr; }
    std::uint64_t bytes() const { return bytes_.load(); }
    std::uint64_t messages() const { return messages_.load(); }

private:
    static int on_data(mg_connection*, int flags, char*, std::size_t size, void* self)
    {
        auto* p = static_cast<Page*>(self);
        if ((flags & 0xF) == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) return 0;
        p->bytes_ += size;
        ++p->messages_;
        if ((flags & 0xF) == MG_WEBSOCKET_OPCODE_BINARY) p->drawn_ = true;
        return 1;
    }
    mg_connection* conn_ = nullptr;
    std::atomic<std::uint64_t> bytes_{0}, messages_{0};
    std::atomic<bool> drawn_{false}, stop_{false};
    std::thread frames_;
};

// Args: scans per block (one second of data), view: 0 detached, 1 server without a page, 2 one page open.
void BM_StripChartPath(benchmark::State& state)
{
    const int scans = static_cast<int>(state.range(0));
    const int view = static_cast<int>(state.range(1));
    vui::reset_ui();
    int panel = NewPanel(0, "Strip", 10, 10, 400, 700);
    DisplayPanel(panel);
    int strip = NewCtrl(panel, CTRL_STRIP_CHART, "", 20, 10);
    SetCtrlAttribute(panel, strip, ATTR_WIDTH, 600);
    SetCtrlAttribute(panel, strip, ATTR_NUM_TRACES, kChannels);
    SetCtrlAttribute(panel, strip, ATTR_POINTS_PER_SCREEN, std::min(10 * scans, 10000));

    std::unique_ptr<vweb::Server> server;
    std::unique_ptr<Page> page;
    if (view >= 1) {
        vweb::Options o;
        o.address = *vweb::parse_listen_address("127.0.0.1:0");
        o.web_root = VANTREL_WEB_DIR;
        std::string error;
        server = vweb::Server::start(o, error);
        if (!server) {
            state.SkipWithError(error.c_str());
            return;
        }
        vui::pump_once();
    }
    if (view == 2) {
        page = std::make_unique<Page>(server->port());
        double until = vsys::clock_seconds() + 5;
        while (vsys::clock_seconds() < until && page->messages() == 0) {
            vui::pump_once();
            vsys::sleep_seconds(0.005);
        }
        if (page->messages() == 0) {
            state.SkipWithError("the page got no snapshot");
            return;
        }
    }

    // Raw counts as the board delivers them, scaled as the acquisition scales them.
    std::vector<std::int16_t> raw(static_cast<std::size_t>(scans) * kChannels);
    for (std::size_t k = 0; k < raw.size(); ++k) raw[k] = static_cast<std::int16_t>((k * 7919) % 8192);
    std::vector<double> slope(kChannels, 2.5 / 4096), inter(kChannels, 0.0);
    std::vector<double> scaled(raw.size());
    std::uint64_t blocks = 0;
    const double started = vsys::clock_seconds();
    for (auto _ : state) {
        for (std::size_t k = 0; k < raw.size(); ++k) {
            const std::size_t c = k % kChannels;
            scaled[k] = raw[k] * slope[c] + inter[c];
        }
        PlotStripChart(panel, strip, scaled.data(), static_cast<int>(scaled.size()), 0, 0, VAL_DOUBLE);
        vui::pump_once();
        ++blocks;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(raw.size()));
    const double seconds = vsys::clock_seconds() - started;
    if (page) {
        vsys::sleep_seconds(0.2);
        state.counters["page_bytes_per_block"] = static_cast<double>(page->bytes()) / static_cast<double>(blocks);
        state.counters["page_bytes_per_s"] = static_cast<double>(page->bytes()) / seconds;
        // What a block cost the page before strip data was paced to its frames: its own thinned frame.
        vui::StripAppend one{panel, strip, 0, 0, kChannels, scaled.data(), scaled.size(), 1};
        const int pps = std::min(10 * scans, 10000);
        state.counters["unpaced_bytes_per_block"] =
            static_cast<double>(vweb::strip_frame(one, vweb::scans_per_column(pps, 600), pps).size());
    }
    page.reset();
    server.reset();
    vui::reset_ui();
}

BENCHMARK(BM_StripChartPath)
    ->ArgNames({"scans_per_block", "view"})
    ->Args({100, 0})->Args({100, 1})->Args({100, 2})
    ->Args({10000, 0})->Args({10000, 1})->Args({10000, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
