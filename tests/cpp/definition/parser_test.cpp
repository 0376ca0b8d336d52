#include "quarn/definition/parser.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "worked_example.hpp"

namespace quarn::definition {
namespace {

using generate::Lookahead;
using generate::LookaheadID;
using generate::Pattern;
using generate::TokenTypeID;

Transition enter(std::uint64_t token_type, std::string mode, std::size_t clause) {
    return {Transition::Kind::Enter, token_type, std::move(mode), clause};
}
Transition push(std::uint64_t token_type, std::string mode, std::size_t clause) {
    return {Transition::Kind::Push, token_type, std::move(mode), clause};
}
Transition pop(std::uint64_t token_type, std::size_t clause) {
    return {Transition::Kind::Pop, token_type, {}, clause};
}

std::string error_of(std::string_view text) {
    auto parsed = parse_scanner_data(text);
    return parsed ? "<parsed>" : parsed.error();
}

ScannerData parse_ok(std::string_view text) {
    auto parsed = parse_scanner_data(text);
    if (!parsed)
        ADD_FAILURE() << text << "\n  -> " << parsed.error();
    return parsed ? std::move(parsed).value() : ScannerData{};
}

// A definition with one mode whose body is `body`.
std::string in_mode(std::string_view body) {
    return "S { mode A { " + std::string(body) + " } }";
}

TEST(Parser, WorkedExample) {
    const ScannerData data = parse_ok(test_support::kWorkedExample);
    EXPECT_EQ(data.name, "Example");
    ASSERT_EQ(data.modes.size(), 2u);

    const auto& initial = data.modes[0];
    EXPECT_EQ(initial.name, "INITIAL");
    EXPECT_EQ(initial.patterns(),
              (std::vector{Pattern("[a-zA-Z_][a-zA-Z0-9_]*", TokenTypeID(1)),
                           Pattern("\\s+", TokenTypeID(2)),
                           Pattern("\\d+", TokenTypeID(3), Lookahead::positive(LookaheadID(0))),
                           Pattern("-", TokenTypeID(4), Lookahead::negative(LookaheadID(1))),
                           Pattern("\"", TokenTypeID(5))}));
    EXPECT_EQ(initial.transitions, (std::vector{push(5, "STRING", 5)}));
    // The lookahead table: one automaton per regex, accepting the lookahead token type.
    ASSERT_EQ(data.lookaheads.size(), 2u);
    EXPECT_EQ(data.lookaheads[0].pattern, "\\.");
    EXPECT_EQ(data.lookaheads[1].pattern, ">");
    const generate::Nfa& dot = data.lookaheads[0];
    ASSERT_TRUE(dot.states[dot.end_state.as_usize()].accept_data);
    EXPECT_EQ(dot.states[dot.end_state.as_usize()].accept_data->token_type,
              generate::kLookaheadTokenType);

    const auto& string = data.modes[1];
    EXPECT_EQ(string.name, "STRING");
    EXPECT_EQ(string.patterns(),
              (std::vector{Pattern("[^\"\\\\]+", TokenTypeID(6)), Pattern("\"", TokenTypeID(5))}));
    EXPECT_EQ(string.transitions, (std::vector{pop(5, 2)}));
}

TEST(Parser, EachLookaheadRegexIsBuiltOnce) {
    const ScannerData data = parse_ok(R"(S {
        mode A { token "a" followed by "x" => 1; token "b" not followed by "x" => 2; }
        mode B { token "c" followed by "y" => 3; token "d" followed by "x" => 4; } })");
    ASSERT_EQ(data.lookaheads.size(), 2u);
    EXPECT_EQ(data.modes[0].tokens[1].pattern.lookahead, Lookahead::negative(LookaheadID(0)));
    EXPECT_EQ(data.modes[1].tokens[0].pattern.lookahead, Lookahead::positive(LookaheadID(1)));
    EXPECT_EQ(data.modes[1].tokens[1].pattern.lookahead, Lookahead::positive(LookaheadID(0)));
}

TEST(Parser, ClausesKeepTheirOrderAndAreNotDeduplicated) {
    const ScannerData data = parse_ok(in_mode(R"(
        on 7 enter B; token "a" => 2; on 3 push A; token "a" => 2; on 7 pop; token "b" => 1;
    )"));
    const auto& mode = data.modes[0];
    EXPECT_EQ(mode.tokens, (std::vector<TokenClause>{{Pattern("a", TokenTypeID(2)), 1},
                                                     {Pattern("a", TokenTypeID(2)), 3},
                                                     {Pattern("b", TokenTypeID(1)), 5}}));
    // A target that does not exist is not the parser's business.
    EXPECT_EQ(mode.transitions, (std::vector{enter(7, "B", 0), push(3, "A", 2), pop(7, 4)}));
}

TEST(Parser, MinimalDefinitionsAndNames) {
    const ScannerData empty_mode = parse_ok("\xEF\xBB\xBF// scanner\nS { mode A {} }");
    ASSERT_EQ(empty_mode.modes.size(), 1u);
    EXPECT_TRUE(empty_mode.modes[0].tokens.empty());
    EXPECT_TRUE(empty_mode.modes[0].transitions.empty());

    // Raw identifiers keep their prefix; keywords of the language are plain
    // identifiers elsewhere.
    const ScannerData raw = parse_ok(
        "r#mode { mode r#type { on 1 enter r#type; } mode mode { on 2 push mode; } mode token {} "
        "}");
    EXPECT_EQ(raw.name, "r#mode");
    EXPECT_EQ(raw.modes[0].name, "r#type");
    EXPECT_EQ(raw.modes[0].transitions[0].target_mode, "r#type");
    EXPECT_EQ(raw.modes[1].name, "mode");
    EXPECT_EQ(raw.modes[2].name, "token");
}

TEST(Parser, TokenPatternsAreNotCompiledHere) {
    const ScannerData data = parse_ok(in_mode(R"(token "(" => 1; token "" => 2;)"));
    EXPECT_EQ(data.modes[0].tokens[0].pattern.regex, "(");
    EXPECT_EQ(data.modes[0].tokens[1].pattern.regex, "");
}

TEST(Parser, IntegerForms) {
    const ScannerData data = parse_ok(in_mode(R"(
        token "a" => 4294967295; token "b" => 0x10; token "c" => 1_0u8; token "d" => 0b11;
        token "e" => 0o17; token "f" => 7i64;
        on 4294967296 pop; on 18446744073709551615 pop; on 0xFFFF_FFFF_FFFF_FFFF pop;
    )"));
    std::vector<std::uint32_t> types;
    for (const Pattern& pattern : data.modes[0].patterns()) {
        types.push_back(pattern.token_type.value());
    }
    EXPECT_EQ(types, (std::vector<std::uint32_t>{4294967295u, 16, 10, 3, 15, 7}));
    EXPECT_EQ(data.modes[0].transitions[0].token_type, 4294967296u);
    EXPECT_EQ(data.modes[0].transitions[1].token_type, 18446744073709551615u);
    EXPECT_EQ(data.modes[0].transitions[2].token_type, 18446744073709551615u);
}

TEST(Parser, IntegerRangeErrors) {
    const std::string too_large = "number too large to fit in target type";
    const std::string negative = "invalid digit found in string";
    EXPECT_EQ(error_of(in_mode(R"(token "a" => 4294967296;)")), too_large);
    EXPECT_EQ(error_of(in_mode(R"(token "a" => 0x1_0000_0000;)")), too_large);
    EXPECT_EQ(error_of(in_mode("on 18446744073709551616 pop;")), too_large);
    EXPECT_EQ(error_of(in_mode("on 99999999999999999999999999999 pop;")), too_large);
    // A sign is checked before the size.
    for (const char* value : {"-1", "-0", "- 1", "-99999999999999999999999", "-0x10"}) {
        EXPECT_EQ(error_of(in_mode(std::string(R"(token "a" => )") + value + ";")), negative)
            << value;
        EXPECT_EQ(error_of(in_mode(std::string("on ") + value + " pop;")), negative) << value;
    }
}

TEST(Parser, EveryMessage) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "expected identifier `scanner_name`"},
        {"// only a comment\n/* and another */", "expected identifier `scanner_name`"},
        {"/// doc\nS { mode A {} }", "expected identifier `scanner_name`"},
        {"type { mode A {} }", "expected identifier `scanner_name`"},
        {"{ mode A {} }", "expected identifier `scanner_name`"},
        {"S", "unexpected end of input, expected curly braces"},
        {"S ( mode A {} )", "expected curly braces"},
        {"S {}", "expected identifier `mode`"},
        {"S { 1 }", "expected identifier `mode`"},
        {"S { modes A {} }", "expected 'mode'"},
        {"S { r#mode A {} }", "expected 'mode'"},
        {"S { foo }", "unexpected end of input, expected 'mode'"},
        {"S { mode {} }", "expected identifier `mode_name`"},
        {"S { mode type {} }", "expected identifier `mode_name`"},
        {"S { mode }", "expected identifier `mode_name`"},
        {"S { mode A }", "unexpected end of input, expected curly braces"},
        {"S { mode A ; }", "expected curly braces"},
        {"S { mode A {} mode B }", "unexpected end of input, expected curly braces"},
        {"S { mode A {} ; }", "expected identifier `mode`"},
        {"S { mode A {} } x", "unexpected token"},
        {"S { mode A {} } {}", "unexpected token"},
        {"S { mode A {} } ;", "unexpected token"},
        {"S { mode A {} ) }", "cannot parse string into token stream"},
        {"S { mode A { token \"a => 1; } }", "cannot parse string into token stream"},
        {in_mode("1"), "expected identifier `token_or_transition`"},
        {in_mode("/// doc\ntoken \"a\" => 1;"), "expected identifier `token_or_transition`"},
        {in_mode("tokens \"a\" => 1;"), "expected 'token' or 'transition'"},
        {in_mode("transition"), "unexpected end of input, expected 'token' or 'transition'"},
        {in_mode("token 'a' => 1;"), "expected a string literal for the pattern: 'a' => 1 ;"},
        {in_mode("token b\"a\" => 1;"), "expected a string literal for the pattern: b\"a\" => 1 ;"},
        {in_mode("token"), "expected a string literal for the pattern: <end of mode body>"},
        {in_mode(R"(token "a" maybe => 1;)"), "expected 'followed' or 'not'"},
        {in_mode(R"(token "a" r#followed by "b" => 1;)"), "expected 'followed' or 'not'"},
        {in_mode(R"(token "a" maybe)"), "unexpected end of input, expected 'followed' or 'not'"},
        {in_mode(R"(token "a" not "b" => 1;)"), "expected identifier `followed`"},
        {in_mode(R"(token "a" not by "b" => 1;)"), "expected 'followed'"},
        {in_mode(R"(token "a" not)"), "expected identifier `followed`"},
        {in_mode(R"(token "a" not by)"), "unexpected end of input, expected 'followed'"},
        {in_mode(R"(token "a" followed "b" => 1;)"), "expected identifier `by`"},
        {in_mode(R"(token "a" followed after "b" => 1;)"), "expected 'by'"},
        {in_mode(R"(token "a" followed after)"), "unexpected end of input, expected 'by'"},
        {in_mode(R"(token "a" followed by => 1;)"),
         "expected a string literal for the lookahead pattern"},
        {in_mode(R"(token "a" followed by 'b' => 1;)"),
         "expected a string literal for the lookahead pattern"},
        {in_mode(R"(token "a" 1;)"), "expected `=>`"},
        {in_mode(R"(token "a" = > 1;)"), "expected `=>`"},
        {in_mode(R"(token "a" == 1;)"), "expected `=>`"},
        {in_mode(R"(token "a" type => 1;)"), "expected `=>`"},
        {in_mode(R"(token "a")"), "expected `=>`"},
        {in_mode(R"(token "a" => x;)"), "expected integer literal"},
        {in_mode(R"(token "a" => +1;)"), "expected integer literal"},
        {in_mode(R"(token "a" => 1.0;)"), "expected integer literal"},
        {in_mode(R"(token "a" => -1.0;)"), "expected integer literal"},
        {in_mode(R"(token "a" => - ;)"), "expected integer literal"},
        {in_mode(R"(token "a" => "1";)"), "expected integer literal"},
        {in_mode(R"(token "a" =>)"), "unexpected end of input, expected integer literal"},
        {in_mode("on x pop;"), "expected integer literal"},
        {in_mode("on"), "unexpected end of input, expected integer literal"},
        {in_mode("on 1;"), "expected identifier `transition_kind`"},
        {in_mode("on 1 Pop;"), "expected 'enter', 'push' or 'pop'"},
        {in_mode("on 1 jump"), "unexpected end of input, expected 'enter', 'push' or 'pop'"},
        {in_mode("on 1 enter;"), "expected identifier `new_mode`"},
        {in_mode("on 1 push type;"), "expected identifier `new_mode`"},
        {in_mode(R"(token "a" => 1)"), "unexpected end of input, expected ';'"},
        {in_mode(R"(token "a" => 1 token "b" => 2;)"), "expected ';'"},
        {in_mode("on 1 pop"), "unexpected end of input, expected ';'"},
        {in_mode("on 1 enter A token"), "expected ';'"},
        {in_mode("on 1 pop => 2;"), "expected ';'"},
    };
    for (const auto& [text, message] : cases)
        EXPECT_EQ(error_of(text), message) << text;
}

TEST(Parser, RejectedLookaheadRegexNamesItsDirection) {
    const std::string positive = error_of(in_mode(R"(token "a" followed by "(" => 1;)"));
    const std::string negative = error_of(in_mode(R"(token "a" not followed by "(" => 1;)"));
    const std::string inner = "Failed to create NFA from regex pattern: ";
    EXPECT_EQ(positive.rfind("Failed to create positive lookahead: " + inner, 0), 0u) << positive;
    EXPECT_EQ(negative.rfind("Failed to create negative lookahead: " + inner, 0), 0u) << negative;
    // The regex error itself follows.
    EXPECT_GT(positive.size(), ("Failed to create positive lookahead: " + inner).size());
}

TEST(Parser, DeeplyNestedInputIsAnErrorNotACrash) {
    constexpr std::size_t kDepth = 100000;
    const std::string nested = std::string(kDepth, '{') + std::string(kDepth, '}');
    EXPECT_EQ(error_of(nested), "expected identifier `scanner_name`");
    EXPECT_EQ(error_of("S " + nested), "expected identifier `mode`");
    EXPECT_EQ(error_of("S { mode A {} } " + nested), "unexpected token");
    EXPECT_EQ(error_of(std::string(kDepth, '(')), "cannot parse string into token stream");
    const std::string message = error_of(in_mode("token " + nested));
    EXPECT_EQ(message.rfind("expected a string literal for the pattern: { { {", 0), 0u);
    EXPECT_EQ(message.substr(message.size() - 5), "} } }");
}

// Random bytes and random mixes of definition fragments must give a result or
// a message, never a crash.
TEST(Parser, NoiseNeverCrashes) {
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 64, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        (void)parse_scanner_data(bytes);
    }
    const std::vector<std::string> fragments = {
        "S",   "{",   "}",        "mode", "A",     "token", "\"a\"", "r#\"b\"#", "=>",
        "=",   ">",   ";",        "on",   "1",     "-",     "0x10",  "push",     "enter",
        "pop", "not", "followed", "by",   "\"(\"", "//",    "/*",    "*/",       "///",
        "'x'", "(",   ")",        "[",    "]",     "\\",    "\n"};
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        const std::size_t count = random() % 40;
        for (std::size_t i = 0; i < count; ++i) {
            text += fragments[random() % fragments.size()];
            text += random() % 4 == 0 ? "" : " ";
        }
        auto parsed = parse_scanner_data(text);
        if (parsed) {
            EXPECT_FALSE(parsed->modes.empty()) << text;
        }
    }
}

}  // namespace
}  // namespace quarn::definition

namespace quarn::definition {
namespace {

// A rejected definition reports where the parse stopped: the token it could
// not use, or where the tokenizer found no token.
TEST(Parser, ErrorsReportTheOffendingTokensOffset) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"(S { mode A { token "a" => x; } })", "x;"},
        {R"(S { mode A { token "a" => 99999999999; } })", "99999999999"},
        {R"(S { mode A { token "a" followed by "(" => 1; } })", R"("(")"},
        {R"(S { mode A { tokn "a" => 1; } })", "tokn"},
        {R"(S { mode A { token "a" => 1; on 1 jump B; } })", "jump"},
        {R"(S { mode A { token "a" => 1; } } extra)", "extra"},
        {R"(S { mode A { token "a => 1; } })", R"("a =>)"},
        {"S { mode A { token \"a\" => 1; } } \xFF", "\xFF"},
    };
    for (const auto& [text, marker] : cases) {
        std::size_t offset = 12345;
        const auto parsed = parse_scanner_data(text, &offset);
        ASSERT_FALSE(parsed) << text;
        EXPECT_EQ(offset, text.find(marker)) << text << ": " << parsed.error();
    }
}

}  // namespace
}  // namespace quarn::definition
