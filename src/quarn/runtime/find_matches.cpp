#include "quarn/runtime/find_matches.hpp"

#include <algorithm>

#include "quarn/base/errors.hpp"
#include "quarn/runtime/shortcuts.hpp"

namespace quarn::runtime {

namespace {

// What an attempt and the lookahead evaluations inside it share.
struct SearchContext {
    const MatchFunction& match_function;
    std::span<const Dfa> lookaheads;         // the scanner's lookahead table
    LookaheadDeadEnds* lookahead_dead_ends;  // null: remember nothing
    const char* attempt_start;               // no later evaluation starts before it
    std::size_t* read_end;                   // raised past every byte a lookahead reads
};

// How far a read that stopped at `cursor` went, as an offset from `begin`:
// past the character at `cursor`, which it examined (or, after a dead-end
// hit, may have), or one past the end of the text when it ran out of text.
// Computed once per read, not per character.
inline std::size_t read_end_at(const char* cursor, const char* begin, const char* end) {
    const auto offset = static_cast<std::size_t>(cursor - begin);
    if (cursor == end)
        return offset + 1;
    const auto lead = static_cast<unsigned char>(*cursor);
    return offset + (lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4);
}

void check_has_start_state(const Dfa& dfa) {
    if (dfa.num_states() == 0) [[unlikely]]
        base::check_index(0, 0);  // throws; the message names the index and length
}

// Decodes the character at `cursor` into `ch`, stores the table column of its
// class in `column` and returns the pointer past it. ASCII skips the decoder
// and the range tests of the match function.
[[gnu::always_inline]] inline const char* read_column(const char* cursor, const Dfa& dfa,
                                                      const MatchFunction& match_function,
                                                      char32_t& ch, std::uint32_t& column) {
    const auto byte = static_cast<unsigned char>(*cursor);
    if (byte < 0x80) [[likely]] {
        ch = byte;
        column = dfa.column(match_function.class_of_ascii(byte));
        return cursor + 1;
    }
    const char* after = decode_utf8(cursor, ch);
    column = dfa.column(match_function.class_of(ch));
    return after;
}

// The move from the row at byte offset `row` on table column `column`. The
// column's address comes from the character alone, so the load is the only
// step that waits for the previous move.
[[gnu::always_inline]] inline std::uint32_t move_from(const char* table, std::uint32_t column,
                                                      std::size_t row) {
    return Dfa::word_at(table + column * sizeof(std::uint32_t), row);
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

// The entry chosen in the accepting state at `row`, or null when no entry's
// lookahead holds on the text from `cursor`.
template <class Iter>
inline const AcceptData* choose_entry(const Dfa& dfa, std::uint32_t row, const Iter& chars,
                                      const char* cursor, const SearchContext& ctx) {
    const std::uint32_t slot = dfa.accept_slot(row);
    if ((slot & Dfa::kNeedsLookahead) == 0)
        return dfa.accepts() + slot;
    return choose_entry_with_lookahead(dfa, slot & ~Dfa::kNeedsLookahead, chars.from(cursor), ctx);
}

// Records the dead ends of a read past its last acceptance: every (position,
// row) entered after `from` (in `from_row`) up to `to`.
void remember_dead_ends(DeadEndMemo& memo, const Dfa& dfa, const MatchFunction& match_function,
                        const char* attempt_start, const char* from, std::uint32_t from_row,
                        const char* to) {
    memo.prepare(attempt_start, from, to);
    const char* const table = dfa.column_base(0);
    std::uint32_t row = from_row;
    for (const char* cursor = from; cursor != to;) {
        char32_t ch = 0;
        std::uint32_t column = 0;
        cursor = read_column(cursor, dfa, match_function, ch, column);
        row = move_from(table, column, row);
        memo.set(cursor, row);
    }
}

// Whether `dfa`, anchored at `chars`, accepts some non-empty prefix. Stops at
// the first acceptance: a longer one cannot change the answer.
bool accepts_prefix(const CharIter& chars, const Dfa& dfa, const SearchContext& ctx) {
    check_has_start_state(dfa);
    const DeadEndMemo* memo =
        ctx.lookahead_dead_ends ? ctx.lookahead_dead_ends->find(&dfa) : nullptr;
    const char* const table = dfa.column_base(0);
    const char* const start = chars.state().cursor;
    const char* cursor = start;
    std::uint32_t row = 0;
    while (cursor != chars.end()) {
        char32_t ch = 0;
        std::uint32_t column = 0;
        const char* after = read_column(cursor, dfa, ctx.match_function, ch, column);
        const std::uint32_t next = move_from(table, column, row);
        if (next == Dfa::kNoMove)
            break;
        row = next;
        cursor = after;
        if (memo != nullptr && memo->known(cursor, row))
            break;
        if (dfa.accept_slot(row) != Dfa::kNotAccepting &&
            choose_entry(dfa, row, chars, cursor, ctx)) {
            *ctx.read_end =
                std::max(*ctx.read_end, static_cast<std::size_t>(cursor - chars.begin()));
            return true;
        }
    }
    *ctx.read_end = std::max(*ctx.read_end, read_end_at(cursor, chars.begin(), chars.end()));
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
    const Lookahead lookahead = entry.lookahead;
    if (lookahead.kind() == Lookahead::Kind::None)
        base::unreachable("Lookahead::None should not be evaluated here");
    base::check_index(lookahead.index(), ctx.lookaheads.size());
    const Dfa& dfa = ctx.lookaheads[lookahead.index()];
    switch (lookahead.kind()) {
        case Lookahead::Kind::Positive:
            return accepts_prefix(rest, dfa, ctx);
        case Lookahead::Kind::Negative:
            return !accepts_prefix(rest, dfa, ctx);
        case Lookahead::Kind::None:
            break;
    }
    base::unreachable("Lookahead::None should not be evaluated here");
}

// `best = state` when `taken`, without a branch: whether a move accepts is
// too irregular to predict.
template <class State>
[[gnu::always_inline]] inline void select_state(bool taken, State& best, const State& state) {
    best.cursor = taken ? state.cursor : best.cursor;
    if constexpr (requires { state.line; }) {
        best.line = taken ? state.line : best.line;
        best.column = taken ? state.column : best.column;
        best.last_char = taken ? state.last_char : best.last_char;
    }
}

// One anchored attempt from `start`, which must have a start state. Returns
// the chosen entry of the longest match and sets `best` to the state just
// after it, or returns null. Only reads `chars` (text bounds, lookahead copies).
// Sets `read_end` as read_end_at() says, for it and its lookaheads together.
// Per character only the move depends on the previous move; the accept slot
// is loaded beside it and an acceptance recorded without a branch.
//
// With `shortcuts` (kShortcuts) an ASCII byte's column comes from its table,
// and, where no dead end can be met, a self-loop into a state with few exits
// crosses the rest of its run at once. Either way the result is the same.
template <bool kMayMeetDeadEnds, bool kHasLookahead, bool kShortcuts, class Iter>
[[gnu::always_inline]] inline const AcceptData* attempt_with(
    const Iter& chars, const typename Iter::State& start, const Dfa& dfa,
    const MatchFunction& match_function, const DfaShortcuts* shortcuts,
    std::span<const Dfa> lookaheads, DeadEndMemo& memo, LookaheadDeadEnds* lookahead_dead_ends,
    typename Iter::State& best, std::size_t& read_end) {
    read_end = 0;
    const SearchContext ctx{match_function, lookaheads, lookahead_dead_ends, start.cursor,
                            &read_end};
    typename Iter::State state = start;
    const char* const end = chars.end();
    const char* const table = dfa.column_base(0);
    const char* const slots = dfa.column_base(static_cast<std::uint32_t>(dfa.num_classes()) + 1);
    const AcceptData* const accepts = dfa.accepts();
    // Dead ends are only known behind the memo's limit, which the loop cannot
    // move: an attempt starting beyond it meets none.
    const char* const memo_limit = memo.limit();
    std::size_t row = 0;
    std::size_t best_row = 0;
    // Index of the chosen entry in `accepts`, or kNotAccepting.
    std::uint32_t best_index = Dfa::kNotAccepting;
    best = start;
    [[maybe_unused]] const bool has_runs = kShortcuts && shortcuts->has_runs();
    while (state.cursor != end) {
        char32_t ch = 0;
        std::uint32_t next = 0;
        const char* after = nullptr;
        if constexpr (kShortcuts) {
            const auto byte = static_cast<unsigned char>(*state.cursor);
            std::uint32_t offset = 0;
            if (byte < 0x80) [[likely]] {
                ch = byte;
                offset = shortcuts->column_offset(byte);
                after = state.cursor + 1;
            } else {
                after = decode_utf8(state.cursor, ch);
                offset = dfa.column(match_function.class_of(ch)) * sizeof(std::uint32_t);
            }
            next = Dfa::word_at(table + offset, row);
        } else {
            std::uint32_t column = 0;
            after = read_column(state.cursor, dfa, match_function, ch, column);
            next = move_from(table, column, row);
        }
        if (next == Dfa::kNoMove)
            break;
        [[maybe_unused]] const bool looped = next == row;
        row = next;
        Iter::advance(state, after, ch);
        if constexpr (kShortcuts && !kMayMeetDeadEnds) {
            // Every position of the run is in this state, so the longest
            // acceptance among them is at its end.
            if (looped && has_runs) {
                if (const RunExits* exits = shortcuts->run_exits(next))
                    Iter::advance_run(state, exits->find(state.cursor, end));
            }
        }
        if constexpr (kMayMeetDeadEnds) {
            if (state.cursor < memo_limit &&
                memo.known(state.cursor, static_cast<std::uint32_t>(row)))
                break;
        }
        const std::uint32_t slot = Dfa::word_at(slots, row);
        if constexpr (kHasLookahead) {
            if (slot != Dfa::kNotAccepting && (slot & Dfa::kNeedsLookahead) != 0) [[unlikely]] {
                if (const AcceptData* entry = choose_entry(dfa, static_cast<std::uint32_t>(row),
                                                           chars, state.cursor, ctx)) {
                    best = state;
                    best_row = row;
                    best_index = static_cast<std::uint32_t>(entry - accepts);
                }
                continue;
            }
        }
        // Below kNeedsLookahead: accepting, and the slot is the entry's index.
        const bool accepting = slot < Dfa::kNeedsLookahead;
        select_state(accepting, best, state);
        best_row = accepting ? row : best_row;
        best_index = accepting ? slot : best_index;
    }
    if (state.cursor != best.cursor) {
        remember_dead_ends(memo, dfa, match_function, start.cursor, best.cursor,
                           static_cast<std::uint32_t>(best_row), state.cursor);
    }
    read_end = std::max(read_end, read_end_at(state.cursor, chars.begin(), end));
    return best_index == Dfa::kNotAccepting ? nullptr : accepts + best_index;
}

// Most attempts start past every remembered dead end and most automata have
// no lookahead; their loop leaves out both tests.
template <bool kShortcuts, class Iter>
[[gnu::always_inline]] inline const AcceptData* attempt(
    const Iter& chars, const typename Iter::State& start, const Dfa& dfa,
    const MatchFunction& match_function, const DfaShortcuts* shortcuts,
    std::span<const Dfa> lookaheads, DeadEndMemo& memo, LookaheadDeadEnds* lookahead_dead_ends,
    typename Iter::State& best, std::size_t& read_end) {
    if (start.cursor < memo.limit()) {
        return attempt_with<true, true, kShortcuts>(chars, start, dfa, match_function, shortcuts,
                                                    lookaheads, memo, lookahead_dead_ends, best,
                                                    read_end);
    }
    if (dfa.has_lookahead()) {
        return attempt_with<false, true, kShortcuts>(chars, start, dfa, match_function, shortcuts,
                                                     lookaheads, memo, lookahead_dead_ends, best,
                                                     read_end);
    }
    return attempt_with<false, false, kShortcuts>(chars, start, dfa, match_function, shortcuts,
                                                  lookaheads, memo, lookahead_dead_ends, best,
                                                  read_end);
}

template <class Iter>
[[gnu::always_inline]] inline void fill_match(const Iter& chars, const typename Iter::State& start,
                                              const typename Iter::State& end,
                                              const AcceptData& entry, Match& match) {
    match.span.start = static_cast<std::size_t>(start.cursor - chars.begin());
    match.span.end = static_cast<std::size_t>(end.cursor - chars.begin());
    match.token_type = entry.token_type;
    if constexpr (Iter::kTracksPositions) {
        Positions& positions = match.positions.emplace();
        positions.start_position = Iter::next_position(start);
        positions.end_position = Iter::next_position(end);
    } else {
        match.positions.reset();
    }
}

}  // namespace

bool evaluate_lookahead(CharIter rest, const AcceptData& entry, const MatchFunction& match_function,
                        std::span<const Dfa> lookaheads) {
    std::size_t read_end = 0;
    return evaluate_lookahead(
        rest, entry, SearchContext{match_function, lookaheads, nullptr, nullptr, &read_end});
}

template <class Iter>
std::optional<Match> find_next(Iter& chars, const Dfa& dfa, const MatchFunction& match_function,
                               std::span<const Dfa> lookaheads) {
    check_has_start_state(dfa);
    const typename Iter::State start = chars.state();
    typename Iter::State best = start;
    DeadEndMemo memo(chars.begin());
    std::size_t read_end = 0;
    const AcceptData* entry = attempt<false>(chars, start, dfa, match_function, nullptr, lookaheads,
                                             memo, nullptr, best, read_end);
    if (entry == nullptr) {
        chars.set_state(start);
        return std::nullopt;
    }
    chars.set_state(best);
    Match match;
    fill_match(chars, start, best, *entry, match);
    return match;
}

template <class Iter>
bool BasicFindMatches<Iter>::next_match(Match& match) {
    return next_matches(std::span<Match>(&match, 1)) == 1;
}

// The iterator's state stays in locals across tokens and is written back once
// before returning; the mode's tables are looked up again only after a token
// switches modes.
template <class Iter>
std::size_t BasicFindMatches<Iter>::next_matches(std::span<Match> out) {
    if (interrupt_due_) {
        interrupt_due_ = false;
        interrupt_countdown_.check();
    }
    const MatchFunction& match_function = scanner_->match_function();
    const std::span<const Dfa> lookaheads = scanner_->lookaheads();
    const char* const begin = char_iter_.begin();
    const char* const end = char_iter_.end();
    typename Iter::State start = char_iter_.state();
    typename Iter::State best = start;
    std::size_t count = 0;
    // Charges the bytes skipped and read up to `read_end`, and one for the
    // attempt. When a check is due with tokens in hand, they are returned
    // first and the check runs at the next call: the iterator then stands
    // before the token being searched, as after a check that finds nothing.
    const auto charge = [&](const char* skipped_from, std::size_t read_end) {
        read_end_ = std::max(read_end_, read_end);
        const std::size_t units = read_end - static_cast<std::size_t>(skipped_from - begin) + 1;
        if (!interrupt_countdown_.spend(units))
            return false;
        if (count > 0) {
            interrupt_due_ = true;
            return true;
        }
        interrupt_countdown_.check();  // the iterator has not moved yet
        return false;
    };
    while (count < out.size()) {
        // The automaton of the mode current when this token's search begins.
        const ModeIndex mode = state_->mode;
        const Dfa& dfa = scanner_->dfa(mode);
        check_has_start_state(dfa);
        const DfaShortcuts& shortcuts = scanner_->shortcuts(mode);
        DeadEndMemo& memo = dead_ends_.use_mode(mode);
        const bool switches_modes = scanner_->has_transitions(mode);
        while (count < out.size() && state_->mode == mode) {
            const char* const skipped_from = start.cursor;
            // Characters at which no token starts are passed over without an
            // attempt; a one-byte token is emitted without one.
            std::uint32_t action = DfaShortcuts::kAttempt;
            while (start.cursor != end) {
                const auto byte = static_cast<unsigned char>(*start.cursor);
                if (byte >= 0x80)
                    break;
                action = shortcuts.start_action(byte);
                if (action != DfaShortcuts::kNoToken)
                    break;
                Iter::advance(start, start.cursor + 1, byte);
            }
            if (start.cursor == end) {
                // An attempt at the end reads nothing and finds nothing.
                charge(skipped_from, static_cast<std::size_t>(end - begin) + 1);
                char_iter_.set_state(start);
                return count;
            }
            if (action < DfaShortcuts::kAttempt) {
                best = start;
                Iter::advance(best, start.cursor + 1, static_cast<unsigned char>(*start.cursor));
                // An attempt would have read the next character and found no move.
                const std::size_t read_end = read_end_at(best.cursor, begin, end);
                const AcceptData& entry = dfa.accepts()[action];
                fill_match(char_iter_, start, best, entry, out[count++]);
                if (switches_modes)
                    scanner_->apply_transition(*state_, entry.token_type);
                start = best;
                if (charge(skipped_from, read_end))
                    break;
                continue;
            }
            std::size_t read_end = 0;
            const AcceptData* entry =
                attempt<true>(char_iter_, start, dfa, match_function, &shortcuts, lookaheads, memo,
                              &lookahead_dead_ends_, best, read_end);
            if (entry != nullptr) {
                fill_match(char_iter_, start, best, *entry, out[count++]);
                if (switches_modes)
                    scanner_->apply_transition(*state_, entry->token_type);
                start = best;
            } else {
                // No token starts here: skip one character.
                char32_t ch = 0;
                const char* after = decode_utf8(start.cursor, ch);
                Iter::advance(start, after, ch);
            }
            if (charge(skipped_from, read_end))
                break;
        }
        if (interrupt_due_)
            break;
    }
    char_iter_.set_state(start);
    return count;
}

template class BasicFindMatches<CharIter>;
template class BasicFindMatches<CharIterWithPosition>;
template std::optional<Match> find_next(CharIter&, const Dfa&, const MatchFunction&,
                                        std::span<const Dfa>);
template std::optional<Match> find_next(CharIterWithPosition&, const Dfa&, const MatchFunction&,
                                        std::span<const Dfa>);

}  // namespace quarn::runtime
