#include "quarn/regex/utf8.hpp"

namespace quarn::regex {

namespace {

// Length of the well-formed sequence starting at text[i], or 0.
std::size_t sequence_length(std::string_view text, std::size_t i, char32_t& out) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len;
    char32_t value;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        value = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        value = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        value = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    out = value;
    return len;
}

}  // namespace

void decode_utf8(std::string_view text, std::vector<char32_t>& chars,
                 std::vector<std::size_t>& offsets) {
    chars.clear();
    offsets.clear();
    chars.reserve(text.size());
    offsets.reserve(text.size() + 1);
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t c = 0;
        std::size_t len = sequence_length(text, i, c);
        if (len == 0) {
            c = 0xFFFD;
            len = 1;
        }
        chars.push_back(c);
        offsets.push_back(i);
        i += len;
    }
    offsets.push_back(text.size());
}

void append_utf8(std::string& out, char32_t c) {
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

std::string encode_utf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text)
        append_utf8(out, c);
    return out;
}

bool unicode_white_space(char32_t c) {
    if (c <= 0x20)
        return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    switch (c) {
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

}  // namespace quarn::regex
