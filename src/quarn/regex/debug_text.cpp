#include "quarn/regex/debug_text.hpp"

#include <cstdio>
#include <vector>

#include "quarn/regex/utf8.hpp"

namespace quarn::regex {

namespace {

bool is_unprintable(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void append_escaped(std::string& out, char32_t c, char quote) {
    char buf[16];
    switch (c) {
        case 0:
            out += "\\0";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\\':
            out += "\\\\";
            return;
        default:
            break;
    }
    if (c == static_cast<char32_t>(quote)) {
        out.push_back('\\');
        out.push_back(quote);
    } else if (is_unprintable(c)) {
        std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(c));
        out += buf;
    } else {
        append_utf8(out, c);
    }
}

}  // namespace

std::string debug_quote_str(std::string_view text) {
    std::vector<char32_t> chars;
    std::vector<std::size_t> offsets;
    decode_utf8(text, chars, offsets);
    std::string out = "\"";
    for (char32_t c : chars)
        append_escaped(out, c, '"');
    out.push_back('"');
    return out;
}

std::string debug_quote_char(char32_t c) {
    std::string out = "'";
    append_escaped(out, c, '\'');
    out.push_back('\'');
    return out;
}

std::string debug_quote_bytes(std::string_view bytes) {
    std::vector<char32_t> chars;
    std::vector<std::size_t> offsets;
    decode_utf8(bytes, chars, offsets);
    std::string out = "\"";
    for (char32_t c : chars) {
        if ((c >= 0x01 && c <= 0x08) || c == 0x0B || c == 0x0C || (c >= 0x0E && c <= 0x19) ||
            c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c));
            out += buf;
        } else {
            append_escaped(out, c, '"');
        }
    }
    out.push_back('"');
    return out;
}

}  // namespace quarn::regex
