#include "quarn/pipeline/mode_transitions.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace quarn::pipeline {

base::Result<std::vector<std::vector<runtime::Transition>>, BuildError> resolve_transitions(
    const definition::ScannerData& data) {
    // The first position of every name: one lookup per transition instead of
    // a linear search from mode 0.
    std::unordered_map<std::string_view, runtime::ModeIndex> positions;
    positions.reserve(data.modes.size());
    for (std::size_t i = 0; i < data.modes.size(); ++i)
        positions.try_emplace(data.modes[i].name, i);

    using Kind = definition::Transition::Kind;
    std::vector<std::vector<runtime::Transition>> result;
    result.reserve(data.modes.size());
    for (const definition::ModeDefinition& mode : data.modes) {
        std::vector<runtime::Transition>& resolved = result.emplace_back();
        resolved.reserve(mode.transitions.size());
        for (const definition::Transition& transition : mode.transitions) {
            if (transition.kind == Kind::Pop) {
                resolved.push_back(runtime::Transition::pop_mode(transition.token_type));
                continue;
            }
            const auto target = positions.find(transition.target_mode);
            if (target == positions.end()) {
                return base::err(
                    BuildError{BuildError::Kind::Construction,
                               "Scanner mode '" + transition.target_mode + "' not found",
                               mode.name,
                               transition.clause,
                               {},
                               mode.clause_offset(transition.clause)});
            }
            resolved.push_back(
                transition.kind == Kind::Enter
                    ? runtime::Transition::set_mode(transition.token_type, target->second)
                    : runtime::Transition::push_mode(transition.token_type, target->second));
        }
        std::stable_sort(resolved.begin(), resolved.end(),
                         [](const runtime::Transition& a, const runtime::Transition& b) {
                             return a.token_type() < b.token_type();
                         });
    }
    return result;
}

}  // namespace quarn::pipeline
