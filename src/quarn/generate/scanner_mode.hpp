// A generator-side scanner mode: its patterns and its transitions with the
// target modes resolved to mode numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarn/generate/pattern.hpp"

namespace quarn::generate {

// `on <token type> enter|push <mode number>` or `on <token type> pop`.
class TransitionToNumericMode {
  public:
    enum class Kind : std::uint8_t { SetMode, PushMode, PopMode };

    static TransitionToNumericMode set_mode(std::uint64_t token_type, std::uint64_t mode) {
        return {Kind::SetMode, token_type, mode};
    }
    static TransitionToNumericMode push_mode(std::uint64_t token_type, std::uint64_t mode) {
        return {Kind::PushMode, token_type, mode};
    }
    static TransitionToNumericMode pop_mode(std::uint64_t token_type) {
        return {Kind::PopMode, token_type, 0};
    }

    Kind kind() const { return kind_; }
    std::uint64_t token_type() const { return token_type_; }
    // SetMode and PushMode only: the position of the target in the mode list.
    std::uint64_t target_mode() const;

    friend bool operator==(const TransitionToNumericMode&,
                           const TransitionToNumericMode&) = default;

  private:
    TransitionToNumericMode(Kind kind, std::uint64_t token_type, std::uint64_t mode)
        : kind_(kind), token_type_(token_type), target_mode_(mode) {}

    Kind kind_;
    std::uint64_t token_type_;
    std::uint64_t target_mode_;
};

// "SetMode(5, 1)", "PushMode(5, 1)", "PopMode(5)".
std::string debug_string(const TransitionToNumericMode& transition);

struct ScannerMode {
    std::string name;
    std::vector<Pattern> patterns;
    // Sorted by token type; equal token types keep their definition order.
    std::vector<TransitionToNumericMode> transitions;

    ScannerMode(std::string mode_name, std::vector<Pattern> mode_patterns,
                std::vector<TransitionToNumericMode> mode_transitions)
        : name(std::move(mode_name)),
          patterns(std::move(mode_patterns)),
          transitions(std::move(mode_transitions)) {}
};

}  // namespace quarn::generate
