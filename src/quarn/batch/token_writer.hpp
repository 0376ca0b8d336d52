// Appends the tokens of one stretch of text to columns, turning the search's
// byte spans into what the caller asked for.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "quarn/batch/scan_state.hpp"
#include "quarn/batch/token_columns.hpp"
#include "quarn/runtime/match_types.hpp"

namespace quarn::batch {

// Character offsets and positions are counted here from the bytes between
// token boundaries, each byte once, rather than by a position-tracking search:
// the search then runs its plain loop whatever was asked. The flags are
// template parameters so that the per-token path carries no option branches.
template <bool kPositions, bool kCharOffsets>
class TokenWriter {
  public:
    // `text` is the stretch; `origin` holds the offsets and position of its
    // first character, which the written tokens are counted from.
    TokenWriter(std::string_view text, const ScanState& origin, TokenColumns& out)
        : text_(reinterpret_cast<const unsigned char*>(text.data())),
          size_(text.size()),
          byte_base_(static_cast<std::int64_t>(origin.byte_offset)),
          chars_(static_cast<std::int64_t>(origin.char_offset)),
          line_(static_cast<std::int64_t>(origin.position.line)),
          line_start_(chars_ + 1 - static_cast<std::int64_t>(origin.position.column)),
          out_(out) {}
    TokenWriter(const TokenWriter&) = delete;
    TokenWriter& operator=(const TokenWriter&) = delete;
    ~TokenWriter() { commit(); }

    // Tokens must come in text order.
    void write(const runtime::Match& match) {
        if (written_ == room_) [[unlikely]]
            make_room();
        const std::size_t i = written_++;
        slots_.types[i] = static_cast<std::uint32_t>(match.token_type);
        if constexpr (!kPositions && !kCharOffsets) {
            slots_.starts[i] = byte_base_ + static_cast<std::int64_t>(match.span.start);
            slots_.ends[i] = byte_base_ + static_cast<std::int64_t>(match.span.end);
        } else {
            count_to(match.span.start);
            slots_.starts[i] = offset(match.span.start);
            if constexpr (kPositions) {
                slots_.start_lines[i] = line_;
                slots_.start_columns[i] = column();
            }
            count_to(match.span.end);
            slots_.ends[i] = offset(match.span.end);
            if constexpr (kPositions) {
                slots_.end_lines[i] = line_;
                slots_.end_columns[i] = column();
            }
        }
    }

  private:
    // Where the next tokens go: spare capacity of every column written, so
    // that a token costs one room check instead of one per column.
    struct Slots {
        std::uint32_t* types = nullptr;
        std::int64_t* starts = nullptr;
        std::int64_t* ends = nullptr;
        std::int64_t* start_lines = nullptr;
        std::int64_t* start_columns = nullptr;
        std::int64_t* end_lines = nullptr;
        std::int64_t* end_columns = nullptr;
    };

    void commit() {
        out_.types.commit(written_);
        out_.starts.commit(written_);
        out_.ends.commit(written_);
        if constexpr (kPositions) {
            out_.start_lines.commit(written_);
            out_.start_columns.commit(written_);
            out_.end_lines.commit(written_);
            out_.end_columns.commit(written_);
        }
        written_ = 0;
    }

    void make_room() {
        commit();
        const std::size_t wanted = out_.types.capacity() > out_.types.size()
                                       ? out_.types.capacity() - out_.types.size()
                                       : out_.types.size() + 1024;
        slots_.types = out_.types.spare(wanted);
        slots_.starts = out_.starts.spare(wanted);
        slots_.ends = out_.ends.spare(wanted);
        if constexpr (kPositions) {
            slots_.start_lines = out_.start_lines.spare(wanted);
            slots_.start_columns = out_.start_columns.spare(wanted);
            slots_.end_lines = out_.end_lines.spare(wanted);
            slots_.end_columns = out_.end_columns.spare(wanted);
        }
        room_ = wanted;
    }

    std::int64_t column() const { return chars_ - line_start_ + 1; }

    std::int64_t offset(std::size_t byte) const {
        if constexpr (kCharOffsets)
            return chars_;
        else
            return byte_base_ + static_cast<std::int64_t>(byte);
    }

    // Moves the counters to text_[byte]. A character is counted at its lead
    // byte; only U+000A ends a line, and the next character is in column 1.
    // Eight bytes at a time where the text allows a whole-word load (tokens
    // are short, so mostly one word, masked to the span); a word that holds
    // a line feed is counted byte by byte.
    void count_to(std::size_t byte) {
        std::size_t at = counted_;
        counted_ = byte;
        constexpr std::uint64_t kOnes = 0x0101'0101'0101'0101ULL;
        while (at < byte) {
            const std::size_t length = byte - at < 8 ? byte - at : 8;
            if (std::endian::native != std::endian::little || size_ - at < 8) {
                count_bytes(at, byte);
                return;
            }
            std::uint64_t word;
            std::memcpy(&word, text_ + at, sizeof word);
            const std::uint64_t keep = length == 8 ? ~0ULL : (1ULL << (8 * length)) - 1;
            if constexpr (kPositions) {
                const std::uint64_t x = word ^ (kOnes * '\n');
                if (((x - kOnes) & ~x & (kOnes << 7) & keep) != 0) {
                    count_bytes(at, at + length);
                    at += length;
                    continue;
                }
            }
            const std::uint64_t continuations = (word >> 7) & ~(word >> 6) & kOnes & keep;
            // One 0/1 per byte: the multiplication sums them into the top byte
            // (a popcount instruction is not in the baseline instruction set).
            chars_ += static_cast<std::int64_t>(length) -
                      static_cast<std::int64_t>((continuations * kOnes) >> 56);
            at += length;
        }
    }

    // The same, one byte at a time. Counted in locals: stores through a char
    // pointer could alias the members.
    void count_bytes(std::size_t from, std::size_t to) {
        std::int64_t chars = chars_;
        std::int64_t line = line_;
        std::int64_t line_start = line_start_;
        for (const unsigned char* p = text_ + from; p != text_ + to; ++p) {
            const unsigned char c = *p;
            chars += (c & 0xC0) != 0x80;
            if constexpr (kPositions) {
                const bool line_feed = c == '\n';
                line += line_feed;
                line_start = line_feed ? chars : line_start;
            }
        }
        chars_ = chars;
        line_ = line;
        line_start_ = line_start;
    }

    const unsigned char* text_;
    std::size_t size_;
    std::int64_t byte_base_;
    std::size_t counted_ = 0;  // the counters below are those of text_[counted_]
    std::int64_t chars_;       // characters before it
    std::int64_t line_;        // its line
    std::int64_t line_start_;  // characters before the first of its line
    TokenColumns& out_;
    Slots slots_;
    std::size_t written_ = 0;  // into slots_, not yet committed
    std::size_t room_ = 0;     // the slots' size
};

// Calls `body` with the writer `options` ask for.
template <class Body>
decltype(auto) with_token_writer(const ScanOptions& options, std::string_view text,
                                 const ScanState& origin, TokenColumns& out, Body&& body) {
    const bool chars = options.offsets == Offsets::CodePoints;
    if (options.positions) {
        if (chars) {
            TokenWriter<true, true> writer(text, origin, out);
            return body(writer);
        }
        TokenWriter<true, false> writer(text, origin, out);
        return body(writer);
    }
    if (chars) {
        TokenWriter<false, true> writer(text, origin, out);
        return body(writer);
    }
    TokenWriter<false, false> writer(text, origin, out);
    return body(writer);
}

}  // namespace quarn::batch
