#include "quarn/runtime/utf8.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quarn::runtime {
namespace {

std::string encode(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

TEST(Utf8, EveryScalarValueIsAcceptedAndDecodedBack) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c == 0xD800)
            c = 0xE000;
        const std::string s = encode(c);
        ASSERT_TRUE(validate_utf8(s).ok()) << std::hex << static_cast<std::uint32_t>(c);
        char32_t decoded;
        ASSERT_EQ(decode_utf8(s.data(), decoded), s.data() + s.size());
        ASSERT_EQ(decoded, c);
    }
}

TEST(Utf8, MalformedSequencesAreRefusedWithTheirOffset) {
    const std::string prefix = "0123456789abcdef";  // past the eight-byte fast path
    for (const std::string bad : {
             "\x80",              // lone continuation
             "\xC0\xAF",          // overlong two-byte
             "\xC3",              // truncated
             "\xE0\x80\xAF",      // overlong three-byte
             "\xED\xA0\x80",      // surrogate U+D800
             "\xE2\x82",          // truncated
             "\xF0\x8F\xBF\xBF",  // overlong four-byte
             "\xF4\x90\x80\x80",  // above U+10FFFF
             "\xF5\x80\x80\x80",  // invalid lead byte
             "\xC3\x28",          // continuation missing
         }) {
        const auto result = validate_utf8(prefix + "\xC3\xA9" + bad + "tail");
        ASSERT_FALSE(result.ok()) << bad;
        EXPECT_EQ(result.error().valid_up_to, prefix.size() + 2) << bad;
        EXPECT_EQ(result.error().message(), "invalid UTF-8 sequence at byte offset 18");
    }
    EXPECT_TRUE(validate_utf8("").ok());
    EXPECT_EQ(validate_utf8(std::string("a\0b", 3))->view().size(), 3u);
}

}  // namespace
}  // namespace quarn::runtime
