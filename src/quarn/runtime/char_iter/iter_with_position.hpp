// Character iterator that also tracks line and column. Only U+000A ends a
// line, and the line feed belongs to the line it ends; a carriage return is an
// ordinary character; every character, whatever its UTF-8 length, is one column.
#pragma once

#include <cstddef>
#include <optional>

#include "quarn/runtime/char_iter/item.hpp"
#include "quarn/runtime/char_iter/iter.hpp"
#include "quarn/runtime/position.hpp"
#include "quarn/runtime/utf8.hpp"

namespace quarn::runtime {

class CharIterWithPosition {
  public:
    static constexpr bool kTracksPositions = true;

    explicit CharIterWithPosition(ValidatedUtf8 input)
        : begin_(input.view().data()), end_(begin_ + input.view().size()), state_{begin_} {}

    std::optional<CharItem> next() {
        std::optional<CharItem> item = peek();
        if (item)
            advance(decode_utf8(state_.cursor, item->ch), item->ch);
        return item;
    }

    std::optional<CharItem> peek() const {
        if (at_end())
            return std::nullopt;
        CharItem item;
        item.byte_index = byte_index();
        decode_utf8(state_.cursor, item.ch);
        item.position = next_position();
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

    // Line and column of the last character delivered: (1, 0) before the first.
    std::size_t line() const { return state_.line; }
    std::size_t column() const { return state_.column; }

    // The position the next character gets; also the exclusive end position
    // of everything delivered so far.
    Position next_position() const {
        if (state_.last_char == U'\n')
            return Position{state_.line + 1, 1};
        return Position{state_.line, state_.column + 1};
    }

    bool at_end() const { return state_.cursor == end_; }
    const char* cursor() const { return state_.cursor; }
    std::size_t byte_index() const { return static_cast<std::size_t>(state_.cursor - begin_); }
    void advance(const char* after, char32_t ch) {
        // Branch-free: line feeds are common enough to mispredict.
        const bool after_line_feed = state_.last_char == U'\n';
        state_.line += after_line_feed;
        state_.column = after_line_feed ? 1 : state_.column + 1;
        state_.last_char = ch;
        state_.cursor = after;
    }

    CharIter remainder() const { return CharIter(begin_, state_.cursor, end_); }

  private:
    struct State {
        const char* cursor;
        std::size_t line = 1;
        std::size_t column = 0;
        char32_t last_char = 0;
    };

    const char* begin_;
    const char* end_;
    State state_;
    State saved_ = state_;
    bool has_saved_ = false;
};

}  // namespace quarn::runtime
