// Generator automata -> runtime tables.
#pragma once

#include <cstddef>

#include "quarn/generate/dfa.hpp"
#include "quarn/runtime/tables.hpp"

namespace quarn::pipeline {

// The runtime form of a minimized generator DFA: state k stays state k, every row
// has exactly `num_classes` entries (a later transition on the same class wins),
// accept lists keep their order, and lookahead automata are converted with the
// same width so one match function serves them all. A class number at or beyond
// `num_classes` throws base::InternalError.
runtime::Dfa convert_dfa(const generate::Dfa& dfa, std::size_t num_classes);

}  // namespace quarn::pipeline
