// The WebSocket side of a running server: snapshot then changes, thinned strip blocks, and the first acting page as the user.
#include <arpa/inet.h>
#include <civetweb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/sys/clock.h"
#include "platform/sys/confine.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "platform/web/actions.h"
#include "platform/web/server.h"
#include "tests/support/temp_dir.h"

using nlohmann::json;

namespace {

// A page as the browser would be: a WebSocket client that keeps every message.
class Page {
public:
    // `refusable`: the server may turn this page away (connected() then says so).
    explicit Page(int port, bool refusable = false)
    {
        char error[256] = "";
        conn_ = mg_connect_websocket_client("127.0.0.1", port, 0, error, sizeof error, "/ws", nullptr, &Page::on_data,
                                            &Page::on_close, this);
        if (!refusable) {
            EXPECT_NE(conn_, nullptr) << error;
        }
    }
    bool connected() const { return conn_ != nullptr; }
    bool closed_by_server() const { return closed_; }
    ~Page() { close(); }
    void close()
    {
        if (conn_) mg_close_connection(conn_);
        conn_ = nullptr;
    }
    void send(const json& action) { send_text(action.dump()); }
    void send_text(const std::string& text)
    {
        mg_websocket_client_write(conn_, MG_WEBSOCKET_OPCODE_TEXT, text.data(), text.size());
    }
    std::size_t count(const std::string& type)
    {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count_if(got_.begin(), got_.end(), [&](const json& m) { return m["type"] == type; }));
    }
    // The first message of this type that passes `match`, if it came.
    std::optional<json> find(const std::string& type, const std::function<bool(const json&)>& match = nullptr)
    {
        std::lock_guard lock(mutex_);
        for (const auto& m : got_)
            if (m["type"] == type && (!match || match(m))) return m;
        return std::nullopt;
    }

private:
    static int on_data(mg_connection* conn, int flags, char* data, std::size_t size, void* self)
    {
        auto* page = static_cast<Page*>(self);
        // Asked to leave, a browser answers the close and goes.
        if ((flags & 0xF) == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) {
            page->closed_ = true;
            mg_websocket_client_write(conn, MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, "", 0);
            return 0;
        }
        if ((flags & 0xF) == MG_WEBSOCKET_OPCODE_TEXT) {
            std::lock_guard lock(page->mutex_);
            page->got_.push_back(json::parse(data, data + size));
        }
        if ((flags & 0xF) == MG_WEBSOCKET_OPCODE_BINARY) {
            std::lock_guard lock(page->mutex_);
            page->got_.push_back(strip_of_frame(data, size));
        }
        return 1;
    }
    // A binary strip frame read back as the page reads it.
    static json strip_of_frame(const char* data, std::size_t size)
    {
        std::vector<double> f(size / sizeof(double));
        std::memcpy(f.data(), data, f.size() * sizeof(double));
        if (f.size() < 7 || f[0] != 1) return json{{"type", "bad_frame"}};
        std::size_t traces = static_cast<std::size_t>(f[6]);
        if (f.size() < 7 + 2 * traces) return json{{"type", "bad_frame"}};
        json m = {{"type", "strip"}, {"panel", static_cast<int>(f[1])}, {"id", static_cast<int>(f[2])},
                  {"first_scan", static_cast<std::int64_t>(f[3])}, {"end_scan", static_cast<std::int64_t>(f[4])},
                  {"bucket", static_cast<int>(f[5])}, {"traces", json::array()}, {"first_columns", json::array()}};
        std::size_t at = 7 + 2 * traces;
        for (std::size_t t = 0; t < traces; ++t) {
            std::size_t n = static_cast<std::size_t>(f[8 + 2 * t]);
            if (at + n > f.size()) return json{{"type", "bad_frame"}};
            m["first_columns"].push_back(static_cast<std::int64_t>(f[7 + 2 * t]));
            m["traces"].push_back(std::vector<double>(f.begin() + static_cast<std::ptrdiff_t>(at), f.begin() + static_cast<std::ptrdiff_t>(at + n)));
            at += n;
        }
        if (at != f.size()) return json{{"type", "bad_frame"}};
        m["first_column"] = m["first_columns"].empty() ? json(0) : m["first_columns"][0];
        return m;
    }
    static void on_close(const mg_connection*, void* self) { static_cast<Page*>(self)->closed_ = true; }

