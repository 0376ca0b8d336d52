// A read position in one token stream level: the whole text or the inside of a
// group. Stepping over a group skips its inner tokens.
#pragma once

#include <cstddef>

#include "quarn/definition/tokenizer.hpp"

namespace quarn::definition {

class Cursor {
  public:
    Cursor(const TokenStream& stream, std::size_t begin, std::size_t end)
        : stream_(&stream), position_(begin), end_(end) {}

    // The whole stream.
    explicit Cursor(const TokenStream& stream) : Cursor(stream, 0, stream.tokens.size()) {}

    bool at_end() const { return position_ == end_; }
    std::size_t position() const { return position_; }
    std::size_t end() const { return end_; }
    const TokenStream& stream() const { return *stream_; }

    // Every later look through this cursor or the cursors made from it sets
    // `*last_seen` to the byte offset of the token looked at (`end_offset`
    // when looking past the last one). A failed check has just looked at the
    // token it rejects, so that is where a parse error is.
    void track_last_seen(std::size_t* last_seen, std::size_t end_offset) {
        last_seen_ = last_seen;
        end_offset_ = end_offset;
    }

    // The current token, or the one after it; nullptr past the end.
    const Token* peek() const {
        note(position_);
        return at_end() ? nullptr : &stream_->tokens[position_];
    }
    const Token* peek_second() const {
        if (at_end())
            return nullptr;
        const std::size_t next = after(position_);
        note(next);
        return next == end_ ? nullptr : &stream_->tokens[next];
    }

    void advance() { position_ = after(position_); }

    // The inside of the current token, which must be a group.
    Cursor group_contents() const {
        Cursor contents(*stream_, position_ + 1, stream_->group_end(*peek()));
        contents.last_seen_ = last_seen_;
        contents.end_offset_ = peek()->text_begin;  // the closing delimiter
        return contents;
    }

  private:
    std::size_t after(std::size_t index) const {
        const Token& token = stream_->tokens[index];
        return token.kind == TokenKind::Group ? stream_->group_end(token) : index + 1;
    }

    void note(std::size_t index) const {
        if (last_seen_ != nullptr)
            *last_seen_ = index == end_ ? end_offset_ : stream_->tokens[index].text_begin;
    }

    const TokenStream* stream_;
    std::size_t position_;
    std::size_t end_;
    std::size_t* last_seen_ = nullptr;
    std::size_t end_offset_ = 0;
};

}  // namespace quarn::definition
