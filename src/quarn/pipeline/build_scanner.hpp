// Definition text -> ready scanner: the construction steps in their fixed order.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "quarn/base/result.hpp"
#include "quarn/pipeline/build_error.hpp"
#include "quarn/runtime/compiled_scanner.hpp"
#include "quarn/runtime/match_function.hpp"

namespace quarn::pipeline {

// A compiled scanner, shared by every holder (iterators included) and released
// with the last; each scan brings its own runtime::ModeState.
using Scanner = std::shared_ptr<const runtime::CompiledScanner>;

// The prefix of every definition error.
inline constexpr std::string_view kDefinitionErrorPrefix = "Failed to parse scanner definition: ";

// Builds a scanner. A definition the parser rejects is a Definition error,
// its message prefixed with kDefinitionErrorPrefix; failures after parsing (an
// unknown target mode, a token pattern that cannot be compiled, a size bound)
// are Construction errors with their fixed messages. Only violated invariants
// throw base::InternalError. Nothing is left behind.
base::Result<Scanner, BuildError> build_scanner(std::string_view definition);

}  // namespace quarn::pipeline
