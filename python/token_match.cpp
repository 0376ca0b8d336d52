#include "token_match.hpp"

#include <climits>
#include <cstring>
#include <iterator>

#include "type_flags.hpp"

namespace quarn::python {

namespace {

constexpr const char* kTokenMatchDoc =
    "Represents a single token match.\n\nProperties:\n"
    "- token_type (int): The numeric type of the matched token.\n"
    "- start (int): Starting byte offset in the input string.\n"
    "- end (int): Ending byte offset in the input string.\n"
    "- text (str): The actual matched text.\n"
    "- start_line (Optional[int]): Starting line number (if tracked).\n"
    "- start_column (Optional[int]): Starting column number (if tracked).\n"
    "- end_line (Optional[int]): Ending line number (if tracked).\n"
    "- end_column (Optional[int]): Ending column number (if tracked).";

constexpr Py_ssize_t kHeaderSize = offsetof(TokenMatchObject, text);

// Where the positions of a token with `text_size` bytes of text begin.
constexpr std::size_t positions_offset(std::size_t text_size) {
    return (static_cast<std::size_t>(kHeaderSize) + text_size + 7) & ~std::size_t{7};
}

TokenMatchObject* as_match(PyObject* self) {
    return reinterpret_cast<TokenMatchObject*>(self);
}

// PyLong_FromLong builds a one-digit int inline; the unsigned constructors go
// through the general path for every value above the small-int cache.
template <class Unsigned>
PyObject* new_int(Unsigned value) {
    if (value <= static_cast<Unsigned>(LONG_MAX))
        return PyLong_FromLong(static_cast<long>(value));
    return PyLong_FromUnsignedLongLong(value);
}

PyObject* get_token_type(PyObject* self, void*) {
    return new_int(as_match(self)->token_type);
}

PyObject* get_start(PyObject* self, void*) {
    return new_int(as_match(self)->start);
}

PyObject* get_end(PyObject* self, void*) {
    return new_int(as_match(self)->end);
}

// The decoder has its own ASCII path and shares one-character strings, which
// makes it cheaper than copying bytes into a new ASCII string.
PyObject* get_text(PyObject* self, void*) {
    return PyUnicode_DecodeUTF8(as_match(self)->text, Py_SIZE(self), nullptr);
}

// The template argument selects one of the four position fields.
template <std::size_t TokenPositions::*field>
PyObject* get_position(PyObject* self, void*) {
    const TokenMatchObject* match = as_match(self);
    if (!match->has_positions)
        Py_RETURN_NONE;
    TokenPositions positions;
    std::memcpy(&positions,
                reinterpret_cast<const char*>(match) +
                    positions_offset(static_cast<std::size_t>(Py_SIZE(self))),
                sizeof positions);
    return new_int(positions.*field);
}

PyGetSetDef token_match_getset[] = {
    {"token_type", get_token_type, nullptr, nullptr, nullptr},
    {"start", get_start, nullptr, nullptr, nullptr},
    {"end", get_end, nullptr, nullptr, nullptr},
    {"text", get_text, nullptr, nullptr, nullptr},
    {"start_line", get_position<&TokenPositions::start_line>, nullptr, nullptr, nullptr},
    {"start_column", get_position<&TokenPositions::start_column>, nullptr, nullptr, nullptr},
    {"end_line", get_position<&TokenPositions::end_line>, nullptr, nullptr, nullptr},
    {"end_column", get_position<&TokenPositions::end_column>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr std::size_t kGetters = std::size(token_match_getset) - 1;

// The getters' names as interned strings, in the order of token_match_getset.
PyObject* interned_names[kGetters] = {};

// Attribute names in code are interned, so `m.start` finds its getter by one
// pointer comparison instead of a type lookup and a descriptor call. Any other
// name object, equal or not, takes the generic path and behaves as before.
PyObject* token_match_getattro(PyObject* self, PyObject* name) {
    for (std::size_t i = 0; i < kGetters; ++i) {
        if (name == interned_names[i])
            return token_match_getset[i].get(self, nullptr);
    }
    return PyObject_GenericGetAttr(self, name);
}

// Instances come only from the match methods.
PyObject* token_match_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyErr_Format(PyExc_TypeError, "cannot create '%s' instances", type->tp_name);
    return nullptr;
}

// Objects without positions and with texts up to kPooledText bytes are all
// allocated at one size (64 bytes) and recycled through a bounded free list;
// the interpreter lock guards it.
constexpr std::size_t kPooledText = 64 - static_cast<std::size_t>(kHeaderSize);
constexpr std::size_t kFreeListCapacity = 8192;
#ifdef Py_GIL_DISABLED
constexpr bool kUseFreeList = false;
#else
constexpr bool kUseFreeList = true;
#endif
TokenMatchObject* free_list[kFreeListCapacity];
std::size_t free_count = 0;

bool pooled(std::size_t text_size, bool has_positions) {
    return !has_positions && text_size <= kPooledText;
}

void token_match_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    TokenMatchObject* match = as_match(self);
    if (kUseFreeList && pooled(static_cast<std::size_t>(Py_SIZE(self)), match->has_positions) &&
        free_count < kFreeListCapacity) {
        free_list[free_count++] = match;
    } else {
        PyObject_Free(self);
    }
    Py_DECREF(type);
}

TokenMatchObject* allocate(std::size_t text_size, bool has_positions) {
    std::size_t size = 0;
    if (has_positions) {
        size = positions_offset(text_size) + sizeof(TokenPositions);
    } else if (text_size <= kPooledText) {
        if (kUseFreeList && free_count > 0)
            return free_list[--free_count];
        size = static_cast<std::size_t>(kHeaderSize) + kPooledText;
    } else {
        size = static_cast<std::size_t>(kHeaderSize) + text_size;
    }
    return static_cast<TokenMatchObject*>(PyObject_Malloc(size));
}

PyType_Slot token_match_slots[] = {
    {Py_tp_doc, const_cast<char*>(kTokenMatchDoc)},
    {Py_tp_getset, token_match_getset},
    {Py_tp_new, reinterpret_cast<void*>(token_match_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(token_match_dealloc)},
    {0, nullptr},
};

PyType_Spec token_match_spec = {
    "quarn.TokenMatch", static_cast<int>(kHeaderSize), 1, kTypeFlags, token_match_slots,
};

PyTypeObject* token_match_type_object = nullptr;

}  // namespace

PyTypeObject* token_match_type() {
    if (token_match_type_object != nullptr)
        return token_match_type_object;
    for (std::size_t i = 0; i < kGetters; ++i) {
        if (interned_names[i] == nullptr) {
            interned_names[i] = PyUnicode_InternFromString(token_match_getset[i].name);
            if (interned_names[i] == nullptr)
                return nullptr;
        }
    }
    auto* type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&token_match_spec));
    if (type == nullptr)
        return nullptr;
    // Set here rather than as a slot of the spec: a slot would add
    // `__getattribute__` to the class dict, which is part of the type's shape.
    type->tp_getattro = token_match_getattro;
    token_match_type_object = type;
    return token_match_type_object;
}

PyObject* new_token_match(PyTypeObject* type, std::uint64_t token_type, std::size_t start,
                          std::size_t end, std::string_view text, const TokenPositions* positions) {
    // Not through tp_alloc: every field is written below, so the zeroing that
    // the generic allocator does is wasted work.
    TokenMatchObject* self = allocate(text.size(), positions != nullptr);
    if (self == nullptr)
        return PyErr_NoMemory();
    PyObject_InitVar(reinterpret_cast<PyVarObject*>(self), type,
                     static_cast<Py_ssize_t>(text.size()));
    self->token_type = token_type;
    self->start = start;
    self->end = end;
    self->has_positions = positions != nullptr;
    if (text.size() <= kPooledText) {
        // Short copies inline: most tokens are a few bytes long.
        for (std::size_t i = 0; i < text.size(); ++i)
            self->text[i] = text[i];
    } else {
        std::memcpy(self->text, text.data(), text.size());
    }
    if (positions != nullptr) {
        std::memcpy(reinterpret_cast<char*>(self) + positions_offset(text.size()), positions,
                    sizeof *positions);
    }
    return reinterpret_cast<PyObject*>(self);
}

}  // namespace quarn::python
