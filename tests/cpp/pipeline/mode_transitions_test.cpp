#include "quarn/pipeline/mode_transitions.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "quarn/definition/parser.hpp"

namespace quarn::pipeline {
namespace {

using Named = definition::Transition;
using runtime::Transition;

Named enter(std::uint64_t token_type, std::string mode, std::size_t clause = 0) {
    return {Named::Kind::Enter, token_type, std::move(mode), clause};
}
Named push(std::uint64_t token_type, std::string mode, std::size_t clause = 0) {
    return {Named::Kind::Push, token_type, std::move(mode), clause};
}
Named pop(std::uint64_t token_type, std::size_t clause = 0) {
    return {Named::Kind::Pop, token_type, {}, clause};
}

definition::ModeDefinition mode(std::string name, std::vector<Named> transitions = {}) {
    definition::ModeDefinition result;
    result.name = std::move(name);
    result.transitions = std::move(transitions);
    return result;
}

definition::ScannerData scanner(std::vector<definition::ModeDefinition> modes) {
    definition::ScannerData data;
    data.name = "S";
    data.modes = std::move(modes);
    return data;
}

std::vector<std::vector<Transition>> resolved(const definition::ScannerData& data) {
    auto result = resolve_transitions(data);
    if (!result) {
        ADD_FAILURE() << result.error().message;
        return {};
    }
    return std::move(result).value();
}

std::string failure_of(const definition::ScannerData& data) {
    auto result = resolve_transitions(data);
    return result ? "<no failure>" : result.error().message;
}

TEST(ModeTransitions, SingleModeWithoutTransitions) {
    const auto modes = resolved(scanner({mode("A")}));
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_TRUE(modes[0].empty());
}

TEST(ModeTransitions, SortStablyByTokenType) {
    const auto modes =
        resolved(scanner({mode("A", {push(7, "B"), enter(3, "A"), pop(7), pop(1)}), mode("B")}));
    EXPECT_EQ(modes[0], (std::vector{Transition::pop_mode(1), Transition::set_mode(3, 0),
                                     Transition::push_mode(7, 1), Transition::pop_mode(7)}));
}

TEST(ModeTransitions, DuplicateNamesResolveToTheFirstMode) {
    const auto modes = resolved(
        scanner({mode("A"), mode("B", {enter(1, "A")}), mode("A", {push(2, "A"), enter(3, "B")})}));
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[1], (std::vector{Transition::set_mode(1, 0)}));
    EXPECT_EQ(modes[2], (std::vector{Transition::push_mode(2, 0), Transition::set_mode(3, 1)}));
}

TEST(ModeTransitions, UnknownModeIsABuildError) {
    // The first unresolved transition in mode order, then definition order;
    // the error names its mode and clause.
    const auto first = resolve_transitions(
        scanner({mode("A", {pop(1, 0), push(2, "Nope", 3)}), mode("B", {enter(0, "Other", 0)})}));
    ASSERT_FALSE(first);
    EXPECT_EQ(
        first.error(),
        (BuildError{
            BuildError::Kind::Construction, "Scanner mode 'Nope' not found", "A", 3, "", {}}));
    // Exact, case-sensitive names; a raw spelling is a different name.
    EXPECT_EQ(failure_of(scanner({mode("Mode", {enter(1, "mode")})})),
              "Scanner mode 'mode' not found");
    EXPECT_EQ(failure_of(scanner({mode("r#type", {enter(1, "type")})})),
              "Scanner mode 'type' not found");
    // Pop never looks anything up, even with a single mode.
    EXPECT_EQ(failure_of(scanner({mode("A", {pop(1), pop(1)})})), "<no failure>");

    // From the parser: a missing target parses and fails only here.
    auto parsed =
        definition::parse_scanner_data("S { mode A { on 1 pop; } mode B { on 2 push Missing; } }");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(failure_of(parsed.value()), "Scanner mode 'Missing' not found");
}

// Resolution through the name index gives what a linear search from mode 0
// gives, duplicates included.
TEST(ModeTransitions, MatchLinearSearch) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<definition::ModeDefinition> modes(1 + random() % 12);
        for (auto& m : modes)
            m.name = std::string(1, static_cast<char>('a' + random() % 6));

        std::vector<Transition> expected;
        for (std::size_t i = 0, count = random() % 10; i < count; ++i) {
            const std::uint64_t token_type = random() % 4;
            const std::string& target = modes[random() % modes.size()].name;
            std::size_t position = 0;
            while (modes[position].name != target)
                ++position;
            if (random() % 2 == 0) {
                modes[0].transitions.push_back(enter(token_type, target));
                expected.push_back(Transition::set_mode(token_type, position));
            } else {
                modes[0].transitions.push_back(push(token_type, target));
                expected.push_back(Transition::push_mode(token_type, position));
            }
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const Transition& a, const Transition& b) {
                             return a.token_type() < b.token_type();
                         });
        EXPECT_EQ(resolved(scanner(modes))[0], expected);
    }
}

TEST(ModeTransitions, ManyModesResolveToTheirFirstDefinition) {
    // Every mode enters the one before it; the last name repeats the first.
    constexpr int kModes = 20000;
    std::string text = "S { mode M0 { on 1 enter M0; } ";
    for (int i = 1; i < kModes; ++i) {
        text += "mode M" + std::to_string(i) + " { on 1 enter M" + std::to_string(i - 1) + "; } ";
    }
    text += "mode M0 { on 1 enter M0; } }";
    auto parsed = definition::parse_scanner_data(text);
    ASSERT_TRUE(parsed);
    const auto modes = resolved(parsed.value());
    ASSERT_EQ(modes.size(), static_cast<std::size_t>(kModes + 1));
    EXPECT_EQ(modes[kModes - 1][0].target_mode(), static_cast<std::size_t>(kModes - 2));
    EXPECT_EQ(modes[kModes][0].target_mode(), 0u);
}

}  // namespace
}  // namespace quarn::pipeline