    mg_connection* conn_ = nullptr;
    std::atomic<bool> closed_{false};
    std::mutex mutex_;
    std::vector<json> got_;
};

// The status of GET / on a fresh connection; 0 when no answer came within five seconds.
int front_page_status(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int status = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string req = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
        char head[64] = "";
        if (::recv(fd, head, sizeof head - 1, 0) > 12) status = std::atoi(head + 9);
    }
    ::close(fd);
    return status;
}

// Generous: the bound only ends a test that has failed; a loaded machine may take its time.
constexpr double kPatience = 60.0;

// Runs the UI loop until `done` holds (false after kPatience seconds of real time).
bool pump_until(const std::function<bool()>& done)
{
    double until = vsys::clock_seconds() + kPatience;
    while (vsys::clock_seconds() < until) {
        vui::pump_once();
        if (done()) return true;
        vsys::sleep_seconds(0.005);
    }
    return done();
}

// On a page's own thread: polls `found` (an optional message) until it holds one, or gives up after kPatience.
template <typename Found>
auto wait_for(Found found)
{
    const double until = vsys::clock_seconds() + kPatience;
    auto m = found();
    while (!m && vsys::clock_seconds() < until) {
        vsys::sleep_seconds(0.01);
        m = found();
    }
    return m;
}

class MirrorTest : public ::testing::Test {
protected:
    MirrorTest()
    {
        vui::reset_ui();
        web.write("index.html", "<!doctype html>");
        panel = NewPanel(0, "Main", 10, 10, 400, 600);
        DisplayPanel(panel);
        button = NewCtrl(panel, CTRL_COMMAND_BUTTON, "Go", 10, 10);
        InstallCtrlCallback(panel, button, [this](int, int, int event, void*, int, int) {
            commits += event == EVENT_COMMIT;
            return 0;
        }, nullptr);
        strip = NewCtrl(panel, CTRL_STRIP_CHART, "Trace", 100, 10);
        SetCtrlAttribute(panel, strip, ATTR_WIDTH, 100);
        SetCtrlAttribute(panel, strip, ATTR_NUM_TRACES, 2);
        SetCtrlAttribute(panel, strip, ATTR_POINTS_PER_SCREEN, 1000);
        vweb::Options o;
        o.address = *vweb::parse_listen_address("127.0.0.1:0");
        o.web_root = web.path();
        std::string error;
        server = vweb::Server::start(o, error);
        EXPECT_TRUE(server) << error;
        vui::pump_once();  // the server joins the change stream
    }
    ~MirrorTest() override
    {
        server.reset();
        vui::reset_ui();
    }

    vtest::TempDir web;
    int panel = 0, button = 0, strip = 0, commits = 0;
    std::unique_ptr<vweb::Server> server;
};

