// Mode switches of a definition, target names resolved to mode numbers.
#pragma once

#include <vector>

#include "quarn/base/result.hpp"
#include "quarn/definition/scanner_data.hpp"
#include "quarn/definition/source_map.hpp"
#include "quarn/pipeline/build_error.hpp"
#include "quarn/runtime/tables.hpp"

namespace quarn::pipeline {

// The transitions of every mode, in mode order: each target resolved to the
// first mode of that name, each list sorted stably by token type. An unknown
// name (the first in mode order, then definition order) is the error
// "Scanner mode '<name>' not found", located by `map` when given.
base::Result<std::vector<std::vector<runtime::Transition>>, BuildError> resolve_transitions(
    const definition::ScannerData& data, const definition::SourceMap* map = nullptr);

}  // namespace quarn::pipeline
