// The mode state of one scanner: its modes (immutable tables), the current
// mode and the stack of modes saved by PushMode. Always owned through a
// std::shared_ptr: the scanner and every live match iterator hold one, and
// the tables are released with the last of them. Single-threaded.
#pragma once

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "quarn/base/errors.hpp"
#include "quarn/base/fxhash.hpp"
#include "quarn/runtime/char_iter/iter.hpp"
#include "quarn/runtime/char_iter/iter_with_position.hpp"
#include "quarn/runtime/match_function.hpp"
#include "quarn/runtime/tables.hpp"
#include "quarn/runtime/utf8.hpp"

namespace quarn::runtime {

template <class Iter>
class BasicFindMatches;
using FindMatches = BasicFindMatches<CharIter>;
using FindMatchesWithPosition = BasicFindMatches<CharIterWithPosition>;

class ScannerImpl : public std::enable_shared_from_this<ScannerImpl> {
  public:
    // Starts in mode 0 with an empty mode stack. Mode 0 must exist for a scan;
    // indices are checked when a scan looks them up, not here.
    static std::shared_ptr<ScannerImpl> create(std::vector<ScannerMode> modes);
    ScannerImpl(const ScannerImpl&) = delete;
    ScannerImpl& operator=(const ScannerImpl&) = delete;

    const std::vector<ScannerMode>& modes() const { return modes_; }

    ModeIndex current_mode_index() const { return current_mode_; }
    void set_current_mode(ModeIndex mode) { current_mode_ = mode; }
    const std::vector<ModeIndex>& mode_stack() const { return mode_stack_; }
    void set_mode_stack(std::vector<ModeIndex> stack) { mode_stack_ = std::move(stack); }

    // The current mode's automaton; InternalError when the current mode does not exist.
    const Dfa& current_dfa() const {
        // The throwing check stays out of line: this runs once per token.
        if (current_mode_ >= num_modes_) [[unlikely]]
            base::check_index(current_mode_, num_modes_);
        return modes_[current_mode_].dfa;
    }

    // The current mode's transition for `token_type`; when a mode lists several,
    // the last one applies.
    std::optional<Transition> transition_for_token_type(TokenType token_type) const;
    // Applies that transition, if any. PopMode on an empty stack changes nothing.
    void handle_mode_transition(TokenType token_type) {
        // Called for every token: skip the map for modes without transitions.
        if (current_mode_ < num_modes_ && modes_[current_mode_].transitions.empty())
            return;
        apply_mode_transition(token_type);
    }

    // Iterators over `input` sharing this scanner's mode state; creating one
    // does not touch the mode state. Both borrow `input`: keep it alive.
    // Include "quarn/runtime/find_matches.hpp" to use the results.
    FindMatches find_matches(ValidatedUtf8 input,
                             std::shared_ptr<const MatchFunction> match_function);
    FindMatchesWithPosition find_matches_with_position(
        ValidatedUtf8 input, std::shared_ptr<const MatchFunction> match_function);

  private:
    using TransitionMap = std::unordered_map<TokenType, Transition, base::FxHash>;

    explicit ScannerImpl(std::vector<ScannerMode> modes)
        : modes_(std::move(modes)), num_modes_(modes_.size()) {}
    void build_transition_map() const;
    void apply_mode_transition(TokenType token_type);

    std::vector<ScannerMode> modes_;
    // modes_.size(), which never changes: the per-token checks would
    // otherwise divide by sizeof(ScannerMode).
    std::size_t num_modes_;
    ModeIndex current_mode_ = 0;
    std::vector<ModeIndex> mode_stack_;
    // One map per mode, built on first use.
    mutable std::vector<TransitionMap> transition_map_;
    mutable bool transition_map_built_ = false;
};

}  // namespace quarn::runtime
