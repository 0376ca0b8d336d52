// The extension module `quarn_tools._native`: a compiled scanner and its
// scans (columns, a token iterator, a chunk-fed stream). Only mechanics live
// here; names, defaults and exceptions with locations are quarn_tools' job.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "columns.hpp"
#include "common.hpp"
#include "quarn/base/errors.hpp"
#include "quarn/batch/chunked_scanner.hpp"
#include "quarn/batch/scan_text.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "string_arrays.hpp"

namespace quarn::tools {

namespace {

// Raised with (message, offset): the definition parser's error and where it stopped.
PyObject* definition_failure = nullptr;
// Raised with (message,): a failure after parsing.
PyObject* build_failure = nullptr;
// Raised with (message, offset) for invalid UTF-8 in a stream.
PyObject* utf8_failure = nullptr;

batch::ScanOptions options_of(int positions, int chars) {
    return batch::ScanOptions{positions != 0,
                              chars ? batch::Offsets::CodePoints : batch::Offsets::Bytes};
}

std::optional<std::string_view> utf8_of(PyObject* text) {
    if (!PyUnicode_Check(text)) {
        PyErr_Format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(text)->tp_name);
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    // CPython's UTF-8 form of a str is well formed: lone surrogates fail here.
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == nullptr)
        return std::nullopt;
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

// ---- Scanner ---------------------------------------------------------------

// DefinitionFailure(message, offset) or
// BuildFailure(message, mode, clause, pattern, offset), None where unknown.
void raise_build_error(const pipeline::BuildError& error) {
    auto optional_size = [](const std::optional<std::size_t>& value) -> PyObject* {
        return value ? PyLong_FromSize_t(*value) : Py_NewRef(Py_None);
    };
    auto text = [](const std::string& utf8) -> PyObject* {
        return PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace");
    };
    auto optional_text = [&](const std::string& utf8) -> PyObject* {
        return utf8.empty() ? Py_NewRef(Py_None) : text(utf8);
    };
    PyObject* value = nullptr;
    if (error.kind == pipeline::BuildError::Kind::Definition) {
        value = Py_BuildValue("(NN)", text(error.message), optional_size(error.offset));
    } else {
        value = Py_BuildValue("(NNNNN)", text(error.message), optional_text(error.mode),
                              optional_size(error.clause), optional_text(error.pattern),
                              optional_size(error.offset));
    }
    if (value == nullptr)
        return;
    PyErr_SetObject(
        error.kind == pipeline::BuildError::Kind::Definition ? definition_failure : build_failure,
        value);
    Py_DECREF(value);
}

struct ScannerObject {
    PyObject ob_base;
    pipeline::Scanner compiled;  // immutable: shared by every thread
};

ScannerObject* as_scanner(PyObject* self) {
    return reinterpret_cast<ScannerObject*>(self);
}

PyObject* scanner_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"definition", nullptr};
    PyObject* definition = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U", const_cast<char**>(keywords), &definition))
        return nullptr;
    const std::optional<std::string_view> text = utf8_of(definition);
    if (!text)
        return nullptr;
    return guarded([&]() -> PyObject* {
        std::optional<base::Result<pipeline::Scanner, pipeline::BuildError>> built;
        std::string internal;
        try {
            built.emplace(pipeline::build_scanner(*text));
        } catch (const base::InternalError& e) {
            internal = e.what();
        }
        if (!built) {
            PyErr_SetString(build_failure, internal.c_str());
            return nullptr;
        }
        if (!*built) {
            raise_build_error(built->error());
            return nullptr;
        }
        PyObject* self = type->tp_alloc(type, 0);
        if (self == nullptr)
            return nullptr;
        new (&as_scanner(self)->compiled) pipeline::Scanner(std::move(built->value()));
        return self;
    });
}

void scanner_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    std::destroy_at(&as_scanner(self)->compiled);
    type->tp_free(self);
    Py_DECREF(type);
}

