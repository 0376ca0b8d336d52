// A compiled scanner: the tables of every mode, the lookahead table their
// accept entries refer to by index, the match function and the mode switches
// by token type. Immutable once created, so any number of
// threads may scan with one compiled scanner at the same time, each with its
// own ModeState. Always owned through a std::shared_ptr: every live match
// iterator holds one, and the tables are released with the last holder.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "quarn/base/errors.hpp"
#include "quarn/base/fxhash.hpp"
#include "quarn/runtime/char_iter/iter.hpp"
#include "quarn/runtime/char_iter/iter_with_position.hpp"
#include "quarn/runtime/match_function.hpp"
#include "quarn/runtime/mode_state.hpp"
#include "quarn/runtime/scan_table.hpp"
#include "quarn/runtime/tables.hpp"
#include "quarn/runtime/utf8.hpp"

namespace quarn::runtime {

template <class Iter>
class BasicFindMatches;
using FindMatches = BasicFindMatches<CharIter>;
using FindMatchesWithPosition = BasicFindMatches<CharIterWithPosition>;

class CompiledScanner : public std::enable_shared_from_this<CompiledScanner> {
  public:
    // Mode indices (the scan's start mode 0, transition targets) are checked
    // when a scan uses them, not here.
    static std::shared_ptr<const CompiledScanner> create(std::vector<ScannerMode> modes,
                                                         std::vector<Dfa> lookaheads,
                                                         MatchFunction match_function);
    CompiledScanner(const CompiledScanner&) = delete;
    CompiledScanner& operator=(const CompiledScanner&) = delete;

    const std::vector<ScannerMode>& modes() const { return modes_; }
    const std::vector<Dfa>& lookaheads() const { return lookaheads_; }
    const MatchFunction& match_function() const { return match_function_; }

    // The automaton of `mode`; InternalError when that mode does not exist.
    const Dfa& dfa(ModeIndex mode) const {
        // The throwing check stays out of line: this runs once per token.
        if (mode >= num_modes_) [[unlikely]]
            base::check_index(mode, num_modes_);
        return modes_[mode].dfa;
    }

    // The table the scan loop runs `mode`'s automaton on; `mode` must exist.
    const ScanTable& scan_table(ModeIndex mode) const { return scan_tables_[mode]; }

    // The transition of `mode` for `token_type`, or nullptr; when a mode lists
    // several for one token type, the last one applies.
    const Transition* transition_for(ModeIndex mode, TokenType token_type) const;

    // Whether some token of `mode` switches modes.
    bool has_transitions(ModeIndex mode) const {
        return mode < num_modes_ && !transition_maps_[mode].empty();
    }

    // Applies the current mode's transition for `token_type` to `state`, if
    // there is one. Pop on an empty stack changes nothing.
    void apply_transition(ModeState& state, TokenType token_type) const {
        // Called for every token: skip the map for modes without transitions.
        if (state.mode < num_modes_ && transition_maps_[state.mode].empty())
            return;
        apply_transition_slow(state, token_type);
    }

    // Iterators over `input` that advance `state` as tokens switch modes;
    // creating one changes nothing. Both borrow `input` and `state`: keep them
    // alive while the iterator is used. Include "quarn/runtime/find_matches.hpp"
    // to use the results.
    FindMatches find_matches(ValidatedUtf8 input, ModeState& state) const;
    FindMatchesWithPosition find_matches_with_position(ValidatedUtf8 input, ModeState& state) const;

  private:
    using TransitionMap = std::unordered_map<TokenType, Transition, base::FxHash>;

    CompiledScanner(std::vector<ScannerMode> modes, std::vector<Dfa> lookaheads,
                    MatchFunction match_function);
    void apply_transition_slow(ModeState& state, TokenType token_type) const;

    std::vector<ScannerMode> modes_;
    // modes_.size(), which never changes: the per-token checks would
    // otherwise divide by sizeof(ScannerMode).
    std::size_t num_modes_;
    std::vector<Dfa> lookaheads_;
    MatchFunction match_function_;
    std::vector<TransitionMap> transition_maps_;  // one per mode
    std::vector<ScanTable> scan_tables_;          // one per mode
};

}  // namespace quarn::runtime
