// `TokenMatch`: one token as Python sees it. The object holds plain C values and
// a copy of the token's UTF-8 bytes, no references to other Python objects, so
// the garbage collector never tracks it; `text` builds a new str on each access.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarn::python {

// Lines and columns count from 1.
struct TokenPositions {
    std::size_t start_line = 0;
    std::size_t start_column = 0;
    std::size_t end_line = 0;
    std::size_t end_column = 0;
};

// Most tokens are scanned without positions and are a few bytes long: such a
// token takes 64 bytes. Positions, when tracked, follow the text.
struct TokenMatchObject {
    PyVarObject ob_base;  // ob_size: length of `text` in bytes
    std::uint64_t token_type;
    std::size_t start;
    std::size_t end;
    bool has_positions;  // TokenPositions after the text, 8-byte aligned
    char text[1];
};

// Creates the type once per process; a borrowed reference, or nullptr with an
// error set.
PyTypeObject* token_match_type();

// A new TokenMatch, or nullptr with MemoryError set. `type` is token_match_type();
// `positions` is null for a token scanned without positions.
PyObject* new_token_match(PyTypeObject* type, std::uint64_t token_type, std::size_t start,
                          std::size_t end, std::string_view text, const TokenPositions* positions);

}  // namespace quarn::python
