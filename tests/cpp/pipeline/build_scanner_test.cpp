#include "quarn/pipeline/build_scanner.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quarn/base/errors.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "worked_example.hpp"

namespace quarn::pipeline {
namespace {

using test_support::kWorkedExample;

Scanner build(std::string_view definition) {
    auto built = build_scanner(definition);
    if (!built)
        throw std::runtime_error(built.error().message);
    return std::move(built).value();
}

std::vector<std::pair<runtime::TokenType, std::string>> scan(const Scanner& scanner,
                                                             runtime::ModeState& state,
                                                             std::string_view text) {
    auto valid = runtime::validate_utf8(text);
    auto matches = scanner->find_matches(valid.value(), state);
    std::vector<std::pair<runtime::TokenType, std::string>> tokens;
    while (auto match = matches.next_match()) {
        tokens.emplace_back(
            match->token_type,
            std::string(text.substr(match->span.start, match->span.end - match->span.start)));
    }
    return tokens;
}

// The message of a definition that parses but cannot be built.
std::string build_error_of(std::string_view definition) {
    auto built = build_scanner(definition);
    if (built)
        return "<no internal error>";
    EXPECT_EQ(built.error().kind, BuildError::Kind::Construction) << built.error().message;
    return built.error().message;
}

TEST(BuildScanner, ExampleScansWithModesAndLookaheads) {
    const Scanner scanner = build(kWorkedExample);
    const auto& modes = scanner->modes();
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_EQ(modes[0].name, "INITIAL");
    EXPECT_EQ(modes[1].name, "STRING");
    EXPECT_EQ(modes[0].transitions, std::vector{runtime::Transition::push_mode(5, 1)});
    EXPECT_EQ(modes[1].transitions, std::vector{runtime::Transition::pop_mode(5)});
    runtime::ModeState state;

    using Tokens = std::vector<std::pair<runtime::TokenType, std::string>>;
    EXPECT_EQ(scan(scanner, state, "x1 12. -y->\"a b\" "), (Tokens{{1, "x1"},
                                                                   {2, " "},
                                                                   {3, "12"},
                                                                   {2, " "},
                                                                   {4, "-"},
                                                                   {1, "y"},
                                                                   {5, "\""},
                                                                   {6, "a b"},
                                                                   {5, "\""},
                                                                   {2, " "}}));
    EXPECT_EQ(scan(scanner, state, "\"open"), (Tokens{{5, "\""}, {6, "open"}}));
    EXPECT_EQ(state.mode, 1u);  // carried to the next scan
}

TEST(BuildScanner, EveryAutomatonHasTheScannerWidth) {
    const Scanner scanner = build(kWorkedExample);
    const std::size_t width = scanner->modes()[0].dfa.num_classes();
    ASSERT_GT(width, 0u);
    std::size_t lookaheads = 0;
    for (const runtime::ScannerMode& mode : scanner->modes()) {
        for (runtime::StateIndex s = 0; s < mode.dfa.num_states(); ++s) {
            EXPECT_EQ(mode.dfa.state(s).transitions.size(), width);
            for (const runtime::AcceptData& entry : mode.dfa.accept_data(s)) {
                if (entry.lookahead.kind() == runtime::Lookahead::Kind::None)
                    continue;
                ++lookaheads;
                EXPECT_EQ(scanner->lookaheads().at(entry.lookahead.index()).num_classes(), width);
            }
        }
    }
    EXPECT_EQ(lookaheads, 2u);
}

TEST(BuildScanner, ScannerWithoutTokenClauses) {
    const Scanner scanner = build("S { mode M { } }");
    const auto& modes = scanner->modes();
    ASSERT_EQ(modes.size(), 1u);
    ASSERT_EQ(modes[0].dfa.num_states(), 1u);
    EXPECT_EQ(modes[0].dfa.num_classes(), 0u);
    for (char32_t ch : {U'a', U'0', U'\U0010FFFF'}) {
        EXPECT_EQ(scanner->match_function()(ch), std::nullopt);
    }
    runtime::ModeState state;
    EXPECT_TRUE(scan(scanner, state, "anything").empty());
}

TEST(BuildScanner, MatchFunctionGroupsSharedIntervals) {
    const Scanner scanner = build(R"(S { mode M { token "[a-z]" => 1; token "e" => 2; } })");
    const auto& match = scanner->match_function();
    EXPECT_EQ(match('e'), 1u);
    EXPECT_EQ(match('a'), 0u);
    EXPECT_EQ(match('q'), 0u);  // another elementary interval of group 0
    EXPECT_EQ(match('5'), std::nullopt);
    EXPECT_EQ(match('A'), std::nullopt);
    EXPECT_EQ(match('{'), std::nullopt);
}

TEST(BuildScanner, DefinitionErrorsComeBackAsValues) {
    auto built = build_scanner("");
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().message,
              "Failed to parse scanner definition: expected identifier `scanner_name`");
    built = build_scanner(R"(S { mode M { token "a" => 1 } })");
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().message,
              "Failed to parse scanner definition: unexpected end of input, expected ';'");
    built = build_scanner(R"(S { mode M { token "a" followed by "(" => 1; } })");
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().message.rfind(
                  "Failed to parse scanner definition: Failed to create positive lookahead: ", 0),
              0u);
    EXPECT_EQ(built.error().kind, BuildError::Kind::Definition);
}

