#include "quarn/pipeline/convert_dfa.hpp"

#include <string>
#include <utility>

#include "quarn/base/errors.hpp"
#include "quarn/generate/pattern.hpp"

namespace quarn::pipeline {

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
            const std::size_t cls = transition.group.as_usize();
            base::check_index(cls, num_classes_);
            converted.transitions[cls] = runtime::DfaTransition{transition.target.value()};
        }
        converted.accept_data.reserve(state.accept_data.size());
        for (const generate::Accept& accept : state.accept_data) {
            converted.accept_data.push_back(runtime::AcceptData{
                convert_lookahead(accept.lookahead),
                static_cast<runtime::TokenType>(accept.token_type.value()),
                static_cast<runtime::Priority>(accept.priority),
            });
        }
        states.push_back(std::move(converted));
    }
    return runtime::Dfa(std::move(states));
}

runtime::Lookahead DfaConverter::convert_lookahead(const generate::Lookahead& lookahead) {
    using Kind = generate::Lookahead::Kind;
    if (lookahead.kind == Kind::None)
        return runtime::Lookahead::none();
    const std::size_t id = lookahead.id.as_usize();
    base::check_index(id, lookaheads_.size());
    if (!is_converted_[id]) {
        is_converted_[id] = true;
        converted_[id] = convert(lookaheads_[id]);
    }
    return lookahead.kind == Kind::Positive ? runtime::Lookahead::positive(lookahead.id.value())
                                            : runtime::Lookahead::negative(lookahead.id.value());
}

runtime::Dfa convert_dfa(const generate::Dfa& dfa, std::size_t num_classes) {
    return DfaConverter(num_classes).convert(dfa);
}

}  // namespace quarn::pipeline
