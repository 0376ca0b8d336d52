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

std::vector<Pattern> accepts(const char* text, std::uint32_t terminal = 1) {
    return {Pattern(text, TerminalID(terminal))};
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
    EXPECT_TRUE(Minimizer::minimize(Dfa{}).states.empty());

    const Dfa one = make({{{move(5, 0), move(2, 0), move(5, 0)}, accepts("x")}});
    const Dfa expected = make({{{move(2, 0), move(5, 0)}, accepts("x")}});
    EXPECT_EQ(Minimizer::minimize(one), expected);
}

TEST(Minimizer, MergesEquivalentAcceptingStates) {
    const Dfa dfa = make({{{move(4, 1), move(7, 2)}, {}}, {{}, accepts("a")}, {{}, accepts("a")}});
    EXPECT_EQ(Minimizer::minimize(dfa), make({{{move(4, 1), move(7, 1)}, {}}, {{}, accepts("a")}}));
}

TEST(Minimizer, OrdersGroupsByAcceptTextWithTheStartGroupFirst) {
    const Dfa dfa = make({{{move(0, 1), move(1, 2)}, {}}, {{}, accepts("b")}, {{}, accepts("a")}});
    EXPECT_EQ(Minimizer::minimize(dfa),
              make({{{move(0, 2), move(1, 1)}, {}}, {{}, accepts("a")}, {{}, accepts("b")}}));

    // Start accepting "c": its group moves to the front, the others keep their
    // order (non-accepting first, then "a").
    const Dfa start_last =
        make({{{move(0, 1)}, accepts("c")}, {{}, accepts("a")}, {{move(0, 0)}, {}}});
    EXPECT_EQ(Minimizer::minimize(start_last),
              make({{{move(0, 2)}, accepts("c")}, {{move(0, 0)}, {}}, {{}, accepts("a")}}));
}

TEST(Minimizer, NeverMergesDifferentAcceptLists) {
    auto with_follow = [](std::uint32_t interval) {
        Dfa follow = make({{{move(interval, 1)}, {}}, {{}, accepts("f")}});
        return std::vector<Pattern>{
            Pattern("a", TerminalID(1))
                .with_lookahead(
                    Lookahead(Lookahead::Kind::Positive, AutomatonType(std::move(follow))))};
    };
    const Dfa by_lookahead =
        make({{{move(0, 1), move(1, 2)}, {}}, {{}, with_follow(0)}, {{}, with_follow(1)}});
    EXPECT_EQ(Minimizer::minimize(by_lookahead).states.size(), 3u);

    const Dfa by_terminal =
        make({{{move(0, 1), move(1, 2)}, {}}, {{}, accepts("a", 1)}, {{}, accepts("a", 2)}});
    EXPECT_EQ(Minimizer::minimize(by_terminal).states.size(), 3u);
}

TEST(Minimizer, HandlesAutomataWithoutNonAcceptingStates) {
    // a+ where every state accepts: two states with equal futures merge.
    const Dfa dfa = make({{{move(0, 1)}, accepts("a")}, {{move(0, 1)}, accepts("a")}});
    EXPECT_EQ(Minimizer::minimize(dfa), make({{{move(0, 0)}, accepts("a")}}));
    EXPECT_EQ(Minimizer::minimize(dfa), oracle::minimize(dfa));
}

TEST(Minimizer, SplitsLongChainsOneStateAtATime) {
    // a{n} as a chain plus a dead end that merges with nothing: every pass
    // splits one state off the big group.
    const std::uint32_t length = 150;
    Dfa chain;
    for (std::uint32_t k = 0; k < length; ++k)
        chain.states.push_back({{move(0, k + 1)}, {}});
    chain.states.push_back({{}, accepts("a")});
    const Dfa minimized = Minimizer::minimize(chain);
    EXPECT_EQ(minimized, chain);
    EXPECT_EQ(minimized, oracle::minimize(chain));
}

TEST(Minimizer, AgreesWithReferenceOnRandomAutomata) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        const bool deterministic = round % 2 == 0;
        const Dfa dfa = oracle::random_dfa(random, 12, 3, deterministic);
        EXPECT_EQ(Minimizer::minimize(dfa), oracle::minimize(dfa)) << debug_string(dfa);
    }
}

TEST(Minimizer, IsIdempotentAndIgnoresNumberingBeyondTheStart) {
    std::mt19937 random(11);
    for (int round = 0; round < 600; ++round) {
        const Dfa dfa = oracle::random_dfa(random, 14, 3, true);
        const Dfa once = Minimizer::minimize(dfa);
        EXPECT_EQ(Minimizer::minimize(once), once) << debug_string(dfa);
        if (dfa.states.size() < 3)
            continue;
        std::vector<std::uint32_t> order(dfa.states.size());
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin() + 1, order.end(), random);
        EXPECT_EQ(Minimizer::minimize(renumbered(dfa, order)), once) << debug_string(dfa);
    }
}

}  // namespace
}  // namespace quarn::generate
