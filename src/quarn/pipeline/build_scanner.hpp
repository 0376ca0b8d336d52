// Definition text -> ready scanner: the construction steps in their fixed order.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "quarn/base/result.hpp"
#include "quarn/runtime/match_function.hpp"
#include "quarn/runtime/scanner_impl.hpp"

namespace quarn::pipeline {

// A compiled scanner: the mode state with its tables (released with the last
// holder of `scanner_impl`, iterators included) and the match function shared
// by every iterator.
struct Scanner {
    std::shared_ptr<runtime::ScannerImpl> scanner_impl;
    std::shared_ptr<const runtime::MatchFunction> match_function;
};

// The prefix of every definition error.
inline constexpr std::string_view kDefinitionErrorPrefix = "Failed to parse scanner definition: ";

// Builds a scanner in mode 0. A definition the parser rejects comes back as the
// error value, already prefixed with kDefinitionErrorPrefix. Failures after
// parsing (an unknown target mode, a token pattern that cannot be compiled, a
// failed NFA-to-DFA conversion) and violated invariants throw
// base::InternalError with their fixed messages; nothing is left behind.
base::Result<Scanner, std::string> build_scanner(std::string_view definition);

}  // namespace quarn::pipeline
