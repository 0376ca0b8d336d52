#include "quarn/generate/pattern.hpp"

namespace quarn::generate {

std::string dump(const Accept& accept) {
    std::string out =
        'p' + std::to_string(accept.priority) + " t" + std::to_string(accept.token_type.value());
    switch (accept.lookahead.kind) {
        case Lookahead::Kind::None:
            break;
        case Lookahead::Kind::Positive:
            out += " +L" + std::to_string(accept.lookahead.id.value());
            break;
        case Lookahead::Kind::Negative:
            out += " !L" + std::to_string(accept.lookahead.id.value());
            break;
    }
    return out;
}

}  // namespace quarn::generate
