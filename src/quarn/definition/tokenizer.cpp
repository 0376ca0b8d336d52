#include "quarn/definition/tokenizer.hpp"

#include <array>
#include <optional>
#include <tuple>
#include <utility>
#include <variant>

#include "quarn/base/utf8.hpp"
#include "quarn/unicode/unicode.hpp"

namespace quarn::definition {

namespace {

constexpr std::size_t kMaxRawHashes = 255;
constexpr std::string_view kPunctuation = "~!@#$%^&*-=+|;:,<.>/?'";

// Every lexing step either returns the position after what it read or nothing
// when the text there is not what it looks for; the caller then tries the next
// kind of token.
using Step = std::optional<std::size_t>;

struct Decoded {
    char32_t ch;
    std::size_t length;
};

bool is_ident_start(char32_t c) {
    return c == U'_' || unicode::is_xid_start(c);
}
bool is_ident_continue(char32_t c) {
    return unicode::is_xid_continue(c);
}
// Left-to-right and right-to-left marks count as whitespace as well.
bool is_whitespace(char32_t c) {
    return unicode::is_white_space(c) || c == 0x200E || c == 0x200F;
}
bool is_digit(int b) {
    return b >= '0' && b <= '9';
}
bool is_hex_digit(int b) {
    return is_digit(b) || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
}
int hex_value(int b) {
    if (is_digit(b))
        return b - '0';
    if (b >= 'a' && b <= 'f')
        return b - 'a' + 10;
    return b - 'A' + 10;
}

Token make_token(TokenKind kind, std::size_t text_begin = 0, std::size_t text_end = 0) {
    Token token;
    token.kind = kind;
    token.text_begin = text_begin;
    token.text_end = text_end;
    return token;
}

// The three families of quoted literals differ in which escapes and raw
// characters they allow.
enum class QuotedKind : std::uint8_t { String, Bytes, CString };

struct StringEnd {
    std::size_t closing_quote;
    std::size_t end;  // after the suffix
};

struct Punct {
    char ch;
    std::size_t end;
};

class Lexer {
  public:
    // Reads `text` (not the stream's copy of it, which grows) into `stream`.
    Lexer(std::string_view text, TokenStream& stream) : text_(text), stream_(stream) {}

    // After a failed run: where the text that starts no token begins.
    std::size_t failed_at() const { return failed_at_; }

    base::Result<std::monostate, std::string> run() {
        std::vector<std::size_t> open_groups;
        std::size_t pos = starts_with(0, "\xEF\xBB\xBF") ? 3 : 0;
        while (true) {
            pos = skip_whitespace(pos);
            if (const Step after = doc_comment(pos)) {
                pos = *after;
                continue;
            }
            if (pos == text_.size()) {
                if (!open_groups.empty())
                    return failure(pos);
                return std::monostate{};
            }
            const char first = text_[pos];
            if (first == '(' || first == '[' || first == '{') {
                Token group = make_token(TokenKind::Group, pos);
                group.delimiter = first == '('   ? Delimiter::Parenthesis
                                  : first == '[' ? Delimiter::Bracket
                                                 : Delimiter::Brace;
                open_groups.push_back(stream_.tokens.size());
                stream_.tokens.push_back(std::move(group));
                ++pos;
            } else if (first == ')' || first == ']' || first == '}') {
                const Delimiter closing = first == ')'   ? Delimiter::Parenthesis
                                          : first == ']' ? Delimiter::Bracket
                                                         : Delimiter::Brace;
                if (open_groups.empty())
                    return failure(pos);
                Token& group = stream_.tokens[open_groups.back()];
                if (group.delimiter != closing)
                    return failure(pos);
                group.payload = stream_.tokens.size();
                group.text_end = pos;
                open_groups.pop_back();
                ++pos;
            } else if (const Step after = leaf_token(pos)) {
                pos = *after;
            } else {
                return failure(pos);
            }
        }
    }

  private:
    base::Err<std::string> failure(std::size_t pos) {
        failed_at_ = pos;
        return base::err(std::string(kTokenizeError));
    }

