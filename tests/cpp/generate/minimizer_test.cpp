#include "quarn/generate/minimizer.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "dfa_oracle.hpp"

namespace quarn::generate {
namespace {

DfaTransition move(std::uint32_t interval, std::uint32_t target) {
    return {DisjointCharClassID(interval), DfaStateID(target)};
}

std::vector<Accept> accepts(std::uint32_t token_type, std::uint64_t priority = 0) {
    return {Accept{priority, TokenTypeID(token_type), {}}};
}

Dfa make(std::vector<DfaState> states) {
    return Dfa{std::move(states)};
}

// State k of the result is state order[k] of the input; every other state is
// renumbered the same way.
Dfa renumbered(const Dfa& dfa, const std::vector<std::uint32_t>& order) {
    std::vector<std::uint32_t> new_id(order.size());
    for (std::uint32_t k = 0; k < order.size(); ++k)
        new_id[order[k]] = k;
    Dfa result;
    for (std::uint32_t old : order) {
        DfaState state = dfa.states[old];
        for (DfaTransition& transition : state.transitions) {
            transition.target = DfaStateID(new_id[transition.target.value()]);
        }
        result.states.push_back(std::move(state));
    }
    return result;
}

TEST(Minimizer, KeepsTrivialAutomata) {
    EXPECT_TRUE(minimize(Dfa{}).states.empty());

    const Dfa one = make({{{move(5, 0), move(2, 0), move(5, 0)}, accepts(9)}});
    const Dfa expected = make({{{move(2, 0), move(5, 0)}, accepts(9)}});
    EXPECT_EQ(minimize(one), expected);
}

TEST(Minimizer, MergesEquivalentAcceptingStates) {
    const Dfa dfa = make({{{move(4, 1), move(7, 2)}, {}}, {{}, accepts(1)}, {{}, accepts(1)}});
    EXPECT_EQ(minimize(dfa), make({{{move(4, 1), move(7, 1)}, {}}, {{}, accepts(1)}}));
}

TEST(Minimizer, OrdersGroupsByAcceptListWithTheStartGroupFirst) {
    const Dfa dfa = make({{{move(0, 1), move(1, 2)}, {}}, {{}, accepts(2)}, {{}, accepts(1)}});
    EXPECT_EQ(minimize(dfa),
              make({{{move(0, 2), move(1, 1)}, {}}, {{}, accepts(1)}, {{}, accepts(2)}}));

    // Start accepting token 3: its group moves to the front, the others keep
    // their order (non-accepting first, then token 1).
    const Dfa start_last = make({{{move(0, 1)}, accepts(3)}, {{}, accepts(1)}, {{move(0, 0)}, {}}});
    EXPECT_EQ(minimize(start_last),
              make({{{move(0, 2)}, accepts(3)}, {{move(0, 0)}, {}}, {{}, accepts(1)}}));
}

TEST(Minimizer, NeverMergesDifferentAcceptLists) {
    auto with_follow = [](Lookahead lookahead) {
        return std::vector<Accept>{Accept{0, TokenTypeID(1), lookahead}};
    };
    const Lookahead follow_0 = Lookahead::positive(LookaheadID(0));
    for (const Lookahead other :
         {Lookahead::positive(LookaheadID(1)), Lookahead::negative(LookaheadID(0)), Lookahead()}) {
        const Dfa by_lookahead = make({{{move(0, 1), move(1, 2)}, {}},
                                       {{}, with_follow(follow_0)},
                                       {{}, with_follow(other)}});
        EXPECT_EQ(minimize(by_lookahead).states.size(), 3u);
    }

    const Dfa by_token_type =
        make({{{move(0, 1), move(1, 2)}, {}}, {{}, accepts(1)}, {{}, accepts(2)}});
    EXPECT_EQ(minimize(by_token_type).states.size(), 3u);
    const Dfa by_priority =
        make({{{move(0, 1), move(1, 2)}, {}}, {{}, accepts(1, 0)}, {{}, accepts(1, 1)}});
    EXPECT_EQ(minimize(by_priority).states.size(), 3u);
}

TEST(Minimizer, HandlesAutomataWithoutNonAcceptingStates) {
    // a+ where every state accepts: two states with equal futures merge.
    const Dfa dfa = make({{{move(0, 1)}, accepts(1)}, {{move(0, 1)}, accepts(1)}});
    EXPECT_EQ(minimize(dfa), make({{{move(0, 0)}, accepts(1)}}));
    EXPECT_EQ(minimize(dfa), oracle::minimize(dfa));
}

TEST(Minimizer, SplitsLongChainsOneStateAtATime) {
    // a{n} as a chain plus a dead end that merges with nothing: every pass
    // splits one state off the big group.
    const std::uint32_t length = 150;
    Dfa chain;
    for (std::uint32_t k = 0; k < length; ++k)
        chain.states.push_back({{move(0, k + 1)}, {}});
    chain.states.push_back({{}, accepts(1)});
    const Dfa minimized = minimize(chain);
    EXPECT_EQ(minimized, chain);
    EXPECT_EQ(minimized, oracle::minimize(chain));
}

TEST(Minimizer, AgreesWithReferenceOnRandomAutomata) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        const bool deterministic = round % 2 == 0;
        const Dfa dfa = oracle::random_dfa(random, 12, 3, deterministic);
        EXPECT_EQ(minimize(dfa), oracle::minimize(dfa)) << dump(dfa);
    }
}

TEST(Minimizer, IsIdempotentAndIgnoresNumberingBeyondTheStart) {
    std::mt19937 random(11);
    for (int round = 0; round < 600; ++round) {
        const Dfa dfa = oracle::random_dfa(random, 14, 3, true);
        const Dfa once = minimize(dfa);
        EXPECT_EQ(minimize(once), once) << dump(dfa);
        if (dfa.states.size() < 3)
            continue;
        std::vector<std::uint32_t> order(dfa.states.size());
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin() + 1, order.end(), random);
        EXPECT_EQ(minimize(renumbered(dfa, order)), once) << dump(dfa);
    }
}

}  // namespace
}  // namespace quarn::generate
