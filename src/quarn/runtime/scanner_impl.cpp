#include "quarn/runtime/scanner_impl.hpp"

#include "quarn/base/errors.hpp"
#include "quarn/runtime/find_matches.hpp"

namespace quarn::runtime {

std::shared_ptr<ScannerImpl> ScannerImpl::create(std::vector<ScannerMode> modes) {
    return std::shared_ptr<ScannerImpl>(new ScannerImpl(std::move(modes)));
}

void ScannerImpl::build_transition_map() const {
    transition_map_.reserve(modes_.size());
    for (const ScannerMode& mode : modes_) {
        TransitionMap& map = transition_map_.emplace_back();
        map.reserve(mode.transitions.size());
        for (const Transition& transition : mode.transitions) {
            map.insert_or_assign(transition.token_type(), transition);
        }
    }
    transition_map_built_ = true;
}

std::optional<Transition> ScannerImpl::transition_for_token_type(TokenType token_type) const {
    if (!transition_map_built_)
        build_transition_map();
    if (current_mode_ >= transition_map_.size())
        return std::nullopt;
    const TransitionMap& map = transition_map_[current_mode_];
    if (map.empty())
        return std::nullopt;
    const auto it = map.find(token_type);
    if (it == map.end())
        return std::nullopt;
    return it->second;
}

void ScannerImpl::apply_mode_transition(TokenType token_type) {
    const std::optional<Transition> transition = transition_for_token_type(token_type);
    if (!transition)
        return;
    switch (transition->kind()) {
        case Transition::Kind::SetMode:
            current_mode_ = transition->target_mode();
            break;
        case Transition::Kind::PushMode:
            mode_stack_.push_back(current_mode_);
            current_mode_ = transition->target_mode();
            break;
        case Transition::Kind::PopMode:
            if (!mode_stack_.empty()) {
                current_mode_ = mode_stack_.back();
                mode_stack_.pop_back();
            }
            break;
    }
}

FindMatches ScannerImpl::find_matches(ValidatedUtf8 input,
                                      std::shared_ptr<const MatchFunction> match_function) {
    return FindMatches(input, shared_from_this(), std::move(match_function));
}

FindMatchesWithPosition ScannerImpl::find_matches_with_position(
    ValidatedUtf8 input, std::shared_ptr<const MatchFunction> match_function) {
    return FindMatchesWithPosition(input, shared_from_this(), std::move(match_function));
}

}  // namespace quarn::runtime
