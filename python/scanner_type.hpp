// `Scanner`: a compiled scanner confined to the thread that built it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quarn::python {

// Creates the type once per process; a borrowed reference, or nullptr with an
// error set.
PyTypeObject* scanner_type();

}  // namespace quarn::python
