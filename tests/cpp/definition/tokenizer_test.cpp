#include "quarn/definition/tokenizer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarn::definition {
namespace {

// One line per token: "id:x", "punct:=" ("punct:=+" when joint), "str:<value>",
// "int:42", "float:1.0", "lit:<source>" for other literals, "{3" for a group
// holding three tokens.
std::vector<std::string> describe(std::string_view text) {
    auto stream = tokenize(text);
    if (!stream)
        return {"error: " + stream.error()};
    std::vector<std::string> out;
    const auto& tokens = stream->tokens;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        const std::string text(stream->text_of(token));
        switch (token.kind) {
            case TokenKind::Identifier:
                out.push_back("id:" + text);
                break;
            case TokenKind::Punctuation:
                out.push_back("punct:" + text + (token.joint ? "+" : ""));
                break;
            case TokenKind::Group: {
                const char open = token.delimiter == Delimiter::Brace     ? '{'
                                  : token.delimiter == Delimiter::Bracket ? '['
                                                                          : '(';
                std::string group(1, open);
                group += std::to_string(stream->group_end(token) - i - 1);
                out.push_back(group);
                break;
            }
            case TokenKind::Literal:
                switch (token.literal_kind) {
                    case LiteralKind::String:
                        out.push_back("str:" + stream->string_value(token));
                        break;
                    case LiteralKind::Integer:
                        out.push_back(stream->integer(token).overflow
                                          ? "int:overflow"
                                          : "int:" +
                                                std::to_string(stream->integer(token).magnitude));
                        break;
                    case LiteralKind::Float:
                        out.push_back("float:" + text);
                        break;
                    case LiteralKind::Other:
                        out.push_back("lit:" + text);
                        break;
                }
                break;
        }
    }
    return out;
}

using Tokens = std::vector<std::string>;
const Tokens kError = {"error: cannot parse string into token stream"};

TEST(Tokenizer, SkipsByteOrderMarkWhitespaceAndComments) {
    EXPECT_EQ(describe("\xEF\xBB\xBF a"), (Tokens{"id:a"}));
    EXPECT_EQ(describe("a /* x /* nested */ still comment */ b // line\n c"),
              (Tokens{"id:a", "id:b", "id:c"}));
    // Unicode white space and the direction marks separate tokens.
    EXPECT_EQ(describe("a\u2028b\u200Ec\u3000d\r\ne\f"),
              (Tokens{"id:a", "id:b", "id:c", "id:d", "id:e"}));
    EXPECT_EQ(describe("//// four slashes\n/*** three stars */ /**/ x"), (Tokens{"id:x"}));
    EXPECT_EQ(describe(""), Tokens{});
    // A byte-order mark anywhere else is no whitespace.
    EXPECT_EQ(describe("a \xEF\xBB\xBF"), kError);
}

TEST(Tokenizer, UnterminatedBlockCommentFails) {
    EXPECT_EQ(describe("a /* open"), kError);
    EXPECT_EQ(describe("/* outer /* inner */"), kError);
    EXPECT_EQ(describe("/*/"), kError);
}

TEST(Tokenizer, DocCommentsBecomeAttributeTokens) {
    const Tokens outer = {"punct:#", "[3", "id:doc", "punct:=", "str: text"};
    EXPECT_EQ(describe("/// text"), outer);
    EXPECT_EQ(describe("/** text*/"), outer);
    EXPECT_EQ(describe("//! text\n"),
              (Tokens{"punct:#", "punct:!", "[3", "id:doc", "punct:=", "str: text"}));
    EXPECT_EQ(describe("/*!*/"), (Tokens{"punct:#", "punct:!", "[3", "id:doc", "punct:=", "str:"}));
    // A bare carriage return is not allowed in a doc comment.
    EXPECT_EQ(describe("/// a\rb"), kError);
}

TEST(Tokenizer, Identifiers) {
    EXPECT_EQ(describe("_x héllo 日本 x1 _"),
              (Tokens{"id:_x", "id:héllo", "id:日本", "id:x1", "id:_"}));
    // A raw identifier keeps its prefix; these words have no raw form.
    EXPECT_EQ(describe("r#type r#mode"), (Tokens{"id:r#type", "id:r#mode"}));
    for (const char* text : {"r#self", "r#Self", "r#super", "r#crate", "r#_", "r#", "r#1"}) {
        EXPECT_EQ(describe(text), kError) << text;
    }
    // A character that starts no token.
    for (const char* text : {"a ` b", "\\", "\u0301", "€"}) {
        EXPECT_EQ(describe(text), kError) << text;
    }
    EXPECT_EQ(describe(std::string_view("\0", 1)), kError);
}

