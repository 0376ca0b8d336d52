// Scanning a text held whole into token columns, alone or many at once.
#pragma once

#include <cstddef>
#include <span>

#include "quarn/batch/scan_state.hpp"
#include "quarn/batch/token_columns.hpp"
#include "quarn/runtime/compiled_scanner.hpp"
#include "quarn/runtime/utf8.hpp"

namespace quarn::batch {

// A guess at the number of tokens in `bytes` of text, generous for most
// languages (JSON has about one per five bytes): reserving it up front spares
// the copies of growing the columns. Capped so that a huge text does not
// reserve far more address space than it is likely to use.
std::size_t expected_tokens(std::size_t bytes);

// Appends the tokens of `text` to `out`, starting in the modes of `state` and
// leaving them where the scan ends. Offsets and positions count from the
// counters of `state`, which this does not move: advance_counters does, for
// callers that carry them on.

void scan_text(const runtime::CompiledScanner& scanner, runtime::ValidatedUtf8 text,
               const ScanOptions& options, ScanState& state, TokenColumns& out);

// Scans every document from the initial mode, with offsets counted from its
// own start, on up to `threads` threads; the result lists the documents'
// tokens in order and fills `documents`. Unused capacity is released.
TokenColumns scan_many(const runtime::CompiledScanner& scanner,
                       std::span<const runtime::ValidatedUtf8> documents,
                       const ScanOptions& options, std::size_t threads);

}  // namespace quarn::batch
