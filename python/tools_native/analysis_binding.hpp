// The definition checker's functions for `quarn_tools`, added to any module.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quarn::python {

// Adds check(), statistics() and graph() to `module`; -1 with an exception set on failure.
int add_analysis_functions(PyObject* module);

}  // namespace quarn::python
