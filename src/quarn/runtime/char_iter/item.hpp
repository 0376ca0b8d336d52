#pragma once

#include <cstddef>
#include <optional>

#include "quarn/runtime/position.hpp"

namespace quarn::runtime {

// One delivered character. `position` is set only by CharIterWithPosition.
struct CharItem {
    std::size_t byte_index = 0;
    char32_t ch = 0;
    std::optional<Position> position;
    friend bool operator==(const CharItem&, const CharItem&) = default;
};

}  // namespace quarn::runtime
