// A page's messages as the server reads them: only the fields an op may carry are kept, and sprawling text is refused.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "platform/web/actions.h"

using nlohmann::json;

namespace {

// `head` with a field of many `element`s, about `bytes` long.
std::string padded(const std::string& head, const std::string& element, std::size_t bytes)
{
    std::string text = head + R"(,"pad":[)";
    while (text.size() + element.size() + 3 < bytes) text += element + ",";
    return text + element + "]}";
}

TEST(MessagesTest, OnlyTheFieldsOfTheOpAreKept)
{
    const std::string big(512 << 10, 'x');
    struct Case {
        const char* label;
        json sent;
        json kept;
    } cases[] = {
        {"an unknown text field", {{"op", "press"}, {"panel", 1}, {"ctrl", 2}, {"pad", big}},
         {{"op", "press"}, {"panel", 1}, {"ctrl", 2}}},
        {"an unknown object beside known optional fields",
         {{"op", "list_dir"}, {"dir", "/w"}, {"req", 3}, {"more", {{"a", 1}, {"b", {1, 2, 3}}}}},
         {{"op", "list_dir"}, {"dir", "/w"}, {"req", 3}}},
        {"a field of another op", {{"op", "ping"}, {"panel", 1}, {"response", big}}, {{"op", "ping"}}},
        {"every field known", {{"op", "answer"}, {"popup", 4}, {"button", 1}, {"response", "a.txt"}, {"cancelled", false}},
         {{"op", "answer"}, {"popup", 4}, {"button", 1}, {"response", "a.txt"}, {"cancelled", false}}},
    };
    for (const auto& c : cases) {
        std::string error;
        auto read = vweb::read_message(c.sent.dump(), error);
        ASSERT_TRUE(read) << c.label << ": " << error;
        EXPECT_EQ(*read, c.kept) << c.label;
    }
}

TEST(MessagesTest, TextThatWouldParseIntoFarMoreThanItsSizeIsRefusedUnparsed)
{
    const std::string press = R"({"op":"press","panel":1,"ctrl":2)";
    struct Case {
        const char* label;
        std::string text;
        const char* error;
    } cases[] = {
        {"empty objects", padded(press, "{}", vweb::kMaxMessageBytes - 16), "The message holds too many values."},
        {"empty arrays", padded(press, "[]", 4096), "The message holds too many values."},
        {"numbers", padded(press, "0", 4096), "The message holds too many values."},
        {"deep", press + R"(,"pad":[[[[[]]]]]})", "The message nests too deeply."},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(vweb::read_message(c.text, error)) << c.label;
        EXPECT_EQ(error, c.error) << c.label;
    }
    // Commas and brackets inside text are only text.
    std::string error;
    const json text_only = {{"op", "answer"}, {"popup", 1}, {"response", std::string(4096, ',') + std::string(8, '[')}};
    EXPECT_TRUE(vweb::read_message(text_only.dump(), error)) << error;
}

}  // namespace