TEST_F(MirrorTest, APageGetsTheSnapshotThenTheChanges)
{
    Page page(server->port());
    ASSERT_TRUE(pump_until([&] { return page.find("snapshot").has_value(); }));
    json snap = *page.find("snapshot");
    ASSERT_EQ(snap["panels"].size(), 1u);
    EXPECT_EQ(snap["panels"][0]["attributes"][std::to_string(ATTR_TITLE)], "Main");

    SetCtrlAttribute(panel, button, ATTR_LABEL_TEXT, "Stop");
    EXPECT_TRUE(pump_until([&] {
        return page.find("ctrl", [&](const json& m) {
            return m["ctrl"]["id"] == button && m["ctrl"]["attributes"][std::to_string(ATTR_LABEL_TEXT)] == "Stop";
        }).has_value();
    }));

    // 2,000 scans of 2 traces on a 100-pixel chart of 1,000 points: the last 1,000 scans in 100 columns.
    std::vector<double> block(4000);
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = k % 2 ? -static_cast<double>(k / 2) : static_cast<double>(k / 2);
    PlotStripChart(panel, strip, block.data(), 4000, 0, 0, VAL_DOUBLE);
    ASSERT_TRUE(pump_until([&] { return page.find("strip").has_value(); }));
    json s = *page.find("strip");
    EXPECT_EQ(s["bucket"], 10);
    EXPECT_EQ(s["first_column"], 100);
    EXPECT_EQ(s["end_scan"], 2000);
    ASSERT_EQ(s["traces"].size(), 2u);
    ASSERT_EQ(s["traces"][0].size(), 200u);
    EXPECT_EQ(s["traces"][0][0], 1000);   // min of scans 1000..1009
    EXPECT_EQ(s["traces"][0][1], 1009);   // max
    EXPECT_EQ(s["traces"][1][198], -1999);
    EXPECT_EQ(s["first_columns"], json::array({100, 100}));
    EXPECT_EQ(page.count("bad_frame"), 0u);
}

// Strip data waits while the page draws: blocks that come between two frames go out merged, at most a screen of
// columns, and the page's merge of the frames shows what one frame of everything would.
TEST_F(MirrorTest, StripDataIsPacedToThePagesFrames)
{
    Page page(server->port());
    ASSERT_TRUE(pump_until([&] { return page.find("snapshot").has_value(); }));
    // Scan k of trace 0 is k, of trace 1 is -k; 50 blocks of 100 scans while the page draws its first frame.
    constexpr int kBlocks = 50, kScans = 100;
    for (int b = 0; b < kBlocks; ++b) {
        std::vector<double> block(2 * kScans);
        for (int k = 0; k < kScans; ++k) {
            block[static_cast<std::size_t>(2 * k)] = b * kScans + k;
            block[static_cast<std::size_t>(2 * k + 1)] = -(b * kScans + k);
        }
        PlotStripChart(panel, strip, block.data(), 2 * kScans, 0, 0, VAL_DOUBLE);
        vui::pump_once();
    }
    ASSERT_TRUE(pump_until([&] { return page.count("strip") >= 1; }));

    page.send({{"op", "frame"}});
    ASSERT_TRUE(pump_until([&] { return page.count("strip") >= 2; }));
    // The second frame holds every block that came after the first: the page was sent nothing else.
    int seen = 0;
    auto second = page.find("strip", [&](const json&) { return seen++ == 1; });
    ASSERT_TRUE(second.has_value());
    const json& s = *second;
    // A 100-pixel chart of 1,000 points: columns of 10 scans, the last screen (and a column) of 5,000 scans.
    EXPECT_EQ(s["end_scan"], kBlocks * kScans);
    ASSERT_EQ(s["traces"].size(), 2u);
    EXPECT_LE(s["traces"][0].size(), 2u * 101);
    const std::int64_t first = s["first_columns"][0];
    EXPECT_LE(first, (kBlocks * kScans - 1000) / 10);
    const std::size_t columns = s["traces"][0].size() / 2;
    EXPECT_EQ(first + static_cast<std::int64_t>(columns), kBlocks * kScans / 10);
    for (std::size_t c = 0; c < columns; ++c) {
        const double lo = static_cast<double>((first + static_cast<std::int64_t>(c)) * 10);
        EXPECT_EQ(s["traces"][0][2 * c], lo) << c;
        EXPECT_EQ(s["traces"][0][2 * c + 1], lo + 9) << c;
        EXPECT_EQ(s["traces"][1][2 * c], -(lo + 9)) << c;
    }

    EXPECT_EQ(page.count("strip"), 2u);

    // Asked again with nothing held: a block goes out as soon as the page's ask has arrived.
    page.send({{"op", "frame"}});
    std::vector<double> block(2 * kScans, 1.0);
    EXPECT_TRUE(pump_until([&] {
        PlotStripChart(panel, strip, block.data(), 2 * kScans, 0, 0, VAL_DOUBLE);
        return page.count("strip") >= 3;
    }));
    EXPECT_EQ(page.count("bad_frame"), 0u);
}

