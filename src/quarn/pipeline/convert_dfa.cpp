#include "quarn/pipeline/convert_dfa.hpp"

#include <utility>
#include <vector>

#include "quarn/base/errors.hpp"
#include "quarn/generate/pattern.hpp"

namespace quarn::pipeline {

namespace {

runtime::Lookahead convert_lookahead(const generate::Lookahead& lookahead,
                                     std::size_t num_classes) {
    switch (lookahead.kind()) {
        case generate::Lookahead::Kind::None:
            return runtime::Lookahead::none();
        case generate::Lookahead::Kind::Positive:
            return runtime::Lookahead::positive(
                convert_dfa(lookahead.automaton().dfa(), num_classes));
        case generate::Lookahead::Kind::Negative:
            return runtime::Lookahead::negative(
                convert_dfa(lookahead.automaton().dfa(), num_classes));
    }
    base::unreachable("unknown lookahead kind");
}

}  // namespace

runtime::Dfa convert_dfa(const generate::Dfa& dfa, std::size_t num_classes) {
    std::vector<runtime::DfaState> states;
    states.reserve(dfa.states.size());
    for (const generate::DfaState& state : dfa.states) {
        runtime::DfaState converted;
        converted.transitions.resize(num_classes);
        for (const generate::DfaTransition& transition : state.transitions) {
            const std::size_t cls = transition.elementary_interval_index.as_usize();
            base::check_index(cls, num_classes);
            converted.transitions[cls] = runtime::DfaTransition{transition.target.value()};
        }
        converted.accept_data.reserve(state.accept_data.size());
        for (const generate::Pattern& pattern : state.accept_data) {
            converted.accept_data.push_back(runtime::AcceptData{
                convert_lookahead(pattern.lookahead, num_classes),
                static_cast<runtime::TokenType>(pattern.terminal_type.value()),
                static_cast<runtime::Priority>(pattern.priority),
            });
        }
        states.push_back(std::move(converted));
    }
    return runtime::Dfa(std::move(states));
}

}  // namespace quarn::pipeline
