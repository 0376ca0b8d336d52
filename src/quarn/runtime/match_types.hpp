// Tokens as the search reports them.
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

}  // namespace quarn::runtime
