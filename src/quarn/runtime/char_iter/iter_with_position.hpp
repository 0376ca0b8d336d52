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

    explicit CharIterWithPosition(ValidatedUtf8 input) : chars_(input), saved_chars_(input) {}

    std::optional<CharItem> next() {
        std::optional<CharItem> item = peek();
        if (item)
            advance(decode_utf8(chars_.cursor(), item->ch), item->ch);
        return item;
    }

    std::optional<CharItem> peek() const {
        std::optional<CharItem> item = chars_.peek();
        if (item)
            item->position = next_position();
        return item;
    }

    void save_state() {
        saved_chars_ = chars_;
        saved_line_ = line_;
        saved_column_ = column_;
        saved_last_char_ = last_char_;
        has_saved_ = true;
    }
    void restore_state() {
        if (!has_saved_)
            return;
        chars_ = saved_chars_;
        line_ = saved_line_;
        column_ = saved_column_;
        last_char_ = saved_last_char_;
        has_saved_ = false;
    }

    // Line and column of the last character delivered: (1, 0) before the first.
    std::size_t line() const { return line_; }
    std::size_t column() const { return column_; }

    // The position the next character gets; also the exclusive end position
    // of everything delivered so far.
    Position next_position() const {
        if (last_char_ == U'\n')
            return Position{line_ + 1, 1};
        return Position{line_, column_ + 1};
    }

    bool at_end() const { return chars_.at_end(); }
    const char* cursor() const { return chars_.cursor(); }
    std::size_t byte_index() const { return chars_.byte_index(); }
    void advance(const char* after, char32_t ch) {
        if (last_char_ == U'\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        last_char_ = ch;
        chars_.advance(after, ch);
    }

    CharIter remainder() const { return chars_.remainder(); }

  private:
    CharIter chars_;  // never holds a saved state of its own
    std::size_t line_ = 1;
    std::size_t column_ = 0;
    char32_t last_char_ = 0;
    CharIter saved_chars_;
    std::size_t saved_line_ = 1;
    std::size_t saved_column_ = 0;
    char32_t saved_last_char_ = 0;
    bool has_saved_ = false;
};

}  // namespace quarn::runtime
