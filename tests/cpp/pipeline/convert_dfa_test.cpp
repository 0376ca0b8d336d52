#include "quarn/pipeline/convert_dfa.hpp"

#include <gtest/gtest.h>

#include "quarn/base/errors.hpp"
#include "quarn/generate/pattern.hpp"

namespace quarn::pipeline {
namespace {

using generate::DfaStateID;
using generate::DisjointCharClassID;
using generate::TokenTypeID;

generate::DfaTransition move(std::uint32_t cls, std::uint32_t target) {
    return generate::DfaTransition{DisjointCharClassID(cls), DfaStateID(target)};
}

generate::Accept pattern(std::uint32_t token_type, std::uint64_t priority,
                         generate::Lookahead lookahead = {}) {
    return generate::Accept{priority, TokenTypeID(token_type), lookahead};
}

// A one-character lookahead automaton: class `cls` leads to an accepting state.
generate::Dfa lookahead_dfa(std::uint32_t cls) {
    generate::Dfa dfa;
    dfa.states.resize(2);
    dfa.states[0].transitions = {move(cls, 1)};
    dfa.states[1].accept_data = {pattern(generate::kLookaheadTokenType.value(), 0)};
    return dfa;
}

TEST(ConvertDfa, KeepsStatesRowsAndAcceptOrder) {
    generate::Dfa dfa;
    dfa.states.resize(3);
    dfa.states[0].transitions = {move(2, 1), move(0, 2)};
    dfa.states[1].transitions = {move(1, 1), move(1, 2)};  // the later move on 1 wins
    dfa.states[1].accept_data = {pattern(7, 0), pattern(4294967295u, 3)};
    dfa.states[2].accept_data = {pattern(9, 1)};

    const runtime::Dfa converted = convert_dfa(dfa, 4);
    ASSERT_EQ(converted.num_states(), 3u);
    EXPECT_EQ(converted.num_classes(), 4u);

    const runtime::DfaState start = converted.state(0);
    ASSERT_EQ(start.transitions.size(), 4u);
    EXPECT_EQ(start.transitions[0], runtime::DfaTransition{2});
    EXPECT_FALSE(start.transitions[1].has_value());
    EXPECT_EQ(start.transitions[2], runtime::DfaTransition{1});
    EXPECT_FALSE(start.transitions[3].has_value());
    EXPECT_TRUE(start.accept_data.empty());

    const runtime::DfaState middle = converted.state(1);
    EXPECT_EQ(middle.transitions[1], runtime::DfaTransition{2});
    ASSERT_EQ(middle.accept_data.size(), 2u);
    EXPECT_EQ(middle.accept_data[0].token_type, 7u);
    EXPECT_EQ(middle.accept_data[0].priority, 0u);
    EXPECT_EQ(middle.accept_data[1].token_type, 4294967295u);
    EXPECT_EQ(middle.accept_data[1].priority, 3u);
    EXPECT_EQ(middle.accept_data[1].lookahead.kind(), runtime::Lookahead::Kind::None);
}

TEST(ConvertDfa, LookaheadsGetTheScannerWidth) {
    using generate::Lookahead;
    using generate::LookaheadID;
    generate::Dfa dfa;
    dfa.states.resize(2);
    dfa.states[0].transitions = {move(0, 1)};
    dfa.states[1].accept_data = {
        pattern(1, 0, Lookahead::positive(LookaheadID(1))),
        pattern(2, 1, Lookahead::negative(LookaheadID(0))),
    };

    const std::vector<generate::Dfa> lookaheads{lookahead_dfa(1), lookahead_dfa(2)};
    DfaConverter converter(3, lookaheads);
    const runtime::Dfa converted = converter.convert(dfa).value();
    const std::vector<runtime::Dfa> table = converter.take_lookaheads();
    const auto accepts = converted.accept_data(1);
    ASSERT_EQ(accepts.size(), 2u);
    EXPECT_EQ(accepts[0].lookahead, runtime::Lookahead::positive(1));
    EXPECT_EQ(accepts[1].lookahead, runtime::Lookahead::negative(0));
    ASSERT_EQ(table.size(), 2u);
    for (const runtime::Dfa& inner : table) {
        EXPECT_EQ(inner.num_states(), 2u);
        EXPECT_EQ(inner.state(0).transitions.size(), 3u);
        EXPECT_EQ(inner.accept_data(1)[0].token_type, 4294967295u);
    }
    EXPECT_EQ(table[1].transition(0, 2), runtime::DfaTransition{1});
    EXPECT_EQ(table[0].transition(0, 1), runtime::DfaTransition{1});
}

TEST(ConvertDfa, EmptyAndZeroWidthAutomata) {
    EXPECT_EQ(convert_dfa(generate::Dfa{}, 5).num_states(), 0u);

    generate::Dfa single;
    single.states.resize(1);
    const runtime::Dfa converted = convert_dfa(single, 0);
    ASSERT_EQ(converted.num_states(), 1u);
    EXPECT_TRUE(converted.state(0).transitions.empty());
    EXPECT_FALSE(converted.transition(0, 0).has_value());
}

TEST(ConvertDfa, ClassBeyondTheAlphabetIsAnInternalError) {
    generate::Dfa dfa;
    dfa.states.resize(2);
    dfa.states[0].transitions = {move(0, 1), move(2, 1)};
    try {
        (void)convert_dfa(dfa, 2);
        FAIL() << "expected InternalError";
    } catch (const base::InternalError& e) {
        EXPECT_STREQ(e.what(), "index out of bounds: the len is 2 but the index is 2");
    }
}

TEST(DfaConverter, EachLookaheadIsConvertedOnceForBothKinds) {
    using generate::Lookahead;
    using generate::LookaheadID;
    generate::Dfa dfa;
    dfa.states.resize(3);
    dfa.states[0].transitions = {move(0, 1)};
    dfa.states[1].transitions = {move(0, 2)};
    dfa.states[1].accept_data = {pattern(1, 0, Lookahead::positive(LookaheadID(0))),
                                 pattern(2, 1, Lookahead::negative(LookaheadID(0)))};
    dfa.states[2].accept_data = {pattern(1, 0, Lookahead::positive(LookaheadID(0))),
                                 pattern(3, 1, Lookahead::positive(LookaheadID(2)))};

    // Lookahead 1 is never referred to and not converted.
    const std::vector<generate::Dfa> lookaheads{lookahead_dfa(1), lookahead_dfa(0),
                                                lookahead_dfa(2)};
    DfaConverter converter(3, lookaheads);
    const runtime::Dfa converted = converter.convert(dfa).value();
    const auto first = converted.accept_data(1);
    EXPECT_EQ(first[1].lookahead, runtime::Lookahead::negative(0));
    const std::vector<runtime::Dfa> table = converter.take_lookaheads();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].transition(0, 1), runtime::DfaTransition{1});
    EXPECT_EQ(table[1].num_states(), 0u);
    EXPECT_EQ(table[2].transition(0, 2), runtime::DfaTransition{1});
    // Two lookahead tables of two states plus the mode's three states, rows of 3 + 1 cells.
    EXPECT_EQ(converter.table_cells(), (2 * 2 + 3) * 4u);
}

TEST(DfaConverter, BoundsTheTablesOfAWholeScanner) {
    generate::Dfa dfa;
    dfa.states.resize(4);
    DfaConverter converter(3, {}, 40);
    EXPECT_EQ(converter.convert(dfa)->num_states(), 4u);  // 16 cells
    EXPECT_EQ(converter.convert(dfa)->num_states(), 4u);  // 32 cells
    auto refused = converter.convert(dfa);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().debug(),
              "DfaConversionError(\"The DFA is too large: the scanner's tables would need more "
              "than 40 cells\")");
}

}  // namespace
}  // namespace quarn::pipeline
