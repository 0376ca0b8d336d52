// Character iterator over validated UTF-8 delivering byte offsets, with a
// single saved state to jump back to. A plain value: copying it copies the
// saved state too. The iterator borrows the text; keep it alive.
#pragma once

#include <cstddef>
#include <optional>

#include "quarn/runtime/char_iter/item.hpp"
#include "quarn/runtime/utf8.hpp"

namespace quarn::runtime {

class CharIter {
  public:
    static constexpr bool kTracksPositions = false;

    explicit CharIter(ValidatedUtf8 input)
        : begin_(input.view().data()),
          cursor_(begin_),
          end_(begin_ + input.view().size()),
          saved_cursor_(begin_) {}

    std::optional<CharItem> next() {
        std::optional<CharItem> item = peek();
        if (item)
            cursor_ = decode_utf8(cursor_, item->ch);
        return item;
    }

    std::optional<CharItem> peek() const {
        if (cursor_ == end_)
            return std::nullopt;
        CharItem item;
        item.byte_index = byte_index();
        decode_utf8(cursor_, item.ch);
        return item;
    }

    // Records the current state, replacing anything saved before.
    void save_state() {
        saved_cursor_ = cursor_;
        has_saved_ = true;
    }
    // Returns to the saved state and forgets it; does nothing when nothing is saved.
    void restore_state() {
        if (!has_saved_)
            return;
        cursor_ = saved_cursor_;
        has_saved_ = false;
    }

    // Primitives of the search loop: the next character starts at cursor()
    // (unless at_end()); advance() consumes it given the decoder's result.
    bool at_end() const { return cursor_ == end_; }
    const char* cursor() const { return cursor_; }
    std::size_t byte_index() const { return static_cast<std::size_t>(cursor_ - begin_); }
    void advance(const char* after, char32_t /*ch*/) { cursor_ = after; }

    // An iterator over the rest of the text, nothing saved: what a lookahead reads.
    CharIter remainder() const { return CharIter(begin_, cursor_, end_); }

  private:
    friend class CharIterWithPosition;
    CharIter(const char* begin, const char* cursor, const char* end)
        : begin_(begin), cursor_(cursor), end_(end), saved_cursor_(cursor) {}

    const char* begin_;
    const char* cursor_;
    const char* end_;
    const char* saved_cursor_;
    bool has_saved_ = false;
};

}  // namespace quarn::runtime
