#include "scanner_type.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <utility>

#include "arguments.hpp"
#include "panic.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "token_match.hpp"
#include "type_flags.hpp"

namespace quarn::python {

namespace {

constexpr const char* kScannerDoc =
    "Scanner(definition)\n--\n\n"
    "A scanner engine built from a quarn definition.\n\n"
    "Use `Scanner(definition)` to create a new instance.";

constexpr const char* kFindMatchesDoc =
    "find_matches($self, input)\n--\n\n"
    "Finds all matches in the input string.\n\n"
    "Args:\n    input (str): The text to scan.\n\n"
    "Returns:\n    List[TokenMatch]: A list of matched tokens.";

constexpr const char* kFindMatchesWithPositionDoc =
    "find_matches_with_position($self, input)\n--\n\n"
    "Finds all matches in the input string, including line and column information.\n\n"
    "Args:\n    input (str): The text to scan.\n\n"
    "Returns:\n    List[TokenMatch]: A list of matched tokens with line/column data.";

constexpr const char* kUnsendable = "quarn::Scanner is unsendable, but sent to another thread";

// An identity of the calling thread that no other thread of the process ever
// gets; the OS thread ident is given again once its thread has ended.
std::uint64_t thread_identity() {
    static std::atomic<std::uint64_t> next{1};
    thread_local const std::uint64_t identity = next.fetch_add(1, std::memory_order_relaxed);
    return identity;
}

// The compiled scanner is immutable; the mode state carried from one call to
// the next is not, so every call must come from the thread that built it.
struct ScannerObject {
    PyObject ob_base;
    std::uint64_t owner_thread;
    pipeline::Scanner compiled;
    runtime::ModeState mode_state;
};

ScannerObject* as_scanner(PyObject* self) {
    return reinterpret_cast<ScannerObject*>(self);
}

PyObject* scanner_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSignature{"Scanner", "definition"};
    PyObject* definition = single_str_argument(kSignature, args, kwargs);
    if (definition == nullptr)
        return nullptr;
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(definition, &size);
    if (text == nullptr)
        return nullptr;
    return guarded([&]() -> PyObject* {
        // Built before the Python object exists, so a failure leaves nothing behind.
        auto built =
            pipeline::build_scanner(std::string_view(text, static_cast<std::size_t>(size)));
        if (!built) {
            const pipeline::BuildError& error = built.error();
            if (error.kind == pipeline::BuildError::Kind::Construction)
                return raise_panic(error.message);
            PyObject* message = lenient_str(error.message);
            if (message == nullptr)
                return nullptr;
            PyErr_SetObject(PyExc_ValueError, message);
            Py_DECREF(message);
            return nullptr;
        }
        PyObject* self = type->tp_alloc(type, 0);
        if (self == nullptr)
            return nullptr;
        as_scanner(self)->owner_thread = thread_identity();
        new (&as_scanner(self)->compiled) pipeline::Scanner(std::move(built).value());
        new (&as_scanner(self)->mode_state) runtime::ModeState();
        return self;
    });
}

void scanner_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    // Dropping the last reference releases the tables; the interpreter lock makes
    // this safe on whichever thread it happens.
    std::destroy_at(&as_scanner(self)->mode_state);
    std::destroy_at(&as_scanner(self)->compiled);
    type->tp_free(self);
    Py_DECREF(type);
}

template <class Iterator>
PyObject* collect_tokens(Iterator matches, std::string_view input) {
    TokenMatchList tokens;
    runtime::Match batch[64];
    while (const std::size_t count = matches.next_matches(batch)) {
        if (!tokens.add(std::span<const runtime::Match>(batch, count), input))
            return nullptr;
    }
    return tokens.release();
}

template <bool kWithPositions>
PyObject* scan(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature kSignature{
        kWithPositions ? "Scanner.find_matches_with_position" : "Scanner.find_matches", "input"};
    PyObject* input = single_str_argument(kSignature, args, nargs, kwnames);
    if (input == nullptr)
        return nullptr;
    ScannerObject* scanner = as_scanner(self);
    if (scanner->owner_thread != thread_identity())
        return raise_panic(kUnsendable);
    Py_ssize_t size = 0;
    // CPython's UTF-8 form of a str is well formed (lone surrogates fail here),
    // so the scan needs no second validation.
    const char* utf8 = PyUnicode_AsUTF8AndSize(input, &size);
    if (utf8 == nullptr)
        return nullptr;
    const std::string_view text(utf8, static_cast<std::size_t>(size));
    return guarded([&]() -> PyObject* {
        const runtime::CompiledScanner& compiled = *scanner->compiled;
        const auto valid = runtime::ValidatedUtf8::trusted(text);
        // The scan runs on a copy, kept only if the call succeeds: a call that
        // raises (Ctrl-C, MemoryError) leaves the mode and stack as they were.
        runtime::ModeState state = scanner->mode_state;
        PyObject* tokens = nullptr;
        if constexpr (kWithPositions) {
            tokens = collect_tokens(compiled.find_matches_with_position(valid, state), text);
        } else {
            tokens = collect_tokens(compiled.find_matches(valid, state), text);
        }
        if (tokens != nullptr)
            scanner->mode_state = std::move(state);
        return tokens;
    });
}

PyMethodDef scanner_methods[] = {
    {"find_matches", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(scan<false>)),
     METH_FASTCALL | METH_KEYWORDS, kFindMatchesDoc},
    {"find_matches_with_position",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(scan<true>)),
     METH_FASTCALL | METH_KEYWORDS, kFindMatchesWithPositionDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot scanner_slots[] = {
    {Py_tp_doc, const_cast<char*>(kScannerDoc)},
    {Py_tp_new, reinterpret_cast<void*>(scanner_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(scanner_dealloc)},
    {Py_tp_methods, scanner_methods},
    {0, nullptr},
};

PyType_Spec scanner_spec = {
    "quarn.Scanner", sizeof(ScannerObject), 0, kTypeFlags, scanner_slots,
};

PyTypeObject* scanner_type_object = nullptr;

}  // namespace

PyTypeObject* scanner_type() {
    if (scanner_type_object == nullptr) {
        scanner_type_object = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&scanner_spec));
    }
    return scanner_type_object;
}

}  // namespace quarn::python
