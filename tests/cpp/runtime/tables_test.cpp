#include "quarn/runtime/tables.hpp"

#include <gtest/gtest.h>

#include "quarn/base/errors.hpp"
#include "quarn/runtime/match_function.hpp"

namespace quarn::runtime {
namespace {

TEST(Dfa, KeepsTheDescribedStatesAndTreatsShortRowsAsNoMove) {
    std::vector<DfaState> states = {
        DfaState{{std::nullopt, DfaTransition{1}}, {}},
        DfaState{{DfaTransition{1}, std::nullopt, DfaTransition{0}},
                 {AcceptData{Lookahead::negative(3), 4, 0}, AcceptData{{}, 5, 1}}},
    };
    const Dfa dfa(states);
    EXPECT_EQ(dfa.num_states(), 2u);
    EXPECT_EQ(dfa.num_classes(), 3u);
    EXPECT_EQ(dfa.transition(0, 1), DfaTransition{1});
    EXPECT_EQ(dfa.transition(0, 0), std::nullopt);
    EXPECT_EQ(dfa.transition(0, 2), std::nullopt);  // beyond the row given for state 0
    EXPECT_EQ(dfa.transition(1, 2), DfaTransition{0});
    EXPECT_EQ(dfa.transition(1, 3), std::nullopt);
    EXPECT_TRUE(dfa.accept_data(0).empty());
    ASSERT_EQ(dfa.accept_data(1).size(), 2u);
    EXPECT_EQ(dfa.accept_data(1)[0].lookahead.kind(), Lookahead::Kind::Negative);
    EXPECT_EQ(dfa.accept_data(1)[0].lookahead.index(), 3u);

    states[0].transitions.push_back(std::nullopt);  // padded like the table
    EXPECT_EQ(dfa.state(0), states[0]);
    EXPECT_EQ(dfa.state(1), states[1]);
    EXPECT_EQ(Dfa(states), dfa);
}

// The scan loop walks the raw words: a move is the target row's byte offset,
// the clamped column of an unknown class reads no move, the accept slot holds
// the entry index or the state with the lookahead flag.
TEST(Dfa, RawWordsAddressRowsByByteOffset) {
    const Dfa dfa({
        DfaState{{DfaTransition{2}, DfaTransition{1}}, {}},
        DfaState{{DfaTransition{1}}, {AcceptData{{}, 7, 0}}},
        DfaState{{}, {AcceptData{Lookahead::positive(0), 8, 0}}},
    });
    const std::size_t stride = dfa.row_stride_bytes();
    EXPECT_EQ(stride, 4 * sizeof(std::uint32_t));
    const auto move = [&](std::size_t row, ClassIndex cls) {
        return Dfa::word_at(dfa.column_base(dfa.column(cls)), row);
    };
    EXPECT_EQ(move(0, 0), 2 * stride);
    EXPECT_EQ(move(0, 1), 1 * stride);
    EXPECT_EQ(move(stride, 0), 1 * stride);
    EXPECT_EQ(move(stride, 1), Dfa::kNoMove);
    EXPECT_EQ(move(2 * stride, 0), Dfa::kNoMove);
    EXPECT_EQ(move(0, 5), Dfa::kNoMove);
    EXPECT_EQ(move(0, MatchFunction::kNoClass), Dfa::kNoMove);
    EXPECT_EQ(dfa.accept_slot(0), Dfa::kNotAccepting);
    EXPECT_EQ(dfa.accept_slot(stride), 0u);
    EXPECT_EQ(dfa.accept_slot(2 * stride), 2u | Dfa::kNeedsLookahead);
    EXPECT_TRUE(dfa.has_lookahead());
}

TEST(Dfa, RefusesMovesToMissingStates) {
    EXPECT_THROW(Dfa({DfaState{{DfaTransition{1}}, {}}}), base::InternalError);
}

}  // namespace
}  // namespace quarn::runtime
