// Character iterator that also tracks line and column. Only U+000A ends a
// line, and the line feed belongs to the line it ends; a carriage return is an
// ordinary character; every character, whatever its UTF-8 length, is one column.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <optional>

#include "quarn/runtime/char_iter/item.hpp"
#include "quarn/runtime/char_iter/iter.hpp"
#include "quarn/runtime/position.hpp"
#include "quarn/runtime/utf8.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quarn::runtime {

class CharIterWithPosition {
  public:
    static constexpr bool kTracksPositions = true;

    struct State {
        const char* cursor;
        std::size_t line = 1;    // of the last character delivered
        std::size_t column = 0;  // of the last character delivered
        char32_t last_char = 0;
    };

    explicit CharIterWithPosition(ValidatedUtf8 input)
        : chars_(input), state_{chars_.begin()}, saved_{chars_.begin()} {}

    std::optional<CharItem> next() {
        std::optional<CharItem> item = peek();
        if (item)
            advance(state_, decode_utf8(state_.cursor, item->ch), item->ch);
        return item;
    }

    std::optional<CharItem> peek() const {
        if (state_.cursor == end())
            return std::nullopt;
        CharItem item;
        item.byte_index = byte_index();
        decode_utf8(state_.cursor, item.ch);
        item.position = next_position(state_);
        return item;
    }

    void save_state() {
        saved_ = state_;
        has_saved_ = true;
    }
    void restore_state() {
        if (!has_saved_)
            return;
        state_ = saved_;
        has_saved_ = false;
    }

    std::size_t byte_index() const {
        return static_cast<std::size_t>(state_.cursor - chars_.begin());
    }
    // Line and column of the last character delivered: (1, 0) before the first.
    std::size_t line() const { return state_.line; }
    std::size_t column() const { return state_.column; }
    Position next_position() const { return next_position(state_); }

    // The position the next character gets in `state`; also the exclusive end
    // position of everything delivered before it.
    static Position next_position(const State& state) {
        if (state.last_char == U'\n')
            return Position{state.line + 1, 1};
        return Position{state.line, state.column + 1};
    }

    // Search loop primitives; see CharIter.
    State state() const { return state_; }
    void set_state(State state) {
        state_ = state;
        has_saved_ = false;
    }
    const char* begin() const { return chars_.begin(); }
    const char* end() const { return chars_.end(); }
    static void advance(State& state, const char* after, char32_t ch) {
        // Branch-free: line feeds are too frequent to predict well.
        const bool after_line_feed = state.last_char == U'\n';
        state.line += after_line_feed;
        state.column = after_line_feed ? 1 : state.column + 1;
        state.last_char = ch;
        state.cursor = after;
    }

    // advance() over every character of [state.cursor, to), whole characters:
    // the line and column come from counts over the run rather than a step
    // per character.
    static void advance_run(State& state, const char* to) {
        const char* const from = state.cursor;
        if (to - from < kShortRun) {
            while (state.cursor != to) {
                char32_t ch = 0;
                const char* after = decode_utf8(state.cursor, ch);
                advance(state, after, ch);
            }
            return;
        }
        const bool after_line_feed = state.last_char == U'\n';
        const auto* last_line_feed =
            static_cast<const char*>(memrchr(from, '\n', static_cast<std::size_t>(to - from)));
        // Columns counted from the run's start, which continues the current line.
        const auto continue_line = [&](std::size_t characters) {
            return after_line_feed ? characters : state.column + characters;
        };
        if (last_line_feed == nullptr) {
            state.line += after_line_feed;
            state.column = continue_line(count_characters(from, to));
        } else {
            const std::size_t after_last = count_characters(last_line_feed + 1, to);
            // Every character that follows a line feed starts a line.
            state.line += after_line_feed + count_line_feeds(from, to) - (after_last == 0);
            if (after_last > 0) {
                state.column = after_last;
            } else {
                // The run ends with a line feed, which belongs to the line before it.
                const auto* previous = static_cast<const char*>(
                    memrchr(from, '\n', static_cast<std::size_t>(last_line_feed - from)));
                state.column = previous != nullptr ? count_characters(previous + 1, to)
                                                   : continue_line(count_characters(from, to));
            }
        }
        const char* last = to - 1;
        while ((static_cast<unsigned char>(*last) & 0xC0) == 0x80)
            --last;
        decode_utf8(last, state.last_char);
        state.cursor = to;
    }
    CharIter from(const char* cursor) const { return chars_.from(cursor); }

