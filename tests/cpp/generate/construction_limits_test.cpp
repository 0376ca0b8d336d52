// Bounds shared by all automata of one scanner, and the lookahead table
// converted once for all of them.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

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

Pattern followed_by(const char* text, std::uint32_t token_type, std::uint32_t lookahead) {
    return Pattern(text, TokenTypeID(token_type), Lookahead::positive(LookaheadID(lookahead)));
}

// The lookahead table of `regexes`, relabelled by `classes` after registering
// its labels there (call before create_disjoint_character_classes) .
std::vector<Nfa> lookahead_table(const std::vector<const char*>& regexes) {
    std::vector<Nfa> table;
    ScannerNfaBudget budget;
    for (const char* regex : regexes) {
        auto nfa = Nfa::build_lookahead(regex, budget);
        EXPECT_TRUE(nfa);
        table.push_back(std::move(nfa).value());
    }
    return table;
}

// A mode and a lookahead table relabelled by their shared interval groups;
// `width` receives their number.
Nfa converted_scanner(const std::vector<Pattern>& patterns, std::vector<Nfa>& lookaheads,
                      std::size_t& width) {
    auto nfa = Nfa::build_from_patterns(patterns);
    EXPECT_TRUE(nfa);
    CharacterClasses classes;
    nfa->collect_character_classes(classes);
    for (const Nfa& lookahead : lookaheads)
        lookahead.collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    width = classes.intervals().size();
    nfa->convert_to_disjoint_character_classes(classes);
    for (Nfa& lookahead : lookaheads)
        lookahead.convert_to_disjoint_character_classes(classes);
    return std::move(nfa).value();
}

TEST(LookaheadTable, EveryAcceptRecordRefersToTheOneConvertedAutomaton) {
    // Each of the three states after a, aa, aaa accepts the pattern; they
    // refer to one lookahead DFA, converted once.
    std::vector<Nfa> lookaheads = lookahead_table({"[0-9]{1,4}"});
    std::size_t width = 0;
    const Nfa nfa = converted_scanner({followed_by("a{1,3}", 1, 0), Pattern("b", TokenTypeID(2))},
                                      lookaheads, width);
    std::vector<Nfa> modes{nfa};
    ScannerDfaBudget budget;
    auto dfas = build_scanner_dfas(modes, lookaheads, width, budget);
    ASSERT_TRUE(dfas);
    EXPECT_EQ(dfas->modes[0], oracle::try_from_nfa(nfa));
    EXPECT_EQ(dfas->lookaheads[0], oracle::try_from_nfa(lookaheads[0]));

    std::size_t records = 0;
    for (const DfaState& state : dfas->modes[0].states) {
        for (const Accept& accepted : state.accept_data) {
            if (accepted.lookahead.is_none())
                continue;
            ++records;
            EXPECT_EQ(accepted.lookahead, Lookahead::positive(LookaheadID(0)));
        }
    }
    EXPECT_EQ(records, 3u);
    // The mode's automaton and its lookahead's, minimized, one row each state.
    EXPECT_EQ(budget.table_cells,
              (dfas->modes[0].states.size() + dfas->lookaheads[0].states.size()) * width);
}

TEST(LookaheadTable, ModesSharingALookaheadConvertItOnce) {
    std::vector<Nfa> lookaheads = lookahead_table({"[0-9]+"});
    std::size_t width = 0;
    const Nfa both = converted_scanner(
        {followed_by("a", 1, 0), Pattern("b", TokenTypeID(2), Lookahead::negative(LookaheadID(0)))},
        lookaheads, width);
    // Two modes of the same automaton, each with the lookahead in both directions.
    std::vector<Nfa> modes{both, both};
    ScannerDfaBudget budget;
    auto dfas = build_scanner_dfas(modes, lookaheads, width, budget);
    ASSERT_TRUE(dfas);
    EXPECT_EQ(dfas->lookaheads.size(), 1u);
    EXPECT_EQ(budget.table_cells, (dfas->modes[0].states.size() + dfas->modes[1].states.size() +
                                   dfas->lookaheads[0].states.size()) *
                                      width);
}

