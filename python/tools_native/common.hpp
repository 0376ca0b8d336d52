// What every part of `quarn_tools._native` shares: exception conversion and
// the tuple form of a scan state.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>

#include "../type_flags.hpp"
#include "quarn/batch/scan_state.hpp"

namespace quarn::tools {

// The types of this module take the same flags as those of `quarn`.
using python::kTypeFlags;

// Runs `body`; a C++ exception escaping it becomes MemoryError or RuntimeError.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "unknown internal failure");
    }
    return nullptr;
}

// Runs `work` with the interpreter lock released; an exception it throws is
// carried back and rethrown with the lock held.
template <class Work>
void without_gil(Work&& work) {
    std::exception_ptr failure;
    Py_BEGIN_ALLOW_THREADS try { work(); } catch (...) {
        failure = std::current_exception();
    }
    Py_END_ALLOW_THREADS if (failure) std::rethrow_exception(failure);
}

// (mode, stack, byte_offset, char_offset, line, column) <-> ScanState.
// None reads as the initial state. Returns false with a Python error set.
bool state_from_tuple(PyObject* tuple, batch::ScanState& state);
PyObject* state_to_tuple(const batch::ScanState& state);

}  // namespace quarn::tools
