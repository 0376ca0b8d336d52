#include "panic.hpp"

#include <exception>
#include <new>

#include "quarn/base/interrupt.hpp"

namespace quarn::python {

namespace {

// The qualified name is part of the module's interface.
constexpr const char* kPanicName = "pyo3_runtime.PanicException";
constexpr const char* kPanicDoc =
    "Raised when the scanner engine aborts a call on an internal failure.\n\n"
    "It derives from BaseException, like SystemExit, so that ordinary\n"
    "`except Exception` handlers do not hide it.";

PyObject* panic_type = nullptr;

}  // namespace

PyObject* panic_exception_type() {
    if (panic_type == nullptr) {
        panic_type = PyErr_NewExceptionWithDoc(kPanicName, kPanicDoc, PyExc_BaseException, nullptr);
    }
    return panic_type;
}

PyObject* lenient_str(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* raise_panic(std::string_view message) {
    PyObject* type = panic_exception_type();
    if (type == nullptr)
        return nullptr;
    PyObject* text = lenient_str(message);
    if (text == nullptr)
        return nullptr;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
    return nullptr;
}

bool signal_pending() {
    // Handlers run only with the interpreter lock held; work on a thread
    // without it is left alone.
    return PyGILState_Check() && PyErr_CheckSignals() != 0;
}

void install_interrupt_check() {
    base::set_interrupt_check(&signal_pending);
}

void raise_current_exception() {
    try {
        throw;
    } catch (const base::Interrupted&) {
        // The check that stopped the work has set the handler's exception
        // (KeyboardInterrupt for Ctrl-C).
        if (!PyErr_Occurred())
            PyErr_SetNone(PyExc_KeyboardInterrupt);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_panic(e.what());
    } catch (...) {
        raise_panic("unknown internal failure");
    }
}

}  // namespace quarn::python