TEST_F(MirrorTest, TheFirstPageThatActsIsTheUserUntilItLeaves)
{
    auto first = std::make_unique<Page>(server->port());
    Page second(server->port());
    ASSERT_TRUE(pump_until([&] { return first->find("snapshot") && second.find("snapshot"); }));

    first->send({{"op", "press"}, {"panel", panel}, {"ctrl", button}});
    ASSERT_TRUE(pump_until([&] { return commits == 1; }));
    second.send({{"op", "press"}, {"panel", panel}, {"ctrl", button}});
    ASSERT_TRUE(pump_until([&] { return second.find("role").has_value(); }));
    EXPECT_EQ((*second.find("role"))["user"], false);
    EXPECT_EQ(commits, 1);

    first->close();
    EXPECT_TRUE(pump_until([&] {
        second.send({{"op", "press"}, {"panel", panel}, {"ctrl", button}});
        vui::pump_once();
        return commits >= 2;
    }));
}

TEST_F(MirrorTest, MalformedMessagesChangeNothing)
{
    Page page(server->port());
    ASSERT_TRUE(pump_until([&] { return page.find("snapshot").has_value(); }));
    for (const json& bad : {json{{"op", "press"}, {"panel", "x"}}, json{{"op", "zoom"}, {"panel", panel}, {"ctrl", strip}},
                            json{{"op", "set"}, {"panel", panel}, {"ctrl", button}}, json{{"op", 5}}, json::array()})
        page.send(bad);
    // Without an open file popup nothing is listed.
    page.send({{"op", "list_dir"}, {"dir", web.path()}, {"req", 7}});
    ASSERT_TRUE(pump_until([&] { return page.find("dir_list").has_value(); }));
    json list = *page.find("dir_list");
    EXPECT_EQ(list["req"], 7);
    EXPECT_TRUE(list.contains("error"));
    EXPECT_FALSE(list.contains("entries"));
    EXPECT_EQ(commits, 0);
}

