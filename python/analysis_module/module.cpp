// The extension module `quarn_tools._analysis`: the definition checker.
#include "analysis_binding.hpp"

namespace {

int exec_module(PyObject* module) {
    return quarn::python::add_analysis_functions(module);
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "quarn_tools._analysis",
    "The definition checker of quarn_tools.",
    0,
    nullptr,
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__analysis() {
    return PyModuleDef_Init(&kModule);
}
