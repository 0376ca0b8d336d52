#include "quarn/runtime/compiled_scanner.hpp"

#include "quarn/runtime/find_matches.hpp"

namespace quarn::runtime {

std::shared_ptr<const CompiledScanner> CompiledScanner::create(std::vector<ScannerMode> modes,
                                                               std::vector<Dfa> lookaheads,
                                                               MatchFunction match_function) {
    return std::shared_ptr<const CompiledScanner>(
        new CompiledScanner(std::move(modes), std::move(lookaheads), std::move(match_function)));
}

CompiledScanner::CompiledScanner(std::vector<ScannerMode> modes, std::vector<Dfa> lookaheads,
                                 MatchFunction match_function)
    : modes_(std::move(modes)),
      num_modes_(modes_.size()),
      lookaheads_(std::move(lookaheads)),
      match_function_(std::move(match_function)) {
    transition_maps_.reserve(modes_.size());
    scan_tables_.reserve(modes_.size());
    for (const ScannerMode& mode : modes_) {
        scan_tables_.emplace_back(mode.dfa, match_function_);
        TransitionMap& map = transition_maps_.emplace_back();
        map.reserve(mode.transitions.size());
        for (const Transition& transition : mode.transitions)
            map.insert_or_assign(transition.token_type(), transition);
    }
}

const Transition* CompiledScanner::transition_for(ModeIndex mode, TokenType token_type) const {
    if (mode >= transition_maps_.size())
        return nullptr;
    const TransitionMap& map = transition_maps_[mode];
    const auto it = map.find(token_type);
    return it == map.end() ? nullptr : &it->second;
}

void CompiledScanner::apply_transition_slow(ModeState& state, TokenType token_type) const {
    const Transition* transition = transition_for(state.mode, token_type);
    if (transition == nullptr)
        return;
    switch (transition->kind()) {
        case Transition::Kind::SetMode:
            state.mode = transition->target_mode();
            break;
        case Transition::Kind::PushMode:
            state.stack.push_back(state.mode);
            state.mode = transition->target_mode();
            break;
        case Transition::Kind::PopMode:
            if (!state.stack.empty()) {
                state.mode = state.stack.back();
                state.stack.pop_back();
            }
            break;
    }
}

FindMatches CompiledScanner::find_matches(ValidatedUtf8 input, ModeState& state) const {
    return FindMatches(input, shared_from_this(), state);
}

FindMatchesWithPosition CompiledScanner::find_matches_with_position(ValidatedUtf8 input,
                                                                    ModeState& state) const {
    return FindMatchesWithPosition(input, shared_from_this(), state);
}

}  // namespace quarn::runtime
