#include "quarn/generate/scanner_data.hpp"

#include <algorithm>
#include <unordered_map>

#include "quarn/base/errors.hpp"

namespace quarn::generate {

namespace {

// The first position of every mode name. Built once per scanner, it gives the
// same answer as a linear search from mode 0 without its quadratic cost on
// definitions with many modes.
class ModeIndex {
  public:
    explicit ModeIndex(std::span<const std::string_view> mode_names) {
        positions_.reserve(mode_names.size());
        for (std::size_t i = 0; i < mode_names.size(); ++i)
            positions_.try_emplace(mode_names[i], i);
    }

    std::uint64_t position(const std::string& name) const {
        const auto found = positions_.find(name);
        if (found == positions_.end())
            base::fail("Scanner mode '" + name + "' not found");
        return found->second;
    }

  private:
    std::unordered_map<std::string_view, std::uint64_t> positions_;
};

std::vector<TransitionToNumericMode> convert(const std::vector<TransitionToNamedMode>& transitions,
                                             const ModeIndex& index) {
    using Kind = TransitionToNamedMode::Kind;
    std::vector<TransitionToNumericMode> converted;
    converted.reserve(transitions.size());
    for (const TransitionToNamedMode& transition : transitions) {
        switch (transition.kind()) {
            case Kind::SetMode:
                converted.push_back(TransitionToNumericMode::set_mode(
                    transition.token_type(), index.position(transition.target_mode())));
                break;
            case Kind::PushMode:
                converted.push_back(TransitionToNumericMode::push_mode(
                    transition.token_type(), index.position(transition.target_mode())));
                break;
            case Kind::PopMode:
                converted.push_back(TransitionToNumericMode::pop_mode(transition.token_type()));
                break;
        }
    }
    std::stable_sort(converted.begin(), converted.end(),
                     [](const TransitionToNumericMode& a, const TransitionToNumericMode& b) {
                         return a.token_type() < b.token_type();
                     });
    return converted;
}

std::vector<std::string_view> mode_names(
    const std::vector<ScannerModeWithNamedTransitions>& modes) {
    std::vector<std::string_view> names;
    names.reserve(modes.size());
    for (const ScannerModeWithNamedTransitions& mode : modes)
        names.push_back(mode.name);
    return names;
}

}  // namespace

const std::string& TransitionToNamedMode::target_mode() const {
    QUARN_CHECK(kind_ != Kind::PopMode, "a pop transition has no target mode");
    return target_mode_;
}

std::vector<TransitionToNumericMode> ScannerModeWithNamedTransitions::convert_transitions(
    std::span<const std::string_view> names) const {
    return convert(transitions, ModeIndex(names));
}

std::vector<ScannerMode> ScannerData::build_scanner_modes() const {
    const std::vector<std::string_view> names = mode_names(modes);
    const ModeIndex index(names);
    std::vector<ScannerMode> result;
    result.reserve(modes.size());
    for (const ScannerModeWithNamedTransitions& mode : modes) {
        std::vector<TransitionToNumericMode> transitions = convert(mode.transitions, index);
        result.emplace_back(mode.name, mode.patterns, std::move(transitions));
    }
    return result;
}

}  // namespace quarn::generate
