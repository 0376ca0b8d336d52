#include "quarn/analysis/check.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "worked_example.hpp"

namespace quarn::analysis {
namespace {

std::vector<Diagnostic> with_code(const std::vector<Diagnostic>& all, std::string_view code) {
    std::vector<Diagnostic> found;
    std::copy_if(all.begin(), all.end(), std::back_inserter(found),
                 [&](const Diagnostic& d) { return d.code == code; });
    return found;
}

std::vector<Diagnostic> check_for(std::string_view definition, std::string_view code) {
    return with_code(check_definition(definition), code);
}

// The first token the real scanner finds in `text`, started in mode `mode`.
std::optional<runtime::Match> scan_first(std::string_view definition, std::size_t mode,
                                         std::string_view text) {
    auto scanner = pipeline::build_scanner(definition);
    EXPECT_TRUE(scanner);
    runtime::ModeState state;
    state.mode = static_cast<runtime::ModeIndex>(mode);
    auto matches = scanner.value()->find_matches(runtime::validate_utf8(text).value(), state);
    return matches.next_match();
}

std::string one_mode(std::string_view body) {
    return "S { mode M { " + std::string(body) + " } }";
}

TEST(Check, ShadowedClauseNamesTheWinnerAndItsWitnessScansSo) {
    const std::string definition = one_mode(R"(
        token "[a-z]+" => 1;
        token "if" => 2;
        token "[0-9]+" => 3;)");
    const auto found = check_for(definition, "shadowed-clause");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].clause, 2u);
    EXPECT_EQ(found[0].line, 3u);
    EXPECT_EQ(found[0].witness, "if");
    EXPECT_NE(found[0].message.find("clause 1"), std::string::npos) << found[0].message;
    const auto token = scan_first(definition, 0, *found[0].witness);
    ASSERT_TRUE(token);
    EXPECT_EQ(token->token_type, 1u);
    EXPECT_EQ(token->span.end, 2u);
}

TEST(Check, KeywordsBeforeIdentifiersAreDecidedByOrderOnly) {
    const std::string definition = one_mode(R"(
        token "if" => 2;
        token "[a-z]+" => 1;)");
    const auto all = check_definition(definition);
    EXPECT_TRUE(with_code(all, "shadowed-clause").empty());
    const auto notes = with_code(all, "order-decided");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].severity, Severity::Note);
    EXPECT_EQ(notes[0].clause, 2u);
    EXPECT_EQ(notes[0].witness, "if");
    EXPECT_EQ(scan_first(definition, 0, "if")->token_type, 2u);
    // Clauses of one token type need no note; disjoint clauses none either.
    EXPECT_TRUE(
        check_for(one_mode(R"(token "if" => 1; token "[a-z]+" => 1;)"), "order-decided").empty());
    EXPECT_TRUE(check_for(one_mode(R"(token "[0-9]+" => 1; token "[a-z]+" => 2;)"), "order-decided")
                    .empty());
}

TEST(Check, LongerClauseDoesNotShadowAShorterOne) {
    // "a" loses inside "ab" but still wins at the end of the input.
    EXPECT_TRUE(
        check_for(one_mode(R"(token "ab" => 1; token "a" => 2;)"), "shadowed-clause").empty());
    // Every text of the second clause is matched by the first: shadowed
    // although the first is not a superset written as such.
    const auto found =
        check_for(one_mode(R"(token "a|b|c" => 1; token "[ab]" => 2;)"), "shadowed-clause");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].witness, "a");
}

TEST(Check, EveryClauseWinningTextIsTheScannersFirstToken) {
    // Differential: each clause's winning text, scanned by the runtime from
    // its mode, gives that clause's token type over the predicted length.
    const std::string definition = std::string(test_support::kWorkedExample);
    auto automata = build_automata(definition);
    ASSERT_TRUE(automata);
    for (std::size_t m = 0; m < automata->modes.size(); ++m) {
        const Mode& mode = automata->modes[m];
        const auto outcomes = analyse_clauses(*automata, mode);
        for (std::size_t c = 0; c < outcomes.size(); ++c) {
            ASSERT_TRUE(outcomes[c].win) << mode.name << " clause " << c;
            const std::string text = to_utf8(*outcomes[c].win);
            const std::string token = to_utf8(outcomes[c].win->substr(0, outcomes[c].win_length));
            const auto match = scan_first(definition, m, text);
            ASSERT_TRUE(match) << text;
            EXPECT_EQ(match->token_type, mode.clauses[c].token_type)
                << analysis::quoted(*outcomes[c].win);
            EXPECT_EQ(match->span.start, 0u);
            EXPECT_EQ(match->span.end, token.size()) << analysis::quoted(*outcomes[c].win);
        }
    }
    EXPECT_TRUE(check_for(definition, "shadowed-clause").empty());
}

TEST(Check, ClauseBehindALookaheadWinsWhenTheLookaheadFails) {
    // Clause 2 wins "-" only before ">": a witness needs the text after it.
    const std::string definition =
        one_mode(R"(token "-" not followed by ">" => 1; token "-" => 2; token ">" => 3;)");
    auto automata = build_automata(definition);
    ASSERT_TRUE(automata);
    const auto outcomes = analyse_clauses(*automata, automata->modes[0]);
    ASSERT_TRUE(outcomes[1].win);
    EXPECT_EQ(to_utf8(*outcomes[1].win), "->");
    EXPECT_EQ(scan_first(definition, 0, "->")->token_type, 2u);
    EXPECT_TRUE(check_for(definition, "shadowed-clause").empty());
}

