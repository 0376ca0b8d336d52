#include "quarn/runtime/compiled_scanner.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "quarn/runtime/find_matches.hpp"
#include "test_tables.hpp"

namespace quarn::runtime::testing {
namespace {

// Token types shared by every mode of these scanners.
enum : TokenType { kA = 1, kB, kC, kD };

// Every mode accepts a, b, c and d as single-character tokens; mode m reports
// token type 10 * m + type, so the tokens tell which mode recognised them.
Dfa letters_dfa(TokenType offset) {
    DfaBuilder b;
    b.accept(b.path({A}), offset + kA);
    b.accept(b.path({B}), offset + kB);
    b.accept(b.path({C}), offset + kC);
    b.accept(b.path({D}), offset + kD);
    return b.build();
}

// In every mode: a pushes mode 1, b pushes mode 2, c pops, d sets mode 2.
// Transition token types are offset by the mode's own offset.
std::shared_ptr<const CompiledScanner> three_modes() {
    const char* const kModeNames[] = {"M0", "M1", "M2"};
    std::vector<ScannerMode> modes;
    for (TokenType m = 0; m < 3; ++m) {
        modes.push_back(
            mode(kModeNames[m], letters_dfa(10 * m),
                 {Transition::push_mode(10 * m + kA, 1), Transition::push_mode(10 * m + kB, 2),
                  Transition::pop_mode(10 * m + kC), Transition::set_mode(10 * m + kD, 2)}));
    }
    return compile(std::move(modes));
}

std::vector<TokenType> types(const CompiledScanner& scanner, ModeState& state,
                             std::string_view input) {
    std::vector<TokenType> result;
    for (const Match& m : drain(scanner.find_matches(text(input), state)))
        result.push_back(m.token_type);
    return result;
}

TEST(CompiledScanner, PushAndPopNestAndPopOnAnEmptyStackIsIgnored) {
    auto scanner = three_modes();
    ModeState state;
    // push 1, push 2, pop, pop, pop (stack already empty), then a in mode 0 again.
    EXPECT_EQ(types(*scanner, state, "abccca"), (std::vector<TokenType>{1, 12, 23, 13, 3, 1}));
    EXPECT_EQ(state, (ModeState{1, {0}}));
}

TEST(CompiledScanner, SetModeLeavesTheStackAlone) {
    auto scanner = three_modes();
    ModeState state;
    // push 1, set 2, pop -> back in mode 0.
    EXPECT_EQ(types(*scanner, state, "adcd"), (std::vector<TokenType>{1, 14, 23, 4}));
    EXPECT_EQ(state, (ModeState{2, {}}));
}

TEST(CompiledScanner, ModeStateCarriesOverToTheNextScanAndStartsWhereItIsSet) {
    auto scanner = three_modes();
    ModeState state;
    EXPECT_EQ(types(*scanner, state, "ab"), (std::vector<TokenType>{1, 12}));
    EXPECT_EQ(types(*scanner, state, "c"), (std::vector<TokenType>{23}));
    EXPECT_EQ(types(*scanner, state, "c"), (std::vector<TokenType>{13}));
    // Creating iterators does not touch the state.
    scanner->find_matches(text("a"), state);
    scanner->find_matches_with_position(text("a"), state);
    EXPECT_EQ(state, ModeState{});

    ModeState set{2, {1}};
    EXPECT_EQ(types(*scanner, set, "cc"), (std::vector<TokenType>{23, 13}));
    EXPECT_EQ(set.mode, 1u);
}

TEST(CompiledScanner, LaterTransitionForTheSameTokenTypeWins) {
    auto scanner = compile(
        {mode("M0", letters_dfa(0), {Transition::set_mode(kA, 1), Transition::push_mode(kA, 2)}),
         mode("M1", letters_dfa(10)), mode("M2", letters_dfa(20))});
    ASSERT_NE(scanner->transition_for(0, kA), nullptr);
    EXPECT_EQ(*scanner->transition_for(0, kA), Transition::push_mode(kA, 2));
    ModeState state;
    scanner->apply_transition(state, kA);
    EXPECT_EQ(state, (ModeState{2, {0}}));
}

TEST(CompiledScanner, TransitionsOfOtherModesDoNotApply) {
    auto scanner = compile(
        {mode("M0", letters_dfa(0)), mode("M1", letters_dfa(10), {Transition::set_mode(kA, 0)})});
    EXPECT_EQ(scanner->transition_for(0, kA), nullptr);
    ModeState state;
    EXPECT_EQ(types(*scanner, state, "aa"), (std::vector<TokenType>{kA, kA}));
    EXPECT_EQ(state.mode, 0u);
    // A mode without a table has no transitions either.
    EXPECT_EQ(scanner->transition_for(7, kA), nullptr);
}

TEST(CompiledScanner, IteratorsKeepTheScannerAlive) {
    auto scanner = three_modes();
    std::weak_ptr<const CompiledScanner> watch = scanner;
    const std::string input = "ab";
    ModeState state;
    auto matches = scanner->find_matches(text(input), state);
    scanner.reset();
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(matches.next_match()->token_type, 1u);
    EXPECT_EQ(matches.next_match()->token_type, 12u);
    EXPECT_EQ(state.mode, 2u);
}

// One compiled scanner, several threads, each with its own mode state: every
// thread sees exactly the tokens of a scan on its own.
TEST(CompiledScanner, ThreadsShareOneScannerWithTheirOwnModeStates) {
    const auto scanner = three_modes();
    const std::string inputs[] = {"abccca", "adcd", "bbbcccc", "dacbd"};
    std::vector<std::vector<TokenType>> expected;
    for (const std::string& input : inputs) {
        ModeState state;
        expected.push_back(types(*scanner, state, input));
    }
    std::vector<std::vector<TokenType>> seen(std::size(inputs));
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < std::size(inputs); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                ModeState state;
                seen[t] = types(*scanner, state, inputs[t]);
                if (seen[t] != expected[t])
                    return;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace quarn::runtime::testing
