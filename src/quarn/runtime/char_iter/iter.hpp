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

    // Everything that moves as characters are consumed.
    struct State {
        const char* cursor;
    };

    explicit CharIter(ValidatedUtf8 input)
        : CharIter(input.view().data(), input.view().data(),
                   input.view().data() + input.view().size()) {}

    std::optional<CharItem> next() {
        std::optional<CharItem> item = peek();
        if (item)
            state_.cursor = decode_utf8(state_.cursor, item->ch);
        return item;
    }

    std::optional<CharItem> peek() const {
        if (state_.cursor == end_)
            return std::nullopt;
        CharItem item;
        item.byte_index = byte_index();
        decode_utf8(state_.cursor, item.ch);
        return item;
    }

    // Records the current state, replacing anything saved before.
    void save_state() {
        saved_ = state_;
        has_saved_ = true;
    }
    // Returns to the saved state and forgets it; does nothing when nothing is saved.
    void restore_state() {
        if (!has_saved_)
            return;
        state_ = saved_;
        has_saved_ = false;
    }

    std::size_t byte_index() const { return static_cast<std::size_t>(state_.cursor - begin_); }

    // The search loop works on a copy of the state: the next character starts
    // at state.cursor unless it equals end(); advance() consumes it.
    // set_state() puts a state back and, like restore_state(), forgets any saved one.
    State state() const { return state_; }
    void set_state(State state) {
        state_ = state;
        has_saved_ = false;
    }
    const char* begin() const { return begin_; }
    const char* end() const { return end_; }
    static void advance(State& state, const char* after, char32_t /*ch*/) { state.cursor = after; }
    // advance() over every character of [state.cursor, to), whole characters.
    static void advance_run(State& state, const char* to) { state.cursor = to; }

    // An iterator over the text from `cursor`, a character boundary, with
    // nothing saved: what a lookahead reads.
    CharIter from(const char* cursor) const { return CharIter(begin_, cursor, end_); }

  private:
    CharIter(const char* begin, const char* cursor, const char* end)
        : begin_(begin), end_(end), state_{cursor}, saved_{cursor} {}

    const char* begin_;
    const char* end_;
    State state_;
    State saved_;
    bool has_saved_ = false;
};

}  // namespace quarn::runtime
