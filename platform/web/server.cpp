// The civetweb server: HTTP routes, the token, WebSocket clients with their own writer threads, and the model mirror.
#include "platform/web/server.h"

#include <arpa/inet.h>
#include <civetweb.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

#include "platform/sys/confine.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"
#include "platform/ui/view.h"
#include "platform/web/actions.h"
#include "platform/web/connections.h"
#include "platform/web/frames.h"
#include "platform/web/thinning.h"

using nlohmann::json;

namespace vweb {

namespace {

// A page that falls this far behind is dropped; it reconnects and starts from a fresh snapshot.
constexpr std::size_t kMaxQueuedBytes = 8u << 20;
// What all pages may have waiting in all: beyond it, a page holding more than
// its share is dropped at its next message.
constexpr std::size_t kMaxQueuedBytesInAll = 64u << 20;
constexpr std::size_t kQueuedShare = 2u << 20;
// A message waiting costs more than its text: its queue entry, the shared string's block.
constexpr std::size_t kQueuedEntryCost = 128;
// While this much waits for a page, its own messages are not read: a page that
// never reads its answers cannot make the server pile them up.
constexpr std::size_t kReadPauseBytes = 1u << 20;

// Every open page holds one of civetweb's worker threads for as long as it stays.
// Pages are bounded per address and in all, so that the threads beyond them are
// always free for new requests; a request must arrive whole within the timeout.
constexpr int kWorkerThreads = 64;
constexpr int kMaxPages = 32;
constexpr int kMaxPagesPerAddress = 16;
constexpr const char* kRequestTimeoutMs = "3000";
// Connections whose request has not arrived whole: beyond these the oldest is
// shut. With the pages at most 56 threads are held, so 8 always serve requests.
constexpr int kMaxUnfinished = 24;
constexpr int kMaxUnfinishedPerAddress = 16;

// A client that takes nothing of an answer for this long is cut off; answers go out in chunks this size.
constexpr int kSendTimeoutMs = 3000;
constexpr std::size_t kSendChunk = 16 * 1024;

// The operating page's place is kept this long after it goes, for its reload (it shows its seat).
constexpr auto kSeatGrace = std::chrono::seconds(10);

// A page asked to leave that has not gone by then is dropped.
constexpr auto kCloseGrace = std::chrono::seconds(3);
// A page that sends nothing (it pings every minute) for this long is gone.
constexpr auto kPageSilence = std::chrono::seconds(300);
// How often a page's reader looks up from its socket (stop, close deadline).
constexpr int kReadSliceMs = 250;

// Memory held by a burst of queued messages or actions beyond this is given back once they drain.
constexpr std::size_t kTrimAfterBytes = 1u << 20;
constexpr int kTrimAfterActions = 64;

std::int64_t steady_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Actions waiting for the UI thread, from all pages: beyond these (in number or
// in the bytes of their messages) a page's action is refused, so a flood cannot pile up memory.
constexpr int kMaxPendingActions = 2000;
constexpr std::size_t kMaxPendingActionBytes = 8u << 20;
// Pages that do not operate (their folder listings and rows) may fill only this part of it:
// the rest is kept for the operating page's actions.
constexpr int kWatchersShareDivisor = 2;
// Off this machine, a token must not be guessable in a few tries.
constexpr std::size_t kMinRemoteTokenLength = 16;

struct Client {
    int id = 0;
    mg_connection* conn = nullptr;
    std::string address;  // the other end, numeric
    std::atomic<std::size_t>* queued_in_all = nullptr;  // the server's count over every page
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable drained;  // the queue fell below kReadPauseBytes
    std::condition_variable writer_ended;
    bool writing = true;  // until the writer thread ends (guarded by `mutex`)
    struct Outgoing {
        std::shared_ptr<const std::string> data;
        bool binary = false;  // strip frames; everything else is JSON text
    };
    std::deque<Outgoing> out;
    std::size_t queued_bytes = 0;
    bool closing = false;
    bool overflow = false;
    bool leave_asked = false;
    bool going_away = false;  // the program ends: the close request says so (code 1001)
    // When the page was asked to leave, the time (steady clock, ms) it must be gone by; 0 while it may stay.
    std::atomic<std::int64_t> leave_by_ms{0};
    std::size_t peak_bytes = 0;  // queued at most since the queue was last empty
    std::uint64_t told_busy = ~0ull;  // the drain after which the page was last told its actions are refused
    bool ready = false;  // the snapshot is queued: changes follow it (guarded by the hub's mutex)
    std::thread writer;
    // Strip data waits here while the page draws its last frame (guarded by `mutex`).
    StripPacer pacer;
    bool frame_wanted = true;

    // A thinned strip block: sent at once when the page asked for a frame, else held with what waits.
    void offer_strip(int panel, int ctrl, std::int64_t first_scan, std::int64_t end_scan, int bucket, std::int64_t keep,
                     const std::vector<ThinnedTrace>& traces)
    {
        std::vector<std::string> frames;
        {
            std::lock_guard lock(mutex);
            pacer.add(panel, ctrl, first_scan, end_scan, bucket, keep, traces);
            if (!frame_wanted) return;
            frames = pacer.take();
            frame_wanted = false;
        }
        for (auto& f : frames) push(std::make_shared<const std::string>(std::move(f)), true);
    }

    // The page drew a frame: what waits goes out now, else the next block does.
    void frame_drawn()
    {
        std::vector<std::string> frames;
        {
            std::lock_guard lock(mutex);
            if (pacer.empty()) {
                frame_wanted = true;
                return;
            }
            frames = pacer.take();
        }
        for (auto& f : frames) push(std::make_shared<const std::string>(std::move(f)), true);
    }

    void forget_strips(int panel, int ctrl)
    {
        std::lock_guard lock(mutex);
        pacer.forget(panel, ctrl);
    }

    static std::size_t cost(const std::string& message) { return message.size() + kQueuedEntryCost; }

    // Everything still waiting goes (with `mutex` held).
    void drop_queue()
    {
        if (queued_in_all) *queued_in_all -= queued_bytes;
        queued_bytes = 0;
        out.clear();
        out.shrink_to_fit();
        drained.notify_all();
    }

    void push(std::shared_ptr<const std::string> message, bool binary = false)
    {
        {
            std::lock_guard lock(mutex);
            if (closing || overflow) return;
            const std::size_t c = cost(*message);
            queued_bytes += c;
            std::size_t all = queued_in_all ? (*queued_in_all += c) : queued_bytes;
            if (queued_bytes > kMaxQueuedBytes || (all > kMaxQueuedBytesInAll && queued_bytes > kQueuedShare)) {
                overflow = true;
                drop_queue();
            } else {
                out.push_back({std::move(message), binary});
            }
        }
        wake.notify_one();
    }

    // The page's reader waits here while its answers pile up unread; false: go on reading.
    bool wait_while_backed_up()
    {
        std::unique_lock lock(mutex);
        if (queued_bytes <= kReadPauseBytes || closing || overflow) return false;
        drained.wait_for(lock, std::chrono::milliseconds(kReadSliceMs));
        return true;
    }

    void write_loop()
    {
        struct Ended {
            Client& c;
            ~Ended()
            {
                {
                    std::lock_guard lock(c.mutex);
                    c.writing = false;
                }
                c.writer_ended.notify_all();
            }
        } ended{*this};
        while (true) {
            Outgoing message;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return closing || overflow || leave_asked || !out.empty(); });
                if (closing) {
                    drop_queue();
                    return;
                }
                if (overflow || leave_asked) {
                    closing = true;
                    const bool away = going_away;
                    drop_queue();
                    lock.unlock();
                    start_grace();
                    // Close code 1001 (going away): the program ends, the page stops reconnecting.
                    static const char kGoingAway[] = {'\x03', '\xE9'};
                    mg_websocket_write(conn, MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, away ? kGoingAway : "",
                                       away ? sizeof kGoingAway : 0);
                    return;
                }
                message = std::move(out.front());
                out.pop_front();
                const std::size_t c = cost(*message.data);
                queued_bytes -= c;
                if (queued_in_all) *queued_in_all -= c;
                if (queued_bytes <= kReadPauseBytes) drained.notify_all();
                peak_bytes = std::max(peak_bytes, queued_bytes + c);
                if (out.empty()) {
                    // A burst drained: its memory goes back to the system, not only to the heap.
                    if (peak_bytes > kTrimAfterBytes) malloc_trim(0);
                    peak_bytes = 0;
                    out.shrink_to_fit();
                }
            }
            int opcode = message.binary ? MG_WEBSOCKET_OPCODE_BINARY : MG_WEBSOCKET_OPCODE_TEXT;
            if (mg_websocket_write(conn, opcode, message.data->data(), message.data->size()) <= 0) {
                std::lock_guard lock(mutex);
                closing = true;
                drop_queue();
                return;
            }
        }
    }

