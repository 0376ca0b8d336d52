// `TokenMatch`: one token as Python sees it. The object holds plain C values and
// a copy of the token's UTF-8 bytes, no references to other Python objects, so
// the garbage collector never tracks it; `text` builds a new str on each access.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "quarn/runtime/match_types.hpp"

namespace quarn::python {

// Most tokens are scanned without positions and are a few bytes long: such a
// token takes 48 or 64 bytes. Positions, when tracked, follow the text.
struct TokenMatchObject {
    PyVarObject ob_base;  // ob_size: length of `text` in bytes, so end - start
    std::uint64_t token_type;
    std::size_t start;
    bool has_positions;  // TokenPositions after the text, 8-byte aligned
    char text[1];
};

// Creates the type once per process; a borrowed reference, or nullptr with an
// error set.
PyTypeObject* token_match_type();

// The result list of a scan, built in place: the TokenMatch objects go straight
// into the list's own array, grown by doubling, and the list is shown to nobody
// until it is full. Objects are made here, a batch at a time, so that making
// one is no call of its own.
class TokenMatchList {
  public:
    TokenMatchList();
    TokenMatchList(const TokenMatchList&) = delete;
    TokenMatchList& operator=(const TokenMatchList&) = delete;
    ~TokenMatchList() { Py_XDECREF(list_); }

    // Appends one TokenMatch per match; the spans index `input`. False with an
    // error set if memory runs out or the list could not be made.
    bool add(std::span<const runtime::Match> matches, std::string_view input);

    // The finished list, or nullptr with an error set.
    PyObject* release();

  private:
    bool reserve(Py_ssize_t size);

    PyTypeObject* type_;
    PyListObject* list_;
};

}  // namespace quarn::python
