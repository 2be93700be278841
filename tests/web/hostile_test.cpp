// The running server against careless and hostile clients: huge frames, half-open connections, pages that ignore close, floods.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sys/clock.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "platform/web/actions.h"
#include "platform/web/server.h"
#include "tests/support/temp_dir.h"
#include "tests/web/raw_client.h"

using nlohmann::json;

namespace {

constexpr int kText = 0x1, kContinuation = 0x0, kClose = 0x8;
constexpr int kCloseTooBig = 1009;
#ifdef __SANITIZE_ADDRESS__
// The sanitizers' runtime opens pipes to probe memory before it trusts an object's
// type, and its reports and symbolizer need more: with none left it reports sound
// objects as faults. They are left free, so the server can list its sockets there.
constexpr std::size_t kSanitizerDescriptors = 8;
#else
constexpr std::size_t kSanitizerDescriptors = 0;
#endif
// Runs the UI loop until `done` holds; gives up after `seconds` of real time.
bool pump_until(const std::function<bool()>& done, double seconds = 10.0)
{
    double until = vsys::clock_seconds() + seconds;
    while (vsys::clock_seconds() < until) {
        vui::pump_once();
        if (done()) return true;
        vsys::sleep_seconds(0.002);
    }
    return done();
}

class HostileTest : public ::testing::Test {
protected:
    HostileTest()
    {
        vui::reset_ui();
        web.write("index.html", "<!doctype html><title>Vantrel</title>");
        web.write("app.js", "export {};");
        panel = NewPanel(0, "Main", 10, 10, 400, 600);
        DisplayPanel(panel);
        button = NewCtrl(panel, CTRL_COMMAND_BUTTON, "Go", 10, 10);
        InstallCtrlCallback(panel, button, [this](int, int, int event, void*, int, int) {
            commits += event == EVENT_COMMIT;
            return 0;
        }, nullptr);
        vweb::Options o;
        o.address = *vweb::parse_listen_address("127.0.0.1:0");
        o.web_root = web.path();
        o.document_roots = {web.path()};
        std::string error;
        server = vweb::Server::start(o, error);
        EXPECT_TRUE(server) << error;
        vui::pump_once();  // the server joins the change stream
        port = server->port();
    }
    ~HostileTest() override
    {
        server.reset();
        vui::reset_ui();
    }

    // GET of one front-end file on a fresh connection: its status, 0 for no answer.
    int load(const std::string& target)
    {
        int fd = vtest::connect_from(port);
        std::string req = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        char head[64] = "";
        int status = 0;
        if (vtest::send_all(fd, req) && ::recv(fd, head, sizeof head - 1, 0) > 12) status = std::atoi(head + 9);
        ::close(fd);
        return status;
    }

    // Reads whatever has come for the page, without waiting.
    // Reads the frames that have come, whole: bytes taken off mid-frame would leave the next read parsing a payload
    // as a header.
    static void drain(vtest::RawPage& page)
    {
        int opcode = 0;
        std::string payload;
        pollfd p{page.fd(), POLLIN, 0};
        while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) && page.next(opcode, payload)) {}
    }

    // Reads the page's messages until one of type "error" says `until`; how many of them said `counted`.
    static int errors_until(vtest::RawPage& page, const std::string& until, const std::string& counted)
    {
        int opcode = 0, seen = 0;
        std::string payload, last;
        while (last != until && page.next(opcode, payload)) {
            json m = json::parse(payload, nullptr, false);
            if (opcode != kText || !m.is_object() || m.value("type", "") != "error") continue;
            last = m.value("error", "");
            seen += last == counted;
        }
        return last == until ? seen : -1;
    }

    vtest::TempDir web;
    int panel = 0, button = 0, commits = 0, port = 0;
    std::unique_ptr<vweb::Server> server;
};