TEST_F(MirrorTest, HostileMessagesAreAnsweredWithAnErrorAndTheProgramGoesOn)
{
    Page page(server->port());
    ASSERT_TRUE(pump_until([&] { return page.find("snapshot").has_value(); }));
    std::string deep = std::string(10000, '[') + std::string(10000, ']');
    std::string p = std::to_string(panel), b = std::to_string(button);
    std::string sprawling = "[{}";
    for (int i = 0; i < 10000; ++i) sprawling += ",{}";
    sprawling += "]";
    const std::string bad[] = {
        R"({"op":"list_dir","dir":5})",
        R"({"op":"list_dir","popup":"yes"})",
        R"({"op":"list_dir","req":"7"})",
        deep,
        R"({"op":"press","panel":)" + p + R"(,"ctrl":)" + b + R"(,"extra":)" + deep + "}",
        R"({"op":"press","panel":)" + p + R"(,"ctrl":)" + b + R"(,"extra":)" + sprawling + "}",
        R"({"op":"press","panel":"x","ctrl":)" + b + "}",
        R"({"op":"press","panel":)" + p + "}",
        R"({"op":"press","panel":1e400,"ctrl":)" + b + "}",
        R"({"op":"press","panel":3000000000,"ctrl":)" + b + "}",
        R"({"op":"press","panel":)" + p + R"(,"ctrl":-1e300})",
        R"({"op":"click","panel":)" + p + R"(,"ctrl":)" + b + R"(,"x":"1"})",
        R"({"op":"set","panel":)" + p + R"(,"ctrl":)" + b + R"(,"value":{}})",
        R"({"op":"set","panel":)" + p + R"(,"ctrl":)" + b + R"(,"value":1,"commit":[]})",
        R"({"op":"zoom","panel":)" + p + R"(,"ctrl":)" + b + R"(,"xmin":0,"xmax":1e999,"ymin":0,"ymax":1})",
        R"({"op":"answer","popup":1,"response":7})",
        R"({"op":"menu","menubar":1})",
        R"({"op":"launch","panel":1})",
        R"({"op":5})",
        R"({"op":"press","panel":)",
        "[]",
        "\"press\"",
    };
    for (const auto& text : bad) page.send_text(text);
    EXPECT_TRUE(pump_until([&] { return page.count("error") == std::size(bad); })) << page.count("error");
    // Well formed, but naming the panel itself or nothing where a control is meant: refused.
    for (const json& nothing : {json{{"op", "press"}, {"panel", panel}, {"ctrl", 0}},
                                json{{"op", "set"}, {"panel", panel}, {"ctrl", 0}, {"value", 1}},
                                json{{"op", "select"}, {"panel", panel}, {"ctrl", 0}, {"index", 0}},
                                json{{"op", "check"}, {"panel", panel}, {"ctrl", 0}, {"index", 0}},
                                json{{"op", "cursor"}, {"panel", panel}, {"ctrl", 0}, {"x", 1}, {"y", 1}},
                                json{{"op", "zoom"}, {"panel", panel}, {"ctrl", 0}, {"xmin", 0}, {"xmax", 1}, {"ymin", 0}, {"ymax", 1}},
                                json{{"op", "press"}, {"panel", panel}, {"ctrl", 999}},
                                json{{"op", "press"}, {"panel", -1}, {"ctrl", button}}})
        page.send(nothing);
    // Still serving, and still acting on good messages.
    page.send({{"op", "list_dir"}, {"dir", web.path()}, {"req", 9}});
    page.send({{"op", "press"}, {"panel", panel}, {"ctrl", button}});
    EXPECT_TRUE(pump_until([&] { return page.find("dir_list").has_value() && commits == 1; }));
    EXPECT_EQ((*page.find("dir_list"))["req"], 9);
    EXPECT_EQ(commits, 1);
}

TEST_F(MirrorTest, OpenPagesLeaveRoomForANewPageAndNeverSendTheOperatorAway)
{
    auto operating = std::make_unique<Page>(server->port());
    ASSERT_TRUE(pump_until([&] { return operating->find("snapshot").has_value(); }));
    operating->send({{"op", "press"}, {"panel", panel}, {"ctrl", button}});
    ASSERT_TRUE(pump_until([&] { return commits == 1; }));

    // As many watching pages as one address may keep open.
    std::vector<std::unique_ptr<Page>> watching;
    for (int i = 1; i < 16; ++i) watching.push_back(std::make_unique<Page>(server->port()));
    ASSERT_TRUE(pump_until([&] {
        return std::all_of(watching.begin(), watching.end(), [](auto& p) { return p->find("snapshot").has_value(); });
    }));
    ASSERT_EQ(front_page_status(server->port()), 200);

    // One more page is turned away at first, but gets in when it tries again, as pages do.
    std::unique_ptr<Page> newcomer;
    const double until = vsys::clock_seconds() + kPatience;
    while (!(newcomer && newcomer->connected()) && vsys::clock_seconds() < until) {
        newcomer = std::make_unique<Page>(server->port(), true);
        if (!newcomer->connected()) vsys::sleep_seconds(0.1);
    }
    ASSERT_TRUE(newcomer->connected());
    EXPECT_TRUE(pump_until([&] { return newcomer->find("snapshot").has_value(); }));
    EXPECT_TRUE(watching.front()->closed_by_server());  // the oldest watcher made room
    EXPECT_FALSE(operating->closed_by_server());
    operating->send({{"op", "press"}, {"panel", panel}, {"ctrl", button}});
    EXPECT_TRUE(pump_until([&] { return commits == 2; }));
    server.reset();  // the pages are told to close and go at once
}

