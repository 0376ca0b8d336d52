#include "arguments.hpp"

namespace quarn::python {

namespace {

PyObject* too_many_positional(const Signature& sig, Py_ssize_t given) {
    PyErr_Format(PyExc_TypeError, "%s() takes 1 positional argument but %zd were given",
                 sig.function, given);
    return nullptr;
}

PyObject* unexpected_keyword(const Signature& sig, PyObject* name) {
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", sig.function,
                 name);
    return nullptr;
}

PyObject* duplicate(const Signature& sig) {
    PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.function,
                 sig.parameter);
    return nullptr;
}

PyObject* missing(const Signature& sig) {
    PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: '%s'", sig.function,
                 sig.parameter);
    return nullptr;
}

PyObject* require_str(const Signature& sig, PyObject* value) {
    if (PyUnicode_Check(value))
        return value;
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %.200s", sig.function,
                 sig.parameter, Py_TYPE(value)->tp_name);
    return nullptr;
}

bool is_parameter(const Signature& sig, PyObject* name) {
    return PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, sig.parameter) == 0;
}

}  // namespace

PyObject* single_str_argument(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    nargs = PyVectorcall_NARGS(nargs);
    if (nargs > 1)
        return too_many_positional(sig, nargs);
    PyObject* value = nargs == 1 ? args[0] : nullptr;
    Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < nkw; ++i) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, i);
        if (!is_parameter(sig, name))
            return unexpected_keyword(sig, name);
        if (value != nullptr)
            return duplicate(sig);
        value = args[nargs + i];
    }
    if (value == nullptr)
        return missing(sig);
    return require_str(sig, value);
}

PyObject* single_str_argument(const Signature& sig, PyObject* args, PyObject* kwargs) {
    Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (nargs > 1)
        return too_many_positional(sig, nargs);
    PyObject* value = nargs == 1 ? PyTuple_GET_ITEM(args, 0) : nullptr;
    if (kwargs != nullptr) {
        PyObject* name;
        PyObject* item;
        Py_ssize_t pos = 0;
        while (PyDict_Next(kwargs, &pos, &name, &item)) {
            if (!is_parameter(sig, name))
                return unexpected_keyword(sig, name);
            if (value != nullptr)
                return duplicate(sig);
            value = item;
        }
    }
    if (value == nullptr)
        return missing(sig);
    return require_str(sig, value);
}

}  // namespace quarn::python
