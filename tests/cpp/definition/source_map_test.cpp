#include "quarn/definition/source_map.hpp"

#include <gtest/gtest.h>

#include "quarn/definition/parser.hpp"

namespace quarn::definition {
namespace {

TEST(SourceMap, EveryModeClauseAndTransitionStartsAtItsKeyword) {
    const std::string text =
        "S {\n  mode A {\n    token \"é\" => 1; on 1 push B;\n  }\n  mode B { token \"b\" => 2; "
        "}\n}";
    SourceMap map;
    ASSERT_TRUE(parse_scanner_data(text, map));
    ASSERT_EQ(map.modes.size(), 2u);
    EXPECT_EQ(position_of(text, map.modes[0].mode), (SourcePosition{2, 3}));
    ASSERT_EQ(map.modes[0].clauses.size(), 1u);
    EXPECT_EQ(position_of(text, map.modes[0].clauses[0]), (SourcePosition{3, 5}));
    // Columns count characters: "é" is two bytes and one column.
    ASSERT_EQ(map.modes[0].transitions.size(), 1u);
    EXPECT_EQ(position_of(text, map.modes[0].transitions[0]), (SourcePosition{3, 21}));
    EXPECT_EQ(position_of(text, map.modes[1].clauses[0]), (SourcePosition{5, 12}));
    EXPECT_EQ(line_at(text, map.modes[0].transitions[0]), "    token \"é\" => 1; on 1 push B;");
}

TEST(SourceMap, AParseErrorPointsAtTheOffendingTokenOrTheGroupEnd) {
    auto error_position = [](std::string_view text) {
        SourceMap map;
        EXPECT_FALSE(parse_scanner_data(text, map));
        return position_of(text, map.error);
    };
    EXPECT_EQ(error_position("S { mode A { token \"a\" -> 1; } }"), (SourcePosition{1, 24}));
    // Nothing where the ';' should be: the closing brace of the mode.
    EXPECT_EQ(error_position("S {\n mode A { token \"a\" => 1 }\n}"), (SourcePosition{2, 26}));
    EXPECT_EQ(error_position("S { mode A { token \"a\" => 1; } } extra"), (SourcePosition{1, 34}));
    EXPECT_EQ(error_position("S { mode A { token \"a\" => 1; on 1 jump B; } }"),
              (SourcePosition{1, 35}));
    // The messages stay those of the plain parser.
    SourceMap map;
    EXPECT_EQ(parse_scanner_data("S { mode A { token \"a\" -> 1; } }", map).error(),
              parse_scanner_data("S { mode A { token \"a\" -> 1; } }").error());
}

}  // namespace
}  // namespace quarn::definition
