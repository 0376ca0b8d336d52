#include "columns.hpp"

#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "common.hpp"

namespace quarn::tools {

namespace {

struct ColumnsObject {
    PyObject ob_base;
    batch::TokenColumns columns;
    bool positions;
};

ColumnsObject* as_columns(PyObject* self) {
    return reinterpret_cast<ColumnsObject*>(self);
}

// The exported columns by index; the Python side names them.
enum ColumnId : int {
    kTypes,
    kStarts,
    kEnds,
    kStartLines,
    kStartColumns,
    kEndLines,
    kEndColumns,
    kDocuments,
    kColumnCount
};

struct ColumnView {
    const void* data;
    std::size_t size;
    Py_ssize_t itemsize;
    const char* format;
};

ColumnView view_of(const batch::TokenColumns& c, int id) {
    const auto i64 = [](const batch::Column<std::int64_t>& column) {
        return ColumnView{column.data(), column.size(), 8, "q"};
    };
    const auto u32 = [](const batch::Column<std::uint32_t>& column) {
        return ColumnView{column.data(), column.size(), 4, "I"};
    };
    switch (id) {
        case kTypes:
            return u32(c.types);
        case kStarts:
            return i64(c.starts);
        case kEnds:
            return i64(c.ends);
        case kStartLines:
            return i64(c.start_lines);
        case kStartColumns:
            return i64(c.start_columns);
        case kEndLines:
            return i64(c.end_lines);
        case kEndColumns:
            return i64(c.end_columns);
        default:
            return u32(c.documents);
    }
}

// One column of a Columns object, kept alive by a reference to it.
struct ColumnBufferObject {
    PyObject ob_base;
    PyObject* owner;
    int id;
    Py_ssize_t length;  // in items: the shape of every view
};

void columns_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    std::destroy_at(&as_columns(self)->columns);
    type->tp_free(self);
    Py_DECREF(type);
}

Py_ssize_t columns_len(PyObject* self) {
    return static_cast<Py_ssize_t>(as_columns(self)->columns.size());
}

PyObject* columns_buffer(PyObject* self, PyObject* arg) {
    const long id = PyLong_AsLong(arg);
    if (id == -1 && PyErr_Occurred())
        return nullptr;
    if (id < 0 || id >= kColumnCount) {
        PyErr_SetString(PyExc_IndexError, "no such column");
        return nullptr;
    }
    PyTypeObject* type = column_buffer_type();
    if (type == nullptr)
        return nullptr;
    PyObject* buffer = type->tp_alloc(type, 0);
    if (buffer == nullptr)
        return nullptr;
    auto* object = reinterpret_cast<ColumnBufferObject*>(buffer);
    Py_INCREF(self);
    object->owner = self;
    object->id = static_cast<int>(id);
    object->length = static_cast<Py_ssize_t>(view_of(as_columns(self)->columns, object->id).size);
    return buffer;
}

// The text tokens are cut from: the str scanned (kept for character
// offsets) and its UTF-8 form, or bytes.
struct SourceText {
    PyObject* str = nullptr;
    std::string_view bytes;
};

bool bind_source(PyObject* source, bool chars, SourceText& out) {
    out.str = nullptr;
    if (chars) {
        if (!PyUnicode_Check(source)) {
            PyErr_SetString(PyExc_TypeError, "character offsets need the str that was scanned");
            return false;
        }
        out.str = source;
        return true;
    }
    if (PyUnicode_Check(source)) {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(source, &size);
        if (utf8 == nullptr)
            return false;
        out.bytes = std::string_view(utf8, static_cast<std::size_t>(size));
        return true;
    }
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(source, &data, &size) < 0)
        return false;
    out.bytes = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

// texts(source, base, chars): the text of every token. `source` is the str
// scanned, the bytes a file batch covers, or the list of documents of a
// scan of many (each token cut from its own); offsets count from `base`.
PyObject* columns_texts(PyObject* self, PyObject* args) {
    PyObject* source = nullptr;
    long long base = 0;
    int chars = 0;
    if (!PyArg_ParseTuple(args, "OLp", &source, &base, &chars))
        return nullptr;
    const batch::TokenColumns& columns = as_columns(self)->columns;
    const std::size_t n = columns.size();
    const bool many = PyList_Check(source) || PyTuple_Check(source);
    if (many && columns.documents.size() != n) {
        PyErr_SetString(PyExc_ValueError, "these tokens come from one text");
        return nullptr;
    }
    PyObject* documents = many ? PySequence_Fast(source, "") : nullptr;
    if (many && documents == nullptr)
        return nullptr;
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(n));
    SourceText text_source;
    bool ok = list != nullptr && (many || bind_source(source, chars != 0, text_source));
    std::size_t bound = SIZE_MAX;  // the document text_source holds
    for (std::size_t i = 0; ok && i < n; ++i) {
        if (many && columns.documents[i] != bound) {
            bound = columns.documents[i];
            if (bound >= static_cast<std::size_t>(PySequence_Fast_GET_SIZE(documents))) {
                PyErr_SetString(PyExc_ValueError, "token outside the source text");
                ok = false;
                break;
            }
            ok = bind_source(PySequence_Fast_GET_ITEM(documents, static_cast<Py_ssize_t>(bound)),
                             chars != 0, text_source);
            if (!ok)
                break;
        }
        const long long start = columns.starts[i] - base;
        const long long end = columns.ends[i] - base;
        PyObject* text = nullptr;
        if (text_source.str != nullptr) {
            text = PyUnicode_Substring(text_source.str, start, end);
        } else if (start < 0 || end < start ||
                   static_cast<std::size_t>(end) > text_source.bytes.size()) {
            PyErr_SetString(PyExc_ValueError, "token outside the source text");
        } else {
            text = PyUnicode_DecodeUTF8(text_source.bytes.data() + start, end - start, nullptr);
        }
        if (text == nullptr) {
            ok = false;
            break;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), text);
    }
    Py_XDECREF(documents);
    if (!ok) {
        Py_XDECREF(list);
        return nullptr;
    }
    return list;
}

