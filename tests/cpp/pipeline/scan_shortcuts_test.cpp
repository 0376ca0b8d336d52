// The scan loop's shortcuts (one-byte tokens emitted from a table, runs of a
// state's self-loop crossed a block at a time, tokens handed out in batches)
// against the reference search, on definitions where they apply and random
// texts with long runs, line feeds and non-ASCII characters.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "interrupt_hook.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "reference_search.hpp"

namespace quarn::pipeline {
namespace {

using runtime::Match;
using runtime::ScanTable;

constexpr std::string_view kJson = R"json(Json {
    mode VALUE {
        token r"\{" => 1; token r"\}" => 2; token r"\[" => 3; token r"\]" => 4;
        token r":" => 5; token r"," => 6;
        token r#""(?:[^"\\\x00-\x1F]|\\["\\/bfnrt]|\\u[0-9a-fA-F]{4})*""# => 7;
        token r"-?(?:0|[1-9][0-9]*)(?:\.[0-9]+)?(?:[eE][+-]?[0-9]+)?" => 8;
        token r"true" => 9; token r"false" => 10; token r"null" => 11;
    }
})json";

// Runs that accept all along (line comments), runs inside a longer token
// (block comments, strings), a run in a second mode, a one-byte token that
// is also the start of a longer one, and lookaheads.
constexpr std::string_view kCode = R"code(Code {
    mode CODE {
        token r"//[^\n]*" => 1;
        token r"/\*(?:[^*]|\*+[^*/])*\*+/" => 2;
        token r"[a-z]+" followed by r"\s*\(" => 3;
        token r"[a-z]+" not followed by r"!" => 4;
        token r"=" => 5;
        token r"==" => 6;
        token r";" => 7;
        token r"\(" => 9;
        token r#"'[^'\\\n]*'"# => 12;
        token r#"""# => 8;
        on 8 push STRING;
    }
    mode STRING {
        token r#"[^"\\]+"# => 10;
        token r#"\\."# => 11;
        token r#"""# => 8;
        on 8 pop;
    }
})code";

Scanner build(std::string_view definition) {
    auto built = build_scanner(definition);
    if (!built)
        throw std::runtime_error(built.error().message);
    return std::move(built).value();
}

std::string random_text(std::mt19937& rng) {
    static const char* const pieces[] = {"\"",
                                         "\\",
                                         "\\n",
                                         "\n",
                                         " ",
                                         "abc",
                                         "xyz(",
                                         "k!",
                                         "123",
                                         "-4.5e6",
                                         "=",
                                         "==",
                                         ";",
                                         "//",
                                         "/*",
                                         "*/",
                                         "*",
                                         "'",
                                         "{",
                                         "}",
                                         "[",
                                         "]",
                                         ",",
                                         ":",
                                         "true",
                                         "\x01",
                                         "\t",
                                         "\xC3\xA9",
                                         "\xE4\xB8\xAD",
                                         "\xF0\x9F\x98\x80",
                                         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
                                         "                                        ",
                                         "x\xC3\xA9x\xC3\xA9x\xC3\xA9x\xC3\xA9x\xC3\xA9x\xC3\xA9x"};
    std::string text;
    for (std::size_t i = 0, n = rng() % 80; i < n; ++i)
        text += pieces[rng() % std::size(pieces)];
    return text;
}

// Drains `matches` through batches of random sizes.
template <class Finder>
std::vector<Match> drain_in_batches(Finder matches, std::mt19937& rng) {
    std::vector<Match> all;
    for (;;) {
        std::vector<Match> batch(1 + rng() % 9);
        const std::size_t count = matches.next_matches(batch);
        if (count == 0)
            return all;
        all.insert(all.end(), batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(count));
    }
}