TEST(ScannerNfaBudget, ChargesEveryStateAndRefusesBeyondTheLimit) {
    ScannerNfaBudget budget;
    auto nfa = Nfa::build_from_patterns(
        {Pattern("a{3}", TokenTypeID(1)), Pattern("b", TokenTypeID(2))}, budget);
    ASSERT_TRUE(nfa);
    EXPECT_EQ(budget.used, nfa->states.size());
    auto lookahead = Nfa::build_lookahead("cd", budget);
    ASSERT_TRUE(lookahead);
    EXPECT_EQ(budget.used, nfa->states.size() + lookahead->states.size());

    // The states of earlier NFAs count against a later one.
    ScannerNfaBudget nearly_spent{kMaxScannerNfaStates - 5};
    auto refused = Nfa::build_from_patterns(
        {Pattern("ab", TokenTypeID(1)), Pattern("c{3}", TokenTypeID(2))}, nearly_spent);
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
    auto follow = Nfa::build_lookahead("x", spent);
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
    auto nfa = Nfa::build_from_patterns({followed_by("[a-z]+", 1, 0),
                                         Pattern("[0-9]|[g-m]x", TokenTypeID(2)),
                                         followed_by("[a-c]", 3, 0)});
    ASSERT_TRUE(nfa);
    std::vector<Nfa> lookaheads = lookahead_table({"[0-9a-f]{2}"});
    CharacterClasses classes;
    nfa->collect_character_classes(classes);
    lookaheads[0].collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    const std::uint64_t predicted = nfa->disjoint_transition_count(classes);
    const std::uint64_t predicted_lookahead = lookaheads[0].disjoint_transition_count(classes);
    nfa->convert_to_disjoint_character_classes(classes);
    lookaheads[0].convert_to_disjoint_character_classes(classes);

    const std::size_t actual = consuming_transitions(*nfa);
    EXPECT_EQ(predicted, actual);
    EXPECT_EQ(predicted_lookahead, consuming_transitions(lookaheads[0]));
    const auto unsplit = Nfa::build_from_patterns({Pattern("[a-z]+", TokenTypeID(1)),
                                                   Pattern("[0-9]|[g-m]x", TokenTypeID(2)),
                                                   Pattern("[a-c]", TokenTypeID(3))});
    EXPECT_GT(actual, consuming_transitions(unsplit.value()));

    const NfaTooLargeError too_many{9'000'000, NfaTooLargeError::Measure::ScannerTransitions,
                                    kMaxScannerNfaTransitions};
    EXPECT_EQ(too_many.display(),
              "The scanner is too large: its NFAs would need 9000000 transitions on interval "
              "groups together, more than the limit of 8388608.");
}

TEST(ScannerDfaBudget, CountsKeptCellsAndStepsOfEveryConversion) {
    std::size_t width = 0;
    const Nfa nfa = converted_mode({Pattern("a{1,3}", TokenTypeID(1))}, width);
    ScannerDfaBudget budget;
    auto dfa = try_from_nfa(nfa, width, budget);
    ASSERT_TRUE(dfa);
    EXPECT_EQ(budget.table_cells, dfa->states.size() * width);
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
              "The DFA is too large: computing the scanner's states takes more than 67108864 "
              "steps");
}

TEST(Minimizer, GroupsByWholeAcceptListsWhateverTheirLookaheads) {
    // Lists mixing lookahead ids and kinds with plain records.
    const Lookahead a = Lookahead::positive(LookaheadID(0));
    const Lookahead b = Lookahead::positive(LookaheadID(1));
    const Lookahead not_a = Lookahead::negative(LookaheadID(0));
    auto record = [](const Lookahead& lookahead, std::uint64_t priority) {
        return Accept{priority, TokenTypeID(1), lookahead};
    };
    const std::vector<std::vector<Accept>> lists = {
        {record(a, 0)},
        {record(b, 0)},
        {record(a, 0)},
        {record(a, 0), record(Lookahead(), 1)},
        {record(b, 0), record(Lookahead(), 1)},
        {record(a, 0), record(b, 1)},
        {record(b, 0), record(a, 1)},
        {record(not_a, 0)},
        {},
        {record(a, 2)},
    };
    Dfa dfa;
    const std::uint32_t states = 3 * static_cast<std::uint32_t>(lists.size());
    dfa.states.resize(states);
    for (std::uint32_t i = 0; i < states; ++i) {
        dfa.states[i].transitions.push_back({DisjointCharClassID(0), DfaStateID((i + 1) % states)});
        dfa.states[i].accept_data = lists[(i * 7) % lists.size()];
    }
    EXPECT_EQ(minimize(dfa), oracle::minimize(dfa));
}

}  // namespace
}  // namespace quarn::generate