    // A close request, sent by the page's writer: the caller never waits on a page that does not
    // read. The page's reader drops the page if it has not gone within the grace.
    void ask_to_leave()
    {
        start_grace();
        {
            std::lock_guard lock(mutex);
            leave_asked = true;
        }
        wake.notify_one();
    }

    // The program ends: the page's writer tells it so, and no one waits on a page that does not read.
    void go_away()
    {
        {
            std::lock_guard lock(mutex);
            leave_asked = true;
            going_away = true;
        }
        wake.notify_one();
    }

    // Waits until the writer has ended (its close request written) or `until`.
    void wait_writer_ended(std::chrono::steady_clock::time_point until)
    {
        std::unique_lock lock(mutex);
        writer_ended.wait_until(lock, until, [&] { return !writing; });
    }

    void start_grace()
    {
        std::int64_t none = 0;
        leave_by_ms.compare_exchange_strong(none, steady_ms() + std::chrono::milliseconds(kCloseGrace).count());
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex);
            closing = true;
        }
        wake.notify_one();
        if (writer.joinable()) writer.join();
        std::lock_guard lock(mutex);
        drop_queue();
    }
};

std::string query_var(const mg_request_info* ri, const char* name)
{
    if (!ri->query_string) return {};
    std::vector<char> buf(std::strlen(ri->query_string) + 1);
    int n = mg_get_var(ri->query_string, std::strlen(ri->query_string), name, buf.data(), buf.size());
    return n >= 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
}