    int byte(std::size_t pos) const {
        return pos < text_.size() ? static_cast<unsigned char>(text_[pos]) : -1;
    }
    bool starts_with(std::size_t pos, std::string_view prefix) const {
        return pos <= text_.size() && text_.substr(pos).starts_with(prefix);
    }
    // The text is valid UTF-8 (checked up front), so decoding cannot fail.
    Decoded char_at(std::size_t pos) const {
        const auto lead = static_cast<unsigned char>(text_[pos]);
        if (lead < 0x80)
            return {lead, 1};
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t ch = lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            ch = (ch << 6) | (static_cast<unsigned char>(text_[pos + k]) & 0x3F);
        }
        return {ch, length};
    }
    bool char_is(std::size_t pos, bool (*predicate)(char32_t)) const {
        return pos < text_.size() && predicate(char_at(pos).ch);
    }

    // ---- whitespace and comments -------------------------------------------

    // Returns where the next line starts (or the end) and the comment's text,
    // which excludes the line break.
    std::pair<std::size_t, std::string_view> take_until_newline(std::size_t pos) const {
        for (std::size_t i = pos; i < text_.size(); ++i) {
            if (text_[i] == '\n')
                return {i, text_.substr(pos, i - pos)};
            if (text_[i] == '\r' && byte(i + 1) == '\n') {
                return {i + 1, text_.substr(pos, i - pos)};
            }
        }
        return {text_.size(), text_.substr(pos)};
    }

    // Block comments nest; an unterminated one is not a comment at all.
    Step block_comment(std::size_t pos) const {
        std::size_t depth = 0;
        for (std::size_t i = pos; i + 1 < text_.size(); ++i) {
            if (text_[i] == '/' && text_[i + 1] == '*') {
                ++depth;
                ++i;
            } else if (text_[i] == '*' && text_[i + 1] == '/') {
                if (--depth == 0)
                    return i + 2;
                ++i;
            }
        }
        return std::nullopt;
    }

    std::size_t skip_whitespace(std::size_t pos) const {
        while (pos < text_.size()) {
            if (text_[pos] == '/') {
                if (starts_with(pos, "//") &&
                    (!starts_with(pos, "///") || starts_with(pos, "////")) &&
                    !starts_with(pos, "//!")) {
                    pos = take_until_newline(pos).first;
                    continue;
                }
                if (starts_with(pos, "/**/")) {
                    pos += 4;
                    continue;
                }
                if (starts_with(pos, "/*") &&
                    (!starts_with(pos, "/**") || starts_with(pos, "/***")) &&
                    !starts_with(pos, "/*!")) {
                    const Step end = block_comment(pos);
                    if (!end)
                        return pos;
                    pos = *end;
                    continue;
                }
            }
            const int b = byte(pos);
            if (b == ' ' || (b >= 0x09 && b <= 0x0D)) {
                ++pos;
                continue;
            }
            if (b < 0x80)
                return pos;
            const Decoded decoded = char_at(pos);
            if (!is_whitespace(decoded.ch))
                return pos;
            pos += decoded.length;
        }
        return pos;
    }

    // A doc comment becomes `#`, for an inner one `!`, and `[doc = "text"]`.
    Step doc_comment(std::size_t pos) {
        bool inner;
        std::size_t end;
        std::string_view content;
        if (starts_with(pos, "//!") || (starts_with(pos, "///") && byte(pos + 3) != '/')) {
            inner = text_[pos + 2] == '!';
            std::tie(end, content) = take_until_newline(pos + 3);
        } else if (starts_with(pos, "/*!") ||
                   (starts_with(pos, "/**") && byte(pos + 3) != '*' && byte(pos + 3) != '/')) {
            inner = text_[pos + 2] == '!';
            const Step comment_end = block_comment(pos);
            if (!comment_end)
                return std::nullopt;
            end = *comment_end;
            content = text_.substr(pos + 3, end - 2 - (pos + 3));
        } else {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < content.size(); ++i) {
            if (content[i] == '\r' && (i + 1 == content.size() || content[i + 1] != '\n')) {
                return std::nullopt;
            }
        }
        stream_.tokens.push_back(synthesized(TokenKind::Punctuation, "#"));
        if (inner)
            stream_.tokens.push_back(synthesized(TokenKind::Punctuation, "!"));
        Token group = make_token(TokenKind::Group);
        group.delimiter = Delimiter::Bracket;
        group.payload = stream_.tokens.size() + 4;
        stream_.tokens.push_back(group);
        stream_.tokens.push_back(synthesized(TokenKind::Identifier, "doc"));
        stream_.tokens.push_back(synthesized(TokenKind::Punctuation, "="));
        Token literal = synthesized(TokenKind::Literal, quote(content));
        literal.literal_kind = LiteralKind::String;
        literal.payload = stream_.string_values.size();
        stream_.string_values.emplace_back(content);
        stream_.tokens.push_back(literal);
        return end;
    }

