#include "quarn/generate/scanner_mode.hpp"

#include "quarn/base/errors.hpp"

namespace quarn::generate {

std::uint64_t TransitionToNumericMode::target_mode() const {
    QUARN_CHECK(kind_ != Kind::PopMode, "a pop transition has no target mode");
    return target_mode_;
}

std::string debug_string(const TransitionToNumericMode& transition) {
    const std::string token_type = std::to_string(transition.token_type());
    switch (transition.kind()) {
        case TransitionToNumericMode::Kind::SetMode:
            return "SetMode(" + token_type + ", " + std::to_string(transition.target_mode()) + ")";
        case TransitionToNumericMode::Kind::PushMode:
            return "PushMode(" + token_type + ", " + std::to_string(transition.target_mode()) + ")";
        case TransitionToNumericMode::Kind::PopMode:
            return "PopMode(" + token_type + ")";
    }
    base::unreachable("unknown transition kind");
}

}  // namespace quarn::generate
