// The extension module `quarn`: multi-phase initialisation, one execution step
// that adds the two classes (recording each in `__all__`) and the panic exception.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "panic.hpp"
#include "scanner_type.hpp"
#include "token_match.hpp"

namespace quarn::python {

namespace {

// Appends `name` to the module's `__all__` (creating the list on first use),
// then sets the attribute.
int add_public(PyObject* module, const char* name, PyObject* value) {
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError))
            return -1;
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr)
            return -1;
        if (PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_DECREF(all);
            return -1;
        }
    }
    int status = -1;
    if (!PyList_Check(all)) {
        PyErr_SetString(PyExc_TypeError, "`__all__` must be a list");
    } else {
        PyObject* text = PyUnicode_FromString(name);
        if (text != nullptr) {
            status = PyList_Append(all, text);
            Py_DECREF(text);
        }
    }
    Py_DECREF(all);
    if (status < 0)
        return -1;
    return PyObject_SetAttrString(module, name, value);
}

// The classes are created once per process and shared by every module object
// (a re-import after removal from sys.modules executes this step again). They
// are tied to the first interpreter, so other interpreters are refused.
int exec_module(PyObject* module) {
    static std::int64_t owner_interpreter = -1;
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (owner_interpreter == -1)
        owner_interpreter = interpreter;
    if (interpreter != owner_interpreter) {
        PyErr_SetString(PyExc_ImportError,
                        "quarn can be imported in one interpreter per process only");
        return -1;
    }
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "quarn must be executed as a module");
        return -1;
    }
    PyTypeObject* scanner = scanner_type();
    if (scanner == nullptr)
        return -1;
    PyTypeObject* token_match = token_match_type();
    if (token_match == nullptr)
        return -1;
    PyObject* panic = panic_exception_type();
    if (panic == nullptr)
        return -1;
    install_interrupt_check();
    if (add_public(module, "Scanner", reinterpret_cast<PyObject*>(scanner)) < 0)
        return -1;
    if (add_public(module, "TokenMatch", reinterpret_cast<PyObject*>(token_match)) < 0) {
        return -1;
    }
    // Reachable for `except quarn.PanicException`, but not part of `__all__`.
    return PyObject_SetAttrString(module, "PanicException", panic);
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_mod_multiple_interpreters
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quarn",
    "",  // the module docstring is empty
    0,   // no per-module state
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace quarn::python

PyMODINIT_FUNC PyInit_quarn() {
    return PyModuleDef_Init(&quarn::python::module_def);
}
