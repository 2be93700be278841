// WebSocket frames from a page, read from the socket ourselves so a frame is judged by its header before its payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vweb {

// What a frame's header says, once enough bytes of it are there.
struct FrameHeader {
    enum class Status { incomplete, ok, refused };
    Status status = Status::incomplete;
    bool fin = false;
    int opcode = 0;
    std::uint64_t length = 0;      // the payload's length as the header gives it
    std::size_t header_size = 0;   // with the mask
    unsigned char mask[4] = {};
    int close_code = 0;            // when refused: 1002 (protocol) or 1009 (too big)
};

// Reads a client's frame header from the start of `bytes`. A frame is refused
// when it is unmasked, uses reserved bits or opcodes, is a control frame over
// 125 bytes or fragmented, or says its payload is over `max_payload`.
FrameHeader read_frame_header(std::string_view bytes, std::size_t max_payload);

// The messages of one connection as frames arrive: text messages whole (from
// their fragments), pings answered, a close answered. Bounded: a message over
// `max_message` is refused by the header that would take it past the bound.
class FrameReader {
public:
    struct Events {
        std::function<void(std::string_view)> text;            // a whole text message
        std::function<void(int opcode, std::string_view)> send;  // a control frame to send back
    };
    FrameReader(std::size_t max_message, Events events) : max_(max_message), events_(std::move(events)) {}

    // Takes the next bytes from the socket. False once the connection is to end
    // (a close came or was sent); the reason is close_code().
    bool feed(std::string_view bytes);
    int close_code() const { return close_code_; }
    // How much is held between calls (a partial frame and a partial message).
    std::size_t held() const { return pending_.size() + message_.size(); }

private:
    bool refuse(int code);

    std::size_t max_;
    Events events_;
    std::string pending_;   // bytes of a frame not yet whole
    std::string message_;   // fragments of a text message so far
    bool in_message_ = false;
    bool message_text_ = false;
    int close_code_ = 0;
    bool ended_ = false;
};

// Close codes.
constexpr int kCloseNormal = 1000;
constexpr int kCloseProtocol = 1002;
constexpr int kCloseTooBig = 1009;

}  // namespace vweb
