// Token columns as a Python object: each column exported through the buffer
// protocol (NumPy and memoryview read it in place), texts cut from the source.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "quarn/batch/token_columns.hpp"

namespace quarn::tools {

PyTypeObject* columns_type();
PyTypeObject* column_buffer_type();

// A new Columns object owning `columns`, or nullptr with a Python error set.
PyObject* new_columns(batch::TokenColumns&& columns, bool positions);

}  // namespace quarn::tools
