// Strict UTF-8 decoding of label bytes and pattern texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quarn::generate {

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
std::optional<DecodedChar> decode_utf8_char(std::string_view bytes, Utf8Failure* failure = nullptr);

// The first failure in `bytes`, or none when all of it is valid UTF-8.
std::optional<Utf8Failure> validate_utf8(std::string_view bytes);

}  // namespace quarn::generate
