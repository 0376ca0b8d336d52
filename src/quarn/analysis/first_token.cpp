#include "quarn/analysis/first_token.hpp"

namespace quarn::analysis {

bool accepts_prefix(const Alphabet& alphabet, const Automaton& automaton,
                    std::u32string_view text) {
    StateId state = 0;
    for (char32_t ch : text) {
        const std::optional<GroupId> group = alphabet.group_of(ch);
        const std::optional<StateId> next = group ? automaton.move(state, *group) : std::nullopt;
        if (!next)
            return false;
        state = *next;
        if (automaton.accepting(state))
            return true;
    }
    return false;
}

std::optional<FirstToken> first_token(const Alphabet& alphabet, const Mode& mode,
                                      std::u32string_view text) {
    if (mode.dfa.empty())
        return std::nullopt;
    std::optional<FirstToken> best;
    StateId state = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::optional<GroupId> group = alphabet.group_of(text[i]);
        const std::optional<StateId> next = group ? mode.dfa.move(state, *group) : std::nullopt;
        if (!next)
            break;
        state = *next;
        for (std::uint32_t clause : mode.dfa.states[state].accepts) {
            const Clause& entry = mode.clauses[clause];
            bool holds = true;
            if (entry.lookahead_kind != LookaheadKind::None) {
                const bool matched =
                    accepts_prefix(alphabet, mode.lookaheads[*entry.lookahead], text.substr(i + 1));
                holds = (entry.lookahead_kind == LookaheadKind::Positive) == matched;
            }
            if (holds) {
                best = FirstToken{clause, i + 1};
                break;
            }
        }
    }
    return best;
}

}  // namespace quarn::analysis