    // A token whose text is not in the definition: the text is appended to the
    // stream's copy of the definition.
    Token synthesized(TokenKind kind, std::string_view text) {
        const std::size_t begin = stream_.text.size();
        stream_.text += text;
        return make_token(kind, begin, stream_.text.size());
    }

    static std::string quote(std::string_view value) {
        std::string out = "\"";
        for (const char c : value) {
            switch (c) {
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                case '\0':
                    out += "\\0";
                    break;
                default:
                    out += c;
            }
        }
        return out + "\"";
    }

    // ---- leaves --------------------------------------------------------------

    // Literals come first so that `r"..."`, `b'x'` and `1u8` are not read as
    // identifiers.
    Step leaf_token(std::size_t pos) {
        if (const Step end = literal(pos))
            return end;
        if (const std::optional<Punct> punct = punctuation(pos)) {
            Token token = make_token(TokenKind::Punctuation, pos, punct->end);
            token.joint = punct->ch == '\'' || punctuation_char(punct->end).has_value();
            stream_.tokens.push_back(std::move(token));
            return punct->end;
        }
        if (const Step end = identifier(pos)) {
            stream_.tokens.push_back(make_token(TokenKind::Identifier, pos, *end));
            return end;
        }
        return std::nullopt;
    }

    std::optional<Punct> punctuation_char(std::size_t pos) const {
        // The `/` of a comment is not punctuation.
        if (starts_with(pos, "//") || starts_with(pos, "/*"))
            return std::nullopt;
        const int b = byte(pos);
        if (b < 0 || kPunctuation.find(static_cast<char>(b)) == std::string_view::npos) {
            return std::nullopt;
        }
        return Punct{static_cast<char>(b), pos + 1};
    }

    // An apostrophe is punctuation only as the start of a lifetime.
    std::optional<Punct> punctuation(std::size_t pos) const {
        const std::optional<Punct> punct = punctuation_char(pos);
        if (!punct || punct->ch != '\'')
            return punct;
        const Step after_lifetime = identifier_any(punct->end);
        if (!after_lifetime || byte(*after_lifetime) == '\'')
            return std::nullopt;
        return punct;
    }

    Step identifier_not_raw(std::size_t pos) const {
        if (!char_is(pos, is_ident_start))
            return std::nullopt;
        pos += char_at(pos).length;
        while (char_is(pos, is_ident_continue))
            pos += char_at(pos).length;
        return pos;
    }

    Step identifier_any(std::size_t pos) const {
        const bool raw = starts_with(pos, "r#");
        const std::size_t name_start = raw ? pos + 2 : pos;
        const Step end = identifier_not_raw(name_start);
        if (!end || !raw)
            return end;
        const std::string_view name = text_.substr(name_start, *end - name_start);
        if (name == "_" || name == "super" || name == "self" || name == "Self" || name == "crate") {
            return std::nullopt;
        }
        return end;
    }

    Step identifier(std::size_t pos) const {
        static constexpr std::array<std::string_view, 10> kLiteralPrefixes = {
            "r\"", "r#\"", "r##", "b\"", "b'", "br\"", "br#", "c\"", "cr\"", "cr#"};
        for (const std::string_view prefix : kLiteralPrefixes) {
            if (starts_with(pos, prefix))
                return std::nullopt;
        }
        return identifier_any(pos);
    }

