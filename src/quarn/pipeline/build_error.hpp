// Why a definition that parses cannot be built: an unknown target mode, a token
// regex that cannot be compiled, or a size bound.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quarn::pipeline {

struct BuildError {
    std::string message;  // the whole text, e.g. "Scanner mode 'X' not found"
    // The clause at fault, when one is: its mode, its position among the
    // clauses of that mode and, for a token clause, its regex.
    std::string mode;
    std::optional<std::size_t> clause;
    std::string pattern;

    friend bool operator==(const BuildError&, const BuildError&) = default;
};

}  // namespace quarn::pipeline
