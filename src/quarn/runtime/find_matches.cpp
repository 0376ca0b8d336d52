#include "quarn/runtime/find_matches.hpp"

#include <algorithm>

#include "quarn/base/errors.hpp"
#include "quarn/runtime/scan_table.hpp"

namespace quarn::runtime {

namespace {

// What an attempt and the lookahead evaluations inside it share.
struct SearchContext {
    const MatchFunction& match_function;
    std::span<const Dfa> lookaheads;         // the scanner's lookahead table
    LookaheadDeadEnds* lookahead_dead_ends;  // null: remember nothing
    const char* attempt_start;               // no later evaluation starts before it
    const char** examined;                   // raised to every character a lookahead reads
};

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
inline const AcceptData* choose_entry(const Dfa& dfa, std::uint32_t row, const CharIter& chars,
                                      const char* cursor, const SearchContext& ctx) {
    const std::uint32_t slot = dfa.accept_slot(row);
    if ((slot & Dfa::kNeedsLookahead) == 0)
        return dfa.accepts() + slot;
    return choose_entry_with_lookahead(dfa, slot & ~Dfa::kNeedsLookahead, chars.from(cursor), ctx);
}

// Records the dead ends of a read past its last acceptance: every (position,
// row) entered after `from` (in `from_row`) up to `to`.
void remember_dead_ends(DeadEndMemo& memo, const char* table, const Dfa& dfa,
                        const MatchFunction& match_function, const char* attempt_start,
                        const char* from, std::uint32_t from_row, const char* to) {
    memo.prepare(attempt_start, from, to);
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
            *ctx.examined = std::max(*ctx.examined, cursor - 1);
            return true;
        }
    }
    *ctx.examined = std::max(*ctx.examined, cursor);
    // Everything entered on the way is a dead end; worth keeping only for long reads.
    if (ctx.lookahead_dead_ends != nullptr && cursor != start) {
        char32_t first;
        if (decode_utf8(start, first) != cursor) {
            remember_dead_ends((*ctx.lookahead_dead_ends)[&dfa], table, dfa, ctx.match_function,
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

// One anchored attempt from `start` with `dfa` through its scan table. Returns
// the chosen entry of the longest match and sets `best` just past it, or
// returns null. Only reads `chars` (text bounds, lookahead copies). Raises
// `examined` to the furthest character it or its lookaheads examined (the end
// of the text when a read ran out of it).
//
// Per character only the move depends on the previous move, and the move
// alone says what follows: a plain state (record an acceptance without a
// branch), or, above special_from(), a character to decode first (non-ASCII
// bytes lead to the decode column), no move, or a state that needs a
// lookahead or has a run to cross. Where a dead end may be met
// (kMayMeetDeadEnds), every position is looked up in the memo and runs are
// walked. Either way the result is that of a character-by-character walk.
template <bool kMayMeetDeadEnds>
[[gnu::always_inline]] inline const AcceptData* attempt_with(
    const CharIter& chars, const char* start, const Dfa& dfa, const ScanTable& table,
    const MatchFunction& match_function, std::span<const Dfa> lookaheads, DeadEndMemo& memo,
    LookaheadDeadEnds* lookahead_dead_ends, const char*& best, const char*& examined) {
    const char* cursor = start;
    const char* const end = chars.end();
    const char* const moves = table.moves();
    const std::uint32_t accepting_from = table.accepting_from();
    const std::uint32_t special_from = table.special_from();
    // Dead ends are only known behind the memo's limit, which the loop cannot
    // move: an attempt starting beyond it meets none.
    [[maybe_unused]] const char* const memo_limit = memo.limit();
    std::uint32_t row = table.start_row();
    std::uint32_t best_row = row;
    // The entry a lookahead chose, valid while best == chosen_at.
    const AcceptData* chosen = nullptr;
    const char* chosen_at = nullptr;
    best = start;
    while (cursor != end) {
        const char* after = cursor + 1;
        std::uint32_t next =
            Dfa::word_at(moves + table.column_offset(static_cast<unsigned char>(*cursor)), row);
        if (next >= special_from) [[unlikely]] {
            // The first byte of a longer character, no move, or a special state.
            if (next == ScanTable::kDecode) {
                char32_t ch = 0;
                after = decode_utf8(cursor, ch);
                next = Dfa::word_at(
                    moves + dfa.column(match_function.class_of(ch)) * sizeof(std::uint32_t), row);
            }
            if (next >= special_from) {
                if (next == Dfa::kNoMove)
                    break;
                row = next;
                cursor = after;
                if constexpr (kMayMeetDeadEnds) {
                    if (cursor < memo_limit && memo.known(cursor, row))
                        break;
                } else if (const RunExits* exits = table.run_exits(row)) {
                    // Every position of the run is in this state, so the longest
                    // acceptance among them is at its end.
                    cursor = exits->find(cursor, end);
                }
                const std::uint32_t slot = table.accept_slot(row);
                if (slot == Dfa::kNotAccepting)
                    continue;
                if ((slot & Dfa::kNeedsLookahead) != 0) {
                    const SearchContext ctx{match_function, lookaheads, lookahead_dead_ends, start,
                                            &examined};
                    const AcceptData* entry = choose_entry_with_lookahead(
                        dfa, slot & ~Dfa::kNeedsLookahead, chars.from(cursor), ctx);
                    if (entry == nullptr)
                        continue;
                    chosen = entry;
                    chosen_at = cursor;
                }
                best = cursor;
                best_row = row;
                continue;
            }
        }
        row = next;
        cursor = after;
        if constexpr (kMayMeetDeadEnds) {
            if (cursor < memo_limit && memo.known(cursor, row))
                break;
        }
        // Without a branch: whether a move accepts is too irregular to predict.
        const bool accepting = next >= accepting_from;
        best = accepting ? cursor : best;
        best_row = accepting ? row : best_row;
    }
    if (cursor != best) {
        remember_dead_ends(memo, moves, dfa, match_function, start, best, best_row, cursor);
    }
    examined = std::max(examined, cursor);
    if (best == start)
        return nullptr;
    if (best == chosen_at)
        return chosen;
    return dfa.accepts() + table.accept_slot(best_row);
}

// Most attempts start past every remembered dead end; their loop leaves out
// the memo.
[[gnu::always_inline]] inline const AcceptData* attempt(
    const CharIter& chars, const char* start, const Dfa& dfa, const ScanTable& table,
    const MatchFunction& match_function, std::span<const Dfa> lookaheads, DeadEndMemo& memo,
    LookaheadDeadEnds* lookahead_dead_ends, const char*& best, const char*& examined) {
    if (start < memo.limit()) {
        return attempt_with<true>(chars, start, dfa, table, match_function, lookaheads, memo,
                                  lookahead_dead_ends, best, examined);
    }
    return attempt_with<false>(chars, start, dfa, table, match_function, lookaheads, memo,
                               lookahead_dead_ends, best, examined);
}

}  // namespace

bool evaluate_lookahead(CharIter rest, const AcceptData& entry, const MatchFunction& match_function,
                        std::span<const Dfa> lookaheads) {
    const char* examined = rest.begin();
    return evaluate_lookahead(
        rest, entry, SearchContext{match_function, lookaheads, nullptr, nullptr, &examined});
}

template <class Iter>
void BasicFindMatches<Iter>::use_mode(ModeIndex mode) {
    const Dfa& dfa = scanner_->dfa(mode);
    check_has_start_state(dfa);
    current_ = CurrentMode{mode, &dfa, &scanner_->scan_table(mode), &dead_ends_.use_mode(mode),
                           scanner_->has_transitions(mode)};
}

template <class Iter>
bool BasicFindMatches<Iter>::next_match(Match& match) {
    return next_matches(std::span<Match>(&match, 1)) == 1;
}

// The search runs on bare cursors; the iterator's state (with line and
// column when tracked: counted over the text between tokens and over each
// token as it is handed out), the furthest character examined and the
// interrupt countdown stay in locals across tokens and are written back once
// before returning. The mode's tables are looked up again only after a token
// switches modes.
template <class Iter>
std::size_t BasicFindMatches<Iter>::next_matches(std::span<Match> out) {
    if (interrupt_due_) {
        interrupt_due_ = false;
        interrupt_countdown_.check();
    }
    const std::size_t wanted = out.size();
    if (wanted == 0)
        return 0;
    const MatchFunction& match_function = scanner_->match_function();
    const std::span<const Dfa> lookaheads = scanner_->lookaheads();
    const CharIter chars = char_iter_.from(char_iter_.begin());
    const char* const begin = chars.begin();
    const char* const end = chars.end();
    typename Iter::State tracked = char_iter_.state();
    const char* start = tracked.cursor;
    const char* best = start;
    // Every call makes at least one step, which examines at least the
    // character it starts at.
    const char* examined = begin + (read_end_ == 0 ? 0 : read_end_ - 1);
    std::ptrdiff_t work_left = interrupt_countdown_.left_;
    Match* next_out = out.data();
    Match* const out_end = next_out + wanted;
    const auto write_back = [&] {
        read_end_ = std::max(read_end_, static_cast<std::size_t>(examined - begin) + 1);
        interrupt_countdown_.left_ = work_left;
    };
    const auto finish = [&] {
        write_back();
        Iter::advance_run(tracked, start);
        char_iter_.set_state(tracked);
        return static_cast<std::size_t>(next_out - out.data());
    };
    // Charges the bytes from `skipped_from` up to `step_examined`, the furthest
    // character the step examined, and one for the step. When a check falls
    // due with tokens in hand, they are returned first and the check runs at
    // the next call: the iterator then stands before the token being
    // searched, as after a check that finds nothing. Returns whether to
    // return now.
    const auto charge = [&](const char* skipped_from, const char* step_examined) {
        examined = std::max(examined, step_examined);
        work_left -= step_examined - skipped_from + 1;
        if (work_left >= 0) [[likely]]
            return false;
        if (next_out != out.data()) {
            interrupt_due_ = true;
            return true;
        }
        write_back();
        interrupt_countdown_.check();  // the iterator has not moved yet
        work_left = interrupt_countdown_.left_;
        return false;
    };
    // Hands out the token from `start` to `best` and moves past it; true when
    // the batch ends there (an interrupt check due, or a mode switch).
    const auto emit = [&](const AcceptData& entry, const char* skipped_from,
                          const char* step_examined, bool switches_modes, ModeIndex mode)
        __attribute__((always_inline)) {
        Match& match = *next_out++;
        match.span.start = static_cast<std::size_t>(start - begin);
        match.span.end = static_cast<std::size_t>(best - begin);
        match.token_type = entry.token_type;
        if constexpr (Iter::kTracksPositions) {
            match.positions = Iter::advance_over_token(tracked, start, best, end);
        } else {
            match.positions.reset();
        }
        start = best;
        bool mode_switched = false;
        if (switches_modes) {
            scanner_->apply_transition(*state_, entry.token_type);
            mode_switched = state_->mode != mode;
        }
        return charge(skipped_from, step_examined) || mode_switched;
    };
    while (next_out != out_end) {
        // The automaton of the mode current when this token's search begins.
        const ModeIndex mode = state_->mode;
        if (mode != current_.mode) [[unlikely]]
            use_mode(mode);
        const Dfa& dfa = *current_.dfa;
        const ScanTable& table = *current_.table;
        const AcceptData* const accepts = dfa.accepts();
        DeadEndMemo& memo = *current_.memo;
        const bool switches_modes = current_.switches_modes;
        while (next_out != out_end) {
            const char* const skipped_from = start;
            // Characters at which no token starts are passed over without an
            // attempt; a one-byte token is emitted without one.
            std::uint32_t action = ScanTable::kAttempt;
            while (start != end) {
                action = table.start_action(static_cast<unsigned char>(*start));
                if (action != ScanTable::kNoToken)
                    break;
                ++start;
            }
            if (start == end) {
                // An attempt at the end reads nothing and finds nothing.
                charge(skipped_from, end);
                return finish();
            }
            if (action < ScanTable::kAttempt) {
                // An attempt would have read the next character and found no move.
                best = start + 1;
                if (emit(accepts[action], skipped_from, best, switches_modes, mode))
                    break;
                continue;
            }
            const char* step_examined = start;
            if (const AcceptData* entry =
                    attempt(chars, start, dfa, table, match_function, lookaheads, memo,
                            &lookahead_dead_ends_, best, step_examined)) {
                if (emit(*entry, skipped_from, step_examined, switches_modes, mode))
                    break;
                continue;
            }
            // No token starts here: skip one character.
            char32_t ch = 0;
            start = decode_utf8(start, ch);
            if (charge(skipped_from, step_examined))
                break;
        }
        if (interrupt_due_)
            break;
    }
    return finish();
}

template class BasicFindMatches<CharIter>;
template class BasicFindMatches<CharIterWithPosition>;

}  // namespace quarn::runtime
