#include "quarn/pipeline/convert_dfa.hpp"

#include <string>
#include <utility>

#include "quarn/base/errors.hpp"
#include "quarn/generate/pattern.hpp"

namespace quarn::pipeline {

base::Result<runtime::Dfa, generate::DfaConversionError> DfaConverter::convert(
    const generate::Dfa& dfa) {
    const std::size_t cells = dfa.states.size() * (num_classes_ + 1);
    if (cells > max_table_cells_ - table_cells_) {
        return base::err(generate::DfaConversionError{
            "The DFA is too large: the scanner's tables would need more than " +
            std::to_string(max_table_cells_) + " cells"});
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
            auto lookahead = convert_lookahead(accept.lookahead);
            if (!lookahead)
                return base::err(std::move(lookahead).error());
            converted.accept_data.push_back(runtime::AcceptData{
                lookahead.value(),
                static_cast<runtime::TokenType>(accept.token_type.value()),
                static_cast<runtime::Priority>(accept.priority),
            });
        }
        states.push_back(std::move(converted));
    }
    return runtime::Dfa(std::move(states));
}

base::Result<runtime::Lookahead, generate::DfaConversionError> DfaConverter::convert_lookahead(
    const generate::Lookahead& lookahead) {
    using Kind = generate::Lookahead::Kind;
    if (lookahead.kind == Kind::None)
        return runtime::Lookahead::none();
    const std::size_t id = lookahead.id.as_usize();
    base::check_index(id, lookaheads_.size());
    if (!is_converted_[id]) {
        is_converted_[id] = true;
        auto converted = convert(lookaheads_[id]);
        if (!converted)
            return base::err(std::move(converted).error());
        converted_[id] = std::move(converted).value();
    }
    return lookahead.kind == Kind::Positive ? runtime::Lookahead::positive(lookahead.id.value())
                                            : runtime::Lookahead::negative(lookahead.id.value());
}

runtime::Dfa convert_dfa(const generate::Dfa& dfa, std::size_t num_classes) {
    auto converted = DfaConverter(num_classes).convert(dfa);
    if (!converted)
        base::fail(converted.error().display());
    return std::move(converted).value();
}

}  // namespace quarn::pipeline
