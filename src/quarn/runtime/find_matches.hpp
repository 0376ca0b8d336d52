// The match search. At each position: the longest prefix the current mode's
// automaton accepts, the token type from the first accept entry whose
// lookahead holds, then the mode switch attached to that token type.
// Characters at which no token starts are skipped one at a time.
//
// FindMatches reports byte spans; FindMatchesWithPosition adds line and column.
// Both run the same algorithm, instantiated per character iterator.
#pragma once

#include <memory>
#include <optional>
#include <span>

#include "quarn/base/interrupt.hpp"
#include "quarn/runtime/char_iter/iter.hpp"
#include "quarn/runtime/char_iter/iter_with_position.hpp"
#include "quarn/runtime/compiled_scanner.hpp"
#include "quarn/runtime/dead_end_memo.hpp"
#include "quarn/runtime/match_function.hpp"
#include "quarn/runtime/match_types.hpp"
#include "quarn/runtime/mode_state.hpp"
#include "quarn/runtime/tables.hpp"

namespace quarn::runtime {

// Whether `entry`'s lookahead, an index into `lookaheads`, holds on `rest`,
// the text right after a candidate. InternalError for an entry without
// lookahead or an index outside the table.
bool evaluate_lookahead(CharIter rest, const AcceptData& entry, const MatchFunction& match_function,
                        std::span<const Dfa> lookaheads);

template <class Iter>
class BasicFindMatches {
  public:
    // `input` and `state` are borrowed and must outlive the iterator.
    BasicFindMatches(ValidatedUtf8 input, std::shared_ptr<const CompiledScanner> scanner,
                     ModeState& state)
        : char_iter_(input),
          scanner_(std::move(scanner)),
          state_(&state),
          dead_ends_(input.view().data(), input.view().size()),
          lookahead_dead_ends_(input.view().data()) {}
    // Moves keep the memos where they are; a copy would point into the original's.
    BasicFindMatches(BasicFindMatches&&) = default;
    BasicFindMatches& operator=(BasicFindMatches&&) = default;
    BasicFindMatches(const BasicFindMatches&) = delete;
    BasicFindMatches& operator=(const BasicFindMatches&) = delete;

    // Stores the next token in `match`, with its mode switch already applied,
    // and returns true; returns false once the input is exhausted. Throws
    // InternalError only for broken tables, base::Interrupted when the host's
    // interrupt check asks (the iterator and mode state then stay before the
    // token being searched).
    bool next_match(Match& match);
    // Stores the next tokens in `out`, as next_match() would one by one, and
    // returns how many: 0 once the input is exhausted, and fewer than
    // out.size() at the end of the input or before an interrupt check, which
    // then runs at the next call.
    std::size_t next_matches(std::span<Match> out);
    std::optional<Match> next_match() {
        Match match;
        if (!next_match(match))
            return std::nullopt;
        return match;
    }

    const Iter& char_iter() const { return char_iter_; }

    // One more than the byte offset of the furthest character any step so far
    // has examined (token reads, lookaheads, characters skipped), so more than
    // the input's length once a step ran out of input. Steps that stayed within
    // the input would decide alike on any longer input that starts with it;
    // a scan of text arriving in pieces relies on that.
    std::size_t read_end() const { return read_end_; }

  private:
    // What the loop needs of the mode it scans in, looked up again only when
    // the mode changes (one token per call would otherwise pay for it each time).
    struct CurrentMode {
        ModeIndex mode = ~ModeIndex{0};
        const Dfa* dfa = nullptr;
        const ScanTable* table = nullptr;
        DeadEndMemo* memo = nullptr;
        bool switches_modes = false;
    };

    void use_mode(ModeIndex mode);

    Iter char_iter_;
    std::shared_ptr<const CompiledScanner> scanner_;
    ModeState* state_;
    ModeDeadEnds dead_ends_;
    LookaheadDeadEnds lookahead_dead_ends_;
    base::InterruptCountdown interrupt_countdown_;
    CurrentMode current_;
    std::size_t read_end_ = 0;
    bool interrupt_due_ = false;
};

extern template class BasicFindMatches<CharIter>;
extern template class BasicFindMatches<CharIterWithPosition>;

}  // namespace quarn::runtime
