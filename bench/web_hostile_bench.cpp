// The browser view's server under hostile clients: memory over huge frames and a flood of actions, and page-load
// time with 400 half-open connections. Prints its figures, never fails.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sys/clock.h"
#include "platform/sys/files.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "platform/web/server.h"
#include "tests/web/raw_client.h"

namespace {

double resident_mb()
{
    std::ifstream statm("/proc/self/statm");
    long long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident * ::sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// The highest resident size so far (VmHWM).
double peak_mb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long long kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            break;
        }
    }
    return static_cast<double>(kb) / 1024;
}

void huge_frames(int port)
{
    double before = resident_mb();
    std::vector<std::unique_ptr<vtest::RawPage>> pages;
    for (int i = 0; i < 3; ++i) {
        pages.push_back(std::make_unique<vtest::RawPage>(port));
        pages.back()->send(vtest::frame_header(0x1, 600ull << 20));
    }
    const std::string chunk(1 << 20, 'x');
    int sent_mb = 0;
    for (auto& p : pages)
        for (int mb = 0; mb < 600 && p->send(chunk); ++mb) ++sent_mb;
    for (auto& p : pages) p->until_ended();
    std::printf("three 600 MB frames at once: %d MB taken before the close, memory %+.1f MB (peak %.1f MB)\n", sent_mb,
                resident_mb() - before, peak_mb());
}

// A million actions, with the UI thread taking them as they come (`busy` false) or busy elsewhere meanwhile.
void flood(int port, int panel, int button, bool busy)
{
    vtest::RawPage page(port);
    double before = resident_mb();
    constexpr int kFlood = 1000000, kBatch = 10000;
    std::string press = vtest::frame(0x1, nlohmann::json{{"op", "press"}, {"panel", panel}, {"ctrl", button}}.dump());
    std::string batch;
    for (int i = 0; i < kBatch; ++i) batch += press;
    for (int sent = 0; sent < kFlood; sent += kBatch) {
        page.send(batch);
        if (!busy) vui::pump_once();
    }
    // Read to the end: a bad message last is answered once the server has read everything before it.
    page.send(vtest::frame(0x1, "[]"));
    int opcode = 0;
    std::string payload;
    while (page.next(opcode, payload) && payload.find("not a JSON object") == std::string::npos) {}
    double during = resident_mb();
    double until = vsys::clock_seconds() + 2;
    while (vsys::clock_seconds() < until) vui::pump_once();
    std::printf("flood of %d actions (UI thread %s): memory %+.1f MB at its height, %+.1f MB once drained (peak %.1f MB)\n",
                kFlood, busy ? "busy" : "taking them", during - before, resident_mb() - before, peak_mb());
}

void page_load(int port)
{
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        std::vector<int> half_open;
        for (int i = 0; i < 400; ++i) {
            int fd = vtest::connect_from(port);
            vtest::send_all(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
            half_open.push_back(fd);
        }
        double start = vsys::clock_seconds();
        for (const char* target : {"/", "/app.js", "/style.css"}) {
            int fd = vtest::connect_from(port);
            vtest::send_all(fd, std::string("GET ") + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
            char buf[4096];
            while (::recv(fd, buf, sizeof buf, 0) > 0) {}
            ::close(fd);
        }
        times.push_back(vsys::clock_seconds() - start);
        for (int fd : half_open) ::close(fd);
    }
    std::sort(times.begin(), times.end());
    std::printf("page load (3 files) with 400 half-open connections: median %.3f s, worst %.3f s\n", times[2],
                times.back());
}

}  // namespace

int main()
{
    int panel = NewPanel(0, "Main", 10, 10, 400, 600);
    int button = NewCtrl(panel, CTRL_COMMAND_BUTTON, "Go", 10, 10);
    DisplayPanel(panel);
    vweb::Options o;
    o.address = *vweb::parse_listen_address("127.0.0.1:0");
    o.web_root = VANTREL_WEB_DIR;
    std::string error;
    auto server = vweb::Server::start(o, error);
    if (!server) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    vui::pump_once();
    std::printf("start: %.1f MB resident\n", resident_mb());
    huge_frames(server->port());
    flood(server->port(), panel, button, false);
    flood(server->port(), panel, button, true);
    page_load(server->port());
    server.reset();
    return 0;
}