TEST(Tokenizer, StringEscapes) {
    EXPECT_EQ(describe(R"("\n\r\t\\\0\"\'")"), (Tokens{std::string("str:\n\r\t\\\0\"'", 11)}));
    EXPECT_EQ(describe(R"("\x41\x7F")"), (Tokens{"str:A\x7F"}));
    EXPECT_EQ(describe(R"("\u{41}\u{e9}\u{1F600}\u{10_FFFF}\u{0}")"),
              (Tokens{std::string("str:Aé\U0001F600\U0010FFFF\0", 16)}));
    // Line continuation drops the line break and the next line's leading
    // whitespace; CR LF counts as one line break.
    EXPECT_EQ(describe("\"a\\\n   \t b\""), (Tokens{"str:ab"}));
    EXPECT_EQ(describe("\"a\\\r\n\r\n  b\""), (Tokens{"str:ab"}));
    EXPECT_EQ(describe("\"a\r\nb\nc\""), (Tokens{"str:a\nb\nc"}));
    EXPECT_EQ(describe("\"é\""), (Tokens{"str:é"}));
    // A suffix is allowed and ignored.
    EXPECT_EQ(describe(R"("a"suffix)"), (Tokens{"str:a"}));
}

TEST(Tokenizer, MalformedStringsFail) {
    for (const char* text :
         {R"("\x80")", R"("\xG0")", R"("\x4")", R"("\u{D800}")", R"("\u{110000}")", R"("\u{}")",
          R"("\u{_1}")", R"("\u{1234567}")", R"("\u41")", R"("\q")", "\"a\rb\"", "\"a\\\rb\"",
          "\"open", "\"a\\\"", "\"\\"}) {
        EXPECT_EQ(describe(text), kError) << text;
    }
}

