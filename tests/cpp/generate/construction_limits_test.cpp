// Bounds shared by all automata of one scanner, and the sharing of lookahead
// automata between the copies of a pattern.
#include <gtest/gtest.h>

#include <cstddef>
#include <set>

#include "dfa_oracle.hpp"
#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/minimizer.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::generate {
namespace {

// A mode NFA relabelled by its own interval groups; `width` receives their number.
Nfa converted_mode(const std::vector<Pattern>& patterns, std::size_t& width) {
    auto nfa = Nfa::build_from_patterns(patterns);
    EXPECT_TRUE(nfa);
    CharacterClasses classes;
    nfa->collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    width = classes.intervals().size();
    nfa->convert_to_disjoint_character_classes(classes);
    return std::move(nfa).value();
}

Pattern followed_by(const char* text, std::uint32_t terminal, const char* follow) {
    auto lookahead = Lookahead::positive(follow);
    EXPECT_TRUE(lookahead);
    return Pattern(text, TerminalID(terminal)).with_lookahead(std::move(lookahead).value());
}

TEST(LookaheadSharing, CopiesShareUntilOneIsChanged) {
    const Pattern original = followed_by("a", 1, "b+");
    Pattern copy = original;
    EXPECT_EQ(copy.lookahead.shared_automaton(), original.lookahead.shared_automaton());
    // Built twice, equal by content.
    EXPECT_EQ(followed_by("a", 1, "b+"), original);

    copy.lookahead.automaton().nfa().pattern = "changed";
    EXPECT_NE(copy.lookahead.shared_automaton(), original.lookahead.shared_automaton());
    EXPECT_EQ(original.lookahead.automaton().nfa().pattern, "b+");
    EXPECT_NE(copy, original);
}

TEST(LookaheadSharing, EveryAcceptRecordHoldsOneConvertedAutomaton) {
    // Each of the three states after a, aa, aaa accepts the pattern; they hold
    // one lookahead DFA between them, equal to a separate conversion per record.
    std::size_t width = 0;
    const Nfa nfa = converted_mode(
        {followed_by("a{1,3}", 1, "[0-9]{1,4}"), Pattern("b", TerminalID(2))}, width);
    auto dfa = try_from_nfa(nfa, width);
    ASSERT_TRUE(dfa);
    EXPECT_EQ(*dfa, oracle::try_from_nfa(nfa));

    std::set<const AutomatonType*> lookaheads;
    std::size_t records = 0;
    for (const DfaState& state : dfa->states) {
        for (const Pattern& accepted : state.accept_data) {
            if (accepted.lookahead.is_none())
                continue;
            ++records;
            lookaheads.insert(accepted.lookahead.shared_automaton().get());
            EXPECT_TRUE(accepted.lookahead.automaton().is_dfa());
        }
    }
    EXPECT_EQ(records, 3u);
    EXPECT_EQ(lookaheads.size(), 1u);
}

TEST(LookaheadSharing, PatternsSharingALookaheadShareItsConversion) {
    const Pattern first = followed_by("a", 1, "[0-9]+");
    const Pattern second = Pattern("b", TerminalID(2))
                               .with_lookahead(Lookahead(Lookahead::Kind::Negative,
                                                         first.lookahead.shared_automaton()));
    std::size_t width = 0;
    const Nfa nfa = converted_mode({first, second}, width);
    auto dfa = try_from_nfa(nfa, width);
    ASSERT_TRUE(dfa);
    EXPECT_EQ(*dfa, oracle::try_from_nfa(nfa));
    std::vector<const Pattern*> accepted;
    for (const DfaState& state : dfa->states) {
        for (const Pattern& pattern : state.accept_data)
            accepted.push_back(&pattern);
    }
    ASSERT_EQ(accepted.size(), 2u);
    EXPECT_EQ(accepted[0]->lookahead.shared_automaton(), accepted[1]->lookahead.shared_automaton());
    EXPECT_NE(accepted[0]->lookahead.kind(), accepted[1]->lookahead.kind());
}

TEST(ScannerNfaBudget, ChargesEveryStateAndRefusesBeyondTheLimit) {
    ScannerNfaBudget budget;
    auto nfa = Nfa::build_from_patterns(
        {Pattern("a{3}", TerminalID(1)), Pattern("b", TerminalID(2))}, budget);
    ASSERT_TRUE(nfa);
    EXPECT_EQ(budget.used, nfa->states.size());
    auto lookahead = Lookahead::negative("cd", budget);
    ASSERT_TRUE(lookahead);
    EXPECT_EQ(budget.used, nfa->states.size() + lookahead->automaton().nfa().states.size());

    // The states of earlier NFAs count against a later one.
    ScannerNfaBudget nearly_spent{kMaxScannerNfaStates - 5};
    auto refused = Nfa::build_from_patterns(
        {Pattern("ab", TerminalID(1)), Pattern("c{3}", TerminalID(2))}, nearly_spent);
    ASSERT_FALSE(refused);
    const auto& error = std::get<NfaTooLargeError>(refused.error().error());
    EXPECT_EQ(error.measure, NfaTooLargeError::Measure::ScannerStates);
    EXPECT_EQ(refused.error().debug(),
              "NfaTooLargeError { scanner_states: 2000006, limit: 2000000 }");
    EXPECT_EQ(refused.error().display(),
              "The scanner is too large: its NFAs would need 2000006 states together, more than "
              "the limit of 2000000.");
    EXPECT_EQ(nearly_spent.used, kMaxScannerNfaStates - 2);  // "ab" was charged

    ScannerNfaBudget spent{kMaxScannerNfaStates};
    auto follow = Lookahead::positive("x", spent);
    ASSERT_FALSE(follow);
    EXPECT_EQ(follow.error(),
              "Failed to create NFA from regex pattern: The scanner is too large: its NFAs would "
              "need 2000002 states together, more than the limit of 2000000.");
}

std::size_t consuming_transitions(const Nfa& nfa) {
    std::size_t count = 0;
    for (const NfaState& state : nfa.states) {
        for (const NfaTransition& transition : state.transitions)
            count += transition.is_epsilon() ? 0 : 1;
    }
    return count;
}

TEST(ScannerNfaBudget, TransitionCountPredictsTheSplit) {
    auto nfa = Nfa::build_from_patterns({followed_by("[a-z]+", 1, "[0-9a-f]{2}"),
                                         Pattern("[0-9]|[g-m]x", TerminalID(2)),
                                         followed_by("[a-c]", 3, "[0-9a-f]{2}")});
    ASSERT_TRUE(nfa);
    CharacterClasses classes;
    nfa->collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    const std::uint64_t predicted = nfa->disjoint_transition_count(classes);
    nfa->convert_to_disjoint_character_classes(classes);

    // The two lookaheads are distinct automata of equal content: both count,
    // each once, as both are converted.
    std::size_t actual = consuming_transitions(*nfa);
    std::set<const AutomatonType*> seen;
    for (const NfaState& state : nfa->states) {
        if (state.accept_data && !state.accept_data->lookahead.is_none() &&
            seen.insert(state.accept_data->lookahead.shared_automaton().get()).second) {
            actual += consuming_transitions(state.accept_data->lookahead.automaton().nfa());
        }
    }
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(predicted, actual);
    const auto unsplit = Nfa::build_from_patterns({Pattern("[a-z]+", TerminalID(1)),
                                                   Pattern("[0-9]|[g-m]x", TerminalID(2)),
                                                   Pattern("[a-c]", TerminalID(3))});
    EXPECT_GT(actual, consuming_transitions(unsplit.value()));

    const NfaTooLargeError too_many{9'000'000, NfaTooLargeError::Measure::ScannerTransitions,
                                    kMaxScannerNfaTransitions};
    EXPECT_EQ(too_many.display(),
              "The scanner is too large: its NFAs would need 9000000 transitions on interval "
              "groups together, more than the limit of 8388608.");
}

TEST(ScannerDfaBudget, CountsKeptCellsAndStepsOfEveryConversion) {
    std::size_t width = 0;
    const Nfa nfa = converted_mode({followed_by("a{1,3}", 1, "[0-9]{1,4}")}, width);
    ScannerDfaBudget budget;
    auto dfa = try_from_nfa(nfa, width, budget);
    ASSERT_TRUE(dfa);
    const Dfa& lookahead = dfa->states.back().accept_data.at(0).lookahead.automaton().dfa();
    // The mode's automaton and its lookahead's, minimized, one row each state.
    EXPECT_EQ(budget.table_cells, (dfa->states.size() + lookahead.states.size()) * width);
    EXPECT_GT(budget.subset_work, 0u);
    const ScannerDfaBudget after_one = budget;
    ASSERT_TRUE(try_from_nfa(nfa, width, budget));
    EXPECT_EQ(budget.table_cells, 2 * after_one.table_cells);
    EXPECT_EQ(budget.subset_work, 2 * after_one.subset_work);

    ScannerDfaBudget cells_spent{kMaxScannerDfaTableCells - width, 0};
    auto no_cells = try_from_nfa(nfa, width, cells_spent);
    ASSERT_FALSE(no_cells);
    EXPECT_EQ(no_cells.error().message,
              "The DFA is too large: the scanner's automata would need more than 67108864 "
              "transition table cells together");

    ScannerDfaBudget steps_spent{0, kMaxScannerSubsetWork};
    auto no_steps = try_from_nfa(nfa, width, steps_spent);
    ASSERT_FALSE(no_steps);
    EXPECT_EQ(no_steps.error().message,
              "The DFA is too large: computing the scanner's states takes more than 1073741824 "
              "steps");
}

// A chain of `length` states on interval 0 whose last state leads to `last_target`.
Dfa chain(std::uint32_t length, std::uint32_t last_target) {
    Dfa dfa;
    dfa.states.resize(length);
    for (std::uint32_t i = 0; i + 1 < length; ++i)
        dfa.states[i].transitions.push_back({DisjointCharClassID(0), DfaStateID(i + 1)});
    dfa.states.back().transitions.push_back({DisjointCharClassID(1), DfaStateID(last_target)});
    dfa.states.back().accept_data.push_back(Pattern("f", kLookaheadTerminal));
    return dfa;
}

TEST(Minimizer, SharedLookaheadTextsOrderGroupsAsWholeTexts) {
    // Lookahead automata whose texts differ only near their end, one of them
    // also held by a second, equal copy; lists mixing them with plain patterns.
    const Lookahead a(Lookahead::Kind::Positive, AutomatonType(chain(40, 0)));
    const Lookahead a_copy(Lookahead::Kind::Positive, AutomatonType(chain(40, 0)));
    const Lookahead b(Lookahead::Kind::Positive, AutomatonType(chain(40, 1)));
    const Lookahead not_a(Lookahead::Kind::Negative, AutomatonType(chain(40, 0)));
    auto pattern = [](const Lookahead& lookahead, std::uint64_t priority) {
        Pattern p("t", TerminalID(1));
        p.priority = priority;
        return std::move(p).with_lookahead(lookahead);
    };
    const std::vector<std::vector<Pattern>> lists = {
        {pattern(a, 0)},
        {pattern(b, 0)},
        {pattern(a_copy, 0)},
        {pattern(a, 0), pattern(Lookahead(), 1)},
        {pattern(b, 0), pattern(Lookahead(), 1)},
        {pattern(a, 0), pattern(b, 1)},
        {pattern(b, 0), pattern(a, 1)},
        {pattern(not_a, 0)},
        {},
        {pattern(a, 2)},
    };
    Dfa dfa;
    const std::uint32_t states = 3 * static_cast<std::uint32_t>(lists.size());
    dfa.states.resize(states);
    for (std::uint32_t i = 0; i < states; ++i) {
        dfa.states[i].transitions.push_back({DisjointCharClassID(0), DfaStateID((i + 1) % states)});
        dfa.states[i].accept_data = lists[(i * 7) % lists.size()];
    }
    EXPECT_EQ(Minimizer::minimize(dfa), oracle::minimize(dfa));
}

}  // namespace
}  // namespace quarn::generate
