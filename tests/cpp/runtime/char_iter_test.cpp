#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "quarn/runtime/char_iter/iter.hpp"
#include "quarn/runtime/char_iter/iter_with_position.hpp"

namespace quarn::runtime {
namespace {

ValidatedUtf8 text(std::string_view s) {
    return ValidatedUtf8::trusted(s);
}

std::vector<CharItem> all(CharIterWithPosition it) {
    std::vector<CharItem> items;
    while (auto item = it.next())
        items.push_back(*item);
    return items;
}

CharItem item(std::size_t byte, char32_t ch, std::size_t line, std::size_t column) {
    return CharItem{byte, ch, Position{line, column}};
}

TEST(CharIterWithPosition, OnlyLineFeedStartsALine) {
    EXPECT_EQ(all(CharIterWithPosition(text("ab\ncd"))),
              (std::vector<CharItem>{item(0, 'a', 1, 1), item(1, 'b', 1, 2), item(2, '\n', 1, 3),
                                     item(3, 'c', 2, 1), item(4, 'd', 2, 2)}));
    EXPECT_EQ(all(CharIterWithPosition(text("a\r\nb\rc"))),
              (std::vector<CharItem>{item(0, 'a', 1, 1), item(1, '\r', 1, 2), item(2, '\n', 1, 3),
                                     item(3, 'b', 2, 1), item(4, '\r', 2, 2), item(5, 'c', 2, 3)}));

    CharIterWithPosition two_lf(text("\n\n"));
    EXPECT_EQ(all(two_lf), (std::vector<CharItem>{item(0, '\n', 1, 1), item(1, '\n', 2, 1)}));
    while (two_lf.next()) {
    }
    EXPECT_EQ(two_lf.next_position(), (Position{3, 1}));
}

TEST(CharIterWithPosition, ColumnsCountCharactersNotBytes) {
    EXPECT_EQ(all(CharIterWithPosition(text("\xC3\xA9\ta\xE2\x82\xAC\xF0\x9F\x98\x80z"))),
              (std::vector<CharItem>{item(0, 0xE9, 1, 1), item(2, '\t', 1, 2), item(3, 'a', 1, 3),
                                     item(4, 0x20AC, 1, 4), item(7, 0x1F600, 1, 5),
                                     item(11, 'z', 1, 6)}));
}

TEST(CharIterWithPosition, EmptyInputAndPeek) {
    CharIterWithPosition empty(text(""));
    EXPECT_EQ(empty.peek(), std::nullopt);
    EXPECT_EQ(empty.next(), std::nullopt);
    EXPECT_EQ(empty.line(), 1u);
    EXPECT_EQ(empty.column(), 0u);

    CharIterWithPosition it(text("\nb"));
    it.next();
    EXPECT_EQ(it.peek(), item(1, 'b', 2, 1));
    EXPECT_EQ(it.peek(), item(1, 'b', 2, 1));
    EXPECT_EQ(it.line(), 1u);
    EXPECT_EQ(it.column(), 1u);
    EXPECT_EQ(it.next(), item(1, 'b', 2, 1));
}

TEST(CharIterWithPosition, RestoreReturnsToTheSavedStateOnce) {
    CharIterWithPosition it(text("a\nb"));
    it.next();
    it.save_state();
    EXPECT_EQ(it.next(), item(1, '\n', 1, 2));
    EXPECT_EQ(it.next(), item(2, 'b', 2, 1));
    it.restore_state();
    EXPECT_EQ(it.next(), item(1, '\n', 1, 2));
    // The saved state was used up: a second restore does nothing.
    it.restore_state();
    EXPECT_EQ(it.next(), item(2, 'b', 2, 1));
    EXPECT_EQ(it.next(), std::nullopt);

    // Saving again replaces the earlier state; copies carry the saved state.
    CharIterWithPosition again(text("abc"));
    again.save_state();
    again.next();
    again.save_state();
    again.next();
    CharIterWithPosition copy = again;
    again.restore_state();
    EXPECT_EQ(again.next(), item(1, 'b', 1, 2));
    copy.restore_state();
    EXPECT_EQ(copy.next(), item(1, 'b', 1, 2));
}

TEST(CharIter, DeliversByteOffsetsWithoutPositions) {
    CharIter it(text("a\xC3\xA9"));
    EXPECT_EQ(it.peek(), (CharItem{0, 'a', std::nullopt}));
    it.restore_state();  // nothing saved: no effect
    EXPECT_EQ(it.next(), (CharItem{0, 'a', std::nullopt}));
    it.save_state();
    EXPECT_EQ(it.next(), (CharItem{1, 0xE9, std::nullopt}));
    EXPECT_EQ(it.next(), std::nullopt);
    it.restore_state();
    EXPECT_EQ(it.next(), (CharItem{1, 0xE9, std::nullopt}));
}

// A run crossed at once ends in the state that single steps reach, from any
// state: runs with and without line feeds, ending on one, after one, non-ASCII.
TEST(CharIterWithPosition, CrossingARunEqualsSteppingThroughIt) {
    static const char* const pieces[] = {"a", "\n", "\xC3\xA9", "\xE4\xB8\xAD", "\r", "z"};
    std::mt19937 rng(515);
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        for (std::size_t i = 0, n = 1 + rng() % 12; i < n; ++i)
            s += pieces[rng() % std::size(pieces)];
        CharIterWithPosition::State stepped{s.data(), 1 + rng() % 3, rng() % 4,
                                            rng() % 2 ? U'\n' : U'q'};
        CharIterWithPosition::State run = stepped;
        const char* end = s.data() + s.size();
        while (stepped.cursor != end) {
            char32_t ch = 0;
            const char* after = decode_utf8(stepped.cursor, ch);
            CharIterWithPosition::advance(stepped, after, ch);
        }
        CharIterWithPosition::advance_run(run, end);
        ASSERT_EQ(run.cursor, stepped.cursor);
        ASSERT_EQ(run.line, stepped.line) << s;
        ASSERT_EQ(run.column, stepped.column) << s;
        ASSERT_EQ(run.last_char, stepped.last_char) << s;
    }
}

// A token's positions and the state after it, found with block tests where
// the text allows, equal those of stepping through the text before it and
// the token: mostly ASCII texts, so the block tests take both ways, with
// tokens near the text's end where a block would read past it.
TEST(CharIterWithPosition, AdvancingOverATokenEqualsStepping) {
    static const char* const pieces[] = {"a", "b", "c", " ", "\n", "\xC3\xA9", "\xF0\x9F\x98\x80"};
    static const unsigned weights[] = {10, 10, 10, 5, 2, 1, 1};
    std::discrete_distribution<std::size_t> piece(std::begin(weights), std::end(weights));
    std::mt19937 rng(516);
    const auto step_to = [](CharIterWithPosition::State& state, const char* to) {
        while (state.cursor != to) {
            char32_t ch = 0;
            const char* after = decode_utf8(state.cursor, ch);
            CharIterWithPosition::advance(state, after, ch);
        }
    };
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        std::vector<std::size_t> boundaries{0};
        for (std::size_t i = 0, n = 1 + rng() % 40; i < n; ++i) {
            s += pieces[piece(rng)];
            boundaries.push_back(s.size());
        }
        const char* const text = s.data();
        CharIterWithPosition::State stepped{text, 1 + rng() % 3, rng() % 4,
                                            rng() % 2 ? U'\n' : U'q'};
        CharIterWithPosition::State fast = stepped;
        for (std::size_t at = 0; at + 1 < boundaries.size();) {
            const std::size_t gap = rng() % 3;
            const std::size_t start = std::min(at + gap, boundaries.size() - 2);
            const std::size_t end = std::min(start + 1 + rng() % 12, boundaries.size() - 1);
            const char* token_start = text + boundaries[start];
            const char* token_end = text + boundaries[end];
            step_to(stepped, token_start);
            const Position expected_start = CharIterWithPosition::next_position(stepped);
            step_to(stepped, token_end);
            const Positions got = CharIterWithPosition::advance_over_token(
                fast, token_start, token_end, text + s.size());
            ASSERT_EQ(got,
                      (Positions{expected_start, CharIterWithPosition::next_position(stepped)}))
                << s;
            ASSERT_EQ(fast.cursor, stepped.cursor);
            ASSERT_EQ(fast.line, stepped.line) << s;
            ASSERT_EQ(fast.column, stepped.column) << s;
            ASSERT_EQ(fast.last_char, stepped.last_char) << s;
            at = end;
        }
    }
}

}  // namespace
}  // namespace quarn::runtime