// scan(text, positions, chars, state) -> (columns, state after the text)
PyObject* scanner_scan(PyObject* self, PyObject* args) {
    PyObject* text_object = nullptr;
    int positions = 0;
    int chars = 0;
    PyObject* state_object = nullptr;
    if (!PyArg_ParseTuple(args, "OppO", &text_object, &positions, &chars, &state_object))
        return nullptr;
    const std::optional<std::string_view> text = utf8_of(text_object);
    batch::ScanState state;
    if (!text || !state_from_tuple(state_object, state))
        return nullptr;
    const pipeline::Scanner scanner = as_scanner(self)->compiled;
    const bool carry = state_object != Py_None;
    return guarded([&]() -> PyObject* {
        batch::TokenColumns columns;
        without_gil([&] {
            const auto valid = runtime::ValidatedUtf8::trusted(*text);
            batch::scan_text(*scanner, valid, options_of(positions, chars), state, columns);
            columns.shrink_to_fit();
            if (carry)
                batch::advance_counters(state, *text);
        });
        PyObject* result = new_columns(std::move(columns), positions != 0);
        if (result == nullptr)
            return nullptr;
        PyObject* new_state = state_to_tuple(state);
        if (new_state == nullptr) {
            Py_DECREF(result);
            return nullptr;
        }
        return Py_BuildValue("(NN)", result, new_state);
    });
}

// scan_many(texts, positions, chars, threads) -> columns with a document column
PyObject* scanner_scan_many(PyObject* self, PyObject* args) {
    PyObject* sequence = nullptr;
    int positions = 0;
    int chars = 0;
    Py_ssize_t threads = 1;
    if (!PyArg_ParseTuple(args, "Oppn", &sequence, &positions, &chars, &threads))
        return nullptr;
    PyObject* items = PySequence_Fast(sequence, "texts must be a sequence of str");
    if (items == nullptr)
        return nullptr;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(items);
    const pipeline::Scanner scanner = as_scanner(self)->compiled;
    PyObject* result = guarded([&]() -> PyObject* {
        std::vector<runtime::ValidatedUtf8> documents;
        documents.reserve(static_cast<std::size_t>(n));
        for (Py_ssize_t i = 0; i < n; ++i) {
            const std::optional<std::string_view> text =
                utf8_of(PySequence_Fast_GET_ITEM(items, i));
            if (!text)
                return nullptr;
            documents.push_back(runtime::ValidatedUtf8::trusted(*text));
        }
        batch::TokenColumns columns;
        // `items` holds every str, so their UTF-8 stays put without the lock.
        without_gil([&] {
            columns = batch::scan_many(*scanner, documents, options_of(positions, chars),
                                       static_cast<std::size_t>(threads < 1 ? 1 : threads));
        });
        return new_columns(std::move(columns), positions != 0);
    });
    Py_DECREF(items);
    return result;
}

PyObject* scanner_mode_names(PyObject* self, PyObject*) {
    const auto& modes = as_scanner(self)->compiled->modes();
    PyObject* names = PyTuple_New(static_cast<Py_ssize_t>(modes.size()));
    if (names == nullptr)
        return nullptr;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        PyObject* name = PyUnicode_DecodeUTF8(
            modes[i].name.data(), static_cast<Py_ssize_t>(modes[i].name.size()), "replace");
        if (name == nullptr) {
            Py_DECREF(names);
            return nullptr;
        }
        PyTuple_SET_ITEM(names, static_cast<Py_ssize_t>(i), name);
    }
    return names;
}

PyObject* scanner_scan_arrow(PyObject* self, PyObject* args) {
    return scan_string_array(as_scanner(self)->compiled, args, utf8_failure);
}

PyObject* scanner_tokens(PyObject* self, PyObject* args);
PyObject* scanner_stream(PyObject* self, PyObject* args);

