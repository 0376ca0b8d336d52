#include "quarn/generate/dfa.hpp"

#include <gtest/gtest.h>

#include <random>

#include "dfa_oracle.hpp"
#include "quarn/base/errors.hpp"
#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/minimizer.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::generate {
namespace {

Accept plain(std::uint32_t token_type, std::uint64_t priority) {
    return Accept{priority, TokenTypeID(token_type), {}};
}

Accept with_lookahead(std::uint32_t token_type, std::uint64_t priority, std::uint32_t id = 0) {
    return Accept{priority, TokenTypeID(token_type), Lookahead::positive(LookaheadID(id))};
}

// An NFA consuming interval group `interval` once: 0 -> 1.
Nfa symbol(std::uint32_t interval) {
    Nfa nfa;
    const NfaStateID end = nfa.new_state();
    nfa.add_transition(
        NfaStateID(0),
        CharacterClassType::range(oracle::ranges_of(interval), DisjointCharClassID(interval)), end);
    nfa.set_end_state(end);
    return nfa;
}

Nfa either(Nfa a, Nfa b) {
    a.alternation(std::move(b));
    return a;
}

void accept_at_end(Nfa& nfa, Accept accept) {
    nfa.states[nfa.end_state.as_usize()].accept_data = accept;
}

std::vector<std::uint64_t> priorities(const DfaState& state) {
    std::vector<std::uint64_t> result;
    for (const Accept& accept : state.accept_data)
        result.push_back(accept.priority);
    return result;
}

TEST(AddAcceptData, SortsByPriorityThenTerminalAndCutsAfterFirstPlainPattern) {
    DfaState state;
    add_accept_data(state, plain(1, 1));
    add_accept_data(state, plain(1, 0));
    EXPECT_EQ(state.accept_data, std::vector<Accept>{plain(1, 0)});

    DfaState mixed;
    add_accept_data(mixed, with_lookahead(7, 2));
    add_accept_data(mixed, plain(7, 1));
    add_accept_data(mixed, with_lookahead(7, 0));
    EXPECT_EQ(priorities(mixed), (std::vector<std::uint64_t>{0, 1}));
    EXPECT_FALSE(mixed.accept_data[0].lookahead.is_none());

    DfaState ties;
    add_accept_data(ties, plain(5, 0));
    add_accept_data(ties, plain(3, 0));
    EXPECT_EQ(ties.accept_data, std::vector<Accept>{plain(3, 0)});
}

TEST(AddAcceptData, KeepsEqualKeysInArrivalOrderAndDropsDuplicates) {
    DfaState state;
    add_accept_data(state, with_lookahead(2, 0, 1));
    add_accept_data(state, with_lookahead(2, 0, 0));  // ties, arrives later: stays behind
    add_accept_data(state, plain(2, 0));
    EXPECT_EQ(state.accept_data,
              (std::vector<Accept>{with_lookahead(2, 0, 1), with_lookahead(2, 0, 0), plain(2, 0)}));

    const auto before = state.accept_data;
    add_accept_data(state, with_lookahead(2, 0, 1));
    add_accept_data(state, plain(2, 0));
    EXPECT_EQ(state.accept_data, before);

    // A lookahead record tying with the plain one but arriving later is cut.
    add_accept_data(state, with_lookahead(2, 0, 7));
    EXPECT_EQ(state.accept_data, before);
}

TEST(SubsetConstruction, StartClosureWithoutMovesGivesOneState) {
    Nfa nfa;
    const NfaStateID second = nfa.new_state();
    nfa.add_epsilon_transition(NfaStateID(0), second);
    auto rejecting = try_from_nfa(nfa);
    ASSERT_TRUE(rejecting.ok());
    ASSERT_EQ(rejecting->states.size(), 1u);
    EXPECT_TRUE(rejecting->states[0].accept_data.empty());
    EXPECT_TRUE(rejecting->states[0].transitions.empty());

    nfa.states[1].accept_data = plain(4, 0);
    auto accepting = try_from_nfa(nfa);
    ASSERT_TRUE(accepting.ok());
    ASSERT_EQ(accepting->states.size(), 1u);
    EXPECT_EQ(accepting->states[0].accept_data, std::vector<Accept>{plain(4, 0)});
}

TEST(SubsetConstruction, NumbersBreadthFirstFromTheStartClosure) {
    // (a|b)*a: the start subset comes back on b, state 1 on a.
    Nfa nfa = either(symbol(0), symbol(1));
    nfa.zero_or_more();
    nfa.concat(symbol(0));
    accept_at_end(nfa, plain(9, 0));

    auto dfa = try_from_nfa_not_minimized(nfa);
    ASSERT_TRUE(dfa.ok());
    ASSERT_EQ(dfa->states.size(), 3u);
    EXPECT_EQ(dfa->states[0].transitions,
              (std::vector<DfaTransition>{{DisjointCharClassID(0), DfaStateID(1)},
                                          {DisjointCharClassID(1), DfaStateID(2)}}));
    EXPECT_TRUE(dfa->states[0].accept_data.empty());
    EXPECT_EQ(dfa->states[1].accept_data, std::vector<Accept>{plain(9, 0)});

    auto minimized = try_from_nfa(nfa);
    ASSERT_TRUE(minimized.ok());
    ASSERT_EQ(minimized->states.size(), 2u);
    EXPECT_EQ(minimized->states[0].transitions,
              (std::vector<DfaTransition>{{DisjointCharClassID(0), DfaStateID(1)},
                                          {DisjointCharClassID(1), DfaStateID(0)}}));
    EXPECT_EQ(minimized->states[1].transitions, minimized->states[0].transitions);
}

Nfa b_plus() {
    Nfa follow = symbol(1);
    follow.concat([] {
        Nfa more = symbol(1);
        more.zero_or_more();
        return more;
    }());
    accept_at_end(follow, Accept{0, kLookaheadTokenType, {}});
    return follow;
}

TEST(ScannerDfas, ConvertsEachReferencedLookaheadOnce) {
    // Two modes: token a followed by b+ (lookahead 0, whose minimal DFA has
    // two states) and, in the second mode, not followed by b+ or by lookahead
    // 2; lookahead 1 is never referred to and stays empty.
    Nfa first = symbol(0);
    accept_at_end(first, Accept{0, TokenTypeID(1), Lookahead::positive(LookaheadID(0))});
    Nfa on_a = symbol(0);
    accept_at_end(on_a, Accept{0, TokenTypeID(2), Lookahead::negative(LookaheadID(0))});
    Nfa on_c = symbol(2);
    accept_at_end(on_c, Accept{1, TokenTypeID(3), Lookahead::positive(LookaheadID(2))});
    const Nfa second = either(std::move(on_a), std::move(on_c));
    const std::vector<Nfa> lookaheads{b_plus(), b_plus(), symbol(2)};
    std::vector<Nfa> modes{first, second};

    ScannerDfaBudget budget;
    auto dfas = build_scanner_dfas(modes, lookaheads, 3, budget);
    ASSERT_TRUE(dfas.ok());
    EXPECT_EQ(modes[0], Nfa());  // released
    ASSERT_EQ(dfas->modes.size(), 2u);
    EXPECT_EQ(dfas->modes[0], oracle::try_from_nfa(first));
    EXPECT_EQ(dfas->modes[1], oracle::try_from_nfa(second));
    ASSERT_EQ(dfas->lookaheads.size(), 3u);
    const Dfa& converted = dfas->lookaheads[0];
    EXPECT_EQ(converted, oracle::try_from_nfa(lookaheads[0]));
    ASSERT_EQ(converted.states.size(), 2u);
    EXPECT_EQ(converted.states[0].transitions,
              (std::vector<DfaTransition>{{DisjointCharClassID(1), DfaStateID(1)}}));
    EXPECT_EQ(converted.states[1].accept_data, (std::vector<Accept>{{0, kLookaheadTokenType, {}}}));
    EXPECT_TRUE(dfas->lookaheads[1].states.empty());
    EXPECT_EQ(dfas->lookaheads[2], oracle::try_from_nfa(lookaheads[2]));
}

TEST(SubsetConstruction, RefusesMalformedInputAsInternalError) {
    Nfa unconverted;
    unconverted.add_transition(NfaStateID(0), regex::Hir::make_literal("a"),
                               unconverted.new_state());
    EXPECT_THROW((void)try_from_nfa(unconverted), base::InternalError);

    // A lookahead id outside the table.
    Nfa nfa = symbol(0);
    accept_at_end(nfa, with_lookahead(1, 0, 3));
    std::vector<Nfa> modes{nfa};
    ScannerDfaBudget budget;
    EXPECT_THROW((void)build_scanner_dfas(modes, {}, 1, budget), base::InternalError);
}

TEST(SubsetConstruction, RefusesExponentialBlowUpEarly) {
    // (a|b)*a(a|b){24}: the minimal DFA has 2^25 states.
    Nfa nfa = either(symbol(0), symbol(1));
    nfa.zero_or_more();
    nfa.concat(symbol(0));
    for (int i = 0; i < 24; ++i)
        nfa.concat(either(symbol(0), symbol(1)));
    accept_at_end(nfa, plain(1, 0));

    auto dfa = try_from_nfa(nfa);
    ASSERT_FALSE(dfa.ok());
    EXPECT_EQ(dfa.error().display(), "The DFA is too large: more than 65536 states");
    EXPECT_EQ(dfa.error().debug(),
              "DfaConversionError(\"The DFA is too large: more than 65536 states\")");

    // The table bound counts the scanner's interval groups, or those the NFA
    // uses if more: with 100000 groups it stops the same automaton after 167
    // states.
    const std::string too_wide =
        "The DFA is too large: more than 16777216 transition table cells (168 states x "
        "100000 interval groups)";
    auto in_wide_scanner = try_from_nfa(nfa, 100'000);
    ASSERT_FALSE(in_wide_scanner.ok());
    EXPECT_EQ(in_wide_scanner.error().display(), too_wide);
    auto using_wide_alphabet = try_from_nfa(either(std::move(nfa), symbol(99'999)), 2);
    ASSERT_FALSE(using_wide_alphabet.ok());
    EXPECT_EQ(using_wide_alphabet.error().display(), too_wide);
}

TEST(ScannerDfas, PassLookaheadFailuresOn) {
    Nfa follow = either(symbol(0), symbol(1));
    follow.zero_or_more();
    follow.concat(symbol(0));
    for (int i = 0; i < 24; ++i)
        follow.concat(either(symbol(0), symbol(1)));
    Nfa nfa = symbol(2);
    accept_at_end(nfa, with_lookahead(1, 0));
    std::vector<Nfa> modes{nfa};
    ScannerDfaBudget budget;
    auto dfa = build_scanner_dfas(modes, {follow}, 100'000, budget);
    ASSERT_FALSE(dfa.ok());
    EXPECT_EQ(dfa.error().display().rfind("The DFA is too large: more than 16777216 transition", 0),
              0u);
}

std::vector<DfaState> sorted_transitions(Dfa dfa) {
    for (DfaState& state : dfa.states) {
        std::sort(state.transitions.begin(), state.transitions.end(),
                  [](const DfaTransition& a, const DfaTransition& b) { return a.group < b.group; });
    }
    return dfa.states;
}

TEST(SubsetConstruction, AgreesWithReferenceOnRandomNfas) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 800; ++round) {
        const Nfa nfa = oracle::random_nfa(random, 10, 3, true);
        auto fast = try_from_nfa_not_minimized(nfa);
        ASSERT_TRUE(fast.ok());
        EXPECT_EQ(fast->states, sorted_transitions(oracle::try_from_nfa_not_minimized(nfa)))
            << dump(nfa);
        auto minimized = try_from_nfa(nfa);
        ASSERT_TRUE(minimized.ok());
        EXPECT_EQ(*minimized, oracle::try_from_nfa(nfa)) << dump(nfa);
    }
}

// A random regex over a, b, c: literals, classes, groups, alternation and
// greedy repetition, nested up to `depth`.
std::string random_regex(std::mt19937& random, int depth) {
    static const char* const atoms[] = {"a", "b", "c", "[ab]", "[^a]", "(?i:a)", "."};
    if (depth == 0 || random() % 3 == 0)
        return atoms[random() % 7];
    std::string left = random_regex(random, depth - 1);
    std::string right = random_regex(random, depth - 1);
    static const char* const repeats[] = {"*", "+", "?", "{2}", "{1,3}", "{0,2}"};
    switch (random() % 4) {
        case 0:
            return left + right;
        case 1:
            return "(" + left + "|" + right + ")";
        case 2:
            return "(" + left + ")" + repeats[random() % 6];
        default:
            return "(" + left + right + ")" + repeats[random() % 6];
    }
}

TEST(SubsetConstruction, AgreesWithReferenceOnRandomScannerModes) {
    std::mt19937 random(4242);
    for (int round = 0; round < 120; ++round) {
        std::vector<Pattern> patterns;
        const std::uint32_t count = 1 + random() % 3;
        for (std::uint32_t i = 0; i < count; ++i) {
            Lookahead lookahead;
            if (random() % 3 == 0) {
                const LookaheadID id(random() % 2);
                lookahead = random() % 2 ? Lookahead::positive(id) : Lookahead::negative(id);
            }
            patterns.emplace_back(random_regex(random, 3), TokenTypeID(random() % 3), lookahead);
        }
        auto built = Nfa::build_from_patterns(patterns);
        ASSERT_TRUE(built.ok()) << built.error().display();
        Nfa nfa = std::move(built).value();
        CharacterClasses classes;
        nfa.collect_character_classes(classes);
        classes.create_disjoint_character_classes();
        nfa.convert_to_disjoint_character_classes(classes);
        auto dfa = try_from_nfa(nfa, classes.intervals().size());
        ASSERT_TRUE(dfa.ok());
        EXPECT_EQ(*dfa, oracle::try_from_nfa(nfa)) << dump(nfa);
    }
}

// Keywords inside a wide identifier class: from every keyword prefix most
// interval groups lead to the same identifier states, so the construction
// reuses the target of a seed set it has closed before.
TEST(SubsetConstruction, AgreesWithReferenceOnWideClasses) {
    std::vector<Pattern> patterns;
    std::uint32_t type = 0;
    for (const char* text : {"if", "in", "int", "inline", R"([\p{L}_]\w*)", R"("[^"\\]*")",
                             R"(\s+)", R"(\p{Greek}+\d)"}) {
        patterns.emplace_back(text, TokenTypeID(type++));
    }
    auto built = Nfa::build_from_patterns(patterns);
    ASSERT_TRUE(built.ok()) << built.error().display();
    Nfa nfa = std::move(built).value();
    CharacterClasses classes;
    nfa.collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    nfa.convert_to_disjoint_character_classes(classes);
    auto fast = try_from_nfa_not_minimized(nfa, classes.intervals().size());
    ASSERT_TRUE(fast.ok());
    EXPECT_EQ(fast->states, sorted_transitions(oracle::try_from_nfa_not_minimized(nfa)));
    auto dfa = try_from_nfa(nfa, classes.intervals().size());
    ASSERT_TRUE(dfa.ok());
    EXPECT_EQ(*dfa, oracle::try_from_nfa(nfa));
}

}  // namespace
}  // namespace quarn::generate