std::string cookie_var(const mg_connection* conn, const char* name)
{
    const char* header = mg_get_header(conn, "Cookie");
    if (!header) return {};
    std::vector<char> buf(std::strlen(header) + 1);
    int n = mg_get_cookie(header, name, buf.data(), buf.size());
    return n >= 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
}

void send_status(mg_connection* conn, int status, const char* reason, const std::string& text)
{
    std::string head = vsys::strprintf(
        "HTTP/1.1 %d %s\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: %zu\r\n"
        "Cache-Control: no-store\r\nConnection: close\r\n\r\n",
        status, reason, text.size());
    mg_write(conn, head.data(), head.size());
    mg_write(conn, text.data(), text.size());
}

// Whether the client takes more within the send timeout.
bool writable_soon(int fd)
{
    pollfd p{fd, POLLOUT, 0};
    int r = 0;
    do r = ::poll(&p, 1, kSendTimeoutMs);
    while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

// `fd`: the connection's socket, when known: a client that takes nothing for the send timeout is cut off.
void send_file(mg_connection* conn, int fd, vsys::FilePtr f, const std::string& path, const std::string& extra_headers)
{
    struct stat st {};
    if (!f || ::fstat(::fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
        send_status(conn, 404, "Not Found", "Not found.\n");
        return;
    }
    std::string head = vsys::strprintf(
        "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %llu\r\nCache-Control: no-store\r\n"
        "X-Content-Type-Options: nosniff\r\n%s\r\n",
        content_type_of(path).c_str(), static_cast<unsigned long long>(st.st_size), extra_headers.c_str());
    mg_write(conn, head.data(), head.size());
    std::vector<char> buf(kSendChunk);
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), f.get())) > 0) {
        if (fd >= 0 && !writable_soon(fd)) {
            ::shutdown(fd, SHUT_RDWR);
            break;
        }
        if (mg_write(conn, buf.data(), n) <= 0) break;
    }
}

// Opens and closes one connection to the listener (on loopback when it listens on every address).
void knock_once(const ListenAddress& address, int port)
{
    bool v6 = address.host.find(':') != std::string::npos;
    int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (v6) {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(static_cast<std::uint16_t>(port));
        if (address.host == "::" || inet_pton(AF_INET6, address.host.c_str(), &a.sin6_addr) != 1) a.sin6_addr = in6addr_loopback;
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        if (address.host == "0.0.0.0" || inet_pton(AF_INET, address.host.c_str(), &a.sin_addr) != 1)
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ::close(fd);
}

}  // namespace

struct Server::State : std::enable_shared_from_this<Server::State> {
    Options options;
    mg_context* ctx = nullptr;
    std::atomic<int> port{0};
    std::atomic<bool> stopping{false};
    ConnectionBounds bounds{kMaxUnfinishedPerAddress, kMaxUnfinished};
    std::atomic<std::size_t> queued_in_all{0};  // waiting for every page's writer
    std::atomic<int> pending_actions{0};
    std::atomic<std::size_t> pending_action_bytes{0};
    std::atomic<int> peak_actions{0};
    std::atomic<std::size_t> peak_action_bytes{0};
    std::atomic<std::uint64_t> drains{0};  // times the pending actions ran out

    std::mutex mutex;
    std::map<int, std::shared_ptr<Client>> clients;
    int next_client = 1;
    int user = 0;  // the page that acts; 0 until one does
    // The operating page's seat: a secret only it was told. When that page goes, its
    // place is kept until `seat_kept_until_ms` for a page that shows the seat (its reload).
    std::string seat;
    std::string seat_address;
    std::int64_t seat_kept_until_ms = 0;

    bool seat_kept() const { return user == 0 && !seat.empty() && steady_ms() < seat_kept_until_ms; }

    // Open WebSocket connections, from the handshake until civetweb closes them
    // (an evicted page counts until it has really gone).
    struct PageSlot {
        std::string address;
        std::uint64_t order = 0;
        int client = 0;  // once ready
        bool evicted = false;
        bool seated = false;  // the operating page come back
    };
    std::map<const mg_connection*, PageSlot> pages;
    std::uint64_t next_order = 0;

    // UI thread only.
    int subscription = 0;
    // Pages whose snapshot is queued: while none, the UI builds no change for us.
    std::atomic<int> ready_pages{0};

    // --- access ---
    bool token_ok(const mg_connection* conn) const
    {
        // On loopback a token may be short: the Host check still keeps other sites' names out.
        if (options.token.empty() || options.address.loopback()) {
            const char* host = mg_get_header(conn, "Host");
            if (!host || !host_is_local_name(host)) return false;
            if (options.token.empty()) return true;
        }
        const mg_request_info* ri = mg_get_request_info(conn);
        return same_token(query_var(ri, "token"), options.token) ||
               same_token(cookie_var(conn, "vantrel_token"), options.token);
    }

    // A page from another site must not drive the program through the visitor's browser.
    static bool same_origin(const mg_connection* conn)
    {
        const char* origin = mg_get_header(conn, "Origin");
        if (!origin) return true;
        const char* host = mg_get_header(conn, "Host");
        if (!host) return false;
        std::string o(origin);
        auto scheme = o.find("://");
        if (scheme == std::string::npos) return false;
        return o.substr(scheme + 3) == host;
    }

