// UTF-8 encoding of scalar values and strict decoding, shared by every stage
// that turns text into characters or characters into bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn::base {

// The largest scalar value.
inline constexpr char32_t kMaxScalar = 0x10FFFF;

// Whether `v` is a scalar value: at most kMaxScalar and outside the surrogates.
constexpr bool is_scalar(std::uint64_t v) {
    return v <= kMaxScalar && !(v >= 0xD800 && v <= 0xDFFF);
}

// The scalar value after or before `c`, skipping the surrogate block:
// next_scalar(U+D7FF) = U+E000 and next_scalar(U+10FFFF) = 0x110000, one past
// the last; previous_scalar is the reverse.
constexpr std::uint32_t next_scalar(std::uint32_t c) {
    return c == 0xD7FF ? 0xE000 : c + 1;
}
constexpr std::uint32_t previous_scalar(std::uint32_t c) {
    return c == 0xE000 ? 0xD7FF : c - 1;
}

// Appends the 1 to 4 byte encoding of the scalar value `c`.
inline void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

inline std::string utf8_of(char32_t c) {
    std::string out;
    append_utf8(out, c);
    return out;
}

struct DecodedChar {
    char32_t character;
    std::size_t length;  // bytes used, 1 to 4
};

// Where a decode failed: an invalid sequence of `error_len` bytes, or (no
// error_len) a sequence cut off by the end of the input.
struct Utf8Failure {
    std::size_t valid_up_to;
    std::optional<std::uint8_t> error_len;
};

// The character at the front of `bytes`, or the failure at offset 0.
// Rejects overlong forms, surrogates and values above U+10FFFF.
inline std::optional<DecodedChar> decode_utf8_char(std::string_view bytes,
                                                   Utf8Failure* failure = nullptr) {
    auto fail = [&](std::optional<std::uint8_t> error_len) -> std::optional<DecodedChar> {
        if (failure != nullptr)
            *failure = Utf8Failure{0, error_len};
        return std::nullopt;
    };
    if (bytes.empty())
        return fail(std::nullopt);
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t first = byte(0);
    if (first < 0x80)
        return DecodedChar{first, 1};

    std::size_t width = 0;
    char32_t value = 0;
    // Allowed range of the second byte; it excludes overlong forms, surrogates
    // and values above U+10FFFF.
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        width = 2;
        value = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        width = 3;
        value = first & 0x0F;
        if (first == 0xE0)
            low = 0xA0;
        if (first == 0xED)
            high = 0x9F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        width = 4;
        value = first & 0x07;
        if (first == 0xF0)
            low = 0x90;
        if (first == 0xF4)
            high = 0x8F;
    } else {
        return fail(1);
    }
    for (std::size_t i = 1; i < width; ++i) {
        if (i >= bytes.size())
            return fail(std::nullopt);
        const std::uint8_t next = byte(i);
        const bool in_range =
            i == 1 ? (next >= low && next <= high) : (next >= 0x80 && next <= 0xBF);
        if (!in_range)
            return fail(static_cast<std::uint8_t>(i));
        value = (value << 6) | (next & 0x3F);
    }
    return DecodedChar{value, width};
}

// The first failure in `bytes`, or none when all of it is valid UTF-8.
inline std::optional<Utf8Failure> validate_utf8(std::string_view bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        Utf8Failure failure{};
        auto decoded = decode_utf8_char(bytes.substr(offset), &failure);
        if (!decoded)
            return Utf8Failure{offset, failure.error_len};
        offset += decoded->length;
    }
    return std::nullopt;
}

}  // namespace quarn::base
