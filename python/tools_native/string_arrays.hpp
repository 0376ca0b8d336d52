// Scans of columnar string arrays handed over as raw buffers (Arrow's
// layout); the Arrow objects themselves are built on the Python side.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "quarn/pipeline/build_scanner.hpp"

namespace quarn::tools {

// scan_arrow(offsets, data, validity, offset, length, large, positions, chars,
// texts, threads) -> (columns, list offsets, large list, validity, text
// offsets, text data); the last three are None when not needed. Invalid UTF-8 raises
// `utf8_failure` with (message, offset, document).
PyObject* scan_string_array(const pipeline::Scanner& scanner, PyObject* args,
                            PyObject* utf8_failure);

}  // namespace quarn::tools