PyMethodDef scanner_methods[] = {
    {"scan", scanner_scan, METH_VARARGS, "scan(text, positions, chars, state)"},
    {"scan_many", scanner_scan_many, METH_VARARGS, "scan_many(texts, positions, chars, threads)"},
    {"scan_arrow", scanner_scan_arrow, METH_VARARGS,
     "scan_arrow(offsets, data, validity, offset, length, large, positions, chars, texts, "
     "threads)"},
    {"tokens", scanner_tokens, METH_VARARGS,
     "tokens(text, positions, chars, state, token_class, positioned_class)"},
    {"stream", scanner_stream, METH_VARARGS, "stream(positions, chars, state)"},
    {"mode_names", scanner_mode_names, METH_NOARGS, "The names of the modes, by index."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot scanner_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(scanner_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(scanner_dealloc)},
    {Py_tp_methods, scanner_methods},
    {Py_tp_doc, const_cast<char*>("Scanner(definition): a compiled scanner, immutable.")},
    {0, nullptr},
};

PyType_Spec scanner_spec = {"quarn_tools._native.Scanner", sizeof(ScannerObject), 0, kTypeFlags,
                            scanner_slots};

// ---- Token iterator --------------------------------------------------------

// Tokens one at a time, made as instances of a tuple subclass given by the
// caller (a named tuple), filled in place like tuple.__new__ does.
struct TokenIteratorObject {
    PyObject ob_base;
    PyObject* text;  // the str scanned; keeps its UTF-8 form alive
    PyTypeObject* token_class;
    pipeline::Scanner compiled;
    batch::ScanState state;  // modes advance as tokens come; counters as at the start
    batch::ScanOptions options;
    std::string_view utf8;
    // Exactly one of the two, as `options.positions` says.
    std::optional<runtime::FindMatches> plain;
    std::optional<runtime::FindMatchesWithPosition> with_position;
    // Code-point offsets: characters before utf8[counted].
    std::size_t counted = 0;
    std::int64_t chars_before = 0;
    // The token last handed out, kept so that it can be refilled once the
    // caller has let go of it (the usual `for token in ...` loop): a token
    // then costs no allocation of its own.
    PyObject* last = nullptr;
};

TokenIteratorObject* as_iterator(PyObject* self) {
    return reinterpret_cast<TokenIteratorObject*>(self);
}

PyTypeObject* token_iterator_type_object = nullptr;

void token_iterator_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    TokenIteratorObject* it = as_iterator(self);
    std::destroy_at(&it->plain);
    std::destroy_at(&it->with_position);
    std::destroy_at(&it->compiled);
    std::destroy_at(&it->state);
    Py_XDECREF(it->last);
    Py_XDECREF(it->text);
    Py_XDECREF(it->token_class);
    type->tp_free(self);
    Py_DECREF(type);
}

std::int64_t offset_of(TokenIteratorObject* it, std::size_t byte) {
    if (it->options.offsets == batch::Offsets::Bytes)
        return static_cast<std::int64_t>(byte);
    it->chars_before += static_cast<std::int64_t>(
        batch::count_chars(it->utf8.substr(it->counted, byte - it->counted)));
    it->counted = byte;
    return it->chars_before;
}

runtime::Position rebase(runtime::Position first, runtime::Position relative) {
    if (relative.line == 1)
        return {first.line, first.column + relative.column - 1};
    return {first.line + relative.line - 1, relative.column};
}

PyObject* token_iterator_next(PyObject* self) {
    TokenIteratorObject* it = as_iterator(self);
    runtime::Match match;
    bool found = false;
    try {
        found = it->plain ? it->plain->next_match(match) : it->with_position->next_match(match);
    } catch (...) {
        return guarded([]() -> PyObject* { throw; });
    }
    if (!found)
        return nullptr;  // StopIteration
    const bool positions = it->options.positions;
    const std::size_t start = match.span.start;
    const std::size_t end = match.span.end;
    PyObject* items[8] = {
        PyLong_FromUnsignedLongLong(match.token_type),
        PyLong_FromLongLong(offset_of(it, start)),
        PyLong_FromLongLong(offset_of(it, end)),
        PyUnicode_DecodeUTF8(it->utf8.data() + start, static_cast<Py_ssize_t>(end - start),
                             nullptr),
    };
    int count = 4;
    if (positions) {
        const runtime::Position first = it->state.position;
        const runtime::Position s = rebase(first, match.positions->start_position);
        const runtime::Position e = rebase(first, match.positions->end_position);
        items[4] = PyLong_FromSize_t(s.line);
        items[5] = PyLong_FromSize_t(s.column);
        items[6] = PyLong_FromSize_t(e.line);
        items[7] = PyLong_FromSize_t(e.column);
        count = 8;
    }
    bool failed = false;
    for (int i = 0; i < count; ++i)
        failed |= items[i] == nullptr;
    if (failed) {
        for (int i = 0; i < count; ++i)
            Py_XDECREF(items[i]);
        return nullptr;
    }
    PyObject* token = it->last;
    if (token != nullptr && Py_REFCNT(token) == 1) {
        // Only this iterator holds it: nobody can see it change.
        for (int i = 0; i < count; ++i) {
            PyObject* old = PyTuple_GET_ITEM(token, i);
            PyTuple_SET_ITEM(token, i, items[i]);
            Py_DECREF(old);
        }
    } else {
        token = it->token_class->tp_alloc(it->token_class, count);
        if (token == nullptr) {
            for (int i = 0; i < count; ++i)
                Py_DECREF(items[i]);
            return nullptr;
        }
        for (int i = 0; i < count; ++i)
            PyTuple_SET_ITEM(token, i, items[i]);
        Py_XSETREF(it->last, token);
    }
    Py_INCREF(token);
    return token;
}

