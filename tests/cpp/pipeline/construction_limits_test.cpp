// Bounds on everything one definition builds, across its modes and lookaheads.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "quarn/base/errors.hpp"
#include "quarn/definition/parser.hpp"
#include "quarn/generate/pattern.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"

namespace quarn::pipeline {
namespace {

// The message of a definition that parses but cannot be built.
std::string build_error_of(std::string_view definition) {
    auto built = build_scanner(definition);
    if (built)
        return "(built)";
    EXPECT_EQ(built.error().kind, BuildError::Kind::Construction) << built.error().message;
    return built.error().message;
}

// [a-z]{1,340000} is 1,019,999 NFA states: within the limit alone, not twice.
constexpr const char* kHalfBudget = "[a-z]{1,340000}";

TEST(ConstructionLimits, ModeNfasShareOneBudget) {
    const std::string two_modes = std::string("S { mode A { token \"") + kHalfBudget +
                                  "\" => 1; } mode B { token \"" + kHalfBudget + "\" => 1; } }";
    EXPECT_EQ(build_error_of(two_modes),
              "Failed to build NFA for pattern: NfaTooLargeError { scanner_states: 2039998, "
              "limit: 2000000 }");

    // A lookahead's states count against the mode NFAs too.
    const std::string with_lookahead = std::string("S { mode A { token \"") + kHalfBudget +
                                       "\" => 1; token \"x\" followed by \"" + kHalfBudget +
                                       "\" => 2; } }";
    EXPECT_EQ(build_error_of(with_lookahead),
              "Failed to build NFA for pattern: NfaTooLargeError { scanner_states: 2039998, "
              "limit: 2000000 }");
}

// Definitions that took gigabytes or tens of seconds are refused before
// anything large is allocated, with a message that names the bound.
TEST(ConstructionLimits, HostileDefinitionsAreRefusedNamingTheBound) {
    std::string alternation = "\\w";
    while (alternation.size() < 200'000)
        alternation += "|\\w";
    const auto token = [](const std::string& regex) {
        return "S { mode A { token r\"" + regex + "\" => 1; } }";
    };
    for (const std::string& regex : {alternation, std::string(1'000'000, 'a')}) {
        const std::string message = build_error_of(token(regex));
        EXPECT_TRUE(message.starts_with(
            "Failed to build NFA for pattern: NfaTooLargeError { pattern_bytes: "))
            << message.substr(0, 300);
        EXPECT_TRUE(message.ends_with(", limit: 65536 }")) << message.substr(0, 300);
    }
}

TEST(ConstructionLimits, SplitTransitionsAreCountedBeforeSplitting) {
    // Single characters cut one range into hundreds of interval groups, and
    // every copy of the range in the repetitions would get a transition per group.
    std::string definition = "S { mode A {";
    for (int i = 0; i < 30; ++i)
        definition += " token \"[\\\\x{100}-\\\\x{fff}]{1,3000}\" => 1;";
    for (int i = 0; i < 300; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "%x", 0x100 + 7 * i);
        definition += std::string(" token \"\\\\x{") + code + "}\" => 2;";
    }
    definition += " } }";
    const std::string message = build_error_of(definition);
    EXPECT_TRUE(message.starts_with(
        "Failed to build NFA for pattern: NfaTooLargeError { scanner_transitions: "))
        << message;
    EXPECT_TRUE(message.ends_with(", limit: 8388608 }")) << message;
}

TEST(ConstructionLimits, LabelRangesOfAllModesAreChargedBeforeBuilding) {
    // Each mode holds 2.3 million ranges of \w: one fits, two do not, and the
    // refusal names the clause that crosses the bound.
    std::string definition = "D {";
    for (int i = 0; i < 120; ++i) {
        definition += " mode M" + std::to_string(i) +
                      " { token \"a\" => 1; token r\"(?i)\\w{1,3000}\" => " + std::to_string(i) +
                      "; }";
    }
    definition += " }";
    auto built = build_scanner(definition);
    ASSERT_FALSE(built);
    const BuildError& error = built.error();
    EXPECT_TRUE(error.message.starts_with(
        "Failed to build NFA for pattern: NfaTooLargeError { scanner_label_ranges: "))
        << error.message;
    EXPECT_TRUE(error.message.ends_with(", limit: 4194304 }")) << error.message;
    EXPECT_EQ(error.mode, "M1");
    EXPECT_EQ(error.clause, 1u);
    EXPECT_EQ(error.pattern, "(?i)\\w{1,3000}");
    EXPECT_EQ(definition.substr(*error.offset, 5), "token");
    EXPECT_GT(*error.offset, definition.find("mode M1 "));
}

TEST(ConstructionLimits, LookaheadsTogetherAreRefusedWhileParsing) {
    const std::string definition =
        std::string("S { mode A { token \"x\" followed by \"") + kHalfBudget +
        "\" => 1; token \"y\" not followed by \"[b-z]{1,340000}\" => 2; } }";
    auto built = build_scanner(definition);
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().message,
              "Failed to parse scanner definition: Failed to create negative lookahead: Failed to "
              "create NFA from regex pattern: The scanner is too large: its NFAs would need "
              "2039998 states together, more than the limit of 2000000.");
}

TEST(ConstructionLimits, OneLookaheadRegexIsBuiltOnce) {
    // Modes and directions apart, one regex gives one automaton, charged once.
    const std::string definition = std::string("S { mode A { token \"x\" followed by \"") +
                                   kHalfBudget + "\" => 1; token \"y\" not followed by \"" +
                                   kHalfBudget + "\" => 2; } mode B { token \"z\" followed by \"" +
                                   kHalfBudget + "\" => 3; } }";
    auto data = definition::parse_scanner_data(definition);
    ASSERT_TRUE(data);
    ASSERT_EQ(data->lookaheads.size(), 1u);
    const generate::LookaheadID shared(0);
    EXPECT_EQ(data->modes[0].tokens[0].pattern.lookahead, generate::Lookahead::positive(shared));
    EXPECT_EQ(data->modes[0].tokens[1].pattern.lookahead, generate::Lookahead::negative(shared));
    EXPECT_EQ(data->modes[1].tokens[0].pattern.lookahead, generate::Lookahead::positive(shared));
}

TEST(ConstructionLimits, LongLookaheadBehindLongTokenBuildsOnce) {
    // Every accepting state of the token holds the same lookahead automaton;
    // copying it per state made this quadratic.
    auto built = build_scanner(R"(S { mode A {
        token "[a-z]{1,400}" followed by "[0-9]{1,400}" => 1;
        token "[a-z0-9]" => 2;
    } })");
    ASSERT_TRUE(built);
    const std::string_view text = "abc123d";
    runtime::ModeState state;
    auto matches = (*built)->find_matches(runtime::validate_utf8(text).value(), state);
    std::vector<std::pair<runtime::TokenType, std::size_t>> tokens;
    while (auto match = matches.next_match())
        tokens.emplace_back(match->token_type, match->span.end - match->span.start);
    EXPECT_EQ(tokens, (std::vector<std::pair<runtime::TokenType, std::size_t>>{
                          {1, 3}, {2, 1}, {2, 1}, {2, 1}, {2, 1}}));
}

}  // namespace
}  // namespace quarn::pipeline