    std::size_t literal_suffix(std::size_t pos) const {
        return identifier_not_raw(pos).value_or(pos);
    }

    // ---- literals ------------------------------------------------------------

    Step literal(std::size_t pos) {
        Token token = make_token(TokenKind::Literal);
        std::optional<StringEnd> string_end;
        std::size_t content_start = 0;
        bool raw = false;
        if (byte(pos) == '"') {
            content_start = pos + 1;
            string_end = cooked(content_start, QuotedKind::String);
            token.literal_kind = LiteralKind::String;
        } else if (byte(pos) == 'r') {
            raw = true;
            std::tie(content_start, string_end) = raw_string(pos + 1, QuotedKind::String);
            token.literal_kind = LiteralKind::String;
        } else if (starts_with(pos, "b\"")) {
            string_end = cooked(pos + 2, QuotedKind::Bytes);
        } else if (starts_with(pos, "br")) {
            string_end = raw_string(pos + 2, QuotedKind::Bytes).second;
        } else if (starts_with(pos, "c\"")) {
            string_end = cooked(pos + 2, QuotedKind::CString);
        } else if (starts_with(pos, "cr")) {
            string_end = raw_string(pos + 2, QuotedKind::CString).second;
        }
        std::size_t end;
        if (string_end) {
            end = string_end->end;
            if (token.literal_kind == LiteralKind::String) {
                token.payload = stream_.string_values.size();
                stream_.string_values.push_back(
                    raw ? std::string(text_.substr(content_start,
                                                   string_end->closing_quote - content_start))
                        : unescape(content_start, string_end->closing_quote));
            }
        } else if (const Step byte_end = byte_literal(pos)) {
            end = *byte_end;
        } else if (const Step char_end = character(pos)) {
            end = *char_end;
        } else if (const Step float_end = float_literal(pos)) {
            end = *float_end;
            token.literal_kind = LiteralKind::Float;
        } else if (IntegerValue value; const Step int_end = integer(pos, value)) {
            end = *int_end;
            token.literal_kind = LiteralKind::Integer;
            token.payload = value.magnitude;
            token.overflow = value.overflow;
        } else {
            return std::nullopt;
        }
        token.text_begin = pos;
        token.text_end = end;
        stream_.tokens.push_back(token);
        return end;
    }

    // `\x` with two hex digits; strings and characters allow only 7-bit values,
    // C strings anything but zero.
    Step backslash_x(std::size_t pos, QuotedKind kind) const {
        const int first = byte(pos);
        const int second = byte(pos + 1);
        if (!is_hex_digit(first) || !is_hex_digit(second))
            return std::nullopt;
        if (kind == QuotedKind::String && first > '7')
            return std::nullopt;
        if (kind == QuotedKind::CString && first == '0' && second == '0')
            return std::nullopt;
        return pos + 2;
    }

    // `\u{...}`: one to six hex digits, `_` after the first, a scalar value.
    std::optional<std::pair<std::size_t, char32_t>> backslash_u(std::size_t pos) const {
        if (byte(pos) != '{')
            return std::nullopt;
        ++pos;
        char32_t value = 0;
        int digits = 0;
        while (true) {
            const int b = byte(pos);
            if (b == '_' && digits > 0) {
                ++pos;
                continue;
            }
            if (b == '}' && digits > 0) {
                if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
                    return std::nullopt;
                return std::pair{pos + 1, value};
            }
            if (!is_hex_digit(b) || digits == 6)
                return std::nullopt;
            value = value * 16 + static_cast<char32_t>(hex_value(b));
            ++digits;
            ++pos;
        }
    }

    // After a backslash-newline: skips the whitespace that starts the next
    // line. A carriage return must be part of CR LF.
    Step line_continuation(std::size_t pos, int last) const {
        while (true) {
            if (last == '\r') {
                if (byte(pos) != '\n')
                    return std::nullopt;
                ++pos;
            }
            const int b = byte(pos);
            if (b < 0)
                return std::nullopt;
            if (b != ' ' && b != '\t' && b != '\n' && b != '\r')
                return pos;
            last = b;
            ++pos;
        }
    }

