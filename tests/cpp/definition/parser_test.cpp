#include "quarn/definition/parser.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "quarn/base/errors.hpp"
#include "worked_example.hpp"

namespace quarn::definition {
namespace {

using generate::Lookahead;
using generate::Pattern;
using generate::ScannerData;
using generate::TerminalID;
using generate::TransitionToNamedMode;

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
    ASSERT_EQ(initial.patterns.size(), 5u);
    EXPECT_EQ(initial.patterns[0], Pattern("[a-zA-Z_][a-zA-Z0-9_]*", TerminalID(1)));
    EXPECT_EQ(initial.patterns[1], Pattern("\\s+", TerminalID(2)));
    EXPECT_EQ(initial.patterns[2],
              Pattern("\\d+", TerminalID(3)).with_lookahead(Lookahead::positive("\\.").value()));
    EXPECT_EQ(initial.patterns[3],
              Pattern("-", TerminalID(4)).with_lookahead(Lookahead::negative(">").value()));
    EXPECT_EQ(initial.patterns[4], Pattern("\"", TerminalID(5)));
    EXPECT_EQ(initial.transitions, (std::vector{TransitionToNamedMode::push_mode(5, "STRING")}));

    const auto& string = data.modes[1];
    EXPECT_EQ(string.name, "STRING");
    EXPECT_EQ(string.patterns,
              (std::vector{Pattern("[^\"\\\\]+", TerminalID(6)), Pattern("\"", TerminalID(5))}));
    EXPECT_EQ(string.transitions, (std::vector{TransitionToNamedMode::pop_mode(5)}));
}

TEST(Parser, ClausesKeepTheirOrderAndAreNotDeduplicated) {
    const ScannerData data = parse_ok(in_mode(R"(
        on 7 enter B; token "a" => 2; on 3 push A; token "a" => 2; on 7 pop; token "b" => 1;
    )"));
    const auto& mode = data.modes[0];
    EXPECT_EQ(mode.patterns, (std::vector{Pattern("a", TerminalID(2)), Pattern("a", TerminalID(2)),
                                          Pattern("b", TerminalID(1))}));
    // A target that does not exist is not the parser's business.
    EXPECT_EQ(mode.transitions, (std::vector{TransitionToNamedMode::set_mode(7, "B"),
                                             TransitionToNamedMode::push_mode(3, "A"),
                                             TransitionToNamedMode::pop_mode(7)}));
    for (const Pattern& pattern : mode.patterns)
        EXPECT_EQ(pattern.priority, 0u);
}

TEST(Parser, MinimalDefinitionsAndNames) {
    const ScannerData empty_mode = parse_ok("\xEF\xBB\xBF// scanner\nS { mode A {} }");
    ASSERT_EQ(empty_mode.modes.size(), 1u);
    EXPECT_TRUE(empty_mode.modes[0].patterns.empty());
    EXPECT_TRUE(empty_mode.modes[0].transitions.empty());

    // Raw identifiers keep their prefix; keywords of the language are plain
    // identifiers elsewhere.
    const ScannerData raw = parse_ok(
        "r#mode { mode r#type { on 1 enter r#type; } mode mode { on 2 push mode; } mode token {} "
        "}");
    EXPECT_EQ(raw.name, "r#mode");
    EXPECT_EQ(raw.modes[0].name, "r#type");
    EXPECT_EQ(raw.modes[0].transitions[0].target_mode(), "r#type");
    EXPECT_EQ(raw.modes[1].name, "mode");
    EXPECT_EQ(raw.modes[2].name, "token");
}

TEST(Parser, UnknownTargetModeFailsOnlyAtResolution) {
    const ScannerData data = parse_ok("S { mode A { on 1 pop; } mode B { on 2 push Missing; } }");
    try {
        (void)data.build_scanner_modes();
        ADD_FAILURE() << "resolution succeeded";
    } catch (const base::InternalError& error) {
        EXPECT_STREQ(error.what(), "Scanner mode 'Missing' not found");
    }
}

TEST(Parser, TokenPatternsAreNotCompiledHere) {
    const ScannerData data = parse_ok(in_mode(R"(token "(" => 1; token "" => 2;)"));
    EXPECT_EQ(data.modes[0].patterns[0].pattern, "(");
    EXPECT_EQ(data.modes[0].patterns[1].pattern, "");
}

TEST(Parser, IntegerForms) {
    const ScannerData data = parse_ok(in_mode(R"(
        token "a" => 4294967295; token "b" => 0x10; token "c" => 1_0u8; token "d" => 0b11;
        token "e" => 0o17; token "f" => 7i64;
        on 4294967296 pop; on 18446744073709551615 pop; on 0xFFFF_FFFF_FFFF_FFFF pop;
    )"));
    std::vector<std::uint32_t> types;
    for (const Pattern& pattern : data.modes[0].patterns) {
        types.push_back(pattern.terminal_type.value());
    }
    EXPECT_EQ(types, (std::vector<std::uint32_t>{4294967295u, 16, 10, 3, 15, 7}));
    EXPECT_EQ(data.modes[0].transitions[0].token_type(), 4294967296u);
    EXPECT_EQ(data.modes[0].transitions[1].token_type(), 18446744073709551615u);
    EXPECT_EQ(data.modes[0].transitions[2].token_type(), 18446744073709551615u);
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

TEST(Parser, ManyModesResolveToTheirFirstDefinition) {
    // Every mode enters the one before it; the last name repeats the first.
    constexpr int kModes = 20000;
    std::string text = "S { mode M0 { on 1 enter M0; } ";
    for (int i = 1; i < kModes; ++i) {
        text += "mode M" + std::to_string(i) + " { on 1 enter M" + std::to_string(i - 1) + "; } ";
    }
    text += "mode M0 { on 1 enter M0; } }";
    const ScannerData data = parse_ok(text);
    const auto modes = data.build_scanner_modes();
    ASSERT_EQ(modes.size(), static_cast<std::size_t>(kModes + 1));
    EXPECT_EQ(modes[kModes - 1].transitions[0].target_mode(),
              static_cast<std::uint64_t>(kModes - 2));
    EXPECT_EQ(modes[kModes].transitions[0].target_mode(), 0u);
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
