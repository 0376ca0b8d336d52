#include "quarn/runtime/tables.hpp"

#include <algorithm>
#include <utility>

#include "quarn/base/errors.hpp"

namespace quarn::runtime {

Dfa::Dfa(std::vector<DfaState> states) {
    std::size_t width = 0;
    for (const DfaState& state : states)
        width = std::max(width, state.transitions.size());
    const std::uint64_t stride = static_cast<std::uint64_t>(width) + 2;
    // Row byte offsets must stay below kNoMove, state and entry indices below kNeedsLookahead.
    if (states.size() * stride * sizeof(std::uint32_t) >= kNoMove ||
        states.size() >= kNeedsLookahead)
        base::fail("DFA table too large");

    num_states_ = static_cast<std::uint32_t>(states.size());
    width_ = static_cast<std::uint32_t>(width);
    table_.assign(states.size() * stride, kNoMove);
    accept_offsets_.reserve(states.size() + 1);
    accept_offsets_.push_back(0);
    for (std::size_t s = 0; s < states.size(); ++s) {
        std::uint32_t* row = table_.data() + s * stride;
        const auto& transitions = states[s].transitions;
        for (std::size_t cls = 0; cls < transitions.size(); ++cls) {
            if (!transitions[cls])
                continue;
            const StateIndex to = transitions[cls]->to;
            base::check_index(to, states.size());
            row[cls] = static_cast<std::uint32_t>(to * stride * sizeof(std::uint32_t));
        }
        auto& accept_data = states[s].accept_data;
        if (!accept_data.empty()) {
            const bool lookahead = accept_data.front().lookahead.kind() != Lookahead::Kind::None;
            row[width + 1] = lookahead ? static_cast<std::uint32_t>(s) | kNeedsLookahead
                                       : static_cast<std::uint32_t>(accepts_.size());
            has_lookahead_ = has_lookahead_ || lookahead;
        }
        accepts_.insert(accepts_.end(), std::make_move_iterator(accept_data.begin()),
                        std::make_move_iterator(accept_data.end()));
        if (accepts_.size() >= kNeedsLookahead) {
            base::fail("DFA table too large");
        }
        accept_offsets_.push_back(static_cast<std::uint32_t>(accepts_.size()));
    }
}

std::optional<DfaTransition> Dfa::transition(StateIndex state, ClassIndex cls) const {
    base::check_index(state, num_states_);
    if (cls >= width_)
        return std::nullopt;
    const std::uint32_t target = table_[state * (width_ + 2) + cls];
    if (target == kNoMove)
        return std::nullopt;
    return DfaTransition{target / row_stride_bytes()};
}

std::span<const AcceptData> Dfa::accept_data(StateIndex state) const {
    base::check_index(state, num_states_);
    return {accept_begin(state), accept_end(state)};
}

DfaState Dfa::state(StateIndex state) const {
    DfaState result;
    result.transitions.reserve(width_);
    for (ClassIndex cls = 0; cls < width_; ++cls)
        result.transitions.push_back(transition(state, cls));
    const auto accepts = accept_data(state);
    result.accept_data.assign(accepts.begin(), accepts.end());
    return result;
}

bool operator==(const Dfa& a, const Dfa& b) {
    return a.num_states_ == b.num_states_ && a.width_ == b.width_ &&
           a.has_lookahead_ == b.has_lookahead_ && a.table_ == b.table_ &&
           a.accepts_ == b.accepts_ && a.accept_offsets_ == b.accept_offsets_;
}

}  // namespace quarn::runtime
