// UTF-8 at the boundary: text from outside is validated once, here; the
// iterators then decode without checks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "quarn/base/result.hpp"

namespace quarn::runtime {

struct Utf8Error {
    std::size_t valid_up_to;  // offset of the first byte of the offending sequence
    std::string message() const;
};

// Text known to be well-formed UTF-8 (no surrogates, nothing above U+10FFFF, no
// overlong forms). Only validate_utf8 and `trusted` make one.
class ValidatedUtf8 {
  public:
    // For text whose producer guarantees validity (CPython's UTF-8 view of a
    // str, for one). Invalid text here is undefined behaviour.
    static ValidatedUtf8 trusted(std::string_view text) { return ValidatedUtf8(text); }

    std::string_view view() const { return text_; }

  private:
    explicit ValidatedUtf8(std::string_view text) : text_(text) {}
    std::string_view text_;
};

base::Result<ValidatedUtf8, Utf8Error> validate_utf8(std::string_view text);

// Decodes the character at `p` (p < end, text valid) and returns a pointer past it.
inline const char* decode_utf8(const char* p, char32_t& ch) {
    const auto b0 = static_cast<unsigned char>(p[0]);
    if (b0 < 0x80) {
        ch = b0;
        return p + 1;
    }
    const auto b1 = static_cast<unsigned char>(p[1]) & 0x3Fu;
    if (b0 < 0xE0) {
        ch = ((b0 & 0x1Fu) << 6) | b1;
        return p + 2;
    }
    const auto b2 = static_cast<unsigned char>(p[2]) & 0x3Fu;
    if (b0 < 0xF0) {
        ch = ((b0 & 0x0Fu) << 12) | (b1 << 6) | b2;
        return p + 3;
    }
    const auto b3 = static_cast<unsigned char>(p[3]) & 0x3Fu;
    ch = ((b0 & 0x07u) << 18) | (b1 << 12) | (b2 << 6) | b3;
    return p + 4;
}

}  // namespace quarn::runtime
