#include "quarn/definition/parser.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarn/definition/cursor.hpp"
#include "quarn/definition/tokenizer.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::definition {

namespace {

template <class T>
using ParseResult = base::Result<T, std::string>;

using generate::Lookahead;
using generate::Pattern;
using generate::ScannerNfaBudget;

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

// The lookahead table being filled. Its NFAs together are bounded like those
// of a scanner, so that many large lookaheads are refused here before they
// fill memory; a regex met again gets the id of its first appearance, and is
// charged, and later converted, once.
struct LookaheadTable {
    ScannerNfaBudget budget;
    std::vector<generate::Nfa> nfas;
    std::unordered_map<std::string, generate::LookaheadID> ids;
};

// After `followed` / `not` (the caller has seen the identifier).
ParseResult<Lookahead> parse_lookahead(Cursor& cursor, LookaheadTable& lookaheads) {
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
    if (auto known = lookaheads.ids.find(*text); known != lookaheads.ids.end())
        return Lookahead{kind, known->second};
    auto nfa = generate::Nfa::build_lookahead(*text, lookaheads.budget);
    if (!nfa) {
        return error((negative ? "Failed to create negative lookahead: "
                               : "Failed to create positive lookahead: ") +
                     nfa.error());
    }
    const generate::LookaheadID id(static_cast<std::uint32_t>(lookaheads.nfas.size()));
    lookaheads.nfas.push_back(std::move(nfa).value());
    lookaheads.ids.emplace(*text, id);
    return Lookahead{kind, id};
}

// After `token`: "regex" [lookahead] => type ;
ParseResult<Pattern> parse_token_clause(Cursor& cursor, LookaheadTable& lookaheads) {
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

    return Pattern(*text, generate::TokenTypeID(static_cast<std::uint32_t>(token_type.value())),
                   lookahead);
}

// After `on`: type enter|push Name ; or type pop ;
ParseResult<Transition> parse_transition_clause(Cursor& cursor) {
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
    Transition transition;
    transition.token_type = token_type.value();
    if (*kind == "enter" || *kind == "push") {
        std::optional<std::string> target = read_identifier(cursor);
        if (!target)
            return error("expected identifier `new_mode`");
        transition.kind = *kind == "enter" ? Transition::Kind::Enter : Transition::Kind::Push;
        transition.target_mode = std::move(*target);
    } else if (*kind == "pop") {
        transition.kind = Transition::Kind::Pop;
    } else {
        return error_at(cursor, "expected 'enter', 'push' or 'pop'");
    }
    if (auto semicolon = read_semicolon(cursor); !semicolon)
        return error(semicolon.error());
    return transition;
}

// mode Name { item* }
ParseResult<ModeDefinition> parse_mode(Cursor& cursor, LookaheadTable& lookaheads) {
    const std::size_t offset = cursor.at_end() ? 0 : cursor.peek()->text_begin;
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

    ModeDefinition mode;
    mode.name = std::move(*name);
    mode.offset = offset;
    for (std::size_t clause = 0; !body->at_end(); ++clause) {
        mode.clause_offsets.push_back(body->peek()->text_begin);
        const std::optional<std::string> item = read_identifier(*body);
        if (!item)
            return error("expected identifier `token_or_transition`");
        if (*item == "token") {
            ParseResult<Pattern> pattern = parse_token_clause(*body, lookaheads);
            if (!pattern)
                return error(std::move(pattern).error());
            mode.tokens.push_back({std::move(pattern).value(), clause});
        } else if (*item == "on") {
            ParseResult<Transition> transition = parse_transition_clause(*body);
            if (!transition)
                return error(std::move(transition).error());
            transition->clause = clause;
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
    LookaheadTable lookaheads;
    do {
        ParseResult<ModeDefinition> mode = parse_mode(*body, lookaheads);
        if (!mode)
            return error(std::move(mode).error());
        data.modes.push_back(std::move(mode).value());
    } while (!body->at_end());
    data.lookaheads = std::move(lookaheads.nfas);
    return data;
}

}  // namespace

base::Result<ScannerData, std::string> parse_scanner_data(std::string_view text,
                                                          std::size_t* error_offset) {
    ParseResult<TokenStream> stream = tokenize(text, error_offset);
    if (!stream)
        return error(std::move(stream).error());
    Cursor cursor(stream.value());
    ParseResult<ScannerData> data = parse_definition(cursor);
    if (data && !cursor.at_end()) {
        stream->furthest_offset = stream->tokens[cursor.position()].text_begin;
        data = error("unexpected token");
    }
    if (!data && error_offset != nullptr)
        *error_offset = std::min(stream->furthest_offset, text.size());
    return data;
}

}  // namespace quarn::definition