PyObject* columns_nbytes(PyObject* self, void*) {
    const batch::TokenColumns& c = as_columns(self)->columns;
    std::size_t total = 0;
    for (int id = 0; id < kColumnCount; ++id) {
        const ColumnView view = view_of(c, id);
        total += view.size * static_cast<std::size_t>(view.itemsize);
    }
    return PyLong_FromSize_t(total);
}

PyObject* columns_positions(PyObject* self, void*) {
    return PyBool_FromLong(as_columns(self)->positions);
}

PyMethodDef columns_methods[] = {
    {"buffer", columns_buffer, METH_O, "buffer(id): an object exporting column `id`."},
    {"texts", columns_texts, METH_VARARGS, "texts(source, base, chars): every token's text."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef columns_getset[] = {
    {"nbytes", columns_nbytes, nullptr, "Bytes held by the columns.", nullptr},
    {"positions", columns_positions, nullptr, "Whether the position columns are filled.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot columns_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(columns_dealloc)},
    {Py_tp_methods, columns_methods},
    {Py_tp_getset, columns_getset},
    {Py_sq_length, reinterpret_cast<void*>(columns_len)},
    {Py_tp_doc, const_cast<char*>("Token columns of one scan.")},
    {0, nullptr},
};

PyType_Spec columns_spec = {"quarn_tools._native.Columns", sizeof(ColumnsObject), 0, kTypeFlags,
                            columns_slots};

void column_buffer_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    Py_DECREF(reinterpret_cast<ColumnBufferObject*>(self)->owner);
    type->tp_free(self);
    Py_DECREF(type);
}

int column_buffer_get(PyObject* self, Py_buffer* view, int flags) {
    auto* object = reinterpret_cast<ColumnBufferObject*>(self);
    if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE) {
        PyErr_SetString(PyExc_BufferError, "token columns are read-only");
        return -1;
    }
    const ColumnView column = view_of(as_columns(object->owner)->columns, object->id);
    // An empty column has no block; any valid address will do.
    static const std::int64_t kEmpty = 0;
    view->buf = const_cast<void*>(column.size == 0 ? &kEmpty : column.data);
    Py_INCREF(self);
    view->obj = self;
    view->len = static_cast<Py_ssize_t>(column.size) * column.itemsize;
    view->readonly = 1;
    view->itemsize = column.itemsize;
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>(column.format) : nullptr;
    view->ndim = 1;
    view->shape = (flags & PyBUF_ND) ? &object->length : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? &view->itemsize : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}

PyType_Slot column_buffer_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(column_buffer_dealloc)},
    {Py_bf_getbuffer, reinterpret_cast<void*>(column_buffer_get)},
    {Py_tp_doc, const_cast<char*>("One token column, read through the buffer protocol.")},
    {0, nullptr},
};

PyType_Spec column_buffer_spec = {"quarn_tools._native.ColumnBuffer", sizeof(ColumnBufferObject), 0,
                                  kTypeFlags, column_buffer_slots};

PyTypeObject* columns_type_object = nullptr;
PyTypeObject* column_buffer_type_object = nullptr;

}  // namespace

PyTypeObject* columns_type() {
    if (columns_type_object == nullptr)
        columns_type_object = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&columns_spec));
    return columns_type_object;
}

PyTypeObject* column_buffer_type() {
    if (column_buffer_type_object == nullptr) {
        column_buffer_type_object =
            reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&column_buffer_spec));
    }
    return column_buffer_type_object;
}

PyObject* new_columns(batch::TokenColumns&& columns, bool positions) {
    PyTypeObject* type = columns_type();
    if (type == nullptr)
        return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr)
        return nullptr;
    new (&as_columns(self)->columns) batch::TokenColumns(std::move(columns));
    as_columns(self)->positions = positions;
    return self;
}

}  // namespace quarn::tools
