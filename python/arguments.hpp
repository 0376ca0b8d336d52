// Parsing of the single `str` parameter that every quarn call takes, with the
// interpreter's usual TypeError wording and the parameter named in each message.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quarn::python {

// A call's name and its one parameter, e.g. {"Scanner.find_matches", "input"}.
struct Signature {
    const char* function;
    const char* parameter;
};

// For METH_FASTCALL | METH_KEYWORDS methods. Returns the argument (borrowed) once
// it is known to be a str, or nullptr with TypeError set.
PyObject* single_str_argument(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);

// For tp_new, which receives a tuple and a dict (or nullptr).
PyObject* single_str_argument(const Signature& signature, PyObject* args, PyObject* kwargs);

}  // namespace quarn::python
