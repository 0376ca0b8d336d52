// The definition checker: findings about clauses, lookaheads and modes, each
// proved on the automata and, where a string shows it, with the shortest one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/analysis/automata.hpp"

namespace quarn::analysis {

enum class Severity : std::uint8_t { Error, Warning, Note };

struct Diagnostic {
    Severity severity = Severity::Warning;
    std::string code;  // stable, e.g. "shadowed-clause"
    std::string message;
    std::size_t line = 1;
    std::size_t column = 1;
    std::string mode;                   // empty for the whole definition
    std::optional<std::size_t> clause;  // its number in the mode, from 1
    // A text that shows the finding when the mode scans it from its start.
    std::optional<std::string> witness;
};

// What the automata say about one clause.
struct ClauseOutcome {
    bool matches_empty = false;
    bool matches_nonempty = false;
    // A shortest text whose first token this clause produces (token first,
    // then what must follow it for the lookaheads to decide so), and the
    // token's length in characters.
    std::optional<std::u32string> win;
    std::size_t win_length = 0;
    // Proved: no text ever gives this clause a token, and on `beaten_text` the
    // clause `winner` takes what this clause matches.
    bool never_wins = false;
    std::uint32_t winner = 0;
    std::u32string beaten_text;
    // Earlier clauses that take a whole text this clause matches, by order
    // alone: each with the shortest such text.
    std::vector<std::pair<std::uint32_t, std::u32string>> beaten_by_order;
};

std::vector<ClauseOutcome> analyse_clauses(const DefinitionAutomata& automata, const Mode& mode);

// Every finding, in definition order; a definition that does not parse gives
// one error.
std::vector<Diagnostic> check_definition(std::string_view definition);
std::vector<Diagnostic> check_automata(const DefinitionAutomata& automata);

std::string_view severity_name(Severity severity);  // "error", "warning", "note"

// A text in double quotes, with control characters, quotes and backslashes escaped.
std::string quoted(std::u32string_view text);

}  // namespace quarn::analysis