    // advance_run() to `token_start` and then to `token_end`, returning the
    // positions of the token between them. `text_end` bounds what may be
    // read: most tokens and the text before them are a few ASCII characters
    // on one line, found so with a block test.
    static Positions advance_over_token(State& state, const char* token_start,
                                        const char* token_end, const char* text_end) {
        if (ascii_without_line_feeds(state.cursor, token_end, text_end)) {
            const bool after_line_feed = state.last_char == U'\n';
            const std::size_t line = state.line + after_line_feed;
            const std::size_t column = after_line_feed ? 0 : state.column;
            const auto start_offset = static_cast<std::size_t>(token_start - state.cursor);
            const auto end_offset = static_cast<std::size_t>(token_end - state.cursor);
            state = State{token_end, line, column + end_offset,
                          static_cast<unsigned char>(token_end[-1])};
            return Positions{Position{line, column + start_offset + 1},
                             Position{line, column + end_offset + 1}};
        }
        if (!advance_without_line_feeds(state, token_start, text_end))
            advance_run(state, token_start);
        const Position start = next_position(state);
        if (!advance_without_line_feeds(state, token_end, text_end))
            advance_run(state, token_end);
        return Positions{start, next_position(state)};
    }

  private:
    // Whether [from, to) is at most 16 ASCII characters other than line feeds,
    // tested with one block read, which needs 16 bytes from `from` below `text_end`.
    static bool ascii_without_line_feeds(const char* from, const char* to, const char* text_end) {
#ifdef __SSE2__
        if (to - from > 16 || text_end - from < 16)
            return false;
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        // Sign bits: non-ASCII bytes and line feeds.
        const __m128i marks = _mm_or_si128(bytes, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
        const auto in_range = (1u << (to - from)) - 1;
        return (static_cast<unsigned>(_mm_movemask_epi8(marks)) & in_range) == 0;
#else
        static_cast<void>(from);
        static_cast<void>(to);
        static_cast<void>(text_end);
        return false;
#endif
    }

    // advance_run() to `to` when the run has no line feed, found so a block of
    // 16 bytes at a time (which needs the blocks to lie below `text_end`);
    // otherwise false, with `state` unchanged.
    static bool advance_without_line_feeds(State& state, const char* to, const char* text_end) {
        const char* const from = state.cursor;
        if (to == from)
            return true;
#ifdef __SSE2__
        std::size_t continuation_bytes = 0;
        for (const char* block = from;; block += 16) {
            if (text_end - block < 16)
                return false;
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
            const std::ptrdiff_t left = to - block;
            const unsigned in_range = left >= 16 ? 0xFFFFu : (1u << left) - 1;
            const auto mask = [&](__m128i set) {
                return static_cast<unsigned>(_mm_movemask_epi8(set)) & in_range;
            };
            if (mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))) != 0)
                return false;
            if (mask(bytes) != 0) {
                const __m128i top_bits = _mm_and_si128(bytes, _mm_set1_epi8(char(0xC0)));
                continuation_bytes += static_cast<std::size_t>(
                    std::popcount(mask(_mm_cmpeq_epi8(top_bits, _mm_set1_epi8(char(0x80))))));
            }
            if (left <= 16)
                break;
        }
        const bool after_line_feed = state.last_char == U'\n';
        state.line += after_line_feed;
        state.column = (after_line_feed ? 0 : state.column) + static_cast<std::size_t>(to - from) -
                       continuation_bytes;
        const char* last = to - 1;
        while ((static_cast<unsigned char>(*last) & 0xC0) == 0x80)
            --last;
        decode_utf8(last, state.last_char);
        state.cursor = to;
        return true;
#else
        static_cast<void>(text_end);
        return false;
#endif
    }

    // Below this length stepping is cheaper than counting.
    static constexpr std::ptrdiff_t kShortRun = 12;

    // Lead bytes, one per character; a loop the compiler vectorizes.
    static std::size_t count_characters(const char* from, const char* to) {
        std::size_t count = 0;
        for (const char* p = from; p != to; ++p)
            count += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
        return count;
    }
    static std::size_t count_line_feeds(const char* from, const char* to) {
        std::size_t count = 0;
        for (const char* p = from; p != to; ++p)
            count += *p == '\n';
        return count;
    }

    CharIter chars_;  // the text; its own state is not used
    State state_;
    State saved_;
    bool has_saved_ = false;
};

}  // namespace quarn::runtime
