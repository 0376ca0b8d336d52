#include "quarn/definition/source_map.hpp"

#include <algorithm>

namespace quarn::definition {

SourcePosition position_of(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    SourcePosition position;
    for (std::size_t i = 0; i < offset; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++position.line;
            position.column = 1;
        } else if ((byte & 0xC0) != 0x80) {  // the first byte of a character
            ++position.column;
        }
    }
    return position;
}

std::string_view line_at(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::size_t newline_before = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    std::size_t begin = newline_before == std::string_view::npos ? 0 : newline_before + 1;
    if (offset < begin)  // `offset` is at a line feed that starts the text
        begin = offset;
    const std::size_t end = std::min(text.find('\n', begin), text.size());
    return text.substr(begin, end - begin);
}

}  // namespace quarn::definition
