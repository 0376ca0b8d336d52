#include "quarn/runtime/tables.hpp"

#include <gtest/gtest.h>

#include "quarn/base/errors.hpp"

namespace quarn::runtime {
namespace {

TEST(Dfa, KeepsTheDescribedStatesAndTreatsShortRowsAsNoMove) {
    Dfa lookahead({DfaState{{DfaTransition{0}}, {}}});
    std::vector<DfaState> states = {
        DfaState{{std::nullopt, DfaTransition{1}}, {}},
        DfaState{{DfaTransition{1}, std::nullopt, DfaTransition{0}},
                 {AcceptData{Lookahead::negative(lookahead), 4, 0}, AcceptData{{}, 5, 1}}},
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
    EXPECT_EQ(dfa.accept_data(1)[0].lookahead.dfa(), lookahead);

    states[0].transitions.push_back(std::nullopt);  // padded like the table
    EXPECT_EQ(dfa.state(0), states[0]);
    EXPECT_EQ(dfa.state(1), states[1]);
    EXPECT_EQ(Dfa(states), dfa);
}

TEST(Dfa, RefusesMovesToMissingStates) {
    EXPECT_THROW(Dfa({DfaState{{DfaTransition{1}}, {}}}), base::InternalError);
    EXPECT_THROW(Lookahead::none().dfa(), base::InternalError);
}

}  // namespace
}  // namespace quarn::runtime
