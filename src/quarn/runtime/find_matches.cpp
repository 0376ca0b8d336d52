#include "quarn/runtime/find_matches.hpp"

#include "quarn/base/errors.hpp"

namespace quarn::runtime {

namespace {

void check_has_start_state(const Dfa& dfa) {
    base::check_index(0, dfa.num_states());
}

// The first entry of `state`'s accept list whose lookahead holds on `rest`.
const AcceptData* choose_entry(const Dfa& dfa, StateIndex state, const CharIter& rest,
                               const MatchFunction& match_function) {
    for (const AcceptData* entry = dfa.accept_begin(state); entry != dfa.accept_end(state);
         ++entry) {
        if (entry->lookahead.kind() == Lookahead::Kind::None)
            return entry;
        if (evaluate_lookahead(rest, *entry, match_function))
            return entry;
    }
    return nullptr;
}

// Whether `dfa`, anchored at `chars`, accepts some non-empty prefix. Stops at
// the first acceptance: a longer one cannot change the answer.
bool accepts_prefix(CharIter chars, const Dfa& dfa, const MatchFunction& match_function) {
    check_has_start_state(dfa);
    const std::uint32_t* table = dfa.table();
    const std::uint32_t width = dfa.row_stride() - 1;
    std::uint32_t row = 0;
    while (!chars.at_end()) {
        char32_t ch;
        const char* after = decode_utf8(chars.cursor(), ch);
        const ClassIndex cls = match_function.class_of(ch);
        if (cls >= width)
            return false;
        const std::uint32_t next = table[row + cls];
        if (next == Dfa::kNoMove)
            return false;
        row = next;
        chars.advance(after, ch);
        const std::uint32_t accepting = table[row + width];
        if (accepting != Dfa::kNotAccepting &&
            choose_entry(dfa, accepting, chars, match_function) != nullptr) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool evaluate_lookahead(CharIter rest, const AcceptData& entry,
                        const MatchFunction& match_function) {
    switch (entry.lookahead.kind()) {
        case Lookahead::Kind::Positive:
            return accepts_prefix(rest, entry.lookahead.dfa(), match_function);
        case Lookahead::Kind::Negative:
            return !accepts_prefix(rest, entry.lookahead.dfa(), match_function);
        case Lookahead::Kind::None:
            break;
    }
    base::unreachable("Lookahead::None should not be evaluated here");
}

template <class Iter>
std::optional<Match> find_next(Iter& chars, const Dfa& dfa, const MatchFunction& match_function) {
    check_has_start_state(dfa);
    // Work on a local copy so the loop state stays in registers.
    Iter it = chars;
    it.save_state();
    MatchStart start{it.byte_index(), std::nullopt};
    if constexpr (Iter::kTracksPositions)
        start.position = it.next_position();

    const std::uint32_t* table = dfa.table();
    const std::uint32_t width = dfa.row_stride() - 1;
    std::uint32_t row = 0;
    std::optional<MatchEnd> candidate;
    while (!it.at_end()) {
        char32_t ch;
        const char* after = decode_utf8(it.cursor(), ch);
        const ClassIndex cls = match_function.class_of(ch);
        if (cls >= width)
            break;  // also catches MatchFunction::kNoClass
        const std::uint32_t next = table[row + cls];
        if (next == Dfa::kNoMove)
            break;
        row = next;
        it.advance(after, ch);
        const std::uint32_t accepting = table[row + width];
        if (accepting == Dfa::kNotAccepting)
            continue;
        if (const AcceptData* entry =
                choose_entry(dfa, accepting, it.remainder(), match_function)) {
            candidate = MatchEnd{it.byte_index(), std::nullopt, entry->token_type, entry->priority};
            if constexpr (Iter::kTracksPositions)
                candidate->position = it.next_position();
            it.save_state();
        }
    }
    it.restore_state();
    chars = it;
    if (!candidate)
        return std::nullopt;

    Match match;
    match.span = Span{start.byte_index, candidate->byte_index};
    match.token_type = candidate->token_type;
    if (start.position && candidate->position) {
        match.positions = Positions{*start.position, *candidate->position};
    }
    return match;
}

template <class Iter>
std::optional<Match> BasicFindMatches<Iter>::next_match() {
    // The automaton of the mode current when this step begins.
    const Dfa& dfa = scanner_impl_->current_dfa();
    for (;;) {
        if (std::optional<Match> match = find_next(char_iter_, dfa, *match_function_)) {
            scanner_impl_->handle_mode_transition(match->token_type);
            return match;
        }
        if (!char_iter_.next())
            return std::nullopt;
    }
}

template class BasicFindMatches<CharIter>;
template class BasicFindMatches<CharIterWithPosition>;
template std::optional<Match> find_next(CharIter&, const Dfa&, const MatchFunction&);
template std::optional<Match> find_next(CharIterWithPosition&, const Dfa&, const MatchFunction&);

}  // namespace quarn::runtime
