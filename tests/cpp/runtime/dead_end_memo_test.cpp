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

    memo.forget();
    EXPECT_FALSE(memo.known(t + 32, 1));
    EXPECT_EQ(memo.capacity(), 0u);
}

// Each mode keeps its dead ends across switches until the memos together
// outgrow their budget (a few memos over the whole text); then only the
// mode being entered keeps its own.
TEST(ModeDeadEnds, KeepsEachModesMemoAcrossSwitchesWithinABudget) {
    const std::string text(1 << 20, 'a');
    const char* t = text.data();
    ModeDeadEnds memos(t, text.size());
    const auto remember = [&](ModeIndex mode, std::size_t from, std::size_t to) {
        DeadEndMemo& memo = memos.use_mode(mode);
        memo.prepare(t + from, t + from, t + to);
        for (std::size_t i = from + 1; i <= to; ++i)
            memo.set(t + i, static_cast<std::uint32_t>(mode));
    };
    remember(0, 0, 4096);
    remember(1, 0, 4096);
    EXPECT_TRUE(memos.use_mode(0).known(t + 4096, 0));
    EXPECT_TRUE(memos.use_mode(1).known(t + 4096, 1));

    // Whole-text memos for many modes: the budget forgets the others on a switch.
    for (ModeIndex mode = 2; mode < 12; ++mode)
        remember(mode, 0, text.size() - 1);
    EXPECT_TRUE(memos.use_mode(11).known(t + 4096, 11));
    EXPECT_FALSE(memos.use_mode(0).known(t + 4096, 0));
    std::size_t kept = 0;
    for (ModeIndex mode = 2; mode < 12; ++mode)
        kept += memos.use_mode(mode).known(t + 4096, static_cast<std::uint32_t>(mode));
    EXPECT_LE(kept, 3u);
}

}  // namespace
}  // namespace quarn::runtime