void expect_reference_agreement(const Scanner& scanner, unsigned seed) {
    std::mt19937 rng(seed);
    runtime::ModeState expected_state;
    runtime::ModeState with_positions;
    runtime::ModeState without_positions;
    for (int round = 0; round < 400; ++round) {
        const std::string text = random_text(rng);
        const auto valid = runtime::validate_utf8(text).value();
        const auto expected = test_support::reference_scan(*scanner, expected_state, text);
        ASSERT_EQ(drain_in_batches(scanner->find_matches_with_position(valid, with_positions), rng),
                  expected)
            << text;
        std::vector<Match> plain =
            drain_in_batches(scanner->find_matches(valid, without_positions), rng);
        ASSERT_EQ(plain.size(), expected.size()) << text;
        for (std::size_t i = 0; i < plain.size(); ++i) {
            ASSERT_EQ(plain[i].span, expected[i].span) << text;
            ASSERT_EQ(plain[i].token_type, expected[i].token_type) << text;
        }
        ASSERT_EQ(with_positions, expected_state);
        ASSERT_EQ(without_positions, expected_state);
    }
}

TEST(ScanShortcuts, AgreeWithTheReferenceSearch) {
    const Scanner json = build(kJson);
    const Scanner code = build(kCode);
    // The shortcuts the texts are meant to exercise do exist.
    const ScanTable& json_shortcuts = json->scan_table(0);
    EXPECT_LT(json_shortcuts.start_action('{'), ScanTable::kAttempt);
    EXPECT_EQ(json_shortcuts.start_action(' '), ScanTable::kNoToken);
    EXPECT_EQ(json_shortcuts.start_action('"'), ScanTable::kAttempt);
    EXPECT_TRUE(json_shortcuts.has_runs());
    EXPECT_LT(code->scan_table(0).start_action(';'), ScanTable::kAttempt);
    EXPECT_EQ(code->scan_table(0).start_action('='), ScanTable::kAttempt);  // "==" follows
    EXPECT_TRUE(code->scan_table(0).has_runs());
    EXPECT_TRUE(code->scan_table(1).has_runs());
    expect_reference_agreement(json, 1);
    expect_reference_agreement(code, 2);
}

// The dead-end memo still bounds the work where runs are crossed at once:
// without it every `a` would start an attempt that reads to the end. Work is
// counted in interrupt checks, one per InterruptCountdown::kInterval bytes read.
TEST(ScanShortcuts, RunsKeepTheScanLinear) {
    const Scanner scanner = build(R"(S { mode M { token r#"a[^"]*"x"# => 1; token "a" => 2; } })");
    for (const std::size_t bytes : {std::size_t{100'000}, std::size_t{400'000}}) {
        const std::string text(bytes, 'a');
        test_support::InterruptHook hook;
        runtime::ModeState state;
        std::vector<Match> batch(64);
        std::size_t tokens = 0;
        auto matches = scanner->find_matches(runtime::validate_utf8(text).value(), state);
        while (const std::size_t count = matches.next_matches(batch))
            tokens += count;
        EXPECT_EQ(tokens, bytes);
        EXPECT_LE(hook.calls(), 32 * bytes / base::InterruptCountdown::kInterval + 1);
    }
}

// An interrupt check that falls due while a batch holds tokens lets the batch
// return them and stops the next call instead: a scan resumed after every
// interrupt yields exactly the tokens of an uninterrupted one.
TEST(ScanShortcuts, BatchesHandOverTheirTokensBeforeAnInterrupt) {
    const Scanner scanner = build(kJson);
    std::string text;
    while (text.size() < 3 * base::InterruptCountdown::kInterval)
        text += R"({"key": [1, 2.5, true], "s": "\u00e9t\u00e9"} )";
    const auto valid = runtime::validate_utf8(text).value();
    std::vector<Match> uninterrupted;
    {
        runtime::ModeState state;
        auto matches = scanner->find_matches(valid, state);
        while (auto match = matches.next_match())
            uninterrupted.push_back(*match);
    }
    test_support::InterruptHook hook(0);  // every check asks to stop
    runtime::ModeState state;
    auto matches = scanner->find_matches(valid, state);
    std::vector<Match> resumed;
    std::vector<Match> batch(500);
    std::size_t interrupts = 0;
    for (;;) {
        try {
            const std::size_t count = matches.next_matches(batch);
            if (count == 0)
                break;
            resumed.insert(resumed.end(), batch.begin(),
                           batch.begin() + static_cast<std::ptrdiff_t>(count));
        } catch (const base::Interrupted&) {
            ++interrupts;
        }
    }
    EXPECT_GE(interrupts, 2u);
    EXPECT_EQ(resumed, uninterrupted);
}

}  // namespace
}  // namespace quarn::pipeline