    // The body of "...", b"..." or c"...", from just after the opening quote.
    std::optional<StringEnd> cooked(std::size_t pos, QuotedKind kind) const {
        while (pos < text_.size()) {
            const int b = byte(pos);
            if (b == '"')
                return StringEnd{pos, literal_suffix(pos + 1)};
            if (b == '\r') {
                if (byte(pos + 1) != '\n')
                    return std::nullopt;
                pos += 2;
            } else if (b == '\\') {
                const int escape = byte(pos + 1);
                Step next;
                switch (escape) {
                    case 'x':
                        next = backslash_x(pos + 2, kind);
                        break;
                    case 'n':
                    case 'r':
                    case 't':
                    case '\\':
                    case '\'':
                    case '"':
                        next = pos + 2;
                        break;
                    case '0':
                        if (kind != QuotedKind::CString)
                            next = pos + 2;
                        break;
                    case 'u':
                        if (kind != QuotedKind::Bytes) {
                            if (const auto escaped = backslash_u(pos + 2)) {
                                if (kind != QuotedKind::CString || escaped->second != 0) {
                                    next = escaped->first;
                                }
                            }
                        }
                        break;
                    case '\n':
                    case '\r':
                        next = line_continuation(pos + 2, escape);
                        break;
                    default:
                        break;
                }
                if (!next)
                    return std::nullopt;
                pos = *next;
            } else if (b == 0 && kind == QuotedKind::CString) {
                return std::nullopt;
            } else if (b >= 0x80 && kind == QuotedKind::Bytes) {
                return std::nullopt;
            } else {
                pos += char_at(pos).length;
            }
        }
        return std::nullopt;
    }

    // From just after the `r`: up to 255 `#`, a quote, the body, a quote and as
    // many `#`. Returns where the body starts as well.
    std::pair<std::size_t, std::optional<StringEnd>> raw_string(std::size_t pos,
                                                                QuotedKind kind) const {
        std::size_t hashes = 0;
        while (byte(pos + hashes) == '#')
            ++hashes;
        if (byte(pos + hashes) != '"' || hashes > kMaxRawHashes)
            return {0, std::nullopt};
        const std::size_t content_start = pos + hashes + 1;
        std::string closing(hashes + 1, '#');
        closing[0] = '"';
        for (std::size_t i = content_start; i < text_.size(); ++i) {
            const int b = byte(i);
            if (b == '"' && starts_with(i, closing)) {
                return {content_start, StringEnd{i, literal_suffix(i + closing.size())}};
            }
            if (b == '\r') {
                if (byte(i + 1) != '\n')
                    break;
                ++i;
            } else if ((kind == QuotedKind::Bytes && b >= 0x80) ||
                       (kind == QuotedKind::CString && b == 0)) {
                break;
            }
        }
        return {0, std::nullopt};
    }

    // The value of a cooked string whose body the lexer has already checked.
    std::string unescape(std::size_t pos, std::size_t end) const {
        std::string value;
        while (pos < end) {
            const char c = text_[pos];
            if (c == '\r') {
                value += '\n';
                pos += 2;
                continue;
            }
            if (c != '\\') {
                value += c;
                ++pos;
                continue;
            }
            const char escape = text_[pos + 1];
            pos += 2;
            switch (escape) {
                case 'x':
                    value +=
                        static_cast<char>(hex_value(byte(pos)) * 16 + hex_value(byte(pos + 1)));
                    pos += 2;
                    break;
                case 'u': {
                    const auto escaped = backslash_u(pos);
                    base::append_utf8(value, escaped->second);
                    pos = escaped->first;
                    break;
                }
                case 'n':
                    value += '\n';
                    break;
                case 'r':
                    value += '\r';
                    break;
                case 't':
                    value += '\t';
                    break;
                case '0':
                    value += '\0';
                    break;
                case '\n':
                case '\r':
                    while (pos < end && (text_[pos] == ' ' || text_[pos] == '\t' ||
                                         text_[pos] == '\n' || text_[pos] == '\r')) {
                        ++pos;
                    }
                    break;
                default:
                    value += escape;  // backslash, quote, apostrophe
            }
        }
        return value;
    }

