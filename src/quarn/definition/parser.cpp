#include "quarn/definition/parser.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "quarn/definition/cursor.hpp"
#include "quarn/definition/tokenizer.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::definition {

namespace {

template <class T>
using ParseResult = base::Result<T, std::string>;

using generate::Lookahead;
using generate::Pattern;
using generate::ScannerData;
using generate::ScannerModeWithNamedTransitions;
using generate::ScannerNfaBudget;
using generate::TransitionToNamedMode;

base::Err<std::string> error(std::string message) {
    return base::err(std::move(message));
}

// A failure of a check made at the cursor: when nothing is left in the stream
// being parsed, the message says so.
base::Err<std::string> error_at(const Cursor& cursor, std::string_view message) {
    std::string text = cursor.at_end() ? "unexpected end of input, " : "";
    text += message;
    return error(std::move(text));
}

// Where token `index` starts in the definition; past the last token, where the
// last one ends. Groups have no text of their own: the first inner token, or
// the end of the last, stands for them.
std::size_t token_offset(const TokenStream& stream, std::size_t index) {
    for (; index < stream.tokens.size(); ++index) {
        if (stream.tokens[index].kind != TokenKind::Group)
            return stream.tokens[index].text_begin;
    }
    for (std::size_t i = stream.tokens.size(); i-- > 0;) {
        if (stream.tokens[i].kind != TokenKind::Group)
            return stream.tokens[i].text_end;
    }
    return 0;
}

bool is_identifier(const Cursor& cursor, const Token* token) {
    return token != nullptr && token->kind == TokenKind::Identifier &&
           !is_reserved_word(cursor.stream().text_of(*token));
}

bool is_punctuation(const Cursor& cursor, const Token* token, char ch) {
    return token != nullptr && token->kind == TokenKind::Punctuation &&
           cursor.stream().text_of(*token)[0] == ch;
}

// An identifier that is not a reserved word; its display text.
std::optional<std::string> read_identifier(Cursor& cursor) {
    const Token* token = cursor.peek();
    if (!is_identifier(cursor, token))
        return std::nullopt;
    cursor.advance();
    return std::string(cursor.stream().text_of(*token));
}

std::optional<Cursor> read_braces(Cursor& cursor) {
    const Token* token = cursor.peek();
    if (token == nullptr || token->kind != TokenKind::Group ||
        token->delimiter != Delimiter::Brace) {
        return std::nullopt;
    }
    const Cursor contents = cursor.group_contents();
    cursor.advance();
    return contents;
}

// The unescaped value of a string literal.
std::optional<std::string> read_string(Cursor& cursor) {
    const Token* token = cursor.peek();
    if (token == nullptr || token->kind != TokenKind::Literal ||
        token->literal_kind != LiteralKind::String) {
        return std::nullopt;
    }
    cursor.advance();
    return cursor.stream().string_value(*token);
}

struct IntegerLiteral {
    IntegerValue value;
    bool negative;
};

// An integer literal; a `-` right before one makes it negative.
std::optional<IntegerLiteral> read_integer(Cursor& cursor) {
    const bool negative = is_punctuation(cursor, cursor.peek(), '-');
    const Token* token = negative ? cursor.peek_second() : cursor.peek();
    if (token == nullptr || token->kind != TokenKind::Literal ||
        token->literal_kind != LiteralKind::Integer) {
        return std::nullopt;
    }
    if (negative)
        cursor.advance();
    cursor.advance();
    return IntegerLiteral{cursor.stream().integer(*token), negative};
}

// Unsigned target types reject any sign before they look at the size.
ParseResult<std::uint64_t> to_unsigned(const IntegerLiteral& literal, std::uint64_t max) {
    if (literal.negative)
        return error("invalid digit found in string");
    if (literal.value.overflow || literal.value.magnitude > max) {
        return error("number too large to fit in target type");
    }
    return literal.value.magnitude;
}

// `=>` is `=` joined to the `>` after it.
bool read_arrow(Cursor& cursor) {
    const Token* first = cursor.peek();
    if (!is_punctuation(cursor, first, '=') || !first->joint ||
        !is_punctuation(cursor, cursor.peek_second(), '>')) {
        return false;
    }
    cursor.advance();
    cursor.advance();
    return true;
}

ParseResult<std::monostate> read_semicolon(Cursor& cursor) {
    if (!is_punctuation(cursor, cursor.peek(), ';'))
        return error_at(cursor, "expected ';'");
    cursor.advance();
    return std::monostate{};
}

// The lookahead automata of one definition. Their NFAs together are bounded
// like those of a scanner, so that many large lookaheads are refused here
// before they fill memory; a regex met again shares the automaton built for
// it, which is then charged, and later converted, once.
struct LookaheadAutomata {
    ScannerNfaBudget budget;
    std::unordered_map<std::string, std::shared_ptr<generate::AutomatonType>> by_regex;
};

// After `followed` / `not` (the caller has seen the identifier).
ParseResult<Lookahead> parse_lookahead(Cursor& cursor, LookaheadAutomata& lookaheads) {
    const std::string word = *read_identifier(cursor);
    if (word != "followed" && word != "not") {
        return error_at(cursor, "expected 'followed' or 'not'");
    }
    const bool negative = word == "not";
    if (negative) {
        const std::optional<std::string> followed = read_identifier(cursor);
        if (!followed)
            return error("expected identifier `followed`");
        if (*followed != "followed")
            return error_at(cursor, "expected 'followed'");
    }
    const std::optional<std::string> by = read_identifier(cursor);
    if (!by)
        return error("expected identifier `by`");
    if (*by != "by")
        return error_at(cursor, "expected 'by'");
    const std::optional<std::string> text = read_string(cursor);
    if (!text)
        return error("expected a string literal for the lookahead pattern");

    const Lookahead::Kind kind = negative ? Lookahead::Kind::Negative : Lookahead::Kind::Positive;
    if (auto known = lookaheads.by_regex.find(*text); known != lookaheads.by_regex.end())
        return Lookahead(kind, known->second);
    ParseResult<Lookahead> lookahead = negative ? Lookahead::negative(*text, lookaheads.budget)
                                                : Lookahead::positive(*text, lookaheads.budget);
    if (!lookahead) {
        return error((negative ? "Failed to create negative lookahead: "
                               : "Failed to create positive lookahead: ") +
                     lookahead.error());
    }
    lookaheads.by_regex.emplace(*text, lookahead->shared_automaton());
    return lookahead;
}

// After `token`: "regex" [lookahead] => type ;
ParseResult<Pattern> parse_token_clause(Cursor& cursor, LookaheadAutomata& lookaheads) {
    const std::optional<std::string> text = read_string(cursor);
    if (!text) {
        const std::string rest = render_tokens(cursor.stream(), cursor.position(), cursor.end());
        return error("expected a string literal for the pattern: " +
                     (rest.empty() ? std::string("<end of mode body>") : rest));
    }
    Lookahead lookahead;
    if (is_identifier(cursor, cursor.peek())) {
        ParseResult<Lookahead> parsed = parse_lookahead(cursor, lookaheads);
        if (!parsed)
            return error(std::move(parsed).error());
        lookahead = std::move(parsed).value();
    }
    if (!read_arrow(cursor))
        return error("expected `=>`");
    const std::optional<IntegerLiteral> literal = read_integer(cursor);
    if (!literal)
        return error_at(cursor, "expected integer literal");
    const ParseResult<std::uint64_t> token_type =
        to_unsigned(*literal, std::numeric_limits<std::uint32_t>::max());
    if (!token_type)
        return error(token_type.error());
    if (auto semicolon = read_semicolon(cursor); !semicolon)
        return error(semicolon.error());

    return Pattern(*text, generate::TerminalID(static_cast<std::uint32_t>(token_type.value())))
        .with_lookahead(std::move(lookahead));
}

// After `on`: type enter|push Name ; or type pop ;
ParseResult<TransitionToNamedMode> parse_transition_clause(Cursor& cursor) {
    const std::optional<IntegerLiteral> literal = read_integer(cursor);
    if (!literal)
        return error_at(cursor, "expected integer literal");
    const ParseResult<std::uint64_t> token_type =
        to_unsigned(*literal, std::numeric_limits<std::uint64_t>::max());
    if (!token_type)
        return error(token_type.error());

    const std::optional<std::string> kind = read_identifier(cursor);
    if (!kind)
        return error("expected identifier `transition_kind`");
    std::optional<TransitionToNamedMode> transition;
    if (*kind == "enter" || *kind == "push") {
        std::optional<std::string> target = read_identifier(cursor);
        if (!target)
            return error("expected identifier `new_mode`");
        transition = *kind == "enter"
                         ? TransitionToNamedMode::set_mode(token_type.value(), std::move(*target))
                         : TransitionToNamedMode::push_mode(token_type.value(), std::move(*target));
    } else if (*kind == "pop") {
        transition = TransitionToNamedMode::pop_mode(token_type.value());
    } else {
        return error_at(cursor, "expected 'enter', 'push' or 'pop'");
    }
    if (auto semicolon = read_semicolon(cursor); !semicolon)
        return error(semicolon.error());
    return std::move(*transition);
}

// mode Name { item* }
ParseResult<ScannerModeWithNamedTransitions> parse_mode(Cursor& cursor,
                                                        LookaheadAutomata& lookaheads) {
    const std::optional<std::string> keyword = read_identifier(cursor);
    if (!keyword)
        return error("expected identifier `mode`");
    if (*keyword != "mode")
        return error_at(cursor, "expected 'mode'");
    std::optional<std::string> name = read_identifier(cursor);
    if (!name)
        return error("expected identifier `mode_name`");
    std::optional<Cursor> body = read_braces(cursor);
    if (!body)
        return error_at(cursor, "expected curly braces");

    ScannerModeWithNamedTransitions mode;
    mode.name = std::move(*name);
    while (!body->at_end()) {
        const std::optional<std::string> item = read_identifier(*body);
        if (!item)
            return error("expected identifier `token_or_transition`");
        if (*item == "token") {
            ParseResult<Pattern> pattern = parse_token_clause(*body, lookaheads);
            if (!pattern)
                return error(std::move(pattern).error());
            mode.patterns.push_back(std::move(pattern).value());
        } else if (*item == "on") {
            ParseResult<TransitionToNamedMode> transition = parse_transition_clause(*body);
            if (!transition)
                return error(std::move(transition).error());
            mode.transitions.push_back(std::move(transition).value());
        } else {
            return error_at(*body, "expected 'token' or 'transition'");
        }
    }
    return mode;
}

// Name { mode mode* }
ParseResult<ScannerData> parse_definition(Cursor& cursor) {
    std::optional<std::string> name = read_identifier(cursor);
    if (!name)
        return error("expected identifier `scanner_name`");
    std::optional<Cursor> body = read_braces(cursor);
    if (!body)
        return error_at(cursor, "expected curly braces");

    ScannerData data;
    data.name = std::move(*name);
    LookaheadAutomata lookaheads;
    do {
        ParseResult<ScannerModeWithNamedTransitions> mode = parse_mode(*body, lookaheads);
        if (!mode)
            return error(std::move(mode).error());
        data.modes.push_back(std::move(mode).value());
    } while (!body->at_end());
    return data;
}

}  // namespace

base::Result<generate::ScannerData, std::string> parse_scanner_data(std::string_view text,
                                                                   std::size_t* error_offset) {
    ParseResult<TokenStream> stream = tokenize(text, error_offset);
    if (!stream)
        return error(std::move(stream).error());
    Cursor cursor(stream.value());
    ParseResult<ScannerData> data = parse_definition(cursor);
    if (data && !cursor.at_end()) {
        stream->furthest_peek = cursor.position();
        data = error("unexpected token");
    }
    if (!data && error_offset != nullptr)
        *error_offset = std::min(token_offset(stream.value(), stream->furthest_peek), text.size());
    return data;
}

}  // namespace quarn::definition
