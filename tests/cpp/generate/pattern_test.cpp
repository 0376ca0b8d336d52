#include "quarn/generate/pattern.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "quarn/generate/debug_text.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::generate {
namespace {

using namespace std::string_view_literals;

TEST(Pattern, AcceptRecordCarriesTheClauseAndItsPriority) {
    const Pattern plain("a+", TokenTypeID(1));
    EXPECT_TRUE(plain.lookahead.is_none());
    EXPECT_EQ(plain.accept(3), (Accept{3, TokenTypeID(1), {}}));

    const Pattern followed("a", TokenTypeID(2), Lookahead::negative(LookaheadID(4)));
    EXPECT_EQ(followed.accept(0).lookahead, Lookahead::negative(LookaheadID(4)));
    EXPECT_NE(followed, Pattern("a", TokenTypeID(2), Lookahead::positive(LookaheadID(4))));
    EXPECT_NE(followed, Pattern("a", TokenTypeID(2), Lookahead::negative(LookaheadID(5))));
}

TEST(Pattern, AcceptRecordsOrderByPriorityTokenTypeAndLookahead) {
    std::vector<Accept> records = {
        {1, TokenTypeID(0), {}},
        {0, TokenTypeID(2), Lookahead::positive(LookaheadID(1))},
        {0, TokenTypeID(2), Lookahead::negative(LookaheadID(0))},
        {0, TokenTypeID(2), Lookahead::positive(LookaheadID(0))},
        {0, TokenTypeID(2), {}},
        {0, TokenTypeID(1), Lookahead::negative(LookaheadID(9))},
    };
    std::sort(records.begin(), records.end());
    EXPECT_EQ(records, (std::vector<Accept>{
                           {0, TokenTypeID(1), Lookahead::negative(LookaheadID(9))},
                           {0, TokenTypeID(2), {}},
                           {0, TokenTypeID(2), Lookahead::positive(LookaheadID(0))},
                           {0, TokenTypeID(2), Lookahead::positive(LookaheadID(1))},
                           {0, TokenTypeID(2), Lookahead::negative(LookaheadID(0))},
                           {1, TokenTypeID(0), {}},
                       }));
}

TEST(Pattern, LookaheadNfas) {
    ScannerNfaBudget budget;
    auto nfa = Nfa::build_lookahead("b", budget);
    ASSERT_TRUE(nfa);
    EXPECT_EQ(nfa->pattern, "b");
    EXPECT_EQ(budget.used, nfa->states.size());
    const auto& accepted = nfa->states[nfa->end_state.as_usize()].accept_data;
    ASSERT_TRUE(accepted);
    EXPECT_EQ(*accepted, (Accept{0, kLookaheadTokenType, {}}));
    EXPECT_EQ(kLookaheadTokenType, TokenTypeID(4294967295u));

    EXPECT_TRUE(Nfa::build_lookahead("", budget));

    auto unsupported = Nfa::build_lookahead("a\\b", budget);
    ASSERT_FALSE(unsupported);
    EXPECT_EQ(unsupported.error(),
              "Failed to create NFA from regex pattern: The regex feature 'WordUnicode "
              "Look(WordUnicode)' is not supported.");
    auto unparsable = Nfa::build_lookahead("a)", budget);
    ASSERT_FALSE(unparsable);
    EXPECT_EQ(unparsable.error().rfind("Failed to create NFA from regex pattern: ", 0), 0u);
    EXPECT_GT(unparsable.error().size(),
              std::string("Failed to create NFA from regex pattern: ").size());
}

TEST(Pattern, DumpsAndQuoting) {
    EXPECT_EQ(dump(Accept{2, TokenTypeID(7), {}}), "p2 t7");
    EXPECT_EQ(dump(Accept{0, TokenTypeID(1), Lookahead::positive(LookaheadID(3))}), "p0 t1 +L3");
    EXPECT_EQ(dump(Accept{0, TokenTypeID(1), Lookahead::negative(LookaheadID(0))}), "p0 t1 !L0");
    EXPECT_EQ(debug_quoted("q\"b\\n\0t\tr\rn\nf\x0C sp é\xE2\x80\x8B\xF3\xB0\x80\x80"sv),
              "\"q\\\"b\\\\n\\0t\\tr\\rn\\nf\\u{c} sp é\\u{200b}\\u{f0000}\"");

    const Dfa dfa{{DfaState{{DfaTransition{DisjointCharClassID(3), DfaStateID(1)}}, {}},
                   DfaState{{}, {Accept{1, TokenTypeID(2), {}}, Accept{2, TokenTypeID(3), {}}}}}};
    EXPECT_EQ(dump(dfa), "0: #3>1\n1: [p1 t2, p2 t3]\n");

    auto nfa = Nfa::build(Pattern("ab", TokenTypeID(5)));
    ASSERT_TRUE(nfa);
    EXPECT_EQ(dump(*nfa), "0: Literal(\"a\")>1\n1: Literal(\"b\")>2\n2: [p0 t5]\nstart=0 end=2\n");
}

}  // namespace
}  // namespace quarn::generate