    // --- the change stream ---
    // Snapshots go out with their strip charts thinned to the pixel columns.
    static json adapt_strip(int panel, int ctrl, std::int64_t first_scan, const std::vector<std::vector<double>>& values)
    {
        int pps = 100, width = 300;
        GetCtrlAttribute(panel, ctrl, ATTR_POINTS_PER_SCREEN, &pps);
        GetCtrlAttribute(panel, ctrl, ATTR_WIDTH, &width);
        return strip_block_json(first_scan, values, scans_per_column(pps, width), pps);
    }

    static json adapt(const json& m)
    {
        const std::string& type = m["type"].get_ref<const std::string&>();
        if (type == "snapshot") {
            json s = m;
            for (auto& p : s["panels"]) {
                for (auto& c : p["controls"]) {
                    if (!c.contains("trace_points") || c["style"] != CTRL_STRIP_CHART) continue;
                    auto traces = c["trace_points"].get<std::vector<std::vector<double>>>();
                    std::size_t held = traces.empty() ? 0 : traces.front().size();
                    std::int64_t scans = c["graph"]["scans"].get<std::int64_t>();
                    c["strip_data"] = adapt_strip(p["handle"], c["id"], scans - static_cast<std::int64_t>(held), traces);
                    c.erase("trace_points");
                }
            }
            return s;
        }
        return m;
    }

    // A strip block goes out as a binary frame of its min/max columns, thinned from the program's own values.
    void broadcast_strip(const vui::StripAppend& b)
    {
        int pps = 100, width = 300;
        GetCtrlAttribute(b.panel, b.ctrl, ATTR_POINTS_PER_SCREEN, &pps);
        GetCtrlAttribute(b.panel, b.ctrl, ATTR_WIDTH, &width);
        // Thinned once; each page gets it paced to its own frames.
        const int bucket = scans_per_column(pps, width);
        std::int64_t end_scan = 0;
        const auto thin = thin_append(b, bucket, pps, end_scan);
        std::lock_guard lock(mutex);
        for (auto& [id, c] : clients)
            if (c->ready) c->offer_strip(b.panel, b.ctrl, b.first_scan, end_scan, bucket, pps, thin);
    }

    void broadcast(const json& m)
    {
        {
            std::lock_guard lock(mutex);
            bool anyone = false;
            for (auto& [id, c] : clients) anyone = anyone || c->ready;
            if (!anyone) return;  // nobody watches: no thinning, no text
        }
        // Only a snapshot is adapted: every other message is dumped as it is, without a copy.
        const bool whole = m["type"] == "snapshot";
        auto text = std::make_shared<const std::string>(whole ? adapt(m).dump(-1, ' ', false, json::error_handler_t::replace)
                                                              : m.dump(-1, ' ', false, json::error_handler_t::replace));
        // A document opens once, on the user's page (on every page while nobody has acted yet).
        bool only_user = m["type"] == "document";
        std::lock_guard lock(mutex);
        // Strip data held for a chart that is cleared or gone is never sent after it.
        const std::string& type = m["type"].get_ref<const std::string&>();
        if (type == "strip_clear" || type == "ctrl_gone" || type == "panel_gone" || type == "reset") {
            const int panel = type == "reset" ? -1 : m.value(type == "panel_gone" ? "handle" : "panel", -1);
            const int ctrl = type == "strip_clear" || type == "ctrl_gone" ? m.value("id", -1) : -1;
            for (auto& [id, c] : clients) c->forget_strips(panel, ctrl);
        }
        for (auto& [id, c] : clients)
            if (c->ready && (!only_user || user == 0 || user == id)) c->push(text);
    }

    // Without fixed roots: the current directory (the working directory once
    // start-up has settled it) and the program directory, read at each request.
    std::vector<std::string> document_roots() const
    {
        if (!options.document_roots.empty()) return options.document_roots;
        std::error_code ec;
        return {std::filesystem::current_path(ec).string(), vsys::project_dir()};
    }

    // File popups list what a typed path may reach: the archive directory too.
    std::vector<std::string> listing_roots() const
    {
        return options.document_roots.empty() ? vsys::allowed_roots() : options.document_roots;
    }

    void subscribe_on_ui_thread()
    {
        std::weak_ptr<State> weak = weak_from_this();
        vui::post_task([weak] {
            auto self = weak.lock();
            if (!self || self->subscription) return;
            self->subscription = vui::subscribe_view([self](const json& m) { self->broadcast(m); },
                                                     [self](const vui::StripAppend& b) { self->broadcast_strip(b); },
                                                     [self] { return self->ready_pages.load() > 0; });
            // A window that could not be loaded is named on the pages, not only on stderr.
            vui::set_load_error_listener([weak](const std::string& error) {
                if (auto me = weak.lock()) me->broadcast(json{{"type", "load_error"}, {"error", error}});
            });
        });
    }

    void send_snapshot(int client)
    {
        std::weak_ptr<State> weak = weak_from_this();
        vui::post_task([weak, client] {
            auto self = weak.lock();
            if (!self) return;
            json snap = adapt(vui::snapshot());
            snap["load_errors"] = vui::load_errors();
            snap["title"] = self->options.title;
            std::lock_guard lock(self->mutex);
            auto it = self->clients.find(client);
            if (it == self->clients.end()) return;
            it->second->push(std::make_shared<const std::string>(snap.dump(-1, ' ', false, json::error_handler_t::replace)));
            if (!it->second->ready) ++self->ready_pages;
            it->second->ready = true;
        });
    }

