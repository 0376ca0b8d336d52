// Token rules as the construction stages see them, and what an accepting
// automaton state reports.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <utility>

#include "quarn/generate/ids.hpp"

namespace quarn::generate {

// A follow condition: none, or the automaton `id` of the scanner's lookahead
// table, which must (Positive) or must not (Negative) accept a non-empty
// prefix of the text after the token.
struct Lookahead {
    enum class Kind : std::uint8_t { None, Positive, Negative };

    Kind kind = Kind::None;
    LookaheadID id;  // Positive and Negative only

    static Lookahead positive(LookaheadID id) { return {Kind::Positive, id}; }
    static Lookahead negative(LookaheadID id) { return {Kind::Negative, id}; }
    bool is_none() const { return kind == Kind::None; }

    friend auto operator<=>(const Lookahead&, const Lookahead&) = default;
};

// One accept record: the pattern's position in its mode (the lower wins), its
// token type and its lookahead. Records order by these fields in this order,
// which is how the minimizer groups and orders accepting states.
struct Accept {
    std::uint64_t priority = 0;
    TokenTypeID token_type;
    Lookahead lookahead;

    friend auto operator<=>(const Accept&, const Accept&) = default;
};

// A token clause: its regex and what its end state accepts (the priority is
// the clause's position, given when the mode NFA is built).
struct Pattern {
    std::string regex;
    TokenTypeID token_type;
    Lookahead lookahead;

    Pattern(std::string regex_text, TokenTypeID type, Lookahead follow = {})
        : regex(std::move(regex_text)), token_type(type), lookahead(follow) {}

    Accept accept(std::uint64_t priority) const { return {priority, token_type, lookahead}; }

    friend bool operator==(const Pattern&, const Pattern&) = default;
};

// The token type that lookahead automata accept.
inline constexpr TokenTypeID kLookaheadTokenType{4294967295u};

// "p<priority> t<token type>", then " +L<id>" or " !L<id>" for a lookahead.
std::string dump(const Accept& accept);

}  // namespace quarn::generate
