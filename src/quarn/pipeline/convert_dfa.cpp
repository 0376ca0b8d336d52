#include "quarn/pipeline/convert_dfa.hpp"

#include <string>
#include <utility>

#include "quarn/base/errors.hpp"
#include "quarn/base/fxhash.hpp"
#include "quarn/generate/pattern.hpp"

namespace quarn::pipeline {

namespace {

// Consistent with the structural equality of generator DFAs; lookaheads nested
// in accept records count by their kind only (equality still compares them).
std::uint64_t structural_hash(const generate::Dfa& dfa) {
    std::uint64_t h = base::fx_hash_u64(dfa.states.size());
    for (const generate::DfaState& state : dfa.states) {
        h = base::fx_add(h, state.transitions.size());
        for (const generate::DfaTransition& t : state.transitions) {
            h = base::fx_add(h, t.elementary_interval_index.value());
            h = base::fx_add(h, t.target.value());
        }
        h = base::fx_add(h, state.accept_data.size());
        for (const generate::Pattern& pattern : state.accept_data) {
            h = base::fx_add(h, pattern.terminal_type.value());
            h = base::fx_add(h, pattern.priority);
            h = base::fx_add(h, static_cast<std::uint64_t>(pattern.lookahead.kind()));
        }
    }
    return h;
}

}  // namespace

runtime::Dfa DfaConverter::convert(const generate::Dfa& dfa) {
    const std::size_t cells = dfa.states.size() * (num_classes_ + 1);
    if (cells > max_table_cells_ - table_cells_) {
        base::fail("Failed to convert NFA to DFA: " +
                   generate::DfaConversionError{
                       "The DFA is too large: the scanner's tables would need more than " +
                       std::to_string(max_table_cells_) + " cells"}
                       .debug());
    }
    table_cells_ += cells;

    std::vector<runtime::DfaState> states;
    states.reserve(dfa.states.size());
    for (const generate::DfaState& state : dfa.states) {
        runtime::DfaState converted;
        converted.transitions.resize(num_classes_);
        for (const generate::DfaTransition& transition : state.transitions) {
            const std::size_t cls = transition.elementary_interval_index.as_usize();
            base::check_index(cls, num_classes_);
            converted.transitions[cls] = runtime::DfaTransition{transition.target.value()};
        }
        converted.accept_data.reserve(state.accept_data.size());
        for (const generate::Pattern& pattern : state.accept_data) {
            converted.accept_data.push_back(runtime::AcceptData{
                convert_lookahead(pattern.lookahead),
                static_cast<runtime::TokenType>(pattern.terminal_type.value()),
                static_cast<runtime::Priority>(pattern.priority),
            });
        }
        states.push_back(std::move(converted));
    }
    return runtime::Dfa(std::move(states));
}

runtime::Lookahead DfaConverter::convert_lookahead(const generate::Lookahead& lookahead) {
    using Kind = generate::Lookahead::Kind;
    if (lookahead.kind() == Kind::None)
        return runtime::Lookahead::none();
    const generate::Dfa& source = lookahead.automaton().dfa();
    const std::uint64_t key =
        base::fx_add(structural_hash(source), static_cast<std::uint64_t>(lookahead.kind()));
    std::vector<SharedLookahead>& candidates = lookaheads_[key];
    for (const SharedLookahead& candidate : candidates) {
        if (candidate.kind == lookahead.kind() &&
            (candidate.source == &source || *candidate.source == source)) {
            return candidate.converted;
        }
    }
    runtime::Dfa converted = convert(source);
    runtime::Lookahead result = lookahead.kind() == Kind::Positive
                                    ? runtime::Lookahead::positive(std::move(converted))
                                    : runtime::Lookahead::negative(std::move(converted));
    candidates.push_back(SharedLookahead{lookahead.kind(), &source, result});
    return result;
}

runtime::Dfa convert_dfa(const generate::Dfa& dfa, std::size_t num_classes) {
    return DfaConverter(num_classes).convert(dfa);
}

}  // namespace quarn::pipeline
