#include "quarn/runtime/find_matches.hpp"

#include "quarn/base/errors.hpp"

namespace quarn::runtime {

namespace {

// What an attempt and the lookahead evaluations inside it share.
struct SearchContext {
    const MatchFunction& match_function;
    LookaheadDeadEnds* lookahead_dead_ends;  // null: remember nothing
    const char* attempt_start;               // no later evaluation starts before it
};

void check_has_start_state(const Dfa& dfa) {
    base::check_index(0, dfa.num_states());
}

bool evaluate_lookahead(const CharIter& rest, const AcceptData& entry, const SearchContext& ctx);

// The first entry of `state`'s accept list whose lookahead holds on `rest`.
const AcceptData* choose_entry_with_lookahead(const Dfa& dfa, StateIndex state,
                                              const CharIter& rest, const SearchContext& ctx) {
    for (const AcceptData* entry = dfa.accept_begin(state); entry != dfa.accept_end(state);
         ++entry) {
        if (entry->lookahead.kind() == Lookahead::Kind::None)
            return entry;
        if (evaluate_lookahead(rest, *entry, ctx))
            return entry;
    }
    return nullptr;
}

// The entry chosen at a state whose accept slot is `slot` (not kNotAccepting),
// or null when no entry's lookahead holds on `rest`.
inline const AcceptData* choose_entry(const Dfa& dfa, std::uint32_t slot, const CharIter& rest,
                                      const SearchContext& ctx) {
    if ((slot & Dfa::kNeedsLookahead) == 0)
        return dfa.accepts() + slot;
    return choose_entry_with_lookahead(dfa, slot & ~Dfa::kNeedsLookahead, rest, ctx);
}

// Records the dead ends of a read past its last acceptance: every (position,
// row) entered after `from` (in `from_row`) up to `to`.
void remember_dead_ends(DeadEndMemo& memo, const Dfa& dfa, const MatchFunction& match_function,
                        const char* attempt_start, const char* from, std::uint32_t from_row,
                        const char* to) {
    memo.prepare(attempt_start, from, to);
    const std::uint32_t* const table = dfa.table();
    std::uint32_t row = from_row;
    for (const char* cursor = from; cursor != to;) {
        char32_t ch;
        cursor = decode_utf8(cursor, ch);
        row = table[row + match_function.class_of(ch)];
        memo.set(cursor, row);
    }
}

// Whether `dfa`, anchored at `chars`, accepts some non-empty prefix. Stops at
// the first acceptance: a longer one cannot change the answer.
bool accepts_prefix(const CharIter& chars, const Dfa& dfa, const SearchContext& ctx) {
    check_has_start_state(dfa);
    const DeadEndMemo* memo =
        ctx.lookahead_dead_ends ? ctx.lookahead_dead_ends->find(&dfa) : nullptr;
    const std::uint32_t* const table = dfa.table();
    const std::uint32_t width = dfa.row_stride() - 1;
    const char* const start = chars.state().cursor;
    const char* cursor = start;
    std::uint32_t row = 0;
    while (cursor != chars.end()) {
        char32_t ch;
        const char* after = decode_utf8(cursor, ch);
        const ClassIndex cls = ctx.match_function.class_of(ch);
        if (cls >= width)
            break;
        const std::uint32_t next = table[row + cls];
        if (next == Dfa::kNoMove)
            break;
        row = next;
        cursor = after;
        if (memo != nullptr && memo->known(cursor, row))
            break;
        const std::uint32_t slot = table[row + width];
        if (slot != Dfa::kNotAccepting && choose_entry(dfa, slot, chars.from(cursor), ctx)) {
            return true;
        }
    }
    // Everything entered on the way is a dead end; worth keeping only for long reads.
    if (ctx.lookahead_dead_ends != nullptr && cursor != start) {
        char32_t first;
        if (decode_utf8(start, first) != cursor) {
            remember_dead_ends((*ctx.lookahead_dead_ends)[&dfa], dfa, ctx.match_function,
                               ctx.attempt_start, start, 0, cursor);
        }
    }
    return false;
}

bool evaluate_lookahead(const CharIter& rest, const AcceptData& entry, const SearchContext& ctx) {
    switch (entry.lookahead.kind()) {
        case Lookahead::Kind::Positive:
            return accepts_prefix(rest, entry.lookahead.dfa(), ctx);
        case Lookahead::Kind::Negative:
            return !accepts_prefix(rest, entry.lookahead.dfa(), ctx);
        case Lookahead::Kind::None:
            break;
    }
    base::unreachable("Lookahead::None should not be evaluated here");
}

// One anchored attempt. The iterator's save and restore are done on local
// copies of its state: `best` is the state saved after the latest candidate.
template <class Iter>
[[gnu::always_inline]] inline bool find_next_inline(Iter& chars, const Dfa& dfa,
                                                    const MatchFunction& match_function,
                                                    DeadEndMemo& memo,
                                                    LookaheadDeadEnds* lookahead_dead_ends,
                                                    Match& match) {
    check_has_start_state(dfa);
    const typename Iter::State start = chars.state();
    const SearchContext ctx{match_function, lookahead_dead_ends, start.cursor};
    typename Iter::State state = start;
    typename Iter::State best = start;
    std::uint32_t best_row = 0;
    const char* const end = chars.end();
    const std::uint32_t* const table = dfa.table();
    const std::uint32_t width = dfa.row_stride() - 1;
    std::uint32_t row = 0;
    const AcceptData* candidate = nullptr;
    while (state.cursor != end) {
        char32_t ch;
        const char* after = decode_utf8(state.cursor, ch);
        const ClassIndex cls = match_function.class_of(ch);
        if (cls >= width)
            break;  // also catches MatchFunction::kNoClass
        const std::uint32_t next = table[row + cls];
        if (next == Dfa::kNoMove)
            break;
        row = next;
        Iter::advance(state, after, ch);
        if (memo.known(state.cursor, row))
            break;
        const std::uint32_t slot = table[row + width];
        if (slot == Dfa::kNotAccepting)
            continue;
        if (const AcceptData* entry = choose_entry(dfa, slot, chars.from(state.cursor), ctx)) {
            candidate = entry;
            best = state;
            best_row = row;
        }
    }
    if (state.cursor != best.cursor) {
        remember_dead_ends(memo, dfa, match_function, start.cursor, best.cursor, best_row,
                           state.cursor);
    }
    if (candidate == nullptr) {
        chars.set_state(start);
        return false;
    }
    chars.set_state(best);

    match.span.start = static_cast<std::size_t>(start.cursor - chars.begin());
    match.span.end = static_cast<std::size_t>(best.cursor - chars.begin());
    match.token_type = candidate->token_type;
    if constexpr (Iter::kTracksPositions) {
        Positions& positions = match.positions.emplace();
        positions.start_position = Iter::next_position(start);
        positions.end_position = Iter::next_position(best);
    } else {
        match.positions.reset();
    }
    return true;
}

}  // namespace

bool evaluate_lookahead(CharIter rest, const AcceptData& entry,
                        const MatchFunction& match_function) {
    return evaluate_lookahead(rest, entry, SearchContext{match_function, nullptr, nullptr});
}

template <class Iter>
std::optional<Match> find_next(Iter& chars, const Dfa& dfa, const MatchFunction& match_function) {
    Match match;
    DeadEndMemo memo(chars.begin());
    if (!find_next_inline(chars, dfa, match_function, memo, nullptr, match))
        return std::nullopt;
    return match;
}

template <class Iter>
bool BasicFindMatches<Iter>::next_match(Match& match) {
    // The automaton of the mode current when this step begins.
    const Dfa& dfa = scanner_impl_->current_dfa();
    dead_ends_.use_dfa(&dfa);
    for (;;) {
        if (find_next_inline(char_iter_, dfa, *match_function_, dead_ends_, &lookahead_dead_ends_,
                             match)) {
            scanner_impl_->handle_mode_transition(match.token_type);
            return true;
        }
        if (!char_iter_.next())
            return false;
    }
}

template class BasicFindMatches<CharIter>;
template class BasicFindMatches<CharIterWithPosition>;
template std::optional<Match> find_next(CharIter&, const Dfa&, const MatchFunction&);
template std::optional<Match> find_next(CharIterWithPosition&, const Dfa&, const MatchFunction&);

}  // namespace quarn::runtime