    // Listings follow the limits of the open popup that asks, read on the UI thread.
    void list_on_ui_thread(int client, const json& m, std::size_t bytes)
    {
        int popup = m.contains("popup") && m["popup"].is_number_integer() ? m["popup"].get<int>() : 0;
        std::string dir = m.contains("dir") && m["dir"].is_string() ? m["dir"].get<std::string>() : std::string();
        int req = m.contains("req") && m["req"].is_number_integer() ? m["req"].get<int>() : 0;
        std::weak_ptr<State> weak = weak_from_this();
        vui::post_task([weak, client, popup, dir = std::move(dir), req, bytes] {
            auto self = weak.lock();
            if (!self) return;
            auto limits = vui::file_popup_limits(popup);
            json r = limits ? list_directory(dir, *limits, self->listing_roots())
                            : json{{"dir", dir}, {"error", "No file dialog is open."}};
            r["type"] = "dir_list";
            r["req"] = req;
            {
                std::lock_guard lock(self->mutex);
                auto it = self->clients.find(client);
                if (it != self->clients.end()) self->reply(*it->second, r);
            }
            self->action_done(bytes);
        });
    }

    // A new folder for the open popup that asks, made on the UI thread while that popup is open.
    void make_dir_on_ui_thread(int client, const json& m, std::size_t bytes)
    {
        int popup = m["popup"].get<int>();
        std::string dir = m.contains("dir") && m["dir"].is_string() ? m["dir"].get<std::string>() : std::string();
        std::string name = m["name"].get<std::string>();
        int req = m.contains("req") && m["req"].is_number_integer() ? m["req"].get<int>() : 0;
        std::weak_ptr<State> weak = weak_from_this();
        vui::post_task([weak, client, popup, dir = std::move(dir), name = std::move(name), req, bytes] {
            auto self = weak.lock();
            if (!self) return;
            auto limits = vui::file_popup_limits(popup);
            json r = limits ? make_directory(dir, name, *limits, self->listing_roots())
                            : json{{"dir", dir}, {"error", "No file dialog is open."}};
            r["type"] = "dir_list";
            r["req"] = req;
            {
                std::lock_guard lock(self->mutex);
                auto it = self->clients.find(client);
                if (it != self->clients.end()) self->reply(*it->second, r);
            }
            self->action_done(bytes);
        });
    }

    // Rows of a long list for the page that shows them, read on the UI thread after the changes before them.
    // Rows of a long list the page scrolled to; counted with the actions, so a flood of requests is bounded too.
    void rows_on_ui_thread(int client, const json& m, std::size_t bytes)
    {
        const int panel = m["panel"].get<int>(), ctrl = m["ctrl"].get<int>();
        const std::size_t from = static_cast<std::size_t>(std::max(0, m["from"].get<int>()));
        const std::size_t to = static_cast<std::size_t>(std::max(0, m["to"].get<int>()));
        std::weak_ptr<State> weak = weak_from_this();
        vui::post_task([weak, client, panel, ctrl, from, to, bytes] {
            auto self = weak.lock();
            if (!self) return;
            self->action_done(bytes);
            json r = vui::list_rows(panel, ctrl, from, to);
            if (r.is_null()) return;
            std::lock_guard lock(self->mutex);
            auto it = self->clients.find(client);
            if (it != self->clients.end() && it->second->ready) self->reply(*it->second, r);
        });
    }

    void reply(Client& c, const json& m) { c.push(std::make_shared<const std::string>(m.dump(-1, ' ', false, json::error_handler_t::replace))); }

    void on_message(Client& c, const char* data, std::size_t size)
    {
        // A page's message is checked whole before anything acts on it: a bad one is answered, never fatal.
        std::string error;
        std::optional<json> read = read_message(std::string_view(data, size), error);
        if (!read) {
            reply(c, {{"type", "error"}, {"error", error}});
            return;
        }
        json& m = *read;
        std::string op = m["op"];
        if (op == "frame") {
            c.frame_drawn();
            return;
        }
        if (op == "list_dir") {
            if (take_queue_place(c, size, operates(c))) list_on_ui_thread(c.id, m, size);
            return;
        }
        if (op == "rows") {
            if (take_queue_place(c, size, operates(c))) rows_on_ui_thread(c.id, m, size);
            return;
        }
        if (op != "make_dir" && !is_action(op)) return;  // "ping" and the like only keep the connection alive
        {
            // Acting (a new folder included, it changes the disk) is for the page that operates the program.
            std::lock_guard lock(mutex);
            if (user == 0) {
                user = c.id;
                seat = new_seat();
                seat_kept_until_ms = 0;
                reply(c, {{"type", "seat"}, {"seat", seat}});
            }
            if (user != c.id) {
                reply(c, {{"type", "role"}, {"user", false}});
                return;
            }
        }
        if (!take_queue_place(c, size, true)) return;
        if (op == "make_dir") {
            make_dir_on_ui_thread(c.id, m, size);
            return;
        }
        std::weak_ptr<State> weak = weak_from_this();
        vui::post_task([weak, m = std::move(m), size] {
            apply_action(m);
            if (auto self = weak.lock()) self->action_done(size);
        });
    }

