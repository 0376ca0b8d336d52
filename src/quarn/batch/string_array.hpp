// Scanning texts laid out as a columnar string array (one block of UTF-8
// bytes, n + 1 offsets into it, an optional validity bitmap), and turning the
// result into the buffers of per-document token lists, without an object per
// token. The array comes from outside: its offsets and UTF-8 are checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "quarn/base/result.hpp"
#include "quarn/batch/token_columns.hpp"
#include "quarn/runtime/compiled_scanner.hpp"

namespace quarn::batch {

// Offset is std::int32_t or std::int64_t.
template <class Offset>
struct StringArray {
    std::span<const Offset> offsets;  // size() + 1 entries, or none for an empty array
    std::string_view data;
    const std::uint8_t* validity = nullptr;  // least significant bit first; null: all present
    std::size_t first_bit = 0;               // validity bit of document 0

    std::size_t size() const { return offsets.empty() ? 0 : offsets.size() - 1; }
    bool present(std::size_t i) const {
        const std::size_t bit = first_bit + i;
        return validity == nullptr || ((validity[bit / 8] >> (bit % 8)) & 1) != 0;
    }
};

struct StringArrayError {
    enum class Kind : std::uint8_t { Layout, InvalidUtf8 };
    Kind kind;
    std::size_t document;
    std::size_t offset;  // of the first invalid byte within the document
    std::string message;
};

// The tokens of every present document, scanned from the initial mode with
// offsets from the document's start, on up to `threads` threads; `documents`
// holds each token's document index. Absent documents have no tokens.
template <class Offset>
base::Result<TokenColumns, StringArrayError> scan_string_array(
    const runtime::CompiledScanner& scanner, const StringArray<Offset>& array,
    const ScanOptions& options, std::size_t threads);

// Where each document's run of tokens begins in `documents` (ascending
// indices below out.size()), and where the last ends: out.size() - 1 documents.
template <class Offset>
void token_list_offsets(const Column<std::uint32_t>& documents, std::span<Offset> out);

// The validity bits of `array`, moved to start at bit 0 of `out`
// ((size + 7) / 8 bytes); unused trailing bits are cleared.
template <class Offset>
void copy_validity(const StringArray<Offset>& array, std::span<std::uint8_t> out);

// Total bytes of the tokens' texts (byte offsets).
std::size_t token_text_bytes(const TokenColumns& tokens);

// The token texts (byte offsets) of a scan of `array`, in order, as a string
// array: `offsets` has tokens.size() + 1 entries, `data` token_text_bytes().
template <class Offset>
void gather_token_texts(const TokenColumns& tokens, const StringArray<Offset>& array,
                        std::span<std::int64_t> offsets, std::span<char> data);

}  // namespace quarn::batch
