// Reading a page's frames: whole messages from any split of the bytes, pings answered, bad headers refused before their payload.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/web/frames.h"
#include "tests/web/raw_client.h"

namespace {

// A masked frame with a real mask, as a browser sends it.
std::string masked(int opcode, const std::string& payload, bool fin = true)
{
    std::string h = vtest::frame_header(opcode, payload.size(), fin);
    const unsigned char mask[4] = {0x12, 0x34, 0x56, 0x78};
    for (int i = 0; i < 4; ++i) h[h.size() - 4 + static_cast<std::size_t>(i)] = static_cast<char>(mask[i]);
    std::string body = payload;
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(body[i] ^ mask[i % 4]);
    return h + body;
}

struct Seen {
    std::vector<std::string> texts;
    std::vector<std::pair<int, std::string>> sent;
};

vweb::FrameReader reader_for(Seen& seen, std::size_t max = 1000)
{
    return vweb::FrameReader(max, {[&](std::string_view t) { seen.texts.emplace_back(t); },
                                   [&](int op, std::string_view p) { seen.sent.emplace_back(op, std::string(p)); }});
}

TEST(FrameReader, MessagesComeWholeHoweverTheBytesAreSplit)
{
    std::string stream = masked(0x1, "{\"op\":\"ping\"}") + masked(0x9, "hi") + masked(0x1, "ab", false) +
                         masked(0x9, "") + masked(0x0, "cd", false) + masked(0x0, "e") + masked(0x2, "bin") +
                         masked(0x1, std::string(300, 'z'));
    for (std::size_t step : {std::size_t{1}, std::size_t{3}, stream.size()}) {
        Seen seen;
        auto reader = reader_for(seen);
        for (std::size_t at = 0; at < stream.size(); at += step)
            ASSERT_TRUE(reader.feed(std::string_view(stream).substr(at, step))) << step;
        EXPECT_EQ(seen.texts, (std::vector<std::string>{"{\"op\":\"ping\"}", "abcde", std::string(300, 'z')})) << step;
        ASSERT_EQ(seen.sent.size(), 2u) << step;
        EXPECT_EQ(seen.sent[0], (std::pair<int, std::string>{0xA, "hi"}));
        EXPECT_EQ(reader.held(), 0u);
    }
}

TEST(FrameReader, BadFramesEndTheConnectionWithTheirReason)
{
    struct Case {
        const char* label;
        std::string bytes;
        int code;
    } cases[] = {
        {"over the bound, header only", vtest::frame_header(0x1, 1001), vweb::kCloseTooBig},
        {"a huge length", vtest::frame_header(0x1, ~0ull >> 1), vweb::kCloseTooBig},
        {"fragments past the bound", masked(0x1, std::string(600, 'a'), false) + vtest::frame_header(0x0, 401),
         vweb::kCloseTooBig},
        {"unmasked", std::string("\x81\x02hi", 4), vweb::kCloseProtocol},
        {"reserved bits", std::string("\xC1\x80\0\0\0\0", 6), vweb::kCloseProtocol},
        {"unknown opcode", std::string("\x83\x80\0\0\0\0", 6), vweb::kCloseProtocol},
        {"a long ping", vtest::frame_header(0x9, 126), vweb::kCloseProtocol},
        {"a fragmented ping", vtest::frame_header(0x9, 1, false), vweb::kCloseProtocol},
        {"a continuation with nothing before", masked(0x0, "x"), vweb::kCloseProtocol},
        {"a new message inside another", masked(0x1, "a", false) + masked(0x1, "b"), vweb::kCloseProtocol},
        {"the page's close", masked(0x8, std::string("\x03\xE8", 2)), vweb::kCloseNormal},
    };
    for (const auto& c : cases) {
        Seen seen;
        auto reader = reader_for(seen);
        EXPECT_FALSE(reader.feed(c.bytes)) << c.label;
        EXPECT_EQ(reader.close_code(), c.code) << c.label;
        ASSERT_FALSE(seen.sent.empty()) << c.label;
        EXPECT_EQ(seen.sent.back().first, 0x8) << c.label;
        EXPECT_TRUE(seen.texts.empty()) << c.label;
        EXPECT_FALSE(reader.feed(masked(0x1, "after"))) << c.label;
    }
}

}  // namespace
