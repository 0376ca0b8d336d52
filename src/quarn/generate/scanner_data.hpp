// The parsed scanner definition: modes with patterns and transitions that name
// their target mode, and the step that resolves those names to mode numbers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/generate/pattern.hpp"
#include "quarn/generate/scanner_mode.hpp"

namespace quarn::generate {

// `on <token type> enter|push <mode name>` or `on <token type> pop`.
class TransitionToNamedMode {
  public:
    using Kind = TransitionToNumericMode::Kind;

    static TransitionToNamedMode set_mode(std::uint64_t token_type, std::string mode) {
        return {Kind::SetMode, token_type, std::move(mode)};
    }
    static TransitionToNamedMode push_mode(std::uint64_t token_type, std::string mode) {
        return {Kind::PushMode, token_type, std::move(mode)};
    }
    static TransitionToNamedMode pop_mode(std::uint64_t token_type) {
        return {Kind::PopMode, token_type, {}};
    }

    Kind kind() const { return kind_; }
    std::uint64_t token_type() const { return token_type_; }
    // SetMode and PushMode only.
    const std::string& target_mode() const;

    friend bool operator==(const TransitionToNamedMode&, const TransitionToNamedMode&) = default;

  private:
    TransitionToNamedMode(Kind kind, std::uint64_t token_type, std::string mode)
        : kind_(kind), token_type_(token_type), target_mode_(std::move(mode)) {}

    Kind kind_;
    std::uint64_t token_type_;
    std::string target_mode_;
};

struct ScannerModeWithNamedTransitions {
    std::string name;
    std::vector<Pattern> patterns;                   // definition order
    std::vector<TransitionToNamedMode> transitions;  // definition order

    // Resolves each target to the first mode of that name and sorts the result
    // stably by token type. An unknown name throws base::InternalError with
    // "Scanner mode '<name>' not found": that is a construction failure, not a
    // definition error.
    std::vector<TransitionToNumericMode> convert_transitions(
        std::span<const std::string_view> mode_names) const;
};

struct ScannerData {
    std::string name;
    std::vector<ScannerModeWithNamedTransitions> modes;  // mode 0 first

    // One ScannerMode per mode, in order, with resolved and sorted transitions.
    // Throws base::InternalError for an unknown target mode (the first one in
    // mode order, then definition order).
    std::vector<ScannerMode> build_scanner_modes() const;
};

}  // namespace quarn::generate
