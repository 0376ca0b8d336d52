#include "quarn/definition/scanner_data.hpp"

namespace quarn::definition {

std::vector<generate::Pattern> ModeDefinition::patterns() const {
    std::vector<generate::Pattern> result;
    result.reserve(tokens.size());
    for (const TokenClause& token : tokens)
        result.push_back(token.pattern);
    return result;
}

}  // namespace quarn::definition
