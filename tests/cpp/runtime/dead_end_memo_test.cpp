#include "quarn/runtime/dead_end_memo.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quarn::runtime {
namespace {

TEST(DeadEndMemo, RemembersSpacedPositionsAcrossWindowMoves) {
    const std::string text(1000, 'a');
    const char* t = text.data();
    DeadEndMemo memo(t);
    EXPECT_FALSE(memo.known(t + 16, 3));

    memo.prepare(t, t + 5, t + 100);
    for (int i = 6; i <= 100; ++i)
        memo.set(t + i, 3);
    EXPECT_TRUE(memo.known(t + 16, 3));
    EXPECT_TRUE(memo.known(t + 96, 3));
    EXPECT_FALSE(memo.known(t + 17, 3));   // between remembered positions
    EXPECT_FALSE(memo.known(t + 16, 4));   // another row
    EXPECT_FALSE(memo.known(t + 112, 3));  // beyond the window

    // A later attempt extends the window and drops the stale prefix, keeping the rest.
    memo.prepare(t + 90, t + 200, t + 400);
    memo.set(t + 400, 7);
    EXPECT_TRUE(memo.known(t + 400, 7));
    EXPECT_TRUE(memo.known(t + 96, 3));
    EXPECT_FALSE(memo.known(t + 16, 3));

    // A read starting before the window starts afresh.
    memo.prepare(t + 90, t + 20, t + 40);
    memo.set(t + 32, 1);
    EXPECT_TRUE(memo.known(t + 32, 1));
    EXPECT_FALSE(memo.known(t + 400, 7));

    memo.use_dfa(nullptr);  // same automaton: kept
    EXPECT_TRUE(memo.known(t + 32, 1));
    const Dfa other;
    memo.use_dfa(&other);
    EXPECT_FALSE(memo.known(t + 32, 1));
}

}  // namespace
}  // namespace quarn::runtime