    // b'x': one ASCII character or a byte escape.
    Step byte_literal(std::size_t pos) const {
        if (!starts_with(pos, "b'"))
            return std::nullopt;
        pos += 2;
        std::size_t next;
        if (byte(pos) == '\\') {
            const int escape = byte(pos + 1);
            if (escape == 'x') {
                if (!is_hex_digit(byte(pos + 2)) || !is_hex_digit(byte(pos + 3))) {
                    return std::nullopt;
                }
                next = pos + 4;
            } else if (escape >= 0 &&
                       std::string_view("nrt\\0'\"").find(static_cast<char>(escape)) !=
                           std::string_view::npos) {
                next = pos + 2;
            } else {
                return std::nullopt;
            }
        } else if (byte(pos) < 0) {
            return std::nullopt;
        } else {
            next = pos + 1;
        }
        if (byte(next) != '\'')
            return std::nullopt;
        return literal_suffix(next + 1);
    }

    // 'c': one character or a character escape.
    Step character(std::size_t pos) const {
        if (byte(pos) != '\'' || pos + 1 >= text_.size())
            return std::nullopt;
        ++pos;
        std::size_t next;
        if (byte(pos) == '\\') {
            const int escape = byte(pos + 1);
            if (escape == 'x') {
                const Step end = backslash_x(pos + 2, QuotedKind::String);
                if (!end)
                    return std::nullopt;
                next = *end;
            } else if (escape == 'u') {
                const auto escaped = backslash_u(pos + 2);
                if (!escaped)
                    return std::nullopt;
                next = escaped->first;
            } else if (escape >= 0 &&
                       std::string_view("nrt\\0'\"").find(static_cast<char>(escape)) !=
                           std::string_view::npos) {
                next = pos + 2;
            } else {
                return std::nullopt;
            }
        } else {
            next = pos + char_at(pos).length;
        }
        if (byte(next) != '\'')
            return std::nullopt;
        return literal_suffix(next + 1);
    }

    // A literal must not run straight into identifier characters.
    Step word_break(std::size_t pos) const {
        if (char_is(pos, is_ident_continue))
            return std::nullopt;
        return pos;
    }

    Step float_digits(std::size_t pos) const {
        if (!is_digit(byte(pos)))
            return std::nullopt;
        ++pos;
        bool has_dot = false;
        bool has_exponent = false;
        while (true) {
            const int b = byte(pos);
            if (is_digit(b) || b == '_') {
                ++pos;
            } else if (b == '.') {
                if (has_dot)
                    break;
                ++pos;
                // `1..2` is a range and `1.max` a method call, not floats.
                if (byte(pos) == '.' || char_is(pos, is_ident_start))
                    return std::nullopt;
                has_dot = true;
            } else if (b == 'e' || b == 'E') {
                ++pos;
                has_exponent = true;
                break;
            } else {
                break;
            }
        }
        if (!has_dot && !has_exponent)
            return std::nullopt;
        if (has_exponent) {
            const Step before_exponent = has_dot ? Step(pos - 1) : std::nullopt;
            bool has_sign = false;
            bool has_value = false;
            while (true) {
                const int b = byte(pos);
                if (b == '+' || b == '-') {
                    if (has_value)
                        break;
                    if (has_sign)
                        return before_exponent;
                    has_sign = true;
                    ++pos;
                } else if (is_digit(b)) {
                    has_value = true;
                    ++pos;
                } else if (b == '_') {
                    ++pos;
                } else {
                    break;
                }
            }
            if (!has_value)
                return before_exponent;
        }
        return pos;
    }

    Step float_literal(std::size_t pos) const {
        Step end = float_digits(pos);
        if (!end)
            return std::nullopt;
        if (char_is(*end, is_ident_start))
            end = identifier_not_raw(*end);
        return word_break(*end);
    }

