// Cuts a definition text into tokens. The lexical rules are those of a Rust
// token stream: identifiers (raw ones too), literals of every kind, one-character
// punctuation with joint/alone spacing, and delimited groups. Doc comments turn
// into `#` and a bracket group, so the grammar rejects them like any stray token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/base/result.hpp"

namespace quarn::definition {

enum class TokenKind : std::uint8_t { Identifier, Punctuation, Literal, Group };

enum class LiteralKind : std::uint8_t {
    String,  // "..." or r#"..."#, possibly with a suffix
    Integer,
    Float,
    Other,  // character, byte, byte string and C string literals
};

enum class Delimiter : std::uint8_t { Parenthesis, Bracket, Brace };

// The value of an integer literal: its magnitude in any base, suffix dropped.
// `overflow` marks a magnitude beyond 64 bits.
struct IntegerValue {
    std::uint64_t magnitude = 0;
    bool overflow = false;
};

// 32 bytes: a definition of millions of tokens must not need gigabytes.
// Texts live in the stream; read them through TokenStream.
struct Token {
    TokenKind kind = TokenKind::Identifier;
    LiteralKind literal_kind = LiteralKind::Other;
    Delimiter delimiter = Delimiter::Brace;
    // Punctuation: the next character is punctuation too (`=` of `=>`).
    bool joint = false;
    // Integer: the magnitude does not fit in 64 bits.
    bool overflow = false;
    // The span of the token's text in TokenStream::text. Identifier: the display
    // text, "r#" included for a raw identifier. Punctuation: the character.
    // Literal: the source text. Group: from its opening delimiter up to its
    // closing one (not included); read only for error locations.
    std::size_t text_begin = 0;
    std::size_t text_end = 0;
    // Integer: the magnitude. String: index into TokenStream::string_values.
    // Group: index one past its last inner token. Groups are stored flat (the
    // inner tokens follow the group token) so that deep nesting costs no
    // recursion anywhere: not here, not in parsing, not in destruction.
    std::uint64_t payload = 0;
};

struct TokenStream {
    // The definition text, followed by the texts of tokens that doc comments
    // turn into.
    std::string text;
    std::vector<Token> tokens;
    std::vector<std::string> string_values;
    // The furthest text offset a parser has looked at (see Cursor::peek): a
    // parse that fails stops at the token it could not use.
    mutable std::size_t furthest_offset = 0;

    std::string_view text_of(const Token& token) const {
        return std::string_view(text).substr(token.text_begin, token.text_end - token.text_begin);
    }
    // String literals: the unescaped value.
    const std::string& string_value(const Token& token) const {
        return string_values[token.payload];
    }
    IntegerValue integer(const Token& token) const { return {token.payload, token.overflow}; }
    std::size_t group_end(const Token& token) const { return token.payload; }
};

inline constexpr std::string_view kTokenizeError = "cannot parse string into token stream";

// Fails with kTokenizeError on a character that starts no token, an
// unterminated literal or block comment, unbalanced delimiters or invalid UTF-8,
// and then stores the byte offset where the offending text starts in `error_offset`.
base::Result<TokenStream, std::string> tokenize(std::string_view text,
                                                std::size_t* error_offset = nullptr);

bool is_reserved_word(std::string_view identifier);

// The tokens of [begin, end) as source-like text, for messages.
std::string render_tokens(const TokenStream& stream, std::size_t begin, std::size_t end);

}  // namespace quarn::definition