TEST_F(HostileTest, AFrameOverTheBoundIsRefusedByItsHeaderAndTheConnectionCloses)
{
    struct Case {
        const char* label;
        std::string before;  // whole frames sent first
        int opcode;
        std::uint64_t length;  // only the header of this frame is sent
    } cases[] = {
        {"a 1 GB text frame", "", kText, 1ull << 30},
        {"just over the bound", "", kText, vweb::kMaxMessageBytes + 1},
        {"a 2^63 byte frame", "", kText, 1ull << 63},
        {"a fragment that takes the message past the bound", vtest::frame(kText, std::string(600 << 10, 'x'), false),
         kContinuation, 600 << 10},
    };
    for (const auto& c : cases) {
        vtest::RawPage page(port);
        ASSERT_TRUE(page.accepted()) << c.label;
        ASSERT_TRUE(page.send(c.before + vtest::frame_header(c.opcode, c.length, true))) << c.label;
        EXPECT_EQ(page.until_ended(), kCloseTooBig) << c.label;
    }
    // The server goes on serving.
    EXPECT_EQ(load("/"), 200);
}

TEST_F(HostileTest, APageIsJudgedByItsFramesHeadersEvenWithNoDescriptorLeft)
{
    // Every descriptor taken but two: the page's own end and the server's (and the sanitizers' own).
    std::vector<int> taken;
    for (int fd = 0; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken.push_back(fd);
    ASSERT_GE(taken.size(), 2 + kSanitizerDescriptors);
    for (std::size_t i = 0; i < 2 + kSanitizerDescriptors; ++i) {
        ::close(taken.back());
        taken.pop_back();
    }
    int code = -2;
    bool accepted = false;
    {
        vtest::RawPage page(port);
        accepted = page.accepted();
        if (accepted && page.send(vtest::frame_header(kText, 1ull << 30))) code = page.until_ended();
    }
    for (int fd : taken) ::close(fd);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(code, kCloseTooBig);
    EXPECT_EQ(load("/"), 200);
}

TEST_F(HostileTest, HugeFramesAtOnceAreRefusedBeforeTheirPayload)
{
    std::vector<std::unique_ptr<vtest::RawPage>> pages;
    for (int i = 0; i < 3; ++i) {
        pages.push_back(std::make_unique<vtest::RawPage>(port));
        ASSERT_TRUE(pages.back()->accepted());
        pages.back()->send(vtest::frame_header(kText, 600ull << 20));
    }
    // Each pushes its payload for as long as the server takes it: it stops taking at the header
    // (what the sockets' buffers hold is all that goes).
    constexpr int kPushMb = 64;
    const std::string chunk(1 << 20, 'x');
    for (auto& p : pages) {
        int taken = 0;
        while (taken < kPushMb && p->send(chunk)) ++taken;
        EXPECT_LT(taken, kPushMb);
    }
    for (auto& p : pages) EXPECT_EQ(p->until_ended(), kCloseTooBig);
}

TEST_F(HostileTest, APageLoadIsServedWhileFourHundredHalfOpenConnectionsWait)
{
    struct Case {
        const char* label;
        std::vector<const char*> sources;  // taken in turn
        int bound;                         // unfinished requests the server keeps of them
    } cases[] = {
        {"all from this machine's address", {"127.0.0.1"}, 16},
        {"from two other addresses", {"127.0.0.2", "127.0.0.3"}, 24},
    };
    for (const auto& c : cases) {
        std::vector<int> half_open;
        for (int i = 0; i < 400; ++i) {
            int fd = vtest::connect_from(port, c.sources[static_cast<std::size_t>(i) % c.sources.size()]);
            ASSERT_GE(fd, 0) << c.label;
            vtest::send_all(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
            half_open.push_back(fd);
        }
        EXPECT_EQ(load("/"), 200) << c.label;
        EXPECT_EQ(load("/app.js"), 200) << c.label;
        // Served with no more half-open requests left waiting than the bounds: the
        // server shut the oldest as new ones came, it did not wait for each to time
        // out (it would hold a thread's worth of them still).
        int still_open = 0;
        for (int fd : half_open) still_open += !vtest::ended_now(fd);
        EXPECT_LE(still_open, c.bound) << c.label;
        EXPECT_TRUE(vtest::ended_now(half_open.front())) << c.label;
        for (int fd : half_open) ::close(fd);
    }
}

TEST_F(HostileTest, APageThatIgnoresTheCloseRequestIsDroppedAndANewPageGetsIn)
{
    // As many pages of one address as the server keeps; none answers anything.
    std::vector<std::unique_ptr<vtest::RawPage>> deaf;
    for (int i = 0; i < 16; ++i) {
        deaf.push_back(std::make_unique<vtest::RawPage>(port));
        ASSERT_TRUE(deaf.back()->accepted()) << i;
    }
    std::unique_ptr<vtest::RawPage> newcomer;
    // Refused at first; the oldest is asked to leave, ignores it, and is dropped.
    EXPECT_TRUE(pump_until([&] {
        newcomer = std::make_unique<vtest::RawPage>(port);
        return newcomer->accepted();
    }, 30.0));
    EXPECT_NE(deaf.front()->until_ended(), -1);
}

TEST_F(HostileTest, AskingAPageThatDoesNotReadToLeaveKeepsNoOneWaiting)
{
    const int text = NewCtrl(panel, CTRL_STRING, "Text", 40, 10);
    // As many pages of one address as the server keeps, with small windows, none of them reading.
    std::vector<std::unique_ptr<vtest::RawPage>> deaf;
    for (int i = 0; i < 16; ++i) {
        deaf.push_back(std::make_unique<vtest::RawPage>(port, "127.0.0.1", 4096));
        ASSERT_TRUE(deaf.back()->accepted()) << i;
    }
    ASSERT_TRUE(pump_until([&] {
        for (auto& d : deaf) {
            pollfd p{d->fd(), POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) return false;  // the snapshot has not come yet
        }
        return true;
    }));
    // The oldest fills its socket with answers to bad messages: its writer waits on it.
    std::string flood;
    for (int i = 0; i < (4 << 20); ++i) flood += vtest::frame(kText, "[]");
    vtest::send_while_taken(deaf.front()->fd(), flood, 2000);
    // A newcomer is refused and the oldest asked to leave.
    bool accepted = true;
    std::thread newcomer([&] { accepted = vtest::RawPage(port).accepted(); });
    newcomer.join();
    EXPECT_FALSE(accepted);
    // The UI thread's next change for the pages goes on while the oldest page's close waits on its socket.
    SetCtrlVal(panel, text, "after");
    vui::pump_once();
    // The oldest reads now: behind what filled its socket comes the close request, not the end of a dropped page.
    // (Waiting on its socket instead, the close would hold the server and this thread until the page is dropped.)
    bool closed = false;
    int opcode = 0;
    std::string payload;
    while (!closed && deaf.front()->next(opcode, payload)) closed = opcode == kClose;
    EXPECT_TRUE(closed);
}

TEST_F(HostileTest, TheOperatingPagesReloadGetsItsPlaceBackBeforeOtherPages)
{
    auto operating = std::make_unique<vtest::RawPage>(port);
    ASSERT_TRUE(operating->accepted());
    ASSERT_TRUE(operating->send_text(json{{"op", "press"}, {"panel", panel}, {"ctrl", button}}.dump()));
    std::string seat;
    int opcode = 0;
    std::string payload;
    while (seat.empty() && operating->next(opcode, payload)) {
        json m = json::parse(payload, nullptr, false);
        if (opcode == kText && m.is_object() && m.value("type", "") == "seat") seat = m.value("seat", "");
    }
    ASSERT_EQ(seat.size(), 32u);
    // The rest of the address's places taken by pages that never answer.
    std::vector<std::unique_ptr<vtest::RawPage>> others;
    for (int i = 0; i < 15; ++i) {
        others.push_back(std::make_unique<vtest::RawPage>(port));
        ASSERT_TRUE(others.back()->accepted()) << i;
    }
    // The operating page goes (a reload); another page of the address pushes in as soon as it can.
    operating.reset();
    std::unique_ptr<vtest::RawPage> pushing;
    ASSERT_TRUE(pump_until([&] {
        pushing = std::make_unique<vtest::RawPage>(port);
        return pushing->accepted();
    }, 30.0));
    // The reload shows its seat and is in at once; it operates again.
    vtest::RawPage reload(port, "127.0.0.1", 0, "/ws?seat=" + seat);
    ASSERT_TRUE(reload.accepted());
    const int before = commits;
    ASSERT_TRUE(reload.send_text(json{{"op", "press"}, {"panel", panel}, {"ctrl", button}}.dump()));
    EXPECT_TRUE(pump_until([&] { return commits == before + 1; }));
}

TEST_F(HostileTest, AFloodOfActionsIsRefusedBeyondTheQueueWithOneError)
{
    vtest::RawPage page(port);
    ASSERT_TRUE(page.accepted());
    // The UI thread does not run while the flood comes in.
    constexpr int kFlood = 100000, kQueued = 2000;
    std::string press = vtest::frame(kText, json{{"op", "press"}, {"panel", panel}, {"ctrl", button}}.dump());
    std::string all;
    for (int i = 0; i < kFlood; ++i) all += press;
    // A bad message last: its answer comes only after the server has read the whole flood.
    ASSERT_TRUE(page.send(all + vtest::frame(kText, "[]")));
    int opcode = 0, busy = 0;
    std::string payload;
    std::string last;
    while (last != "The message is not a JSON object." && page.next(opcode, payload)) {
        json m = json::parse(payload, nullptr, false);
        if (opcode != kText || m.value("type", "") != "error") continue;
        last = m.value("error", "");
        busy += last == "Too many actions are waiting: the latest were not done.";
    }
    EXPECT_EQ(last, "The message is not a JSON object.");
    EXPECT_EQ(busy, 1);  // said once, however many were refused
    EXPECT_TRUE(pump_until([&] { return commits == kQueued; })) << commits;
    // Once drained, actions are taken again.
    ASSERT_TRUE(page.send(press));
    EXPECT_TRUE(pump_until([&] { return commits == kQueued + 1; })) << commits;
}

TEST_F(HostileTest, LargeMessagesFillTheQueueOfWorkByTheirBytes)
{
    vtest::RawPage page(port);
    ASSERT_TRUE(page.accepted());
    const std::string big(256 << 10, 'x');
    struct Case {
        const char* label;
        json message;
    } cases[] = {
        // A page that only watches lists folders too: its listings wait for the UI thread like actions.
        {"folders listed", {{"op", "list_dir"}, {"popup", 1}, {"dir", big}}},
        {"values set", {{"op", "set"}, {"panel", panel}, {"ctrl", button}, {"value", big}, {"commit", false}}},
    };
    const std::string press = vtest::frame(kText, json{{"op", "press"}, {"panel", panel}, {"ctrl", button}}.dump());
    for (const auto& c : cases) {
        // 100 of them (25 MB) while the UI thread does not run: far fewer than the count the queue holds.
        const std::string one = vtest::frame(kText, c.message.dump());
        std::string all;
        for (int i = 0; i < 100; ++i) all += one;
        ASSERT_TRUE(page.send(all + vtest::frame(kText, "[]"))) << c.label;
        EXPECT_EQ(errors_until(page, "The message is not a JSON object.",
                               "Too many actions are waiting: the latest were not done."),
                  1)
            << c.label;
        // Once drained, actions are taken again.
        const int before = commits;
        ASSERT_TRUE(page.send(press)) << c.label;
        EXPECT_TRUE(pump_until([&] {
            drain(page);
            return commits == before + 1;
        })) << c.label;
    }
}

TEST_F(HostileTest, AWatchingPagesFloodLeavesRoomForTheOperatorsActions)
{
    vtest::RawPage operating(port);
    ASSERT_TRUE(operating.accepted());
    const std::string press = vtest::frame(kText, json{{"op", "press"}, {"panel", panel}, {"ctrl", button}}.dump());
    ASSERT_TRUE(operating.send(press));
    ASSERT_TRUE(pump_until([&] {
        drain(operating);
        return commits == 1;
    }));
    vtest::RawPage watching(port);
    ASSERT_TRUE(watching.accepted());
    const std::string big(256 << 10, 'x');
    const std::string large_press =
        vtest::frame(kText, json{{"op", "press"}, {"panel", panel}, {"ctrl", button}, {"note", big}}.dump());
    struct Case {
        const char* label;
        json message;
        int count;
    } cases[] = {
        {"rows asked for", {{"op", "rows"}, {"panel", panel}, {"ctrl", button}, {"from", 0}, {"to", 50}}, 5000},
        {"folders listed", {{"op", "list_dir"}, {"popup", 1}, {"dir", big}}, 100},
    };
    for (const auto& c : cases) {
        // The whole flood is read while the UI thread does not run: it fills the queue as far as a watcher may.
        const std::string one = vtest::frame(kText, c.message.dump());
        std::string all;
        for (int i = 0; i < c.count; ++i) all += one;
        ASSERT_TRUE(watching.send(all + vtest::frame(kText, "[]"))) << c.label;
        EXPECT_EQ(errors_until(watching, "The message is not a JSON object.",
                               "Too many actions are waiting: the latest were not done."),
                  1)
            << c.label;
        // An action larger than the room a full queue would leave, read (a bad message after it is answered)
        // while the UI thread still does not run: it is not refused.
        const int before = commits;
        ASSERT_TRUE(operating.send(large_press + vtest::frame(kText, "[]"))) << c.label;
        EXPECT_EQ(errors_until(operating, "The message is not a JSON object.",
                               "Too many actions are waiting: the latest were not done."),
                  0)
            << c.label;
        EXPECT_TRUE(pump_until([&] {
            drain(operating);
            drain(watching);
            return commits == before + 1;
        })) << c.label;
    }
}

TEST_F(HostileTest, AtStopAPageIsToldTheProgramEndsBesideAPageThatDoesNotRead)
{
    vtest::RawPage silent(port, "127.0.0.1", 4096), page(port);
    ASSERT_TRUE(silent.accepted());
    ASSERT_TRUE(page.accepted());
    // Both are listed once the page has its snapshot.
    int opcode = 0;
    std::string snapshot;
    ASSERT_TRUE(pump_until([&] {
        pollfd p{page.fd(), POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }));
    ASSERT_TRUE(page.next(opcode, snapshot));
    server.reset();
    constexpr int kGoingAway = 1001;  // the page stops reconnecting
    EXPECT_EQ(page.until_ended(), kGoingAway);
}

TEST_F(HostileTest, APageThatNeverReadsItsAnswersIsNotReadEither)
{
    // A small receive window, never read: every bad message it sends is answered into the server's queue.
    vtest::RawPage page(port, "127.0.0.1", 4096);
    ASSERT_TRUE(page.accepted());
    const std::string bad = vtest::frame(kText, "[]");
    std::string flood;
    for (int i = 0; i < (4 << 20); ++i) flood += bad;  // 32 MB: four million answers
    // The server stops reading once the answers wait: it does not answer on until the page is dropped.
    // (What the sockets' buffers hold is taken all the same.)
    const std::size_t taken = vtest::send_while_taken(page.fd(), flood, 2000);
    EXPECT_LT(taken, flood.size() / 4);
    EXPECT_FALSE(vtest::ended_now(page.fd()));
}

TEST_F(HostileTest, ClientsThatNeverReadADocumentDoNotKeepPagesFromLoading)
{
    web.write("big.dat", std::string(16 << 20, 'x'));
    std::vector<int> readers;
    for (int i = 0; i < 150; ++i) {
        int fd = vtest::connect_from(port, "127.0.0.1", 4096);
        ASSERT_GE(fd, 0) << i;
        vtest::send_all(fd, "GET /doc?path=big.dat HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        readers.push_back(fd);
    }
    EXPECT_EQ(load("/"), 200);
    EXPECT_EQ(load("/app.js"), 200);
    for (int fd : readers) ::close(fd);
}

TEST_F(HostileTest, KeptAliveConnectionsHalfwayThroughTheirNextRequestAreBounded)
{
    std::vector<int> slow;
    for (int i = 0; i < 100; ++i) {
        int fd = vtest::connect_from(port);
        ASSERT_GE(fd, 0) << i;
        // One whole request, answered; then half of the next.
        ASSERT_TRUE(vtest::send_all(fd, "GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) << i;
        std::string got;
        char buf[512];
        ssize_t n = 0;
        while (got.find("export {};") == std::string::npos && (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
            got.append(buf, static_cast<std::size_t>(n));
        ASSERT_NE(got.find("export {};"), std::string::npos) << i;
        vtest::send_all(fd, "GET / HTTP/1.1\r\nHost: 12");
        slow.push_back(fd);
    }
    // Each newcomer shut the oldest beyond the bound of one address; the last one is still within it.
    int still_open = 0;
    for (int fd : slow) still_open += !vtest::ended_now(fd);
    EXPECT_LE(still_open, 16 + 1);
    EXPECT_EQ(load("/"), 200);
    for (int fd : slow) ::close(fd);
}

TEST_F(HostileTest, MoveAndSizeStayInsideTheViewThePageReports)
{
    vtest::RawPage page(port);
    ASSERT_TRUE(page.accepted());
    auto at = [&](int attribute) {
        int v = 0;
        GetPanelAttribute(panel, attribute, &v);
        return v;
    };
    page.send_text(json{{"op", "move"}, {"panel", panel}, {"top", 2000000000}, {"left", 2000000000},
                        {"view_width", 1200}, {"view_height", 800}}.dump());
    ASSERT_TRUE(pump_until([&] { return at(ATTR_LEFT) != 10; }));
    EXPECT_LT(at(ATTR_LEFT), 1200);
    EXPECT_LT(at(ATTR_TOP), 800);
    page.send_text(json{{"op", "move"}, {"panel", panel}, {"top", -2000000000}, {"left", -2000000000}}.dump());
    ASSERT_TRUE(pump_until([&] { return at(ATTR_LEFT) < 1200 - 100; }));
    EXPECT_GE(at(ATTR_LEFT), 0);
    EXPECT_GE(at(ATTR_TOP), 0);
    page.send_text(json{{"op", "size"}, {"panel", panel}, {"height", 2000000000}, {"width", 2000000000},
                        {"view_width", 1200}, {"view_height", 800}}.dump());
    ASSERT_TRUE(pump_until([&] { return at(ATTR_WIDTH) != 600; }));
    EXPECT_LE(at(ATTR_WIDTH), 1200);
    EXPECT_LE(at(ATTR_HEIGHT), 800);
    // A page that claims a vast viewport still cannot throw the window out of every other page's view.
    page.send_text(json{{"op", "move"}, {"panel", panel}, {"top", 2000000000}, {"left", 2000000000},
                        {"view_width", 2000000000}, {"view_height", 2000000000}}.dump());
    ASSERT_TRUE(pump_until([&] { return at(ATTR_LEFT) > 1200; }));
    EXPECT_LE(at(ATTR_LEFT), 8192);
    EXPECT_LE(at(ATTR_TOP), 8192);
}

TEST_F(HostileTest, APanelFileThatFailsToLoadIsNamedOnThePage)
{
    vtest::TempDir panels;
    std::string broken = panels.write("broken.uir", "{\"panels\": [ {\"resource\": 1, ");
    EXPECT_LT(LoadPanel(0, broken.c_str(), 1), 0);  // before any page: in the snapshot
    vtest::RawPage page(port);
    ASSERT_TRUE(page.accepted());
    auto wait_for = [&](const std::string& type) {
        int opcode = 0;
        std::string payload;
        while (page.next(opcode, payload)) {
            json m = json::parse(payload, nullptr, false);
            if (opcode == kText && m.value("type", "") == type) return m;
        }
        return json();
    };
    // The snapshot is made on the UI thread.
    ASSERT_TRUE(pump_until([&] {
        pollfd p{page.fd(), POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }));
    json snapshot = wait_for("snapshot");
    ASSERT_EQ(snapshot["load_errors"].size(), 1u);
    EXPECT_NE(snapshot["load_errors"][0].get<std::string>().find("broken.uir"), std::string::npos);
    // One failing while the page watches comes at once; the program goes on.
    EXPECT_LT(LoadPanel(0, panels.file("missing.uir").c_str(), 1), 0);
    json later = wait_for("load_error");
    EXPECT_NE(later["error"].get<std::string>().find("missing.uir"), std::string::npos);
    EXPECT_GT(NewPanel(0, "Still here", 10, 10, 100, 100), 0);
}

}  // namespace
