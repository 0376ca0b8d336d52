// The search as first described, kept as the oracle for the fast one: peek,
// advance, save and restore on the iterator, a full attempt for every
// lookahead, no memory of dead ends and no skipping. Quadratic on purpose.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "quarn/runtime/char_iter/iter_with_position.hpp"
#include "quarn/runtime/compiled_scanner.hpp"
#include "quarn/runtime/match_types.hpp"

namespace quarn::test_support {

using namespace quarn::runtime;

inline bool reference_lookahead(CharIterWithPosition copy, const AcceptData& entry,
                                const CompiledScanner& scanner);

inline std::optional<Match> reference_find_next(CharIterWithPosition& it, const Dfa& dfa,
                                                const CompiledScanner& scanner) {
    const MatchFunction& f = scanner.match_function();
    it.save_state();
    StateIndex state = 0;
    std::optional<CharItem> start;
    std::optional<Match> candidate;
    while (auto item = it.peek()) {
        const auto cls = f(item->ch);
        if (!cls)
            break;
        const auto move = dfa.transition(state, *cls);
        if (!move)
            break;
        state = move->to;
        it.next();
        if (!start)
            start = item;
        for (const AcceptData& entry : dfa.accept_data(state)) {
            if (entry.lookahead.kind() != Lookahead::Kind::None &&
                !reference_lookahead(it, entry, scanner)) {
                continue;
            }
            const Position end = it.next_position();
            candidate = Match{{start->byte_index, it.byte_index()},
                              entry.token_type,
                              Positions{*start->position, end}};
            it.save_state();
            break;
        }
    }
    it.restore_state();
    return candidate;
}

inline bool reference_lookahead(CharIterWithPosition copy, const AcceptData& entry,
                                const CompiledScanner& scanner) {
    const Dfa& dfa = scanner.lookaheads().at(entry.lookahead.index());
    const bool found = reference_find_next(copy, dfa, scanner).has_value();
    return entry.lookahead.kind() == Lookahead::Kind::Positive ? found : !found;
}

inline std::vector<Match> reference_scan(const CompiledScanner& scanner, ModeState& state,
                                         std::string_view input) {
    CharIterWithPosition it(ValidatedUtf8::trusted(input));
    std::vector<Match> result;
    for (;;) {
        if (auto match = reference_find_next(it, scanner.dfa(state.mode), scanner)) {
            result.push_back(*match);
            scanner.apply_transition(state, match->token_type);
        } else if (!it.next()) {
            return result;
        }
    }
}

}  // namespace quarn::test_support
