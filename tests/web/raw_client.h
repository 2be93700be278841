// A careless or hostile client on a raw socket: partial requests, WebSocket handshakes and hand-made frames.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace vtest {

// A connection to 127.0.0.1:port from `source` (any 127.x.y.z address); -1 when it fails.
// `receive_window`: bytes the client offers to take (0: the system's default), a client that reads slowly or never.
inline int connect_from(int port, const char* source = "127.0.0.1", int receive_window = 0)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (receive_window > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_window, sizeof receive_window);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    // Generous: a sanitizer build on a loaded machine takes many seconds over megabytes of messages.
    timeval tv{60, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// Sends what the other end takes until it stops taking for `wait_ms`; the bytes taken.
inline std::size_t send_while_taken(int fd, const std::string& bytes, int wait_ms)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, wait_ms) <= 0 || (p.revents & (POLLERR | POLLHUP))) break;
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    return sent;
}

inline bool send_all(int fd, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Whether the server has ended the connection (it reads as ended, not as "nothing yet"), without waiting.
inline bool ended_now(int fd)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    char c;
    ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

// A client frame header (masked with a zero mask, so the payload goes as it is).
inline std::string frame_header(int opcode, std::uint64_t length, bool fin = true)
{
    std::string h;
    h += static_cast<char>((fin ? 0x80 : 0) | opcode);
    if (length < 126) {
        h += static_cast<char>(0x80 | length);
    } else if (length <= 0xFFFF) {
        h += static_cast<char>(0x80 | 126);
        h += static_cast<char>(length >> 8);
        h += static_cast<char>(length & 0xFF);
    } else {
        h += static_cast<char>(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8) h += static_cast<char>((length >> shift) & 0xFF);
    }
    h += std::string(4, '\0');
    return h;
}

inline std::string frame(int opcode, const std::string& payload, bool fin = true)
{
    return frame_header(opcode, payload.size(), fin) + payload;
}

// A page's WebSocket on a raw socket; it answers nothing unless told to.
class RawPage {
public:
    explicit RawPage(int port, const char* source = "127.0.0.1", int receive_window = 0,
                     const std::string& target = "/ws")
        : fd_(connect_from(port, source, receive_window))
    {
        if (fd_ < 0) return;
        std::string hello = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                            "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
        if (!send_all(fd_, hello)) return;
        std::string head;
        char c;
        while (head.find("\r\n\r\n") == std::string::npos && ::recv(fd_, &c, 1, 0) == 1) head += c;
        accepted_ = head.rfind("HTTP/1.1 101", 0) == 0;
    }
    ~RawPage()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    RawPage(const RawPage&) = delete;
    RawPage& operator=(const RawPage&) = delete;

    bool accepted() const { return accepted_; }
    int fd() const { return fd_; }
    bool send(const std::string& bytes) { return send_all(fd_, bytes); }
    bool send_text(const std::string& text) { return send(frame(0x1, text)); }

    // The next frame from the server; false when the connection ended or nothing came in 60 s.
    bool next(int& opcode, std::string& payload)
    {
        unsigned char h[10];
        if (!read_exactly(h, 2)) return false;
        opcode = h[0] & 0x0F;
        std::uint64_t length = h[1] & 0x7F;
        if (length == 126) {
            if (!read_exactly(h, 2)) return false;
            length = (static_cast<std::uint64_t>(h[0]) << 8) | h[1];
        } else if (length == 127) {
            if (!read_exactly(h, 8)) return false;
            length = 0;
            for (int i = 0; i < 8; ++i) length = (length << 8) | h[i];
        }
        payload.assign(static_cast<std::size_t>(length), '\0');
        return length == 0 || read_exactly(reinterpret_cast<unsigned char*>(payload.data()), payload.size());
    }

    // Reads until the server closes: the close code it sent (0 for none), or -1 when it did not end within 60 s.
    int until_ended()
    {
        int code = 0, opcode = 0;
        std::string payload;
        while (next(opcode, payload))
            if (opcode == 0x8 && payload.size() >= 2)
                code = (static_cast<unsigned char>(payload[0]) << 8) | static_cast<unsigned char>(payload[1]);
        char c;
        ssize_t n = ::recv(fd_, &c, 1, 0);
        bool ended = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        return ended ? code : -1;
    }

private:
    bool read_exactly(unsigned char* out, std::size_t n)
    {
        std::size_t got = 0;
        while (got < n) {
            ssize_t r = ::recv(fd_, out + got, n - got, 0);
            if (r <= 0) return false;
            got += static_cast<std::size_t>(r);
        }
        return true;
    }

    int fd_ = -1;
    bool accepted_ = false;
};

}  // namespace vtest
