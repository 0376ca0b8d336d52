// A read position in one token stream level: the whole text or the inside of a
// group. Stepping over a group skips its inner tokens.
#pragma once

#include <cstddef>

#include "quarn/definition/tokenizer.hpp"

namespace quarn::definition {

class Cursor {
  public:
    // `end_offset`: where the range ends in the text (a group's closing delimiter).
    Cursor(const TokenStream& stream, std::size_t begin, std::size_t end, std::size_t end_offset)
        : stream_(&stream), position_(begin), end_(end), end_offset_(end_offset) {}

    // The whole stream.
    explicit Cursor(const TokenStream& stream)
        : Cursor(stream, 0, stream.tokens.size(), stream.text.size()) {}

    bool at_end() const { return position_ == end_; }
    std::size_t position() const { return position_; }
    std::size_t end() const { return end_; }
    const TokenStream& stream() const { return *stream_; }

    // The current token, or the one after it; nullptr past the end.
    const Token* peek() const {
        seen(position_);
        return at_end() ? nullptr : &stream_->tokens[position_];
    }
    const Token* peek_second() const {
        if (at_end())
            return nullptr;
        const std::size_t next = after(position_);
        seen(next);
        return next == end_ ? nullptr : &stream_->tokens[next];
    }

    void advance() { position_ = after(position_); }

    // The inside of the current token, which must be a group.
    Cursor group_contents() const {
        const Token& group = *peek();
        return Cursor(*stream_, position_ + 1, stream_->group_end(group), group.text_end);
    }

  private:
    // Records how far into the text the parse has looked: the token's start,
    // or the end of this range (a mode body's `}`) when it looked past it.
    void seen(std::size_t index) const {
        const std::size_t offset = index < end_ ? stream_->tokens[index].text_begin : end_offset_;
        if (offset > stream_->furthest_offset)
            stream_->furthest_offset = offset;
    }
    std::size_t after(std::size_t index) const {
        const Token& token = stream_->tokens[index];
        return token.kind == TokenKind::Group ? stream_->group_end(token) : index + 1;
    }

    const TokenStream* stream_;
    std::size_t position_;
    std::size_t end_;
    std::size_t end_offset_;
};

}  // namespace quarn::definition
