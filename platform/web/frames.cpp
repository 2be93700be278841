// Reading a page's WebSocket frames: header checks before any payload, masks, fragments, pings and close.
#include "platform/web/frames.h"

namespace vweb {

namespace {

constexpr int kContinuation = 0x0;
constexpr int kText = 0x1;
constexpr int kBinary = 0x2;
constexpr int kClose = 0x8;
constexpr int kPing = 0x9;
constexpr int kPong = 0xA;
constexpr std::size_t kMaxControlPayload = 125;

FrameHeader refused(int code)
{
    FrameHeader h;
    h.status = FrameHeader::Status::refused;
    h.close_code = code;
    return h;
}

}  // namespace

FrameHeader read_frame_header(std::string_view bytes, std::size_t max_payload)
{
    FrameHeader h;
    if (bytes.size() < 2) return h;
    auto b0 = static_cast<unsigned char>(bytes[0]);
    auto b1 = static_cast<unsigned char>(bytes[1]);
    h.fin = (b0 & 0x80) != 0;
    h.opcode = b0 & 0x0F;
    if (b0 & 0x70) return refused(kCloseProtocol);  // no extension was agreed
    bool control = (h.opcode & 0x8) != 0;
    bool known = h.opcode == kContinuation || h.opcode == kText || h.opcode == kBinary || h.opcode == kClose ||
                 h.opcode == kPing || h.opcode == kPong;
    if (!known) return refused(kCloseProtocol);
    if (!(b1 & 0x80)) return refused(kCloseProtocol);  // a browser always masks
    std::size_t size = 2;
    std::uint64_t length = b1 & 0x7F;
    if (length == 126) {
        if (bytes.size() < 4) return h;
        length = (static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[2])) << 8) | static_cast<unsigned char>(bytes[3]);
        size = 4;
    } else if (length == 127) {
        if (bytes.size() < 10) return h;
        length = 0;
        for (int i = 2; i < 10; ++i) length = (length << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
        size = 10;
    }
    if (control && (!h.fin || length > kMaxControlPayload)) return refused(kCloseProtocol);
    // Judged here, before a byte of the payload is read or held.
    if (!control && length > max_payload) return refused(kCloseTooBig);
    if (bytes.size() < size + 4) return h;
    for (std::size_t i = 0; i < 4; ++i) h.mask[i] = static_cast<unsigned char>(bytes[size + i]);
    h.length = length;
    h.header_size = size + 4;
    h.status = FrameHeader::Status::ok;
    return h;
}

bool FrameReader::refuse(int code)
{
    close_code_ = code;
    ended_ = true;
    unsigned char payload[2] = {static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF)};
    events_.send(kClose, std::string_view(reinterpret_cast<const char*>(payload), sizeof payload));
    pending_.clear();
    pending_.shrink_to_fit();
    message_.clear();
    message_.shrink_to_fit();
    return false;
}

bool FrameReader::feed(std::string_view bytes)
{
    if (ended_) return false;
    pending_.append(bytes);
    std::size_t used = 0;
    while (!ended_) {
        std::string_view rest(pending_.data() + used, pending_.size() - used);
        // A data frame may only take the message up to the bound; a control frame has its own.
        std::size_t room = max_ - message_.size();
        FrameHeader h = read_frame_header(rest, room);
        if (h.status == FrameHeader::Status::refused) return refuse(h.close_code);
        if (h.status == FrameHeader::Status::incomplete || rest.size() - h.header_size < h.length) break;
        std::string payload(rest.substr(h.header_size, static_cast<std::size_t>(h.length)));
        for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(payload[i] ^ h.mask[i % 4]);
        used += h.header_size + static_cast<std::size_t>(h.length);
        switch (h.opcode) {
        case kPing:
            events_.send(kPong, payload);
            break;
        case kPong:
            break;
        case kClose: {
            close_code_ = kCloseNormal;
            if (payload.size() >= 2)
                close_code_ = (static_cast<unsigned char>(payload[0]) << 8) | static_cast<unsigned char>(payload[1]);
            ended_ = true;
            events_.send(kClose, std::string_view(payload).substr(0, payload.size() >= 2 ? 2 : 0));
            return false;
        }
        case kContinuation:
            if (!in_message_) return refuse(kCloseProtocol);
            message_ += payload;
            break;
        default:  // text or binary
            if (in_message_) return refuse(kCloseProtocol);
            in_message_ = true;
            message_text_ = h.opcode == kText;
            message_ = std::move(payload);
            break;
        }
        if (h.opcode < kClose && h.fin) {
            in_message_ = false;
            if (message_text_) events_.text(message_);
            message_.clear();
        }
    }
    pending_.erase(0, used);
    return true;
}

}  // namespace vweb
