// Definition text -> ready scanner: the construction steps in their fixed order.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "quarn/base/result.hpp"
#include "quarn/runtime/compiled_scanner.hpp"
#include "quarn/runtime/match_function.hpp"

namespace quarn::pipeline {

// A compiled scanner, shared by every holder (iterators included) and released
// with the last; each scan brings its own runtime::ModeState.
using Scanner = std::shared_ptr<const runtime::CompiledScanner>;

// The prefix of every definition error.
inline constexpr std::string_view kDefinitionErrorPrefix = "Failed to parse scanner definition: ";

// Builds a scanner. A definition the parser rejects comes back as the
// error value, already prefixed with kDefinitionErrorPrefix. Failures after
// parsing (an unknown target mode, a token pattern that cannot be compiled, a
// failed NFA-to-DFA conversion) and violated invariants throw
// base::InternalError with their fixed messages; nothing is left behind.
// With a definition error, `error_offset` (when given) receives its byte offset.
base::Result<Scanner, std::string> build_scanner(std::string_view definition,
                                                 std::size_t* error_offset = nullptr);

}  // namespace quarn::pipeline
