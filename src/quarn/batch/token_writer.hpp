// Appends the tokens of one stretch of text to columns, turning the search's
// byte spans and stretch-relative positions into what the caller asked for.
#pragma once

#include <cstdint>
#include <string_view>

#include "quarn/batch/scan_state.hpp"
#include "quarn/batch/token_columns.hpp"
#include "quarn/runtime/match_types.hpp"

namespace quarn::batch {

class TokenWriter {
  public:
    // `text` is the stretch; `origin` holds the offsets and position of its
    // first character, which the written tokens are counted from.
    TokenWriter(std::string_view text, const ScanOptions& options, const ScanState& origin,
                TokenColumns& out)
        : text_(text),
          options_(options),
          byte_base_(static_cast<std::int64_t>(origin.byte_offset)),
          chars_before_(static_cast<std::int64_t>(origin.char_offset)),
          first_position_(origin.position),
          out_(out) {}

    // Tokens must come in text order.
    void write(const runtime::Match& match) {
        out_.types.push_back(static_cast<std::uint32_t>(match.token_type));
        out_.starts.push_back(offset(match.span.start));
        out_.ends.push_back(offset(match.span.end));
        if (options_.positions && match.positions) {
            const runtime::Position start = rebase(match.positions->start_position);
            const runtime::Position end = rebase(match.positions->end_position);
            out_.start_lines.push_back(static_cast<std::int64_t>(start.line));
            out_.start_columns.push_back(static_cast<std::int64_t>(start.column));
            out_.end_lines.push_back(static_cast<std::int64_t>(end.line));
            out_.end_columns.push_back(static_cast<std::int64_t>(end.column));
        }
    }

  private:
    std::int64_t offset(std::size_t byte) {
        if (options_.offsets == Offsets::Bytes)
            return byte_base_ + static_cast<std::int64_t>(byte);
        // Offsets only grow, so each byte is counted once.
        chars_before_ +=
            static_cast<std::int64_t>(count_chars(text_.substr(counted_, byte - counted_)));
        counted_ = byte;
        return chars_before_;
    }

    // A position counted from the stretch's start (line 1, column 1).
    runtime::Position rebase(runtime::Position relative) const {
        if (relative.line == 1)
            return {first_position_.line, first_position_.column + relative.column - 1};
        return {first_position_.line + relative.line - 1, relative.column};
    }

    std::string_view text_;
    ScanOptions options_;
    std::int64_t byte_base_;
    std::int64_t chars_before_;  // characters before text_[counted_]
    std::size_t counted_ = 0;
    runtime::Position first_position_;
    TokenColumns& out_;
};

}  // namespace quarn::batch
