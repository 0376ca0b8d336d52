#include "quarn/base/utf8.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quarn::base {
namespace {

TEST(Utf8, EveryScalarValueRoundTrips) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c == 0xD800)
            c = 0xE000;
        const std::string bytes = utf8_of(c);
        const std::size_t expected_length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        const auto decoded = decode_utf8_char(bytes);
        ASSERT_TRUE(decoded.has_value()) << std::hex << static_cast<std::uint32_t>(c);
        ASSERT_EQ(decoded->character, c);
        ASSERT_EQ(decoded->length, expected_length);
        ASSERT_EQ(bytes.size(), expected_length);
    }
    std::string appended = "x";
    append_utf8(appended, U'\u00E9');
    EXPECT_EQ(appended, "x\xC3\xA9");
}

// Overlong forms, surrogates and values above U+10FFFF are invalid sequences;
// a sequence cut off by the end of the text has no error length.
TEST(Utf8, FailuresReportOffsetAndLength) {
    struct Case {
        std::string text;
        std::size_t valid_up_to;
        std::optional<std::uint8_t> error_len;
    };
    const Case cases[] = {
        {"ab\x80", 2, 1},           {"\xC0\xAF", 0, 1},
        {"\xC1\xBF", 0, 1},         {"\xE0\x9F\xBF", 0, 1},
        {"\xED\xA0\x80", 0, 1},     {"\xF0\x8F\xBF\xBF", 0, 1},
        {"\xF4\x90\x80\x80", 0, 1}, {"\xF5\x80\x80\x80", 0, 1},
        {"\xE2\x82x", 0, 2},        {"\xC3\xA9\xF0\x9F\x98", 2, std::nullopt},
        {"\xE2", 0, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto failure = validate_utf8(c.text);
        ASSERT_TRUE(failure.has_value()) << c.text;
        EXPECT_EQ(failure->valid_up_to, c.valid_up_to) << c.text;
        EXPECT_EQ(failure->error_len, c.error_len) << c.text;
    }
    EXPECT_FALSE(validate_utf8("").has_value());
    EXPECT_FALSE(validate_utf8(std::string("a\0\xF4\x8F\xBF\xBF", 6)).has_value());
}

}  // namespace
}  // namespace quarn::base
