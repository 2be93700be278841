// The server's sockets as the kernel sees them: bounds on connections that hold a thread for a client that may never go on.
//
// civetweb gives a connection a worker thread as soon as it is accepted and keeps
// it until the request is whole or the request timeout passes, and it does not
// hand out its sockets. So the sockets are found by their ports: every socket of
// this process whose own port is the server's is one of its connections.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vweb {

// One socket of the server: its descriptor and the other end.
struct PeerSocket {
    int fd = -1;
    std::string address;  // numeric, as civetweb writes remote_addr
    int port = 0;
};

// The server's connected sockets (local port `server_port`), as they are now.
std::vector<PeerSocket> server_sockets(int server_port);

// The descriptor of the server's connection from `address`:`port`; -1 when it is gone.
int find_server_socket(int server_port, const std::string& address, int port);

class ConnectionBounds {
public:
    // At most `per_address` unfinished connections of one address and `in_all` of all.
    ConnectionBounds(int per_address, int in_all) : per_address_(per_address), in_all_(in_all) {}

    // A connection was accepted: beyond the bounds, the oldest unfinished ones
    // (of the crowded address first) are shut, so their threads come free at once.
    // Returns how many were shut.
    int accepted(int server_port);
    // A request arrived whole on this connection: it is no longer held against the bounds.
    void finished(const std::string& address, int port);
    // Its answer went out: the connection waits for a next request (kept alive) and is held again.
    void answered(const std::string& address, int port);
    // An answer is being sent (`on`) or has been: while it is, the connection counts
    // against the bounds, so clients that never read cannot hold every thread.
    void sending(const std::string& address, int port, bool on);

private:
    struct Entry {
        std::int64_t born_ms = 0;  // when its last bytes came before it was first seen (steady clock)
        int fd = -1;               // ties of the same millisecond: the later descriptor is the younger
        bool finished = false;
        bool sending = false;
        bool held() const { return !finished || sending; }
    };
    std::mutex mutex_;
    int per_address_;
    int in_all_;
    std::map<std::pair<std::string, int>, Entry> known_;  // by the other end
};

}  // namespace vweb
