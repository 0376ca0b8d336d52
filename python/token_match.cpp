#include "token_match.hpp"

#include <climits>
#include <cstring>
#include <iterator>

#include "type_flags.hpp"

namespace quarn::python {

namespace {

// Lines and columns count from 1.
struct TokenPositions {
    std::size_t start_line = 0;
    std::size_t start_column = 0;
    std::size_t end_line = 0;
    std::size_t end_column = 0;
};

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

// Objects without positions come in two sizes, 48 and 64 bytes, for texts of
// up to kSmallText and kPooledText bytes: fewer bytes per token are fewer pages
// to fault in for a large result.
constexpr std::size_t kSmallText = 48 - static_cast<std::size_t>(kHeaderSize);
constexpr std::size_t kPooledText = 64 - static_cast<std::size_t>(kHeaderSize);

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
    return new_int(as_match(self)->start + static_cast<std::size_t>(Py_SIZE(self)));
}

// Short ASCII texts skip the decoder's layers: a one-character text is the
// interpreter's shared string, as the decoder would return; a longer one is a
// new ASCII string with the bytes copied, the same string the decoder builds.
PyObject* get_text(PyObject* self, void*) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(as_match(self)->text);
    const Py_ssize_t size = Py_SIZE(self);
    if (size == 1 && bytes[0] < 0x80)
        return PyUnicode_FromOrdinal(bytes[0]);
    if (size <= static_cast<Py_ssize_t>(kPooledText)) {
        unsigned char high = 0;
        for (Py_ssize_t i = 0; i < size; ++i)
            high |= bytes[i];
        if (high < 0x80) {
            PyObject* text = PyUnicode_New(size, 127);
            if (text != nullptr)
                std::memcpy(PyUnicode_1BYTE_DATA(text), bytes, static_cast<std::size_t>(size));
            return text;
        }
    }
    return PyUnicode_DecodeUTF8(as_match(self)->text, size, nullptr);
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
    // The four fields read for every token are called directly, so inlined.
    if (name == interned_names[0])
        return get_token_type(self, nullptr);
    if (name == interned_names[1])
        return get_start(self, nullptr);
    if (name == interned_names[2])
        return get_end(self, nullptr);
    if (name == interned_names[3])
        return get_text(self, nullptr);
    for (std::size_t i = 4; i < kGetters; ++i) {
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

// Each size is recycled through a bounded free list; the interpreter lock
// guards them.
constexpr std::size_t kFreeListCapacity = 8192;
#ifdef Py_GIL_DISABLED
constexpr bool kUseFreeList = false;
#else
constexpr bool kUseFreeList = true;
#endif

struct FreeList {
    TokenMatchObject* items[kFreeListCapacity];
    std::size_t count = 0;
};
FreeList small_free_list;
FreeList pooled_free_list;

// The free list of an object's size, or null for objects of other sizes.
FreeList* free_list_for(std::size_t text_size, bool has_positions) {
    if (has_positions || text_size > kPooledText)
        return nullptr;
    return text_size <= kSmallText ? &small_free_list : &pooled_free_list;
}

void token_match_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    TokenMatchObject* match = as_match(self);
    FreeList* free_list =
        free_list_for(static_cast<std::size_t>(Py_SIZE(self)), match->has_positions);
    if (kUseFreeList && free_list != nullptr && free_list->count < kFreeListCapacity) {
        free_list->items[free_list->count++] = match;
    } else {
        PyObject_Free(self);
    }
    Py_DECREF(type);
}

char* text_of(TokenMatchObject* match) {
    return reinterpret_cast<char*>(match) + kHeaderSize;
}

// Memory for a token without positions whose text fits kText bytes.
template <std::size_t kText>
TokenMatchObject* allocate_pooled(FreeList& free_list) {
    if (kUseFreeList && free_list.count > 0)
        return free_list.items[--free_list.count];
    return static_cast<TokenMatchObject*>(
        PyObject_Malloc(static_cast<std::size_t>(kHeaderSize) + kText));
}

// Copies `size` bytes of text, of which `readable` or more can be read, into
// an object with room for kRoom bytes: a copy of that fixed size is a couple of
// moves. The bytes past the text are never read.
template <std::size_t kRoom>
void copy_text(TokenMatchObject* self, const char* bytes, std::size_t size, std::size_t readable) {
    if (readable >= kRoom) {
        std::memcpy(text_of(self), bytes, kRoom);
    } else {
        std::memcpy(text_of(self), bytes, size);
    }
}

// Memory for any other token.
TokenMatchObject* allocate_unpooled(std::size_t text_size, bool has_positions) {
    return static_cast<TokenMatchObject*>(
        PyObject_Malloc(has_positions ? positions_offset(text_size) + sizeof(TokenPositions)
                                      : static_cast<std::size_t>(kHeaderSize) + text_size));
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
    // Set here rather than among the slots the type is created from: a slot would add
    // `__getattribute__` to the class dict, which is part of the type's shape.
    type->tp_getattro = token_match_getattro;
    token_match_type_object = type;
    return token_match_type_object;
}

TokenMatchList::TokenMatchList() : type_(token_match_type()), list_(nullptr) {
    if (type_ != nullptr)
        list_ = reinterpret_cast<PyListObject*>(PyList_New(0));
}

bool TokenMatchList::reserve(Py_ssize_t size) {
    if (size <= list_->allocated)
        return true;
    Py_ssize_t capacity = list_->allocated < 64 ? 64 : list_->allocated * 2;
    if (capacity < size)
        capacity = size;
    auto* items = static_cast<PyObject**>(
        PyMem_Realloc(list_->ob_item, static_cast<std::size_t>(capacity) * sizeof(PyObject*)));
    if (items == nullptr) {
        PyErr_NoMemory();
        return false;
    }
    list_->ob_item = items;
    list_->allocated = capacity;
    return true;
}

bool TokenMatchList::add(std::span<const runtime::Match> matches, std::string_view input) {
    if (list_ == nullptr)
        return false;
    Py_ssize_t size = Py_SIZE(list_);
    if (!reserve(size + static_cast<Py_ssize_t>(matches.size())))
        return false;
    // Objects are not made through tp_alloc: every field is written below, so
    // the zeroing that the generic allocator does would be wasted work.
    PyObject** items = list_->ob_item;
    bool made_all = true;
    for (const runtime::Match& match : matches) {
        // The spans come from scanning `input`: no bounds check.
        const char* bytes = input.data() + match.span.start;
        const std::size_t text_size = match.span.end - match.span.start;
        const std::size_t readable = input.size() - match.span.start;
        TokenMatchObject* self = nullptr;
        if (match.positions || text_size > kPooledText) {
            self = allocate_unpooled(text_size, match.positions.has_value());
            if (self != nullptr)
                std::memcpy(text_of(self), bytes, text_size);
        } else if (text_size <= kSmallText) {
            self = allocate_pooled<kSmallText>(small_free_list);
            if (self != nullptr)
                copy_text<kSmallText>(self, bytes, text_size, readable);
        } else {
            self = allocate_pooled<kPooledText>(pooled_free_list);
            if (self != nullptr)
                copy_text<kPooledText>(self, bytes, text_size, readable);
        }
        if (self == nullptr) {
            made_all = false;
            break;
        }
        self->has_positions = match.positions.has_value();
        if (match.positions) {
            const runtime::Positions& p = *match.positions;
            const TokenPositions positions{p.start_position.line, p.start_position.column,
                                           p.end_position.line, p.end_position.column};
            std::memcpy(reinterpret_cast<char*>(self) + positions_offset(text_size), &positions,
                        sizeof positions);
        }
        PyObject_InitVar(reinterpret_cast<PyVarObject*>(self), type_,
                         static_cast<Py_ssize_t>(text_size));
        self->token_type = match.token_type;
        self->start = match.span.start;
        items[size++] = reinterpret_cast<PyObject*>(self);
    }
    Py_SET_SIZE(list_, size);
    if (!made_all)
        PyErr_NoMemory();
    return made_all;
}

PyObject* TokenMatchList::release() {
    if (list_ == nullptr)
        return nullptr;
    // Doubling may leave up to half the array unused; a long-lived result
    // should not carry that.
    const Py_ssize_t size = Py_SIZE(list_);
    if (list_->allocated - size > size / 8 + 64) {
        if (auto* items = static_cast<PyObject**>(PyMem_Realloc(
                list_->ob_item, static_cast<std::size_t>(size + 1) * sizeof(PyObject*)))) {
            list_->ob_item = items;
            list_->allocated = size + 1;
        }
    }
    PyObject* list = reinterpret_cast<PyObject*>(list_);
    list_ = nullptr;
    return list;
}

}  // namespace quarn::python