// The state where iteration stands: the modes now, the counters past the
// text read so far (all of it once exhausted).
PyObject* token_iterator_state(PyObject* self, PyObject*) {
    TokenIteratorObject* it = as_iterator(self);
    batch::ScanState state = it->state;
    const std::size_t read = it->plain ? it->plain->char_iter().byte_index()
                                       : it->with_position->char_iter().byte_index();
    batch::advance_counters(state, it->utf8.substr(0, read));
    return state_to_tuple(state);
}

PyMethodDef token_iterator_methods[] = {
    {"state", token_iterator_state, METH_NOARGS, "The scan state reached so far, as a tuple."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot token_iterator_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(token_iterator_dealloc)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(token_iterator_next)},
    {Py_tp_methods, token_iterator_methods},
    {0, nullptr},
};

PyType_Spec token_iterator_spec = {"quarn_tools._native.TokenIterator", sizeof(TokenIteratorObject),
                                   0, kTypeFlags, token_iterator_slots};

PyObject* scanner_tokens(PyObject* self, PyObject* args) {
    PyObject* text = nullptr;
    int positions = 0;
    int chars = 0;
    PyObject* state_object = nullptr;
    PyObject* plain_class = nullptr;
    PyObject* positioned_class = nullptr;
    if (!PyArg_ParseTuple(args, "OppOO!O!", &text, &positions, &chars, &state_object, &PyType_Type,
                          &plain_class, &PyType_Type, &positioned_class))
        return nullptr;
    PyTypeObject* token_class =
        reinterpret_cast<PyTypeObject*>(positions ? positioned_class : plain_class);
    if (!PyType_IsSubtype(token_class, &PyTuple_Type)) {
        PyErr_SetString(PyExc_TypeError, "token classes must derive from tuple");
        return nullptr;
    }
    const std::optional<std::string_view> utf8 = utf8_of(text);
    batch::ScanState state;
    if (!utf8 || !state_from_tuple(state_object, state))
        return nullptr;
    if (token_iterator_type_object == nullptr)
        return nullptr;
    return guarded([&]() -> PyObject* {
        PyObject* object = token_iterator_type_object->tp_alloc(token_iterator_type_object, 0);
        if (object == nullptr)
            return nullptr;
        TokenIteratorObject* it = as_iterator(object);
        Py_INCREF(text);
        it->text = text;
        Py_INCREF(token_class);
        it->token_class = token_class;
        new (&it->compiled) pipeline::Scanner(as_scanner(self)->compiled);
        new (&it->state) batch::ScanState(std::move(state));
        new (&it->plain) std::optional<runtime::FindMatches>();
        new (&it->with_position) std::optional<runtime::FindMatchesWithPosition>();
        it->options = options_of(positions, chars);
        it->utf8 = *utf8;
        it->counted = 0;
        it->chars_before = 0;
        it->last = nullptr;
        // The iterators borrow the text (kept by `text`) and the modes (in `it`).
        const auto valid = runtime::ValidatedUtf8::trusted(*utf8);
        if (positions)
            it->with_position.emplace(
                it->compiled->find_matches_with_position(valid, it->state.modes));
        else
            it->plain.emplace(it->compiled->find_matches(valid, it->state.modes));
        return object;
    });
}

// ---- Stream ----------------------------------------------------------------

struct StreamObject {
    PyObject ob_base;
    std::optional<batch::ChunkedScanner> chunked;
    bool positions;
};

StreamObject* as_stream(PyObject* self) {
    return reinterpret_cast<StreamObject*>(self);
}

PyTypeObject* stream_type_object = nullptr;

void stream_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    std::destroy_at(&as_stream(self)->chunked);
    type->tp_free(self);
    Py_DECREF(type);
}