    Step integer(std::size_t pos, IntegerValue& value) const {
        unsigned base = 10;
        if (starts_with(pos, "0x")) {
            base = 16;
        } else if (starts_with(pos, "0o")) {
            base = 8;
        } else if (starts_with(pos, "0b")) {
            base = 2;
        }
        if (base != 10)
            pos += 2;
        bool empty = true;
        for (;; ++pos) {
            const int b = byte(pos);
            unsigned digit;
            if (is_digit(b)) {
                digit = static_cast<unsigned>(b - '0');
                if (digit >= base)
                    return std::nullopt;
            } else if (is_hex_digit(b) && base == 16) {
                digit = static_cast<unsigned>(hex_value(b));
            } else if (b == '_') {
                if (empty && base == 10)
                    return std::nullopt;
                continue;
            } else {
                break;
            }
            empty = false;
            if (value.magnitude > (UINT64_MAX - digit) / base)
                value.overflow = true;
            value.magnitude = value.magnitude * base + digit;
        }
        if (empty)
            return std::nullopt;
        return word_break(literal_suffix(pos));
    }

    std::string_view text_;
    TokenStream& stream_;
    std::size_t failed_at_ = 0;
};

}  // namespace

base::Result<TokenStream, std::string> tokenize(std::string_view text, std::size_t* error_offset) {
    if (const auto invalid = base::validate_utf8(text)) {
        if (error_offset != nullptr)
            *error_offset = invalid->valid_up_to;
        return base::err(std::string(kTokenizeError));
    }
    TokenStream stream;
    stream.text = text;
    Lexer lexer(text, stream);
    if (auto lexed = lexer.run(); !lexed) {
        if (error_offset != nullptr)
            *error_offset = lexer.failed_at();
        return base::err(std::move(lexed).error());
    }
    return stream;
}

bool is_reserved_word(std::string_view identifier) {
    static constexpr std::string_view kReserved[] = {
        "_",       "abstract", "as",     "async", "await",  "become", "box",      "break",
        "const",   "continue", "crate",  "do",    "dyn",    "else",   "enum",     "extern",
        "false",   "final",    "fn",     "for",   "if",     "impl",   "in",       "let",
        "loop",    "macro",    "match",  "mod",   "move",   "mut",    "override", "priv",
        "pub",     "ref",      "return", "Self",  "self",   "static", "struct",   "super",
        "trait",   "true",     "try",    "type",  "typeof", "unsafe", "unsized",  "use",
        "virtual", "where",    "while",  "yield"};
    for (const std::string_view word : kReserved) {
        if (word == identifier)
            return true;
    }
    return false;
}

std::string render_tokens(const TokenStream& stream, std::size_t begin, std::size_t end) {
    std::string out;
    std::vector<std::pair<std::size_t, Delimiter>> open_groups;
    bool space_before_next = false;
    std::size_t i = begin;
    while (true) {
        while (!open_groups.empty() && open_groups.back().first == i) {
            switch (open_groups.back().second) {
                case Delimiter::Parenthesis:
                    out += ")";
                    break;
                case Delimiter::Bracket:
                    out += "]";
                    break;
                case Delimiter::Brace:
                    out += " }";
                    break;
            }
            open_groups.pop_back();
            space_before_next = true;
        }
        if (i >= end)
            break;
        const Token& token = stream.tokens[i];
        if (space_before_next)
            out += ' ';
        if (token.kind == TokenKind::Group) {
            switch (token.delimiter) {
                case Delimiter::Parenthesis:
                    out += "(";
                    break;
                case Delimiter::Bracket:
                    out += "[";
                    break;
                case Delimiter::Brace:
                    out += "{";
                    break;
            }
            open_groups.emplace_back(stream.group_end(token), token.delimiter);
            space_before_next = token.delimiter == Delimiter::Brace;
        } else {
            out += stream.text_of(token);
            space_before_next = !(token.kind == TokenKind::Punctuation && token.joint);
        }
        ++i;
    }
    return out;
}

}  // namespace quarn::definition
