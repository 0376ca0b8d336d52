#include "quarn/runtime/scanner_impl.hpp"

#include <gtest/gtest.h>

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
std::shared_ptr<ScannerImpl> three_modes() {
    const char* const kModeNames[] = {"M0", "M1", "M2"};
    std::vector<ScannerMode> modes;
    for (TokenType m = 0; m < 3; ++m) {
        modes.push_back(
            mode(kModeNames[m], letters_dfa(10 * m),
                 {Transition::push_mode(10 * m + kA, 1), Transition::push_mode(10 * m + kB, 2),
                  Transition::pop_mode(10 * m + kC), Transition::set_mode(10 * m + kD, 2)}));
    }
    return ScannerImpl::create(std::move(modes));
}

std::vector<TokenType> types(const std::shared_ptr<ScannerImpl>& impl, std::string_view input) {
    std::vector<TokenType> result;
    for (const Match& m : drain(impl->find_matches(text(input), test_match_function()))) {
        result.push_back(m.token_type);
    }
    return result;
}

TEST(ScannerImpl, PushAndPopNestAndPopOnAnEmptyStackIsIgnored) {
    auto impl = three_modes();
    // push 1, push 2, pop, pop, pop (stack already empty), then a in mode 0 again.
    EXPECT_EQ(types(impl, "abccca"), (std::vector<TokenType>{1, 12, 23, 13, 3, 1}));
    EXPECT_EQ(impl->current_mode_index(), 1u);
    EXPECT_EQ(impl->mode_stack(), (std::vector<ModeIndex>{0}));
}

TEST(ScannerImpl, SetModeLeavesTheStackAlone) {
    auto impl = three_modes();
    // push 1, set 2, pop -> back in mode 0.
    EXPECT_EQ(types(impl, "adcd"), (std::vector<TokenType>{1, 14, 23, 4}));
    EXPECT_EQ(impl->current_mode_index(), 2u);
    EXPECT_TRUE(impl->mode_stack().empty());
}

TEST(ScannerImpl, ModeStateCarriesOverToTheNextScan) {
    auto impl = three_modes();
    EXPECT_EQ(types(impl, "ab"), (std::vector<TokenType>{1, 12}));
    EXPECT_EQ(types(impl, "c"), (std::vector<TokenType>{23}));
    EXPECT_EQ(types(impl, "c"), (std::vector<TokenType>{13}));
    // Creating iterators does not touch the state.
    impl->find_matches(text("a"), test_match_function());
    impl->find_matches_with_position(text("a"), test_match_function());
    EXPECT_EQ(impl->current_mode_index(), 0u);
}

TEST(ScannerImpl, ModeStateIsSettableThroughTheSharedHandle) {
    auto impl = three_modes();
    impl->set_current_mode(2);
    impl->set_mode_stack({1});
    EXPECT_EQ(types(impl, "cc"), (std::vector<TokenType>{23, 13}));
    EXPECT_EQ(impl->current_mode_index(), 1u);
}

TEST(ScannerImpl, LaterTransitionForTheSameTokenTypeWins) {
    auto impl = ScannerImpl::create(
        {mode("M0", letters_dfa(0), {Transition::set_mode(kA, 1), Transition::push_mode(kA, 2)}),
         mode("M1", letters_dfa(10)), mode("M2", letters_dfa(20))});
    EXPECT_EQ(impl->transition_for_token_type(kA), Transition::push_mode(kA, 2));
    impl->handle_mode_transition(kA);
    EXPECT_EQ(impl->current_mode_index(), 2u);
    EXPECT_EQ(impl->mode_stack(), (std::vector<ModeIndex>{0}));
}

TEST(ScannerImpl, TransitionsOfOtherModesDoNotApply) {
    auto impl = ScannerImpl::create(
        {mode("M0", letters_dfa(0)), mode("M1", letters_dfa(10), {Transition::set_mode(kA, 0)})});
    EXPECT_EQ(impl->transition_for_token_type(kA), std::nullopt);
    EXPECT_EQ(types(impl, "aa"), (std::vector<TokenType>{kA, kA}));
    EXPECT_EQ(impl->current_mode_index(), 0u);
    // A current mode without a table has no transitions either.
    impl->set_current_mode(7);
    EXPECT_EQ(impl->transition_for_token_type(kA), std::nullopt);
}

TEST(ScannerImpl, IteratorsKeepTheScannerAlive) {
    auto impl = three_modes();
    std::weak_ptr<ScannerImpl> watch = impl;
    const std::string input = "ab";
    auto matches = impl->find_matches(text(input), test_match_function());
    impl.reset();
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(matches.next_match()->token_type, 1u);
    EXPECT_EQ(matches.next_match()->token_type, 12u);
    EXPECT_EQ(watch.lock()->current_mode_index(), 2u);
}

}  // namespace
}  // namespace quarn::runtime::testing
