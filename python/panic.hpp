// The boundary between C++ failures and Python exceptions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

namespace quarn::python {

// The class of the panic exception, created once per process. Derives from
// BaseException only, so that `except Exception` does not swallow it.
// Returns a borrowed reference, or nullptr with a Python error set.
PyObject* panic_exception_type();

// Sets the panic exception with `message`; always returns nullptr.
PyObject* raise_panic(std::string_view message);

// Lets long scans and constructions stop for a pending signal: they call
// Python's signal handlers now and then, and an exception raised by one (such
// as KeyboardInterrupt) ends the call with it.
void install_interrupt_check();

// Converts the C++ exception being handled into a Python exception: bad_alloc
// becomes MemoryError, base::Interrupted the exception its signal handler
// raised, everything else the panic exception. Call only inside a catch block.
void raise_current_exception();

// Runs `body` and converts any C++ exception that escapes it; `body` returns a new
// reference or nullptr with a Python error set.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        raise_current_exception();
        return nullptr;
    }
}

// A Python str from UTF-8 text that need not be valid (messages may quote
// arbitrary input); bad bytes become U+FFFD instead of a second failure.
PyObject* lenient_str(std::string_view text);

}  // namespace quarn::python
