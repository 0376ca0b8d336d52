#include "quarn/analysis/graph.hpp"

#include <gtest/gtest.h>

#include <regex>

namespace quarn::analysis {
namespace {

TEST(Graph, CharacterSetsReadAsWritten) {
    EXPECT_EQ(describe_characters({{'a', 'a'}}), "a");
    EXPECT_EQ(describe_characters({{'_', '_'}, {'a', 'z'}, {'0', '9'}}), "[0-9_a-z]");
    EXPECT_EQ(describe_characters({{' ', ' '}}), "' '");
    EXPECT_EQ(describe_characters({{'\n', '\n'}, {'-', '-'}}), "[\\n\\-]");
    // Everything but a quote and a backslash, split around the surrogates.
    EXPECT_EQ(describe_characters(
                  {{0, '"' - 1}, {'"' + 1, '\\' - 1}, {'\\' + 1, 0xD7FF}, {0xE000, 0x10FFFF}}),
              "[^\"\\\\]");
    EXPECT_EQ(describe_characters({{0, 0x10FFFF}}), "any");
}

TEST(Graph, EveryStateAndEdgeOfTheModeIsDrawn) {
    auto automata = build_automata(
        R"(S { mode M { token "[a-z]+" => 1; token r"\d+" followed by r"\." => 2; } })");
    ASSERT_TRUE(automata);
    const Mode& mode = automata->modes[0];
    const std::string dot = mode_graph(*automata, mode);
    std::size_t edges = 0;
    for (const auto& state : mode.dfa.states)
        edges += state.edges.size();
    const auto count = [&](const std::string& pattern) {
        const std::regex re(pattern);
        return static_cast<std::size_t>(std::distance(
            std::sregex_iterator(dot.begin(), dot.end(), re), std::sregex_iterator()));
    };
    // Groups that lead to the same state share one edge.
    EXPECT_LE(count(R"(\n  s\d+ -> s\d+)"), edges);
    EXPECT_GE(count(R"(\n  s\d+ -> s\d+)"), mode.dfa.states.size() - 1);
    EXPECT_EQ(count(R"(\n  s\d+ \[label)"), mode.dfa.states.size());
    EXPECT_NE(dot.find("[a-z]"), std::string::npos);
    EXPECT_NE(dot.find("#2 => 2 if L0"), std::string::npos);
    EXPECT_NE(dot.find("cluster_l0"), std::string::npos);
}

}  // namespace
}  // namespace quarn::analysis
