// The scan's first decision replayed on the analysis automata: which clause
// takes the start of a text, and how much of it. The checks confirm every
// witness they report with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "quarn/analysis/automata.hpp"

namespace quarn::analysis {

struct FirstToken {
    std::uint32_t clause;  // index in the mode
    std::size_t length;    // in characters
    friend bool operator==(const FirstToken&, const FirstToken&) = default;
};

// The longest prefix of `text` that `mode` accepts with the first accept entry
// whose lookahead holds on the rest; none when no non-empty prefix is taken.
std::optional<FirstToken> first_token(const Alphabet& alphabet, const Mode& mode,
                                      std::u32string_view text);

// Whether `automaton` accepts a non-empty prefix of `text` (a lookahead holds).
bool accepts_prefix(const Alphabet& alphabet, const Automaton& automaton, std::u32string_view text);

}  // namespace quarn::analysis