    bool operates(const Client& c)
    {
        std::lock_guard lock(mutex);
        return user == c.id;
    }

    // A place in the queue of work for the UI thread for a message of `bytes`; false
    // (and the page told, once until the queue drains) when the queue is full, or
    // for a page that does not operate, when the watchers' part of it is.
    bool take_queue_place(Client& c, std::size_t bytes, bool operating)
    {
        const int divisor = operating ? 1 : kWatchersShareDivisor;
        int waiting = ++pending_actions;
        std::size_t held = pending_action_bytes += bytes;
        if (waiting > kMaxPendingActions / divisor || held > kMaxPendingActionBytes / divisor) {
            --pending_actions;
            pending_action_bytes -= bytes;
            // Said once until the queue has drained: a reply to each refused action would pile up instead.
            std::uint64_t drain = drains.load();
            if (std::exchange(c.told_busy, drain) != drain)
                reply(c, {{"type", "error"}, {"error", "Too many actions are waiting: the latest were not done."}});
            return false;
        }
        int peak = peak_actions.load();
        while (waiting > peak && !peak_actions.compare_exchange_weak(peak, waiting)) {}
        std::size_t peak_bytes = peak_action_bytes.load();
        while (held > peak_bytes && !peak_action_bytes.compare_exchange_weak(peak_bytes, held)) {}
        return true;
    }

    // UI thread. After a flood the queue's memory goes back to the system once it has drained.
    void action_done(std::size_t bytes)
    {
        pending_action_bytes -= bytes;
        if (--pending_actions > 0) return;
        ++drains;
        bool many = peak_actions.exchange(0) > kTrimAfterActions;
        if (peak_action_bytes.exchange(0) > kTrimAfterBytes || many) malloc_trim(0);
    }

    // --- civetweb callbacks ---
    static int http_handler(mg_connection* conn, void* data)
    {
        auto* self = static_cast<State*>(data);
        const mg_request_info* ri = mg_get_request_info(conn);
        if (!self->token_ok(conn)) {
            send_status(conn, 403, "Forbidden", "An access token is required.\n");
            return 403;
        }
        std::string uri = ri->local_uri ? ri->local_uri : "/";
        if (std::strcmp(ri->request_method, "GET") != 0 && std::strcmp(ri->request_method, "HEAD") != 0) {
            send_status(conn, 405, "Method Not Allowed", "Read only.\n");
            return 405;
        }
        if (uri == "/doc") {
            const auto roots = self->document_roots();
            auto file = confined_file(query_var(ri, "path"), roots);
            if (!file) {
                send_status(conn, 403, "Forbidden", "This file cannot be opened here.\n");
                return 403;
            }
            // Documents are shown, never run as part of this site.
            self->send_counted(conn, *file, roots, "Content-Security-Policy: sandbox\r\n");
            return 200;
        }
        std::string extra;
        if (uri == "/") {
            uri = "/index.html";
            if (!self->options.token.empty() && same_token(query_var(ri, "token"), self->options.token))
                extra = "Set-Cookie: vantrel_token=" + self->options.token + "; Path=/; HttpOnly; SameSite=Strict\r\n";
        }
        auto file = confined_file(uri.substr(1), {self->options.web_root});
        if (!file) {
            send_status(conn, 404, "Not Found", "Not found.\n");
            return 404;
        }
        self->send_counted(conn, *file, {self->options.web_root}, extra);
        return 200;
    }

    // A file sent while its connection counts against the bounds, cut off when the client stops taking it.
    // The file is opened through the folders it was checked in, not by its path again.
    void send_counted(mg_connection* conn, const std::string& path, const std::vector<std::string>& roots,
                      const std::string& extra_headers)
    {
        const mg_request_info* ri = mg_get_request_info(conn);
        const int fd = find_server_socket(port.load(), ri->remote_addr, ri->remote_port);
        bounds.sending(ri->remote_addr, ri->remote_port, true);
        send_file(conn, fd, open_checked_file(path, roots), path, extra_headers);
        bounds.sending(ri->remote_addr, ri->remote_port, false);
    }

    // A new page beyond the bounds is refused (it retries, as pages do) and the
    // oldest page that only watches is asked to leave, so the newcomer gets in at
    // its next try. The page that operates is never sent away.
    bool admit_page(const mg_connection* conn, const std::string& shown_seat)
    {
        std::string address = mg_get_request_info(conn)->remote_addr;
        std::lock_guard lock(mutex);
        // The operating page's reload takes the place kept for it; while kept, no other page does.
        const bool kept = seat_kept();
        if (kept && same_token(shown_seat, seat)) {
            pages[conn] = {address, next_order++, 0, false, true};
            return true;
        }
        int same = 0;
        for (const auto& [c, slot] : pages) same += slot.address == address;
        const int reserved = kept ? 1 : 0;
        bool full = static_cast<int>(pages.size()) + reserved >= kMaxPages;
        if (!full && same + (kept && address == seat_address ? 1 : 0) < kMaxPagesPerAddress) {
            pages[conn] = {address, next_order++, 0, false, false};
            return true;
        }
        PageSlot* oldest = nullptr;
        for (auto& [c, slot] : pages) {
            if (slot.evicted || slot.client == 0 || slot.client == user) continue;
            if (!full && slot.address != address) continue;
            if (!oldest || slot.order < oldest->order) oldest = &slot;
        }
        if (oldest) {
            oldest->evicted = true;
            auto it = clients.find(oldest->client);
            if (it != clients.end()) it->second->ask_to_leave();
        }
        return false;
    }

