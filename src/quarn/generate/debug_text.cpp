#include "quarn/generate/debug_text.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "quarn/base/utf8.hpp"
#include "quarn/unicode/unicode.hpp"

namespace quarn::generate {
namespace {

// Characters written as \u{...}: the categories Cc, Cf, Co, Cn, Zl, Zp and Zs
// except the space (surrogates are not scalar values). Sorted, merged ranges.
const std::vector<unicode::Range>& non_printable() {
    static const std::vector<unicode::Range> ranges = [] {
        std::vector<unicode::Range> all;
        for (const char* category : {"Cc", "Cf", "Co", "Cn", "Zl", "Zp", "Zs"}) {
            auto lookup = unicode::lookup_name_value("General_Category", category);
            if (lookup.status != unicode::PropertyStatus::Found)
                continue;
            for (const auto& range : lookup.ranges) {
                if (range.start <= U' ' && U' ' <= range.end) {
                    if (range.start < U' ')
                        all.push_back({range.start, U' ' - 1});
                    if (range.end > U' ')
                        all.push_back({U' ' + 1, range.end});
                } else {
                    all.push_back(range);
                }
            }
        }
        std::sort(all.begin(), all.end(), [](const unicode::Range& a, const unicode::Range& b) {
            return a.start < b.start;
        });
        std::vector<unicode::Range> merged;
        for (const auto& range : all) {
            if (!merged.empty() && range.start <= merged.back().end + 1) {
                merged.back().end = std::max(merged.back().end, range.end);
            } else {
                merged.push_back(range);
            }
        }
        return merged;
    }();
    return ranges;
}

bool is_printable(char32_t c) {
    const auto& ranges = non_printable();
    auto it =
        std::upper_bound(ranges.begin(), ranges.end(), c,
                         [](char32_t value, const unicode::Range& r) { return value < r.start; });
    return it == ranges.begin() || std::prev(it)->end < c;
}

}  // namespace

void append_debug_quoted(std::string& out, std::string_view text) {
    out += '"';
    std::size_t offset = 0;
    while (offset < text.size()) {
        auto decoded = base::decode_utf8_char(text.substr(offset));
        // Texts come from valid UTF-8 literals; a stray byte prints as U+FFFD.
        const char32_t c = decoded ? decoded->character : U'\uFFFD';
        const std::size_t length = decoded ? decoded->length : 1;
        switch (c) {
            case U'"':
                out += "\\\"";
                break;
            case U'\\':
                out += "\\\\";
                break;
            case U'\0':
                out += "\\0";
                break;
            case U'\t':
                out += "\\t";
                break;
            case U'\r':
                out += "\\r";
                break;
            case U'\n':
                out += "\\n";
                break;
            default:
                if (decoded && is_printable(c)) {
                    out.append(text.substr(offset, length));
                } else if (!decoded) {
                    out += "\xEF\xBF\xBD";
                } else {
                    char buffer[16];
                    std::snprintf(buffer, sizeof buffer, "\\u{%x}", static_cast<unsigned>(c));
                    out += buffer;
                }
        }
        offset += length;
    }
    out += '"';
}

std::string debug_quoted(std::string_view text) {
    std::string out;
    append_debug_quoted(out, text);
    return out;
}

}  // namespace quarn::generate
