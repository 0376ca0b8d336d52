// Tokens as the search reports them, and the records it keeps while searching.
#pragma once

#include <cstddef>
#include <optional>

#include "quarn/runtime/position.hpp"
#include "quarn/runtime/tables.hpp"

namespace quarn::runtime {

// Half-open range of byte offsets into the UTF-8 input.
struct Span {
    std::size_t start = 0;
    std::size_t end = 0;
    friend bool operator==(const Span&, const Span&) = default;
};

struct Match {
    Span span;  // start < end always
    TokenType token_type = 0;
    std::optional<Positions> positions;  // only from FindMatchesWithPosition
    friend bool operator==(const Match&, const Match&) = default;
};

struct MatchStart {
    std::size_t byte_index = 0;
    std::optional<Position> position;
};

// The best end found so far in one attempt; exclusive like the span's end.
struct MatchEnd {
    std::size_t byte_index = 0;
    std::optional<Position> position;
    TokenType token_type = 0;
    Priority priority = 0;
};

}  // namespace quarn::runtime
