#include "quarn/generate/scanner_data.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/base/errors.hpp"

namespace quarn::generate {
namespace {

using Named = TransitionToNamedMode;
using Numeric = TransitionToNumericMode;

ScannerModeWithNamedTransitions mode(std::string name, std::vector<Named> transitions = {},
                                     std::vector<Pattern> patterns = {}) {
    ScannerModeWithNamedTransitions result;
    result.name = std::move(name);
    result.patterns = std::move(patterns);
    result.transitions = std::move(transitions);
    return result;
}

ScannerData scanner(std::vector<ScannerModeWithNamedTransitions> modes) {
    ScannerData data;
    data.name = "S";
    data.modes = std::move(modes);
    return data;
}

std::string failure_of(const ScannerData& data) {
    try {
        (void)data.build_scanner_modes();
    } catch (const base::InternalError& error) {
        return error.what();
    }
    return "<no failure>";
}

TEST(ScannerData, SingleModeWithoutTransitions) {
    const std::vector<ScannerMode> modes =
        scanner({mode("A", {}, {Pattern("a", TerminalID(1))})}).build_scanner_modes();
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0].name, "A");
    EXPECT_EQ(modes[0].patterns, (std::vector{Pattern("a", TerminalID(1))}));
    EXPECT_TRUE(modes[0].transitions.empty());
}

TEST(ScannerData, TransitionsSortStablyByTokenType) {
    const auto modes = scanner({mode("A", {Named::push_mode(7, "B"), Named::set_mode(3, "A"),
                                           Named::pop_mode(7), Named::pop_mode(1)}),
                                mode("B")})
                           .build_scanner_modes();
    EXPECT_EQ(modes[0].transitions, (std::vector{Numeric::pop_mode(1), Numeric::set_mode(3, 0),
                                                 Numeric::push_mode(7, 1), Numeric::pop_mode(7)}));
}

TEST(ScannerData, DuplicateNamesResolveToTheFirstMode) {
    const auto modes = scanner({mode("A"), mode("B", {Named::set_mode(1, "A")}),
                                mode("A", {Named::push_mode(2, "A"), Named::set_mode(3, "B")})})
                           .build_scanner_modes();
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[1].transitions, (std::vector{Numeric::set_mode(1, 0)}));
    EXPECT_EQ(modes[2].transitions,
              (std::vector{Numeric::push_mode(2, 0), Numeric::set_mode(3, 1)}));
}

TEST(ScannerData, UnknownModeIsAConstructionFailure) {
    // The first unresolved transition in mode order, then definition order.
    EXPECT_EQ(failure_of(scanner({mode("A", {Named::pop_mode(1), Named::push_mode(2, "Nope")}),
                                  mode("B", {Named::set_mode(0, "Other")})})),
              "Scanner mode 'Nope' not found");
    // Exact, case-sensitive names; a raw spelling is a different name.
    EXPECT_EQ(failure_of(scanner({mode("Mode", {Named::set_mode(1, "mode")})})),
              "Scanner mode 'mode' not found");
    EXPECT_EQ(failure_of(scanner({mode("r#type", {Named::set_mode(1, "type")})})),
              "Scanner mode 'type' not found");
    // Pop never looks anything up, even with a single mode.
    EXPECT_EQ(failure_of(scanner({mode("A", {Named::pop_mode(1), Named::pop_mode(1)})})),
              "<no failure>");
}

TEST(ScannerData, PatternsAreCopiedWithTheirLookahead) {
    auto lookahead = Lookahead::positive("b");
    ASSERT_TRUE(lookahead.ok());
    const Pattern pattern = Pattern("a", TerminalID(4)).with_lookahead(lookahead.value());
    ScannerData data = scanner({mode("A", {}, {pattern})});
    const auto modes = data.build_scanner_modes();
    data.modes[0].patterns.clear();
    ASSERT_EQ(modes[0].patterns.size(), 1u);
    EXPECT_EQ(modes[0].patterns[0], pattern);
    EXPECT_EQ(modes[0].patterns[0].lookahead.kind(), Lookahead::Kind::Positive);
}

// Resolution through the name index gives what a linear search from mode 0
// gives, duplicates included.
TEST(ScannerData, ConvertTransitionsMatchesLinearSearch) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> names(1 + random() % 12);
        for (std::string& name : names)
            name = std::string(1, static_cast<char>('a' + random() % 6));
        std::vector<std::string_view> views(names.begin(), names.end());

        std::vector<Named> transitions;
        std::vector<Numeric> expected;
        for (std::size_t i = 0, count = random() % 10; i < count; ++i) {
            const std::uint64_t token_type = random() % 4;
            const std::string& target = names[random() % names.size()];
            std::uint64_t position = 0;
            while (names[position] != target)
                ++position;
            if (random() % 2 == 0) {
                transitions.push_back(Named::set_mode(token_type, target));
                expected.push_back(Numeric::set_mode(token_type, position));
            } else {
                transitions.push_back(Named::push_mode(token_type, target));
                expected.push_back(Numeric::push_mode(token_type, position));
            }
        }
        std::stable_sort(expected.begin(), expected.end(), [](const Numeric& a, const Numeric& b) {
            return a.token_type() < b.token_type();
        });
        EXPECT_EQ(mode("x", transitions).convert_transitions(views), expected);
    }
}

TEST(ScannerData, TransitionDebugText) {
    EXPECT_EQ(debug_string(Numeric::set_mode(5, 1)), "SetMode(5, 1)");
    EXPECT_EQ(debug_string(Numeric::push_mode(5, 2)), "PushMode(5, 2)");
    EXPECT_EQ(debug_string(Numeric::pop_mode(18446744073709551615u)),
              "PopMode(18446744073709551615)");
}

}  // namespace
}  // namespace quarn::generate
