#include "quarn/regex/debug_text.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "quarn/regex/utf8.hpp"
#include "quarn/unicode/unicode.hpp"

namespace quarn::regex {

namespace {

// Characters written as \u{...}: controls, format characters, unassigned and
// private-use code points, separators other than the space, and marks that
// would combine with the preceding quote or backslash.
bool is_unprintable(char32_t c) {
    if (c < 0x7F)
        return c < 0x20;
    static const std::vector<unicode::Range> escaped = [] {
        std::vector<unicode::Range> all;
        for (const char* name : {"C", "Zl", "Zp", "Zs", "Grapheme_Extend"}) {
            std::vector<unicode::Range> set = unicode::lookup_lone_name(name).ranges;
            all.insert(all.end(), set.begin(), set.end());
        }
        return unicode::merged(std::move(all));
    }();
    auto it = std::upper_bound(escaped.begin(), escaped.end(), c,
                               [](char32_t v, const unicode::Range& r) { return v < r.start; });
    return it != escaped.begin() && std::prev(it)->end >= c;
}

// `quote` is the quote character to escape; 0 escapes both.
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
    if ((quote == 0 && (c == '"' || c == '\'')) || c == static_cast<char32_t>(quote)) {
        out.push_back('\\');
        append_utf8(out, c);
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
            append_escaped(out, c, 0);
        }
    }
    out.push_back('"');
    return out;
}

}  // namespace quarn::regex
