// Line and column of a character, both counted from 1; columns count characters.
#pragma once

#include <cstddef>

namespace quarn::runtime {

struct Position {
    std::size_t line = 1;
    std::size_t column = 1;
    friend bool operator==(const Position&, const Position&) = default;
};

// A token's first character and the position just past its last character.
struct Positions {
    Position start_position;
    Position end_position;
    friend bool operator==(const Positions&, const Positions&) = default;
};

}  // namespace quarn::runtime