TEST(Tokenizer, RawStrings) {
    EXPECT_EQ(describe(R"(r"a\nb")"), (Tokens{R"(str:a\nb)"}));
    EXPECT_EQ(describe(R"--(r#"a"b"#)--"), (Tokens{R"(str:a"b)"}));
    EXPECT_EQ(describe(R"--(r##"a"#b"##)--"), (Tokens{R"(str:a"#b)"}));
    EXPECT_EQ(describe("r\"a\r\nb\""), (Tokens{"str:a\r\nb"}));
    const auto with_hashes = [](std::size_t count) {
        std::string text = "r";
        text.append(count, '#').append("\"x\"").append(count, '#');
        return text;
    };
    EXPECT_EQ(describe(with_hashes(255)), (Tokens{"str:x"}));
    EXPECT_EQ(describe(with_hashes(256)), kError);
    for (const char* text : {R"--(r#"a")--", R"--(r##"a"#)--", "r\"a\rb\""}) {
        EXPECT_EQ(describe(text), kError) << text;
    }
    // Extra closing hashes are punctuation of their own.
    EXPECT_EQ(describe(R"--(r#"a"##)--"), (Tokens{"str:a", "punct:#"}));
}

TEST(Tokenizer, OtherLiteralKindsAreNotStrings) {
    EXPECT_EQ(describe(R"('a' '\n' '\u{e9}' 'é' b'x' b'\xFF' b"x\xFF" br"x" br#"x"# c"x" cr"x")"),
              (Tokens{"lit:'a'", R"(lit:'\n')", R"(lit:'\u{e9}')", "lit:'é'", "lit:b'x'",
                      R"(lit:b'\xFF')", R"(lit:b"x\xFF")", R"(lit:br"x")", R"--(lit:br#"x"#)--",
                      R"(lit:c"x")", R"(lit:cr"x")"}));
    // Byte strings are ASCII; C strings hold no NUL.
    for (const char* text : {"b\"é\"", "b'é'", R"(c"\0")", R"(c"\x00")", R"(c"\u{0}")", "'ab'"}) {
        EXPECT_EQ(describe(text), kError) << text;
    }
    // A lone apostrophe before an identifier is a lifetime.
    EXPECT_EQ(describe("'a b"), (Tokens{"punct:'+", "id:a", "id:b"}));
    // Words that start like literal prefixes are identifiers.
    EXPECT_EQ(describe("rust bread crate c"), (Tokens{"id:rust", "id:bread", "id:crate", "id:c"}));
}

TEST(Tokenizer, IntegerLiterals) {
    EXPECT_EQ(describe("42 0x2A 0o52 0b10_1010 1_000 7u32 1_0u8 0xffu8 0_x 1e"),
              (Tokens{"int:42", "int:42", "int:42", "int:42", "int:1000", "int:7", "int:10",
                      "int:255", "int:0", "int:1"}));
    EXPECT_EQ(describe("18446744073709551615 18446744073709551616 0x1_0000_0000_0000_0000"),
              (Tokens{"int:18446744073709551615", "int:overflow", "int:overflow"}));
    // A sign is punctuation of its own.
    EXPECT_EQ(describe("-1 +2"), (Tokens{"punct:-", "int:1", "punct:+", "int:2"}));
    for (const char* text : {"0x", "0b2", "0o8", "0xg", "0x_", "1\u0301"}) {
        EXPECT_EQ(describe(text), kError) << text;
    }
}

TEST(Tokenizer, FloatsAreNotIntegers) {
    EXPECT_EQ(describe("1.0 1e5 1.5e-3 2. 1E+2_ 1e5f32 1.0f64"),
              (Tokens{"float:1.0", "float:1e5", "float:1.5e-3", "float:2.", "float:1E+2_",
                      "float:1e5f32", "float:1.0f64"}));
    // A dot before another dot or an identifier belongs to what follows.
    EXPECT_EQ(describe("1..2 1.max"),
              (Tokens{"int:1", "punct:.+", "punct:.", "int:2", "int:1", "punct:.", "id:max"}));
    // An exponent without digits leaves the mantissa.
    EXPECT_EQ(describe("1.5e+"), (Tokens{"float:1.5e", "punct:+"}));
}

TEST(Tokenizer, PunctuationSpacing) {
    EXPECT_EQ(describe("=> = > ;;"),
              (Tokens{"punct:=+", "punct:>", "punct:=", "punct:>", "punct:;+", "punct:;"}));
    EXPECT_EQ(describe("~!@#$%^&*-+|:,<.?/"),
              (Tokens{"punct:~+", "punct:!+", "punct:@+", "punct:#+", "punct:$+", "punct:%+",
                      "punct:^+", "punct:&+", "punct:*+", "punct:-+", "punct:++", "punct:|+",
                      "punct::+", "punct:,+", "punct:<+", "punct:.+", "punct:?+", "punct:/"}));
    // The slash of a comment is not punctuation, so `=` before it stands alone.
    EXPECT_EQ(describe("=// c"), (Tokens{"punct:="}));
}

TEST(Tokenizer, GroupsMustBalance) {
    EXPECT_EQ(describe("a { b ( c ) [ ] } d"),
              (Tokens{"id:a", "{4", "id:b", "(1", "id:c", "[0", "id:d"}));
    for (const char* text : {"{", "}", "(]", "{ ( }", "{ } }", "[ { ] }"}) {
        EXPECT_EQ(describe(text), kError) << text;
    }
}

TEST(Tokenizer, DeepNestingNeedsNoRecursion) {
    constexpr std::size_t kDepth = 100000;
    const std::string text = std::string(kDepth, '{') + std::string(kDepth, '}');
    auto stream = tokenize(text);
    ASSERT_TRUE(stream.ok());
    ASSERT_EQ(stream->tokens.size(), kDepth);
    EXPECT_EQ(stream->group_end(stream->tokens[0]), kDepth);
    EXPECT_EQ(stream->group_end(stream->tokens[kDepth - 1]), kDepth);
    EXPECT_EQ(render_tokens(*stream, 0, 3), "{ { {");
    EXPECT_EQ(tokenize(std::string(kDepth, '(')).error(), kError[0].substr(7));
}

TEST(Tokenizer, InvalidUtf8Fails) {
    for (const char* text :
         {"a \xFF", "\"\xC3\"", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "// \xE2\x82\n"}) {
        EXPECT_EQ(describe(text), kError) << text;
    }
}

TEST(Tokenizer, RenderReadsLikeSource) {
    auto stream = tokenize("'a' => 1; { x (y) [z] } /// d\n");
    ASSERT_TRUE(stream.ok());
    EXPECT_EQ(render_tokens(*stream, 0, stream->tokens.size()),
              "'a' => 1 ; { x (y) [z] } # [doc = \" d\"]");
}

TEST(Tokenizer, ReservedWords) {
    for (const char* word : {"_", "type", "Self", "self", "yield", "async", "true", "mod"}) {
        EXPECT_TRUE(is_reserved_word(word)) << word;
    }
    for (const char* word : {"mode", "token", "on", "r#type", "Type", "union", ""}) {
        EXPECT_FALSE(is_reserved_word(word)) << word;
    }
}

}  // namespace
}  // namespace quarn::definition
