// Scans whose tokens alternate between modes, against the reference search:
// each mode's remembered dead ends must stay valid while other modes run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "interrupt_hook.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "reference_search.hpp"

namespace quarn::pipeline {
namespace {

// Two modes that enter each other on every `x`; `x[a-z]*!` reads to the end
// of a run of letters before failing.
constexpr std::string_view kPingPong = R"(PingPong {
    mode A { token r"x[a-z]*!" => 1; token "x" => 2; on 2 enter B; }
    mode B { token r"x[a-z]*!" => 1; token "x" => 2; on 2 enter A; }
})";

// An unterminated comment full of strings: the comment is retried at every
// `/` and reads to the end, while each string pushes and pops a second mode.
constexpr std::string_view kCommentAndStrings = R"(CommentAndStrings {
    mode CODE {
        token r"/\*(?:[^*]|\*+[^*/])*\*+/" => 7;
        token r"/" => 1;
        token r"\*" => 2;
        token r"[a-z]+" followed by r"[a-z]*\(" => 3;
        token r"[a-z]+" => 4;
        token r#"""# => 8;
        on 8 push STRING;
    }
    mode STRING {
        token r#"[^"\\]+"# => 10;
        token r#"\\."# => 11;
        token r#"""# => 8;
        on 8 pop;
    }
})";

Scanner build(std::string_view definition) {
    auto built = build_scanner(definition);
    if (!built)
        throw std::runtime_error(built.error().message);
    return std::move(built).value();
}

std::string repeat(std::string_view unit, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += unit;
    return text;
}

void expect_reference_tokens(const Scanner& scanner, const std::string& text) {
    runtime::ModeState expected_state;
    const auto expected = test_support::reference_scan(*scanner, expected_state, text);
    runtime::ModeState state;
    auto matches = scanner->find_matches_with_position(runtime::validate_utf8(text).value(), state);
    std::vector<runtime::Match> actual;
    while (auto match = matches.next_match())
        actual.push_back(*match);
    EXPECT_EQ(actual, expected) << text.substr(0, 80);
    EXPECT_EQ(state, expected_state);
}

TEST(ScanAcrossModes, AgreesWithTheReferenceWhereTokensSwitchModes) {
    const Scanner ping_pong = build(kPingPong);
    for (const char* unit : {"x", "xa", "xab", "x!", "xax"})
        expect_reference_tokens(ping_pong, repeat(unit, 300));
    expect_reference_tokens(ping_pong, repeat("x", 500) + "!");
    expect_reference_tokens(ping_pong, repeat("xa", 200) + "xa!" + repeat("x", 100));

    const Scanner comments = build(kCommentAndStrings);
    for (const char* unit : {"/*\"\"", "/*\"a\"", "/*\"\\\"\"", "/*ab\"\"(", "/*\"\"*/"})
        expect_reference_tokens(comments, repeat(unit, 200));
    expect_reference_tokens(comments, repeat("/*\"\"", 200) + "*/" + repeat("ab(\"\"", 50));
}

// The scan loop asks the interrupt check once per InterruptCountdown::kInterval
// bytes read, so the number of checks measures the work: some units per byte
// whatever the length, where forgetting dead ends at each switch made it
// grow with the square of the length.
TEST(ScanAcrossModes, WorkGrowsLinearlyWithTheText) {
    const Scanner ping_pong = build(kPingPong);
    const Scanner comments = build(kCommentAndStrings);
    for (const std::size_t bytes : {std::size_t{100'000}, std::size_t{400'000}}) {
        for (const auto& [scanner, unit] : {std::pair{&ping_pong, "x"}, {&comments, "/*\"\""}}) {
            const std::string text = repeat(unit, bytes / std::strlen(unit));
            test_support::InterruptHook hook;
            runtime::ModeState state;
            auto matches = (*scanner)->find_matches(runtime::validate_utf8(text).value(), state);
            std::size_t tokens = 0;
            while (matches.next_match())
                ++tokens;
            EXPECT_EQ(tokens, text.size());
            const std::size_t budget = 32 * bytes / base::InterruptCountdown::kInterval + 1;
            EXPECT_LE(hook.calls(), budget) << unit << " over " << bytes << " bytes";
        }
    }
}

}  // namespace
}  // namespace quarn::pipeline