// Runs one step of the stream without the lock; returns (columns, text) where
// `text` is the bytes the batch's tokens lie in, starting at the offset the
// state had before the step.
template <class Step>
PyObject* stream_step(PyObject* self, Step step) {
    StreamObject* stream = as_stream(self);
    if (!stream->chunked) {
        PyErr_SetString(PyExc_ValueError, "the stream has failed or finished");
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        batch::TokenColumns columns;
        std::string decided;
        std::optional<runtime::Utf8Error> failure;
        without_gil([&] {
            auto result = step(*stream->chunked, columns, decided);
            if (!result)
                failure = result.error();
            columns.shrink_to_fit();
        });
        if (failure) {
            stream->chunked.reset();
            PyObject* value = Py_BuildValue("(sK)", failure->message().c_str(),
                                            static_cast<unsigned long long>(failure->valid_up_to));
            if (value != nullptr) {
                PyErr_SetObject(utf8_failure, value);
                Py_DECREF(value);
            }
            return nullptr;
        }
        PyObject* result = new_columns(std::move(columns), stream->positions);
        if (result == nullptr)
            return nullptr;
        return Py_BuildValue("(Ny#)", result, decided.data(),
                             static_cast<Py_ssize_t>(decided.size()));
    });
}

PyObject* stream_feed(PyObject* self, PyObject* arg) {
    Py_buffer buffer;
    if (PyObject_GetBuffer(arg, &buffer, PyBUF_SIMPLE) < 0)
        return nullptr;
    const std::string_view bytes(static_cast<const char*>(buffer.buf),
                                 static_cast<std::size_t>(buffer.len));
    PyObject* result = stream_step(
        self, [&](batch::ChunkedScanner& chunked, batch::TokenColumns& columns,
                  std::string& decided) { return chunked.feed(bytes, columns, &decided); });
    PyBuffer_Release(&buffer);
    return result;
}

PyObject* stream_finish(PyObject* self, PyObject*) {
    PyObject* result =
        stream_step(self, [](batch::ChunkedScanner& chunked, batch::TokenColumns& columns,
                             std::string& decided) { return chunked.finish(columns, &decided); });
    return result;
}

PyObject* stream_state(PyObject* self, PyObject*) {
    StreamObject* stream = as_stream(self);
    if (!stream->chunked) {
        PyErr_SetString(PyExc_ValueError, "the stream has failed");
        return nullptr;
    }
    return state_to_tuple(stream->chunked->state());
}

PyMethodDef stream_methods[] = {
    {"feed", stream_feed, METH_O, "feed(bytes) -> (columns, covered bytes)"},
    {"finish", stream_finish, METH_NOARGS, "finish() -> (columns, covered bytes)"},
    {"state", stream_state, METH_NOARGS, "The state at the start of the text held back."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot stream_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(stream_dealloc)},
    {Py_tp_methods, stream_methods},
    {0, nullptr},
};

PyType_Spec stream_spec = {"quarn_tools._native.Stream", sizeof(StreamObject), 0, kTypeFlags,
                           stream_slots};

PyObject* scanner_stream(PyObject* self, PyObject* args) {
    int positions = 0;
    int chars = 0;
    PyObject* state_object = nullptr;
    if (!PyArg_ParseTuple(args, "ppO", &positions, &chars, &state_object))
        return nullptr;
    batch::ScanState state;
    if (!state_from_tuple(state_object, state) || stream_type_object == nullptr)
        return nullptr;
    return guarded([&]() -> PyObject* {
        PyObject* object = stream_type_object->tp_alloc(stream_type_object, 0);
        if (object == nullptr)
            return nullptr;
        StreamObject* stream = as_stream(object);
        new (&stream->chunked) std::optional<batch::ChunkedScanner>();
        stream->positions = positions != 0;
        stream->chunked.emplace(as_scanner(self)->compiled, options_of(positions, chars),
                                std::move(state));
        return object;
    });
}

// ---- Module ----------------------------------------------------------------

int add_type(PyObject* module, const char* name, PyType_Spec* spec, PyTypeObject** slot) {
    if (*slot == nullptr)
        *slot = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(spec));
    if (*slot == nullptr)
        return -1;
    Py_INCREF(*slot);
    if (PyModule_AddObject(module, name, reinterpret_cast<PyObject*>(*slot)) < 0) {
        Py_DECREF(*slot);
        return -1;
    }
    return 0;
}

