#include "quarn/runtime/find_matches.hpp"

#include <gtest/gtest.h>

#include "quarn/base/errors.hpp"
#include "test_tables.hpp"

namespace quarn::runtime::testing {
namespace {

std::vector<Token> scan(const Dfa& dfa, std::string_view input,
                        const LookaheadTable& lookaheads = {}) {
    ModeState state;
    return tokens(drain(
        compile({mode("INITIAL", dfa)}, lookaheads.automata)->find_matches(text(input), state)));
}

// A single digit, for lookaheads.
Dfa digit_dfa() {
    DfaBuilder b;
    b.accept(b.path({DIGIT}), 99);
    return b.build();
}

TEST(FindMatches, PrefersTheLongestAcceptedPrefix) {
    DfaBuilder b;
    b.accept(b.path({A}), 1);
    b.accept(b.path({A, B}), 2);
    b.accept(b.path({A, B, C, D}), 3);
    const Dfa dfa = b.build();

    EXPECT_EQ(scan(dfa, "abc"), (std::vector<Token>{{2, 0, 2}}));
    // Reads a, b, c, finds no d: falls back to ab and resumes at c.
    EXPECT_EQ(scan(dfa, "abcab"), (std::vector<Token>{{2, 0, 2}, {2, 3, 5}}));
    EXPECT_EQ(scan(dfa, "abcda"), (std::vector<Token>{{3, 0, 4}, {1, 4, 5}}));
    EXPECT_EQ(scan(dfa, "aab"), (std::vector<Token>{{1, 0, 1}, {2, 1, 3}}));
}

TEST(FindMatches, EmptyAndUnmatchedInputYieldNothing) {
    DfaBuilder b;
    b.accept(b.path({A}), 1);
    const Dfa dfa = b.build();
    EXPECT_TRUE(scan(dfa, "").empty());
    EXPECT_TRUE(scan(dfa, "bcd!z\n").empty());
}

TEST(FindMatches, SkipsCharactersWhereNoTokenStarts) {
    DfaBuilder b;
    const StateIndex word = b.path({A});
    b.move(word, A, word).accept(word, 1);
    const Dfa dfa = b.build();
    // 'z' and '!' have no class; 'b' has one but no move; 'é' is two bytes.
    EXPECT_EQ(scan(dfa,
                   "aaz!ab\xC3\xA9"
                   "a"),
              (std::vector<Token>{{1, 0, 2}, {1, 4, 5}, {1, 8, 9}}));
}

TEST(FindMatches, StartStateAcceptanceNeverYieldsAnEmptyToken) {
    // Accepts the empty word and a*.
    DfaBuilder b;
    b.move(0, A, 0).accept(0, 1);
    const Dfa dfa = b.build();
    EXPECT_EQ(scan(dfa, "baab"), (std::vector<Token>{{1, 1, 3}}));
}

TEST(FindMatches, FirstEntryOfTheAcceptListWins) {
    DfaBuilder b;
    const StateIndex s = b.path({X});
    b.accept(s, 7).accept(s, 3);
    EXPECT_EQ(scan(b.build(), "x"), (std::vector<Token>{{7, 0, 1}}));
}

TEST(FindMatches, PositiveLookaheadChoosesTheEntry) {
    // x followed by a digit is type 1, otherwise type 2; the digit is its own token 3.
    LookaheadTable looks;
    DfaBuilder b;
    const StateIndex s = b.path({X});
    b.accept(s, 1, looks.positive(digit_dfa())).accept(s, 2);
    b.accept(b.path({DIGIT}), 3);
    const Dfa dfa = b.build();
    EXPECT_EQ(scan(dfa, "x1", looks), (std::vector<Token>{{1, 0, 1}, {3, 1, 2}}));
    EXPECT_EQ(scan(dfa, "xy", looks), (std::vector<Token>{{2, 0, 1}}));
    EXPECT_EQ(scan(dfa, "x", looks), (std::vector<Token>{{2, 0, 1}}));
}

TEST(FindMatches, NegativeLookaheadHoldsAtTheEndOfInput) {
    LookaheadTable looks;
    DfaBuilder b;
    b.accept(b.path({X}), 1, looks.negative(digit_dfa()));
    const Dfa dfa = b.build();
    EXPECT_EQ(scan(dfa, "x", looks), (std::vector<Token>{{1, 0, 1}}));
    EXPECT_EQ(scan(dfa, "xa", looks), (std::vector<Token>{{1, 0, 1}}));
    EXPECT_TRUE(scan(dfa, "x5", looks).empty());
}

TEST(FindMatches, FailedLookaheadLetsTheSearchFallBackToAShorterCandidate) {
    // x (type 1) and xy (type 2, only before a digit).
    LookaheadTable looks;
    DfaBuilder b;
    b.accept(b.path({X}), 1);
    b.accept(b.path({X, Y}), 2, looks.positive(digit_dfa()));
    const Dfa dfa = b.build();
    EXPECT_EQ(scan(dfa, "xy1", looks), (std::vector<Token>{{2, 0, 2}}));
    EXPECT_EQ(scan(dfa, "xyx", looks), (std::vector<Token>{{1, 0, 1}, {1, 2, 3}}));
}

TEST(FindMatches, LookaheadEntriesOfTheLookaheadAutomatonAreHonoured) {
    // Lookahead: "a" that is itself followed by "b".
    LookaheadTable looks;
    DfaBuilder inner;
    inner.accept(inner.path({B}), 0);
    DfaBuilder look;
    look.accept(look.path({A}), 0, looks.positive(inner.build()));
    DfaBuilder b;
    b.accept(b.path({X}), 1, looks.positive(look.build()));
    const Dfa dfa = b.build();
    EXPECT_EQ(scan(dfa, "xab", looks), (std::vector<Token>{{1, 0, 1}}));
    EXPECT_TRUE(scan(dfa, "xac", looks).empty());
}

TEST(FindMatches, LookaheadScansPastItsFirstRejectedState) {
    // The lookahead accepts "abc" only: it must read through non-accepting states.
    LookaheadTable looks;
    DfaBuilder look;
    look.accept(look.path({A, B, C}), 0);
    DfaBuilder b;
    b.accept(b.path({X}), 1, looks.positive(look.build()));
    const Dfa dfa = b.build();
    EXPECT_EQ(scan(dfa, "xabc", looks), (std::vector<Token>{{1, 0, 1}}));
    EXPECT_TRUE(scan(dfa, "xab", looks).empty());
}

TEST(FindMatches, MultiByteCharactersGiveByteSpans) {
    DfaBuilder b;
    const StateIndex s = b.path({EURO});
    b.move(s, EMOJI, s).accept(s, 1);
    b.accept(b.path({E_ACUTE}), 2);
    // é (2 bytes), € (3), 😀 (4), 😀 (4)
    EXPECT_EQ(scan(b.build(), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF0\x9F\x98\x80"),
              (std::vector<Token>{{2, 0, 2}, {1, 2, 13}}));
}

TEST(FindMatchesWithPosition, ReportsStartAndExclusiveEndPositions) {
    DfaBuilder b;
    const StateIndex word = b.path({A});
    b.move(word, A, word).accept(word, 1);
    b.accept(b.path({LF}), 2);
    b.accept(b.path({CR, LF}), 3);
    ModeState state;
    const auto matches = drain(compile({mode("INITIAL", b.build())})
                                   ->find_matches_with_position(text("aa\na\r\n\xC3\xA9"
                                                                     "a"),
                                                                state));
    ASSERT_EQ(matches.size(), 5u);
    const std::vector<Positions> expected = {
        {{1, 1}, {1, 3}},  // aa
        {{1, 3}, {2, 1}},  // line feed: ends at the start of the next line
        {{2, 1}, {2, 2}},  // a
        {{2, 2}, {3, 1}},  // CR LF: two columns of line 2
        {{3, 2}, {3, 3}},  // a after the skipped é
    };
    for (std::size_t i = 0; i < matches.size(); ++i) {
        ASSERT_TRUE(matches[i].positions) << i;
        EXPECT_EQ(*matches[i].positions, expected[i]) << i;
    }
    EXPECT_EQ(matches[4].span, (Span{8, 9}));
}

TEST(FindMatches, BrokenTablesAreInternalErrors) {
    ModeState state;
    auto no_states = compile({mode("INITIAL", Dfa())});
    EXPECT_THROW(no_states->find_matches(text("a"), state).next_match(), base::InternalError);

    DfaBuilder b;
    b.accept(b.path({A}), 1);
    auto scanner = compile({mode("INITIAL", b.build())});
    ModeState missing_mode{1, {}};
    EXPECT_THROW(scanner->find_matches(text("a"), missing_mode).next_match(), base::InternalError);

    CharIter rest(text("1"));
    try {
        evaluate_lookahead(rest, AcceptData{}, test_match_function(), {});
        FAIL() << "expected an internal error";
    } catch (const base::InternalError& e) {
        EXPECT_STREQ(e.what(),
                     "internal error: entered unreachable code: Lookahead::None should not be "
                     "evaluated here");
    }
    // A lookahead index outside the scanner's table.
    EXPECT_THROW(evaluate_lookahead(rest, AcceptData{Lookahead::positive(0), 1, 0},
                                    test_match_function(), {}),
                 base::InternalError);
}

}  // namespace
}  // namespace quarn::runtime::testing
