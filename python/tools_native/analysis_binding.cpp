// check(definition) -> [(severity, code, message, line, column, mode, clause, witness)]
// statistics(definition) -> {"parse_ms", "classes_ms", "interval_groups", "modes": [{...}]}
// graph(definition, mode) -> DOT text
// A definition that does not parse raises ValueError(message, offset), the
// byte offset where parsing failed, from statistics() and graph(); check()
// reports it as an error finding.
#include "analysis_binding.hpp"

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/analysis/check.hpp"
#include "quarn/analysis/graph.hpp"

namespace quarn::python {

namespace {

std::optional<std::string_view> text_argument(PyObject* arg) {
    if (!PyUnicode_Check(arg)) {
        PyErr_SetString(PyExc_TypeError, "the definition must be a str");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(arg, &size);
    if (data == nullptr)
        return std::nullopt;
    return std::string_view(data, static_cast<std::size_t>(size));
}

// Runs `work` without the interpreter lock; C++ failures become Python ones.
template <class Work>
bool run_unlocked(Work&& work) {
    std::string failure;
    bool out_of_memory = false;
    Py_BEGIN_ALLOW_THREADS;
    try {
        work();
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    } catch (const std::exception& e) {
        failure = e.what();
        if (failure.empty())
            failure = "internal error";
    }
    Py_END_ALLOW_THREADS;
    if (out_of_memory) {
        PyErr_NoMemory();
        return false;
    }
    if (!failure.empty()) {
        PyErr_SetString(PyExc_RuntimeError, failure.c_str());
        return false;
    }
    return true;
}

PyObject* none() {
    Py_INCREF(Py_None);
    return Py_None;
}

PyObject* optional_size(const std::optional<std::size_t>& value) {
    return value ? PyLong_FromSize_t(*value) : none();
}

PyObject* optional_text(const std::optional<std::string>& value) {
    return value
               ? PyUnicode_FromStringAndSize(value->data(), static_cast<Py_ssize_t>(value->size()))
               : none();
}

PyObject* check(PyObject*, PyObject* arg) {
    const std::optional<std::string_view> text = text_argument(arg);
    if (!text)
        return nullptr;
    std::vector<analysis::Diagnostic> diagnostics;
    if (!run_unlocked([&] { diagnostics = analysis::check_definition(*text); }))
        return nullptr;
    PyObject* list = PyList_New(0);
    for (const analysis::Diagnostic& d : diagnostics) {
        if (list == nullptr)
            return nullptr;
        const std::string_view severity = analysis::severity_name(d.severity);
        PyObject* item = Py_BuildValue(
            "(s#s#s#nns#NN)", severity.data(), static_cast<Py_ssize_t>(severity.size()),
            d.code.data(), static_cast<Py_ssize_t>(d.code.size()), d.message.data(),
            static_cast<Py_ssize_t>(d.message.size()), static_cast<Py_ssize_t>(d.line),
            static_cast<Py_ssize_t>(d.column), d.mode.data(),
            static_cast<Py_ssize_t>(d.mode.size()), optional_size(d.clause),
            optional_text(d.witness));
        if (item == nullptr || PyList_Append(list, item) < 0) {
            Py_XDECREF(item);
            Py_CLEAR(list);
            return nullptr;
        }
        Py_DECREF(item);
    }
    return list;
}

// The automata of a definition, or ValueError(message, offset).
std::optional<analysis::DefinitionAutomata> build(std::string_view text) {
    std::optional<base::Result<analysis::DefinitionAutomata, analysis::ParseFailure>> built;
    if (!run_unlocked([&] { built.emplace(analysis::build_automata(text)); }))
        return std::nullopt;
    if (!*built) {
        PyObject* args = Py_BuildValue("(s#n)", built->error().message.data(),
                                       static_cast<Py_ssize_t>(built->error().message.size()),
                                       static_cast<Py_ssize_t>(built->error().offset));
        if (args != nullptr) {
            PyErr_SetObject(PyExc_ValueError, args);
            Py_DECREF(args);
        }
        return std::nullopt;
    }
    return std::move(*built).value();
}

PyObject* statistics(PyObject*, PyObject* arg) {
    const std::optional<std::string_view> text = text_argument(arg);
    if (!text)
        return nullptr;
    const std::optional<analysis::DefinitionAutomata> automata = build(*text);
    if (!automata)
        return nullptr;
    PyObject* modes = PyList_New(0);
    if (modes == nullptr)
        return nullptr;
    for (const analysis::Mode& mode : automata->modes) {
        const analysis::ModeStatistics& s = mode.statistics;
        PyObject* item = Py_BuildValue(
            "{s:s#,s:n,s:n,s:n,s:n,s:n,s:n,s:d,s:d,s:d,s:d,s:N}", "name", mode.name.data(),
            static_cast<Py_ssize_t>(mode.name.size()), "clauses",
            static_cast<Py_ssize_t>(s.clauses), "nfa_states", static_cast<Py_ssize_t>(s.nfa_states),
            "dfa_states", static_cast<Py_ssize_t>(s.dfa_states), "minimized_states",
            static_cast<Py_ssize_t>(s.minimized_states), "interval_groups",
            static_cast<Py_ssize_t>(s.interval_groups), "table_bytes",
            static_cast<Py_ssize_t>(s.table_bytes), "nfa_ms", s.nfa_ms, "dfa_ms", s.dfa_ms,
            "minimize_ms", s.minimize_ms, "table_ms", s.table_ms, "error",
            mode.error.empty()
                ? none()
                : PyUnicode_FromStringAndSize(mode.error.data(),
                                              static_cast<Py_ssize_t>(mode.error.size())));
        if (item == nullptr || PyList_Append(modes, item) < 0) {
            Py_XDECREF(item);
            Py_DECREF(modes);
            return nullptr;
        }
        Py_DECREF(item);
    }
    return Py_BuildValue("{s:s#,s:d,s:d,s:n,s:N}", "name", automata->name.data(),
                         static_cast<Py_ssize_t>(automata->name.size()), "parse_ms",
                         automata->parse_ms, "classes_ms", automata->classes_ms, "interval_groups",
                         static_cast<Py_ssize_t>(automata->interval_groups), "modes", modes);
}

PyObject* graph(PyObject*, PyObject* args) {
    PyObject* definition = nullptr;
    const char* mode_name = nullptr;
    if (!PyArg_ParseTuple(args, "Oz:graph", &definition, &mode_name))
        return nullptr;
    const std::optional<std::string_view> text = text_argument(definition);
    if (!text)
        return nullptr;
    const std::optional<analysis::DefinitionAutomata> automata = build(*text);
    if (!automata)
        return nullptr;
    const analysis::Mode* mode = &automata->modes.front();
    if (mode_name != nullptr) {
        mode = nullptr;
        for (const analysis::Mode& candidate : automata->modes) {
            if (candidate.name == mode_name) {
                mode = &candidate;
                break;
            }
        }
        if (mode == nullptr) {
            PyErr_Format(PyExc_KeyError, "no mode named %s", mode_name);
            return nullptr;
        }
    }
    if (mode->dfa.empty()) {
        PyErr_Format(PyExc_RuntimeError, "mode %s cannot be built: %s", mode->name.c_str(),
                     mode->error.c_str());
        return nullptr;
    }
    std::string dot;
    if (!run_unlocked([&] { dot = analysis::mode_graph(*automata, *mode); }))
        return nullptr;
    return PyUnicode_FromStringAndSize(dot.data(), static_cast<Py_ssize_t>(dot.size()));
}

PyMethodDef kFunctions[] = {
    {"check", check, METH_O, "The findings about a definition, as tuples."},
    {"statistics", statistics, METH_O, "Sizes and build times of a definition's automata."},
    {"graph", graph, METH_VARARGS, "Graphviz DOT text of one mode's automaton."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

int add_analysis_functions(PyObject* module) {
    return PyModule_AddFunctions(module, kFunctions);
}

}  // namespace quarn::python
