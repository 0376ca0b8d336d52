#include "string_arrays.hpp"

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "columns.hpp"
#include "common.hpp"
#include "quarn/batch/string_array.hpp"

namespace quarn::tools {

namespace {

// A buffer-protocol view released on scope exit; an empty one for None.
class BufferView {
  public:
    bool acquire(PyObject* object) {
        if (object == Py_None)
            return true;
        if (PyObject_GetBuffer(object, &view_, PyBUF_SIMPLE) < 0)
            return false;
        held_ = true;
        return true;
    }
    ~BufferView() {
        if (held_)
            PyBuffer_Release(&view_);
    }
    const char* data() const { return held_ ? static_cast<const char*>(view_.buf) : nullptr; }
    std::size_t size() const { return held_ ? static_cast<std::size_t>(view_.len) : 0; }
    bool held() const { return held_; }

  private:
    Py_buffer view_{};
    bool held_ = false;
};

// A new bytes object of `size` bytes for C++ to fill, viewed as T.
template <class T>
PyObject* new_block(std::size_t count, std::span<T>& view) {
    PyObject* bytes =
        PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(count * sizeof(T)));
    if (bytes != nullptr)
        view = std::span<T>(reinterpret_cast<T*>(PyBytes_AS_STRING(bytes)), count);
    return bytes;
}

template <class Offset>
PyObject* scan_typed(const pipeline::Scanner& scanner, const BufferView& offsets,
                     const BufferView& data, const BufferView& validity, std::size_t first,
                     std::size_t length, const batch::ScanOptions& options, bool texts,
                     std::size_t threads, PyObject* utf8_failure) {
    if (offsets.size() / sizeof(Offset) < (length == 0 ? 0 : first + length + 1) ||
        (validity.held() && validity.size() * 8 < first + length)) {
        PyErr_SetString(PyExc_ValueError, "string array buffers shorter than the array");
        return nullptr;
    }
    batch::StringArray<Offset> array;
    // Arrow aligns its buffers; a view of other memory may not be, and is copied.
    std::vector<Offset> aligned;
    if (length > 0) {
        const char* bytes = offsets.data() + first * sizeof(Offset);
        const Offset* start = reinterpret_cast<const Offset*>(bytes);
        if (reinterpret_cast<std::uintptr_t>(bytes) % alignof(Offset) != 0) {
            aligned.resize(length + 1);
            std::memcpy(aligned.data(), bytes, aligned.size() * sizeof(Offset));
            start = aligned.data();
        }
        array.offsets = std::span<const Offset>(start, length + 1);
    }
    array.data = std::string_view(data.data(), data.size());
    array.validity = reinterpret_cast<const std::uint8_t*>(validity.data());
    array.first_bit = first;

    std::optional<base::Result<batch::TokenColumns, batch::StringArrayError>> scanned;
    without_gil(
        [&] { scanned.emplace(batch::scan_string_array(*scanner, array, options, threads)); });
    if (!*scanned) {
        const batch::StringArrayError& error = scanned->error();
        if (error.kind == batch::StringArrayError::Kind::Layout) {
            PyErr_Format(PyExc_ValueError, "document %zu: %s", error.document,
                         error.message.c_str());
        } else {
            PyObject* value =
                Py_BuildValue("(snn)", error.message.c_str(), static_cast<Py_ssize_t>(error.offset),
                              static_cast<Py_ssize_t>(error.document));
            if (value != nullptr) {
                PyErr_SetObject(utf8_failure, value);
                Py_DECREF(value);
            }
        }
        return nullptr;
    }
    batch::TokenColumns tokens = std::move(scanned->value());

    PyObject* list_offsets = nullptr;
    const bool large_list = tokens.size() > static_cast<std::size_t>(INT32_MAX);
    if (large_list) {
        std::span<std::int64_t> view;
        if ((list_offsets = new_block(length + 1, view)) != nullptr)
            batch::token_list_offsets(tokens.documents, view);
    } else {
        std::span<std::int32_t> view;
        if ((list_offsets = new_block(length + 1, view)) != nullptr)
            batch::token_list_offsets(tokens.documents, view);
    }
    if (list_offsets == nullptr)
        return nullptr;

    PyObject* bits = Py_None;
    Py_INCREF(bits);
    if (validity.held()) {
        std::span<std::uint8_t> view;
        Py_DECREF(bits);
        if ((bits = new_block((length + 7) / 8, view)) != nullptr)
            batch::copy_validity(array, view);
    }
    PyObject* text_offsets = Py_None;
    PyObject* text_data = Py_None;
    Py_INCREF(text_offsets);
    Py_INCREF(text_data);
    if (bits != nullptr && texts) {
        std::span<std::int64_t> offsets_view;
        std::span<char> data_view;
        Py_DECREF(text_offsets);
        Py_DECREF(text_data);
        text_offsets = new_block(tokens.size() + 1, offsets_view);
        text_data = new_block(batch::token_text_bytes(tokens), data_view);
        if (text_offsets != nullptr && text_data != nullptr)
            batch::gather_token_texts(tokens, array, offsets_view, data_view);
    }
    PyObject* columns = nullptr;
    if (bits != nullptr && text_offsets != nullptr && text_data != nullptr)
        columns = new_columns(std::move(tokens), options.positions);
    if (columns == nullptr) {
        Py_DECREF(list_offsets);
        Py_XDECREF(bits);
        Py_XDECREF(text_offsets);
        Py_XDECREF(text_data);
        return nullptr;
    }
    return Py_BuildValue("(NNNNNN)", columns, list_offsets, PyBool_FromLong(large_list), bits,
                         text_offsets, text_data);
}

}  // namespace

PyObject* scan_string_array(const pipeline::Scanner& scanner, PyObject* args,
                            PyObject* utf8_failure) {
    PyObject* offsets_object = nullptr;
    PyObject* data_object = nullptr;
    PyObject* validity_object = nullptr;
    Py_ssize_t first = 0;
    Py_ssize_t length = 0;
    int large = 0;
    int positions = 0;
    int chars = 0;
    int texts = 0;
    Py_ssize_t threads = 1;
    if (!PyArg_ParseTuple(args, "OOOnnppppn", &offsets_object, &data_object, &validity_object,
                          &first, &length, &large, &positions, &chars, &texts, &threads))
        return nullptr;
    if (chars && texts) {
        PyErr_SetString(PyExc_ValueError, "token texts are gathered by byte offsets");
        return nullptr;
    }
    if (first < 0 || length < 0) {
        PyErr_SetString(PyExc_ValueError, "negative array offset or length");
        return nullptr;
    }
    BufferView offsets;
    BufferView data;
    BufferView validity;
    if (!offsets.acquire(offsets_object) || !data.acquire(data_object) ||
        !validity.acquire(validity_object))
        return nullptr;
    const batch::ScanOptions options{positions != 0,
                                     chars ? batch::Offsets::CodePoints : batch::Offsets::Bytes};
    const auto at = static_cast<std::size_t>(first);
    const auto n = static_cast<std::size_t>(length);
    const auto workers = static_cast<std::size_t>(threads < 1 ? 1 : threads);
    return guarded([&]() -> PyObject* {
        if (large)
            return scan_typed<std::int64_t>(scanner, offsets, data, validity, at, n, options,
                                            texts != 0, workers, utf8_failure);
        return scan_typed<std::int32_t>(scanner, offsets, data, validity, at, n, options,
                                        texts != 0, workers, utf8_failure);
    });
}

}  // namespace quarn::tools