TEST(BuildScanner, ErrorsNameTheClauseAtFault) {
    std::string definition = R"(S {
        mode M { token "a" => 1; }
        mode N { on 1 pop; token "b" => 2; token "\\b" => 3; }
    })";
    auto built = build_scanner(definition);
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().mode, "N");
    EXPECT_EQ(built.error().clause, 2u);
    EXPECT_EQ(built.error().pattern, "\\b");
    EXPECT_EQ(built.error().offset, definition.find(R"(token "\\b")"));

    definition = R"(S { mode A { token "a" => 1; on 1 enter A; on 2 push Nope; } })";
    built = build_scanner(definition);
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().mode, "A");
    EXPECT_EQ(built.error().clause, 2u);
    EXPECT_EQ(built.error().pattern, "");
    EXPECT_EQ(built.error().offset, definition.find("on 2"));

    // An automaton too large names its mode, at its `mode` keyword.
    definition = R"(S { mode A { token "a" => 1; } mode M { token "(a|b)*a(a|b){24}" => 1; } })";
    built = build_scanner(definition);
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().mode, "M");
    EXPECT_EQ(built.error().clause, std::nullopt);
    EXPECT_EQ(built.error().offset, definition.find("mode M"));

    // A parse failure says where parsing stopped; a body that ends too soon,
    // at its closing brace.
    definition = "S { mode M { token \"a\" => 1; token \"b\" =>\n } }";
    built = build_scanner(definition);
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().kind, BuildError::Kind::Definition);
    EXPECT_EQ(built.error().offset, definition.find("}"));
}

TEST(BuildScanner, FailuresAfterParsingAreErrorValues) {
    EXPECT_EQ(build_error_of(R"(S { mode A { on 1 enter A; } mode B { on 2 push Nope; } })"),
              "Scanner mode 'Nope' not found");
    EXPECT_EQ(build_error_of(R"(S { mode M { token "(" => 1; } })")
                  .rfind("Failed to build NFA for pattern: ", 0),
              0u);
    EXPECT_EQ(build_error_of(R"(S { mode M { token "a" => 1; } mode N { token "\\b" => 2; } })")
                  .rfind("Failed to build NFA for pattern: ", 0),
              0u);
    EXPECT_EQ(build_error_of(R"(S { mode M { token "(a|b)*a(a|b){24}" => 1; } })")
                  .rfind("Failed to convert NFA to DFA: ", 0),
              0u);
}

TEST(BuildScanner, SameTextSameTables) {
    const Scanner first = build(kWorkedExample);
    const Scanner second = build(kWorkedExample);
    ASSERT_NE(first, second);
    const auto& a = first->modes();
    const auto& b = second->modes();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].transitions, b[i].transitions);
        EXPECT_EQ(a[i].dfa, b[i].dfa);
    }
    EXPECT_EQ(first->match_function().elementary_intervals(),
              second->match_function().elementary_intervals());
}

TEST(BuildScanner, TablesLiveAsLongAsTheirLastHolder) {
    std::weak_ptr<const runtime::CompiledScanner> tables;
    const std::string text = "abc";
    runtime::ModeState state;
    {
        std::optional<runtime::FindMatches> matches;
        {
            Scanner scanner = build(kWorkedExample);
            tables = scanner;
            matches.emplace(scanner->find_matches(runtime::validate_utf8(text).value(), state));
        }
        EXPECT_FALSE(tables.expired());  // the iterator still holds the scanner
        ASSERT_TRUE(matches->next_match().has_value());
    }
    EXPECT_TRUE(tables.expired());
}

}  // namespace
}  // namespace quarn::pipeline
