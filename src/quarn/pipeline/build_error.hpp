// Why a definition could not be built. Every failure a user can cause is one
// of these values; base::InternalError is left to violated invariants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quarn::pipeline {

struct BuildError {
    enum class Kind : std::uint8_t {
        Definition,    // the parser rejected the text
        Construction,  // it parsed, but names an unknown mode, holds a token
                       // regex that cannot be compiled, or exceeds a size bound
    };

    Kind kind = Kind::Construction;
    // The whole text: a Definition message starts with "Failed to parse
    // scanner definition: ", a Construction one is e.g. "Scanner mode 'X' not found".
    std::string message;
    // The clause at fault, when there is one: its mode, its position among the
    // clauses of that mode and, for a token clause, its regex.
    std::string mode;
    std::optional<std::size_t> clause;
    std::string pattern;
    // Where in the definition text: where parsing stopped, or where the clause
    // at fault (or, for a mode too large as a whole, its `mode` keyword) starts.
    std::optional<std::size_t> offset;

    friend bool operator==(const BuildError&, const BuildError&) = default;
};

}  // namespace quarn::pipeline
