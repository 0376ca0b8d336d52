#include "quarn/regex/utf8.hpp"

namespace quarn::regex {

void decode_utf8(std::string_view text, std::vector<char32_t>& chars,
                 std::vector<std::size_t>& offsets) {
    chars.clear();
    offsets.clear();
    chars.reserve(text.size());
    offsets.reserve(text.size() + 1);
    std::size_t i = 0;
    while (i < text.size()) {
        const auto decoded = base::decode_utf8_char(text.substr(i));
        const char32_t c = decoded ? decoded->character : 0xFFFD;
        const std::size_t len = decoded ? decoded->length : 1;
        chars.push_back(c);
        offsets.push_back(i);
        i += len;
    }
    offsets.push_back(text.size());
}

std::string encode_utf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text)
        append_utf8(out, c);
    return out;
}

}  // namespace quarn::regex
