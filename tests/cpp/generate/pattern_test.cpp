#include "quarn/generate/pattern.hpp"

#include <gtest/gtest.h>

#include "quarn/generate/debug_text.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::generate {
namespace {

using namespace std::string_view_literals;

Lookahead lookahead_of(Lookahead::Kind kind, std::string_view text) {
    auto result =
        kind == Lookahead::Kind::Positive ? Lookahead::positive(text) : Lookahead::negative(text);
    if (!result)
        throw std::runtime_error(result.error());
    return std::move(result).value();
}

TEST(Pattern, ConstructionAndReplacement) {
    const Pattern plain("a+", TerminalID(1));
    EXPECT_EQ(plain.priority, 0u);
    EXPECT_TRUE(plain.lookahead.is_none());

    Pattern twice = Pattern("a", TerminalID(1))
                        .with_lookahead(lookahead_of(Lookahead::Kind::Positive, "x"))
                        .with_lookahead(lookahead_of(Lookahead::Kind::Negative, "y"));
    EXPECT_EQ(twice.lookahead, lookahead_of(Lookahead::Kind::Negative, "y"));
    EXPECT_EQ(Pattern(plain).with_priority(3).priority, 3u);
}

TEST(Pattern, StructuralEquality) {
    const Pattern base("a", TerminalID(1));
    EXPECT_EQ(base, Pattern("a", TerminalID(1)));
    EXPECT_NE(base, Pattern(base).with_priority(1));
    EXPECT_NE(base, Pattern("a", TerminalID(2)));

    const Pattern positive =
        Pattern(base).with_lookahead(lookahead_of(Lookahead::Kind::Positive, "b"));
    const Pattern negative =
        Pattern(base).with_lookahead(lookahead_of(Lookahead::Kind::Negative, "b"));
    EXPECT_NE(positive, negative);
    EXPECT_EQ(positive, Pattern(base).with_lookahead(lookahead_of(Lookahead::Kind::Positive, "b")));
    EXPECT_NE(positive, Pattern(base).with_lookahead(lookahead_of(Lookahead::Kind::Positive, "c")));

    // Equal DFAs make equal lookaheads; an NFA never equals a DFA.
    Dfa dfa{{DfaState{{DfaTransition{DisjointCharClassID(0), DfaStateID(0)}}, {}}}};
    EXPECT_EQ(Lookahead(Lookahead::Kind::Positive, AutomatonType(dfa)),
              Lookahead(Lookahead::Kind::Positive, AutomatonType(Dfa(dfa))));
    EXPECT_NE(AutomatonType(dfa), AutomatonType(Nfa()));
}

TEST(Pattern, CopiesAreDeep) {
    Pattern original =
        Pattern("a", TerminalID(1)).with_lookahead(lookahead_of(Lookahead::Kind::Positive, "b"));
    Pattern copy = original;
    copy.lookahead.automaton().nfa().states.clear();
    EXPECT_EQ(original.lookahead.automaton().nfa().states.size(), 2u);
    EXPECT_NE(original, copy);

    Pattern assigned("z", TerminalID(9));
    assigned = original;
    original.lookahead.automaton().nfa().pattern = "changed";
    EXPECT_EQ(assigned.lookahead.automaton().nfa().pattern, "b");
}

TEST(Pattern, LookaheadConstruction) {
    const Lookahead positive = lookahead_of(Lookahead::Kind::Positive, "b");
    ASSERT_EQ(positive.kind(), Lookahead::Kind::Positive);
    const Nfa& nfa = positive.automaton().nfa();
    EXPECT_EQ(nfa.pattern, "b");
    const Pattern& accepted = *nfa.states[nfa.end_state.as_usize()].accept_data;
    EXPECT_EQ(accepted.terminal_type, TerminalID(4294967295u));
    EXPECT_EQ(accepted.priority, 0u);
    EXPECT_TRUE(accepted.lookahead.is_none());

    EXPECT_TRUE(Lookahead::negative(""));

    auto unsupported = Lookahead::negative("a\\b");
    ASSERT_FALSE(unsupported);
    EXPECT_EQ(unsupported.error(),
              "Failed to create NFA from regex pattern: The regex feature 'WordUnicode "
              "Look(WordUnicode)' is not supported.");
    auto unparsable = Lookahead::positive("a)");
    ASSERT_FALSE(unparsable);
    EXPECT_EQ(unparsable.error().rfind("Failed to create NFA from regex pattern: ", 0), 0u);
    EXPECT_GT(unparsable.error().size(),
              std::string("Failed to create NFA from regex pattern: ").size());
}

TEST(Pattern, DebugForms) {
    EXPECT_EQ(
        debug_string(Pattern("a+", TerminalID(1))),
        "Pattern { pattern: \"a+\", terminal_type: TerminalID(1), priority: 0, lookahead: None }");
    EXPECT_EQ(debug_quoted("q\"b\\n\0t\tr\rn\nf\x0C sp é\xE2\x80\x8B\xF3\xB0\x80\x80"sv),
              "\"q\\\"b\\\\n\\0t\\tr\\rn\\nf\\u{c} sp é\\u{200b}\\u{f0000}\"");

    const Pattern accepted = Pattern("b", TerminalID(2)).with_priority(1);
    const Dfa dfa{{DfaState{{DfaTransition{DisjointCharClassID(3), DfaStateID(1)}}, {}},
                   DfaState{{}, {accepted}}}};
    EXPECT_EQ(debug_string(dfa.states[0].transitions[0]),
              "DfaTransition { elementary_interval_index: DisjointCharClassID(3), target: "
              "DfaStateID(1) }");
    const std::string accepted_text =
        "Pattern { pattern: \"b\", terminal_type: TerminalID(2), priority: 1, lookahead: None }";
    EXPECT_EQ(debug_string(Lookahead(Lookahead::Kind::Negative, AutomatonType(dfa))),
              "Negative(Dfa(Dfa { states: [DfaState { transitions: [DfaTransition { "
              "elementary_interval_index: DisjointCharClassID(3), target: DfaStateID(1) }], "
              "accept_data: [] }, DfaState { transitions: [], accept_data: [" +
                  accepted_text + "] }] }))");
    EXPECT_EQ(debug_string(std::vector<Pattern>{accepted, accepted}),
              "[" + accepted_text + ", " + accepted_text + "]");
    EXPECT_EQ(debug_string(std::vector<Pattern>{}), "[]");

    Nfa nfa;
    nfa.set_pattern("x");
    EXPECT_EQ(
        debug_string(Lookahead(Lookahead::Kind::Positive, AutomatonType(nfa))),
        "Positive(Nfa(Nfa { pattern: \"x\", states: [NfaState { id: NfaStateID(0), transitions: "
        "[], accept_data: None }], start_state: NfaStateID(0), end_state: NfaStateID(0) }))");
}

}  // namespace
}  // namespace quarn::generate