// A file popup over a working directory with a Setup folder: what the page may list and what the program gets.
class FilePopupTest : public ::testing::Test {
protected:
    FilePopupTest()
    {
        vui::reset_ui();
        web.write("index.html", "<!doctype html>");
        std::filesystem::create_directories(work.path() + "/Setup/inner");
        work.write("Setup/ETCH.Vantrel", "x");
        work.write("Setup/notes.txt", "x");
        work.write("RECIPE.DBF", "x");
        vweb::Options o;
        o.address = *vweb::parse_listen_address("127.0.0.1:0");
        o.web_root = web.path();
        o.document_roots = {work.path()};
        std::string error;
        server = vweb::Server::start(o, error);
        EXPECT_TRUE(server) << error;
        vui::pump_once();
    }
    ~FilePopupTest() override
    {
        server.reset();
        vui::reset_ui();
    }

    // Shows a popup (`show` returns its result) while `page_side` plays the page on its own thread, as the user.
    int with_page(const std::function<int()>& show, const std::function<void(Page&, int popup)>& page_side)
    {
        Page page(server->port());
        EXPECT_TRUE(pump_until([&] { return page.find("snapshot").has_value(); }));
        std::thread user([&] {
            const auto shown = wait_for([&] { return page.find("popup"); });
            if (!shown) {
                // Nothing came: end the popup's loop rather than hang (the test then fails on its result).
                vui::post_task([] { QuitUserInterface(0); });
                return;
            }
            page_side(page, (*shown)["popup"]["id"].get<int>());
        });
        const int r = show();
        user.join();
        return r;
    }

    // A file popup while `page_side` plays the page.
    int run(const std::string& dir, const char* spec, int restrict_dir, int restrict_ext, std::string& chosen,
            const std::function<void(Page&, int popup)>& page_side)
    {
        return with_page(
            [&] {
                return FileSelectPopup(dir.c_str(), spec, "*.Vantrel", "Please Select Setup to Delete...",
                                       VAL_SELECT_BUTTON, restrict_dir, restrict_ext, 1, 0, &chosen);
            },
            page_side);
    }

    // A directory popup (new folders allowed or not) while `page_side` plays the page.
    int run_dir(const std::string& dir, int allow_make, std::string& chosen,
                const std::function<void(Page&, int popup)>& page_side)
    {
        return with_page(
            [&] { return DirSelectPopup(dir.c_str(), "Please select a location for the data.", 1, allow_make, &chosen); },
            page_side);
    }

    // Sends a request and waits for the listing that answers it.
    static json request(Page& page, const json& message, int req)
    {
        page.send(message);
        return wait_for([&] { return page.find("dir_list", [&](const json& j) { return j["req"] == req; }); })
            .value_or(json());
    }

    // Asks for a new folder and waits for the answer.
    static json make(Page& page, int popup, const std::string& dir, const std::string& name, int req)
    {
        return request(page, {{"op", "make_dir"}, {"popup", popup}, {"dir", dir}, {"name", name}, {"req", req}}, req);
    }

    // Asks for a listing and waits for its answer.
    static json listing(Page& page, int popup, const std::string& dir, int req)
    {
        return request(page, {{"op", "list_dir"}, {"popup", popup}, {"dir", dir}, {"req", req}}, req);
    }

    static std::vector<std::string> names(const json& list)
    {
        std::vector<std::string> out;
        for (const auto& e : list.value("entries", json::array())) out.push_back(e["name"]);
        return out;
    }

    vtest::TempDir web;
    vtest::TempDir work{true};  // the working directory: typed paths lead only there and to the program directory
    std::unique_ptr<vweb::Server> server;
};