TEST(Check, EmptyMatches) {
    const auto all =
        check_definition(one_mode(R"x(token "a*" => 1; token "()" => 2; token "b" => 3;)x"));
    const auto empty = with_code(all, "empty-match");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].clause, 1u);
    const auto only = with_code(all, "only-empty-match");
    ASSERT_EQ(only.size(), 1u);
    EXPECT_EQ(only[0].clause, 2u);
    EXPECT_TRUE(with_code(all, "shadowed-clause").empty());
    EXPECT_EQ(with_code(check_definition(one_mode(R"(token "a+" => 1;)")), "empty-match").size(),
              0u);
}

TEST(Check, LookaheadsThatAlwaysOrNeverHold) {
    auto codes_of = [](std::string_view body) {
        std::vector<std::string> codes;
        for (const Diagnostic& d : check_definition(one_mode(body))) {
            if (d.code.starts_with("lookahead"))
                codes.push_back(d.code);
        }
        return codes;
    };
    using Codes = std::vector<std::string>;
    EXPECT_EQ(codes_of(R"(token "a" followed by "" => 1;)"), Codes{"lookahead-never-holds"});
    EXPECT_EQ(codes_of(R"(token "a" not followed by "" => 1;)"), Codes{"lookahead-always-holds"});
    EXPECT_EQ(codes_of(R"(token "a" followed by r"[\s\S]" => 1;)"),
              Codes{"lookahead-always-holds"});
    EXPECT_EQ(codes_of(R"(token "a" not followed by "(?s)." => 1;)"),
              Codes{"lookahead-never-holds"});
    EXPECT_EQ(codes_of(R"(token "a" followed by "b" => 1; token "b" => 2;)"), Codes{});
    EXPECT_EQ(codes_of(R"(token "a" not followed by "[^x]" => 1;)"), Codes{});
}

TEST(Check, ModeGraph) {
    const std::string definition = R"(S {
        mode A { token "a" => 1; token "b" => 2; token "x" => 7;
                 on 1 push B; on 2 enter C; on 9 enter B; }
        mode B { token "c" => 3; on 3 push B; }
        mode C { token "d" => 4; on 4 pop; on 5 pop; }
        mode D { token "e" => 5; }
        mode A { token "f" => 6; }
    })";
    const auto all = check_definition(definition);
    auto lines = [&](std::string_view code) {
        std::vector<std::size_t> found;
        for (const Diagnostic& d : with_code(all, code))
            found.push_back(d.line);
        return found;
    };
    using Lines = std::vector<std::size_t>;
    EXPECT_EQ(lines("unreachable-mode"), Lines{6});  // D; the second A is a duplicate
    EXPECT_EQ(lines("duplicate-mode"), Lines{7});
    EXPECT_EQ(lines("pop-on-empty-stack"), Lines{5});  // C is entered, not pushed
    EXPECT_EQ(lines("push-cycle"), Lines{4});
    EXPECT_EQ(lines("transition-never-fires"), (Lines{3, 5}));  // on 9 in A, on 5 in C
    const auto pops = with_code(all, "pop-on-empty-stack");
    EXPECT_NE(pops[0].message.find("A -(2)-> C -(4)-> pop"), std::string::npos) << pops[0].message;
}

TEST(Check, BalancedModesAreClean) {
    const auto all = check_definition(test_support::kWorkedExample);
    for (const Diagnostic& d : all)
        EXPECT_EQ(d.severity, Severity::Note) << d.code << ": " << d.message;
    // A pushed mode that pops is no cycle; a pop reached only after a push is fine.
    EXPECT_TRUE(
        check_for(R"x(S { mode A { token "(" => 1; on 1 push A; token ")" => 2; on 2 pop; } })x",
                  "push-cycle")
            .empty());
}

TEST(Check, ErrorsCarryTheirLocation) {
    const auto syntax = check_definition("S {\n  mode A {\n    token \"a\" => ;\n  }\n}");
    ASSERT_EQ(syntax.size(), 1u);
    EXPECT_EQ(syntax[0].severity, Severity::Error);
    EXPECT_EQ(syntax[0].code, "syntax-error");
    EXPECT_EQ(syntax[0].line, 3u);
    EXPECT_EQ(syntax[0].column, 18u);

    const auto pattern =
        check_definition("S { mode A {\n token \"a\" => 1;\n token \"(\" => 2; } }");
    const auto bad = with_code(pattern, "bad-pattern");
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0].line, 3u);
    EXPECT_EQ(bad[0].column, 2u);
    EXPECT_EQ(bad[0].clause, 2u);

    const auto unknown =
        check_for("S { mode A { token \"a\" => 1;\n on 1 enter Z; } }", "unknown-mode");
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].line, 2u);
    EXPECT_EQ(unknown[0].severity, Severity::Error);
}

}  // namespace
}  // namespace quarn::analysis
