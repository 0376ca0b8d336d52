// The search against the reference search (reference_search.hpp) on random
// scanners, lookaheads and inputs.
#include <gtest/gtest.h>

#include <random>

#include "quarn/runtime/find_matches.hpp"
#include "reference_search.hpp"
#include "test_tables.hpp"

namespace quarn::runtime::testing {
namespace {

using test_support::reference_scan;

// Lookahead automata are filed in `lookaheads`.
Dfa random_dfa(std::mt19937& rng, int depth, LookaheadTable& lookaheads) {
    const std::size_t num_states = 1 + rng() % 5;
    std::vector<DfaState> states(num_states);
    for (DfaState& state : states) {
        // Rows of varying length: classes past the end have no move.
        state.transitions.resize(rng() % (kNumClasses + 1));
        for (auto& entry : state.transitions) {
            if (rng() % 3 != 0)
                entry = DfaTransition{static_cast<StateIndex>(rng() % num_states)};
        }
        const std::size_t num_accepts = rng() % 4 == 0 ? 1 + rng() % 3 : 0;
        for (std::size_t i = 0; i < num_accepts; ++i) {
            Lookahead lookahead;
            if (depth < 2 && rng() % 2 == 0) {
                Dfa automaton = random_dfa(rng, depth + 1, lookaheads);
                lookahead = rng() % 2 == 0 ? lookaheads.positive(std::move(automaton))
                                           : lookaheads.negative(std::move(automaton));
            }
            state.accept_data.push_back(AcceptData{lookahead, rng() % 4, i});
        }
    }
    return Dfa(std::move(states));
}

std::string random_input(std::mt19937& rng, std::size_t max_pieces = 60) {
    static const char* const pieces[] = {"a", "b", "c", "\n", "\xC3\xA9", "z", "\r"};
    std::string s;
    const std::size_t length = rng() % max_pieces;
    for (std::size_t i = 0; i < length; ++i)
        s += pieces[rng() % std::size(pieces)];
    return s;
}

std::vector<ScannerMode> random_modes(std::mt19937& rng, LookaheadTable& lookaheads) {
    std::vector<ScannerMode> modes;
    for (int m = 0; m < 2; ++m) {
        std::vector<Transition> transitions;
        for (TokenType type = 0; type < 4; ++type) {
            switch (rng() % 4) {
                case 0:
                    transitions.push_back(Transition::set_mode(type, rng() % 2));
                    break;
                case 1:
                    transitions.push_back(Transition::push_mode(type, rng() % 2));
                    break;
                case 2:
                    transitions.push_back(Transition::pop_mode(type));
                    break;
                default:
                    break;
            }
        }
        modes.push_back(mode("M", random_dfa(rng, 0, lookaheads), std::move(transitions)));
    }
    return modes;
}

void expect_agreement_on_random_scanners(unsigned seed, int rounds, std::size_t max_pieces) {
    std::mt19937 rng(seed);
    std::size_t total_tokens = 0;
    for (int round = 0; round < rounds; ++round) {
        LookaheadTable lookaheads;
        std::vector<ScannerMode> modes = random_modes(rng, lookaheads);
        const auto scanner = compile(std::move(modes), std::move(lookaheads.automata));
        ModeState reference;
        ModeState with_positions;
        ModeState without_positions;
        // Mode state carries over from one input to the next.
        for (int i = 0; i < 5; ++i) {
            const std::string input = random_input(rng, max_pieces);
            const std::vector<Match> expected = reference_scan(*scanner, reference, input);
            ASSERT_EQ(drain(scanner->find_matches_with_position(text(input), with_positions)),
                      expected)
                << "round " << round << " input " << input;
            std::vector<Match> without =
                drain(scanner->find_matches(text(input), without_positions));
            for (Match& m : without)
                EXPECT_FALSE(m.positions.has_value());
            ASSERT_EQ(tokens(without), tokens(expected));
            ASSERT_EQ(with_positions, reference);
            ASSERT_EQ(without_positions, reference);
            total_tokens += expected.size();
        }
    }
    EXPECT_GT(total_tokens, 5000u);  // the random tables do produce tokens
}

TEST(SearchOracle, BothIteratorsAgreeWithTheReferenceOnRandomScanners) {
    expect_agreement_on_random_scanners(2024, 1500, 60);
}

// Long texts: attempts and lookaheads that read far ahead, so remembered dead
// ends and the skip over characters that start no token come into play.
TEST(SearchOracle, LongTextsAgreeWithTheReference) {
    expect_agreement_on_random_scanners(77, 150, 400);
}

}  // namespace
}  // namespace quarn::runtime::testing
