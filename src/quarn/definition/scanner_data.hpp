// A parsed scanner definition: its modes with their token clauses and their
// transitions, which still name their target mode, and the lookahead table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quarn/generate/nfa.hpp"
#include "quarn/generate/pattern.hpp"

namespace quarn::definition {

// `on <token type> enter|push <mode name>` or `on <token type> pop`.
struct Transition {
    enum class Kind : std::uint8_t { Enter, Push, Pop };

    Kind kind = Kind::Pop;
    std::uint64_t token_type = 0;
    std::string target_mode;  // Enter and Push only
    std::size_t clause = 0;   // position among the clauses of its mode

    friend bool operator==(const Transition&, const Transition&) = default;
};

// `token "<regex>" [[not] followed by "<regex>"] => <token type>;`
struct TokenClause {
    generate::Pattern pattern;
    std::size_t clause = 0;  // position among the clauses of its mode

    friend bool operator==(const TokenClause&, const TokenClause&) = default;
};

struct ModeDefinition {
    std::string name;
    std::size_t offset = 0;               // where its `mode` keyword starts in the definition text
    std::vector<TokenClause> tokens;      // definition order
    std::vector<Transition> transitions;  // definition order
    // Where each clause starts in the definition text, by clause position.
    std::vector<std::size_t> clause_offsets;

    // Where clause `clause` starts, when the parser recorded it.
    std::optional<std::size_t> clause_offset(std::size_t clause) const {
        if (clause < clause_offsets.size())
            return clause_offsets[clause];
        return std::nullopt;
    }

    // The mode's patterns in definition order.
    std::vector<generate::Pattern> patterns() const;
};

struct ScannerData {
    std::string name;
    std::vector<ModeDefinition> modes;  // mode 0 first
    // The lookahead table: one NFA per distinct lookahead regex, in order of
    // first appearance; a pattern's lookahead id is its position here.
    std::vector<generate::Nfa> lookaheads;
};

}  // namespace quarn::definition
