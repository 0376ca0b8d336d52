// Flags shared by the module's types: the types themselves cannot be changed
// from Python where the interpreter supports immutable types.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quarn::python {

#ifdef Py_TPFLAGS_IMMUTABLETYPE
inline constexpr unsigned long kTypeFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
#else
inline constexpr unsigned long kTypeFlags = Py_TPFLAGS_DEFAULT;
#endif

}  // namespace quarn::python