TEST_F(FilePopupTest, ARestrictedPopupListsAndAcceptsOnlyItsFolderAndExtension)
{
    const std::string setup = work.path() + "/Setup";
    json inside, asked_up, asked_root, refused;
    std::string chosen;
    int r = run(setup, "", 1, 1, chosen, [&](Page& page, int popup) {
        inside = listing(page, popup, setup, 1);
        asked_up = listing(page, popup, work.path(), 2);
        asked_root = listing(page, popup, "/", 3);
        // Answers the page may not give: a table beside the folder, another extension. The popup stays and says why.
        for (const std::string& bad : {work.path() + "/RECIPE.DBF", setup + "/notes.txt", setup + "/../RECIPE.DBF"}) {
            page.send({{"op", "answer"}, {"popup", popup}, {"button", 1}, {"response", bad}});
            wait_for([&] { return page.find("popup_refused"); });
        }
        refused = page.find("popup_refused").value_or(json());
        page.send({{"op", "answer"}, {"popup", popup}, {"button", 0}, {"cancelled", true}});
    });
    EXPECT_EQ(names(inside), std::vector<std::string>{"ETCH.Vantrel"});
    EXPECT_EQ(inside["parent"], "");
    // Asked for another folder, it still shows only its own.
    EXPECT_EQ(names(asked_up), std::vector<std::string>{"ETCH.Vantrel"});
    EXPECT_EQ(names(asked_root), std::vector<std::string>{"ETCH.Vantrel"});
    EXPECT_EQ(refused.value("text", std::string()), "Choose a file in " + setup + " of type *.Vantrel.");
    EXPECT_EQ(r, VAL_NO_FILE_SELECTED);
    EXPECT_TRUE(chosen.empty());

    r = run(setup, "", 1, 1, chosen, [&](Page& page, int popup) {
        page.send({{"op", "answer"}, {"popup", popup}, {"button", 1}, {"response", "ETCH.Vantrel"}});
    });
    EXPECT_EQ(r, VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(chosen, setup + "/ETCH.Vantrel");
}

TEST_F(FilePopupTest, AnOpenPopupListsOnlyFoldersTheProgramServes)
{
    json home, up, outside;
    std::string chosen;
    int r = run(work.path(), "", 0, 0, chosen, [&](Page& page, int popup) {
        home = listing(page, popup, "", 1);
        up = listing(page, popup, work.path() + "/..", 2);
        outside = listing(page, popup, "/etc", 3);
        page.send({{"op", "answer"}, {"popup", popup}, {"button", 0}, {"cancelled", true}});
    });
    EXPECT_EQ(r, VAL_NO_FILE_SELECTED);
    EXPECT_EQ(names(home), (std::vector<std::string>{"Setup", "RECIPE.DBF"}));
    EXPECT_EQ(home["parent"], "");  // the working directory is the top
    EXPECT_TRUE(up.contains("error"));
    EXPECT_TRUE(outside.contains("error"));
}

TEST_F(FilePopupTest, ADirectoryPopupMakesAPlainNewFolderOnlyWhereItMayListAndOnlyWhenAllowed)
{
    json made, again, refused, outside;
    std::vector<json> bad_names;
    std::string chosen;
    int r = run_dir(work.path(), 1, chosen, [&](Page& page, int popup) {
        made = make(page, popup, work.path(), "Archive 2026", 1);
        again = make(page, popup, work.path(), "Archive 2026", 2);
        int req = 3;
        for (const char* name : {"", "..", ".hidden", "a/b", "..\\x", "tab\tname", " lead"})
            bad_names.push_back(make(page, popup, work.path(), name, req++));
        outside = make(page, popup, "/tmp", "vantrel_never_made", 20);
        page.send({{"op", "answer"}, {"popup", popup}, {"button", 1}, {"response", made.value("dir", std::string())}});
    });
    EXPECT_EQ(r, VAL_DIRECTORY_SELECTED);
    const std::string folder = std::filesystem::canonical(work.path()).string() + "/Archive 2026";
    EXPECT_EQ(made.value("made", std::string()), folder) << made.dump();
    EXPECT_EQ(made["dir"], folder);  // the answer lists the new folder, which the popup then shows
    EXPECT_TRUE(made["entries"].empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(chosen, folder);
    EXPECT_NE(again.value("error", std::string()).find("exists already"), std::string::npos);
    for (const json& b : bad_names) EXPECT_TRUE(b.contains("error")) << b.dump();
    EXPECT_TRUE(outside.contains("error"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/vantrel_never_made"));
    // Folders the program lists are only those it serves: nothing else was made beside the new one.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work.path()), std::filesystem::directory_iterator()), 3);

    // A popup that does not allow new folders makes none.
    r = run_dir(work.path(), 0, chosen, [&](Page& page, int popup) {
        refused = make(page, popup, work.path(), "Other", 1);
        page.send({{"op", "answer"}, {"popup", popup}, {"button", 0}, {"cancelled", true}});
    });
    EXPECT_EQ(r, VAL_NO_DIRECTORY_SELECTED);
    EXPECT_TRUE(refused.contains("error"));
    EXPECT_FALSE(std::filesystem::exists(work.path() + "/Other"));
}

}  // namespace

namespace {

TEST_F(FilePopupTest, ATypedPathLeadsOnlyToTheWorkingProgramAndArchiveDirectories)
{
    vtest::TempDir outside, archive;
    outside.write("secret.txt", "x");
    std::filesystem::create_directory_symlink(outside.path(), work.path() + "/escape");
    vsys::set_archive_reader([&] { return archive.path(); });
    const std::string refusal = "Choose a place in the working, program or archive directory.";
    struct Case {
        const char* label;
        std::string typed;
        bool taken;
    } cases[] = {
        {"a file of another folder", outside.path() + "/report.pdf", false},
        {"a system file", "/etc/passwd", false},
        {"up out of the working directory", "../report.pdf", false},
        {"through a link that leads out", work.path() + "/escape/secret.txt", false},
        {"a new file in the working directory", "report.pdf", true},
        {"a file in the archive directory", archive.path() + "/report.pdf", true},
    };
    for (const auto& c : cases) {
        json refused;
        std::string chosen;
        int r = run(work.path(), "", 0, 0, chosen, [&](Page& page, int popup) {
            page.send({{"op", "answer"}, {"popup", popup}, {"button", 1}, {"response", c.typed}});
            if (c.taken) return;
            refused = wait_for([&] { return page.find("popup_refused"); }).value_or(json());
            page.send({{"op", "answer"}, {"popup", popup}, {"button", 0}, {"cancelled", true}});
        });
        if (c.taken) {
            EXPECT_EQ(r, VAL_NEW_FILE_SELECTED) << c.label;
            EXPECT_EQ(std::filesystem::path(chosen).filename(), "report.pdf") << c.label;
        } else {
            EXPECT_EQ(r, VAL_NO_FILE_SELECTED) << c.label;
            EXPECT_EQ(refused.value("text", std::string()), refusal) << c.label;
        }
    }
    // A folder for a copy of runs: the same bounds.
    json refused;
    std::string chosen;
    int r = run_dir(work.path(), 1, chosen, [&](Page& page, int popup) {
        page.send({{"op", "answer"}, {"popup", popup}, {"button", 1}, {"response", outside.path()}});
        refused = wait_for([&] { return page.find("popup_refused"); }).value_or(json());
        page.send({{"op", "answer"}, {"popup", popup}, {"button", 1}, {"response", archive.path()}});
    });
    EXPECT_EQ(refused.value("text", std::string()), refusal);
    EXPECT_EQ(r, VAL_DIRECTORY_SELECTED);
    EXPECT_EQ(chosen, std::filesystem::canonical(archive.path()).string());
    vsys::set_archive_reader(nullptr);
}

}  // namespace