    // civetweb holds a whole frame before its data handler sees it, however large
    // the frame says it is: the page's socket is read here instead, each frame
    // judged by its header. Returning ends the connection.
    void read_page(mg_connection* conn, Client& client)
    {
        const mg_request_info* ri = mg_get_request_info(conn);
        int fd = ri ? find_server_socket(port.load(), ri->remote_addr, ri->remote_port) : -1;
        if (fd < 0) {
            // Found by every descriptor number when none is left to list them: not found is a socket
            // already gone, which civetweb's own read ends at once. The page goes (it reconnects).
            client.ask_to_leave();
            return;
        }
        FrameReader reader(kMaxMessageBytes,
                           {[&](std::string_view text) { on_message(client, text.data(), text.size()); },
                            [&](int opcode, std::string_view payload) {
                                mg_websocket_write(conn, opcode, payload.data(), payload.size());
                            }});
        std::vector<char> buf(16 * 1024);
        std::int64_t heard = steady_ms();
        const std::int64_t silence = std::chrono::milliseconds(kPageSilence).count();
        while (!stopping.load()) {
            std::int64_t now = steady_ms();
            std::int64_t leave_by = client.leave_by_ms.load();
            if ((leave_by != 0 && now >= leave_by) || now - heard >= silence) break;
            // Not read while its answers wait: one that never reads them goes at the silence bound.
            if (client.wait_while_backed_up()) continue;
            pollfd p{fd, POLLIN, 0};
            int r = ::poll(&p, 1, kReadSliceMs);
            if (r < 0 && errno != EINTR) break;
            if (r <= 0) continue;
            ssize_t n = ::recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (n <= 0) break;
            heard = steady_ms();
            if (!reader.feed(std::string_view(buf.data(), static_cast<std::size_t>(n)))) break;
        }
        // civetweb's own read then fails at once and it closes the connection.
        ::shutdown(fd, SHUT_RDWR);
    }

    static int ws_connect(const mg_connection* conn, void* data)
    {
        auto* self = static_cast<State*>(data);
        if (!self->token_ok(conn) || !same_origin(conn)) return 1;
        return self->admit_page(conn, query_var(mg_get_request_info(conn), "seat")) ? 0 : 1;
    }

    // An answer went out; a kept-alive connection now waits for its next request.
    static void request_ended(const mg_connection* conn, int)
    {
        auto* self = static_cast<State*>(mg_get_user_data(mg_get_context(conn)));
        const mg_request_info* ri = mg_get_request_info(conn);
        if (self && ri) self->bounds.answered(ri->remote_addr, ri->remote_port);
    }

    // 128 bits no page can guess.
    static std::string new_seat()
    {
        std::random_device random;
        std::string text;
        for (int i = 0; i < 4; ++i) text += vsys::strprintf("%08x", static_cast<unsigned>(random()));
        return text;
    }

    // Every connection ends here, a page's included.
    static void connection_closed(const mg_connection* conn)
    {
        auto* self = static_cast<State*>(mg_get_user_data(mg_get_context(conn)));
        if (!self) return;
        std::lock_guard lock(self->mutex);
        self->pages.erase(conn);
    }

    static void ws_ready(mg_connection* conn, void* data)
    {
        auto* self = static_cast<State*>(data);
        auto client = std::make_shared<Client>();
        client->conn = conn;
        client->queued_in_all = &self->queued_in_all;
        {
            std::lock_guard lock(self->mutex);
            client->id = self->next_client++;
            self->clients[client->id] = client;
            auto slot = self->pages.find(conn);
            if (slot != self->pages.end()) {
                slot->second.client = client->id;
                client->address = slot->second.address;
                // Back in its seat: it operates again, unless another page took over meanwhile.
                if (slot->second.seated && self->user == 0) {
                    self->user = client->id;
                    self->seat_kept_until_ms = 0;
                }
            }
        }
        mg_set_user_connection_data(conn, client.get());
        client->writer = std::thread([c = client.get()] { c->write_loop(); });
        self->send_snapshot(client->id);
        self->read_page(conn, *client);
    }

    // Every accepted connection, before its request is read.
    static int connection_accepted(const mg_connection* conn, void** conn_data)
    {
        *conn_data = nullptr;
        auto* self = static_cast<State*>(mg_get_user_data(mg_get_context(conn)));
        if (self && self->port.load() > 0) self->bounds.accepted(self->port.load());
        return 0;
    }

    // A request arrived whole (a page's handshake too).
    static int request_arrived(mg_connection* conn)
    {
        auto* self = static_cast<State*>(mg_get_user_data(mg_get_context(conn)));
        const mg_request_info* ri = mg_get_request_info(conn);
        if (self && ri) self->bounds.finished(ri->remote_addr, ri->remote_port);
        return 0;
    }

