#include "quarn/batch/scan_state.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quarn::batch {

std::uint64_t count_chars(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    std::uint64_t continuations = 0;
    // A continuation byte is 10xxxxxx: bit 7 set, bit 6 clear; eight bytes at a time.
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        continuations += static_cast<unsigned>(
            std::popcount((word >> 7) & ~(word >> 6) & 0x0101'0101'0101'0101ULL));
    }
    for (; p != end; ++p)
        continuations += (static_cast<unsigned char>(*p) & 0xC0) == 0x80;
    return text.size() - continuations;
}

runtime::Position position_after(runtime::Position position, std::string_view text) {
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (lines == 0) {
        position.column += count_chars(text);
        return position;
    }
    const std::size_t last_line_start = text.rfind('\n') + 1;
    position.line += lines;
    position.column = 1 + count_chars(text.substr(last_line_start));
    return position;
}

void advance_counters(ScanState& state, std::string_view text) {
    state.byte_offset += text.size();
    state.char_offset += count_chars(text);
    state.position = position_after(state.position, text);
}

}  // namespace quarn::batch
