// The browser view's server under hostile clients: memory over huge frames, floods of actions and listings and
// pages that never read; page-load time with half-open, kept-alive and never-reading connections; the UI's
// longest turn while a page that does not read is sent away. Prints its figures, never fails.
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <filesystem>
#include <string>
#include <thread>
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

// A fresh page load of three files: seconds, or -1 when one of them did not come.
double load_page(int port)
{
    double start = vsys::clock_seconds();
    for (const char* target : {"/", "/app.js", "/style.css"}) {
        int fd = vtest::connect_from(port);
        vtest::send_all(fd, std::string("GET ") + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        char buf[4096];
        ssize_t n = 0, got = 0;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) got += n;
        ::close(fd);
        if (got == 0) return -1;
    }
    return vsys::clock_seconds() - start;
}

// The median and the worst of page loads, as one line.
void print_loads(const char* after, std::vector<double> times, const char* note = "")
{
    std::sort(times.begin(), times.end());
    std::printf("page load (3 files) %s: median %.3f s, worst %.3f s%s\n", after, times[times.size() / 2],
                times.back(), note);
}

std::vector<double> five_loads(int port)
{
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) times.push_back(load_page(port));
    return times;
}

// Messages sent by a page until the server stops taking them for a second.
void send_until_held(vtest::RawPage& page, const std::string& bytes)
{
    vtest::send_while_taken(page.fd(), bytes, 1000);
}

void flood_of_big_messages(int port, int panel, int button)
{
    const std::string big((1 << 20) - 1024, 'x');  // within the bound of one message
    struct Case {
        const char* label;
        std::string message;
        int count;
    } cases[] = {
        {"600 set actions of 1 MB", nlohmann::json{{"op", "set"}, {"panel", panel}, {"ctrl", button}, {"value", big}}.dump(), 600},
        {"400 listings of a 1 MB folder name", nlohmann::json{{"op", "list_dir"}, {"popup", 1}, {"dir", big}}.dump(), 400},
    };
    for (const auto& c : cases) {
        vtest::RawPage page(port);
        double before = resident_mb();
        const std::string one = vtest::frame(0x1, c.message);
        for (int i = 0; i < c.count; ++i) page.send(one);  // the UI thread is busy meanwhile
        page.send(vtest::frame(0x1, "[]"));
        int opcode = 0;
        std::string payload;
        while (page.next(opcode, payload) && payload.find("not a JSON object") == std::string::npos) {}
        double during = resident_mb();
        double until = vsys::clock_seconds() + 2;
        char sink[65536];
        while (vsys::clock_seconds() < until) {
            vui::pump_once();
            while (::recv(page.fd(), sink, sizeof sink, MSG_DONTWAIT) > 0) {}
        }
        std::printf("%s (UI thread busy): memory %+.1f MB at its height, %+.1f MB once drained (peak %.1f MB)\n",
                    c.label, during - before, resident_mb() - before, peak_mb());
    }
}

void pages_that_never_read(int port)
{
    double before = resident_mb();
    std::vector<std::unique_ptr<vtest::RawPage>> pages;
    std::string bad;
    for (int i = 0; i < (4 << 20); ++i) bad += vtest::frame(0x1, "[]");
    for (int i = 0; i < 8; ++i) {
        pages.push_back(std::make_unique<vtest::RawPage>(port, "127.0.0.1", 4096));
        send_until_held(*pages.back(), bad);
    }
    std::printf("8 pages sending bad messages, never reading: memory %+.1f MB (peak %.1f MB)\n", resident_mb() - before,
                peak_mb());
}

void kept_alive_slow_clients(int port)
{
    std::vector<int> slow;
    for (int i = 0; i < 300; ++i) {
        int fd = vtest::connect_from(port);
        vtest::send_all(fd, "GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        char buf[65536];
        ::recv(fd, buf, sizeof buf, 0);
        vtest::send_all(fd, "GET / HTTP/1.1\r\nHost: 12");
        slow.push_back(fd);
    }
    print_loads("after 300 kept-alive connections halfway through a second request", five_loads(port));
    for (int fd : slow) ::close(fd);
}

void never_reading_documents(int port)
{
    std::vector<int> readers;
    for (int i = 0; i < 150; ++i) {
        int fd = vtest::connect_from(port, "127.0.0.1", 4096);
        vtest::send_all(fd, "GET /doc?path=big.dat HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        readers.push_back(fd);
    }
    print_loads("with 150 clients not reading a 50 MB document", five_loads(port), " (-1: failed)");
    for (int fd : readers) ::close(fd);
}

void eviction_turn(int port, int panel, int text)
{
    std::vector<std::unique_ptr<vtest::RawPage>> deaf;
    for (int i = 0; i < 16; ++i) deaf.push_back(std::make_unique<vtest::RawPage>(port, "127.0.0.1", 4096));
    for (int i = 0; i < 20; ++i) vui::pump_once();
    std::string bad;
    for (int i = 0; i < (4 << 20); ++i) bad += vtest::frame(0x1, "[]");
    send_until_held(*deaf.front(), bad);
    std::thread newcomer([port] { vtest::RawPage p(port); });
    double longest = 0;
    for (int turn = 0; turn < 50; ++turn) {
        SetCtrlVal(panel, text, turn % 2 ? "a" : "b");
        double start = vsys::clock_seconds();
        vui::pump_once();
        longest = std::max(longest, vsys::clock_seconds() - start);
        vsys::sleep_seconds(0.02);
    }
    newcomer.join();
    std::printf("longest UI turn while a page that does not read is asked to leave: %.3f s\n", longest);
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
        times.push_back(load_page(port));
        for (int fd : half_open) ::close(fd);
    }
    print_loads("with 400 half-open connections", times, " (-1: failed)");
}

}  // namespace

int main()
{
    int panel = NewPanel(0, "Main", 10, 10, 400, 600);
    int button = NewCtrl(panel, CTRL_COMMAND_BUTTON, "Go", 10, 10);
    int text = NewCtrl(panel, CTRL_STRING, "Text", 40, 10);
    DisplayPanel(panel);
    char docs_template[] = "/tmp/vantrel-bench-XXXXXX";
    const std::string docs = ::mkdtemp(docs_template) ? docs_template : "/tmp";
    {
        std::ofstream big(docs + "/big.dat", std::ios::binary);
        const std::string mb(1 << 20, 'x');
        for (int i = 0; i < 50; ++i) big << mb;
    }
    vweb::Options o;
    o.address = *vweb::parse_listen_address("127.0.0.1:0");
    o.web_root = VANTREL_WEB_DIR;
    o.document_roots = {docs};
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
    flood_of_big_messages(server->port(), panel, button);
    pages_that_never_read(server->port());
    kept_alive_slow_clients(server->port());
    never_reading_documents(server->port());
    eviction_turn(server->port(), panel, text);
    server.reset();
    std::error_code ec;
    std::filesystem::remove_all(docs, ec);
    return 0;
}
