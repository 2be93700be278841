// Finding the server's sockets by their ports and shutting the oldest unfinished ones beyond the bounds.
#include "platform/web/connections.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace vweb {

namespace {

// An address as civetweb may write it too: an IPv4 address mapped into IPv6 as the IPv4 one, without a scope.
std::string plain_address(std::string address)
{
    if (auto scope = address.find('%'); scope != std::string::npos) address.erase(scope);
    if (address.rfind("::ffff:", 0) == 0 && address.find('.') != std::string::npos) address.erase(0, 7);
    return address;
}

// The socket's own port and the other end; false when it is no connected TCP/IP socket.
bool describe(int fd, int& local_port, PeerSocket& peer)
{
    sockaddr_storage local{}, remote{};
    socklen_t n = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &n) != 0) return false;
    if (local.ss_family == AF_INET)
        local_port = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    else if (local.ss_family == AF_INET6)
        local_port = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
    else
        return false;
    n = sizeof remote;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &n) != 0) return false;
    char text[INET6_ADDRSTRLEN] = "";
    if (remote.ss_family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&remote);
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        peer.port = ntohs(a->sin_port);
    } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&remote);
        inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        peer.port = ntohs(a->sin6_port);
    }
    peer.fd = fd;
    peer.address = plain_address(text);
    return true;
}

// Milliseconds since the socket last received data (since it was accepted when none came yet).
std::int64_t idle_ms(int fd)
{
    tcp_info info{};
    socklen_t n = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &n) != 0) return 0;
    return info.tcpi_last_data_recv;
}

// Whether a whole request head waits unread in the socket.
bool request_waits(int fd)
{
    char head[16 * 1024];
    ssize_t n = ::recv(fd, head, sizeof head, MSG_PEEK | MSG_DONTWAIT);
    return n > 0 && std::string_view(head, static_cast<std::size_t>(n)).find("\r\n\r\n") != std::string_view::npos;
}

std::int64_t steady_now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

}  // namespace

std::vector<PeerSocket> server_sockets(int server_port)
{
    std::vector<PeerSocket> found;
    auto take = [&](int fd) {
        int local_port = 0;
        PeerSocket peer;
        if (describe(fd, local_port, peer) && local_port == server_port) found.push_back(peer);
    };
    std::unique_ptr<DIR, DirCloser> dir(::opendir("/proc/self/fd"));
    if (!dir) {
        // No descriptor left to list them with (a flood of connections can take the last one): every number is tried.
        rlimit limit{};
        const rlim_t top = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                               ? std::min<rlim_t>(limit.rlim_cur, 1 << 16)
                               : 1 << 16;
        for (int fd = 0; fd < static_cast<int>(top); ++fd) take(fd);
        return found;
    }
    int own = ::dirfd(dir.get());
    while (dirent* e = ::readdir(dir.get())) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        int fd = std::atoi(e->d_name);
        if (fd != own) take(fd);
    }
    return found;
}

int find_server_socket(int server_port, const std::string& address, int port)
{
    auto sockets = server_sockets(server_port);
    const std::string plain = plain_address(address);
    for (const auto& s : sockets)
        if (s.port == port && s.address == plain) return s.fd;
    // An address written another way (an IPv6 scope, a mapped IPv4 address): the port alone, when only one has it.
    const PeerSocket* only = nullptr;
    for (const auto& s : sockets) {
        if (s.port != port) continue;
        if (only) return -1;
        only = &s;
    }
    return only ? only->fd : -1;
}

int ConnectionBounds::accepted(int server_port)
{
    // One look at a time: a list taken before another's shutting would bring its sockets back.
    std::lock_guard lock(mutex_);
    auto sockets = server_sockets(server_port);
    std::int64_t now = steady_now_ms();
    // The kernel's list is the truth: connections gone since are forgotten.
    std::map<std::pair<std::string, int>, Entry> seen;
    for (const auto& s : sockets) {
        auto key = std::make_pair(s.address, s.port);
        auto it = known_.find(key);
        Entry e = it != known_.end() ? it->second : Entry{now - idle_ms(s.fd), s.fd, false, false};
        // A request already whole in the socket only waits for a thread: it is no slow client.
        if (!e.finished) e.finished = request_waits(s.fd);
        seen[key] = e;
    }
    known_.swap(seen);

    std::vector<std::pair<const PeerSocket*, Entry>> waiting;
    for (const auto& s : sockets)
        if (const Entry& e = known_[{s.address, s.port}]; e.held()) waiting.emplace_back(&s, e);
    std::sort(waiting.begin(), waiting.end(), [](const auto& a, const auto& b) {
        return a.second.born_ms != b.second.born_ms ? a.second.born_ms < b.second.born_ms : a.second.fd < b.second.fd;
    });
    std::map<std::string, int> per_address;
    for (const auto& w : waiting) ++per_address[w.first->address];
    int in_all = static_cast<int>(waiting.size());
    int shut = 0;
    for (const auto& [s, e] : waiting) {
        int& same = per_address[s->address];
        if (same <= per_address_ && in_all <= in_all_) continue;
        // Oldest first; shutting wakes the worker that waits on it, which then closes it.
        ::shutdown(s->fd, SHUT_RDWR);
        Entry& gone = known_[{s->address, s->port}];
        gone.finished = true;  // no longer held against the bounds
        gone.sending = false;
        --same;
        --in_all;
        ++shut;
    }
    return shut;
}

void ConnectionBounds::finished(const std::string& address, int port)
{
    std::lock_guard lock(mutex_);
    known_[{plain_address(address), port}].finished = true;
}

void ConnectionBounds::answered(const std::string& address, int port)
{
    std::lock_guard lock(mutex_);
    auto it = known_.find({plain_address(address), port});
    if (it == known_.end()) return;  // gone already
    // As young as a new connection: one that sends its next request soon is no slow client.
    it->second.born_ms = steady_now_ms();
    it->second.finished = false;
}

void ConnectionBounds::sending(const std::string& address, int port, bool on)
{
    std::lock_guard lock(mutex_);
    auto it = known_.find({plain_address(address), port});
    if (it == known_.end()) return;
    if (on) it->second.born_ms = steady_now_ms();
    it->second.sending = on;
}

}  // namespace vweb
