// Tokens as columns: one contiguous array per field, so that a whole scan
// costs 20 bytes per token (28 more with positions) and each array can be
// shared without copying.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quarn/batch/column.hpp"

namespace quarn::batch {

enum class Offsets : std::uint8_t {
    Bytes,       // into the UTF-8 text
    CodePoints,  // into the text as a sequence of characters
};

struct ScanOptions {
    bool positions = false;
    Offsets offsets = Offsets::Bytes;
};

struct TokenColumns {
    // Token types fit 32 bits: the definition language refuses larger ones.
    Column<std::uint32_t> types;
    Column<std::int64_t> starts;
    Column<std::int64_t> ends;
    // Filled only when positions were asked for; lines and columns count from 1.
    Column<std::int64_t> start_lines;
    Column<std::int64_t> start_columns;
    Column<std::int64_t> end_lines;
    Column<std::int64_t> end_columns;
    // Filled only by scans of several documents: the index of each token's document.
    Column<std::uint32_t> documents;

    std::size_t size() const { return types.size(); }
    // Makes room for `tokens` in all in the token columns (the position ones
    // only with `positions`); see Column::reserve.
    void reserve(std::size_t tokens, bool positions);
    void shrink_to_fit();
    // Appends every column of `other` to the same column here.
    void append(const TokenColumns& other);
};

}  // namespace quarn::batch