int add_exception(PyObject* module, const char* name, const char* qualified, PyObject** slot) {
    if (*slot == nullptr)
        *slot = PyErr_NewException(qualified, PyExc_Exception, nullptr);
    if (*slot == nullptr)
        return -1;
    Py_INCREF(*slot);
    if (PyModule_AddObject(module, name, *slot) < 0) {
        Py_DECREF(*slot);
        return -1;
    }
    return 0;
}

PyTypeObject* scanner_type_object = nullptr;

int exec_module(PyObject* module) {
    PyTypeObject* columns = columns_type();
    if (columns == nullptr || column_buffer_type() == nullptr)
        return -1;
    Py_INCREF(columns);
    if (PyModule_AddObject(module, "Columns", reinterpret_cast<PyObject*>(columns)) < 0) {
        Py_DECREF(columns);
        return -1;
    }
    if (add_type(module, "Scanner", &scanner_spec, &scanner_type_object) < 0 ||
        add_type(module, "TokenIterator", &token_iterator_spec, &token_iterator_type_object) < 0 ||
        add_type(module, "Stream", &stream_spec, &stream_type_object) < 0)
        return -1;
    if (add_exception(module, "DefinitionFailure", "quarn_tools._native.DefinitionFailure",
                      &definition_failure) < 0 ||
        add_exception(module, "BuildFailure", "quarn_tools._native.BuildFailure", &build_failure) <
            0 ||
        add_exception(module, "Utf8Failure", "quarn_tools._native.Utf8Failure", &utf8_failure) < 0)
        return -1;
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quarn_tools._native",
    "Batch scans for quarn_tools.",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

bool state_from_tuple(PyObject* tuple, batch::ScanState& state) {
    state = batch::ScanState();
    if (tuple == Py_None)
        return true;
    PyObject* stack = nullptr;
    Py_ssize_t mode = 0;
    unsigned long long byte_offset = 0;
    unsigned long long char_offset = 0;
    Py_ssize_t line = 1;
    Py_ssize_t column = 1;
    if (!PyArg_ParseTuple(tuple, "nO!KKnn", &mode, &PyTuple_Type, &stack, &byte_offset,
                          &char_offset, &line, &column))
        return false;
    if (mode < 0 || line < 1 || column < 1) {
        PyErr_SetString(PyExc_ValueError, "invalid lexer state");
        return false;
    }
    state.modes.mode = static_cast<runtime::ModeIndex>(mode);
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(stack); ++i) {
        const Py_ssize_t saved = PyLong_AsSsize_t(PyTuple_GET_ITEM(stack, i));
        if (saved == -1 && PyErr_Occurred())
            return false;
        if (saved < 0) {
            PyErr_SetString(PyExc_ValueError, "invalid lexer state");
            return false;
        }
        state.modes.stack.push_back(static_cast<runtime::ModeIndex>(saved));
    }
    state.byte_offset = byte_offset;
    state.char_offset = char_offset;
    state.position = {static_cast<std::size_t>(line), static_cast<std::size_t>(column)};
    return true;
}

PyObject* state_to_tuple(const batch::ScanState& state) {
    PyObject* stack = PyTuple_New(static_cast<Py_ssize_t>(state.modes.stack.size()));
    if (stack == nullptr)
        return nullptr;
    for (std::size_t i = 0; i < state.modes.stack.size(); ++i) {
        PyObject* mode = PyLong_FromSize_t(state.modes.stack[i]);
        if (mode == nullptr) {
            Py_DECREF(stack);
            return nullptr;
        }
        PyTuple_SET_ITEM(stack, static_cast<Py_ssize_t>(i), mode);
    }
    return Py_BuildValue("(nNKKnn)", static_cast<Py_ssize_t>(state.modes.mode), stack,
                         static_cast<unsigned long long>(state.byte_offset),
                         static_cast<unsigned long long>(state.char_offset),
                         static_cast<Py_ssize_t>(state.position.line),
                         static_cast<Py_ssize_t>(state.position.column));
}

}  // namespace quarn::tools

PyMODINIT_FUNC PyInit__native() {
    return PyModuleDef_Init(&quarn::tools::module_def);
}
