// Scanning text that arrives in pieces of any size (a file read block by
// block) with exactly the tokens a scan of the whole text would give.
//
// A step of the search (skipping characters, matching a token, evaluating its
// lookaheads) may read ahead. A step that stopped before the end of the text
// received so far is final; one that reached it might end differently once
// more text arrives, so it is undone and held back, with the text from where
// it began, until more text or the end of the input comes. Only that text is
// kept, so memory stays bounded by the piece size unless a single token or
// lookahead spans more.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "quarn/base/result.hpp"
#include "quarn/batch/scan_state.hpp"
#include "quarn/batch/token_columns.hpp"
#include "quarn/runtime/compiled_scanner.hpp"
#include "quarn/runtime/utf8.hpp"

namespace quarn::batch {

class ChunkedScanner {
  public:
    // Offsets and positions count on from the counters of `initial`.
    ChunkedScanner(std::shared_ptr<const runtime::CompiledScanner> scanner,
                   const ScanOptions& options, ScanState initial);

    // Takes the next bytes of the input and appends the tokens now decided to
    // `out`. A UTF-8 sequence may be split between pieces. Invalid UTF-8 is an
    // error whose offset counts from the start of the input (the initial
    // byte_offset); nothing more may be fed after it. `done`, when given,
    // receives the text the state moved past (the new tokens lie in it).
    base::Result<std::size_t, runtime::Utf8Error> feed(std::string_view bytes, TokenColumns& out,
                                                       std::string* done = nullptr);

    // The input ends: appends the remaining tokens. An unfinished UTF-8
    // sequence at the end is an error.
    base::Result<std::size_t, runtime::Utf8Error> finish(TokenColumns& out,
                                                         std::string* done = nullptr);

    // Where the tokens written so far end: the modes and counters at the
    // start of the text held back. Resuming a scan there, with the input
    // from state().byte_offset on, gives the remaining tokens.
    const ScanState& state() const { return state_; }
    std::size_t held_bytes() const { return buffer_.size(); }

  private:
    // Validates the newly added bytes; a sequence cut off at the end waits.
    base::Result<std::size_t, runtime::Utf8Error> validate_new_bytes();
    // Appends every decided token; returns how many.
    std::size_t scan(TokenColumns& out, bool at_end, std::string* done);
    template <class Writer>
    std::size_t scan_with(Writer& writer, std::string_view text, bool at_end, std::string* done);

    std::shared_ptr<const runtime::CompiledScanner> scanner_;
    ScanOptions options_;
    ScanState state_;
    std::string buffer_;        // the input from state_.byte_offset on
    std::size_t complete_ = 0;  // the prefix of buffer_ known to be whole characters
    // buffer_'s size when a scan last ended undecided: scanning again before
    // the text has grown well past it would redo most of the work for nothing.
    std::size_t undecided_ = 0;
};

}  // namespace quarn::batch