    static int ws_data(mg_connection* conn, int flags, char* data, std::size_t size, void* cbdata)
    {
        auto* self = static_cast<State*>(cbdata);
        auto* client = static_cast<Client*>(mg_get_user_connection_data(conn));
        int opcode = flags & 0xF;
        if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) return 0;
        if (opcode == MG_WEBSOCKET_OPCODE_TEXT && client) self->on_message(*client, data, size);
        return 1;
    }

    static void ws_close(const mg_connection* conn, void* data)
    {
        auto* self = static_cast<State*>(data);
        auto* raw = static_cast<Client*>(mg_get_user_connection_data(conn));
        if (!raw) return;
        std::shared_ptr<Client> client;
        {
            std::lock_guard lock(self->mutex);
            auto it = self->clients.find(raw->id);
            if (it != self->clients.end()) {
                client = it->second;
                if (client->ready) --self->ready_pages;
                self->clients.erase(it);
            }
            if (self->user == raw->id) {
                self->user = 0;
                self->seat_address = raw->address;
                self->seat_kept_until_ms = steady_ms() + std::chrono::milliseconds(kSeatGrace).count();
            }
        }
        if (client) client->stop();
    }
};

std::unique_ptr<Server> Server::start(const Options& options, std::string& error)
{
    if (!options.address.loopback() && options.token.empty()) {
        error = "The browser view listens on " + options.address.host +
                ", which is not this machine only: give an access token with --token.";
        return nullptr;
    }
    if (!options.address.loopback() && options.token.size() < kMinRemoteTokenLength) {
        error = vsys::strprintf("The browser view listens on %s, which is not this machine only: its access token "
                                "needs at least %zu characters.",
                                options.address.host.c_str(), kMinRemoteTokenLength);
        return nullptr;
    }
    for (char c : options.token) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.' && c != '~') {
            error = "The access token may hold only letters, digits and - _ . ~";
            return nullptr;
        }
    }
    if (!vsys::file_exists(vsys::path_join(options.web_root, "index.html"))) {
        error = "The browser view's files are missing in " + options.web_root + ".";
        return nullptr;
    }
    static std::once_flag init;
    std::call_once(init, [] { mg_init_library(0); });

    std::unique_ptr<Server> server(new Server());
    auto state = std::make_shared<State>();
    state->options = options;
    std::string ports = options.address.civetweb_port();
    std::string threads = std::to_string(kWorkerThreads);
    const char* opts[] = {"listening_ports", ports.c_str(), "num_threads", threads.c_str(),
                          "request_timeout_ms", kRequestTimeoutMs, "enable_keep_alive", "yes",
                          "keep_alive_timeout_ms", "1000", "websocket_timeout_ms", "300000", nullptr};
    mg_callbacks callbacks{};
    callbacks.log_message = [](const mg_connection*, const char*) { return 1; };  // errors are reported by start()
    callbacks.connection_close = &State::connection_closed;
    callbacks.init_connection = &State::connection_accepted;
    callbacks.begin_request = &State::request_arrived;
    callbacks.end_request = &State::request_ended;
    state->ctx = mg_start(&callbacks, state.get(), opts);
    if (!state->ctx) {
        error = "The browser view cannot listen on " + ports + " (address in use or not on this machine).";
        return nullptr;
    }
    mg_server_port found[4]{};
    int n = mg_get_server_ports(state->ctx, 4, found);
    state->port = n > 0 ? found[0].port : options.address.port;
    mg_set_request_handler(state->ctx, "/", &State::http_handler, state.get());
    mg_set_websocket_handler(state->ctx, "/ws", &State::ws_connect, &State::ws_ready, &State::ws_data, &State::ws_close,
                             state.get());
    state->subscribe_on_ui_thread();
    server->state_ = state;
    return server;
}

Server::~Server()
{
    if (!state_) return;
    // Pages are told to close first: each answers at once, instead of its
    // connection noticing the stop only at its next read timeout. Their own
    // writers tell them, all at once and outside the lock, before civetweb stops
    // writing: a page that does not read delays the exit once by at most the grace.
    std::vector<std::shared_ptr<Client>> told;
    {
        std::lock_guard lock(state_->mutex);
        for (auto& [id, c] : state_->clients) {
            c->go_away();
            told.push_back(c);
        }
    }
    const auto until = std::chrono::steady_clock::now() + kCloseGrace;
    for (auto& c : told) c->wait_writer_ended(until);
    state_->stopping = true;
    // civetweb's listener looks at its stop flag only between connections:
    // knock until it has stopped, so stopping takes milliseconds, not seconds.
    std::atomic<bool> stopped{false};
    std::thread knock([&] {
        while (!stopped.load()) {
            knock_once(state_->options.address, state_->port);
            std::this_thread::yield();
        }
    });
    mg_stop(state_->ctx);
    stopped = true;
    knock.join();
    // civetweb closes its WebSocket connections on stop; any client still listed loses its writer here.
    std::map<int, std::shared_ptr<Client>> left;
    {
        std::lock_guard lock(state_->mutex);
        left.swap(state_->clients);
        state_->ready_pages = 0;
    }
    for (auto& [id, c] : left) c->stop();
    if (state_->subscription) {
        vui::unsubscribe(state_->subscription);
        vui::set_load_error_listener(nullptr);
    }
}

int Server::port() const { return state_->port; }

std::string Server::url() const
{
    std::string u = state_->options.address.url(state_->port);
    if (!state_->options.token.empty()) u += "?token=" + state_->options.token;
    return u;
}

}  // namespace vweb
