// Where a scan stands between calls: the modes, plus the counters that let
// the next piece of text continue the offsets and positions of the last.
#pragma once

#include <cstdint>
#include <string_view>

#include "quarn/runtime/mode_state.hpp"
#include "quarn/runtime/position.hpp"

namespace quarn::batch {

struct ScanState {
    runtime::ModeState modes;
    std::uint64_t byte_offset = 0;  // bytes consumed so far
    std::uint64_t char_offset = 0;  // characters consumed so far
    runtime::Position position;     // of the next character
    friend bool operator==(const ScanState&, const ScanState&) = default;
};

// Characters in valid UTF-8 `text`: the bytes that are not continuation bytes.
std::uint64_t count_chars(std::string_view text);

// The position of the character after `text`, when its first is at `position`.
runtime::Position position_after(runtime::Position position, std::string_view text);

// Moves the offsets and the position of `state` past `text`.
void advance_counters(ScanState& state, std::string_view text);

}  // namespace quarn::batch
