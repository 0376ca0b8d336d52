#include "quarn/runtime/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace quarn::runtime {

std::string Utf8Error::message() const {
    return "invalid UTF-8 sequence at byte offset " + std::to_string(valid_up_to);
}

namespace {

bool is_continuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length of the well-formed sequence at text[i], or 0 if it is not one.
std::size_t sequence_length(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const std::size_t left = text.size() - i;
    const unsigned char b0 = at(0);
    if (b0 < 0x80)
        return 1;
    if (b0 < 0xC2)
        return 0;  // continuation byte or overlong two-byte form
    if (b0 < 0xE0)
        return left >= 2 && is_continuation(at(1)) ? 2 : 0;
    if (b0 < 0xF0) {
        if (left < 3 || !is_continuation(at(1)) || !is_continuation(at(2)))
            return 0;
        if (b0 == 0xE0 && at(1) < 0xA0)
            return 0;  // overlong
        if (b0 == 0xED && at(1) >= 0xA0)
            return 0;  // surrogate
        return 3;
    }
    if (b0 > 0xF4)
        return 0;
    if (left < 4 || !is_continuation(at(1)) || !is_continuation(at(2)) || !is_continuation(at(3))) {
        return 0;
    }
    if (b0 == 0xF0 && at(1) < 0x90)
        return 0;  // overlong
    if (b0 == 0xF4 && at(1) >= 0x90)
        return 0;  // above U+10FFFF
    return 4;
}

}  // namespace

base::Result<ValidatedUtf8, Utf8Error> validate_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        // Skip ASCII eight bytes at a time.
        while (i + 8 <= text.size()) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            if (word & 0x8080'8080'8080'8080ULL)
                break;
            i += 8;
        }
        if (i == text.size())
            break;
        const std::size_t len = sequence_length(text, i);
        if (len == 0)
            return base::err(Utf8Error{i});
        i += len;
    }
    return ValidatedUtf8::trusted(text);
}

}  // namespace quarn::runtime
